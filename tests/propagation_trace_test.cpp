// The propagation trace. Once switched on it stays on for the whole process,
// so these tests live in a program of their own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "job.h"
#include "support/builders.h"
#include "support/oracles.h"

namespace {

// Redirects fd 1 to a temporary file. contents() reads what has reached the
// file so far without flushing stdio, so it shows only what the code under
// test has already pushed out.
class FdCapture {
 public:
  FdCapture() {
    std::fflush(stdout);
    saved_ = dup(1);
    file_ = std::tmpfile();
    dup2(fileno(file_), 1);
  }
  ~FdCapture() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    std::fclose(file_);
  }
  FdCapture(const FdCapture&) = delete;
  FdCapture& operator=(const FdCapture&) = delete;

  std::string contents() const {
    std::string out;
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
      const ssize_t got = pread(fileno(file_), buffer, sizeof buffer, offset);
      if (got <= 0) break;
      out.append(buffer, (got));
      offset += got;
    }
    return out;
  }

 private:
  int saved_;
  FILE* file_;
};

class PropagationTrace : public testing::Test {
 protected:
  void SetUp() override { enforcePropDebug(); }
};

TEST_F(PropagationTrace, SwitchIsOn) {
  EXPECT_TRUE(propDebug());
}

TEST_F(PropagationTrace, ArrivalChangeAndClosingBlock) {
  JobInstance inst =
      build({{5, 40, 1, 3, 3}, {0, 40, 1, 4, 4}, {8, 40, 1, 2, 2}}, {{0, 1}, {1, 2}});
  FdCapture capture;
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  std::fflush(stdout);
  EXPECT_EQ(capture.contents(),
            "[Propagate Arrival] J1: 5 40 1 3 3 ---> J2: 0 40 1 4 4\n"
            "[Propagate Arrival] \t\t=> J2: 5 40 1 4 4\n"
            "[Propagate Arrival] --- Finished: -----\n"
            "J1 : id=0 (5, 40, 1, (3, 3))\n"
            "J2 : id=1 (5, 40, 1, (4, 4))\n"
            "J3 : id=2 (8, 40, 1, (2, 2))\n"
            "( J1 J2 )\n"
            "( J2 J3 )\n"
            "[Propagate Arrival]  ----------------\n");
}

TEST_F(PropagationTrace, JobRaisedTwiceIsTracedTwice) {
  JobInstance inst =
      build({{5, 40, 1, 3, 3}, {8, 40, 1, 4, 4}, {0, 40, 1, 2, 2}}, {{0, 1}, {1, 2}});
  FdCapture capture;
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  std::fflush(stdout);
  EXPECT_EQ(capture.contents(),
            "[Propagate Arrival] J1: 5 40 1 3 3 ---> J3: 0 40 1 2 2\n"
            "[Propagate Arrival] \t\t=> J3: 5 40 1 2 2\n"
            "[Propagate Arrival] J2: 8 40 1 4 4 ---> J3: 5 40 1 2 2\n"
            "[Propagate Arrival] \t\t=> J3: 8 40 1 2 2\n"
            "[Propagate Arrival] --- Finished: -----\n"
            "J1 : id=0 (5, 40, 1, (3, 3))\n"
            "J2 : id=1 (8, 40, 1, (4, 4))\n"
            "J3 : id=2 (8, 40, 1, (2, 2))\n"
            "( J1 J2 )\n"
            "( J2 J3 )\n"
            "[Propagate Arrival]  ----------------\n");
}

TEST_F(PropagationTrace, DeadlineChangesAndClosingBlock) {
  JobInstance inst =
      build({{0, 50, 1, 2, 2}, {0, 40, 1, 2, 2}, {0, 30, 1, 2, 2}}, {{0, 1}, {1, 2}});
  FdCapture capture;
  EXPECT_TRUE(inst.propagate_deadlines(CRIT_LO));
  std::fflush(stdout);
  EXPECT_EQ(capture.contents(),
            "[Propagate Deadline] J2: 0 40 1 2 2 ---> J1: 0 50 1 2 2\n"
            "[Propagate Deadline] \t\t=> J1: 0 40 1 2 2\n"
            "[Propagate Deadline] J3: 0 30 1 2 2 ---> J1: 0 40 1 2 2\n"
            "[Propagate Deadline] \t\t=> J1: 0 30 1 2 2\n"
            "[Propagate Deadline] J3: 0 30 1 2 2 ---> J2: 0 40 1 2 2\n"
            "[Propagate Deadline] \t\t=> J2: 0 30 1 2 2\n"
            "[Propagate Deadline] --- Finished: -----\n"
            "J1 : id=0 (0, 30, 1, (2, 2))\n"
            "J2 : id=1 (0, 30, 1, (2, 2))\n"
            "J3 : id=2 (0, 30, 1, (2, 2))\n"
            "( J1 J2 )\n"
            "( J2 J3 )\n"
            "[Propagate Deadline] -------------------\n");
}

