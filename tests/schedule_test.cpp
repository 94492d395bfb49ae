// The table checker on tables that break one rule each, and the schedulers against it, the load
// test (a necessary condition) and, on one processor, the exact demand test; every pair of
// policies and the portfolio on generated sets.
#include "schedule.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <random>

#include "generate.h"
#include "support/builders.h"

namespace {

using mcjobs::SchedulePolicies;
using mcjobs::SchedulePolicy;
using mcjobs::ScheduleRule;
using mcjobs::ScheduleSegment;
using mcjobs::ScheduleTables;

// J1 HI 2/4 in [0,10], J2 LO 3 in [0,20], J3 HI 2/3 in [5,30]; J1 -> J3 (both levels),
// J2 -> J3 (LO level). Two processors.
JobInstance threeJobs() {
  return build({{0, 10, CRIT_HI, 2, 4}, {0, 20, CRIT_LO, 3, 3}, {5, 30, CRIT_HI, 2, 3}},
               {{0, 2}, {1, 2}});
}

ScheduleTables validTables() {
  ScheduleTables tables;
  tables.lo = {{0, 0, 0, 2}, {2, 0, 5, 7}, {1, 1, 0, 3}};
  tables.hi = {{0, 0, 6, 10}, {2, 0, 27, 30}};
  return tables;
}

struct BrokenTable {
  const char* name;
  std::function<void(ScheduleTables&)> change;
  ScheduleRule rule;
  int mode, job;
  int64_t time;
};

TEST(VerifySchedule, EachBrokenRuleIsReportedAlone) {
  JobInstance inst = threeJobs();
  EXPECT_TRUE(mcjobs::verifySchedule(inst, validTables(), 2).empty());
  const std::vector<BrokenTable> rows = {
      {"processor 2 of 2",
       [](ScheduleTables& t) {
         t.lo.push_back({1, 2, 8, 9});
       },
       ScheduleRule::kBadSegment, CRIT_LO, 1, 8},
      {"empty segment",
       [](ScheduleTables& t) {
         t.hi.push_back({2, 1, 4, 4});
       },
       ScheduleRule::kBadSegment, CRIT_HI, 2, 4},
      {"two jobs on P0",
       [](ScheduleTables& t) {
         t.lo[2] = {1, 0, 1, 4};
       },
       ScheduleRule::kProcessorOverlap, CRIT_LO, 1, 1},
      {"J1 on two processors",
       [](ScheduleTables& t) {
         t.hi[0] = {0, 0, 6, 8}, t.hi.push_back({0, 1, 7, 9});
       },
       ScheduleRule::kJobOverlap, CRIT_HI, 0, 7},
      {"J3 before 5",
       [](ScheduleTables& t) {
         t.lo[1] = {2, 0, 4, 6};
       },
       ScheduleRule::kBeforeArrival, CRIT_LO, 2, 4},
      {"J3 after 30 (HI)",
       [](ScheduleTables& t) {
         t.hi[1] = {2, 0, 28, 31};
       },
       ScheduleRule::kAfterDeadline, CRIT_HI, 2, 30},
      {"J3 runs 2 of 3 (HI)",
       [](ScheduleTables& t) {
         t.hi[1] = {2, 0, 27, 29};
       },
       ScheduleRule::kBudgetShort, CRIT_HI, 2, 30},
      {"J2 runs 4 of 3",
       [](ScheduleTables& t) {
         t.lo[2] = {1, 1, 0, 4};
       },
       ScheduleRule::kBudgetExceeded, CRIT_LO, 1, 3},
      {"J3 before J2 is done (LO)",
       [](ScheduleTables& t) {
         t.lo[2] = {1, 1, 4, 7};
       },
       ScheduleRule::kPrecedence, CRIT_LO, 2, 5},
      {"J3 before J1 is done (HI)",
       [](ScheduleTables& t) {
         t.hi[1] = {2, 1, 8, 11};
       },
       ScheduleRule::kPrecedence, CRIT_HI, 2, 8},
      {"J2 in the HI table",
       [](ScheduleTables& t) {
         t.hi.push_back({1, 1, 0, 3});
       },
       ScheduleRule::kLoJobInHiTable, CRIT_HI, 1, 0},
      {"J1 behind its HI progress",
       [](ScheduleTables& t) {
         t.lo[0] = {0, 0, 1, 3}, t.hi[0] = {0, 0, 0, 4};
       },
       ScheduleRule::kSafeSwitch, CRIT_LO, 0, 0},
  };
  for (const BrokenTable& row : rows) {
    ScheduleTables tables = validTables();
    row.change(tables);
    const auto found = mcjobs::verifySchedule(inst, tables, 2);
    ASSERT_EQ(found.size(), 1u) << row.name << ": "
                                << (found.empty() ? "" : mcjobs::describeViolation(found[0]));
    EXPECT_EQ(found[0].rule, row.rule) << row.name << ": " << mcjobs::describeViolation(found[0]);
    EXPECT_EQ(found[0].mode, row.mode) << row.name;
    EXPECT_EQ(found[0].job, row.job) << row.name;
    EXPECT_EQ(found[0].time, row.time) << row.name;
  }
  EXPECT_EQ(mcjobs::describeViolation({ScheduleRule::kPrecedence, CRIT_LO, 2, 5, 1}),
            "LO table: J3 at 5: precedence (with J2)");
}

// Every interval between an arrival and a deadline holds the LO budgets of the jobs inside it:
// for independent jobs on one processor exactly when a valid LO table exists.
bool demandFits(const std::vector<JobSpec>& jobs) {
  for (const JobSpec& from : jobs)
    for (const JobSpec& to : jobs) {
      int64_t demand = 0;
      for (const JobSpec& job : jobs)
        if (job.arrival >= from.arrival && job.deadline <= to.deadline) demand += job.lo;
      if (to.deadline > from.arrival && demand > to.deadline - from.arrival) return false;
    }
  return true;
}

TEST(Schedule, TablesPassTheCheckerAndNeverBeatTheLoadTest) {
  std::mt19937 rng(17);
  int schedulable = 0, runs = 0;
  for (int round = 0; round < 400; ++round) {
    const int n = 1 + static_cast<int>(rng() % 24);
    const int horizon = 20 + static_cast<int>(rng() % 120);
    RandomDag dag =
        randomDag(rng, n, 3 + static_cast<unsigned>(rng() % 30), [horizon](std::mt19937& r) {
          const int arrival = static_cast<int>(r() % static_cast<unsigned>(horizon));
          return std::make_pair(arrival, arrival + 19 + static_cast<int>(r() % 60));
        });
    JobInstance inst = build(dag.jobs, dag.arcs);
    const int m = 1 + static_cast<int>(rng() % 8);
    const double loStress = inst.getStress(CRIT_LO, false, m, nullptr);
    const double hiStress = inst.getStress(CRIT_HI, false, m, nullptr);
    for (SchedulePolicy policy : {SchedulePolicy::kEdf, SchedulePolicy::kLlf}) {
      const mcjobs::ScheduleResult result = mcjobs::schedule(inst, m, policy);
      ++runs;
      if (!result.schedulable) continue;
      ++schedulable;
      const auto violations = mcjobs::verifySchedule(inst, result.tables, m);
      EXPECT_TRUE(violations.empty())
          << "round " << round << ": " << mcjobs::describeViolation(violations[0]);
      EXPECT_LE(loStress, m + 1e-9) << "round " << round;
      EXPECT_LE(hiStress, m + 1e-9) << "round " << round;
    }
  }
  // The property must not hold vacuously.
  EXPECT_GT(schedulable, runs / 4);
  EXPECT_LT(schedulable, runs);
}

// Without a HI table to follow, the LO table is plain EDF, which is optimal here, and so is EDZL:
// on one processor a job reaches zero laxity behind an earlier deadline only when the demand
// cannot fit. The HI table is the same problem mirrored, with the HI budgets of the HI jobs.
TEST(Schedule, EdfAndEdzlFindTheTablesOfEveryFeasibleIndependentSetOnOneProcessor) {
  std::mt19937 rng(4);
  int feasible = 0;
  for (int round = 0; round < 600; ++round) {
    std::vector<JobSpec> jobs;
    const int n = 1 + static_cast<int>(rng() % 9);
    for (int i = 0; i < n; ++i) {
      const int arrival = static_cast<int>(rng() % 30);
      const int length = 1 + static_cast<int>(rng() % 20);
      const int lo = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(length, 8)));
      const bool hi = rng() % 2 == 0;
      jobs.push_back({arrival, arrival + length, hi ? CRIT_HI : CRIT_LO, lo, hi ? length : lo});
    }
    JobInstance inst = build(jobs);
    const bool fits = demandFits(jobs);
    feasible += fits;
    std::vector<JobSpec> hiJobs;
    for (const JobSpec& job : jobs)
      if (job.criticality == CRIT_HI) hiJobs.push_back({job.arrival, job.deadline, CRIT_HI, job.hi, job.hi});
    const bool hiFits = demandFits(hiJobs);
    std::vector<ScheduleSegment> table;
    mcjobs::ScheduleFailure failure;
    for (SchedulePolicy policy : {SchedulePolicy::kEdf, SchedulePolicy::kEdzl}) {
      EXPECT_EQ(mcjobs::scheduleLo(inst, 1, policy, {}, table, failure), fits)
          << "round " << round << " " << mcjobs::schedulePolicyName(policy);
      EXPECT_EQ(mcjobs::scheduleHi(inst, 1, policy, table, failure), hiFits)
          << "round " << round << " " << mcjobs::schedulePolicyName(policy);
    }
    if (!fits) {
      EXPECT_FALSE(mcjobs::scheduleLo(inst, 1, SchedulePolicy::kLlf, {}, table, failure));
      EXPECT_FALSE(mcjobs::schedule(inst, 1, SchedulePolicy::kEdf).schedulable);
    }
  }
  EXPECT_GT(feasible, 100);
  EXPECT_LT(feasible, 500);
}

