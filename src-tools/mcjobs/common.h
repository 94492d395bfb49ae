// Shared plumbing of the mcjobs subcommands: exit statuses, reading instances
// from a file or stdin, writing results to a file or stdout, level words.
#ifndef MCJOBS_TOOL_COMMON_H
#define MCJOBS_TOOL_COMMON_H

#include <CLI/CLI.hpp>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "exit_status.h"
#include "interchange.h"
#include "job.h"

namespace mcjobs_tool {

using mcjobs::ExitStatus;
using mcjobs::kFailure;
using mcjobs::kScaleParse;
using mcjobs::kSuccess;
using mcjobs::kUsage;

/// A command line that parses but makes no sense (for the file it names); exit status 1.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// What a subcommand does once the command line is parsed; returns the exit status.
using Action = std::function<int()>;

/// Each subcommand registers itself on the app and, when chosen, stores its action.
void addCheckCommand(CLI::App& app, Action& action);
void addScaleCommand(CLI::App& app, Action& action);
void addShowCommands(CLI::App& app, Action& action);
void addStatsCommand(CLI::App& app, Action& action);
void addWindowsCommand(CLI::App& app, Action& action);
void addLoadCommand(CLI::App& app, Action& action);
void addDotCommand(CLI::App& app, Action& action);
void addConvertCommand(CLI::App& app, Action& action);
void addArchiveCommand(CLI::App& app, Action& action);
void addGenerateCommand(CLI::App& app, Action& action);
void addScheduleCommand(CLI::App& app, Action& action);

/// The name diagnostics use for a FILE argument: "<stdin>" for "-".
std::string displayName(const std::string& file);

/// Thrown instead of a failure report when stdout's reader has gone (EPIPE):
/// the run fails (exit status 3) without a message, since a pipeline cut short
/// on purpose (`| head`) needs none.
struct ResultsReaderGone : std::exception {
  const char* what() const noexcept override { return "the reader of stdout has gone"; }
};

/// Throws CheckError "FILE: what[: strerror(error)]" (no reason when `error` is 0),
/// or ResultsReaderGone for EPIPE on "<stdout>".
[[noreturn]] void fail(const std::string& file, const std::string& what, int error = 0);

/// Fills `instance` from the named instance file, or from stdin for "-".
/// Every failure, an unreadable file included, throws CheckError naming the file.
/// Under --strict, lines the tolerant reader would change are reported on
/// stderr ("FILE:LINE: warning: ...") and fail the command (exit status 3).
/// An MC-DAG system (inputIsMcdag) is read as its job set over the hyperperiod.
void readInstance(const std::string& file, JobInstance& instance);

/// The same; returns the processor count the file gives (an MC-DAG system's <cores>), 0 when
/// it gives none.
int readSystem(const std::string& file, JobInstance& instance);

/// Whether the reading commands read `file` as an MC-DAG system: --from mcdag, or without
/// --from the extension .xml.
bool inputIsMcdag(const std::string& file);

/// An input file opened for reading, or stdin for "-"; a file that cannot be opened throws
/// CheckError naming it.
class InputStream {
 public:
  explicit InputStream(const std::string& file);
  std::istream& stream();

 private:
  std::ifstream mFile;
};

/// The same, collecting the warnings for such lines instead of judging them.
void readInstance(const std::string& file, JobInstance& instance,
                  std::vector<std::string>& warnings);

/// Adds `--strict` to a command that reads instance files.
void addStrictOption(CLI::App& command);

/// Adds `--strict` and `--from native|mcdag` to a command that reads one instance per file.
void addInputOptions(CLI::App& command);

/// Whether --strict was given.
bool strictReading();

/// Under --strict: reports each warning on stderr, then throws CheckError
/// naming `file` and how many lines read differently than written.
void failOnStrictWarnings(const std::string& file, const std::vector<std::string>& warnings);

/// Sends everything printed on stdout from now on (the propagation and stress
/// traces) to stderr, keeping stdout for the result that writeText("-")
/// prints, so that a JSON document stays one JSON document.
void keepStdoutForResults();

/// Throws UsageError when `expression` is not a valid archive name expression,
/// quoting the regular expression library's own message.
void checkNameExpression(const std::string& expression);

/// Writes the instance file to `out`: stdout for "-", otherwise the library's atomic write.
void writeInstance(JobInstance& instance, const std::string& out);

/// Throws UsageError for a format that is read only (mcdag).
void requireWritable(mcjobs::Format format);

/// Writes `instance` to `out` in `format`; nptest writes its precedence file to
/// `precedenceOut`, with task and job ids from `numbering` when given.
void writeInFormat(JobInstance& instance, mcjobs::Format format, const std::string& out,
                   const std::string& precedenceOut, const mcjobs::InterchangeOptions& options,
                   const std::vector<mcjobs::TaskJob>* numbering = nullptr);

/// Writes text to `out`: stdout for "-", otherwise a sibling temporary file renamed over it.
void writeText(const std::string& text, const std::string& out);

/// Prints one line of results on stdout at once; a failed write (a full disk,
/// a closed pipe) throws CheckError naming stdout and the reason.
void printLine(const std::string& line);

/// Adds the `--level lo|hi` option storing CRIT_LO or CRIT_HI.
CLI::Option* addLevelOption(CLI::App& command, int& level, const std::string& help);

/// "lo" or "hi": the key used for a level in JSON output.
const char* levelKey(int level);

/// A double as the text output shows it (six significant digits).
std::string formatNumber(double value);

}  // namespace mcjobs_tool

#endif  // MCJOBS_TOOL_COMMON_H
