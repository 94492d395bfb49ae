// Runs the built dilateJobs and checks its exact output, status and files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/scratch_fixture.h"
#include "support/tool_runner.h"

namespace {

using testfiles::exists;
using testfiles::readFile;

const std::string kTool = MCJOBS_DILATEJOBS;

using Outcome = testtools::RunResult;

class DilateJobsCli : public ScratchDirTest {
 protected:
  // Runs the tool with `args` (argv[0] is the tool path). A non-zero
  // `fileSizeLimit` caps the size of the files it may write.
  static Outcome run(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
    std::vector<std::string> argv{kTool};
    argv.insert(argv.end(), args.begin(), args.end());
    testtools::RunOptions options;
    options.fileSizeLimit = fileSizeLimit;
    return testtools::runProgram(argv, options);
  }
};

const std::string kUsage = "\n-------------------\n/dilateJobs\n-------------------\n\nUsage: \n" +
                           kTool + " instance_filename  scale_factor output_filename\n\n\n";

const std::string kInput = "2 10 2 3 5\n0 20 1 4 4\n0 30 2 1 9\n( J3 J2 )\n(J1,J2)\n( J1 J3 )\n";

TEST_F(DilateJobsCli, WrongArgumentCountPrintsTheUsageBanner) {
  const std::vector<std::vector<std::string>> cases = {{},
                                                       {"in.txt"},
                                                       {"in.txt", ""},
                                                       {"in.txt", "3"},
                                                       {"in.txt", "3", "out.txt", ""},
                                                       {"a", "3", "b", "c", "d"}};
  for (const auto& args : cases) {
    const Outcome result = run(args);
    EXPECT_EQ(result.status, 1) << args.size() << " arguments";
    EXPECT_EQ(result.err, kUsage) << args.size() << " arguments";
    EXPECT_EQ(result.out, "") << args.size() << " arguments";
  }
}

TEST_F(DilateJobsCli, BadScaleIsAParseError) {
  const std::string in = mDir.write("in.txt", kInput);
  for (const std::string scale : {"abc", "2.5", "3x", "", "2147483648", "-1", " 3", "+", "-",
                                  "0x10", "99999999999999999999"}) {
    const Outcome result = run({in, scale, mDir.file("out.txt")});
    EXPECT_EQ(result.status, 2) << "'" << scale << "'";
    EXPECT_EQ(result.err, "Parse error for scale\n") << "'" << scale << "'";
    EXPECT_EQ(result.out, "") << "'" << scale << "'";
    EXPECT_FALSE(exists(mDir.file("out.txt"))) << "'" << scale << "'";
  }
}

TEST_F(DilateJobsCli, ScalesEveryTimeAndWritesCanonicalForm) {
  const std::string in = mDir.write("in.txt", kInput);
  const std::string out = mDir.file("out.txt");
  struct Row {
    std::string scale;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"3", "6 30 2 9 15\n0 60 1 12 12\n0 90 2 3 27\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"},
      {"1", "2 10 2 3 5\n0 20 1 4 4\n0 30 2 1 9\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"},
      {"+2", "4 20 2 6 10\n0 40 1 8 8\n0 60 2 2 18\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"},
      {"-0", "0 0 2 0 0\n0 0 1 0 0\n0 0 2 0 0\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"},
      {"0", "0 0 2 0 0\n0 0 1 0 0\n0 0 2 0 0\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"},
      {"71582788",
       "143165576 715827880 2 214748364 357913940\n0 1431655760 1 286331152 286331152\n"
       "0 2147483640 2 71582788 644245092\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"},
  };
  for (const Row& row : rows) {
    testfiles::writeFile(out, std::string(10000, 'x'));
    const Outcome result = run({in, row.scale, out});
    EXPECT_EQ(result.status, 0) << row.scale;
    EXPECT_EQ(result.out, "Scaled instance written to " + out + "\n") << row.scale;
    EXPECT_EQ(result.err, "") << row.scale;
    EXPECT_EQ(readFile(out), row.expected) << row.scale;
  }
}

