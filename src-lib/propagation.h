// Window propagation for callers that must not be left with an unreadable
// instance. JobInstance::propagate_arrivals and propagate_deadlines leave the
// instance unchanged when a sanity check fails, but the check does not say
// which job failed: the functions here locate the rejected change again. The
// ASAP/ALAP windows are moved without checks; the checked form puts them back.
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

/// @brief propagateAlapAndAsap, with the result checked: when a window can no longer hold its
/// job's budgets, CheckError for the first such job (its failed check, explained by
/// explainCollapse in explain.h), and every window is left exactly as before the call.
void propagateAlapAndAsapChecked(JobInstance& instance, int level);

}  // namespace mcjobs

#endif  // MCJOBS_PROPAGATION_H
