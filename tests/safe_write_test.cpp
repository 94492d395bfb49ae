// The safe writer: a target is replaced whole or not at all, whatever fails
// (the content, a signal, parallel writers), with the mode a user expects.
// Signals are sent in child processes, so that the test process keeps running.
#include "safe_write.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/files.h"
#include "util.h"

namespace {

using testfiles::readFile;
using testfiles::ScratchDir;
using testtools::inChild;

TEST(SafeWrite, ClosesEverythingAndLeavesNoTemporaryWhenTheContentFails) {
  ScratchDir dir;
  const std::string target = dir.write("out.txt", "old\n");
  const size_t descriptors = testfiles::listDirectory("/proc/self/fd").size();
  for (int i = 0; i < 100; ++i) {
    EXPECT_THROW(mcjobs::writeFileSafely(target.c_str(),
                                         [](FILE*) -> bool { throw std::runtime_error("x"); }),
                 std::runtime_error);
    EXPECT_THROW(mcjobs::writeFileSafely(target.c_str(), [](FILE*) { return false; }), CheckError);
  }
  EXPECT_EQ(testfiles::listDirectory("/proc/self/fd").size(), descriptors);
  EXPECT_EQ(testfiles::listDirectory(dir.path()), std::vector<std::string>{"out.txt"});
  EXPECT_EQ(readFile(target), "old\n");
}

TEST(SafeWrite, ASignalWaitsForTheRenameAndDanglingLinksAreWrittenThrough) {
  ScratchDir dir;
  const std::string target = dir.write("out.txt", "old\n");
  const int status = inChild([&] {
    mcjobs::writeFileSafely(target.c_str(), [](FILE* stream) {
      kill(getpid(), SIGTERM);
      return std::fputs("new\n", stream) >= 0;
    });
    return 0;
  });
  EXPECT_EQ(status, -1);  // the signal still ends the process, once the file is whole
  EXPECT_EQ(testfiles::listDirectory(dir.path()), std::vector<std::string>{"out.txt"});
  EXPECT_EQ(readFile(target), "new\n");

  ASSERT_EQ(symlink("made.txt", dir.file("link.txt").c_str()), 0);
  mcjobs::writeFileSafely(dir.file("link.txt").c_str(),
                          [](FILE* stream) { return std::fputs("via link\n", stream) >= 0; });
  EXPECT_EQ(readFile(dir.file("made.txt")), "via link\n");
  struct stat link {};
  ASSERT_EQ(lstat(dir.file("link.txt").c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
}

TEST(SafeWrite, NewFilesFollowTheUmaskExistingOnesKeepTheirMode) {
  ScratchDir dir;
  const mode_t previous = umask(027);
  mcjobs::writeFileSafely(dir.file("new").c_str(), [](FILE*) { return true; });
  umask(previous);
  struct stat status {};
  ASSERT_EQ(stat(dir.file("new").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  EXPECT_EQ(umask(previous), previous);  // left as it was

  chmod(dir.file("new").c_str(), 0604);
  mcjobs::writeFileSafely(dir.file("new").c_str(), [](FILE*) { return true; });
  ASSERT_EQ(stat(dir.file("new").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0604u);
}

TEST(SafeWrite, ParallelWritersOfOneTargetLeaveOneWholeFile) {
  ScratchDir dir;
  const std::string target = dir.file("same.txt");
  std::vector<std::string> contents;
  for (int w = 0; w < 6; ++w)
    contents.push_back(std::string(200000 + w, static_cast<char>('a' + w)));
  std::vector<pid_t> pids;
  for (int w = 0; w < 6; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < 10; ++i)
        mcjobs::writeFileSafely(target.c_str(), [&](FILE* stream) {
          return std::fwrite(contents[w].data(), 1, contents[w].size(), stream) ==
                 contents[w].size();
        });
      _exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  const std::string result = readFile(target);
  EXPECT_NE(std::find(contents.begin(), contents.end(), result), contents.end());
  EXPECT_EQ(testfiles::listDirectory(dir.path()), std::vector<std::string>{"same.txt"});
}

TEST(SafeWrite, KeepNeverReplaces) {
  ScratchDir dir;
  const std::string target = dir.write("kept.txt", "mine\n");
  EXPECT_THROW(mcjobs::writeFileSafely(
                   target.c_str(), [](FILE*) { return true; }, mcjobs::ExistingTarget::kKeep),
               CheckError);
  EXPECT_EQ(readFile(target), "mine\n");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_THROW(mcjobs::writeFileSafely(
                   dir.file("fifo").c_str(), [](FILE*) { return true; },
                   mcjobs::ExistingTarget::kReplaceRegularFile),
               CheckError);
  EXPECT_EQ(testfiles::listDirectory(dir.path()).size(), 2u);
}

}  // namespace
