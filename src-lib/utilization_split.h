// Utilization vectors for generated job sets: n non-negative reals with a given
// sum, uniform over the simplex (UUniFast), under a cap (UUniFast-Discard) or
// between per-element bounds (ConvolutionalFixedSum).
//
// Every function draws only from the RandomStream (integer bits turned into
// reals by our own conversions) and computes with + - * /, floor, sqrt, frexp
// and ldexp alone (the library is compiled without contracted multiply-adds),
// so a seed gives the same vector on every platform.
//
// Exact sum: the last element is `total` minus the others (a compensated sum),
// clamped into its bounds, so the exact real sum of the returned doubles is
// within 4 * 2^-53 * (|total| + sum |lower|) of `total`.
#ifndef MCJOBS_UTILIZATION_SPLIT_H
#define MCJOBS_UTILIZATION_SPLIT_H

#include <cstddef>
#include <vector>

#include "random_stream.h"

namespace mcjobs {

/// @brief UUniFast (Bini & Buttazzo, "Measuring the performance of schedulability tests",
/// Real-Time Systems 30, 2005): n non-negative values summing to `total`, uniform over the
/// simplex. Element i is the rest times (1 - u^(1/(n-1-i))), u uniform on (0, 1]; the root
/// is computed by our own series, not the C library's pow.
/// Throws CheckError when n is 0 or `total` is negative or not finite.
std::vector<double> uunifast(RandomStream& random, std::size_t n, double total);

/// @brief UUniFast-Discard (Davis & Burns, "Improved priority assignment for global fixed
/// priority pre-emptive scheduling in multiprocessor real-time systems", Real-Time Systems 47,
/// 2011): UUniFast vectors drawn until no element exceeds `cap`; the result is uniform over
/// the simplex cut by the cap. Throws CheckError when `total > n * cap` (no such vector) or
/// when none of 10,000 vectors is accepted (the acceptance rate falls exponentially as the
/// total nears n * cap; ConvolutionalFixedSum, `--split cfs`, has no such limit).
std::vector<double> uunifastDiscard(RandomStream& random, std::size_t n, double total, double cap);

/// @brief Uniform over { x : sum x = total, lower[i] <= x[i] <= upper[i] }, by the
/// ConvolutionalFixedSum method (Griffin & Davis, RTAS 2025).
///
/// With y = x - lower, widths w = upper - lower and T = total - sum lower, the elements are
/// drawn one at a time (narrowest first), each from its exact marginal given the remaining
/// total: element i has density proportional to 1[0 <= y <= w_i] * g(T - y), g the density of
/// the sum of the elements still to come (independent Uniform(0, w_j)), by inverse-CDF
/// sampling. Two exact reductions come first: when T > sum w / 2 the complement w - y (total
/// sum w - T) is drawn instead, and every width is cut to T (no element can exceed it).
/// Elements with w = 0 are fixed at their lower bound; T = 0 and T = sum w give the bounds.
///
/// - Up to 12 free elements (exact): the CDF of a sum of m uniforms is the inclusion–exclusion
///   sum over subsets S of (-1)^|S| (t - sum_S w)_+^m / (m! prod w), evaluated on the shorter
///   side of the symmetric distribution and inverted by safeguarded Newton iteration to the
///   last bit. It is used only while its cancellation (the absolute sum of the terms times
///   (m + 2) 2^-53) stays below 2^-36 for every later sum; later widths differing by a factor
///   past about 1e5 fail that test and take the grid instead.
/// - More free elements (grid): the CDFs of the later sums are tabulated on N + 1 equidistant
///   nodes over [0, T], h = T / N, each from the next by the exact box average of its
///   piecewise-linear interpolant, starting from the last two elements' exact CDF. Element i
///   is drawn by exactly inverting the interpolated CDF; the last three by the exact method.
///   N starts at 1024 and doubles, up to 32768, while the bound below exceeds 1e-7 and the table
///   stays within 2^20 nodes (8 MiB, a per-thread buffer kept for the next call). The interpolated
///   CDF of the sum of the elements from j on is within
///       eps_j = (h^2 / 8) * sum_{l >= j} L_l
///   of the exact one, where L_l bounds |g_l'|: 1/(w_a w_b) for the last two, then
///   L_l = min(L_{l+1}, D_{l+1} / w_l) with D_{l+1} = min(1 / max w, sqrt(2) / |w_{l+1..}|_2)
///   bounding the density of the later sum (Ball's cube-slicing inequality). Element i's CDF is
///   then within 4 eps_{i+1} / Z_i of its exact conditional CDF, Z_i the (computed)
///   probability that the later sum lies in [T_i - w_i, T_i]. Rounding adds about
///   N * 2^-53 * T / min w. For widths 0.55 and T = 45% of their sum, eps is 3e-8 for 13
///   elements (N = 32768), 2e-6 for 40 (N = 16384), 1e-4 for 100 (N = 8192) and 0.025 for
///   300 (N = 2048): it grows as n^2.5 / N^2 and is pessimistic for many elements. Measured
///   against a table with N = 32768, the first element's conditional CDF is off by at most
///   6e-6 for 100 elements and 9e-4 for 300, where 4 eps / Z says nothing. Once the rest
///   falls below 64 steps, the remaining elements are drawn afresh (the reductions, then a
///   finer table).
///
/// Throws CheckError for empty or mismatched bounds, a negative or non-finite bound,
/// lower > upper, or a total outside [sum lower, sum upper] (beyond rounding).
std::vector<double> convolutionalFixedSum(RandomStream& random, double total,
                                          const std::vector<double>& lower,
                                          const std::vector<double>& upper);

}  // namespace mcjobs

#endif  // MCJOBS_UTILIZATION_SPLIT_H
