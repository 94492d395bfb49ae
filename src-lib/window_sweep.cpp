// Window propagation without the transitive sets: final windows by dynamic
// programming over a topological order, and the location of the first change
// that a sanity check rejects.
//
// Why the location follows from the original windows (arrivals; deadlines are
// the mirror image). The pass hands, at the turn of job u (ascending ids), u's
// current arrival to every transitive successor s whose arrival is lower.
// Unfolding the turns before u, that current arrival is the largest original
// arrival among u and its transitive predecessors with lower ids, and so is
// the arrival s holds when u's turn comes. Hence u changes s exactly when u's
// original arrival exceeds those of s and of every transitive predecessor of s
// with a lower id than u, and it hands over its original arrival. A job whose
// arrival is not below -1 accepts every raise up to a bound and rejects every
// raise above it (the window checks are monotone, the others do not depend on
// the arrival). So the first raise that job s rejects comes from the lowest id
// u among its transitive predecessors whose original arrival exceeds s's
// bound, and the first rejected change of the pass is at the lowest such u
// over all s: the lowest u whose arrival exceeds the smallest bound among its
// transitive successors, applied to the lowest such successor of u.
#include "detail/window_sweep.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "detail/topo_order.h"

namespace mcjobs_detail {

namespace {

constexpr std::int64_t kNoBound = INT64_MAX;

// Whether the checks that do not involve the window pass.
bool budgetsValid(const Job& job) {
  return (job.criticality == CRIT_LO || job.criticality == CRIT_HI) && job.lo_wcet > 0 &&
         job.hi_wcet >= job.lo_wcet && (job.criticality != CRIT_LO || job.hi_wcet == job.lo_wcet);
}

// The shortest window the sanity check accepts for a job with valid budgets.
std::int64_t windowNeed(const Job& job) {
  return job.criticality == CRIT_HI ? job.hi_wcet : job.lo_wcet;
}

// The highest arrival that the job accepts together with every raise up to
// it; a raise beyond it fails the sanity check.
std::int64_t arrivalBound(const Job& job) {
  if (!budgetsValid(job)) return job.arrival;
  return std::max<std::int64_t>(job.arrival, std::int64_t{job.deadline} - windowNeed(job));
}

// The lowest deadline that the job accepts together with every lowering down
// to it; a lowering below it fails the sanity check.
std::int64_t deadlineBound(const Job& job) {
  if (!budgetsValid(job) || job.arrival < 0) return job.deadline;
  return std::min<std::int64_t>(job.deadline, std::int64_t{job.arrival} + windowNeed(job));
}

// The lowest id among the transitive successors of `start` that `rejects`.
template <typename Rejects>
int lowestRejectingSuccessor(const LevelGraph& graph, int start, Rejects rejects) {
  std::vector<char> seen(static_cast<size_t>(graph.size()), 0);
  std::vector<int> todo{start};
  int lowest = NO_JOB_ID;
  while (!todo.empty()) {
    const int id = todo.back();
    todo.pop_back();
    for (const int* s = graph.begin(id); s != graph.end(id); ++s) {
      if (seen[*s]) continue;
      seen[*s] = 1;
      todo.push_back(*s);
      if (rejects(*s) && (lowest == NO_JOB_ID || *s < lowest)) lowest = *s;
    }
  }
  return lowest;
}

// The lowest id among the transitive predecessors of `target` that `rejects`,
// found from the successors along a topological order.
template <typename Rejects>
int lowestRejectingPredecessor(const LevelGraph& graph, const std::vector<int>& order, int target,
                               Rejects rejects) {
  std::vector<char> reaches(static_cast<size_t>(graph.size()), 0);
  int lowest = NO_JOB_ID;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    for (const int* s = graph.begin(*it); s != graph.end(*it); ++s) {
      if (*s == target || reaches[*s]) {
        reaches[*it] = 1;
        break;
      }
    }
    if (reaches[*it] && rejects(*it) && (lowest == NO_JOB_ID || *it < lowest)) lowest = *it;
  }
  return lowest;
}

// What both sweeps start from: the level's arcs in a topological order, each
// job's window end as the value to propagate, and the bound its check sets.
struct Sweep {
  Sweep(JobInstance& instance, int level, int Job::*field, std::int64_t (*boundOf)(const Job&))
      : graph(levelGraph(instance, level)),
        order(topologicalOrder(graph)),
        mInstance(instance),
        mField(field) {
    const size_t count = static_cast<size_t>(instance.size());
    result.values.resize(count);
    bound.resize(count);
    for (size_t id = 0; id < count; ++id) {
      const Job& job = *instance.at(static_cast<int>(id));
      result.values[id] = job.*field;
      bound[id] = boundOf(job);
    }
  }

