// The stress trace, byte for byte (a suite of its own: it switches the
// process-wide trace on).
#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "job.h"

namespace {

// J1: 0 10 LO 4/4 before J2: 0 10 HI 2/8.
JobInstance loBeforeHi() {
  JobInstance instance;
  Job lo;
  lo.initializeFromString("0 10 1 4 4");
  instance.insert(lo);
  Job hi;
  hi.initializeFromString("0 10 2 2 8");
  instance.insert(hi);
  instance.insert(Arc(0, 1));
  return instance;
}

const char* const kBefore =
    "[Propagate/modify] -- getLoad: Job instance before modification: -----\n"
    "J1 : id=0 (0, 10, 1, (4, 4))\n"
    "J2 : id=1 (0, 10, 2, (2, 8))\n"
    "( J1 J2 )\n";

class LoadTraceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { enforcePropDebug(); }
};

TEST_F(LoadTraceTest, PlainLoadShowsOnlyTheCopyBefore) {
  JobInstance instance = loBeforeHi();
  testing::internal::CaptureStdout();
  const double load = instance.getLoad(CRIT_LO, false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kBefore);
  EXPECT_EQ(load, 0.6);
}

TEST_F(LoadTraceTest, MixedLoadShowsTheRewrittenCopy) {
  JobInstance instance = loBeforeHi();
  testing::internal::CaptureStdout();
  const double load = instance.getLoad(CRIT_LO, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string(kBefore) +
                "[Propagate/modify] -- getLoad: Job instance after HI modification for MIXED load: "
                "-----\n"
                "J1 : id=0 (0, 10, 1, (4, 4))\n"
                "J2 : id=1 (0, 4, 2, (2, 8))\n"
                "( J1 J2 )\n");
  EXPECT_EQ(load, DBL_MAX);
}

TEST_F(LoadTraceTest, MixedAtHiFailsAfterTheFirstBlock) {
  JobInstance instance = loBeforeHi();
  testing::internal::CaptureStdout();
  std::string condition;
  try {
    instance.getLoad(CRIT_HI, true);
  } catch (const CheckError& error) {
    condition = error.condition();
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kBefore);
  EXPECT_EQ(condition, "mixed defined only for LO!");
}

}  // namespace
