// The exact method against an exhaustive search on tiny sets, against the pairs of policies on
// generated sets, and at its limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "generate.h"
#include "schedule.h"
#include "support/builders.h"

namespace {

using mcjobs::ExactOptions;
using mcjobs::ScheduleAnswer;
using mcjobs::ScheduleStatus;
using mcjobs::ScheduleTables;

// Every subset of `size` slots of [begin, end), as bit masks.
std::vector<unsigned> slotChoices(int begin, int end, int size) {
  std::vector<unsigned> out;
  for (unsigned mask = 0; mask < (1u << end); ++mask)
    if (__builtin_popcount(mask) == size && (mask & ((1u << begin) - 1)) == 0) out.push_back(mask);
  return out;
}

// Unit segments of the chosen slots; in each slot the running jobs take processors 0, 1, ...
std::vector<mcjobs::ScheduleSegment> tableOf(const std::vector<unsigned>& masks, int horizon) {
  std::vector<mcjobs::ScheduleSegment> table;
  for (int t = 0; t < horizon; ++t) {
    int processor = 0;
    for (size_t job = 0; job < masks.size(); ++job)
      if (masks[job] >> t & 1u) table.push_back({static_cast<int>(job), processor++, t, t + 1});
  }
  return table;
}

// Whether any pair of tables with preemption at integer times passes the checker: every LO
// table the checker accepts on its own, then every HI table with it.
class ExhaustiveSearch {
 public:
  ExhaustiveSearch(JobInstance& inst, int processors, int horizon)
      : mInst(inst), mProcessors(processors), mHorizon(horizon) {}

  bool feasible() {
    mLo.assign(static_cast<size_t>(mInst.numJobs()), 0);
    mHi.assign(static_cast<size_t>(mInst.numJobs()), 0);
    return choose(CRIT_LO, 0);
  }

 private:
  bool fits(const std::vector<unsigned>& masks, size_t upTo, unsigned mask) const {
    for (int t = 0; t < mHorizon; ++t) {
      int running = (mask >> t) & 1;
      for (size_t job = 0; job < upTo; ++job) running += (masks[job] >> t) & 1;
      if (running > mProcessors) return false;
    }
    return true;
  }

  // Slots for `job` onwards in the table of `mode`; a finished LO table must pass the checker on
  // its own before any HI table is tried with it.
  bool choose(int mode, int job) {
    std::vector<unsigned>& masks = mode == CRIT_LO ? mLo : mHi;
    if (job == mInst.numJobs()) {
      ScheduleTables tables{tableOf(mLo, mHorizon), tableOf(mHi, mHorizon)};
      const auto violations = mcjobs::verifySchedule(mInst, tables, mProcessors);
      if (mode == CRIT_HI) return violations.empty();
      for (const auto& violation : violations)
        if (violation.mode == CRIT_LO) return false;
      return choose(CRIT_HI, 0);
    }
    const Job& j = *mInst.at(job);
    if (mode == CRIT_HI && j.criticality != CRIT_HI) return choose(mode, job + 1);
    for (unsigned mask : slotChoices(j.arrival, j.deadline, j.getWCET(mode))) {
      if (!fits(masks, static_cast<size_t>(job), mask)) continue;
      masks[static_cast<size_t>(job)] = mask;
      if (choose(mode, job + 1)) return true;
    }
    masks[static_cast<size_t>(job)] = 0;
    return false;
  }

  JobInstance& mInst;
  int mProcessors, mHorizon;
  std::vector<unsigned> mLo, mHi;
};

ExactOptions programAlone() {
  ExactOptions options;
  options.heuristicsFirst = false;
  return options;
}

// Tiny random sets (2-4 jobs in a horizon of 5, budgets 1-2, up to 3 at HI, random arcs), on one
// or two processors: the program says feasible exactly when the exhaustive search finds tables,
// and its tables pass the checker.
TEST(ScheduleExact, AgreesWithAnExhaustiveSearchOnTinySets) {
  constexpr int kHorizon = 5;
  std::mt19937 rng(20261208);
  int feasible = 0, infeasible = 0, proven = 0;
  for (int round = 0; round < 150; ++round) {
    const int n = 2 + static_cast<int>(rng() % 3);
    std::vector<JobSpec> jobs;
    for (int i = 0; i < n; ++i) {
      const int arrival = static_cast<int>(rng() % 3);
      const int deadline =
          arrival + 2 + static_cast<int>(rng() % static_cast<unsigned>(kHorizon - arrival - 1));
      const int lo = 1 + static_cast<int>(rng() % 2);
      const bool hi = rng() % 2 == 0;
      jobs.push_back({arrival, deadline, hi ? CRIT_HI : CRIT_LO, lo,
                      hi ? std::min(lo + static_cast<int>(rng() % 2), deadline - arrival) : lo});
    }
    ArcList arcs;
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b)
        if (rng() % 3 == 0) arcs.push_back({a, b});
    JobInstance inst = build(jobs, arcs);
    const int processors = 1 + static_cast<int>(rng() % 2);

    const bool expected = ExhaustiveSearch(inst, processors, kHorizon).feasible();
    const ScheduleAnswer answer = mcjobs::scheduleExact(inst, processors, programAlone());
    ASSERT_TRUE(answer.exact.ran);
    ASSERT_NE(answer.status, ScheduleStatus::kUnknown) << "round " << round;
    EXPECT_EQ(answer.status == ScheduleStatus::kFeasible, expected) << "round " << round;
    EXPECT_TRUE(answer.exact.violations.empty()) << "round " << round;
    (expected ? feasible : infeasible)++;
    proven += answer.exact.reason == "no valid tables exist: the integer program has no solution";
  }
  // Both answers must be well represented for the comparison to mean anything.
  EXPECT_GT(feasible, 30);
  EXPECT_GT(infeasible, 30);
  EXPECT_GT(proven, 10) << "infeasible sets the narrowed windows do not rule out already";
}

