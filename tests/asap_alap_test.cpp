// ASAP/ALAP windows: hand-worked examples, the recursive helpers, and random
// DAGs against an oracle over a topological order.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "explain.h"
#include "job.h"
#include "propagation.h"
#include "support/builders.h"
#include "support/oracles.h"

namespace {

const std::vector<std::pair<int, int>> kDiamondArcs = {{0, 1}, {0, 2}, {1, 3}, {2, 3}};

std::vector<JobSpec> diamond(int thirdArrival) {
  return {{0, 100, 1, 2, 2}, {0, 100, 1, 3, 3}, {thirdArrival, 100, 1, 1, 1}, {0, 100, 1, 4, 4}};
}

TEST(AsapAlap, Diamond) {
  JobInstance inst = build(diamond(1), kDiamondArcs);
  EXPECT_TRUE(propagateAlapAndAsap(&inst, CRIT_LO));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 2, 2, 5}));
  EXPECT_EQ(deadlines(inst), (std::vector<int>{93, 96, 96, 100}));
  // A second run changes nothing.
  EXPECT_TRUE(propagateASAP(&inst, CRIT_LO));
  EXPECT_TRUE(propagateALAP(&inst, CRIT_LO));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 2, 2, 5}));
  EXPECT_EQ(deadlines(inst), (std::vector<int>{93, 96, 96, 100}));
}

TEST(AsapAlap, DiamondWhereOwnArrivalWins) {
  JobInstance inst = build(diamond(7), kDiamondArcs);
  propagateASAP(&inst, CRIT_LO);
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 2, 7, 8}));
}

TEST(AsapAlap, LevelSelectsGraphAndBudget) {
  const std::vector<JobSpec> jobs = {{0, 100, 2, 2, 5}, {0, 100, 2, 3, 6}};
  JobInstance hi = build(jobs, {{0, 1}});
  propagateAlapAndAsap(&hi, CRIT_HI);
  EXPECT_EQ(arrivals(hi), (std::vector<int>{0, 5}));
  EXPECT_EQ(deadlines(hi), (std::vector<int>{94, 100}));
  JobInstance lo = build(jobs, {{0, 1}});
  propagateAlapAndAsap(&lo, CRIT_LO);
  EXPECT_EQ(arrivals(lo), (std::vector<int>{0, 2}));
  EXPECT_EQ(deadlines(lo), (std::vector<int>{97, 100}));

  // At HI a LO job is outside the graph and keeps its window.
  JobInstance mixed = build({{0, 100, 2, 2, 5}, {0, 100, 1, 3, 3}}, {{0, 1}});
  propagateAlapAndAsap(&mixed, CRIT_HI);
  EXPECT_EQ(arrivals(mixed), (std::vector<int>{0, 0}));
  EXPECT_EQ(deadlines(mixed), (std::vector<int>{100, 100}));
}

TEST(AsapAlap, EmptyInstanceAndNoArcs) {
  JobInstance empty;
  EXPECT_TRUE(propagateAlapAndAsap(&empty, CRIT_LO));
  JobInstance loose = build({{3, 30, 1, 2, 2}, {4, 40, 2, 2, 5}}, {});
  EXPECT_TRUE(propagateAlapAndAsap(&loose, CRIT_HI));
  EXPECT_EQ(arrivals(loose), (std::vector<int>{3, 4}));
  EXPECT_EQ(deadlines(loose), (std::vector<int>{30, 40}));
}

// Nothing checks the windows: an impossible one is left for the caller to find.
TEST(AsapAlap, ImpossibleWindowIsNotReported) {
  JobInstance inst = build({{0, 10, 1, 8, 8}, {0, 10, 1, 5, 5}}, {{0, 1}});
  EXPECT_TRUE(propagateAlapAndAsap(&inst, CRIT_LO));
  EXPECT_EQ(deadlines(inst), (std::vector<int>{5, 10}));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 8}));
}

