// The checker of scheduling tables, independent of the schedulers: every rule of schedule.h is
// tested from the segments alone, in time proportional to the segments, never per time unit.
#include <algorithm>
#include <tuple>

#include "detail/check.h"
#include "schedule.h"

namespace mcjobs {

namespace {

constexpr int64_t kNever = INT64_MAX;

bool byStart(const ScheduleSegment& a, const ScheduleSegment& b) {
  return std::tie(a.start, a.end, a.processor) < std::tie(b.start, b.end, b.processor);
}

// The first instant a job's run time reaches `budget` (its segments sorted by start), or kNever.
int64_t reachTime(const std::vector<ScheduleSegment>& segments, int64_t budget) {
  // Overlapping segments count twice; job_overlap reports them anyway.
  std::vector<std::pair<int64_t, int>> rateChanges;
  for (const ScheduleSegment& s : segments) {
    rateChanges.push_back({s.start, 1});
    rateChanges.push_back({s.end, -1});
  }
  std::sort(rateChanges.begin(), rateChanges.end());
  int64_t done = 0;
  int rate = 0;
  for (size_t i = 0; i < rateChanges.size(); ++i) {
    if (i > 0 && rate > 0) {
      const int64_t span = rateChanges[i].first - rateChanges[i - 1].first;
      if (done + rate * span >= budget)
        return rateChanges[i - 1].first + (budget - done + rate - 1) / rate;
      done += rate * span;
    }
    rate += rateChanges[i].second;
  }
  return budget <= 0 ? 0 : kNever;
}

// The first instant psiHI > psiLO while psiLO < loBudget, or kNever.
int64_t safeSwitchBreak(const std::vector<ScheduleSegment>& lo,
                        const std::vector<ScheduleSegment>& hi, int64_t loBudget) {
  struct Change {
    int64_t time;
    int loRate, hiRate;
  };
  std::vector<Change> changes;
  for (const ScheduleSegment& s : lo)
    changes.push_back({s.start, 1, 0}), changes.push_back({s.end, -1, 0});
  for (const ScheduleSegment& s : hi)
    changes.push_back({s.start, 0, 1}), changes.push_back({s.end, 0, -1});
  std::sort(changes.begin(), changes.end(),
            [](const Change& a, const Change& b) { return a.time < b.time; });
  int64_t psiLo = 0, psiHi = 0;
  int loRate = 0, hiRate = 0;
  for (size_t i = 0; i < changes.size();) {
    const int64_t at = changes[i].time;
    for (; i < changes.size() && changes[i].time == at; ++i) {
      loRate += changes[i].loRate;
      hiRate += changes[i].hiRate;
    }
    if (psiLo >= loBudget) return kNever;
    if (psiHi > psiLo) return at;
    if (i == changes.size()) break;
    const int64_t span = changes[i].time - at;
    const int64_t slope = hiRate - loRate;
    if (slope > 0) {
      // diff = psiHi - psiLo <= 0 rises to 0 at at + gap / slope; broken just after, if psiLo is
      // still short of its budget there.
      const int64_t gap = psiLo - psiHi;
      if (gap < slope * span && psiLo * slope + loRate * gap < loBudget * slope)
        return at + gap / slope;
    }
    psiLo += loRate * span;
    psiHi += hiRate * span;
  }
  return kNever;
}

void checkTable(JobInstance& instance, const std::vector<ScheduleSegment>& table, int mode,
                int processors, std::vector<std::vector<ScheduleSegment>>& byJob,
                std::vector<ScheduleViolation>& out) {
  const int n = instance.numJobs();
  auto report = [&](ScheduleRule rule, int job, int64_t time, int other = -1) {
    out.push_back({rule, mode, job, time, other});
  };
  std::vector<ScheduleSegment> valid;
  for (const ScheduleSegment& s : table) {
    if (s.job < 0 || s.job >= n || s.processor < 0 || s.processor >= processors ||
        s.start >= s.end) {
      report(ScheduleRule::kBadSegment, s.job, s.start);
    } else if (mode == CRIT_HI && instance.at(s.job)->criticality != CRIT_HI) {
      report(ScheduleRule::kLoJobInHiTable, s.job, s.start);
    } else {
      valid.push_back(s);
    }
  }

  std::sort(valid.begin(), valid.end(), [](const ScheduleSegment& a, const ScheduleSegment& b) {
    return a.processor != b.processor ? a.processor < b.processor : byStart(a, b);
  });
  for (size_t i = 0, holder = 0; i < valid.size(); ++i) {
    if (i == 0 || valid[i].processor != valid[i - 1].processor) {
      holder = i;
    } else if (valid[i].start < valid[holder].end) {
      report(ScheduleRule::kProcessorOverlap, valid[i].job, valid[i].start, valid[holder].job);
      if (valid[i].end > valid[holder].end) holder = i;
    } else {
      holder = i;
    }
  }

  byJob.assign(static_cast<size_t>(n), {});
  for (const ScheduleSegment& s : valid) byJob[static_cast<size_t>(s.job)].push_back(s);
  std::vector<int64_t> doneAt(static_cast<size_t>(n), kNever);
  for (int id = 0; id < n; ++id) {
    const Job& job = *instance.at(id);
    if (mode == CRIT_HI && job.criticality != CRIT_HI) continue;
    std::vector<ScheduleSegment>& runs = byJob[static_cast<size_t>(id)];
    std::sort(runs.begin(), runs.end(), byStart);
    int64_t total = 0, reach = INT64_MIN;
    for (const ScheduleSegment& s : runs) {
      if (s.start < reach) report(ScheduleRule::kJobOverlap, id, s.start);
      reach = std::max(reach, s.end);
      total += s.end - s.start;
    }
    if (!runs.empty() && runs.front().start < job.arrival)
      report(ScheduleRule::kBeforeArrival, id, runs.front().start);
    if (reach > job.deadline) report(ScheduleRule::kAfterDeadline, id, job.deadline);
    const int64_t budget = job.getWCET(mode);
    doneAt[static_cast<size_t>(id)] = reachTime(runs, budget);
    if (total < budget) report(ScheduleRule::kBudgetShort, id, job.deadline);
    if (total > budget) report(ScheduleRule::kBudgetExceeded, id, doneAt[static_cast<size_t>(id)]);
  }

  for (int id = 0; id < n; ++id) {
    const std::vector<ScheduleSegment>& runs = byJob[static_cast<size_t>(id)];
    if (runs.empty()) continue;
    for (int pred : instance.getPredecessors(id, mode))
      if (runs.front().start < doneAt[static_cast<size_t>(pred)])
        report(ScheduleRule::kPrecedence, id, runs.front().start, pred);
  }
}

}  // namespace

const char* scheduleRuleName(ScheduleRule rule) {
  switch (rule) {
    case ScheduleRule::kBadSegment:
      return "bad_segment";
    case ScheduleRule::kProcessorOverlap:
      return "processor_overlap";
    case ScheduleRule::kJobOverlap:
      return "job_overlap";
    case ScheduleRule::kBeforeArrival:
      return "before_arrival";
    case ScheduleRule::kAfterDeadline:
      return "after_deadline";
    case ScheduleRule::kBudgetShort:
      return "budget_short";
    case ScheduleRule::kBudgetExceeded:
      return "budget_exceeded";
    case ScheduleRule::kPrecedence:
      return "precedence";
    case ScheduleRule::kLoJobInHiTable:
      return "lo_job_in_hi_table";
    case ScheduleRule::kSafeSwitch:
      return "safe_switch";
  }
  return "unknown";
}

std::string describeViolation(const ScheduleViolation& violation) {
  std::string text = Job::critStr(violation.mode) + " table: " + Job::nameFromId(violation.job) +
                     " at " + std::to_string(violation.time) + ": " +
                     scheduleRuleName(violation.rule);
  if (violation.other >= 0) text += " (with " + Job::nameFromId(violation.other) + ")";
  return text;
}

std::vector<ScheduleViolation> verifySchedule(JobInstance& instance, const ScheduleTables& tables,
                                              int processors) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  std::vector<ScheduleViolation> out;
  std::vector<std::vector<ScheduleSegment>> loRuns, hiRuns;
  checkTable(instance, tables.lo, CRIT_LO, processors, loRuns, out);
  checkTable(instance, tables.hi, CRIT_HI, processors, hiRuns, out);
  for (int id = 0; id < instance.numJobs(); ++id) {
    if (instance.at(id)->criticality != CRIT_HI) continue;
    const int64_t at = safeSwitchBreak(loRuns[static_cast<size_t>(id)],
                                       hiRuns[static_cast<size_t>(id)], instance.at(id)->lo_wcet);
    if (at != kNever) out.push_back({ScheduleRule::kSafeSwitch, CRIT_LO, id, at, -1});
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const ScheduleViolation& a, const ScheduleViolation& b) {
                     return std::make_tuple(a.mode, static_cast<int>(a.rule), a.job, a.time) <
                            std::make_tuple(b.mode, static_cast<int>(b.rule), b.job, b.time);
                   });
  return out;
}

}  // namespace mcjobs
