// Drawing one utilization vector of n elements: UUniFast, UUniFast-Discard
// with a cap the draws often break, and ConvolutionalFixedSum between bounds
// (the exact sampler for 10 elements, the tabulated one for 100).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "random_stream.h"
#include "utilization_split.h"

namespace {

std::size_t elements(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0));
}

void BM_UUniFast(benchmark::State& state) {
  mcjobs::RandomStream random(1);
  const std::size_t n = elements(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(mcjobs::uunifast(random, n, 0.25 * static_cast<double>(n)));
}
BENCHMARK(BM_UUniFast)->Arg(10)->Arg(100);

// Total n / 4 under the cap 1: about one vector in six is kept for n = 100.
void BM_UUniFastDiscard(benchmark::State& state) {
  mcjobs::RandomStream random(1);
  const std::size_t n = elements(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mcjobs::uunifastDiscard(random, n, 0.25 * static_cast<double>(n), 1.0));
}
BENCHMARK(BM_UUniFastDiscard)->Arg(10)->Arg(100);

// Every element in [0.05, 0.6], the total in the middle of the range.
void BM_ConvolutionalFixedSum(benchmark::State& state) {
  mcjobs::RandomStream random(1);
  const std::size_t n = elements(state);
  const std::vector<double> lower(n, 0.05), upper(n, 0.6);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mcjobs::convolutionalFixedSum(random, 0.3 * static_cast<double>(n), lower, upper));
}
BENCHMARK(BM_ConvolutionalFixedSum)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
