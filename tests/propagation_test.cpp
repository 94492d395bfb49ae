// Propagation results with the trace off. This program never enforces the
// trace, and drops MCS_DEBUG_PROP before the switch can first read it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "job.h"
#include "support/builders.h"
#include "support/oracles.h"

namespace {

const bool kTraceEnvironmentDropped = [] { return unsetenv("MCS_DEBUG_PROP") == 0; }();

std::string failureOf(JobInstance& inst, bool (JobInstance::*operation)(int), int crit) {
  try {
    (inst.*operation)(crit);
  } catch (const CheckError& error) {
    return error.what();
  }
  return "no failure";
}

TEST(PropagationSwitch, OffWithoutEnvironmentOrEnforcement) {
  ASSERT_TRUE(kTraceEnvironmentDropped);
  EXPECT_FALSE(propDebug());
  JobInstance inst = build({{5, 40, 1, 3, 3}, {0, 40, 1, 4, 4}}, {{0, 1}});
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(PropagateArrivals, FollowsChainAndIsStableAfterOnePass) {
  JobInstance inst =
      build({{5, 40, 1, 3, 3}, {0, 40, 1, 4, 4}, {8, 40, 1, 2, 2}}, {{0, 1}, {1, 2}});
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{5, 5, 8}));
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_LO));
}

// J3's turn comes last, yet J2 is among its transitive successors.
TEST(PropagateArrivals, IdsAgainstArcDirection) {
  JobInstance inst =
      build({{0, 50, 1, 2, 2}, {0, 50, 1, 2, 2}, {9, 50, 1, 2, 2}}, {{2, 0}, {0, 1}});
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{9, 9, 9}));
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_LO));
}

TEST(PropagateArrivals, JobRaisedTwiceInOnePass) {
  JobInstance inst =
      build({{5, 40, 1, 3, 3}, {8, 40, 1, 4, 4}, {0, 40, 1, 2, 2}}, {{0, 1}, {1, 2}});
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{5, 8, 8}));
}

TEST(PropagateArrivals, EqualArrivalsAreNoChange) {
  JobInstance inst = build({{4, 40, 1, 3, 3}, {4, 40, 1, 4, 4}}, {{0, 1}});
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_FALSE(inst.propagate_deadlines(CRIT_LO));
}

TEST(PropagateArrivals, HiLevelIgnoresPathsThroughLoJobs) {
  JobInstance inst =
      build({{6, 50, 2, 2, 4}, {0, 50, 1, 2, 2}, {0, 50, 2, 2, 4}}, {{0, 1}, {1, 2}});
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_HI));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{6, 0, 0}));
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{6, 6, 6}));
}

TEST(PropagateArrivals, HiLevelFollowsHiArcs) {
  JobInstance inst = build({{6, 50, 2, 2, 4}, {0, 50, 2, 2, 4}}, {{0, 1}});
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_HI));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{6, 6}));
}

TEST(PropagateDeadlines, ChainTakesSmallestSuccessorDeadline) {
  JobInstance inst =
      build({{0, 50, 1, 2, 2}, {0, 40, 1, 2, 2}, {0, 30, 1, 2, 2}}, {{0, 1}, {1, 2}});
  EXPECT_TRUE(inst.propagate_deadlines(CRIT_LO));
  EXPECT_EQ(deadlines(inst), (std::vector<int>{30, 30, 30}));
  EXPECT_FALSE(inst.propagate_deadlines(CRIT_LO));
  // Arrivals are untouched by deadline propagation, and vice versa.
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 0, 0}));
}

TEST(Propagation, NoArcsNoChange) {
  JobInstance inst = build({{9, 50, 1, 2, 2}, {0, 10, 2, 2, 4}}, {});
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_LO));
  EXPECT_FALSE(inst.propagate_deadlines(CRIT_LO));
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_HI));
  EXPECT_FALSE(inst.propagate_deadlines(CRIT_HI));
  JobInstance empty;
  EXPECT_FALSE(empty.propagate_arrivals(CRIT_LO));
}

