// JobInstance: job and arc insertion, closures at both levels, arcs listing,
// removal, appending, copies and the checks that guard them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "job.h"
#include "support/oracles.h"

namespace {

Job makeJob(int criticality, int id = 0) {
  Job job;
  job.id = id;
  job.arrival = 0;
  job.deadline = 100;
  job.criticality = criticality;
  job.lo_wcet = 2;
  job.hi_wcet = criticality == CRIT_HI ? 5 : 2;
  return job;
}

JobInstance instanceOf(const std::vector<int>& criticalities) {
  JobInstance instance;
  for (int criticality : criticalities) instance.insert(makeJob(criticality));
  return instance;
}

std::vector<int> members(const Util::Set<int>& set) {
  return std::vector<int>(set.begin(), set.end());
}

std::vector<std::pair<int, int>> arcsOf(const JobInstance& instance) {
  std::vector<std::pair<int, int>> arcs;
  for (const Arc& arc : instance.getAllArcs()) arcs.emplace_back(arc.from_id, arc.to_id);
  return arcs;
}

TEST(JobInsertion, NumbersByPositionAfterSanityCheck) {
  JobInstance instance;
  EXPECT_EQ(instance.numJobs(), 0);
  EXPECT_TRUE(instance.getAllArcs().empty());
  EXPECT_TRUE(instance.getAllJobIds().empty());
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(0, 0)); }), "from_id >=0 && from_id < numJobs()");

  for (int id : {7, -1, 7}) instance.insert(makeJob(CRIT_LO, id));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(instance.job_at(i)->id, i);

  Job bad = makeJob(CRIT_LO);
  bad.deadline = bad.arrival;
  EXPECT_EQ(failedCheck([&] { instance.insert(bad); }), "deadline>arrival");
  EXPECT_EQ(instance.numJobs(), 3) << "a refused job changes nothing";
  EXPECT_TRUE(instance.getSuccessors(2, CRIT_HI).empty());
}

TEST(JobInsertion, CountsAndIdSets) {
  JobInstance instance = instanceOf({CRIT_HI, CRIT_LO, CRIT_HI, CRIT_LO, CRIT_LO});
  EXPECT_EQ(instance.numJobs(CRIT_LO), 3u);
  EXPECT_EQ(instance.numJobs(CRIT_HI), 2u);
  EXPECT_EQ(instance.numJobs(0), 0u);
  EXPECT_EQ(instance.numJobs(3), 0u);
  EXPECT_EQ(members(instance.getAllJobIds()), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(members(instance.getJobIds(CRIT_HI)), (std::vector<int>{0, 2}));
  EXPECT_TRUE(instance.getJobIds(3).empty());
  EXPECT_EQ(instance.at(4), instance.job_at(4));
  for (int bad : {-1, 5}) {
    EXPECT_EQ(failedCheck([&] { instance.job_at(bad); }),
              "id>=0 && (unsigned) id < mVector.size()");
    EXPECT_EQ(failedCheck([&] { instance.at(bad); }), "id>=0 && (unsigned) id < mVector.size()");
  }
  instance.begin()[3].id = 9;  // a caller breaking the id rule is caught on access
  EXPECT_EQ(failedCheck([&] { instance.job_at(3); }), "job->id == id");
  EXPECT_EQ(failedCheck([&] { instance.getAllJobIds(); }), "job->id == id");
}

TEST(ArcInsertion, RejectsOutOfRangeAndCycles) {
  JobInstance instance = instanceOf({CRIT_LO, CRIT_LO, CRIT_LO});
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(0, 0)); }), "Cyclic path in task graph!");
  instance.insert(Arc(0, 1));
  instance.insert(Arc(1, 2));
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(2, 0)); }), "Cyclic path in task graph!");
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(1, 0)); }), "Cyclic path in task graph!");
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(-1, 0)); }),
            "from_id >=0 && from_id < numJobs()");
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(3, 9)); }), "from_id >=0 && from_id < numJobs()");
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(0, 3)); }), "to_id >=0 && to_id < numJobs()");

  const std::vector<int> before = members(instance.getTransitiveSuccessors(0, CRIT_LO));
  instance.insert(Arc(0, 2));  // a shortcut: listed, closure unchanged
  instance.insert(Arc(0, 1));  // a repeat: listed once
  EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_LO)), before);
  EXPECT_EQ(arcsOf(instance), (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {1, 2}}));
  EXPECT_EQ(members(instance.getSuccessors(0, CRIT_LO)), (std::vector<int>{1, 2}));
}

