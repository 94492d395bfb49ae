#include "mcjobs/common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "instance_text.h"
#include "safe_write.h"

namespace mcjobs_tool {

namespace {

// Writes all of `data` to an open stream and flushes it; false on any error.
bool putAll(FILE* stream, const std::string& data) {
  return std::fwrite(data.data(), 1, data.size(), stream) == data.size() &&
         std::fflush(stream) == 0;
}

}  // namespace

std::string displayName(const std::string& file) {
  return file == "-" ? "<stdin>" : file;
}

void fail(const std::string& file, const std::string& what, int error) {
  CheckError failure(what + (error ? std::string(": ") + std::strerror(error) : std::string()));
  failure.setInput(displayName(file), 0);
  throw failure;
}

void readInstance(const std::string& file, JobInstance& instance) {
  if (file != "-") {
    errno = 0;
    if (!instance.read(file.c_str())) fail(file, "cannot open file", errno ? errno : ENOENT);
    return;
  }
  // stdin may be a pipe, so it is read as a stream with the library's own
  // line rules instead of being reopened by name.
  instance = JobInstance();
  mcjobs_detail::readBody(stdin, instance, displayName(file));
}

void writeInstance(JobInstance& instance, const std::string& out) {
  if (out == "-") {
    errno = 0;
    if (!mcjobs_detail::writeBody(stdout, instance) || std::fflush(stdout) != 0) {
      fail("<stdout>", "cannot write", errno);
    }
    return;
  }
  instance.write(out.c_str());
}

void writeText(const std::string& text, const std::string& out) {
  if (out == "-") {
    if (!putAll(stdout, text)) fail("<stdout>", "cannot write", errno);
    return;
  }
  mcjobs_detail::writeFileSafely(out.c_str(), [&text](FILE* stream) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  });
}

CLI::Option* addLevelOption(CLI::App& command, int& level, const std::string& help) {
  static const std::map<std::string, int> levels{{"lo", CRIT_LO}, {"hi", CRIT_HI}};
  return command.add_option("--level", level, help)
      ->transform(CLI::CheckedTransformer(levels, CLI::ignore_case))
      ->option_text("lo|hi");
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
