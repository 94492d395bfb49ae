// Time-triggered scheduling tables for the LO and HI modes of a job set on m identical
// processors, with a safe switch from LO to HI mode: the tables, their checker, the schedulers,
// the load test that proves some sets infeasible, and the portfolio that tries the schedulers.
//
// Semantics (integer time; every segment is [start, end) on one processor):
// - LO table: every job runs exactly lo_wcet inside [arrival, deadline], never before all its
//   LO-level predecessors (every arc) have run their lo_wcet in the LO table.
// - HI table: every HI job runs exactly hi_wcet inside [arrival, deadline], never before all its
//   HI-level predecessors (arcs between HI jobs) have run their hi_wcet in the HI table; LO jobs
//   do not appear.
// - Both: a processor runs one job at a time, a job runs on one processor at a time (preemption
//   and migration at integer times are free), processors are numbered 0 .. m-1.
// - Safe switch: for every HI job j and every real time t, with psiLO(j,t) and psiHI(j,t) the time
//   j has run before t in the LO and HI tables: psiLO(j,t) < lo_wcet(j) implies
//   psiLO(j,t) >= psiHI(j,t). A switch to HI mode at any instant t finds every HI job at least as
//   far as the HI table has it (or done with its LO budget), so the HI table can take over.
//
// Schedulers (event-driven: decisions are taken only at releases, completions and the instants
// named below, so the cost does not depend on the size of the time values). Each table has its
// own policy:
// - EDF: earliest effective deadline first. LLF: least laxity (effective deadline - now -
//   remaining time) first; on equal laxity a running job keeps running, then the earlier
//   effective deadline goes first. EDZL: EDF, except that a job whose laxity has reached zero
//   goes before every job whose laxity has not (among those, EDF). Last tie-break: job id.
// - HI table: the policy run backwards in time from the deadlines (as late as possible).
//   Mirrored, a job is released at its deadline, due at its arrival, and ready once all its
//   HI-level successors are done; laxity is measured in the mirrored time. The effective
//   deadline (mirrored) is the effective arrival: the arrival raised to each HI-level
//   predecessor's effective arrival plus that predecessor's hi_wcet.
// - LO table, forward: at every event the HI jobs the safe switch forces run first (a job is
//   forced while psiLO = psiHI < lo_wcet and the HI table runs it), then the ready jobs by the
//   policy. A job's effective deadline is its deadline, lowered to the latest start of each
//   LO-level successor (the successor's effective deadline minus its lo_wcet) and to the first
//   HI-table start of each HI successor; a HI job's own is lowered to the instant the HI table
//   has run its lo_wcet.
// - Events: releases, completions, deadline checks, safe-switch instants (a waiting HI job's
//   HI-table progress reaches its LO progress) and, under LLF and EDZL, the instants a waiting
//   job's laxity reaches zero. Nothing is re-ranked in between (laxity inversion between events
//   is allowed, as in modified LLF), so LLF cannot thrash: laxity never grows, so each job
//   reaches zero laxity once, and the number of events is O(jobs + HI-table segments).
// - Jobs that keep running keep their processor; a job that starts takes the lowest free one.
// - A scheduler stops at its first failure: in the LO table, a job not chosen to run whose
//   remaining time equals the time left to its deadline (it misses the deadline, which is
//   certain at that instant); in the HI table (mirrored), the same with the arrival; or a HI
//   job the safe switch forces that cannot run (its LO-level predecessors are not done, or
//   more than m jobs are forced at once).
#ifndef MCJOBS_SCHEDULE_H
#define MCJOBS_SCHEDULE_H

#include <cstdint>
#include <string>
#include <vector>

#include "job.h"

