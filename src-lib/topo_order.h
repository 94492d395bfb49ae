// Internal: topological orders of one level's precedence graph, read through
// the instance's public adjacency accessors. The analyses that only need a
// maximum or minimum along paths run as one sweep over such an order instead
// of reading the transitive sets.
#ifndef MCJOBS_TOPO_ORDER_H
#define MCJOBS_TOPO_ORDER_H

#include <vector>

#include "job.h"

namespace mcjobs_detail {

/// Fails the level check that every graph operation runs before it indexes the
/// per-level sets with the level.
void checkGraphLevel(int level);

/// Kahn's order of the jobs at `level`: every job comes after all its direct
/// predecessors there. The jobs without predecessors start it in ascending id
/// order, and the ready jobs are taken first in, first out. O(jobs + arcs).
std::vector<int> topologicalOrder(JobInstance& instance, int level);

/// A topological order that keeps the jobs reachable from one job close
/// together: the id order when every arc at `level` points to a higher id,
/// otherwise the reverse postorder of a depth-first search started from the
/// jobs in ascending id order. O(jobs + arcs).
std::vector<int> compactTopologicalOrder(JobInstance& instance, int level);

}  // namespace mcjobs_detail

#endif  // MCJOBS_TOPO_ORDER_H
