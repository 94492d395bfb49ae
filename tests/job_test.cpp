// Job and arc records: their text lines, names and the job sanity check.
#include "job.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/oracles.h"

namespace {

Job jobFrom(const std::string& line) {
  Job job;
  EXPECT_TRUE(job.initializeFromString(line)) << line;
  return job;
}

TEST(JobRecord, DefaultsAndLine) {
  Job job;
  EXPECT_EQ(job.id, NO_JOB_ID);
  EXPECT_EQ(job.toString(), "-2147483648 -2147483648 -1 -2147483648 -2147483648");
  EXPECT_EQ(jobFrom("0 100 2 10 25").toString(), "0 100 2 10 25");
}

TEST(JobRecord, ParsesLikeScanf) {
  struct Row {
    std::string line;
    bool isJob;
    std::string fields;  // toString() after the parse
  };
  const std::vector<Row> rows = {
      {"0 100 2 10 25", true, "0 100 2 10 25"},
      {"  \t0   100 2 10 25 extra words", true, "0 100 2 10 25"},
      {"0 10 1 2 2\r\n", true, "0 10 1 2 2"},
      {"+3 -4 1 007 7", true, "3 -4 1 7 7"},
      {"1-2 3 4 5", true, "1 -2 3 4 5"},  // "%d %d" needs no blank between numbers
      {"( J1 J2 )", false, "-2147483648 -2147483648 -1 -2147483648 -2147483648"},
      {"", false, "-2147483648 -2147483648 -1 -2147483648 -2147483648"},
      {"1 2 3", false, "1 2 3 -2147483648 -2147483648"},
      {"1 2 x 4 5", false, "1 2 -1 -2147483648 -2147483648"},
      {"1 2 - 4 5", false, "1 2 -1 -2147483648 -2147483648"},
      {"-2147483648 2147483647 1 1 1", true, "-2147483648 2147483647 1 1 1"},
  };
  for (const Row& row : rows) {
    Job job;
    job.id = 5;
    EXPECT_EQ(job.initializeFromString(row.line), row.isJob) << row.line;
    EXPECT_EQ(job.toString(), row.fields) << row.line;
    EXPECT_EQ(job.id, NO_JOB_ID) << "the whole record is reset: " << row.line;
  }
}

TEST(JobRecord, OutOfRangeNumberIsAnErrorNotAWrappedValue) {
  for (const std::string line : {"0 4294967306 1 2 2", "0 10 1 2 2147483648",
                                 "-2147483649 10 1 2 2", "0 99999999999999999999999 1 1 1"}) {
    Job job;
    try {
      job.initializeFromString(line);
      ADD_FAILURE() << "accepted " << line;
    } catch (const CheckError& failure) {
      EXPECT_NE(std::string(failure.what()).find("out of the 32-bit range"), std::string::npos)
          << failure.what();
    }
  }
  Job job;
  try {
    job.initializeFromString("0 4294967306 1 2 2");
  } catch (const CheckError& failure) {
    EXPECT_EQ(std::string(failure.what()),
              "job line value out of the 32-bit range: deadline 4294967306");
  }
}

TEST(JobRecord, SanityCheckOrder) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"0 10 1 10 10", ""},
      {"0 10 2 5 10", ""},
      {"5 5 1 1 1", "deadline>arrival"},
      {"-1 10 1 5 5", "arrival>=0"},
      {"-1 -5 9 0 -3", "arrival>=0"},
      {"0 10 1 11 11", "density_lo <=1"},
      {"0 10 2 5 11", "density_hi <=1"},
      {"0 10 2 11 11", "density_lo <=1"},
      {"0 10 1 5 6", "hi_wcet==lo_wcet"},
      {"0 10 1 50 60", "hi_wcet==lo_wcet"},
      {"0 10 3 5 5", "criticality==CRIT_LO || criticality == CRIT_HI"},
      {"0 10 0 0 0", "criticality==CRIT_LO || criticality == CRIT_HI"},
      {"0 10 1 0 0", "lo_wcet>0"},
      {"0 10 2 5 4", "hi_wcet>=lo_wcet"},
      {"0 2147483647 2 2147483647 2147483647", ""},
  };
  for (const auto& row : rows) {
    const Job job = jobFrom(row.first);
    EXPECT_EQ(failedCheck([&] { job.sanity_check(); }), row.second) << row.first;
  }
}

TEST(JobRecord, WcetAndCriticalityWords) {
  const Job job = jobFrom("0 10 2 3 7");
  EXPECT_EQ(job.getWCET(CRIT_LO), 3);
  EXPECT_EQ(job.getWCET(CRIT_HI), 7);
  EXPECT_EQ(failedCheck([&] { job.getWCET(3); }), "criticality==CRIT_LO || criticality == CRIT_HI");
  EXPECT_EQ(Job::critStr(CRIT_LO), "LO");
  EXPECT_EQ(Job::critStr(CRIT_HI), "HI");
  EXPECT_EQ(Job::critStr(0), "BUG");
  EXPECT_EQ(Job::critStr(3), "BUG");
}