// Decisions are taken at events only, so scaling every time scales the tables and adds no
// segment, even with windows near 10^9.
TEST(Schedule, ScaledTimesGiveScaledTables) {
  std::mt19937 rng(9);
  for (int round = 0; round < 60; ++round) {
    RandomDag dag = randomDag(rng, 12, 6, [](std::mt19937& r) {
      const int arrival = static_cast<int>(r() % 40);
      return std::make_pair(arrival, arrival + 19 + static_cast<int>(r() % 40));
    });
    JobInstance inst = build(dag.jobs, dag.arcs);
    JobInstance scaled = inst;
    scaleInstance(&scaled, 10000000);
    const int m = 1 + static_cast<int>(rng() % 3);
    for (const SchedulePolicies& policies : mcjobs::portfolioPairs()) {
      const auto small = mcjobs::schedule(inst, m, policies);
      const auto large = mcjobs::schedule(scaled, m, policies);
      ASSERT_EQ(small.schedulable, large.schedulable) << "round " << round;
      ASSERT_EQ(small.tables.lo.size(), large.tables.lo.size()) << "round " << round;
      ASSERT_EQ(small.tables.hi.size(), large.tables.hi.size()) << "round " << round;
      for (size_t i = 0; i < small.tables.lo.size(); ++i)
        EXPECT_EQ(small.tables.lo[i].end * 10000000, large.tables.lo[i].end);
      if (!small.schedulable) {
        EXPECT_EQ(small.failure.time * 10000000, large.failure.time) << "round " << round;
      }
    }
  }
}