  SweepResult finish() {
    for (int id = 0; id < mInstance.size() && !result.changes; ++id)
      result.changes = result.values[id] != mInstance.at(id)->*mField;
    return std::move(result);
  }

  const LevelGraph graph;
  const std::vector<int> order;
  std::vector<std::int64_t> bound;
  SweepResult result;

 private:
  JobInstance& mInstance;
  int Job::*mField;
};

}  // namespace

SweepResult sweepArrivals(JobInstance& instance, int level) {
  Sweep sweep(instance, level, &Job::arrival, arrivalBound);
  const LevelGraph& graph = sweep.graph;
  const std::vector<int>& order = sweep.order;
  const std::vector<std::int64_t>& bound = sweep.bound;
  const int count = instance.size();
  SweepResult& result = sweep.result;

  for (int id : order)
    for (const int* s = graph.begin(id); s != graph.end(id); ++s)
      result.values[*s] = std::max(result.values[*s], result.values[id]);

  // tightest[u]: the smallest bound among u's transitive successors.
  std::vector<std::int64_t> tightest(static_cast<size_t>(count), kNoBound);
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    for (const int* s = graph.begin(*it); s != graph.end(*it); ++s)
      tightest[*it] = std::min({tightest[*it], tightest[*s], bound[*s]});

  for (int id = 0; id < count; ++id) {
    const int arrival = instance.at(id)->arrival;
    if (arrival > tightest[id]) {
      result.rejected.job =
          lowestRejectingSuccessor(graph, id, [&](int other) { return arrival > bound[other]; });
      result.rejected.value = arrival;
      break;
    }
  }
  return sweep.finish();
}

SweepResult sweepDeadlines(JobInstance& instance, int level) {
  Sweep sweep(instance, level, &Job::deadline, deadlineBound);
  const LevelGraph& graph = sweep.graph;
  const std::vector<int>& order = sweep.order;
  const std::vector<std::int64_t>& bound = sweep.bound;
  const int count = instance.size();
  SweepResult& result = sweep.result;

  for (auto it = order.rbegin(); it != order.rend(); ++it)
    for (const int* s = graph.begin(*it); s != graph.end(*it); ++s)
      result.values[*it] = std::min(result.values[*it], result.values[*s]);

  // loosest[u]: the largest bound among u's transitive predecessors.
  std::vector<std::int64_t> loosest(static_cast<size_t>(count), -kNoBound);
  for (int id : order)
    for (const int* s = graph.begin(id); s != graph.end(id); ++s)
      loosest[*s] = std::max({loosest[*s], loosest[id], bound[id]});

  for (int id = 0; id < count; ++id) {
    const int deadline = instance.at(id)->deadline;
    if (deadline < loosest[id]) {
      result.rejected.job = lowestRejectingPredecessor(
          graph, order, id, [&](int other) { return deadline < bound[other]; });
      result.rejected.value = deadline;
      break;
    }
  }
  return sweep.finish();
}

}  // namespace mcjobs_detail

namespace mcjobs {

RejectedChange firstRejectedArrival(JobInstance& instance, int level) {
  return mcjobs_detail::sweepArrivals(instance, level).rejected;
}

RejectedChange firstRejectedDeadline(JobInstance& instance, int level) {
  return mcjobs_detail::sweepDeadlines(instance, level).rejected;
}

}  // namespace mcjobs