// The closing block needs a change: without one nothing at all is written.
TEST_F(PropagationTrace, SilentWithoutChange) {
  JobInstance inst =
      build({{6, 50, 2, 2, 4}, {0, 50, 1, 2, 2}, {0, 50, 2, 2, 4}}, {{0, 1}, {1, 2}});
  FdCapture capture;
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_HI));
  EXPECT_FALSE(inst.propagate_deadlines(CRIT_LO));
  EXPECT_TRUE(inst.propagate_arrivals(CRIT_LO));
  const std::string first = (std::fflush(stdout), capture.contents());
  EXPECT_FALSE(inst.propagate_arrivals(CRIT_LO));
  std::fflush(stdout);
  EXPECT_EQ(capture.contents(), first);
}

// The offending change is on fd 1 when the exception leaves, ahead of any
// stdio flush the caller might do.
TEST_F(PropagationTrace, FailingArrivalChangeIsTracedBeforeTheException) {
  JobInstance inst = build({{30, 40, 1, 5, 5}, {0, 32, 1, 4, 4}}, {{0, 1}});
  FdCapture capture;
  try {
    inst.propagate_arrivals(CRIT_LO);
    ADD_FAILURE() << "no exception";
  } catch (const CheckError& error) {
    EXPECT_STREQ(error.what(), "density_lo <=1");
    EXPECT_EQ(capture.contents(),
              "[Propagate Arrival] J1: 30 40 1 5 5 ---> J2: 0 32 1 4 4\n"
              "[Propagate Arrival] \t\t=> J2: 30 32 1 4 4\n");
  }
}

TEST_F(PropagationTrace, FailingDeadlineChangeIsTracedBeforeTheException) {
  JobInstance inst = build({{0, 40, 1, 5, 5}, {0, 3, 1, 2, 2}}, {{0, 1}});
  FdCapture capture;
  try {
    inst.propagate_deadlines(CRIT_LO);
    ADD_FAILURE() << "no exception";
  } catch (const CheckError& error) {
    EXPECT_STREQ(error.what(), "density_lo <=1");
    EXPECT_EQ(capture.contents(),
              "[Propagate Deadline] J2: 0 3 1 2 2 ---> J1: 0 40 1 5 5\n"
              "[Propagate Deadline] \t\t=> J1: 0 3 1 5 5\n");
  }
}

// With the trace on, the pass over the transitive sets runs as such; a job
// raised twice and then squeezed is traced three times, yet the failure
// leaves every window as it was before the call.
TEST_F(PropagationTrace, FailedTracedPassLeavesInstanceUnchanged) {
  JobInstance inst =
      build({{5, 40, 1, 3, 3}, {20, 40, 1, 4, 4}, {30, 40, 1, 2, 2}, {0, 33, 1, 4, 4}},
            {{0, 3}, {1, 3}, {2, 3}});
  const std::vector<std::string> before = jobLines(inst);
  FdCapture capture;
  EXPECT_EQ(failedCheck([&] { inst.propagate_arrivals(CRIT_LO); }), "density_lo <=1");
  EXPECT_EQ(capture.contents(),
            "[Propagate Arrival] J1: 5 40 1 3 3 ---> J4: 0 33 1 4 4\n"
            "[Propagate Arrival] \t\t=> J4: 5 33 1 4 4\n"
            "[Propagate Arrival] J2: 20 40 1 4 4 ---> J4: 5 33 1 4 4\n"
            "[Propagate Arrival] \t\t=> J4: 20 33 1 4 4\n"
            "[Propagate Arrival] J3: 30 40 1 2 2 ---> J4: 20 33 1 4 4\n"
            "[Propagate Arrival] \t\t=> J4: 30 33 1 4 4\n");
  EXPECT_EQ(jobLines(inst), before);
}

// The environment counts only at the first query, and only by its presence.
// Each death-test child re-runs this program from the start, so its first
// query is the one inside the statement.
TEST(PropagationSwitchEnvironment, ReadOnceAtFirstQuery) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("MCS_DEBUG_PROP", "", 1);
        const bool on = propDebug();
        unsetenv("MCS_DEBUG_PROP");
        std::exit(on && propDebug() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        unsetenv("MCS_DEBUG_PROP");
        const bool off = !propDebug();
        setenv("MCS_DEBUG_PROP", "1", 1);
        const bool stillOff = !propDebug();
        enforcePropDebug();
        std::exit(off && stillOff && propDebug() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
