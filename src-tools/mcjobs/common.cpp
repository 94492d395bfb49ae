// Shared plumbing of the mcjobs subcommands: reading with --strict, writing
// results, level words, archive expressions.
#include "mcjobs/common.h"

#include <regex.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>

#include "explain.h"
#include "instance_stream.h"
#include "safe_write.h"

namespace mcjobs_tool {

namespace {

bool strict = false;

// --from of the reading commands: "" (the extension tells), "native" or "mcdag".
std::string inputFormat;

// Where results go once keepStdoutForResults() moved stdout to stderr; -1 before.
int resultsFd = -1;

// Writes all of `data` to an open stream and flushes it; false on any error.
bool putAll(FILE* stream, const std::string& data) {
  return std::fwrite(data.data(), 1, data.size(), stream) == data.size() &&
         std::fflush(stream) == 0;
}

bool putAll(int fd, const std::string& data) {
  for (size_t done = 0; done < data.size();) {
    const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

bool putResult(const std::string& data) {
  return resultsFd >= 0 ? putAll(resultsFd, data) : putAll(stdout, data);
}

}  // namespace

std::string displayName(const std::string& file) {
  return file == "-" ? "<stdin>" : file;
}

void fail(const std::string& file, const std::string& what, int error) {
  if (file == "<stdout>" && error == EPIPE) throw ResultsReaderGone();
  CheckError failure(what + (error ? std::string(": ") + std::strerror(error) : std::string()));
  failure.setInput(displayName(file), 0);
  throw failure;
}

InputStream::InputStream(const std::string& file) {
  if (file == "-") return;
  errno = 0;
  mFile.open(file, std::ios::binary);
  if (!mFile) fail(file, "cannot open file", errno ? errno : ENOENT);
}

std::istream& InputStream::stream() {
  return mFile.is_open() ? mFile : std::cin;
}

bool inputIsMcdag(const std::string& file) {
  if (!inputFormat.empty()) return inputFormat == "mcdag";
  mcjobs::Format format = mcjobs::Format::kNative;
  return file != "-" && mcjobs::formatFromPath(file, format) && format == mcjobs::Format::kMcdag;
}

int readSystem(const std::string& file, JobInstance& instance) {
  if (!inputIsMcdag(file)) {
    readInstance(file, instance);
    return 0;
  }
  InputStream input(file);
  int cores = 0;
  instance = mcjobs::readMcdag(input.stream(), displayName(file), &cores);
  return cores;
}

void readInstance(const std::string& file, JobInstance& instance,
                  std::vector<std::string>& warnings) {
  // A system file is not read tolerantly: it has no warnings to give.
  if (inputIsMcdag(file)) {
    readSystem(file, instance);
    return;
  }
  if (file == "-") {
    instance = JobInstance();
    mcjobs::readInstanceStream(stdin, instance, displayName(file), &warnings);
    return;
  }
  errno = 0;
  FILE* stream = std::fopen(file.c_str(), "r");
  if (stream == nullptr) fail(file, "cannot open file", errno ? errno : ENOENT);
  instance = JobInstance();
  try {
    mcjobs::readInstanceStream(stream, instance, file, &warnings);
  } catch (...) {
    std::fclose(stream);
    throw;
  }
  std::fclose(stream);
}

void addStrictOption(CLI::App& command) {
  command.add_flag("--strict", strict,
                   "Fail (exit status 3) on lines that the tolerant reader would change, each\n"
                   "reported as FILE:LINE: warning: ...");
}

bool strictReading() {
  return strict;
}

void failOnStrictWarnings(const std::string& file, const std::vector<std::string>& warnings) {
  if (warnings.empty()) return;
  for (const std::string& warning : warnings) std::cerr << "mcjobs: " << warning << "\n";
  std::cerr.flush();
  fail(file, std::to_string(warnings.size()) + (warnings.size() == 1 ? " line is" : " lines are") +
                 " read differently than written (--strict)");
}

void addInputOptions(CLI::App& command) {
  addStrictOption(command);
  command
      .add_option("--from", inputFormat,
                  "Input format: native (the instance file) or mcdag (an MC-DAG system);\n"
                  "default: mcdag for a FILE ending in .xml, native otherwise")
      ->check(CLI::IsMember({"native", "mcdag"}))
      ->option_text("native|mcdag");
}

void readInstance(const std::string& file, JobInstance& instance) {
  if (inputIsMcdag(file)) {
    readSystem(file, instance);
    return;
  }
  if (strict) {
    std::vector<std::string> warnings;
    readInstance(file, instance, warnings);
    failOnStrictWarnings(file, warnings);
    return;
  }
  if (file != "-") {
    errno = 0;
    if (!instance.read(file.c_str())) fail(file, "cannot open file", errno ? errno : ENOENT);
    return;
  }
  // stdin may be a pipe, so it is read as a stream with the library's own
  // line rules instead of being reopened by name.
  instance = JobInstance();
  mcjobs::readInstanceStream(stdin, instance, displayName(file));
}

void writeInstance(JobInstance& instance, const std::string& out) {
  if (out == "-") {
    errno = 0;
    // Once keepStdoutForResults() set stdout aside, the instance goes there too.
    const int fd = resultsFd >= 0 ? ::dup(resultsFd) : -1;
    FILE* stream = fd >= 0 ? ::fdopen(fd, "w") : stdout;
    if (stream == nullptr) {
      const int error = errno;
      ::close(fd);
      fail("<stdout>", "cannot write", error);
    }
    bool ok = mcjobs::writeInstanceStream(stream, instance) && std::fflush(stream) == 0;
    const int error = errno;
    if (stream != stdout) ok = std::fclose(stream) == 0 && ok;
    if (!ok) fail("<stdout>", "cannot write", error ? error : errno);
    return;
  }
  instance.write(out.c_str());
}

void writeText(const std::string& text, const std::string& out) {
  if (out == "-") {
    if (!putResult(text)) fail("<stdout>", "cannot write", errno);
    return;
  }
  mcjobs::writeFileSafely(out.c_str(), [&text](FILE* stream) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  });
}

void printLine(const std::string& line) {
  std::cout.flush();
  if (!putResult(line + "\n")) fail("<stdout>", "cannot write the results", errno ? errno : EIO);
}

CLI::Option* addLevelOption(CLI::App& command, int& level, const std::string& help) {
  const CLI::Validator levelWord(
      [](std::string& value) -> std::string {
        std::string word;
        for (char c : value) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (word == "lo" || word == "1")
          value = "1";
        else if (word == "hi" || word == "2")
          value = "2";
        else
          return "must be lo or hi, not '" + mcjobs::abbreviate(value) + "'";
        return std::string();
      },
      "lo|hi", "level");
  return command.add_option("--level", level, help)->transform(levelWord)->option_text("lo|hi");
}

void keepStdoutForResults() {
  if (resultsFd >= 0) return;
  std::cout.flush();
  std::fflush(stdout);
  resultsFd = ::dup(STDOUT_FILENO);
  if (resultsFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
    fail("<stdout>", "cannot set stdout aside for the results", errno);
}

void checkNameExpression(const std::string& expression) {
  regex_t compiled;
  const int rc = regcomp(&compiled, (expression + ":\n").c_str(), 0);
  if (rc == 0) {
    regfree(&compiled);
    return;
  }
  char reason[256];
  regerror(rc, &compiled, reason, sizeof reason);
  throw UsageError("'" + mcjobs::abbreviate(expression) +
                   "' is not a valid POSIX basic regular expression: " + reason);
}

const char* levelKey(int level) {
  return level == CRIT_HI ? "hi" : "lo";
}

std::string formatNumber(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace mcjobs_tool