// The checked form refuses what the plain one leaves behind, with the plain
// one's first collapsed window in words, and puts every window back.
TEST(AsapAlap, CheckedFormRefusesACollapsedWindowAndRestoresTheInstance) {
  JobInstance issue = build({{0, 10, 1, 6, 6}, {0, 10, 1, 6, 6}}, {{0, 1}});
  try {
    mcjobs::propagateAlapAndAsapChecked(issue, CRIT_LO);
    ADD_FAILURE() << "no CheckError";
  } catch (const CheckError& failure) {
    EXPECT_EQ(mcjobs::describeFailure(failure),
              "window of J1 collapses at LO: [0, 4] cannot hold budgets 6/6 (density_lo <=1)");
  }
  EXPECT_EQ(jobLines(issue), (std::vector<std::string>{"0 10 1 6 6", "0 10 1 6 6"}));

  std::mt19937 rng(4242);
  int refused = 0, accepted = 0;
  for (int round = 0; round < 80; ++round) {
    const int n = 1 + static_cast<int>(rng() % 15);
    const RandomDag dag = randomDag(rng, n, 3, [](std::mt19937& r) {
      const int arrival = static_cast<int>(r() % 20);
      return std::make_pair(arrival, arrival + 20 + static_cast<int>(r() % 30));
    });
    for (int crit : {CRIT_LO, CRIT_HI}) {
      SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit));
      JobInstance plain = build(dag.jobs, dag.arcs);
      propagateAlapAndAsap(&plain, crit);
      std::string expected;
      for (const Job& job : plain) {
        const std::string condition = failedCheck([&job] { job.sanity_check(); });
        if (!condition.empty()) {
          expected = mcjobs::explainCollapse(job, crit) + " (" + condition + ")";
          break;
        }
      }
      JobInstance checked = build(dag.jobs, dag.arcs);
      const std::vector<std::string> before = jobLines(checked);
      std::string refusal;
      try {
        mcjobs::propagateAlapAndAsapChecked(checked, crit);
      } catch (const CheckError& failure) {
        refusal = mcjobs::describeFailure(failure);
      }
      EXPECT_EQ(refusal, expected);
      EXPECT_EQ(jobLines(checked), expected.empty() ? jobLines(plain) : before);
      ++(expected.empty() ? accepted : refused);
    }
  }
  EXPECT_GT(refused, 20);
  EXPECT_GT(accepted, 20);
}

// Flags are set by the caller that found the job unflagged, after its
// computation; the root stays unflagged; a flagged job is trusted as final.
TEST(AsapAlap, VisitedDiscipline) {
  JobInstance inst = build(diamond(1), kDiamondArcs);
  bool visited[4] = {false, false, false, false};
  EXPECT_TRUE(computeASAP(&inst, 3, CRIT_LO, visited));
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 2, 2, 5}));
  EXPECT_TRUE(visited[0] && visited[1] && visited[2]);
  EXPECT_FALSE(visited[3]);

  JobInstance trusted = build(diamond(1), kDiamondArcs);
  bool flags[4] = {false, true, false, false};
  trusted.at(1)->arrival = 50;  // flagged, so taken as final and not recomputed
  computeASAP(&trusted, 3, CRIT_LO, flags);
  EXPECT_EQ(arrivals(trusted), (std::vector<int>{0, 50, 2, 53}));

  JobInstance alap = build(diamond(1), kDiamondArcs);
  bool alapFlags[4] = {false, false, false, false};
  EXPECT_TRUE(computeALAP(&alap, 0, CRIT_LO, alapFlags));
  EXPECT_EQ(deadlines(alap), (std::vector<int>{93, 96, 96, 100}));
  EXPECT_FALSE(alapFlags[0]);
  EXPECT_TRUE(alapFlags[1] && alapFlags[2] && alapFlags[3]);
}

TEST(AsapAlap, OutOfRangeIdFailsBeforeAnythingHappens) {
  JobInstance inst = build(diamond(1), kDiamondArcs);
  bool visited[4] = {false, false, false, false};
  const char* const range = "id>=0 && (unsigned) id < mVector.size()";
  try {
    computeASAP(&inst, 4, CRIT_LO, visited);
    ADD_FAILURE();
  } catch (const CheckError& error) {
    EXPECT_STREQ(error.what(), range);
  }
  try {
    computeALAP(&inst, -1, CRIT_LO, visited);
    ADD_FAILURE();
  } catch (const CheckError& error) {
    EXPECT_STREQ(error.what(), range);
  }
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  EXPECT_THROW(simple_computeASAP(&inst, 4, CRIT_LO), CheckError);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 0, 1, 0}));

  // The level indexes the graph; anything but LO or HI is refused.
  EXPECT_THROW(propagateASAP(&inst, 0), CheckError);
  EXPECT_THROW(propagateALAP(&inst, 3), CheckError);
  EXPECT_THROW(computeASAP(&inst, 0, 3, visited), CheckError);
}

TEST(SimpleComputeAsap, PrintsEveryPathOfTheDiamond) {
  JobInstance inst = build(diamond(1), kDiamondArcs);
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  const int asap = simple_computeASAP(&inst, 3, CRIT_LO);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Current id 3 predecessor 1\n"
            "Current id 1 predecessor 0\n"
            "The ASAP time of job with id 0 is 0\n"
            "The ASAP time of job with id 1 is 2\n"
            "Current id 3 predecessor 2\n"
            "Current id 2 predecessor 0\n"
            "The ASAP time of job with id 0 is 0\n"
            "The ASAP time of job with id 2 is 2\n"
            "The ASAP time of job with id 3 is 5\n");
  EXPECT_EQ(asap, 5);
  EXPECT_EQ(arrivals(inst), (std::vector<int>{0, 0, 1, 0}));
}

