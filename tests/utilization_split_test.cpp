// Utilization vectors against independent oracles: the closed-form Beta
// marginal of UUniFast, rejection sampling from the simplex for
// ConvolutionalFixedSum, and the exact CDF of a sum of uniforms for its grid.
#include "utilization_split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "explain.h"
#include "detail/utilization_split_grid.h"

namespace {

using mcjobs::RandomStream;
using Vectors = std::vector<std::vector<double>>;

constexpr double kAlpha = 1e-3;  // per KS comparison; every stream is seeded

// Kolmogorov–Smirnov statistics and their asymptotic critical values.
double ksOneSample(std::vector<double> sample, const std::function<double(double)>& cdf) {
  std::sort(sample.begin(), sample.end());
  const double n = static_cast<double>(sample.size());
  double d = 0;
  for (std::size_t i = 0; i < sample.size(); ++i) {
    const double f = cdf(sample[i]);
    d = std::max({d, static_cast<double>(i + 1) / n - f, f - static_cast<double>(i) / n});
  }
  return d;
}

double ksTwoSample(std::vector<double> a, std::vector<double> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  auto ecdf = [](const std::vector<double>& sorted, double x) {
    return static_cast<double>(std::upper_bound(sorted.begin(), sorted.end(), x) - sorted.begin()) /
           static_cast<double>(sorted.size());
  };
  double d = 0;
  for (const std::vector<double>* sample : {&a, &b})
    for (double x : *sample) d = std::max(d, std::fabs(ecdf(a, x) - ecdf(b, x)));
  return d;
}

// Two samples of sizes n and m, or one of size n against a CDF (m = 0).
double ksCritical(std::size_t n, std::size_t m = 0) {
  const double c = std::sqrt(-0.5 * std::log(kAlpha / 2));
  const double a = static_cast<double>(n), b = static_cast<double>(m);
  return c / std::sqrt(m == 0 ? a : a * b / (a + b));
}

std::vector<double> column(const Vectors& vectors, std::size_t i) {
  std::vector<double> values;
  for (const std::vector<double>& x : vectors) values.push_back(x[i]);
  return values;
}

// The sum is exact to the documented 4 * 2^-53 * (|total| + sum lower).
void expectExactSum(const std::vector<double>& x, double total, double lowerSum = 0) {
  long double sum = 0;
  for (double value : x) sum += value;
  EXPECT_LE(std::fabs(static_cast<double>(sum - total)), 0x1.0p-51 * (total + lowerSum));
}

// Whether `call` throws an explained CheckError whose condition or words hold `words`.
bool throwsWith(const std::function<void()>& call, const std::string& words) {
  try {
    call();
  } catch (const CheckError& error) {
    EXPECT_TRUE(mcjobs::isExplained(error.condition())) << error.condition();
    return (error.condition() + mcjobs::describeFailure(error)).find(words) != std::string::npos;
  }
  return false;
}

// Every marginal of CFS against rejection sampling: UUniFast vectors over the
// free total, kept when every element lies within its bounds.
void expectMarginalsMatchRejection(std::uint64_t seed, double total,
                                   const std::vector<double>& lower,
                                   const std::vector<double>& upper, std::size_t count) {
  RandomStream random(seed);
  Vectors drawn, kept;
  for (std::size_t i = 0; i < count; ++i)
    drawn.push_back(mcjobs::convolutionalFixedSum(random, total, lower, upper));
  double free = total;
  for (double bound : lower) free -= bound;
  while (kept.size() < count) {
    std::vector<double> x = mcjobs::uunifast(random, lower.size(), free);
    bool inside = true;
    for (std::size_t i = 0; i < x.size(); ++i) {
      x[i] += lower[i];
      inside = inside && x[i] <= upper[i];
    }
    if (inside) kept.push_back(x);
  }
  for (std::size_t i = 0; i < lower.size(); ++i)
    EXPECT_LT(ksTwoSample(column(drawn, i), column(kept, i)), ksCritical(count, count))
        << "element " << i << " of " << lower.size();
}

TEST(UUniFast, SumsToTheTotalAndItsFirstElementIsBetaOneNMinusOne) {
  for (int n : {2, 5, 50}) {
    RandomStream random(static_cast<std::uint64_t>(100 + n));
    std::vector<double> first;
    for (int draw = 0; draw < 4000; ++draw) {
      const std::vector<double> x = mcjobs::uunifast(random, static_cast<std::size_t>(n), 1.0);
      EXPECT_GE(*std::min_element(x.begin(), x.end()), 0.0);
      expectExactSum(x, 1.0);
      first.push_back(x[0]);
    }
    const double d = ksOneSample(first, [n](double x) { return 1 - std::pow(1 - x, n - 1); });
    EXPECT_LT(d, ksCritical(first.size())) << n;
  }
  RandomStream random(1);
  EXPECT_EQ(mcjobs::uunifast(random, 1, 3.7), std::vector<double>{3.7});
  EXPECT_EQ(mcjobs::uunifast(random, 3, 0.0), std::vector<double>(3, 0.0));
}

TEST(UUniFastDiscard, KeepsTheCapAndAgreesWithCfs) {
  RandomStream random(21);
  Vectors discard, cfs;
  const std::vector<double> lower(6, 0.0), upper(6, 0.6);
  for (int draw = 0; draw < 3000; ++draw) {
    discard.push_back(mcjobs::uunifastDiscard(random, 6, 2.0, 0.6));
    EXPECT_LE(*std::max_element(discard.back().begin(), discard.back().end()), 0.6);
    expectExactSum(discard.back(), 2.0);
    cfs.push_back(mcjobs::convolutionalFixedSum(random, 2.0, lower, upper));
  }
  for (std::size_t i : {0, 5})
    EXPECT_LT(ksTwoSample(column(discard, i), column(cfs, i)), ksCritical(3000, 3000));
}

TEST(UUniFastDiscard, ImpossibleAndExhaustedCapsThrow) {
  RandomStream random(1);
  EXPECT_TRUE(throwsWith([&] { mcjobs::uunifastDiscard(random, 4, 2.5, 0.6); },
                         "no 4 values of at most 0.6 sum to 2.5"));
  EXPECT_TRUE(throwsWith([&] { mcjobs::uunifastDiscard(random, 30, 29.0, 1.0); },
                         "none of 10000 UUniFast vectors"));
  EXPECT_TRUE(throwsWith([&] { mcjobs::uunifastDiscard(random, 30, 29.0, 1.0); }, "--split cfs"));
  EXPECT_TRUE(throwsWith([&] { mcjobs::uunifast(random, 0, 1.0); }, "n>=1"));
  EXPECT_TRUE(throwsWith([&] { mcjobs::uunifast(random, 3, -0.1); }, "total>=0"));
}

TEST(ConvolutionalFixedSum, RespectsEveryBoundAndTheSum) {
  RandomStream random(31);
  for (int problem = 0; problem < 300; ++problem) {
    const std::size_t n = problem % 30 == 29 ? 60 : 1 + static_cast<std::size_t>(problem % 17);
    std::vector<double> lower(n), upper(n);
    double lowerSum = 0, upperSum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      lower[i] = random.bernoulli(0.3) ? 0 : random.uniform(0, 0.4);
      // Zero, tiny and ordinary widths.
      const double kind = random.uniform01();
      upper[i] = lower[i] + (kind < 0.15 ? 0 : kind < 0.25 ? 1e-7 : random.uniform(0, 0.8));
      lowerSum += lower[i];
      upperSum += upper[i];
    }
    const int where = problem % 5;
    const double total = where == 0   ? lowerSum
                         : where == 1 ? upperSum
                                      : random.uniform(lowerSum, upperSum);
    for (int draw = 0; draw < 5; ++draw) {
      const std::vector<double> x = mcjobs::convolutionalFixedSum(random, total, lower, upper);
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_GE(x[i], lower[i]);
        EXPECT_LE(x[i], upper[i]);
      }
      expectExactSum(x, total, lowerSum);
    }
  }
}

