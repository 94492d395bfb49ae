// Internal: the two CDFs of a sum of independent uniforms behind
// ConvolutionalFixedSum, exposed so that the tests can hold the tabulated one
// to its stated error bound.
#ifndef MCJOBS_UTILIZATION_SPLIT_GRID_H
#define MCJOBS_UTILIZATION_SPLIT_GRID_H

#include <vector>

namespace mcjobs_detail {

/// @brief P(sum of Uniform(0, widths[j]) <= t) by inclusion–exclusion (widths positive).
double uniformSumCdf(const std::vector<double>& widths, double t);

/// @brief The same CDF tabulated on `intervals + 1` nodes over [0, range] (at least two
/// widths, ascending; `intervals` 0 chooses it as the sampler does), with the bound on the
/// error of its piecewise-linear interpolant.
struct UniformSumGrid {
  double step;
  std::vector<double> cdf;
  double errorBound;
};
UniformSumGrid uniformSumGrid(const std::vector<double>& widths, double range, int intervals);

}  // namespace mcjobs_detail

#endif  // MCJOBS_UTILIZATION_SPLIT_GRID_H
