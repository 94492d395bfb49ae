// One level's arcs in compact arrays and its topological orders, shared by the
// window analyses, the reachability scan and the reports built on them.
#include "detail/topo_order.h"

#include <utility>

#include "detail/check.h"
#include "detail/instance_graph.h"

namespace mcjobs_detail {

void checkGraphLevel(int level) {
  MCJOBS_CHECK(level == CRIT_LO || level == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
}

LevelGraph levelGraph(JobInstance& instance, int level) {
  checkGraphLevel(level);
  const int count = instance.size();
  LevelGraph graph;
  graph.first.assign(static_cast<size_t>(count) + 1, 0);
  // Read from the instance's own arc lists: no per-job set is created.
  // They come by ascending source, then target.
  const std::vector<Arc> arcs = InstanceAccess::levelArcs(instance, level);
  graph.successors.reserve(arcs.size());
  for (const Arc& arc : arcs) {
    ++graph.first[arc.from_id + 1];
    graph.successors.push_back(arc.to_id);
  }
  for (int id = 0; id < count; ++id) graph.first[id + 1] += graph.first[id];
  return graph;
}

std::vector<int> topologicalOrder(const LevelGraph& graph) {
  KahnOrder sorted = kahnOrder(graph);
  // The instance rejects every arc that would close a cycle.
  MCJOBS_CHECK(sorted.complete(), "acyclic precedence graph");
  return std::move(sorted.order);
}

std::vector<int> topologicalOrder(JobInstance& instance, int level) {
  return topologicalOrder(levelGraph(instance, level));
}

std::vector<int> compactTopologicalOrder(const LevelGraph& graph) {
  const int count = graph.size();
  bool forward = true;
  for (int id = 0; id < count && forward; ++id)
    forward = graph.begin(id) == graph.end(id) || *graph.begin(id) > id;
  std::vector<int> order(static_cast<size_t>(count));
  if (forward) {
    for (int id = 0; id < count; ++id) order[id] = id;
    return order;
  }

  // Iterative depth-first search; jobs are written from the back as they finish.
  std::vector<char> seen(static_cast<size_t>(count), 0);
  std::vector<std::pair<int, const int*>> stack;
  size_t back = static_cast<size_t>(count);
  for (int root = 0; root < count; ++root) {
    if (seen[root]) continue;
    seen[root] = 1;
    stack.push_back({root, graph.begin(root)});
    while (!stack.empty()) {
      const int id = stack.back().first;
      const int*& next = stack.back().second;
      while (next != graph.end(id) && seen[*next]) ++next;
      if (next == graph.end(id)) {
        order[--back] = id;
        stack.pop_back();
        continue;
      }
      const int child = *next++;
      seen[child] = 1;
      stack.push_back({child, graph.begin(child)});
    }
  }
  return order;
}

std::vector<int> compactTopologicalOrder(JobInstance& instance, int level) {
  return compactTopologicalOrder(levelGraph(instance, level));
}

}  // namespace mcjobs_detail
