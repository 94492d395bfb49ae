// Topological orders of a level: permutations in which every arc of the level
// points forward, and the id order kept when it already is one.
#include "detail/topo_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/builders.h"
#include "support/oracles.h"

namespace {

TEST(TopoOrder, RandomDagsGiveTopologicalPermutations) {
  std::mt19937 rng(31337);
  for (int round = 0; round < 100; ++round) {
    const int n = static_cast<int>(rng() % 60);
    RandomDag dag = randomDag(rng, n, 2 + static_cast<unsigned>(rng() % 10),
                              [](std::mt19937&) { return std::make_pair(0, 1000); });
    const bool forward = round % 2 == 0;
    if (forward)
      for (auto& arc : dag.arcs)
        if (arc.first > arc.second) std::swap(arc.first, arc.second);
    JobInstance inst = build(dag.jobs, dag.arcs);
    for (int crit : {CRIT_LO, CRIT_HI}) {
      SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit));
      const std::vector<int> orders[] = {mcjobs_detail::topologicalOrder(inst, crit),
                                         mcjobs_detail::compactTopologicalOrder(inst, crit)};
      for (const std::vector<int>& order : orders) {
        std::vector<int> place(static_cast<size_t>(n), -1);
        for (size_t k = 0; k < order.size(); ++k) place[order[k]] = static_cast<int>(k);
        EXPECT_EQ(order.size(), static_cast<size_t>(n));
        EXPECT_EQ(std::count(place.begin(), place.end(), -1), 0);
        for (int from = 0; from < n; ++from)
          for (int to : inst.getSuccessors(from, crit)) EXPECT_LT(place[from], place[to]);
      }
      if (forward) {
        for (int k = 0; k < n; ++k) EXPECT_EQ(orders[1][k], k);
      }
    }
  }
}

TEST(TopoOrder, RejectsUnknownLevel) {
  JobInstance inst = build({{0, 50, 1, 2, 2}});
  EXPECT_EQ(failedCheck([&] { mcjobs_detail::topologicalOrder(inst, 0); }),
            "crit==CRIT_LO || crit == CRIT_HI");
  EXPECT_EQ(failedCheck([&] { mcjobs_detail::compactTopologicalOrder(inst, 3); }),
            "crit==CRIT_LO || crit == CRIT_HI");
}

}  // namespace
