// The id-based reachability queries against a plain search over the arcs,
// before and after arcs arrive on a closure that is already built.
#include "reachability.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/builders.h"
#include "support/oracles.h"

namespace {

std::vector<int> row(const std::vector<std::vector<bool>>& reach, int from, bool successors) {
  std::vector<int> ids;
  for (size_t other = 0; other < reach.size(); ++other)
    if (successors ? reach[static_cast<size_t>(from)][other]
                   : reach[other][static_cast<size_t>(from)])
      ids.push_back(static_cast<int>(other));
  return ids;
}

void expectMatches(JobInstance& inst, const RandomDag& dag, const ArcList& inserted) {
  for (int level : {CRIT_LO, CRIT_HI}) {
    const auto reach = reachability(dag.jobs, inserted, level);
    for (int from = 0; from < inst.numJobs(); ++from) {
      EXPECT_EQ(mcjobs::transitiveSuccessorIds(inst, from, level), row(reach, from, true));
      EXPECT_EQ(mcjobs::transitivePredecessorIds(inst, from, level), row(reach, from, false));
      for (int to = 0; to < inst.numJobs(); ++to)
        ASSERT_EQ(mcjobs::reaches(inst, from, to, level), reach[from][to]) << from << " " << to;
    }
  }
}

TEST(Reachability, IdQueriesMatchASearchAsArcsArrive) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 30; ++round) {
    const RandomDag dag = randomDag(rng, 1 + round % 23, 1 + round % 5,
                                    [](std::mt19937&) { return std::make_pair(0, 100); });
    const ArcList first(dag.arcs.begin(), dag.arcs.begin() + dag.arcs.size() / 2);
    JobInstance inst = build(dag.jobs, first);
    expectMatches(inst, dag, first);  // builds the closure
    for (size_t k = first.size(); k < dag.arcs.size(); ++k)
      inst.insert(Arc(dag.arcs[k].first, dag.arcs[k].second));
    expectMatches(inst, dag, dag.arcs);  // the closure kept up to date
  }
}

TEST(Reachability, RefusesIdsAndLevelsOutOfRange) {
  JobInstance inst = build({{0, 10, CRIT_LO, 1, 1}, {0, 10, CRIT_LO, 1, 1}}, {{0, 1}});
  EXPECT_NE(failedCheck([&] { mcjobs::reaches(inst, 0, 2, CRIT_LO); }), "");
  EXPECT_NE(failedCheck([&] { mcjobs::transitiveSuccessorIds(inst, -1, CRIT_LO); }), "");
  EXPECT_NE(failedCheck([&] { mcjobs::transitivePredecessorIds(inst, 0, 3); }), "");
}

}  // namespace
