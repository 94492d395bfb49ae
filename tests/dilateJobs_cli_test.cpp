// Runs the built dilateJobs and checks its exact output, status and files.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

using testfiles::exists;
using testfiles::readFile;
using testfiles::ScratchDir;

const std::string kTool = DILATEJOBS_PATH;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool with `args` (argv[0] is the tool path). A non-zero
// `fileSizeLimit` caps the size of the files it may write.
Outcome run(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(kTool.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  int outPipe[2], errPipe[2];
  Outcome result;
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return result;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (fileSizeLimit != 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit {
        fileSizeLimit, fileSizeLimit
      };
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(count));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

const std::string kUsage = "\n-------------------\n/dilateJobs\n-------------------\n\nUsage: \n" +
                           kTool + " instance_filename  scale_factor output_filename\n\n\n";

const std::string kInput = "2 10 2 3 5\n0 20 1 4 4\n0 30 2 1 9\n( J3 J2 )\n(J1,J2)\n( J1 J3 )\n";

TEST(DilateJobsCli, WrongArgumentCountPrintsTheUsageBanner) {
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

TEST(DilateJobsCli, BadScaleIsAParseError) {
  ScratchDir dir;
  const std::string in = dir.write("in.txt", kInput);
  for (const std::string scale : {"abc", "2.5", "3x", "", "2147483648", "-1", " 3", "+", "-",
                                  "0x10", "99999999999999999999"}) {
    const Outcome result = run({in, scale, dir.file("out.txt")});
    EXPECT_EQ(result.status, 2) << "'" << scale << "'";
    EXPECT_EQ(result.err, "Parse error for scale\n") << "'" << scale << "'";
    EXPECT_EQ(result.out, "") << "'" << scale << "'";
    EXPECT_FALSE(exists(dir.file("out.txt"))) << "'" << scale << "'";
  }
}

TEST(DilateJobsCli, ScalesEveryTimeAndWritesCanonicalForm) {
  ScratchDir dir;
  const std::string in = dir.write("in.txt", kInput);
  const std::string out = dir.file("out.txt");
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
TEST(DilateJobsCli, ScalesTheBundledExamples) {
  ScratchDir dir;
  for (const char* name : {"avionics.txt", "video-pipeline.txt", "flight-control.txt"}) {
    const std::string in = std::string(MCJOBS_EXAMPLES_DIR) + "/" + name;
    const Outcome once = run({in, "1", dir.file("x1.txt")});
    ASSERT_EQ(once.status, 0) << name << once.err;
    EXPECT_EQ(readFile(dir.file("x1.txt")), readFile(in)) << name << " is not in canonical form";

    const Outcome scaled = run({in, "7", dir.file("x7.txt")});
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
    EXPECT_EQ(readFile(dir.file("x7.txt")), expected) << name;
  }
}

TEST(DilateJobsCli, MissingInputTouchesNoOutput) {
  ScratchDir dir;
  const std::string in = dir.file("missing.txt");
  const Outcome fresh = run({in, "3", dir.file("out.txt")});
  EXPECT_EQ(fresh.status, 3);
  EXPECT_EQ(fresh.err, "dilateJobs: " + in + ": " + std::strerror(ENOENT) + "\n");
  EXPECT_EQ(fresh.out, "");
  EXPECT_FALSE(exists(dir.file("out.txt")));

  const std::string out = dir.write("out.txt", "previous\n");
  struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, out.c_str(), times, 0), 0);
  EXPECT_EQ(run({in, "3", out}).status, 3);
  struct stat status {};
  ASSERT_EQ(::stat(out.c_str(), &status), 0);
  EXPECT_EQ(status.st_mtim.tv_sec, 1000000);
  EXPECT_EQ(readFile(out), "previous\n");
}

TEST(DilateJobsCli, ProductBeyond32BitsNamesJobAndField) {
  ScratchDir dir;
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
    const std::string out = dir.write("out.txt", "previous\n");
    const Outcome result = run({dir.write("in.txt", row.input), row.scale, out});
    EXPECT_EQ(result.status, 3) << row.message;
    EXPECT_EQ(result.err, "dilateJobs: " + row.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(readFile(out), "previous\n");
  }
}

TEST(DilateJobsCli, WriteFailuresKeepThePreviousOutput) {
  ScratchDir dir;
  const std::string in = dir.write("in.txt", kInput);

  const Outcome full = run({in, "3", "/dev/full"});
  EXPECT_EQ(full.status, 3);
  EXPECT_EQ(full.err, std::string("dilateJobs: /dev/full: cannot write file: ") +
                          std::strerror(ENOSPC) + "\n");
  EXPECT_EQ(full.out, "");

  // A file size limit cuts the write short.
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "100 2000 2 30 50\n";
  const std::string bigIn = dir.write("big.txt", big);
  const std::string out = dir.write("out.txt", "previous\n");
  const Outcome cut = run({bigIn, "3", out}, 8192);
  EXPECT_EQ(cut.status, 3);
  EXPECT_EQ(cut.err, "dilateJobs: " + out + ": cannot write file: " + std::strerror(EFBIG) + "\n");
  EXPECT_EQ(cut.out, "");
  EXPECT_EQ(readFile(out), "previous\n");
  EXPECT_EQ(testfiles::listDirectory(dir.path()).size(), 3u) << "a temporary file was left behind";

  ScratchDir locked;
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

TEST(DilateJobsCli, WritesToAStreamThatCannotBeReplaced) {
  ScratchDir dir;
  const Outcome result = run({dir.write("in.txt", kInput), "1", "/dev/stdout"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "2 10 2 3 5\n0 20 1 4 4\n0 30 2 1 9\n( J1 J2 )\n( J1 J3 )\n( J3 J2 )\n"
            "Scaled instance written to /dev/stdout\n");
  EXPECT_EQ(result.err, "");
}

TEST(DilateJobsCli, ReadingADirectoryIsAReadError) {
  ScratchDir dir;
  const Outcome result = run({dir.path(), "3", dir.file("out.txt")});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err,
            "dilateJobs: " + dir.path() + ":1: read error: " + std::strerror(EISDIR) + "\n");
  EXPECT_FALSE(exists(dir.file("out.txt")));
}

TEST(DilateJobsCli, LongLinesAreReadWhole) {
  ScratchDir dir;
  const std::string input = "0 10 1 2 2" + std::string(1100, ' ') + "\n0 20 2 3 6" +
                            std::string(5000, '\t') + "\n(" + std::string(2000, ' ') + "J1" +
                            std::string(2000, ',') + "J2)\n";
  const Outcome result = run({dir.write("in.txt", input), "2", dir.file("out.txt")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(dir.file("out.txt")), "0 20 1 4 4\n0 40 2 6 12\n( J1 J2 )\n");
}

TEST(DilateJobsCli, FatalChecksNameFileLineAndCondition) {
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
  ScratchDir dir;
  const std::string in = dir.file("in.txt");
  const std::string out = dir.file("out.txt");
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