TEST(ArcInsertion, SameClosureInAnyOrder) {
  const std::vector<std::pair<int, int>> arcs = {{0, 1}, {2, 3}, {1, 2}};
  std::vector<int> order = {0, 1, 2};
  do {
    JobInstance instance = instanceOf({CRIT_LO, CRIT_LO, CRIT_LO, CRIT_LO});
    for (int k : order) instance.insert(Arc(arcs[k].first, arcs[k].second));
    EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_LO)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(members(instance.getTransitiveSuccessors(1, CRIT_LO)), (std::vector<int>{2, 3}));
    EXPECT_EQ(members(instance.getTransitivePredecessors(3, CRIT_LO)), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(members(instance.getTransitivePredecessors(2, CRIT_LO)), (std::vector<int>{0, 1}));
    EXPECT_EQ(members(instance.getSuccessors(1, CRIT_LO)), (std::vector<int>{2}));
    EXPECT_EQ(members(instance.getPredecessors(2, CRIT_LO)), (std::vector<int>{1}));
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(ArcInsertion, HiLevelFollowsHiArcsOnly) {
  JobInstance instance = instanceOf({CRIT_HI, CRIT_LO, CRIT_HI});
  instance.insert(Arc(0, 1));
  instance.insert(Arc(1, 2));
  EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_LO)), (std::vector<int>{1, 2}));
  for (int id = 0; id < 3; ++id) {
    EXPECT_TRUE(instance.getTransitiveSuccessors(id, CRIT_HI).empty());
    EXPECT_TRUE(instance.getTransitivePredecessors(id, CRIT_HI).empty());
    EXPECT_TRUE(instance.getSuccessors(id, CRIT_HI).empty());
  }
  instance.insert(Arc(0, 2));
  EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_HI)), (std::vector<int>{2}));
  EXPECT_EQ(members(instance.getPredecessors(2, CRIT_HI)), (std::vector<int>{0}));
  EXPECT_EQ(arcsOf(instance), (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {1, 2}}));
  EXPECT_EQ(failedCheck([&] { instance.insert(Arc(2, 0)); }), "Cyclic path in task graph!");
}

TEST(ArcInsertion, ListsInCanonicalOrder) {
  JobInstance instance = instanceOf({CRIT_LO, CRIT_LO, CRIT_LO, CRIT_LO});
  instance.insert(Arc(2, 3));
  instance.insert(Arc(0, 3));
  instance.insert(Arc(0, 1));
  EXPECT_EQ(arcsOf(instance), (std::vector<std::pair<int, int>>{{0, 1}, {0, 3}, {2, 3}}));
}

TEST(ArcInsertion, ReferencesStayValidAndSeeNewArcs) {
  JobInstance instance = instanceOf({CRIT_HI, CRIT_HI, CRIT_HI});
  Job* first = instance.job_at(0);
  Util::Set<int>& reached = instance.getTransitiveSuccessors(0, CRIT_HI);
  instance.insert(Arc(0, 1));
  instance.insert(Arc(1, 2));
  EXPECT_EQ(first, instance.job_at(0));
  EXPECT_EQ(members(reached), (std::vector<int>{1, 2}));
  instance.insert(makeJob(CRIT_LO));  // jobs may follow arcs; they start unconnected
  instance.insert(Arc(2, 3));
  EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_LO)), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_HI)), (std::vector<int>{1, 2}));
}

TEST(CopiesAndAppend, CopyIsIndependent) {
  JobInstance source = instanceOf({CRIT_HI, CRIT_HI, CRIT_LO});
  source.insert(Arc(0, 1));
  JobInstance copy(source);
  copy.insert(Arc(1, 2));
  copy.insert(makeJob(CRIT_LO));
  copy.job_at(0)->arrival = 50;
  EXPECT_EQ(source.numJobs(), 3);
  EXPECT_EQ(arcsOf(source), (std::vector<std::pair<int, int>>{{0, 1}}));
  EXPECT_TRUE(source.getTransitiveSuccessors(1, CRIT_LO).empty());
  EXPECT_EQ(source.job_at(0)->arrival, 0);
  EXPECT_EQ(members(copy.getTransitiveSuccessors(0, CRIT_LO)), (std::vector<int>{1, 2}));
  JobInstance moved(std::move(copy));  // a move keeps the closure and its handed-out sets
  EXPECT_EQ(members(moved.getTransitiveSuccessors(0, CRIT_LO)), (std::vector<int>{1, 2}));
  moved.insert(Arc(2, 3));
  EXPECT_EQ(members(moved.getTransitivePredecessors(3, CRIT_LO)), (std::vector<int>{0, 1, 2}));
  source.insert(Arc(1, 2));  // the source's own closure index was not shared either
  EXPECT_EQ(members(source.getTransitivePredecessors(2, CRIT_LO)), (std::vector<int>{0, 1}));
}