TEST(ConvolutionalFixedSum, RejectsImpossibleBounds) {
  RandomStream random(1);
  const struct {
    double total;
    std::vector<double> lower, upper;
    const char* words;
  } cases[]{{0.2, {}, {}, "non-empty"},
            {0.2, {0.1}, {0.2, 0.3}, "equal size"},
            {0.2, {0.3}, {0.2}, "element 1 has the bounds [0.3, 0.2]"},
            {0.2, {0.1, -0.1}, {0.5, 0.5}, "element 2 has the bounds [-0.1, 0.5]"},
            {0.2, {0.1}, {INFINITY}, "element 1 has the bounds [0.1, inf]"},
            {1.1, {0.1, 0.2}, {0.5, 0.5}, "the total 1.1 is outside [0.3, 1]"},
            {0.2, {0.1, 0.2}, {0.5, 0.5}, "the total 0.2 is outside [0.3, 1]"}};
  for (const auto& bad : cases)
    EXPECT_TRUE(throwsWith(
        [&] { mcjobs::convolutionalFixedSum(random, bad.total, bad.lower, bad.upper); }, bad.words))
        << bad.words;
}

TEST(ConvolutionalFixedSum, MarginalsMatchRejectionSampling) {
  expectMarginalsMatchRejection(41, 0.9, {0.1, 0.05, 0.3}, {0.35, 0.3, 0.5}, 3000);
  expectMarginalsMatchRejection(42, 2.0, {0.2, 0.1, 0.3, 0.0, 0.4}, {0.5, 0.45, 0.6, 0.5, 0.7},
                                3000);
  // 40 elements take the grid path; half of them are tightly capped.
  std::vector<double> lower(40, 0.0), upper(40, 1.0);
  for (std::size_t i = 0; i < 40; i += 2) upper[i] = 0.05;
  expectMarginalsMatchRejection(43, 1.0, lower, upper, 1500);
}

