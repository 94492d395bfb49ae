// Both mode tables in one call, and the names and words of the scheduling results.
#include "schedule.h"

#include "detail/check.h"

namespace mcjobs {

const char* schedulePolicyName(SchedulePolicy policy) {
  return policy == SchedulePolicy::kLlf ? "llf" : "edf";
}

const char* scheduleFailureKindName(ScheduleFailureKind kind) {
  switch (kind) {
    case ScheduleFailureKind::kDeadline:
      return "deadline";
    case ScheduleFailureKind::kArrival:
      return "arrival";
    case ScheduleFailureKind::kSafeSwitch:
      return "safe_switch";
  }
  return "unknown";
}

std::string describeScheduleFailure(const ScheduleFailure& failure) {
  std::string text = Job::critStr(failure.mode) + ": " + Job::nameFromId(failure.job) + " misses ";
  if (failure.kind == ScheduleFailureKind::kArrival) text += "arrival ";
  if (failure.kind == ScheduleFailureKind::kSafeSwitch)
    text += "safe switch";
  else
    text += std::to_string(failure.bound);
  return text + " at " + std::to_string(failure.time);
}

ScheduleResult schedule(JobInstance& instance, int processors, SchedulePolicy policy) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  ScheduleResult result;
  result.policy = policy;
  result.schedulable =
      scheduleHi(instance, processors, result.tables.hi, result.failure) &&
      scheduleLo(instance, processors, policy, result.tables.hi, result.tables.lo, result.failure);
  if (!result.schedulable) result.tables = ScheduleTables();
  return result;
}

}  // namespace mcjobs