TEST(CopiesAndAppend, AppendNumbersAfterExistingJobs) {
  JobInstance target = instanceOf({CRIT_LO, CRIT_HI, CRIT_LO});
  target.insert(Arc(0, 1));
  JobInstance other = instanceOf({CRIT_HI, CRIT_LO});
  target.append(&other);
  EXPECT_EQ(target.numJobs(), 5);
  EXPECT_EQ(target.job_at(3)->id, 3);
  EXPECT_EQ(target.job_at(3)->criticality, CRIT_HI);
  EXPECT_EQ(target.job_at(4)->id, 4);
  EXPECT_EQ(other.numJobs(), 2);
  EXPECT_EQ(other.job_at(0)->id, 0);
  EXPECT_EQ(arcsOf(target), (std::vector<std::pair<int, int>>{{0, 1}}));

  target.append(&other);  // appending twice works; so does appending itself when it has no arcs
  JobInstance self = instanceOf({CRIT_LO, CRIT_HI});
  self.append(&self);
  EXPECT_EQ(self.numJobs(), 4);
  EXPECT_EQ(self.job_at(3)->criticality, CRIT_HI);

  EXPECT_EQ(failedCheck([&] { other.append(&target); }),
            "Function append does not support arcs yet!");
  EXPECT_EQ(other.numJobs(), 2) << "a refused append changes nothing";
}

TEST(Removal, RenumbersLaterJobs) {
  JobInstance instance = instanceOf({CRIT_LO, CRIT_HI, CRIT_LO});
  instance.remove(instance.begin());
  ASSERT_EQ(instance.numJobs(), 2);
  EXPECT_EQ(instance.job_at(0)->criticality, CRIT_HI);
  EXPECT_EQ(instance.job_at(1)->id, 1);
  instance.insert(makeJob(CRIT_HI));
  instance.insert(Arc(0, 2));  // the sets shrank with the jobs and still work
  EXPECT_EQ(members(instance.getTransitiveSuccessors(0, CRIT_HI)), (std::vector<int>{2}));

  JobInstance last = instanceOf({CRIT_LO, CRIT_LO});
  last.remove(last.begin() + 1);
  EXPECT_EQ(last.numJobs(), 1);
  EXPECT_EQ(last.job_at(0)->id, 0);
}

TEST(Removal, RefusedWhenAnyArcExists) {
  JobInstance instance = instanceOf({CRIT_LO, CRIT_LO, CRIT_LO, CRIT_LO});
  instance.insert(Arc(2, 3));
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(failedCheck([&] { instance.remove(instance.begin() + k); }),
              "Function remove does not support arcs yet!");
  }
  EXPECT_EQ(instance.numJobs(), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(instance.job_at(i)->id, i) << "ids untouched by a refused removal";
}

// Reachability computed from the direct arcs by depth-first search, written
// independently of the incremental closure.
std::vector<std::vector<bool>> reachability(int jobs,
                                            const std::vector<std::pair<int, int>>& arcs) {
  std::vector<std::vector<int>> out(static_cast<size_t>(jobs));
  for (const auto& arc : arcs) out[static_cast<size_t>(arc.first)].push_back(arc.second);
  std::vector<std::vector<bool>> reach(static_cast<size_t>(jobs),
                                       std::vector<bool>(static_cast<size_t>(jobs)));
  for (int start = 0; start < jobs; ++start) {
    std::vector<int> stack(out[static_cast<size_t>(start)]);
    while (!stack.empty()) {
      const int node = stack.back();
      stack.pop_back();
      if (reach[static_cast<size_t>(start)][static_cast<size_t>(node)]) continue;
      reach[static_cast<size_t>(start)][static_cast<size_t>(node)] = true;
      for (int next : out[static_cast<size_t>(node)]) stack.push_back(next);
    }
  }
  return reach;
}

