// Topological orders of a level's precedence graph, shared by the window
// analyses, the reachability scan and the reports built on them.
#include "topo_order.h"

#include <cstddef>
#include <utility>

#include "check.h"

namespace mcjobs_detail {

void checkGraphLevel(int level) {
  MCJOBS_CHECK(level == CRIT_LO || level == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
}

std::vector<int> topologicalOrder(JobInstance& instance, int level) {
  checkGraphLevel(level);
  const int count = instance.size();
  // In-degrees from the successor sets alone: an instance that creates its
  // sets when first handed out then never creates the predecessor sets.
  std::vector<int> pending(static_cast<size_t>(count), 0);
  for (int id = 0; id < count; ++id)
    for (int successor : instance.getSuccessors(id, level)) ++pending[successor];
  std::vector<int> order;
  order.reserve(static_cast<size_t>(count));
  for (int id = 0; id < count; ++id)
    if (pending[id] == 0) order.push_back(id);
  // `order` doubles as the FIFO queue: the jobs behind `next` are ready.
  for (size_t next = 0; next < order.size(); ++next) {
    for (int successor : instance.getSuccessors(order[next], level))
      if (--pending[successor] == 0) order.push_back(successor);
  }
  // The instance rejects every arc that would close a cycle.
  MCJOBS_CHECK(order.size() == static_cast<size_t>(count), "acyclic precedence graph");
  return order;
}

std::vector<int> compactTopologicalOrder(JobInstance& instance, int level) {
  checkGraphLevel(level);
  const int count = instance.size();
  bool forward = true;
  for (int id = 0; id < count && forward; ++id) {
    const Util::Set<int>& successors = instance.getSuccessors(id, level);
    forward = successors.empty() || *successors.begin() > id;
  }
  std::vector<int> order(static_cast<size_t>(count));
  if (forward) {
    for (int id = 0; id < count; ++id) order[id] = id;
    return order;
  }

  // Iterative depth-first search; jobs are written from the back as they finish.
  std::vector<char> seen(static_cast<size_t>(count), 0);
  std::vector<std::pair<int, Util::Set<int>::const_iterator>> stack;
  size_t back = static_cast<size_t>(count);
  for (int root = 0; root < count; ++root) {
    if (seen[root]) continue;
    seen[root] = 1;
    stack.push_back({root, instance.getSuccessors(root, level).begin()});
    while (!stack.empty()) {
      const int id = stack.back().first;
      auto& next = stack.back().second;
      const Util::Set<int>& successors = instance.getSuccessors(id, level);
      while (next != successors.end() && seen[*next]) ++next;
      if (next == successors.end()) {
        order[--back] = id;
        stack.pop_back();
        continue;
      }
      const int child = *next++;
      seen[child] = 1;
      stack.push_back({child, instance.getSuccessors(child, level).begin()});
    }
  }
  return order;
}

}  // namespace mcjobs_detail
