// Reachability read straight from the closure index, without the ordered sets
// the dependency accessors hand out: an index over 10,000 jobs is built in
// milliseconds, while handing out every transitive set builds tens of millions
// of set nodes.
#ifndef MCJOBS_REACHABILITY_H
#define MCJOBS_REACHABILITY_H

#include <vector>

#include "job.h"

namespace mcjobs {

/// @brief Whether a path of one or more arcs of `level` leads from job `from` to job `to`.
///
/// The closure of the level is built on the first question (O(jobs × arcs / 64)) and kept up to
/// date by later arc insertions; each answer is then O(1). Throws CheckError for an id out of
/// range or a level other than CRIT_LO and CRIT_HI.
bool reaches(JobInstance& instance, int from, int to, int level);

/// @brief The ids reachable from job `id` at `level`, ascending (getTransitiveSuccessors as ids).
std::vector<int> transitiveSuccessorIds(JobInstance& instance, int id, int level);

/// @brief The ids that reach job `id` at `level`, ascending (getTransitivePredecessors as ids).
std::vector<int> transitivePredecessorIds(JobInstance& instance, int id, int level);

}  // namespace mcjobs

#endif  // MCJOBS_REACHABILITY_H
