// The per-level summary of a job set, computed over compact copies of the
// level graphs so that no transitive set is handed out.
#include "stats.h"

#include <algorithm>
#include <utility>

#include "detail/check.h"
#include "detail/reach_scan.h"
#include "detail/topo_order.h"

namespace mcjobs {

namespace {

// All jobs take part at LO, the HI ones at HI.
bool takesPart(const Job& job, int level) {
  return job.criticality >= level;
}

LongestPath longestPath(JobInstance& instance, const mcjobs_detail::LevelGraph& graph, int level) {
  mcjobs_detail::HeaviestPath heaviest = mcjobs_detail::heaviestPath(
      graph.size(), mcjobs_detail::topologicalOrder(graph),
      [&graph](int u, auto&& visit) {
        for (const int* v = graph.begin(u); v != graph.end(u); ++v) visit(*v);
      },
      [&instance, level](int id) -> long long {
        const Job& job = *instance.job_at(id);
        return takesPart(job, level) ? job.getWCET(level) : -1;
      });
  return LongestPath{heaviest.length, std::move(heaviest.jobs)};
}

LevelStats levelStats(JobInstance& instance, int level) {
  LevelStats stats;
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(instance, level);
  stats.arcs = static_cast<long long>(graph.successors.size());
  for (const Job& job : instance)
    if (takesPart(job, level)) stats.totalBudget += job.getWCET(level);
  stats.closurePairs = mcjobs_detail::scanReachability(graph, false).pairs;
  stats.longestPath = longestPath(instance, graph, level);
  stats.load = instance.getLoad(level, false);
  return stats;
}

}  // namespace

LongestPath longestPath(JobInstance& instance, int level) {
  mcjobs_detail::checkGraphLevel(level);
  return longestPath(instance, mcjobs_detail::levelGraph(instance, level), level);
}

long long arcCount(JobInstance& instance, int level) {
  mcjobs_detail::checkGraphLevel(level);
  return static_cast<long long>(mcjobs_detail::levelGraph(instance, level).successors.size());
}

InstanceStats computeStats(JobInstance& instance, int processors) {
  MCJOBS_CHECK(processors >= 1, "processors >= 1");
  InstanceStats stats;
  stats.jobs = instance.numJobs();
  stats.loJobs = static_cast<int>(instance.numJobs(CRIT_LO));
  stats.hiJobs = static_cast<int>(instance.numJobs(CRIT_HI));
  stats.processors = processors;
  for (int level : {CRIT_LO, CRIT_HI}) stats.levels[level - 1] = levelStats(instance, level);
  for (const Job& job : instance) {
    stats.horizonStart = stats.hasHorizon ? std::min(stats.horizonStart, job.arrival) : job.arrival;
    stats.horizonEnd = stats.hasHorizon ? std::max(stats.horizonEnd, job.deadline) : job.deadline;
    stats.hasHorizon = true;
  }
  if (stats.hasHorizon) {
    const double span =
        static_cast<double>(stats.horizonEnd) - static_cast<double>(stats.horizonStart);
    for (int level : {CRIT_LO, CRIT_HI})
      stats.utilization[level - 1] =
          static_cast<double>(stats.levels[level - 1].totalBudget) / span / processors;
  }
  return stats;
}

}  // namespace mcjobs
