// The LO table: global EDF or LLF forward in time, with the HI jobs held to their HI-table
// progress until they have run their LO budget (the safe mode switch).
#include <algorithm>

#include "detail/check.h"
#include "schedule.h"
#include "detail/schedule_engine.h"
#include "detail/topo_order.h"

namespace mcjobs {

using mcjobs_detail::EngineFailure;
using mcjobs_detail::EngineJob;

bool scheduleLo(JobInstance& instance, int processors, SchedulePolicy policy,
                const std::vector<ScheduleSegment>& hiTable, std::vector<ScheduleSegment>& table,
                ScheduleFailure& failure) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  const size_t n = static_cast<size_t>(instance.numJobs());
  std::vector<EngineJob> jobs(n);
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(instance, CRIT_LO);
  for (const Job& job : instance) {
    EngineJob& e = jobs[static_cast<size_t>(job.id)];
    e.release = job.arrival;
    e.deadline = e.priority = job.deadline;
    e.work = job.lo_wcet;
    for (const int* s = graph.begin(job.id); s != graph.end(job.id); ++s) {
      e.successors.push_back(*s);
      ++jobs[static_cast<size_t>(*s)].predecessors;
    }
  }
  for (const ScheduleSegment& s : hiTable)
    if (s.job >= 0 && static_cast<size_t>(s.job) < n)
      jobs[static_cast<size_t>(s.job)].floor.push_back({s.start, s.end});

  // A HI job must start by its first HI-table start and have run its LO budget by the time the
  // HI table has: its predecessors must be done before that start.
  std::vector<int64_t> latestStart(n, INT64_MAX);
  for (size_t j = 0; j < n; ++j) {
    std::vector<std::pair<int64_t, int64_t>>& floor = jobs[j].floor;
    if (floor.empty()) continue;
    std::sort(floor.begin(), floor.end());
    latestStart[j] = floor.front().first;
    int64_t run = 0;
    for (const auto& piece : floor) {
      if (run + (piece.second - piece.first) >= jobs[j].work) {
        jobs[j].priority = std::min(jobs[j].priority, piece.first + jobs[j].work - run);
        break;
      }
      run += piece.second - piece.first;
    }
  }
  mcjobs_detail::tightenPriorities(jobs, latestStart);

  EngineFailure stop;
  if (!mcjobs_detail::runGlobalList(jobs, processors, policy, table, stop)) {
    const Job& job = *instance.at(stop.job);
    failure = stop.floorBroken ? ScheduleFailure{CRIT_LO, job.id, ScheduleFailureKind::kSafeSwitch,
                                                 stop.time, stop.time}
                               : ScheduleFailure{CRIT_LO, job.id, ScheduleFailureKind::kDeadline,
                                                 job.deadline, stop.time};
    table.clear();
    return false;
  }
  return true;
}

}  // namespace mcjobs
