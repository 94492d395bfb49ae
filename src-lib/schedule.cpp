// Both mode tables in one call, and the names and words of the scheduling results.
#include "schedule.h"

#include "detail/check.h"

namespace mcjobs {

const char* schedulePolicyName(SchedulePolicy policy) {
  switch (policy) {
    case SchedulePolicy::kEdf:
      return "edf";
    case SchedulePolicy::kLlf:
      return "llf";
    case SchedulePolicy::kEdzl:
      return "edzl";
  }
  return "unknown";
}

bool parseSchedulePolicy(const std::string& name, SchedulePolicy& policy) {
  for (SchedulePolicy known : {SchedulePolicy::kEdf, SchedulePolicy::kLlf, SchedulePolicy::kEdzl})
    if (name == schedulePolicyName(known)) {
      policy = known;
      return true;
    }
  return false;
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

ScheduleResult schedule(JobInstance& instance, int processors, SchedulePolicies policies) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  ScheduleResult result;
  result.policies = policies;
  result.policy = policies.lo;
  result.schedulable =
      scheduleHi(instance, processors, policies.hi, result.tables.hi, result.failure) &&
      scheduleLo(instance, processors, policies.lo, result.tables.hi, result.tables.lo,
                 result.failure);
  if (!result.schedulable) result.tables = ScheduleTables();
  return result;
}

ScheduleResult schedule(JobInstance& instance, int processors, SchedulePolicy policy) {
  return schedule(instance, processors, SchedulePolicies{policy, policy});
}

}  // namespace mcjobs
