// Internal: the event-driven global list scheduler behind both mode tables. It knows nothing of
// modes or mirroring: jobs with a release, a deadline, a priority deadline, an amount of work,
// precedence, and optionally a progress curve they must never fall behind (the safe switch).
#ifndef MCJOBS_SCHEDULE_ENGINE_H
#define MCJOBS_SCHEDULE_ENGINE_H

#include <cstdint>
#include <vector>

#include "schedule.h"

namespace mcjobs_detail {

struct EngineJob {
  int64_t release = 0;
  int64_t deadline = 0;  ///< missing it fails the run
  int64_t priority = 0;  ///< the effective deadline the policy ranks by
  int64_t work = 0;
  int predecessors = 0;         ///< number of direct predecessors
  std::vector<int> successors;  ///< direct successors
  /// Segments [start, end) of a curve the job's progress must stay at or above until `work` is
  /// done (the job's HI-table runs), sorted and disjoint; empty: no such constraint.
  std::vector<std::pair<int64_t, int64_t>> floor;
};

struct EngineFailure {
  int job = 0;
  bool floorBroken = false;  ///< false: the deadline is missed
  int64_t time = 0;
};

/// Runs the jobs on `processors` processors; segments in `out` (sorted by processor, then start),
/// or false with `failure` set.
bool runGlobalList(std::vector<EngineJob>& jobs, int processors, mcjobs::SchedulePolicy policy,
                   std::vector<mcjobs::ScheduleSegment>& out, EngineFailure& failure);

/// Effective deadlines along the successors: each job's own `priority` lowered to every
/// successor's effective deadline minus its work, and to `latestStart[s]` for each successor s
/// (when `latestStart` is not empty).
void tightenPriorities(std::vector<EngineJob>& jobs, const std::vector<int64_t>& latestStart);

}  // namespace mcjobs_detail

#endif  // MCJOBS_SCHEDULE_ENGINE_H
