// The explanation table against the library's own sources: every condition
// text a check can raise must be explained, so that no user meets a bare
// condition. The sources are scanned as text, independently of the table.
#include "explain.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "job.h"

namespace {

const std::string kSourceDir = std::string(MCJOBS_EXAMPLES_DIR) + "/../src-lib";

// The text of the first C string literal at `at` (escapes resolved, adjacent
// literals joined), or nothing when the argument does not start with one.
bool literalAt(const std::string& text, size_t at, std::string& literal) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  if (text.compare(at, 12, "std::string(") == 0) at += 12;
  if (at >= text.size() || text[at] != '"') return false;
  literal.clear();
  while (at < text.size() && text[at] == '"') {
    for (++at; at < text.size() && text[at] != '"'; ++at) {
      if (text[at] == '\\') ++at;
      literal += text[at];
    }
    ++at;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  }
  return true;
}

// Every condition literal of MCJOBS_CHECK (its second argument), MCJOBS_FAIL
// and CheckError (their first) in the library's sources.
std::vector<std::string> conditionsInSources() {
  std::vector<std::string> found;
  DIR* dir = opendir(kSourceDir.c_str());
  EXPECT_NE(dir, nullptr) << kSourceDir;
  if (dir == nullptr) return found;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const bool isSource = name.size() > 4 && name.compare(name.size() - 4, 4, ".cpp") == 0;
    const bool isHeader = name.size() > 2 && name.compare(name.size() - 2, 2, ".h") == 0;
    if (!isSource && !isHeader) continue;
    if (name == "check_error.cpp") continue;
    std::ifstream in(kSourceDir + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    for (const std::string macro : {"MCJOBS_CHECK(", "MCJOBS_FAIL(", "CheckError failure("}) {
      for (size_t at = source.find(macro); at != std::string::npos;
           at = source.find(macro, at + 1)) {
        size_t argument = at + macro.size();
        if (macro == "MCJOBS_CHECK(") {
          // The condition is the last argument: after the top-level comma.
          int depth = 0;
          for (; argument < source.size(); ++argument) {
            const char c = source[argument];
            if (c == '"')
              argument = source.find('"', argument + 1);
            else if (c == '(')
              ++depth;
            else if (c == ')')
              --depth;
            else if (c == ',' && depth == 0)
              break;
          }
          ++argument;
        }
        std::string literal;
        if (literalAt(source, argument, literal)) found.push_back(literal);
      }
    }
  }
  closedir(dir);
  return found;
}

TEST(Explanations, EveryConditionInTheLibraryIsExplained) {
  const std::vector<std::string> conditions = conditionsInSources();
  EXPECT_GT(conditions.size(), 40u);  // the scan itself works
  for (const std::string& condition : conditions)
    EXPECT_TRUE(mcjobs::isExplained(condition)) << "no explanation for: " << condition;
}

TEST(Explanations, DescribedLines) {
  CheckError bare("np>=1");
  EXPECT_EQ(mcjobs::describeFailure(bare), "the number of processors must be at least 1 (np>=1)");
  CheckError located("Cyclic path in task graph!");
  located.setInput("in.txt", 4);
  located.setExplanation("the arc ( J2 J1 ) would close a cycle: J1 already precedes J2");
  EXPECT_EQ(mcjobs::describeFailure(located),
            "in.txt:4: the arc ( J2 J1 ) would close a cycle: J1 already precedes J2 (Cyclic "
            "path in task graph!)");
  EXPECT_EQ(std::string(located.what()), "in.txt:4: Cyclic path in task graph!");
  CheckError words("cannot open file: No such file or directory");
  words.setInput("x.txt", 0);
  EXPECT_EQ(mcjobs::describeFailure(words), "x.txt: cannot open file: No such file or directory");
  // Input echoed in a message never reaches the terminal raw.
  CheckError echoed("nptest: field 1 'a\x1b[31m\tb\x7f' is not an integer");
  echoed.setInput("in.csv", 2);
  EXPECT_EQ(mcjobs::describeFailure(echoed),
            "in.csv:2: nptest: field 1 'a\\x1b[31m\\x09b\\x7f' is not an integer");
  EXPECT_EQ(mcjobs::abbreviate(std::string(100, 'x')), std::string(77, 'x') + "...");
  EXPECT_EQ(mcjobs::abbreviate("short"), "short");
  // A cut never splits a UTF-8 sequence.
  EXPECT_EQ(mcjobs::abbreviate(std::string(76, 'x') + "\xc3\xa9" + std::string(10, 'y')),
            std::string(76, 'x') + "...");
}

}  // namespace
