// Internal: the interval scan behind JobInstance::getStress, kept apart from
// the feasibility test so that tests and benchmarks can run it on plain
// windows. Not installed.
#ifndef MCJOBS_LOAD_SCAN_H
#define MCJOBS_LOAD_SCAN_H

#include <vector>

namespace mcjobs_detail {

/// @brief A window that an interval counts when it lies inside it, with the budget it adds.
struct LoadWindow {
  int arrival;
  int deadline;
  int wcet;
};

/// @brief Largest interval load over every pair arr < ddl of the given end points.
///
/// `arrivals` and `deadlines` are sorted and free of duplicates. An interval
/// [arr, ddl] counts the windows of `counted` lying inside it; its load is
/// (np * budgets) / ((ddl - arr) * min(jobs, np)), an interval counting no job
/// is ignored, and the result is never below 0.0. O(n log n) per sweep, a handful
/// of sweeps; for np > 1 one more pass of O(np * n), or the direct scan when np
/// nears n or when the candidates' doubles could round unevenly.
double maxIntervalLoad(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
                       const std::vector<LoadWindow>& counted, int np);

/// @brief The same value by trying every arrival against every deadline:
/// O(|arrivals| * (|deadlines| + n)). The reference for maxIntervalLoad, and its
/// fallback where double arithmetic may round the candidates unevenly or np nears n.
double maxIntervalLoadQuadratic(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
                                std::vector<LoadWindow> counted, int np);

}  // namespace mcjobs_detail

#endif  // MCJOBS_LOAD_SCAN_H
