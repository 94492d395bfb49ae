// The job list and the dependency dump, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "job.h"

namespace {

Job makeJob(int arrival, int deadline, int criticality, int lo, int hi) {
  Job job;
  job.arrival = arrival;
  job.deadline = deadline;
  job.criticality = criticality;
  job.lo_wcet = lo;
  job.hi_wcet = hi;
  return job;
}

// Everything written to fd 1 while `body` runs, printf and iostream alike.
template <typename Body>
std::string stdoutOf(Body body) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

// J1 (LO) -> J2 (HI) -> J3 (HI), and J4 (HI) alone.
JobInstance workedExample() {
  JobInstance inst;
  inst.insert(makeJob(0, 10, CRIT_LO, 2, 2));
  inst.insert(makeJob(0, 20, CRIT_HI, 3, 5));
  inst.insert(makeJob(5, 30, CRIT_HI, 4, 6));
  inst.insert(makeJob(0, 40, CRIT_HI, 1, 3));
  inst.insert(Arc(0, 1));
  inst.insert(Arc(1, 2));
  return inst;
}

TEST(JobPrint, FormatsEveryField) {
  Job job = makeJob(0, 20, CRIT_HI, 3, 5);
  job.id = 9;
  EXPECT_EQ(stdoutOf([&] { job.print(); }), "J10 : id=9 (0, 20, 2, (3, 5))\n");
  EXPECT_EQ(stdoutOf([] { Job().print(); }),
            "J0 : id=-1 (-2147483648, -2147483648, -1, (-2147483648, -2147483648))\n");
}

TEST(PrintJobs, WorkedExample) {
  JobInstance inst = workedExample();
  EXPECT_EQ(stdoutOf([&] { inst.print_jobs(); }),
            "J1 : id=0 (0, 10, 1, (2, 2))\n"
            "J2 : id=1 (0, 20, 2, (3, 5))\n"
            "J3 : id=2 (5, 30, 2, (4, 6))\n"
            "J4 : id=3 (0, 40, 2, (1, 3))\n"
            "( J1 J2 )\n"
            "( J2 J3 )\n");
}

TEST(PrintJobs, EmptyAndArclessInstances) {
  JobInstance empty;
  EXPECT_EQ(stdoutOf([&] { empty.print_jobs(); }), "");
  JobInstance arcless;
  arcless.insert(makeJob(1, 9, CRIT_LO, 1, 1));
  EXPECT_EQ(stdoutOf([&] { arcless.print_jobs(); }), "J1 : id=0 (1, 9, 1, (1, 1))\n");
}

// printf output and stream output share fd 1 and must keep their order.
TEST(PrintJobs, PrintfAndStreamStayInStep) {
  JobInstance inst = workedExample();
  const std::string out = stdoutOf([&] {
    std::cout << "before" << std::endl;
    inst.print_jobs();
    std::cout << "between" << std::endl;
    inst.job_at(3)->print();
    std::cout << "after" << std::endl;
    inst.print_jobs();
  });
  const std::string jobs =
      "J1 : id=0 (0, 10, 1, (2, 2))\n"
      "J2 : id=1 (0, 20, 2, (3, 5))\n"
      "J3 : id=2 (5, 30, 2, (4, 6))\n"
      "J4 : id=3 (0, 40, 2, (1, 3))\n"
      "( J1 J2 )\n"
      "( J2 J3 )\n";
  EXPECT_EQ(out, "before\n" + jobs + "between\nJ4 : id=3 (0, 40, 2, (1, 3))\nafter\n" + jobs);
}

TEST(DumpDependencies, WorkedExample) {
  JobInstance inst = workedExample();
  EXPECT_EQ(stdoutOf([&] { inst.dumpDependencies(); }),
            "Job: J1\n"
            "\tSuccessors [LO ] :J2 \n"
            "\tTrans Successors [LO ] :J2 J3 \n"
            "\tPredecessors [LO ] :\n"
            "\tTrans Predecessors [LO ] :\n"
            "\n"
            "Job: J2\n"
            "\tSuccessors [LO ] :J3 \n"
            "\tTrans Successors [LO ] :J3 \n"
            "\tPredecessors [LO ] :J1 \n"
            "\tTrans Predecessors [LO ] :J1 \n"
            "\n"
            "\tSuccessors [HI ] :J3 \n"
            "\tTrans Successors [HI ] :J3 \n"
            "\tPredecessors [HI ] :\n"
            "\tTrans Predecessors [HI ] :\n"
            "\n"
            "Job: J3\n"
            "\tSuccessors [LO ] :\n"
            "\tTrans Successors [LO ] :\n"
            "\tPredecessors [LO ] :J2 \n"
            "\tTrans Predecessors [LO ] :J1 J2 \n"
            "\n"
            "\tSuccessors [HI ] :\n"
            "\tTrans Successors [HI ] :\n"
            "\tPredecessors [HI ] :J2 \n"
            "\tTrans Predecessors [HI ] :J2 \n"
            "\n"
            "Job: J4\n"
            "\t[LO]: not connected \n"
            "\n"
            "\t[HI]: not connected \n"
            "\n");
}

TEST(DumpDependencies, EmptyInstanceWritesNothing) {
  JobInstance inst;
  EXPECT_EQ(stdoutOf([&] { inst.dumpDependencies(); }), "");
}

// A HI job linked only to LO jobs is connected at LO and not at HI.
TEST(DumpDependencies, HiJobLinkedOnlyThroughLoJobs) {
  JobInstance inst;
  inst.insert(makeJob(0, 10, CRIT_LO, 1, 1));
  inst.insert(makeJob(0, 10, CRIT_HI, 1, 2));
  inst.insert(Arc(0, 1));
  const std::string out = stdoutOf([&] { inst.dumpDependencies(); });
  const std::string second = out.substr(out.find("Job: J2\n"));
  EXPECT_EQ(second,
            "Job: J2\n"
            "\tSuccessors [LO ] :\n"
            "\tTrans Successors [LO ] :\n"
            "\tPredecessors [LO ] :J1 \n"
            "\tTrans Predecessors [LO ] :J1 \n"
            "\n"
            "\t[HI]: not connected \n"
            "\n");
}

// Members are listed by ascending id, not by the text of their names.
TEST(DumpDependencies, MembersInAscendingIdOrder) {
  JobInstance inst;
  for (int i = 0; i < 10; ++i) inst.insert(makeJob(0, 10, CRIT_LO, 1, 1));
  inst.insert(Arc(0, 9));
  inst.insert(Arc(0, 1));
  const std::string out = stdoutOf([&] { inst.dumpDependencies(); });
  EXPECT_EQ(out.substr(0, out.find("\n\n") + 2),
            "Job: J1\n"
            "\tSuccessors [LO ] :J2 J10 \n"
            "\tTrans Successors [LO ] :J2 J10 \n"
            "\tPredecessors [LO ] :\n"
            "\tTrans Predecessors [LO ] :\n"
            "\n");
}

}  // namespace
