// Reading and writing instance files: accepted and rejected lines, exact
// bytes, failed writes that leave the target intact.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "detail/instance_text.h"
#include "job.h"
#include "support/files.h"

namespace {

using testfiles::readFile;
using testfiles::ScratchDir;

// Two jobs and one arc, so that "left empty" is visible after a failed read.
void fill(JobInstance& instance) {
  Job job;
  ASSERT_TRUE(job.initializeFromString("0 10 2 2 4"));
  instance.insert(job);
  instance.insert(job);
  instance.insert(Arc(0, 1));
}

void expectEmpty(JobInstance& instance) {
  EXPECT_EQ(instance.numJobs(), 0);
  EXPECT_TRUE(instance.getAllArcs().empty());
}

std::string written(JobInstance& instance, const ScratchDir& dir) {
  const std::string path = dir.file("written.txt");
  instance.write(path.c_str());
  return readFile(path);
}

// Reads `content`, writes it back and returns the bytes written.
std::string rewrite(const std::string& content) {
  ScratchDir dir;
  JobInstance instance;
  EXPECT_TRUE(instance.read(dir.write("in.txt", content).c_str()));
  return written(instance, dir);
}

TEST(InstanceFileRead, AcceptedFilesAreWrittenBackCanonically) {
  struct Row {
    const char* name;
    std::string input;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"empty file", "", ""},
      {"jobs only", "0 10 1 2 2\n0 20 2 3 6\n", "0 10 1 2 2\n0 20 2 3 6\n"},
      {"no newline after the last job", "0 10 1 2 2\n0 20 2 3 6", "0 10 1 2 2\n0 20 2 3 6\n"},
      {"no newline after the last arc", "0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )",
       "0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )\n"},
      {"text after the fifth number, extra blanks and tabs",
       "  0\t10  1 2 2 trailing words\n0 20 2 3 6 7 8\n", "0 10 1 2 2\n0 20 2 3 6\n"},
      {"arcs in any order, spacing and repetition",
       "0 10 1 2 2\n0 20 2 3 6\n0 30 2 3 6\n0 40 1 1 1\n"
       "(J3 J4)\n( J1,J3 )\n,( J2 J3 ),\n\t(\tJ1\tJ2\t)\t\n( J01 J2))\n( J1 J2 )\n( J2 J4x)\n",
       "0 10 1 2 2\n0 20 2 3 6\n0 30 2 3 6\n0 40 1 1 1\n( J1 J2 )\n( J1 J3 )\n( J2 J3 )\n( J2 J4 "
       ")\n( J3 J4 )\n"},
      {"carriage returns after job lines", "0 10 1 2 2\r\n0 20 2 3 6\r\n",
       "0 10 1 2 2\n0 20 2 3 6\n"},
      {"a job line padded with 1100 blanks",
       "0 10 1 2 2" + std::string(1100, ' ') + "\n0 20 2 3 6\n", "0 10 1 2 2\n0 20 2 3 6\n"},
      {"an arc line padded with 3000 blanks",
       "0 10 1 2 2\n0 20 2 3 6\n(" + std::string(3000, ' ') + "J1" + std::string(3000, ' ') +
           "J2 )\n",
       "0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )\n"},
      {"extreme values", "0 2147483647 2 2147483647 2147483647\n",
       "0 2147483647 2 2147483647 2147483647\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(rewrite(row.input), row.expected) << row.name;
}

TEST(InstanceFileRead, RejectedLinesNameFileLineAndCondition) {
  const std::string readError = "success && \"Job instance read error!\"";
  struct Row {
    const char* name;
    std::string input;
    long line;
    std::string condition;
  };
  const std::vector<Row> rows = {
      {"blank line between jobs", "0 10 1 2 2\n\n0 20 2 3 6\n", 2, readError},
      {"blank line between the sections", "0 10 1 2 2\n0 20 2 3 6\n\n( J1 J2 )\n", 3, readError},
      {"file ending in two newlines", "0 10 1 2 2\n\n", 2, readError},
      {"white space only", "0 10 1 2 2\n \t \n", 2, readError},
      {"job line after an arc line", "0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )\n0 30 1 1 1\n", 4,
       readError},
      {"four numbers", "0 10 1 2 2\n0 20 2 3\n", 2, readError},
      {"carriage return after an arc line", "0 10 1 2 2\r\n0 20 2 3 6\r\n( J1 J2 )\r\n", 3,
       readError},
      {"comment", "# jobs\n0 10 1 2 2\n", 1, readError},
      {"sanity check", "0 10 1 2 2\n5 5 1 1 1\n", 2, "deadline>arrival"},
      {"LO budgets differ", "0 10 1 5 6\n", 1, "hi_wcet==lo_wcet"},
      {"arc to a missing job", "0 10 1 2 2\n( J1 J2 )\n", 2, "to_id >=0 && to_id < numJobs()"},
      {"arc before any job", "( J1 J2 )\n", 1, "from_id >=0 && from_id < numJobs()"},
      {"self loop", "0 10 1 2 2\n( J1 J1 )\n", 2, "Cyclic path in task graph!"},
      {"cycle", "0 10 1 2 2\n0 10 1 2 2\n0 10 1 2 2\n( J1 J2 )\n( J2 J3 )\n( J3 J1 )\n", 6,
       "Cyclic path in task graph!"},
      {"lower-case name", "0 10 1 2 2\n( j1 J1 )\n", 2, "Not a job name!"},
      {"index zero", "0 10 1 2 2\n( J0 J1 )\n", 2, "Name must have a strictly positive index!"},
      {"number beyond 32 bits", "0 10 1 2 2\n0 99999999999 1 2 2\n", 2,
       "job line value out of the 32-bit range: deadline 99999999999"},
  };
  for (const Row& row : rows) {
    ScratchDir dir;
    const std::string path = dir.write("in.txt", row.input);
    JobInstance instance;
    fill(instance);
    try {
      instance.read(path.c_str());
      ADD_FAILURE() << row.name << ": no error";
    } catch (const CheckError& failure) {
      EXPECT_EQ(failure.what(), path + ":" + std::to_string(row.line) + ": " + row.condition)
          << row.name;
      EXPECT_EQ(failure.condition(), row.condition) << row.name;
      EXPECT_EQ(failure.inputLine(), row.line) << row.name;
    }
    SCOPED_TRACE(row.name);
    expectEmpty(instance);
  }
}

TEST(InstanceFileRead, ReplacesWhatTheInstanceHeld) {
  ScratchDir dir;
  JobInstance instance;
  fill(instance);
  ASSERT_TRUE(instance.read(dir.write("in.txt", "0 30 1 1 1\n").c_str()));
  EXPECT_EQ(written(instance, dir), "0 30 1 1 1\n");
  // The old arc's sets are gone too: the new job has none.
  EXPECT_TRUE(instance.getTransitiveSuccessors(0, CRIT_LO).empty());

  fill(instance);
  errno = 0;
  EXPECT_FALSE(instance.read(dir.file("missing.txt").c_str()));
  EXPECT_EQ(errno, ENOENT);
  expectEmpty(instance);
  EXPECT_EQ(written(instance, dir), "");
}

TEST(InstanceFileRead, KeepsBothLevelsOfTheGraph) {
  ScratchDir dir;
  JobInstance instance;
  // HI, LO, HI: the path over the LO job exists at CRIT_LO only.
  ASSERT_TRUE(instance.read(
      dir.write("in.txt", "0 10 2 1 2\n0 10 1 1 1\n0 10 2 1 2\n( J2 J3 )\n( J1 J2 )\n").c_str()));
  EXPECT_EQ(instance.getTransitiveSuccessors(0, CRIT_LO), (Util::Set<int>{1, 2}));
  EXPECT_TRUE(instance.getTransitiveSuccessors(0, CRIT_HI).empty());
}

TEST(InstanceFileRead, ReadErrorIsAFailureNotTheEnd) {
  ScratchDir dir;
  JobInstance instance;
  fill(instance);
  // A directory opens for reading; reading it fails.
  try {
    instance.read(dir.path().c_str());
    ADD_FAILURE() << "no error";
  } catch (const CheckError& failure) {
    EXPECT_EQ(failure.what(), dir.path() + ":1: read error: " + std::strerror(EISDIR));
  }
  expectEmpty(instance);
}

// A stream that yields `data` and then fails, as a disk would in the middle of a file.
struct FailingSource {
  std::string data;
  size_t offset = 0;
};

ssize_t readThenFail(void* cookie, char* buffer, size_t size) {
  auto* source = static_cast<FailingSource*>(cookie);
  if (source->offset == source->data.size()) {
    errno = EIO;
    return -1;
  }
  const size_t count = std::min(size, source->data.size() - source->offset);
  std::memcpy(buffer, source->data.data() + source->offset, count);
  source->offset += count;
  return static_cast<ssize_t>(count);
}

TEST(LineReader, ReadErrorInTheMiddleOfALineIsReported) {
  FailingSource source{"0 10 1 2 2\n0 20 2 3"};
  cookie_io_functions_t functions{readThenFail, nullptr, nullptr, nullptr};
  FILE* stream = ::fopencookie(&source, "r", functions);
  ASSERT_NE(stream, nullptr);
  {
    mcjobs_detail::LineReader lines(stream);
    ASSERT_TRUE(lines.next());
    EXPECT_EQ(std::string(lines.data(), lines.size()), "0 10 1 2 2\n");
    try {
      lines.next();
      ADD_FAILURE() << "the cut line was handed out as a whole line";
    } catch (const CheckError& failure) {
      EXPECT_EQ(failure.condition(), std::string("read error: ") + std::strerror(EIO));
      EXPECT_EQ(lines.lineNumber(), 2);
    }
  }
  std::fclose(stream);
}

TEST(InstanceFileWrite, ReplacesALongerFileAndKeepsItsMode) {
  ScratchDir dir;
  const std::string path = dir.write("out.txt", std::string(5000, 'x') + "\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  JobInstance instance;
  fill(instance);
  instance.write(path.c_str());
  EXPECT_EQ(readFile(path), "0 10 2 2 4\n0 10 2 2 4\n( J1 J2 )\n");
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(testfiles::listDirectory(dir.path()), std::vector<std::string>{"out.txt"});
}

TEST(InstanceFileWrite, WritesThroughASymbolicLink) {
  ScratchDir dir;
  const std::string real = dir.write("real.txt", "old\n");
  ASSERT_EQ(::symlink(real.c_str(), dir.file("link.txt").c_str()), 0);
  JobInstance instance;
  fill(instance);
  instance.write(dir.file("link.txt").c_str());
  EXPECT_EQ(readFile(real), "0 10 2 2 4\n0 10 2 2 4\n( J1 J2 )\n");
  char target[256] = {};
  EXPECT_GT(::readlink(dir.file("link.txt").c_str(), target, sizeof target - 1), 0);
}

TEST(InstanceFileWrite, UnwritableDirectoryLeavesTheTargetUntouched) {
  ScratchDir dir;
  const std::string path = dir.write("out.txt", "previous\n");
  JobInstance instance;
  fill(instance);
  testfiles::LockedDir locked(dir.path());
  if (!locked.ok()) GTEST_SKIP() << "cannot lock a directory here";
  EXPECT_THROW(instance.write(path.c_str()), CheckError);
  EXPECT_EQ(readFile(path), "previous\n");
}

TEST(InstanceFileWrite, ShortWriteLeavesTheTargetUntouched) {
  ScratchDir dir;
  const std::string path = dir.write("out.txt", "previous\n");
  JobInstance instance;
  Job job;
  ASSERT_TRUE(job.initializeFromString("1000000 2000000 2 100000 200000"));
  for (int i = 0; i < 2000; ++i) instance.insert(job);  // about 60 kB

  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string what;
  try {
    instance.write(path.c_str());
  } catch (const CheckError& failure) {
    what = failure.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(what, path + ": cannot write file: " + std::strerror(EFBIG));
  EXPECT_EQ(readFile(path), "previous\n");
  EXPECT_EQ(testfiles::listDirectory(dir.path()), std::vector<std::string>{"out.txt"});
}

TEST(InstanceFileWrite, FullDeviceThrows) {
  JobInstance instance;
  fill(instance);
  try {
    instance.write("/dev/full");
    ADD_FAILURE() << "no error";
  } catch (const CheckError& failure) {
    EXPECT_EQ(std::string(failure.what()),
              std::string("/dev/full: cannot write file: ") + std::strerror(ENOSPC));
  }
}

TEST(InstanceFileWrite, MissingDirectoryAndEmptyNameThrow) {
  ScratchDir dir;
  JobInstance instance;
  fill(instance);
  const std::string path = dir.file("no-such-dir/out.txt");
  try {
    instance.write(path.c_str());
    ADD_FAILURE() << "no error";
  } catch (const CheckError& failure) {
    EXPECT_EQ(failure.what(), path + ": cannot create file: " + std::strerror(ENOENT));
  }
  EXPECT_THROW(instance.write(""), CheckError);
}

// Random valid instances written, read back and written again: the file must be
// the canonical text an independent formatter gives, and reading must restore
// every job and arc.
TEST(InstanceFileRoundTrip, RandomInstances) {
  std::mt19937 random(20240607);
  ScratchDir dir;
  for (int round = 0; round < 40; ++round) {
    const int jobs = std::uniform_int_distribution<int>(0, 60)(random);
    std::string text;
    std::vector<std::vector<int>> fields;
    for (int i = 0; i < jobs; ++i) {
      const int arrival = std::uniform_int_distribution<int>(0, 1000)(random);
      const int window = std::uniform_int_distribution<int>(1, 500)(random);
      const int crit = std::uniform_int_distribution<int>(1, 2)(random);
      const int lo = std::uniform_int_distribution<int>(1, window)(random);
      const int hi = crit == 1 ? lo : std::uniform_int_distribution<int>(lo, window)(random);
      fields.push_back({arrival, arrival + window, crit, lo, hi});
    }
    // Forward arcs cannot form a cycle; listed shuffled, some twice.
    std::set<std::pair<int, int>> arcs;
    std::vector<std::pair<int, int>> listed;
    for (int k = 0; jobs > 1 && k < 3 * jobs; ++k) {
      int a = std::uniform_int_distribution<int>(0, jobs - 1)(random);
      int b = std::uniform_int_distribution<int>(0, jobs - 1)(random);
      if (a == b) continue;
      if (a > b) std::swap(a, b);
      arcs.insert({a, b});
      listed.push_back({a, b});
    }
    std::shuffle(listed.begin(), listed.end(), random);

    std::string canonical;
    for (const auto& f : fields) {
      const std::string line = std::to_string(f[0]) + " " + std::to_string(f[1]) + " " +
                               std::to_string(f[2]) + " " + std::to_string(f[3]) + " " +
                               std::to_string(f[4]);
      canonical += line + "\n";
      text += line + (round % 2 ? "  \r\n" : "\n");
    }
    for (const auto& arc : arcs)
      canonical +=
          "( J" + std::to_string(arc.first + 1) + " J" + std::to_string(arc.second + 1) + " )\n";
    for (const auto& arc : listed)
      text += "(J" + std::to_string(arc.first + 1) + ", J" + std::to_string(arc.second + 1) + ")\n";

    JobInstance instance;
    ASSERT_TRUE(instance.read(dir.write("in.txt", text).c_str()));
    ASSERT_EQ(written(instance, dir), canonical) << "round " << round;
    JobInstance again;
    ASSERT_TRUE(again.read(dir.file("written.txt").c_str()));
    ASSERT_EQ(again.numJobs(), jobs);
    for (int i = 0; i < jobs; ++i) {
      for (int level : {CRIT_LO, CRIT_HI}) {
        ASSERT_EQ(again.getTransitiveSuccessors(i, level),
                  instance.getTransitiveSuccessors(i, level));
        ASSERT_EQ(again.getPredecessors(i, level), instance.getPredecessors(i, level));
      }
    }
  }
}

}  // namespace
