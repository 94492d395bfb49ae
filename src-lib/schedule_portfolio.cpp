// Checked answers: one pair of policies or the portfolio of pairs, each table pair passed to the
// checker, and the load test that proves the sets no pair could ever schedule.
#include <cfloat>
#include <cstdio>
#include <cstdlib>

#include "detail/check.h"
#include "schedule.h"

namespace mcjobs {

namespace {

// The stress in six significant digits, or as many more as it takes to tell it from the
// processor count it exceeds.
std::string stressText(double stress, int processors) {
  char text[32];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, stress);
    if (std::strtod(text, nullptr) > processors) break;
  }
  return text;
}

// The first window that narrowing along the arcs at `level` leaves too short for its budget, in
// words; at LO a HI job's deadline is first lowered by its extra HI budget, as getStress does
// for its mixed verdict.
std::string narrowedWindow(const JobInstance& instance, int level) {
  JobInstance narrowed(instance);
  if (level == CRIT_LO)
    for (Job& job : narrowed) job.deadline -= job.hi_wcet - job.lo_wcet;
  propagateAlapAndAsap(&narrowed, level);
  for (const Job& job : narrowed)
    if (int64_t{job.deadline} < int64_t{job.arrival} + job.getWCET(level))
      return Job::critStr(level) + " window of " + job.name() + " narrows to [" +
             std::to_string(job.arrival) + ", " + std::to_string(job.deadline) +
             "] along the arcs, short of its budget " + std::to_string(job.getWCET(level));
  return Job::critStr(level) + " windows narrow below their budgets along the arcs";
}

// The HI table of one policy, built once for every pair that uses it.
struct HiTable {
  bool built = false;
  bool schedulable = false;
  std::vector<ScheduleSegment> table;
  ScheduleFailure failure;
};

// The LO table of the pair on its HI table, then the checker on both.
ScheduleAttempt tryPair(JobInstance& instance, int processors, SchedulePolicies policies,
                        const HiTable& hi, ScheduleResult& result) {
  result = ScheduleResult();
  result.policies = policies;
  result.policy = policies.lo;
  result.failure = hi.failure;
  if (hi.schedulable) {
    result.tables.hi = hi.table;
    result.schedulable = scheduleLo(instance, processors, policies.lo, result.tables.hi,
                                    result.tables.lo, result.failure);
  }
  if (!result.schedulable) result.tables = ScheduleTables();
  ScheduleAttempt attempt{policies, result.schedulable, result.failure, {}};
  if (result.schedulable) attempt.violations = verifySchedule(instance, result.tables, processors);
  return attempt;
}

bool accepted(const ScheduleAttempt& attempt) {
  return attempt.schedulable && attempt.violations.empty();
}

void settleByLoadTest(JobInstance& instance, int processors, ScheduleAnswer& answer) {
  answer.load = loadTest(instance, processors);
  answer.loadTested = true;
  answer.status = answer.load.infeasible ? ScheduleStatus::kInfeasible : ScheduleStatus::kUnknown;
}

}  // namespace

LoadVerdict loadTest(JobInstance& instance, int processors) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  for (int level : {CRIT_LO, CRIT_HI}) {
    const double stress = instance.getStress(level, level == CRIT_LO, processors, nullptr);
    if (stress == DBL_MAX) return {true, narrowedWindow(instance, level)};
    if (stress > processors)
      return {true, Job::critStr(level) + " stress " + stressText(stress, processors) + " exceeds " +
                        std::to_string(processors) + " processor" + (processors == 1 ? "" : "s")};
  }
  return {};
}

const char* scheduleStatusName(ScheduleStatus status) {
  switch (status) {
    case ScheduleStatus::kFeasible:
      return "feasible";
    case ScheduleStatus::kInfeasible:
      return "infeasible";
    case ScheduleStatus::kUnknown:
      return "unknown";
  }
  return "unknown";
}

const char* scheduleMethodName(ScheduleMethod method) {
  switch (method) {
    case ScheduleMethod::kHeuristic:
      return "heuristic";
    case ScheduleMethod::kPortfolio:
      return "portfolio";
    case ScheduleMethod::kExact:
      return "exact";
  }
  return "heuristic";
}

bool ScheduleAnswer::faulty() const {
  if (!exact.violations.empty()) return true;
  for (const ScheduleAttempt& attempt : attempts)
    if (!attempt.violations.empty()) return true;
  return false;
}

const std::vector<SchedulePolicies>& portfolioPairs() {
  using P = SchedulePolicy;
  // Measured on 1,216 generated sets: after the EDF pair, EDZL backwards for the HI table with
  // LLF for the LO table schedules the most of the rest, then LLF for both; no other pair adds a
  // set there, and they follow by how many sets each schedules alone.
  static const std::vector<SchedulePolicies> pairs = {
      {P::kEdf, P::kEdf},   {P::kEdzl, P::kLlf}, {P::kLlf, P::kLlf},
      {P::kEdzl, P::kEdzl}, {P::kEdzl, P::kEdf}, {P::kEdf, P::kLlf},
      {P::kEdf, P::kEdzl},  {P::kLlf, P::kEdzl}, {P::kLlf, P::kEdf},
  };
  return pairs;
}

ScheduleAnswer scheduleChecked(JobInstance& instance, int processors, SchedulePolicies policies) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  ScheduleAnswer answer;
  HiTable hi;
  hi.schedulable = scheduleHi(instance, processors, policies.hi, hi.table, hi.failure);
  answer.attempts.push_back(tryPair(instance, processors, policies, hi, answer.result));
  if (accepted(answer.attempts.back()))
    answer.status = ScheduleStatus::kFeasible;
  else
    settleByLoadTest(instance, processors, answer);
  return answer;
}

ScheduleAnswer schedulePortfolio(JobInstance& instance, int processors) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  ScheduleAnswer answer;
  answer.method = ScheduleMethod::kPortfolio;
  settleByLoadTest(instance, processors, answer);
  if (answer.load.infeasible) return answer;
  HiTable hi[3];
  ScheduleResult result;
  for (const SchedulePolicies& policies : portfolioPairs()) {
    HiTable& table = hi[static_cast<int>(policies.hi)];
    if (!table.built) {
      table.schedulable =
          scheduleHi(instance, processors, policies.hi, table.table, table.failure);
      table.built = true;
    }
    answer.attempts.push_back(tryPair(instance, processors, policies, table, result));
    if (answer.attempts.size() == 1 || accepted(answer.attempts.back())) answer.result = result;
    if (accepted(answer.attempts.back())) {
      answer.status = ScheduleStatus::kFeasible;
      break;
    }
  }
  return answer;
}

}  // namespace mcjobs
