// A seeded random stream whose numbers are the same on every platform and
// standard library: std::mt19937_64 (its sequence is fixed by the C++
// standard) with our own conversions to reals and integers.
#ifndef MCJOBS_RANDOM_STREAM_H
#define MCJOBS_RANDOM_STREAM_H

#include <cstdint>
#include <random>

namespace mcjobs {

class RandomStream {
 public:
  explicit RandomStream(std::uint64_t seed) : mEngine(seed) {}

  /// 64 uniformly distributed bits.
  std::uint64_t bits() { return mEngine(); }

  /// Uniform on [0, 1), on the grid of multiples of 2^-53 (every double of the
  /// grid equally likely).
  double uniform01() { return static_cast<double>(bits() >> 11) * 0x1.0p-53; }

  /// Uniform on (0, 1]: safe to take the logarithm or a root of.
  double uniform01OpenAtZero() { return 1.0 - uniform01(); }

  /// Uniform on [low, high).
  double uniform(double low, double high) { return low + (high - low) * uniform01(); }

  /// Uniform on the integers low..high (inclusive), without modulo bias:
  /// draws that fall in the incomplete last block are rejected.
  std::int64_t integer(std::int64_t low, std::int64_t high) {
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
    if (span == UINT64_MAX) return static_cast<std::int64_t>(bits());
    const std::uint64_t range = span + 1;
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
    std::uint64_t draw;
    do draw = bits();
    while (draw >= limit);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + draw % range);
  }

  /// True with probability p (p outside [0, 1] acts as 0 or 1).
  bool bernoulli(double p) { return uniform01() < p; }

 private:
  std::mt19937_64 mEngine;
};

/// A seed for the i-th of several derived streams, so that stream i does not
/// depend on how many are drawn: SplitMix64 of the base seed and the index.
inline std::uint64_t derivedSeed(std::uint64_t base, std::uint64_t index) {
  std::uint64_t z = base + 0x9e3779b97f4a7c15ULL * (index + 1);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

}  // namespace mcjobs

#endif  // MCJOBS_RANDOM_STREAM_H