// A squeezed window fails the job's sanity check, naming the condition.
TEST(Propagation, SqueezedWindowsFailNamedChecks) {
  struct Case {
    const char* name;
    std::vector<JobSpec> jobs;
    bool (JobInstance::*operation)(int);
    int crit;
    const char* condition;
  };
  const std::vector<Case> cases = {
      {"arrival leaves window shorter than budget",
       {{30, 40, 1, 5, 5}, {0, 32, 1, 4, 4}},
       &JobInstance::propagate_arrivals,
       CRIT_LO,
       "density_lo <=1"},
      {"arrival reaches deadline",
       {{30, 40, 1, 5, 5}, {0, 30, 1, 4, 4}},
       &JobInstance::propagate_arrivals,
       CRIT_LO,
       "deadline>arrival"},
      {"deadline leaves window shorter than budget",
       {{0, 40, 1, 5, 5}, {0, 3, 1, 2, 2}},
       &JobInstance::propagate_deadlines,
       CRIT_LO,
       "density_lo <=1"},
      {"deadline reaches arrival",
       {{5, 40, 1, 1, 1}, {0, 5, 1, 2, 2}},
       &JobInstance::propagate_deadlines,
       CRIT_LO,
       "deadline>arrival"},
      {"HI budget no longer fits",
       {{20, 40, 2, 2, 4}, {0, 23, 2, 2, 4}},
       &JobInstance::propagate_arrivals,
       CRIT_HI,
       "density_hi <=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobInstance inst = build(c.jobs, {{0, 1}});
    EXPECT_EQ(failureOf(inst, c.operation, c.crit), c.condition);
  }
}

TEST(Propagation, RejectsUnknownLevel) {
  JobInstance inst = build({{0, 50, 1, 2, 2}}, {});
  EXPECT_EQ(failureOf(inst, &JobInstance::propagate_arrivals, 0),
            "crit==CRIT_LO || crit == CRIT_HI");
  EXPECT_EQ(failureOf(inst, &JobInstance::propagate_deadlines, 3),
            "crit==CRIT_LO || crit == CRIT_HI");
}

// After one pass each arrival is the maximum over the job and its ancestors,
// each deadline the minimum over the job and its descendants, with ancestry
// found here by a plain search over the arcs the test generated.
TEST(Propagation, RandomDagsMatchReachabilityOracle) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 40; ++round) {
    const int n = 2 + static_cast<int>(rng() % 30);
    const RandomDag dag = randomDag(rng, n, 6, [](std::mt19937& r) {
      const int arrival = static_cast<int>(r() % 100);
      return std::make_pair(arrival, 500 + static_cast<int>(r() % 500));
    });
    const std::vector<JobSpec>& jobs = dag.jobs;
    const ArcList& arcs = dag.arcs;

    for (int crit : {CRIT_LO, CRIT_HI}) {
      SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit));
      const std::vector<std::vector<bool>> reach = reachability(jobs, arcs, crit);
      std::vector<int> wantArrival, wantDeadline;
      bool arrivalChanges = false, deadlineChanges = false;
      for (int j = 0; j < n; ++j) {
        int arrival = jobs[j].arrival, deadline = jobs[j].deadline;
        for (int k = 0; k < n; ++k) {
          if (reach[k][j]) arrival = std::max(arrival, jobs[k].arrival);
          if (reach[j][k]) deadline = std::min(deadline, jobs[k].deadline);
        }
        arrivalChanges = arrivalChanges || arrival != jobs[j].arrival;
        deadlineChanges = deadlineChanges || deadline != jobs[j].deadline;
        wantArrival.push_back(arrival);
        wantDeadline.push_back(deadline);
      }

      JobInstance inst = build(jobs, arcs);
      EXPECT_EQ(inst.propagate_arrivals(crit), arrivalChanges);
      EXPECT_EQ(inst.propagate_deadlines(crit), deadlineChanges);
      EXPECT_EQ(arrivals(inst), wantArrival);
      EXPECT_EQ(deadlines(inst), wantDeadline);
      EXPECT_FALSE(inst.propagate_arrivals(crit));
      EXPECT_FALSE(inst.propagate_deadlines(crit));
    }
  }
}

// The pass as first defined, run by the test over reachability it finds
// itself: the same results, or the same check failing first and the instance
// left exactly as it was, whichever path the library takes.
TEST(Propagation, RandomSqueezesMatchReferencePass) {
  std::mt19937 rng(4242);
  int failures = 0, changes = 0;
  for (int round = 0; round < 300; ++round) {
    const SqueezeCase c = squeezeCase(rng, 24);
    for (int crit : {CRIT_LO, CRIT_HI}) {
      const auto reach = reachability(c.dag.jobs, c.dag.arcs, crit);
      for (bool raise : {true, false}) {
        SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit) +
                     (raise ? " arrivals" : " deadlines"));
        JobInstance inst = buildSqueezeCase(c);
        const std::vector<std::string> before = jobLines(inst);
        const ReferencePass want =
            referencePass(std::vector<Job>(inst.begin(), inst.end()), reach, raise);
        bool result = false;
        const std::string failure = failedCheck([&] {
          result = raise ? inst.propagate_arrivals(crit) : inst.propagate_deadlines(crit);
        });
        EXPECT_EQ(failure, want.condition);
        if (want.failedJob >= 0) {
          ++failures;
          EXPECT_EQ(jobLines(inst), before);
        } else {
          changes += want.changed;
          EXPECT_EQ(result, want.changed);
          EXPECT_EQ(raise ? arrivals(inst) : deadlines(inst), want.values);
        }
      }
    }
  }
  EXPECT_GT(failures, 200);
  EXPECT_GT(changes, 200);
}

// A job whose public criticality was changed to 3 after insertion fails the
// criticality check when propagation changes it, and nothing stays changed.
TEST(Propagation, UnknownCriticalityFromPublicFieldFails) {
  JobInstance inst =
      build({{5, 40, 1, 3, 3}, {0, 40, 1, 4, 4}, {0, 40, 1, 4, 4}}, {{0, 2}, {1, 2}});
  inst.at(2)->criticality = 3;
  const std::vector<std::string> before = jobLines(inst);
  EXPECT_EQ(failedCheck([&] { inst.propagate_arrivals(CRIT_LO); }),
            "criticality==CRIT_LO || criticality == CRIT_HI");
  EXPECT_EQ(jobLines(inst), before);
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_HI));
}

// The squeezed window of the arrival example: the failed check leaves the
// second job as it was, so the instance can still be written and read.
TEST(Propagation, FailedPassLeavesInstanceUnchanged) {
  JobInstance inst = build({{30, 40, 1, 5, 5}, {0, 32, 1, 4, 4}}, {{0, 1}});
  EXPECT_EQ(failedCheck([&] { inst.propagate_arrivals(CRIT_LO); }), "density_lo <=1");
  EXPECT_EQ(inst.at(1)->toString(), "0 32 1 4 4");
}

}  // namespace
