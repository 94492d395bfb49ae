// Bulk reachability: pair counts and implied arcs against a plain search over
// the arcs the test inserted, with budgets small enough to force many blocks
// of columns.
#include "detail/reach_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/builders.h"
#include "support/oracles.h"

namespace {

TEST(ReachScan, RandomDagsMatchPlainSearch) {
  std::mt19937 rng(515);
  for (int round = 0; round < 120; ++round) {
    const int n = 1 + static_cast<int>(rng() % 200);
    RandomDag dag = randomDag(rng, n, 3 + static_cast<unsigned>(rng() % 40),
                              [](std::mt19937&) { return std::make_pair(0, 1000); });
    // Half the rounds point every arc to a higher id, the order the scan keeps.
    if (round % 2 == 0)
      for (auto& arc : dag.arcs)
        if (arc.first > arc.second) std::swap(arc.first, arc.second);
    JobInstance inst = build(dag.jobs, dag.arcs);
    for (int crit : {CRIT_LO, CRIT_HI}) {
      SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit));
      const auto reach = reachability(dag.jobs, dag.arcs, crit);
      long long pairs = 0;
      for (const auto& row : reach)
        for (bool reached : row) pairs += reached;
      std::vector<std::pair<int, int>> implied;
      for (int from = 0; from < n; ++from) {
        for (int to : inst.getSuccessors(from, crit)) {
          bool viaOther = false;
          for (int other : inst.getSuccessors(from, crit)) viaOther = viaOther || reach[other][to];
          if (viaOther) implied.push_back({from, to});
        }
      }
      for (std::size_t budget :
           {std::size_t{1}, std::size_t{24}, mcjobs_detail::kReachRowBudgetBytes}) {
        const mcjobs_detail::ReachSummary got =
            mcjobs_detail::scanReachability(inst, crit, true, budget);
        EXPECT_EQ(got.pairs, pairs) << budget;
        EXPECT_EQ(got.impliedArcs, implied) << budget;
      }
      EXPECT_TRUE(mcjobs_detail::scanReachability(inst, crit, false).impliedArcs.empty());
    }
  }
}

TEST(ReachScan, RejectsUnknownLevel) {
  JobInstance inst = build({{0, 50, 1, 2, 2}});
  EXPECT_EQ(failedCheck([&] { mcjobs_detail::scanReachability(inst, 3, false); }),
            "crit==CRIT_LO || crit == CRIT_HI");
}

}  // namespace
