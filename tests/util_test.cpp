// Util helpers: set, minimum, random source, string builders, usage banner;
// the failed check's error and the input position it carries.
#include "util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

namespace {

std::string writtenBy(void (*write)(FILE*, std::string), const std::string& path) {
  FILE* file = std::tmpfile();
  write(file, path);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

TEST(UtilSet, IsAStandardSetWithContains) {
  static_assert(std::is_base_of<std::set<int>, Util::Set<int>>::value,
                "derives from std::set<int>");
  Util::Set<int> set;
  EXPECT_FALSE(set.contains(0));
  set.insert({5, -3, 9, 5});
  EXPECT_TRUE(set.contains(-3));
  EXPECT_FALSE(set.contains(4));
  EXPECT_EQ(std::vector<int>(set.begin(), set.end()), (std::vector<int>{-3, 5, 9}));
  Util::Set<int> copy = set;
  copy.insert(4);
  EXPECT_FALSE(set.contains(4));
  std::set<int>* asStandard = &copy;
  EXPECT_EQ(asStandard->size(), 4u);
}

TEST(UtilStrings, MinimumSpacesToString) {
  EXPECT_EQ(Util::minimum(3, 3), 3);
  EXPECT_EQ(Util::minimum(-1, 0), -1);
  EXPECT_EQ(Util::minimum(7, 2), 2);
  EXPECT_EQ(Util::spaces(0), "");
  EXPECT_EQ(Util::spaces(-5), "");
  EXPECT_EQ(Util::spaces(3), "   ");
  EXPECT_EQ(Util::to_string(-2147483648), "-2147483648");
  EXPECT_EQ(Util::to_string(2147483647), "2147483647");
  EXPECT_EQ(Util::to_string(0), "0");
}

TEST(UtilRandom, SeedingRules) {
  EXPECT_EQ(Util::randmax(), 2147483647);
  Util::seedRand(7);
  EXPECT_TRUE(Util::seed_initialized);
  std::vector<int> first;
  for (int i = 0; i < 5; ++i) first.push_back(Util::random());
  Util::initialize();  // already seeded: must not reseed from the clock
  Util::seedRand(7);
  std::vector<int> second;
  for (int i = 0; i < 5; ++i) second.push_back(Util::random());
  EXPECT_EQ(first, second);
  for (int value : first) {
    EXPECT_GE(value, 0);
    EXPECT_LE(value, Util::randmax());
  }
  for (int i = 0; i < 100; ++i) {
    EXPECT_TRUE(Util::randTrue(1.0));
    EXPECT_FALSE(Util::randTrue(-0.1));
  }
}

TEST(UtilToolName, FromSourcePath) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"src-tools/dilateJobs", "/dilateJobs"},
      {"dilateJobs", "dilateJobs"},
      {"x/y/name", "/name"},
      {"dir\\name.ext", "\\name"},
      {"a.b/c", "/c"},
      {"tool.cpp", "tool"},
      {"", ""}};
  for (const auto& row : rows)
    EXPECT_EQ(writtenBy(Util::fprintf_sourceFilename, row.first), row.second) << row.first;
}

TEST(UtilUsage, BannerBytes) {
  testing::internal::CaptureStderr();
  Util::print_tool_usage("src-tools/dilateJobs",
                         "./dilateJobs instance_filename  scale_factor output_filename\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n-------------------\n/dilateJobs\n-------------------\n\nUsage: \n"
            "./dilateJobs instance_filename  scale_factor output_filename\n\n\n");
}

TEST(CheckErrorType, CarriesInputPosition) {
  CheckError failure("Cyclic path in task graph!", "job_instance.cpp", 42);
  EXPECT_STREQ(failure.what(), "Cyclic path in task graph!");
  failure.setInput("in.txt", 7);
  EXPECT_STREQ(failure.what(), "in.txt:7: Cyclic path in task graph!");
  EXPECT_EQ(failure.condition(), "Cyclic path in task graph!");
  EXPECT_EQ(failure.inputLine(), 7);
  failure.setInput("", 3);
  EXPECT_STREQ(failure.what(), "line 3: Cyclic path in task graph!");
  failure.setInput("out.txt", 0);
  EXPECT_STREQ(failure.what(), "out.txt: Cyclic path in task graph!");
  const std::exception& base = failure;
  EXPECT_STREQ(base.what(), "out.txt: Cyclic path in task graph!");
}

}  // namespace
