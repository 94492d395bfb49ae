// mcjobs: every capability of the library as a subcommand, for shells and scripts.
//
// Exit statuses: 0 success, 1 usage error, 2 scale parse error (scale), 3 failure.
// Results go to stdout, diagnostics to stderr as "mcjobs: FILE:LINE: message".
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "explain.h"
#include "job.h"
#include "mcjobs/common.h"
#include "option_numbers.h"

using namespace mcjobs_tool;

namespace {

// CLI11 reports an unknown word where a subcommand belongs as a missing
// subcommand; name the word and the commands that exist instead. Returns "" when
// every leading word is a command.
std::string unknownCommand(CLI::App& app, int argc, char** argv) {
  CLI::App* level = &app;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] == '-') break;
    const std::vector<CLI::App*> commands = level->get_subcommands([](CLI::App*) { return true; });
    if (commands.empty()) break;
    CLI::App* found = nullptr;
    std::string names;
    for (CLI::App* command : commands) {
      if (command->get_name() == word) found = command;
      names += (names.empty() ? "" : ", ") + command->get_name();
    }
    if (found == nullptr)
      return "unknown command '" + path + mcjobs::abbreviate(word) + "' (commands: " + names + ")";
    path += word + " ";
    level = found;
  }
  return std::string();
}

// The subcommand that runs: the deepest one parsed.
CLI::App* chosenCommand(CLI::App& app) {
  CLI::App* level = &app;
  for (std::vector<CLI::App*> parsed; !(parsed = level->get_subcommands()).empty();)
    level = parsed.front();
  return level;
}

// Results that never reached stdout (a full disk, a closed pipe) make the run fail.
bool stdoutFailed() {
  // errno still tells why an earlier write failed: nothing in between clears it.
  std::cout.flush();
  return std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout;
}

// The exit status of a run that produced `status`, once its results are out.
int afterResults(int status) {
  if (!stdoutFailed()) return status;
  if (errno == EPIPE) return kFailure;  // the reader has gone: nobody to tell
  std::cerr << "mcjobs: <stdout>: cannot write the results: " << std::strerror(errno ? errno : EIO)
            << std::endl;
  return kFailure;
}

// A command line that parses but cannot be carried out as given.
int usageFailure(const char* message) {
  std::cout.flush();
  std::cerr << "mcjobs: " << mcjobs::withoutControls(message)
            << "\nRun with --help for more information." << std::endl;
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails with EFBIG, which the writers
  // undo and report, instead of the signal killing the process mid-write.
  std::signal(SIGXFSZ, SIG_IGN);
  // A closed pipe then fails the write with EPIPE: exit status 3, as for any
  // lost result, but quietly, instead of death by the signal.
  std::signal(SIGPIPE, SIG_IGN);

  CLI::App app{"Mixed-criticality job sets with precedence constraints.", "mcjobs"};
  // CLI11's own errors read as ours: the program's name first, the typed text shown safely.
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "mcjobs: " + mcjobs::withoutControls(error.what()) +
           "\nRun with --help for more information.\n";
  });
  app.set_version_flag("--version", std::string("mcjobs ") + MCJOBS_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 ok, 1 usage error, 2 scale parse error, 3 failure.\n"
      "A FILE of '-' is stdin; an OUT of '-' (the default) is stdout.");

  Action action;
  addCheckCommand(app, action);
  addScaleCommand(app, action);
  addShowCommands(app, action);
  addStatsCommand(app, action);
  addWindowsCommand(app, action);
  addLoadCommand(app, action);
  addDotCommand(app, action);
  addConvertCommand(app, action);
  addArchiveCommand(app, action);
  addGenerateCommand(app, action);
  addScheduleCommand(app, action);

  const std::string unknown = unknownCommand(app, argc, argv);
  if (!unknown.empty()) {
    std::cerr << "mcjobs: " << unknown << "\nRun with --help for more information." << std::endl;
    return kUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // CLI11 has its own status per kind of error; all of them are usage errors here.
    // A help or version text that cannot be written is no success either.
    return app.exit(error) == 0 ? afterResults(kSuccess) : kUsage;
  }

  // A trace printed into a JSON document would break it; it goes to stderr then.
  CLI::App* command = chosenCommand(app);
  const CLI::Option* json = command->get_option_no_throw("--json");
  if (json != nullptr && json->count() > 0 && propDebug()) keepStdoutForResults();

  int status;
  try {
    status = action();
  } catch (const ResultsReaderGone&) {
    return kFailure;
  } catch (const UsageError& error) {
    return usageFailure(error.what());
  } catch (const mcjobs::OptionError& error) {
    return usageFailure(error.what());
  } catch (const CheckError& error) {
    std::cout.flush();
    std::cerr << "mcjobs: " << mcjobs::describeFailure(error) << std::endl;
    return kFailure;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "mcjobs: " << error.what() << std::endl;
    return kFailure;
  }
  return afterResults(status);
}
