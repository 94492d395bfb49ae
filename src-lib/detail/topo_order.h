// Internal: one level's precedence graph in compact arrays, and its
// topological orders. The analyses that only need a maximum or minimum along
// paths run as sweeps over such an order instead of reading the transitive
// sets, and over the arrays instead of one set per job.
#ifndef MCJOBS_TOPO_ORDER_H
#define MCJOBS_TOPO_ORDER_H

#include <algorithm>
#include <cstddef>
#include <functional>
#include <queue>
#include <vector>

#include "job.h"

namespace mcjobs_detail {

/// Which of the ready jobs Kahn's algorithm takes next.
enum class ReadyRule {
  /// First in, first out: O(jobs + arcs).
  kFifo,
  /// The smallest id, so that the order keeps the id order wherever the arcs
  /// allow it (exactly, when every arc points to a higher id): O(arcs + jobs log jobs).
  kSmallestId,
};

/// A topological order as far as it goes.
struct KahnOrder {
  /// Every job after all its direct predecessors; all jobs when acyclic.
  std::vector<int> order;
  /// The smallest id of a job that is on a cycle or behind one; NO_JOB_ID when acyclic.
  int cycleWitness = NO_JOB_ID;

  bool complete() const { return cycleWitness == NO_JOB_ID; }
};

/// Kahn's algorithm, the one topological sort of the library, over any
/// adjacency: `forEachSuccessor(u, visit)` calls `visit(v)` once per arc u -> v
/// of the jobs 0 .. count-1 (parallel arcs counted each time). The jobs without
/// predecessors enter in ascending id order.
template <typename ForEachSuccessor>
KahnOrder kahnOrder(int count, const ForEachSuccessor& forEachSuccessor,
                    ReadyRule rule = ReadyRule::kFifo) {
  const size_t n = static_cast<size_t>(count);
  std::vector<int> missing(n, 0);
  for (int u = 0; u < count; ++u)
    forEachSuccessor(u, [&missing](int v) { ++missing[static_cast<size_t>(v)]; });
  KahnOrder result;
  std::vector<int>& order = result.order;
  order.reserve(n);
  if (rule == ReadyRule::kFifo) {
    for (int u = 0; u < count; ++u)
      if (missing[static_cast<size_t>(u)] == 0) order.push_back(u);
    // `order` doubles as the queue: the jobs behind `next` are ready.
    for (size_t next = 0; next < order.size(); ++next)
      forEachSuccessor(order[next], [&](int v) {
        if (--missing[static_cast<size_t>(v)] == 0) order.push_back(v);
      });
  } else {
    std::priority_queue<int, std::vector<int>, std::greater<int>> ready;
    for (int u = 0; u < count; ++u)
      if (missing[static_cast<size_t>(u)] == 0) ready.push(u);
    while (!ready.empty()) {
      const int u = ready.top();
      ready.pop();
      order.push_back(u);
      forEachSuccessor(u, [&](int v) {
        if (--missing[static_cast<size_t>(v)] == 0) ready.push(v);
      });
    }
  }
  if (order.size() < n)
    for (size_t u = 0; u < n && result.cycleWitness == NO_JOB_ID; ++u)
      if (missing[u] > 0) result.cycleWitness = static_cast<int>(u);
  return result;
}

/// The heaviest path of a DAG whose jobs carry weights.
struct HeaviestPath {
  long long length = 0;
  /// The jobs of the first heaviest path found, in precedence order.
  std::vector<int> jobs;
};

/// The one critical-path computation of the library: one sweep over `order`, a
/// topological order of the jobs 0 .. count-1 under `forEachSuccessor` (as in
/// kahnOrder). `weight(u)` is the job's weight, or negative for a job that takes
/// no part (it neither starts, ends nor extends a path).
template <typename ForEachSuccessor, typename Weight>
HeaviestPath heaviestPath(int count, const std::vector<int>& order,
                          const ForEachSuccessor& forEachSuccessor, const Weight& weight) {
  std::vector<long long> best(static_cast<size_t>(count), 0);
  std::vector<int> previous(static_cast<size_t>(count), NO_JOB_ID);
  int end = NO_JOB_ID;
  for (int u : order) {
    const long long own = weight(u);
    if (own < 0) continue;
    best[u] += own;
    if (end == NO_JOB_ID || best[u] > best[end]) end = u;
    forEachSuccessor(u, [&](int v) {
      if (best[u] > best[v]) {
        best[v] = best[u];
        previous[v] = u;
      }
    });
  }
  HeaviestPath path;
  if (end == NO_JOB_ID) return path;
  path.length = best[end];
  for (int u = end; u != NO_JOB_ID; u = previous[u]) path.jobs.push_back(u);
  std::reverse(path.jobs.begin(), path.jobs.end());
  return path;
}

/// Fails the level check that every graph operation runs before it indexes the
/// per-level sets with the level.
void checkGraphLevel(int level);

/// The direct successors of every job at one level: those of job u are
/// successors[first[u]] .. successors[first[u + 1] - 1], in ascending id order.
struct LevelGraph {
  std::vector<std::size_t> first;
  std::vector<int> successors;

  int size() const { return static_cast<int>(first.size()) - 1; }
  const int* begin(int id) const { return successors.data() + first[id]; }
  const int* end(int id) const { return successors.data() + first[id + 1]; }
};

/// A copy of the level's arcs. At CRIT_LO it comes from the instance's arc
/// list, which holds every arc, so that no per-job set needs to be handed out.
LevelGraph levelGraph(JobInstance& instance, int level);

/// The level's arcs as the adjacency kahnOrder walks.
inline KahnOrder kahnOrder(const LevelGraph& graph, ReadyRule rule = ReadyRule::kFifo) {
  return kahnOrder(
      graph.size(),
      [&graph](int u, auto&& visit) {
        for (const int* v = graph.begin(u); v != graph.end(u); ++v) visit(*v);
      },
      rule);
}

/// Kahn's order: every job comes after all its direct predecessors. The jobs
/// without predecessors start it in ascending id order, and the ready jobs
/// are taken first in, first out. O(jobs + arcs).
std::vector<int> topologicalOrder(const LevelGraph& graph);
std::vector<int> topologicalOrder(JobInstance& instance, int level);

/// A topological order that keeps the jobs reachable from one job close
/// together: the id order when every arc points to a higher id, otherwise the
/// reverse postorder of a depth-first search started from the jobs in
/// ascending id order. O(jobs + arcs).
std::vector<int> compactTopologicalOrder(const LevelGraph& graph);
std::vector<int> compactTopologicalOrder(JobInstance& instance, int level);

}  // namespace mcjobs_detail

#endif  // MCJOBS_TOPO_ORDER_H
