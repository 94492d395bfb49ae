#include "mcjobs/common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "instance_text.h"

namespace mcjobs_tool {

namespace {

[[noreturn]] void failOn(const std::string& file, const std::string& what, int error) {
  CheckError failure(what + (error ? std::string(": ") + std::strerror(error) : std::string()));
  failure.setInput(file, 0);
  throw failure;
}

// Writes all of `data` to an open stream and flushes it; false on any error.
bool putAll(FILE* stream, const std::string& data) {
  return std::fwrite(data.data(), 1, data.size(), stream) == data.size() &&
         std::fflush(stream) == 0;
}

std::string instanceText(JobInstance& instance) {
  std::string text;
  for (const Job& job : instance) text += job.toString() + "\n";
  for (const Arc& arc : instance.getAllArcs()) text += arc.toString() + "\n";
  return text;
}

}  // namespace

std::string displayName(const std::string& file) {
  return file == "-" ? "<stdin>" : file;
}

void readInstance(const std::string& file, JobInstance& instance) {
  if (file != "-") {
    errno = 0;
    if (!instance.read(file.c_str())) failOn(file, "cannot open file", errno ? errno : ENOENT);
    return;
  }
  // stdin may be a pipe, so it is read as a stream with the library's own
  // line rules instead of being reopened by name.
  instance = JobInstance();
  mcjobs_detail::LineReader lines(stdin);
  mcjobs_detail::BodyParser parser(instance);
  try {
    while (lines.next()) parser.feed(lines.data(), lines.size());
  } catch (CheckError& failure) {
    instance = JobInstance();
    failure.setInput(displayName(file), lines.lineNumber());
    throw;
  }
}

void writeInstance(JobInstance& instance, const std::string& out) {
  if (out == "-") {
    writeText(instanceText(instance), out);
    return;
  }
  instance.write(out.c_str());
}

void writeText(const std::string& text, const std::string& out) {
  if (out == "-") {
    if (!putAll(stdout, text)) failOn("<stdout>", "cannot write", errno);
    return;
  }
  // Same guarantee as the instance writer: the target is replaced only by a
  // complete file, so a failed run leaves what it held before.
  const size_t slash = out.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "" : out.substr(0, slash + 1);
  std::string temporary = directory + "." + out.substr(slash + 1) + ".tmpXXXXXX";
  const int fd = ::mkstemp(&temporary[0]);
  if (fd < 0) failOn(out, "cannot create file", errno);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  FILE* stream = ::fdopen(fd, "w");
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    failOn(out, "cannot create file", error);
  }
  bool ok = putAll(stream, text);
  int error = errno;
  if (std::fclose(stream) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && std::rename(temporary.c_str(), out.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    failOn(out, "cannot write file", error);
  }
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
