// The empty expression, in a program of its own: its first call must be the
// reader's very first, before any pattern has been compiled.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "job.h"

namespace {

std::string next(const std::string& expr, FILE* f, bool rewind) {
  std::string name;
  std::unique_ptr<JobInstance> found(JobInstance::read_jobstar(expr, f, name, rewind));
  return found ? name : "null";
}

TEST(ArchiveEmptyExpression, MatchesEveryEntryLikeColonNewline) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fputs("junk\n------\na:\n0 10 1 2 2\n------\nb:\n------\nnot a name\n------\nc:\n", f);
  std::rewind(f);

  EXPECT_EQ(next("", f, false), "a");  // the very first call of the process
  EXPECT_EQ(next("", f, false), "b");
  EXPECT_EQ(next("", f, false), "c");
  EXPECT_EQ(next("", f, false), "null");

  // Back to the empty expression after another one.
  EXPECT_EQ(next("b", f, false), "b");
  EXPECT_EQ(next("", f, true), "a");
  EXPECT_EQ(next("", f, false), "b");
  std::fclose(f);
}

}  // namespace