TEST(Schedule, FailuresNameTheJobTheBoundAndTheInstant) {
  // Two LO jobs of 4 in [0, 6] on one processor: EDF runs J1 first; J2 has to start by 2.
  JobInstance lo = build({{0, 6, CRIT_LO, 4, 4}, {0, 6, CRIT_LO, 4, 4}});
  EXPECT_EQ(mcjobs::describeScheduleFailure(mcjobs::schedule(lo, 1).failure),
            "LO: J2 misses 6 at 2");
  EXPECT_TRUE(mcjobs::schedule(lo, 2).schedulable);
  // Backwards, J2 (latest arrival) takes [6, 10]; J1, which must hold [4, 8], is not running at 8.
  JobInstance hi = build({{4, 10, CRIT_HI, 1, 4}, {5, 10, CRIT_HI, 1, 4}});
  EXPECT_EQ(mcjobs::describeScheduleFailure(mcjobs::schedule(hi, 1).failure),
            "HI: J1 misses arrival 4 at 8");
  // J2 -> J1 at LO level only; J1's HI table starts at 0, before J2 can be done in LO mode.
  JobInstance safe = build({{0, 4, CRIT_HI, 1, 4}, {0, 10, CRIT_LO, 1, 1}}, {{1, 0}});
  EXPECT_EQ(mcjobs::describeScheduleFailure(mcjobs::schedule(safe, 2).failure),
            "LO: J1 misses safe switch at 0");
}

