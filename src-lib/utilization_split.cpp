// UUniFast, UUniFast-Discard and ConvolutionalFixedSum: the exact
// inclusion–exclusion sampler for few elements, tabulated suffix CDFs for many.
#include "utilization_split.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "detail/check.h"
#include "detail/utilization_split_grid.h"

// The same bytes on every platform need every product rounded on its own.
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace mcjobs {
namespace {

constexpr double kUnit = 0x1.0p-53;
constexpr int kDiscardAttempts = 10000;
constexpr std::size_t kExactMax = 12;
constexpr double kExactCancellation = 0x1.0p-36;
constexpr int kGridIntervalsMin = 1024;
constexpr int kGridIntervalsMax = 32768;
constexpr double kGridTarget = 1e-7;
constexpr std::size_t kGridNodesMax = std::size_t{1} << 20;
constexpr int kRebuildCells = 64;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

[[noreturn]] void fail(const char* condition, const std::string& words, const char* file,
                       int line) {
  CheckError failure(condition, file, line);
  failure.setExplanation(words);
  throw failure;
}

// Neumaier's compensated sum of x[i] for i != skip.
double sumExcept(const std::vector<double>& x, std::size_t skip) {
  double sum = 0, compensation = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (i == skip) continue;
    const double next = sum + x[i];
    compensation += std::fabs(sum) >= std::fabs(x[i]) ? (sum - next) + x[i] : (x[i] - next) + sum;
    sum = next;
  }
  return sum + compensation;
}

// The element `last` takes the rest of `total`, clamped into [low, high].
void closeSum(std::vector<double>& x, std::size_t last, double total, double low, double high) {
  x[last] = std::min(std::max(total - sumExcept(x, last), low), high);
}

void checkCountAndTotal(std::size_t n, double total) {
  MCJOBS_CHECK(n >= 1, "utilization split: n>=1");
  MCJOBS_CHECK(std::isfinite(total) && total >= 0, "utilization split: total>=0");
}

double power(double base, int exponent) {
  double result = 1;
  for (int i = 0; i < exponent; ++i) result *= base;
  return result;
}

// The sum S of independent Uniform(0, w) over a set of widths: its CDF is the
// inclusion–exclusion sum over the subsets (the knots). Each CDF is taken on
// the shorter side of the distribution, symmetric about total / 2, so that
// only the knots below total / 2 take part.
class UniformSum {
 public:
  explicit UniformSum(double width)
      : mKnots{0.0, width}, mSigns{1.0, -1.0}, mCount(1), mScale(1 / width), mTotal(width) {}

  // S plus one more Uniform(0, width).
  UniformSum(const UniformSum& later, double width)
      : mCount(later.mCount + 1),
        mScale(later.mScale / (static_cast<double>(later.mCount + 1) * width)),
        mTotal(later.mTotal + width) {
    mKnots.reserve(2 * later.mKnots.size());
    mSigns.reserve(2 * later.mKnots.size());
    for (std::size_t i = 0; i < later.mKnots.size(); ++i) {
      mKnots.push_back(later.mKnots[i]);
      mSigns.push_back(later.mSigns[i]);
      mKnots.push_back(later.mKnots[i] + width);
      mSigns.push_back(-later.mSigns[i]);
    }
  }

  double total() const { return mTotal; }

  double cdf(double t) const {
    if (t <= 0) return 0;
    if (t >= mTotal) return 1;
    return t <= mTotal / 2 ? head(t, mCount) : 1 - head(mTotal - t, mCount);
  }

  // P(a <= S <= b) for a <= b, without subtracting values near 1.
  double mass(double a, double b) const {
    a = std::max(a, 0.0);
    b = std::min(b, mTotal);
    if (b <= a) return 0;
    const double half = mTotal / 2;
    double result;
    if (b <= half)
      result = head(b, mCount) - head(a, mCount);
    else if (a >= half)
      result = head(mTotal - a, mCount) - head(mTotal - b, mCount);
    else
      result = 1 - head(a, mCount) - head(mTotal - b, mCount);
    return std::max(result, 0.0);
  }

  double density(double t) const {
    if (t <= 0 || t >= mTotal) return 0;
    return static_cast<double>(mCount) * head(std::min(t, mTotal - t), mCount - 1);
  }

  // The cancellation of the CDF at t <= total / 2: the error bound of its sum
  // relative to 1.
  double cancellation(double t) const {
    double magnitude = 0;
    for (double knot : mKnots)
      if (knot < t) magnitude += power(t - knot, mCount);
    return magnitude * mScale * (mCount + 2) * kUnit;
  }

 private:
  // scale * sum over knots below t of sign * (t - knot)^degree.
  double head(double t, int degree) const {
    double sum = 0;
    for (std::size_t i = 0; i < mKnots.size(); ++i)
      if (mKnots[i] < t) sum += mSigns[i] * power(t - mKnots[i], degree);
    return std::max(sum * mScale, 0.0);
  }

  std::vector<double> mKnots;
  std::vector<double> mSigns;
  int mCount;
  double mScale;  // 1 / (count! * product of the widths)
  double mTotal;
};

// y in [0, width] with density proportional to g(rest - y), g the density of
// `later`: inverse CDF by safeguarded Newton iteration on s = rest - y.
double drawExact(RandomStream& random, double rest, double width, const UniformSum& later) {
  const double top = std::min(rest, later.total());
  const double bottom = std::max(rest - width, 0.0);
  const double mass = later.mass(bottom, top);
  const double target = random.uniform01() * mass;
  if (!(top > bottom) || !(mass > 0)) return std::min(std::max(rest - top, 0.0), width);
  double low = bottom, high = top;
  double s = top - (top - bottom) * (target / mass);
  for (int iteration = 0; iteration < 200; ++iteration) {
    const double excess = later.mass(s, top) - target;  // decreasing in s
    if (excess > 0)
      low = s;
    else if (excess < 0)
      high = s;
    else
      break;
    const double density = later.density(s);
    double next = density > 0 ? s + excess / density : low + (high - low) / 2;
    if (!(next > low && next < high)) next = low + (high - low) / 2;
    if (next == s || next == low || next == high) break;
    s = next;
  }
  return std::min(std::max(rest - s, 0.0), width);
}

// The sums of the elements after each one: later[i] is the sum of w[i+1..k-1].
std::vector<UniformSum> laterSums(const double* w, std::size_t k) {
  std::vector<UniformSum> later;
  later.reserve(k - 1);  // no reallocation while later.back() is being extended
  later.emplace_back(w[k - 1]);
  for (std::size_t i = k - 1; i-- > 1;) later.emplace_back(later.back(), w[i]);
  std::reverse(later.begin(), later.end());
  return later;
}

// Whether every later sum can be evaluated at totals up to `rest` without
// cancellation beyond kExactCancellation.
bool exactIsAccurate(const std::vector<UniformSum>& later, double rest) {
  for (const UniformSum& sum : later)
    if (sum.cancellation(std::min(rest, sum.total() / 2)) > kExactCancellation) return false;
  return true;
}

void drawExactAll(RandomStream& random, double rest, const double* w, std::size_t k,
                  const std::vector<UniformSum>& later, double* y) {
  for (std::size_t i = 0; i + 1 < k; ++i) {
    y[i] = drawExact(random, rest, w[i], later[i]);
    rest = std::max(rest - y[i], 0.0);
  }
  y[k - 1] = std::min(rest, w[k - 1]);
}

// The CDFs of the suffix sums of w (ascending) tabulated over [0, range]:
// row j for the sum of w[j..k-1], j from `first` to k-2, each divided by its
// value at `range` (only ratios are used, and the tails would underflow).
// The rows live in a per-thread buffer reused by every call, so that large
// draws do not pay for fresh pages each time; a new table replaces the last.
struct SuffixGrid {
  double step = 0;
  int intervals = 0;
  std::size_t nodes = 0;
  std::size_t first = 0;
  const double* values = nullptr;
  std::vector<double> bound;  // the interpolation error bound of row j, before the division
  std::vector<double> top;    // the value at `range` row j was divided by
  const double* row(std::size_t j) const { return values + (j - first) * nodes; }
};

// The error bounds (h^2 / 8) * mSum{l >= j} L_l of the header, for h = 1.
std::vector<double> curvatureSums(const double* w, std::size_t k, std::size_t first) {
  std::vector<double> sums(k - 1, 0.0);
  double lipschitz = 1 / (w[k - 2] * w[k - 1]);
  double squares = w[k - 1] * w[k - 1];
  sums[k - 2] = lipschitz / 8;
  for (std::size_t j = k - 2; j-- > first;) {
    squares += w[j + 1] * w[j + 1];
    const double densityBound = std::min(1 / w[k - 1], std::sqrt(2 / squares));
    lipschitz = std::min(lipschitz, densityBound / w[j]);
    sums[j] = sums[j + 1] + lipschitz / 8;
  }
  return sums;
}

SuffixGrid tabulate(const double* w, std::size_t k, double range, std::size_t first,
                    int intervals) {
  SuffixGrid grid;
  grid.first = first;
  const std::vector<double> curvature = curvatureSums(w, k, first);
  const std::size_t rows = k - 1 - first;
  if (intervals == 0) {
    intervals = kGridIntervalsMin;
    while (intervals < kGridIntervalsMax &&
           (rows + 1) * static_cast<std::size_t>(2 * intervals) <= kGridNodesMax) {
      const double step = range / intervals;
      if (step * step * curvature[first] <= kGridTarget) break;
      intervals *= 2;
    }
  }
  const std::size_t nodes = static_cast<std::size_t>(intervals) + 1;
  grid.intervals = intervals;
  grid.nodes = nodes;
  grid.step = range / intervals;
  const double h = grid.step;
  grid.bound.assign(k - 1, 0.0);
  grid.top.assign(k - 1, 1.0);
  for (std::size_t j = first; j + 1 < k; ++j) grid.bound[j] = h * h * curvature[j];
  thread_local std::vector<double> storage;
  if (storage.size() < (rows + 1) * nodes) storage.resize((rows + 1) * nodes);
  grid.values = storage.data();
  double* const integral = storage.data() + rows * nodes;

  // The last two elements exactly.
  const UniformSum lastTwo(UniformSum(w[k - 1]), w[k - 2]);
  double* const bottom = storage.data() + (k - 2 - first) * nodes;
  for (std::size_t n = 0; n < nodes; ++n) bottom[n] = lastTwo.cdf(static_cast<double>(n) * h);
  bottom[0] = 0;
  grid.top[k - 2] = bottom[nodes - 1];
  for (std::size_t n = 0; n < nodes; ++n) bottom[n] /= grid.top[k - 2];

  // Each earlier sum is the box average of the next one's interpolant over
  // [t - w_j, t], from the running integral of the piecewise-linear table.
  for (std::size_t j = k - 2; j-- > first;) {
    const double* const next = storage.data() + (j + 1 - first) * nodes;
    double* const current = storage.data() + (j - first) * nodes;
    integral[0] = 0;
    for (std::size_t n = 1; n < nodes; ++n)
      integral[n] = integral[n - 1] + h * (next[n - 1] + next[n]) / 2;
    const double cells = w[j] / h;
    const double whole = std::floor(cells);
    const double fraction = cells - whole;
    // t_n - w_j lies in cell n - shift at offset (1 - fraction) of a cell.
    const std::size_t shift = static_cast<std::size_t>(whole) + (fraction > 0 ? 1 : 0);
    const double offset = fraction > 0 ? 1 - fraction : 0;
    for (std::size_t n = 0; n < nodes; ++n) {
      double behind = 0;
      if (n >= shift) {
        const std::size_t c = n - shift;
        const double slope = c + 1 < nodes ? next[c + 1] - next[c] : 0;
        behind = integral[c] + h * offset * (next[c] + offset / 2 * slope);
      }
      current[n] = std::max((integral[n] - behind) / w[j], 0.0);
    }
    const double divisor = current[nodes - 1];
    grid.top[j] = divisor * grid.top[j + 1];
    if (divisor > 0)
      for (std::size_t n = 0; n < nodes; ++n) current[n] /= divisor;
  }
  return grid;
}

// The interpolated table at s in [0, range].
double interpolate(const double* table, std::size_t nodes, double step, double s) {
  const double position = std::max(s / step, 0.0);
  const std::size_t cell = static_cast<std::size_t>(position);
  if (cell >= nodes - 1) return table[nodes - 1];
  const double fraction = position - static_cast<double>(cell);
  return table[cell] + fraction * (table[cell + 1] - table[cell]);
}

// y in [0, width] from the interpolated table of the later sum: the exact
// inverse of its piecewise-linear CDF.
double drawTabulated(RandomStream& random, double rest, double width, const double* table,
                     std::size_t nodes, double step) {
  const double bottom = std::max(rest - width, 0.0);
  const double atTop = interpolate(table, nodes, step, rest);
  const double atBottom = interpolate(table, nodes, step, bottom);
  const double target = atTop - random.uniform01() * (atTop - atBottom);
  if (!(atTop > atBottom)) return std::min(rest, width);
  // The first node at or above the target, then the linear piece below it.
  const std::size_t from = std::min(static_cast<std::size_t>(bottom / step), nodes - 1);
  const std::size_t to = std::min(static_cast<std::size_t>(rest / step) + 1, nodes - 1);
  const std::size_t node =
      static_cast<std::size_t>(std::lower_bound(table + from, table + to + 1, target) - table);
  double s = rest;
  if (node > 0 && node <= to) {
    const double rise = table[node] - table[node - 1];
    const double fraction = rise > 0 ? (target - table[node - 1]) / rise : 0;
    s = (static_cast<double>(node - 1) + fraction) * step;
  }
  s = std::min(std::max(s, bottom), rest);
  return std::min(std::max(rest - s, 0.0), width);
}

void drawBox(RandomStream& random, double rest, const double* w, std::size_t k, double* y);

// rest <= sum w / 2 and every w <= rest, ascending.
void drawNormalised(RandomStream& random, double rest, const double* w, std::size_t k, double* y) {
  if (k <= kExactMax) {
    const std::vector<UniformSum> later = laterSums(w, k);
    if (k <= 3 || exactIsAccurate(later, rest)) {
      drawExactAll(random, rest, w, k, later, y);
      return;
    }
  }
  const SuffixGrid grid = tabulate(w, k, rest, 1, 0);
  // The grid serves while the rest spans enough of its cells; the last three
  // elements are drawn exactly.
  std::size_t i = 0;
  for (; i + 3 < k; ++i) {
    if (i > 0 && rest < kRebuildCells * grid.step) break;
    y[i] = drawTabulated(random, rest, w[i], grid.row(i + 1), grid.nodes, grid.step);
    rest = std::max(rest - y[i], 0.0);
  }
  drawBox(random, rest, w + i, k - i, y + i);
}

// Uniform on { y : sum y = rest, 0 <= y <= w } for positive widths, ascending.
void drawBox(RandomStream& random, double rest, const double* w, std::size_t k, double* y) {
  if (k == 0) return;
  double sum = 0;
  for (std::size_t i = 0; i < k; ++i) sum += w[i];
  rest = std::min(std::max(rest, 0.0), sum);
  const bool complement = rest > sum / 2;
  if (complement) rest = std::max(sum - rest, 0.0);
  if (rest == 0) {
    for (std::size_t i = 0; i < k; ++i) y[i] = complement ? w[i] : 0;
    return;
  }
  std::vector<double> cut(w, w + k);
  for (double& width : cut) width = std::min(width, rest);
  drawNormalised(random, rest, cut.data(), k, y);
  if (complement)
    for (std::size_t i = 0; i < k; ++i) y[i] = std::max(w[i] - y[i], 0.0);
}

// u^(1/k) for u in (0, 1], as exp(log(u) / k) from series in + - * / alone,
// so that no C library's pow or log decides the last bits of a drawn vector.
// Both series are summed past double precision (terms below 1e-20).
double rootOfUniform(double u, std::size_t k) {
  constexpr double kLn2 = 0.693147180559945309417232121458176568;
  int exponent = 0;
  double mantissa = std::frexp(u, &exponent);  // exact: u = mantissa * 2^exponent
  if (mantissa < 0.70710678118654752440) {
    mantissa *= 2;
    --exponent;
  }
  // log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172.
  const double s = (mantissa - 1) / (mantissa + 1), s2 = s * s;
  double power = s, series = 0.0;
  for (int odd = 1; odd <= 29; odd += 2, power *= s2) series += power / odd;
  const double x = (exponent * kLn2 + 2 * series) / static_cast<double>(k);
  // exp(x) = 2^n exp(r), |r| <= ln2 / 2.
  const double n = std::floor(x / kLn2 + 0.5);
  const double r = x - n * kLn2;
  double term = 1.0, sum = 1.0;
  for (int i = 1; i <= 20; ++i) {
    term *= r / i;
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(n));
}

}  // namespace