TEST(JobNames, BothWays) {
  EXPECT_EQ(Job::nameFromId(0), "J1");
  EXPECT_EQ(Job::nameFromId(41), "J42");
  EXPECT_EQ(Job::nameFromId(-1), "J0");
  EXPECT_EQ(Job::nameFromId(2147483647), "J2147483648");
  for (int id : {0, 1, 9, 99, 12345, 2147483646})
    EXPECT_EQ(Job::idFromName(Job::nameFromId(id)), id);

  const std::vector<std::pair<std::string, int>> accepted = {
      {"J1", 0}, {"J007", 6}, {"J3x", 2}, {"J+3", 2}, {"J 5", 4}, {"J2147483647", 2147483646}};
  for (const auto& row : accepted) EXPECT_EQ(Job::idFromName(row.first), row.second) << row.first;

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"j1", "Not a job name!"},
      {"K1", "Not a job name!"},
      {" J1", "Not a job name!"},
      {"J", "Not a job name!"},
      {"", "Not a job name!"},
      {"Jx1", "Not a job name!"},
      {"J0", "Name must have a strictly positive index!"},
      {"J-4", "Name must have a strictly positive index!"},
      {"J4294967297", "Job name index out of the 32-bit range: J4294967297"},
      {"J2147483648", "Job name index out of the 32-bit range: J2147483648"},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(failedCheck([&] { Job::idFromName(row.first); }), row.second) << row.first;
  }
}

TEST(ArcRecord, Line) {
  EXPECT_EQ(Arc(0, 1).toString(), "( J1 J2 )");
  EXPECT_EQ(Arc(0, 2).toString(), "( J1 J3 )");
  EXPECT_EQ(Arc().toString(), "( J0 J0 )");
  const Arc unchecked(-7, 123456);
  EXPECT_EQ(unchecked.from_id, -7);
  EXPECT_EQ(unchecked.to_id, 123456);
}

struct ArcRow {
  std::string line;
  bool accepted;
  int from;
  int to;
  std::string check;  // condition of a failed check, "" when the parse returns
};

TEST(ArcRecord, GrammarTable) {
  const std::vector<ArcRow> rows = {
      {"( J1 J2 )", true, 0, 1, ""},
      {"( J1 J2 )\n", true, 0, 1, ""},
      {"(J1 J2)", true, 0, 1, ""},
      {"( J1 J2)", true, 0, 1, ""},
      {"(J1 J2 )", true, 0, 1, ""},
      {"(J1,J2)", true, 0, 1, ""},
      {"( J1, J2 )", true, 0, 1, ""},
      {",( J1 J2 ),", true, 0, 1, ""},
      {"( J1 J2 ,)", true, 0, 1, ""},
      {"(\tJ1\tJ2\t)", true, 0, 1, ""},
      {"( J2 J1 )", true, 1, 0, ""},
      {"( J01 J2 )", true, 0, 1, ""},
      {"( J1x J2 )", true, 0, 1, ""},
      {"( J1 J2x)", true, 0, 1, ""},
      {"( J1 J2))", true, 0, 1, ""},
      {"( J1 J1 )", true, 0, 0, ""},
      {"", false, -1, -1, ""},
      {"\n", false, -1, -1, ""},
      {"   ", false, -1, -1, ""},
      {"(", false, -1, -1, ""},
      {"( J1", false, 0, -1, ""},
      {"( J1 J2", false, 0, 1, ""},
      {"J1 J2", false, -1, -1, ""},
      {"x( J1 J2 )", false, -1, -1, ""},
      {"0 10 1 2 2", false, -1, -1, ""},
      {"( J1 J2 J3 )", false, 0, 1, ""},
      {"( J1 J2 ))", false, 0, 1, ""},
      {"( J1 J2 ) )", false, 0, 1, ""},
      {"( J1 J2 ) # note", false, 0, 1, ""},
      {"( J1 J2 )\r\n", false, 0, 1, ""},
      {"(J1 J2)\r\n", false, 0, 1, ""},
      {"(J1J2)", false, 0, -1, ""},
      {"( J1 )", false, 0, 0, "Not a job name!"},
      {"()", false, 0, 0, "Not a job name!"},
      {"( j1 J2 )", false, 0, 0, "Not a job name!"},
      {"( J 1 J2 )", false, 0, 0, "Not a job name!"},
      {"((J1 J2)", false, 0, 0, "Not a job name!"},
      {"( (J1 J2 )", false, 0, 0, "Not a job name!"},
      {"( J0 J1 )", false, 0, 0, "Name must have a strictly positive index!"},
      {"( J-1 J2 )", false, 0, 0, "Name must have a strictly positive index!"},
  };
  for (const ArcRow& row : rows) {
    const std::string original = row.line;
    std::string line = row.line;
    Arc arc(77, 77);
    if (!row.check.empty()) {
      EXPECT_EQ(failedCheck([&] { arc.initializeFromString(line); }), row.check) << row.line;
    } else {
      EXPECT_EQ(arc.initializeFromString(line), row.accepted) << row.line;
      EXPECT_EQ(arc.from_id, row.from) << row.line;
      EXPECT_EQ(arc.to_id, row.to) << row.line;
    }
    EXPECT_EQ(line, original) << "the caller's text is never changed";
  }
}

TEST(ArcRecord, RoundTripsItsOwnLine) {
  for (int a : {0, 1, 9, 10, 99, 4095, 2147483646}) {
    for (int b : {0, 3, 64, 1000000, 2147483646}) {
      Arc arc;
      ASSERT_TRUE(arc.initializeFromString(Arc(a, b).toString()));
      EXPECT_EQ(arc.from_id, a);
      EXPECT_EQ(arc.to_id, b);
    }
  }
}

}  // namespace