// The level picks the arcs only; the budget added is always lo_wcet.
TEST(SimpleComputeAsap, AddsLoBudgetAtHiLevel) {
  JobInstance inst = build({{0, 100, 2, 2, 5}, {0, 100, 2, 3, 6}}, {{0, 1}});
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  EXPECT_EQ(simple_computeASAP(&inst, 1, CRIT_HI), 2);
  testing::internal::GetCapturedStdout();
}

TEST(JobWcet, GetAndSetByLevel) {
  Job job;
  job.lo_wcet = 3;
  job.hi_wcet = 8;
  EXPECT_EQ(getJobWCET(&job, CRIT_LO), 3);
  EXPECT_EQ(getJobWCET(&job, CRIT_HI), 8);
  EXPECT_EQ(getJobWCET(&job, 0), 8);
  EXPECT_EQ(getJobWCET(&job, 3), 8);

  setJobWCET(&job, CRIT_LO, 7);
  EXPECT_EQ(job.lo_wcet, 7);
  EXPECT_EQ(job.hi_wcet, 7);
  for (int level : {static_cast<int>(CRIT_HI), 0, 3}) {
    setJobWCET(&job, level, 9 + level);
    EXPECT_EQ(job.lo_wcet, 7);
    EXPECT_EQ(job.hi_wcet, 9 + level);
  }
}

// Closed formulas evaluated in a topological order of the arcs the test
// generated, against both propagations at both levels.
TEST(AsapAlap, RandomDagsMatchTopologicalOracle) {
  std::mt19937 rng(977);
  for (int round = 0; round < 60; ++round) {
    const int n = 1 + static_cast<int>(rng() % 40);
    const RandomDag dag = randomDag(rng, n, 5, [](std::mt19937& r) {
      const int arrival = static_cast<int>(r() % 60);
      return std::make_pair(arrival, arrival + 20 + static_cast<int>(r() % 400));
    });
    const std::vector<int>& order = dag.order;
    const std::vector<JobSpec>& jobs = dag.jobs;
    const ArcList& arcs = dag.arcs;

    for (int crit : {CRIT_LO, CRIT_HI}) {
      SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit));
      auto wcet = [&](int j) {
        const JobSpec& spec = jobs[j];
        return crit == CRIT_LO ? spec.lo : spec.hi;
      };
      auto atLevel = [&](const std::pair<int, int>& arc) {
        return crit == CRIT_LO ||
               (jobs[arc.first].criticality == CRIT_HI && jobs[arc.second].criticality == CRIT_HI);
      };
      std::vector<int> asap(n), alap(n);
      for (int k = 0; k < n; ++k) {
        const int j = order[k];
        int value = jobs[j].arrival;
        for (const auto& arc : arcs)
          if (arc.second == j && atLevel(arc))
            value = std::max(value, asap[arc.first] + wcet(arc.first));
        asap[j] = value;
      }
      for (int k = n - 1; k >= 0; --k) {
        const int j = order[k];
        int value = jobs[j].deadline;
        for (const auto& arc : arcs)
          if (arc.first == j && atLevel(arc))
            value = std::min(value, alap[arc.second] - wcet(arc.second));
        alap[j] = value;
      }

      JobInstance both = build(jobs, arcs);
      propagateAlapAndAsap(&both, crit);
      EXPECT_EQ(arrivals(both), asap);
      EXPECT_EQ(deadlines(both), alap);

      // The other order gives the same, and each one is idempotent.
      JobInstance reversed = build(jobs, arcs);
      propagateASAP(&reversed, crit);
      propagateALAP(&reversed, crit);
      propagateASAP(&reversed, crit);
      propagateALAP(&reversed, crit);
      EXPECT_EQ(arrivals(reversed), asap);
      EXPECT_EQ(deadlines(reversed), alap);
    }
  }
}

struct ChainRun {
  JobInstance* inst;
};

void* propagateOnSmallStack(void* arg) {
  JobInstance* inst = static_cast<ChainRun*>(arg)->inst;
  propagateALAP(inst, CRIT_LO);
  propagateASAP(inst, CRIT_LO);
  return nullptr;
}

// The walk must not be as deep as the chain: 1,000 jobs in a 64 KiB stack.
TEST(AsapAlap, LongChainOnSmallStack) {
  const int n = 1000;
  std::vector<JobSpec> jobs(n, JobSpec{0, 10000, CRIT_LO, 2, 2});
  std::vector<std::pair<int, int>> arcs;
  for (int i = 0; i + 1 < n; ++i) arcs.push_back({i, i + 1});
  JobInstance inst = build(jobs, arcs);

  ChainRun run{&inst};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 64 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, propagateOnSmallStack, &run), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attr);

  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(inst.at(i)->arrival, 2 * i) << i;
    ASSERT_EQ(inst.at(i)->deadline, 10000 - 2 * (n - 1 - i)) << i;
  }
}

}  // namespace
