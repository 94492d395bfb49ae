// mcjobs: every capability of the library as a subcommand, for shells and scripts.
//
// Exit statuses: 0 success, 1 usage error, 2 scale parse error (scale), 3 failure.
// Results go to stdout, diagnostics to stderr as "mcjobs: FILE:LINE: message".
#include <csignal>
#include <exception>
#include <iostream>

#include "mcjobs/common.h"

using namespace mcjobs_tool;

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails with EFBIG, which the writers
  // undo and report, instead of the signal killing the process mid-write.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"Mixed-criticality job sets with precedence constraints.", "mcjobs"};
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
  addArchiveCommand(app, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // CLI11 has its own status per kind of error; all of them are usage errors here.
    return app.exit(error) == 0 ? kSuccess : kUsage;
  }

  try {
    return action();
  } catch (const UsageError& error) {
    std::cout.flush();
    std::cerr << "mcjobs: " << error.what() << "\nRun with --help for more information."
              << std::endl;
    return kUsage;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "mcjobs: " << error.what() << std::endl;
    return kFailure;
  }
}