// The tabulated CDF against the exact one (up to 12 widths) or against a table
// eight times finer, which is within its own bound of the exact CDF.
TEST(ConvolutionalFixedSum, GridCdfStaysWithinItsErrorBound) {
  using mcjobs_detail::UniformSumGrid;
  auto at = [](const UniformSumGrid& grid, double t) {
    const std::size_t node = std::min(static_cast<std::size_t>(t / grid.step), grid.cdf.size() - 2);
    const double offset = t / grid.step - static_cast<double>(node);
    return grid.cdf[node] + offset * (grid.cdf[node + 1] - grid.cdf[node]);
  };
  RandomStream random(51);
  for (std::size_t n : {3, 6, 12, 60}) {
    std::vector<double> widths(n);
    for (double& width : widths) width = random.uniform(0.05, 1.0);
    std::sort(widths.begin(), widths.end());
    double range = 0;
    for (double width : widths) range += width / 2;
    const UniformSumGrid grid = mcjobs_detail::uniformSumGrid(widths, range, 1024);
    const UniformSumGrid fine = mcjobs_detail::uniformSumGrid(widths, range, n > 12 ? 8192 : 2);
    double worst = 0;
    for (double t = 0; t < range; t += 0.3 * grid.step) {
      const double exact = n > 12 ? at(fine, t) : mcjobs_detail::uniformSumCdf(widths, t);
      worst = std::max(worst, std::fabs(at(grid, t) - exact));
    }
    const double bound = grid.errorBound + (n > 12 ? fine.errorBound : 0);
    EXPECT_LE(worst, bound) << n;
    EXPECT_GT(worst, bound / 20) << "the bound is far from tight for " << n;
    EXPECT_LT(grid.errorBound, n > 12 ? 1e-3 : 1e-4);
  }
}

// The exact and the grid sampler give the same bits everywhere for a seed.
TEST(UtilizationSplit, SameSeedSameBitsOnEveryPlatform) {
  RandomStream random(2026);
  const std::vector<double> wide(40, 0.5);
  std::string bits;
  char text[40];
  for (const std::vector<double>& x :
       {mcjobs::uunifast(random, 3, 1.0),
        mcjobs::convolutionalFixedSum(random, 1.0, {0.1, 0, 0.2}, {0.5, 0.5, 0.5}),
        mcjobs::convolutionalFixedSum(random, 9.0, std::vector<double>(40, 0.1), wide)})
    for (std::size_t i = 0; i < 3; ++i) {
      std::snprintf(text, sizeof text, "%a ", x[i]);
      bits += text;
    }
  EXPECT_EQ(bits,
            "0x1.6411cd410f83cp-3 0x1.14c820b6182c2p-1 0x1.2466d7f347e5ep-2 "
            "0x1.b3ddf9ea34921p-3 0x1.a2ba6bd72bab4p-2 0x1.83569733ba0bcp-2 "
            "0x1.267495182a78dp-3 0x1.102db6853b936p-2 0x1.36304b95e7fcdp-3 ");
}

}  // namespace