// Generated sets of about ten jobs: the program never proves infeasible a set some pair of
// policies schedules; with the pairs first, their tables are the answer and the program is not run.
TEST(ScheduleExact, NeverRulesOutWhatAPairSchedules) {
  int rescued = 0, proven = 0;
  for (int seed = 1; seed <= 40; ++seed) {
    mcjobs::GenerateOptions options;
    options.processors = 2;
    options.utilization = 0.85 + 0.05 * (seed % 2);
    options.graphs = 3;
    options.nodesMin = 7;
    options.nodesMax = 9;
    options.deadline = 24 + seed % 5;
    JobInstance inst = mcjobs::generateJobSet(options, static_cast<uint64_t>(seed)).instance;
    const int m = options.processors;

    const ScheduleAnswer portfolio = mcjobs::schedulePortfolio(inst, m);
    const ScheduleAnswer alone = mcjobs::scheduleExact(inst, m, programAlone());
    EXPECT_TRUE(alone.exact.violations.empty()) << "seed " << seed;
    if (portfolio.status != ScheduleStatus::kUnknown) {
      EXPECT_EQ(alone.status, portfolio.status) << "seed " << seed;
    }
    rescued +=
        portfolio.status == ScheduleStatus::kUnknown && alone.status == ScheduleStatus::kFeasible;
    proven +=
        portfolio.status == ScheduleStatus::kUnknown && alone.status == ScheduleStatus::kInfeasible;

    const ScheduleAnswer full = mcjobs::scheduleExact(inst, m);
    EXPECT_EQ(full.method, mcjobs::ScheduleMethod::kExact);
    EXPECT_EQ(full.exact.ran, portfolio.status == ScheduleStatus::kUnknown) << "seed " << seed;
    EXPECT_EQ(full.attempts.size(), portfolio.attempts.size()) << "seed " << seed;
    if (full.exact.ran) {
      EXPECT_EQ(full.status, alone.status) << "seed " << seed;
    }
    if (full.status == ScheduleStatus::kFeasible) {
      EXPECT_TRUE(mcjobs::verifySchedule(inst, full.result.tables, m).empty()) << "seed " << seed;
    }
  }
  std::cout << "[          ] the program decided " << rescued << " feasible and " << proven
            << " infeasible of the sets every pair leaves open\n";
}

TEST(ScheduleExact, LimitsAndShortWindowsAreNamed) {
  // J1 -> J2 at LO: J1 must be done by 2 for J2 to run its 2 units by 4.
  JobInstance inst = build({{0, 4, CRIT_LO, 3, 3}, {0, 4, CRIT_LO, 2, 2}}, {{0, 1}});
  const ScheduleAnswer shortWindow = mcjobs::scheduleExact(inst, 2, programAlone());
  EXPECT_EQ(shortWindow.status, ScheduleStatus::kInfeasible);
  EXPECT_EQ(shortWindow.exact.reason,
            "LO window of J1 narrows to [0, 2] along the arcs and the safe switch, short of its "
            "budget 3");

  JobInstance wide = build({{0, 40, CRIT_HI, 3, 6}, {0, 40, CRIT_LO, 2, 2}});
  ExactOptions small = programAlone();
  small.mostSlots = 50;
  const ScheduleAnswer tooLarge = mcjobs::scheduleExact(wide, 1, small);
  EXPECT_EQ(tooLarge.status, ScheduleStatus::kUnknown);
  EXPECT_EQ(tooLarge.exact.reason,
            "the integer program would hold 117 job-slots, more than the limit of 50");
  EXPECT_FALSE(tooLarge.result.schedulable);

  // Time values of two billion: the size is counted, nothing is allocated.
  JobInstance huge = build({{0, 2000000000, CRIT_HI, 3, 6}, {0, 2000000000, CRIT_LO, 2, 2}});
  ExactOptions unlimited = programAlone();
  unlimited.mostSlots = INT64_MAX;
  EXPECT_EQ(
      mcjobs::scheduleExact(huge, 1, unlimited).exact.reason,
      "the integer program would hold 5999999997 job-slots, more than the limit of 100000000");
}

}  // namespace