// Every bundled example scales without loss: the output is the input with the
// four time fields multiplied and the arcs in canonical order.
TEST_F(DilateJobsCli, ScalesTheBundledExamples) {
  for (const char* name : {"avionics.txt", "video-pipeline.txt", "flight-control.txt"}) {
    const std::string in = std::string(MCJOBS_EXAMPLES_DIR) + "/" + name;
    const Outcome once = run({in, "1", mDir.file("x1.txt")});
    ASSERT_EQ(once.status, 0) << name << once.err;
    EXPECT_EQ(readFile(mDir.file("x1.txt")), readFile(in)) << name << " is not in canonical form";

    const Outcome scaled = run({in, "7", mDir.file("x7.txt")});
    ASSERT_EQ(scaled.status, 0) << name << scaled.err;
    std::string expected;
    std::istringstream lines(readFile(in));
    for (std::string line; std::getline(lines, line);) {
      long a, d, c, lo, hi;
      if (std::sscanf(line.c_str(), "%ld %ld %ld %ld %ld", &a, &d, &c, &lo, &hi) == 5) {
        expected += std::to_string(7 * a) + " " + std::to_string(7 * d) + " " + std::to_string(c) +
                    " " + std::to_string(7 * lo) + " " + std::to_string(7 * hi) + "\n";
      } else {
        expected += line + "\n";
      }
    }
    EXPECT_EQ(readFile(mDir.file("x7.txt")), expected) << name;
  }
}

TEST_F(DilateJobsCli, MissingInputTouchesNoOutput) {
  const std::string in = mDir.file("missing.txt");
  const Outcome fresh = run({in, "3", mDir.file("out.txt")});
  EXPECT_EQ(fresh.status, 3);
  EXPECT_EQ(fresh.err, "dilateJobs: " + in + ": " + std::strerror(ENOENT) + "\n");
  EXPECT_EQ(fresh.out, "");
  EXPECT_FALSE(exists(mDir.file("out.txt")));

  const std::string out = mDir.write("out.txt", "previous\n");
  struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, out.c_str(), times, 0), 0);
  EXPECT_EQ(run({in, "3", out}).status, 3);
  struct stat status {};
  ASSERT_EQ(::stat(out.c_str(), &status), 0);
  EXPECT_EQ(status.st_mtim.tv_sec, 1000000);
  EXPECT_EQ(readFile(out), "previous\n");
}

TEST_F(DilateJobsCli, ProductBeyond32BitsNamesJobAndField) {
  struct Row {
    std::string input;
    std::string scale;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"0 1000 1 1 1\n", "2147484", "scaling J1 by 2147484: deadline 1000 leaves the 32-bit range"},
      {"0 2 1 1 1\n0 3 2 1 3\n", "1000000000",
       "scaling J2 by 1000000000: deadline 3 leaves the 32-bit range"},
      {"0 10 1 1 1\n5 7 1 1 1\n( J1 J2 )\n", "429496730",
       "scaling J1 by 429496730: deadline 10 leaves the 32-bit range"},
      {"3 4 1 1 1\n", "715827883", "scaling J1 by 715827883: deadline 4 leaves the 32-bit range"},
  };
  for (const Row& row : rows) {
    const std::string out = mDir.write("out.txt", "previous\n");
    const Outcome result = run({mDir.write("in.txt", row.input), row.scale, out});
    EXPECT_EQ(result.status, 3) << row.message;
    EXPECT_EQ(result.err, "dilateJobs: " + row.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(readFile(out), "previous\n");
  }
}

TEST_F(DilateJobsCli, WriteFailuresKeepThePreviousOutput) {
  const std::string in = mDir.write("in.txt", kInput);

  const Outcome full = run({in, "3", "/dev/full"});
  EXPECT_EQ(full.status, 3);
  EXPECT_EQ(full.err, std::string("dilateJobs: /dev/full: cannot write file: ") +
                          std::strerror(ENOSPC) + "\n");
  EXPECT_EQ(full.out, "");

  // A file size limit cuts the write short.
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "100 2000 2 30 50\n";
  const std::string bigIn = mDir.write("big.txt", big);
  const std::string out = mDir.write("out.txt", "previous\n");
  const Outcome cut = run({bigIn, "3", out}, 8192);
  EXPECT_EQ(cut.status, 3);
  EXPECT_EQ(cut.err, "dilateJobs: " + out + ": cannot write file: " + std::strerror(EFBIG) + "\n");
  EXPECT_EQ(cut.out, "");
  EXPECT_EQ(readFile(out), "previous\n");
  EXPECT_EQ(testfiles::listDirectory(mDir.path()).size(), 3u) << "a temporary file was left behind";

  testfiles::ScratchDir locked;
  const std::string target = locked.write("out.txt", "previous\n");
  testfiles::LockedDir lock(locked.path());
  if (!lock.ok()) GTEST_SKIP() << "cannot lock a directory here";
  const Outcome refused = run({in, "3", target});
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.err.rfind("dilateJobs: " + target + ": cannot create file: ", 0), 0u)
      << refused.err;
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(readFile(target), "previous\n");
}

