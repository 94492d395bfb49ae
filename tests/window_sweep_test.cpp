// The sweep behind window propagation: final windows and the first rejected
// change, against the pass as first defined over reachability the test finds.
#include "detail/window_sweep.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/builders.h"
#include "support/oracles.h"

namespace {

TEST(WindowSweep, RandomSqueezesMatchReferencePass) {
  std::mt19937 rng(8080);
  int rejected = 0;
  for (int round = 0; round < 300; ++round) {
    const SqueezeCase c = squeezeCase(rng, 30);
    // The sweep leaves arrivals below -1 to the pass over the transitive sets.
    if (c.oddJob >= 0 && c.oddKind == 1) continue;
    for (int crit : {CRIT_LO, CRIT_HI}) {
      SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(crit));
      const auto reach = reachability(c.dag.jobs, c.dag.arcs, crit);
      JobInstance inst = buildSqueezeCase(c);
      const std::vector<Job> jobs(inst.begin(), inst.end());
      const std::vector<std::string> before = jobLines(inst);
      for (bool raise : {true, false}) {
        const ReferencePass want = referencePass(jobs, reach, raise);
        const mcjobs_detail::SweepResult got = raise ? mcjobs_detail::sweepArrivals(inst, crit)
                                                     : mcjobs_detail::sweepDeadlines(inst, crit);
        EXPECT_EQ(got.rejected.job, want.failedJob);
        if (want.failedJob >= 0) {
          ++rejected;
          EXPECT_EQ(got.rejected.value, want.failedValue);
        } else {
          EXPECT_EQ(got.changes, want.changed);
          EXPECT_EQ(got.values, want.values);
        }
      }
      EXPECT_EQ(jobLines(inst), before);  // the sweep only reads
    }
  }
  EXPECT_GT(rejected, 200);
}

TEST(WindowSweep, RejectsUnknownLevel) {
  JobInstance inst = build({{0, 50, 1, 2, 2}});
  EXPECT_EQ(failedCheck([&] { mcjobs_detail::sweepArrivals(inst, 3); }),
            "crit==CRIT_LO || crit == CRIT_HI");
  EXPECT_EQ(failedCheck([&] { mcjobs_detail::sweepDeadlines(inst, 0); }),
            "crit==CRIT_LO || crit == CRIT_HI");
}

}  // namespace