std::vector<double> uunifast(RandomStream& random, std::size_t n, double total) {
  checkCountAndTotal(n, total);
  std::vector<double> x(n);
  double rest = total;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double kept = rest * rootOfUniform(random.uniform01OpenAtZero(), n - 1 - i);
    x[i] = rest - kept;
    rest = kept;
  }
  closeSum(x, n - 1, total, 0, total);
  return x;
}

std::vector<double> uunifastDiscard(RandomStream& random, std::size_t n, double total, double cap) {
  checkCountAndTotal(n, total);
  MCJOBS_CHECK(std::isfinite(cap) && cap >= 0, "utilization split: cap>=0");
  if (total > static_cast<double>(n) * cap)
    fail("utilization split: total<=n*cap",
         "no " + std::to_string(n) + " values of at most " + number(cap) + " sum to " +
             number(total),
         __FILE__, __LINE__);
  for (int attempt = 0; attempt < kDiscardAttempts; ++attempt) {
    std::vector<double> x = uunifast(random, n, total);
    if (*std::max_element(x.begin(), x.end()) <= cap) return x;
  }
  fail("utilization split: UUniFast-Discard found no vector within the cap",
       "none of " + std::to_string(kDiscardAttempts) + " UUniFast vectors of " + std::to_string(n) +
           " values summing to " + number(total) + " kept every value at " + "most " + number(cap) +
           "; use --split cfs, which draws within bounds directly",
       __FILE__, __LINE__);
}

