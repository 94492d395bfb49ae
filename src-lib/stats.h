// The numbers that summarise a job set per criticality level: sizes, the
// closure, the heaviest path, budgets, the horizon, utilization and load.
// `mcjobs stats` prints them and the Python module returns them, so both
// always agree.
#ifndef MCJOBS_STATS_H
#define MCJOBS_STATS_H

#include <vector>

#include "job.h"

namespace mcjobs {

/// @brief The heaviest path of one level's DAG, each job weighted with its budget there.
struct LongestPath {
  /// The sum of the budgets along the path; 0 when the level has no job.
  long long length = 0;
  /// The jobs of the path in precedence order (the first heaviest path found).
  std::vector<int> jobs;
};

/// @brief The heaviest path of `level` (CRIT_LO or CRIT_HI): all jobs take part at LO, the HI
/// ones at HI. One sweep over a topological order, O(jobs + arcs); CheckError for another level.
LongestPath longestPath(JobInstance& instance, int level);

/// @brief The arcs of `level`, counted without building any transitive set.
long long arcCount(JobInstance& instance, int level);

/// @brief What describes one criticality level of a job set.
struct LevelStats {
  long long arcs = 0;
  /// Ordered pairs (u, v), u != v, with v reachable from u at this level.
  long long closurePairs = 0;
  LongestPath longestPath;
  /// The budgets of the jobs taking part (all at LO, the HI ones at HI).
  long long totalBudget = 0;
  /// JobInstance::getLoad of the level on one processor; DBL_MAX when infeasible.
  double load = 0.0;
};

/// @brief The summary of a whole job set (see computeStats).
struct InstanceStats {
  int jobs = 0;
  int loJobs = 0;
  int hiJobs = 0;
  /// Indexed by level - 1: levels[CRIT_LO - 1], levels[CRIT_HI - 1].
  LevelStats levels[CRIT_COUNT];
  /// False for an empty job set, which has no horizon and no utilization.
  bool hasHorizon = false;
  /// The earliest arrival and the latest deadline.
  int horizonStart = 0;
  int horizonEnd = 0;
  int processors = 1;
  /// Total budget of the level / horizon length / processors, indexed by level - 1.
  double utilization[CRIT_COUNT] = {0.0, 0.0};

  const LevelStats& level(int criticality) const { return levels[criticality - 1]; }
};

/// @brief Summarises `instance` for `processors` (>= 1, else CheckError) processors.
///
/// The closure pairs come from a bulk scan: no transitive set is built, so a large instance
/// costs O(jobs × arcs / 64) time and bounded memory. The load runs the analysis of
/// JobInstance::getLoad on the instance's own windows.
InstanceStats computeStats(JobInstance& instance, int processors = 1);

}  // namespace mcjobs

#endif  // MCJOBS_STATS_H