namespace mcjobs {

/// @brief One stretch of a job on a processor: [start, end).
struct ScheduleSegment {
  int job = 0;  ///< job id
  int processor = 0;
  int64_t start = 0;
  int64_t end = 0;
};

/// @brief The two mode tables, each sorted by processor, then start.
struct ScheduleTables {
  std::vector<ScheduleSegment> lo;
  std::vector<ScheduleSegment> hi;
};

/// @brief The rules a pair of tables must follow; scheduleRuleName gives their stable names.
enum class ScheduleRule {
  kBadSegment,        ///< "bad_segment": unknown job or processor, or start >= end
  kProcessorOverlap,  ///< "processor_overlap": a processor runs two jobs at once
  kJobOverlap,        ///< "job_overlap": a job runs on two processors at once
  kBeforeArrival,     ///< "before_arrival": a job runs before its arrival
  kAfterDeadline,     ///< "after_deadline": a job runs after its deadline
  kBudgetShort,       ///< "budget_short": a job runs less than its budget for the mode
  kBudgetExceeded,    ///< "budget_exceeded": a job runs more than its budget for the mode
  kPrecedence,        ///< "precedence": a job runs before a predecessor of the level is done
  kLoJobInHiTable,    ///< "lo_job_in_hi_table": a LO job appears in the HI table
  kSafeSwitch,        ///< "safe_switch": psiHI(j,t) > psiLO(j,t) while psiLO(j,t) < lo_wcet
};

/// @brief The stable name of a rule, as used in messages and JSON ("precedence", ...).
const char* scheduleRuleName(ScheduleRule rule);

/// @brief One broken rule: the job, the table (CRIT_LO or CRIT_HI), the first instant it is
/// broken there, and the other job involved (the predecessor, the job sharing the processor) or -1.
struct ScheduleViolation {
  ScheduleRule rule = ScheduleRule::kBadSegment;
  int mode = CRIT_LO;
  int job = 0;
  int64_t time = 0;
  int other = -1;
};

/// @brief "LO table: J3 at 12: precedence (J2 not done)" and the like.
std::string describeViolation(const ScheduleViolation& violation);

/// @brief Every broken rule of the two tables on `processors` processors (none: the tables are
/// valid), by table, rule, job and time. Time values are free: nothing is done per time unit.
std::vector<ScheduleViolation> verifySchedule(JobInstance& instance, const ScheduleTables& tables,
                                              int processors);

/// @brief How a table picks among ready jobs (see the top of this file).
enum class SchedulePolicy { kEdf, kLlf, kEdzl };

/// @brief "edf", "llf" or "edzl".
const char* schedulePolicyName(SchedulePolicy policy);

/// @brief The policy named "edf", "llf" or "edzl"; false for any other name.
bool parseSchedulePolicy(const std::string& name, SchedulePolicy& policy);

/// @brief The policies of the two tables, chosen independently.
struct SchedulePolicies {
  SchedulePolicy hi = SchedulePolicy::kEdf;
  SchedulePolicy lo = SchedulePolicy::kEdf;
};

/// @brief Why a scheduler gave up.
enum class ScheduleFailureKind {
  kDeadline,    ///< "deadline" (LO table): the job can no longer meet `bound`, its deadline
  kArrival,     ///< "arrival" (HI table, built backwards): it would run before `bound`, its arrival
  kSafeSwitch,  ///< "safe_switch" (LO table): the job falls behind its HI progress at `time`
};

/// @brief "deadline", "arrival" or "safe_switch".
const char* scheduleFailureKindName(ScheduleFailureKind kind);

/// @brief The first failure of a scheduler: in the table `mode`, job `job` misses `bound`,
/// which is certain at `time`.
struct ScheduleFailure {
  int mode = CRIT_LO;
  int job = 0;
  ScheduleFailureKind kind = ScheduleFailureKind::kDeadline;
  int64_t bound = 0;
  int64_t time = 0;
};

/// @brief "HI: J3 misses 40 at 35", "HI: J3 misses arrival 10 at 14",
/// "LO: J3 misses safe switch at 12".
std::string describeScheduleFailure(const ScheduleFailure& failure);

/// @brief Both tables, or the failure that stopped the schedulers.
struct ScheduleResult {
  bool schedulable = false;
  SchedulePolicy policy = SchedulePolicy::kEdf;  ///< the LO table's, as `policies.lo`
  SchedulePolicies policies;
  ScheduleTables tables;    ///< filled when schedulable
  ScheduleFailure failure;  ///< meaningful when not schedulable
};

/// @brief The HI table, backwards by `policy`; false with `failure` set when it fails.
bool scheduleHi(JobInstance& instance, int processors, SchedulePolicy policy,
                std::vector<ScheduleSegment>& table, ScheduleFailure& failure);

/// @brief The HI table by backward global EDF.
bool scheduleHi(JobInstance& instance, int processors, std::vector<ScheduleSegment>& table,
                ScheduleFailure& failure);

/// @brief The LO table for a given HI table, safe switch enforced; false with `failure` set.
bool scheduleLo(JobInstance& instance, int processors, SchedulePolicy policy,
                const std::vector<ScheduleSegment>& hiTable, std::vector<ScheduleSegment>& table,
                ScheduleFailure& failure);

/// @brief The HI table, then the LO table, each by its policy. Does not verify them
/// (verifySchedule does). Throws CheckError for fewer than one processor.
ScheduleResult schedule(JobInstance& instance, int processors, SchedulePolicies policies);

/// @brief The same policy for both tables.
ScheduleResult schedule(JobInstance& instance, int processors,
                        SchedulePolicy policy = SchedulePolicy::kEdf);

/// @brief The verdict of the load test: `infeasible` with the reason in words, such as
/// "LO stress 2.5 exceeds 2 processors" or "HI window of J3 narrows to [4, 9] along the arcs,
/// short of its budget 6".
struct LoadVerdict {
  bool infeasible = false;
  std::string reason;  ///< empty unless infeasible
};

/// @brief The necessary conditions every pair of valid tables meets on `processors` processors:
/// the HI stress and the LO stress at most `processors` (JobInstance::getStress), the windows
/// narrowed along the arcs holding their budgets at HI and at LO, where a HI job's deadline is
/// lowered by its extra HI budget (the safe switch makes it run its LO budget by then). A
/// verdict `infeasible` proves that no valid tables exist.
LoadVerdict loadTest(JobInstance& instance, int processors);

/// @brief What is known of a job set: "feasible" (valid tables found, checked), "infeasible"
/// (proven) or "unknown".
enum class ScheduleStatus { kFeasible, kInfeasible, kUnknown };

/// @brief "feasible", "infeasible" or "unknown".
const char* scheduleStatusName(ScheduleStatus status);

/// @brief How the tables were sought: one pair of policies, the portfolio of pairs, or the
/// portfolio and then an integer program that decides what the pairs leave open.
enum class ScheduleMethod { kHeuristic, kPortfolio, kExact };

/// @brief "heuristic", "portfolio" or "exact".
const char* scheduleMethodName(ScheduleMethod method);

/// @brief One pair of policies tried, and what came of it.
struct ScheduleAttempt {
  SchedulePolicies policies;
  bool schedulable = false;  ///< tables found (checked or not: see `violations`)
  ScheduleFailure failure;   ///< meaningful when not schedulable
  /// The rules the tables break: a fault of the schedulers, never expected.
  std::vector<ScheduleViolation> violations;
};

/// @brief What the integer program of the exact method did.
struct ExactSearch {
  bool ran = false;    ///< false: the load test or a pair of policies settled the set first
  double seconds = 0;  ///< the solver's wall time
  int64_t slots = 0;   ///< the program's job-slots (one run binary per job, mode and time unit)
  std::string reason;  ///< when it ran and found no tables: why, in words
  /// Rules its tables break: a fault of the program, never expected.
  std::vector<ScheduleViolation> violations;
};

/// @brief Checked tables or the reason there are none.
struct ScheduleAnswer {
  ScheduleMethod method = ScheduleMethod::kHeuristic;
  ScheduleStatus status = ScheduleStatus::kUnknown;
  /// Feasible: the tables and the pair that gave them. Otherwise: the failure of the first
  /// pair tried (no tables at all when the load test alone settled it).
  ScheduleResult result;
  LoadVerdict load;  ///< run first by the portfolio, and after a failure otherwise
  bool loadTested = false;
  std::vector<ScheduleAttempt> attempts;  ///< every pair tried, in order
  ExactSearch exact;                      ///< the exact method's program, if it ran
  /// Tables some pair (or the program) produced that the checker rejects: a fault.
  bool faulty() const;
  /// The tables come from the exact method's program, not from a pair of policies.
  bool tablesFromProgram() const { return exact.ran && status == ScheduleStatus::kFeasible; }
};

/// @brief The pairs the portfolio tries, in order: the EDF pair first, so that the common case
/// costs one run.
const std::vector<SchedulePolicies>& portfolioPairs();

/// @brief One pair of policies, its tables checked by verifySchedule; on failure the load test
/// tells "infeasible" from "unknown".
ScheduleAnswer scheduleChecked(JobInstance& instance, int processors, SchedulePolicies policies);

/// @brief The load test, then the pairs of portfolioPairs() in order until one gives tables
/// that verifySchedule accepts. "infeasible" when the load test proves it (no pair is tried),
/// "unknown" when every pair fails. Costs at most a few times one run of the EDF pair: the HI
/// table of each policy is computed once.
ScheduleAnswer schedulePortfolio(JobInstance& instance, int processors);

/// @brief The limits of the exact method.
struct ExactOptions {
  double timeLimit = 60;  ///< seconds of solver wall time before the answer is "unknown"
  /// Beyond this many job-slots (and never beyond 100,000,000) the program is not built and the
  /// answer is "unknown".
  int64_t mostSlots = 400000;
  /// The load test and the portfolio first, the program only for what they leave open. Off,
  /// the program decides alone (to test it against the pairs).
  bool heuristicsFirst = true;
};

/// @brief Decides whether valid tables exist (preemption and migration at integer times):
/// the load test and the portfolio first; when they leave the set open, a time-indexed integer
/// program (one binary per job, mode and time unit of its window) solved by CBC answers
/// "feasible" with tables that verifySchedule accepts, "infeasible" (proven), or "unknown" at
/// the time limit. Its cost grows with the jobs times the lengths of their windows, and can grow
/// exponentially with them in the worst case.
ScheduleAnswer scheduleExact(JobInstance& instance, int processors,
                             const ExactOptions& options = ExactOptions());

}  // namespace mcjobs

#endif  // MCJOBS_SCHEDULE_H