std::vector<double> convolutionalFixedSum(RandomStream& random, double total,
                                          const std::vector<double>& lower,
                                          const std::vector<double>& upper) {
  MCJOBS_CHECK(!lower.empty() && lower.size() == upper.size(),
               "utilization split: bounds non-empty and of equal size");
  const std::size_t n = lower.size();
  for (std::size_t i = 0; i < n; ++i)
    if (!(std::isfinite(lower[i]) && std::isfinite(upper[i]) && 0 <= lower[i] &&
          lower[i] <= upper[i]))
      fail("utilization split: 0<=lower[i]<=upper[i]",
           "element " + std::to_string(i + 1) + " has the bounds [" + number(lower[i]) + ", " +
               number(upper[i]) + "]",
           __FILE__, __LINE__);
  const double lowerSum = sumExcept(lower, n);
  const double upperSum = sumExcept(upper, n);
  const double slack = 4 * kUnit * upperSum;
  if (!(std::isfinite(total) && lowerSum - slack <= total && total <= upperSum + slack))
    fail("utilization split: sum lower<=total<=sum upper",
         "the total " + number(total) + " is outside [" + number(lowerSum) + ", " +
             number(upperSum) + "], the sums of the bounds",
         __FILE__, __LINE__);

  // The free elements, narrowest first (ties by position).
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < n; ++i)
    if (upper[i] > lower[i]) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return upper[a] - lower[a] < upper[b] - lower[b];
  });
  std::vector<double> widths(order.size()), y(order.size());
  for (std::size_t j = 0; j < order.size(); ++j) widths[j] = upper[order[j]] - lower[order[j]];
  drawBox(random, total - lowerSum, widths.data(), widths.size(), y.data());

  std::vector<double> x = lower;
  for (std::size_t j = 0; j < order.size(); ++j) {
    const std::size_t i = order[j];
    x[i] = std::min(lower[i] + y[j], upper[i]);
  }
  if (!order.empty()) {
    const std::size_t last = order.back();
    closeSum(x, last, total, lower[last], upper[last]);
  }
  return x;
}

}  // namespace mcjobs

namespace mcjobs_detail {

double uniformSumCdf(const std::vector<double>& widths, double t) {
  mcjobs::UniformSum sum(widths.back());
  for (std::size_t i = widths.size() - 1; i-- > 0;) sum = mcjobs::UniformSum(sum, widths[i]);
  return sum.cdf(t);
}

UniformSumGrid uniformSumGrid(const std::vector<double>& widths, double range, int intervals) {
  const mcjobs::SuffixGrid grid = mcjobs::tabulate(widths.data(), widths.size(), range, 0, intervals);
  UniformSumGrid result{grid.step, {grid.row(0), grid.row(0) + grid.nodes}, grid.bound[0]};
  for (double& value : result.cdf) value *= grid.top[0];
  return result;
}

}  // namespace mcjobs_detail
