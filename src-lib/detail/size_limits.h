// Internal: the largest job sets the library builds from a short description
// (a generator's options, a system unrolled over its hyperperiod), so that a
// mistyped value fails with a message instead of exhausting the memory.
#ifndef MCJOBS_DETAIL_SIZE_LIMITS_H
#define MCJOBS_DETAIL_SIZE_LIMITS_H

namespace mcjobs_detail {

/// About 2.6 GB in memory: a mistyped period list should fail, not swap.
constexpr long long kMostJobs = 20000000;
/// About 2.3 GB in memory, and above the arcs of any fork-join set within the job limit.
constexpr long long kMostArcs = 50000000;

}  // namespace mcjobs_detail

#endif  // MCJOBS_DETAIL_SIZE_LIMITS_H
