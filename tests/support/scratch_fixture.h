// A test with a scratch directory of its own, where command lines run as in a
// user's shell.
#ifndef MCJOBS_TESTS_SUPPORT_SCRATCH_FIXTURE_H
#define MCJOBS_TESTS_SUPPORT_SCRATCH_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/tool_runner.h"

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(mDir.path().empty()) << "no scratch directory"; }

  /// The path of `name` in the scratch directory.
  std::string path(const std::string& name) const { return mDir.file(name); }

  /// Writes `text` to `name` in the scratch directory; returns the name, which
  /// is what command lines run there use.
  std::string file(const std::string& name, const std::string& text) const {
    mDir.write(name, text);
    return name;
  }

  /// Lets command lines say `word` for `program`.
  void nameProgram(const std::string& word, const std::string& program) {
    mPrograms.emplace_back(word, "'" + program + "'");
  }

  /// Runs a shell command line in the scratch directory, with `input` on stdin.
  testtools::RunResult shell(const std::string& line, const std::string& input = "") const {
    testtools::RunOptions options;
    options.input = input;
    return shell(line, options);
  }
  testtools::RunResult shell(const std::string& line, testtools::RunOptions options) const {
    options.workingDirectory = mDir.path();
    return testtools::runShell(withPrograms(line), options);
  }

  testfiles::ScratchDir mDir;

 private:
  std::string withPrograms(std::string line) const {
    for (const auto& program : mPrograms)
      for (size_t at = 0; (at = line.find(program.first, at)) != std::string::npos;
           at += program.second.size())
        line.replace(at, program.first.size(), program.second);
    return line;
  }

  std::vector<std::pair<std::string, std::string>> mPrograms;
};

#endif  // MCJOBS_TESTS_SUPPORT_SCRATCH_FIXTURE_H
