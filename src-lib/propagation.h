// Why a window propagation failed. JobInstance::propagate_arrivals and
// propagate_deadlines leave the instance unchanged when a sanity check fails,
// and the check does not say which job failed; these locate the rejected
// change again from the unchanged instance, so a diagnostic can show it.
#ifndef MCJOBS_PROPAGATION_H
#define MCJOBS_PROPAGATION_H

#include "job.h"

namespace mcjobs {

/// @brief A change of one job's window that its sanity check rejects: `job` would get
/// `value` as its new arrival (deadline). `job` is NO_JOB_ID when no change is rejected.
struct RejectedChange {
  int job = NO_JOB_ID;
  int value = 0;
  explicit operator bool() const { return job != NO_JOB_ID; }
};

/// @brief The change at which JobInstance::propagate_arrivals(level) stops, or none.
/// O(jobs + arcs), without the transitive sets; valid for instances whose jobs pass their checks.
RejectedChange firstRejectedArrival(JobInstance& instance, int level);

/// @brief The change at which JobInstance::propagate_deadlines(level) stops, or none.
/// O(jobs + arcs), without the transitive sets.
RejectedChange firstRejectedDeadline(JobInstance& instance, int level);

}  // namespace mcjobs

#endif  // MCJOBS_PROPAGATION_H