// J1 needs 42 of its 45 units; J2 and J3 arrive later. Backward EDF serves the later arrivals
// first and leaves J1 too little; least laxity and zero laxity, measured backwards, start J1 in
// time. Two processors.
TEST(Schedule, LeastLaxityBuildsTheHiTableBackwardEdfCannot) {
  JobInstance inst =
      build({{0, 45, CRIT_HI, 1, 42}, {10, 45, CRIT_HI, 1, 18}, {10, 45, CRIT_HI, 1, 18}});
  EXPECT_EQ(mcjobs::describeScheduleFailure(mcjobs::schedule(inst, 2).failure),
            "HI: J1 misses arrival 0 at 42");
  for (SchedulePolicy hi : {SchedulePolicy::kLlf, SchedulePolicy::kEdzl}) {
    const mcjobs::ScheduleResult result = mcjobs::schedule(inst, 2, SchedulePolicies{hi, SchedulePolicy::kEdf});
    ASSERT_TRUE(result.schedulable) << mcjobs::describeScheduleFailure(result.failure);
    EXPECT_TRUE(mcjobs::verifySchedule(inst, result.tables, 2).empty());
  }
  const mcjobs::ScheduleAnswer answer = mcjobs::schedulePortfolio(inst, 2);
  EXPECT_EQ(answer.status, mcjobs::ScheduleStatus::kFeasible);
  EXPECT_EQ(answer.attempts.size(), 2u);
  EXPECT_EQ(answer.result.policies.hi, SchedulePolicy::kEdzl);
  EXPECT_EQ(answer.result.policies.lo, SchedulePolicy::kLlf);
  EXPECT_TRUE(mcjobs::verifySchedule(inst, answer.result.tables, 2).empty());
}

TEST(Schedule, LoadTestNamesWhatRulesTheSetOut) {
  struct Row {
    std::vector<JobSpec> jobs;
    ArcList arcs;
    int processors;
    const char* reason;
  };
  const std::vector<Row> rows = {
      {{{0, 6, CRIT_LO, 4, 4}, {0, 6, CRIT_LO, 4, 4}}, {}, 1, "LO stress 1.33333 exceeds 1 processor"},
      {{{0, 6, CRIT_HI, 1, 5}, {0, 6, CRIT_HI, 1, 5}, {0, 6, CRIT_HI, 1, 5}},
       {}, 2, "HI stress 2.5 exceeds 2 processors"},
      {{{0, 1000000, CRIT_LO, 500001, 500001}, {0, 1000000, CRIT_LO, 500000, 500000}},
       {}, 1, "LO stress 1.000001 exceeds 1 processor"},
      // J1 must run its LO budget by 4 - 3: the safe switch, not the window, rules it out.
      {{{0, 4, CRIT_HI, 1, 4}, {0, 10, CRIT_LO, 1, 1}}, {{1, 0}}, 2,
       "LO window of J1 narrows to [1, 1] along the arcs, short of its budget 1"},
      {{{0, 10, CRIT_HI, 1, 6}, {0, 10, CRIT_HI, 1, 5}}, {{0, 1}}, 2,
       "HI window of J1 narrows to [0, 5] along the arcs, short of its budget 6"},
      {{{0, 10, CRIT_HI, 1, 6}, {0, 10, CRIT_HI, 1, 4}}, {{0, 1}}, 2, ""},
  };
  for (const Row& row : rows) {
    JobInstance inst = build(row.jobs, row.arcs);
    const mcjobs::LoadVerdict verdict = mcjobs::loadTest(inst, row.processors);
    EXPECT_EQ(verdict.reason, row.reason);
    EXPECT_EQ(verdict.infeasible, *row.reason != 0) << row.reason;
  }
}

