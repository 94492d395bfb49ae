// Internal: reachability facts of a whole level computed in bulk, without the
// instance's transitive sets: the number of reachable ordered pairs and the
// arcs that a longer path implies. Both come from bit rows built once in
// reverse topological order, in blocks of columns when all rows at once would
// exceed a memory budget.
#ifndef MCJOBS_REACH_SCAN_H
#define MCJOBS_REACH_SCAN_H

#include <cstddef>
#include <utility>
#include <vector>

#include "job.h"
#include "detail/topo_order.h"

namespace mcjobs_detail {

struct ReachSummary {
  /// Ordered pairs (u, v), u != v, with v reachable from u.
  long long pairs = 0;
  /// Arcs (u, v) of the level with v also reachable from another direct
  /// successor of u, by ascending u, then v (filled only when asked for).
  std::vector<std::pair<int, int>> impliedArcs;
};

/// Default bound on the bit rows held at once.
constexpr std::size_t kReachRowBudgetBytes = std::size_t{256} << 20;

/// Scans the reachability of `level`. The rows held at once take at most
/// `budgetBytes` (rounded up to one column of 64 jobs).
ReachSummary scanReachability(JobInstance& instance, int level, bool findImpliedArcs,
                              std::size_t budgetBytes = kReachRowBudgetBytes);
/// The same over a level's arcs already copied.
ReachSummary scanReachability(const LevelGraph& graph, bool findImpliedArcs,
                              std::size_t budgetBytes = kReachRowBudgetBytes);

}  // namespace mcjobs_detail

#endif  // MCJOBS_REACH_SCAN_H