TEST_F(DilateJobsCli, WritesToAStreamThatCannotBeReplaced) {
  const Outcome result = run({mDir.write("in.txt", kInput), "1", "/dev/stdout"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "2 10 2 3 5\n0 20 1 4 4\n0 30 2 1 9\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"
            "Scaled instance written to /dev/stdout\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(DilateJobsCli, ReadingADirectoryIsAReadError) {
  const Outcome result = run({mDir.path(), "3", mDir.file("out.txt")});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err,
            "dilateJobs: " + mDir.path() + ":1: read error: " + std::strerror(EISDIR) + "\n");
  EXPECT_FALSE(exists(mDir.file("out.txt")));
}

TEST_F(DilateJobsCli, LongLinesAreReadWhole) {
  const std::string input = "0 10 1 2 2" + std::string(1100, ' ') + "\n0 20 2 3 6" +
                            std::string(5000, '\t') + "\n(" + std::string(2000, ' ') + "J1" +
                            std::string(2000, ',') + "J2)\n";
  const Outcome result = run({mDir.write("in.txt", input), "2", mDir.file("out.txt")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(mDir.file("out.txt")), "0 20 1 4 4\n0 40 2 6 12\n( J1 J2 )\n");
}

TEST_F(DilateJobsCli, FatalChecksNameFileLineAndCondition) {
  struct Row {
    std::string input;
    std::string where;
  };
  const std::string readError = " (success && \"Job instance read error!\")";
  const std::string cycle = " (Cyclic path in task graph!)";
  const std::vector<Row> rows = {
      {"0 10 1 2 2\n\n", "2: blank line; blank lines are not allowed" + readError},
      {"0 10 1 2 2\n( J1 J1 )\n", "2: the arc ( J1 J1 ) makes a job precede itself" + cycle},
      {"0 10 1 2 2\n0 10 1 2 2\n0 10 1 2 2\n( J1 J2 )\n( J2 J3 )\n( J1 J3 )\n( J3 J1 )\n",
       "7: the arc ( J3 J1 ) would close a cycle: J1 already precedes J3" + cycle},
      {"0 10 1 2 2\n10 5 2 1 1\n",
       "2: J2: the deadline 5 is not after the arrival 10 (deadline>arrival)"},
      {"0 10 3 2 2\n",
       "1: J1: the criticality 3 is neither 1 (LO) nor 2 (HI) (criticality==CRIT_LO || "
       "criticality == CRIT_HI)"},
      {"0 10 2 5 11\n",
       "1: J1: the HI execution time 11 does not fit in the window [0, 10] of length 10 "
       "(density_hi <=1)"},
      {"0 10 1 2 2\n( J1 J9 )\n",
       "2: arc names job J9, but the file has 1 job (to_id >=0 && to_id < numJobs())"},
      {"0 10 1 2 2\n( J1 )\n",
       "2: a job name is missing (J followed by a positive number) (Not a job name!)"},
      {"0 10 1 2 2\n( J-4 J1 )\n",
       "2: 'J-4' is not a job name; job names start at J1 (Name must have a strictly positive "
       "index!)"},
      {"0 10 1 2 2\r\n0 20 2 3 6\r\n( J1 J2 )\r\n",
       "3: Windows line endings (CRLF) are not supported; convert the file with dos2unix" +
           readError},
      {"0 10 1 2 2\n( J1 J2 ) # note\n",
       "2: the line is neither a job line ('arrival deadline criticality lo_wcet hi_wcet') nor "
       "an arc line ('( Jf Jt )')" +
           readError},
      {"\xef\xbb\xbf"
       "0 10 1 2 2\n",
       "1: the file starts with a UTF-8 byte order mark (BOM), which is not supported; remove "
       "it" +
           readError},
      {"0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )\n5 20 1 1 1\n",
       "4: a job line after the arc lines; all job lines must come first" + readError},
      {"0 " + std::string(2000000, '9') + " 1 1 1\n",
       "1: job line value out of the 32-bit range: deadline " + std::string(77, '9') + "..."},
  };
  const std::string in = mDir.file("in.txt");
  const std::string out = mDir.file("out.txt");
  for (const Row& row : rows) {
    testfiles::writeFile(in, row.input);
    const Outcome result = run({in, "3", out});
    EXPECT_EQ(result.status, 3) << row.where;
    EXPECT_EQ(result.err, "dilateJobs: " + in + ":" + row.where + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(exists(out)) << row.where;
  }
}

}  // namespace
