// Internal: one level's precedence graph in compact arrays, and its
// topological orders. The analyses that only need a maximum or minimum along
// paths run as sweeps over such an order instead of reading the transitive
// sets, and over the arrays instead of one set per job.
#ifndef MCJOBS_TOPO_ORDER_H
#define MCJOBS_TOPO_ORDER_H

#include <cstddef>
#include <vector>

#include "job.h"

namespace mcjobs_detail {

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