TEST(ClosureProperty, MatchesIndependentReachabilityAtBothLevels) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 60; ++round) {
    // Every fifth round spans several 64-bit words of the closure index.
    const bool large = round % 5 == 4;
    const int jobs = large ? 130 + static_cast<int>(rng() % 200) : 2 + static_cast<int>(rng() % 40);
    std::vector<int> criticality(static_cast<size_t>(jobs));
    JobInstance instance;
    for (int& level : criticality) {
      level = rng() % 3 == 0 ? CRIT_LO : CRIT_HI;
      instance.insert(makeJob(level));
    }
    // Random arcs over a hidden topological order; some would close cycles.
    std::vector<int> rank(static_cast<size_t>(jobs));
    for (int i = 0; i < jobs; ++i) rank[static_cast<size_t>(i)] = i;
    std::shuffle(rank.begin(), rank.end(), rng);
    std::vector<std::pair<int, int>> accepted;
    std::vector<std::tuple<int, int, Util::Set<int>*>> heldSuccessors, heldPredecessors;
    const int attempts = static_cast<int>(rng() % static_cast<unsigned>(jobs * 3));
    for (int k = 0; k < attempts; ++k) {
      const int u = static_cast<int>(rng() % static_cast<unsigned>(jobs));
      const int v = static_cast<int>(rng() % static_cast<unsigned>(jobs));
      const bool forward = rank[static_cast<size_t>(u)] < rank[static_cast<size_t>(v)];
      if (large && !forward) continue;  // the oracle below is too slow to ask per arc here
      const bool wouldCycle =
          !large &&
          (u == v || reachability(jobs, accepted)[static_cast<size_t>(v)][static_cast<size_t>(u)]);
      if (!forward && !wouldCycle && rng() % 2 == 0) continue;
      if (wouldCycle) {
        EXPECT_EQ(failedCheck([&] { instance.insert(Arc(u, v)); }), "Cyclic path in task graph!");
        continue;
      }
      instance.insert(Arc(u, v));
      accepted.emplace_back(u, v);
      // Sets handed out midway must be kept in step by the later insertions.
      if (rng() % 4 == 0) {
        const int id = static_cast<int>(rng() % static_cast<unsigned>(jobs));
        const int level = rng() % 2 == 0 ? CRIT_LO : CRIT_HI;
        heldSuccessors.emplace_back(id, level, &instance.getTransitiveSuccessors(id, level));
        heldPredecessors.emplace_back(id, level, &instance.getTransitivePredecessors(id, level));
      }
    }

    for (int level : {CRIT_LO, CRIT_HI}) {
      std::vector<std::pair<int, int>> levelArcs;
      for (const auto& arc : accepted) {
        if (level == CRIT_LO || (criticality[static_cast<size_t>(arc.first)] == CRIT_HI &&
                                 criticality[static_cast<size_t>(arc.second)] == CRIT_HI)) {
          levelArcs.push_back(arc);
        }
      }
      const auto reach = reachability(jobs, levelArcs);
      for (int i = 0; i < jobs; ++i) {
        std::vector<int> expectedSucc, expectedPred, directSucc, directPred;
        for (int j = 0; j < jobs; ++j) {
          if (reach[static_cast<size_t>(i)][static_cast<size_t>(j)]) expectedSucc.push_back(j);
          if (reach[static_cast<size_t>(j)][static_cast<size_t>(i)]) expectedPred.push_back(j);
        }
        for (const auto& arc : levelArcs) {
          if (arc.first == i) directSucc.push_back(arc.second);
          if (arc.second == i) directPred.push_back(arc.first);
        }
        for (auto* list : {&directSucc, &directPred}) {
          std::sort(list->begin(), list->end());
          list->erase(std::unique(list->begin(), list->end()), list->end());
        }
        ASSERT_EQ(members(instance.getTransitiveSuccessors(i, level)), expectedSucc)
            << "round " << round;
        ASSERT_EQ(members(instance.getTransitivePredecessors(i, level)), expectedPred)
            << "round " << round;
        ASSERT_EQ(members(instance.getSuccessors(i, level)), directSucc) << "round " << round;
        ASSERT_EQ(members(instance.getPredecessors(i, level)), directPred) << "round " << round;
        ASSERT_FALSE(instance.getTransitiveSuccessors(i, level).contains(i));
      }
    }
    // References taken during the insertions see the final closure too.
    for (const auto& held : heldSuccessors) {
      ASSERT_EQ(std::get<2>(held),
                &instance.getTransitiveSuccessors(std::get<0>(held), std::get<1>(held)));
    }
    for (const auto& held : heldPredecessors) {
      ASSERT_EQ(std::get<2>(held),
                &instance.getTransitivePredecessors(std::get<0>(held), std::get<1>(held)));
    }
    // The listing holds every accepted arc once, sorted.
    std::sort(accepted.begin(), accepted.end());
    accepted.erase(std::unique(accepted.begin(), accepted.end()), accepted.end());
    ASSERT_EQ(arcsOf(instance), accepted);
  }
}

}  // namespace