// Generated sets of both models over a range of utilizations and processor counts: every pair
// of policies gives tables the checker accepts or none, the load test never rules out a set a
// pair schedules, and the portfolio answers with the first pair, in its order, that schedules
// the set: it takes at least what each pair takes.
TEST(Schedule, ThePortfolioTakesWhatAnyPairTakesAndEveryTablePassesTheChecker) {
  const std::vector<SchedulePolicies>& pairs = mcjobs::portfolioPairs();
  ASSERT_EQ(pairs.size(), 9u);
  EXPECT_EQ(pairs[0].hi, SchedulePolicy::kEdf);
  EXPECT_EQ(pairs[0].lo, SchedulePolicy::kEdf);
  int rescued = 0, infeasible = 0, unknown = 0, sets = 0;
  for (int seed = 1; seed <= 60; ++seed) {
    mcjobs::GenerateOptions options;
    options.processors = 1 + seed % 4;
    options.utilization = 0.6 + 0.04 * (seed % 10);
    options.graphs = options.processors + 1;
    if (seed % 2 == 0) {
      options.model = mcjobs::GenerateModel::kPeriodic;
      options.tasks = 2 * options.processors + 1;
      options.maxTaskUtilization = 0.5;  // a HI budget of twice the LO one fits any window
      options.nodesMin = 3;
      options.nodesMax = 8;
      options.periods = {20, 40, 50, 100};
    }
    JobInstance inst = mcjobs::generateJobSet(options, static_cast<uint64_t>(seed)).instance;
    const int m = options.processors;
    ++sets;
    std::vector<bool> schedules;
    for (const SchedulePolicies& policies : pairs) {
      const mcjobs::ScheduleResult result = mcjobs::schedule(inst, m, policies);
      schedules.push_back(result.schedulable);
      if (!result.schedulable) continue;
      const auto violations = mcjobs::verifySchedule(inst, result.tables, m);
      EXPECT_TRUE(violations.empty()) << "seed " << seed << ": " << mcjobs::describeViolation(violations[0]);
    }
    const auto first = std::find(schedules.begin(), schedules.end(), true);
    const mcjobs::LoadVerdict load = mcjobs::loadTest(inst, m);
    EXPECT_FALSE(load.infeasible && first != schedules.end()) << "seed " << seed << ": " << load.reason;

    const mcjobs::ScheduleAnswer answer = mcjobs::schedulePortfolio(inst, m);
    EXPECT_FALSE(answer.faulty()) << "seed " << seed;
    EXPECT_EQ(answer.method, mcjobs::ScheduleMethod::kPortfolio);
    if (first != schedules.end()) {
      ASSERT_EQ(answer.status, mcjobs::ScheduleStatus::kFeasible) << "seed " << seed;
      const SchedulePolicies& chosen = pairs[static_cast<size_t>(first - schedules.begin())];
      EXPECT_EQ(answer.result.policies.hi, chosen.hi) << "seed " << seed;
      EXPECT_EQ(answer.result.policies.lo, chosen.lo) << "seed " << seed;
      EXPECT_EQ(answer.attempts.size(), static_cast<size_t>(first - schedules.begin()) + 1);
      EXPECT_TRUE(mcjobs::verifySchedule(inst, answer.result.tables, m).empty()) << "seed " << seed;
      rescued += !schedules[0];
    } else {
      EXPECT_FALSE(answer.result.schedulable) << "seed " << seed;
      EXPECT_EQ(answer.status, load.infeasible ? mcjobs::ScheduleStatus::kInfeasible
                                               : mcjobs::ScheduleStatus::kUnknown)
          << "seed " << seed;
      EXPECT_EQ(answer.attempts.size(), load.infeasible ? 0u : pairs.size()) << "seed " << seed;
      infeasible += load.infeasible;
      unknown += !load.infeasible;
    }
  }
  // Each branch must be taken, or the property holds vacuously.
  EXPECT_GT(rescued, 0);
  EXPECT_GT(infeasible, 0);
  EXPECT_GT(unknown, 0);
  EXPECT_EQ(sets, 60);
}

}  // namespace
