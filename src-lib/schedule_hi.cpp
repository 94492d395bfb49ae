// The HI table: a global list policy run backwards from the deadlines, so that HI jobs run as
// late as possible and leave the early part of their windows to the LO table.
#include <algorithm>

#include "detail/check.h"
#include "schedule.h"
#include "detail/schedule_engine.h"
#include "detail/topo_order.h"

namespace mcjobs {

using mcjobs_detail::EngineFailure;
using mcjobs_detail::EngineJob;

bool scheduleHi(JobInstance& instance, int processors, std::vector<ScheduleSegment>& table,
                ScheduleFailure& failure) {
  return scheduleHi(instance, processors, SchedulePolicy::kEdf, table, failure);
}

bool scheduleHi(JobInstance& instance, int processors, SchedulePolicy policy,
                std::vector<ScheduleSegment>& table, ScheduleFailure& failure) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  table.clear();
  std::vector<int> ids;
  std::vector<int> index(static_cast<size_t>(instance.numJobs()), -1);
  for (const Job& job : instance)
    if (job.criticality == CRIT_HI) {
      index[static_cast<size_t>(job.id)] = static_cast<int>(ids.size());
      ids.push_back(job.id);
    }

  // Mirrored time: a job is released at -deadline, due at -arrival, and its HI-level
  // predecessors become its successors.
  std::vector<EngineJob> jobs(ids.size());
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(instance, CRIT_HI);
  for (size_t k = 0; k < ids.size(); ++k) {
    const Job& job = *instance.at(ids[k]);
    jobs[k].release = -static_cast<int64_t>(job.deadline);
    jobs[k].deadline = jobs[k].priority = -static_cast<int64_t>(job.arrival);
    jobs[k].work = job.hi_wcet;
    for (const int* s = graph.begin(ids[k]); s != graph.end(ids[k]); ++s) {
      const int mirrored = index[static_cast<size_t>(*s)];
      jobs[static_cast<size_t>(mirrored)].successors.push_back(static_cast<int>(k));
      ++jobs[k].predecessors;
    }
  }
  mcjobs_detail::tightenPriorities(jobs, {});

  std::vector<ScheduleSegment> mirrored;
  EngineFailure stop;
  if (!mcjobs_detail::runGlobalList(jobs, processors, policy, mirrored, stop)) {
    const int id = ids[static_cast<size_t>(stop.job)];
    failure = {CRIT_HI, id, ScheduleFailureKind::kArrival, instance.at(id)->arrival, -stop.time};
    return false;
  }
  for (const ScheduleSegment& s : mirrored)
    table.push_back({ids[static_cast<size_t>(s.job)], s.processor, -s.end, -s.start});
  std::sort(table.begin(), table.end(), [](const ScheduleSegment& a, const ScheduleSegment& b) {
    return a.processor != b.processor ? a.processor < b.processor : a.start < b.start;
  });
  return true;
}

}  // namespace mcjobs
