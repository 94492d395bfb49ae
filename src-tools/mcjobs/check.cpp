// mcjobs check: one verdict line per file on stdout, in argument order.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

// A bad file's verdict is the check's result, not a failure of the tool, so
// it goes to stdout beside the good ones: one line per file, in order.
int runCheck(const std::vector<std::string>& files) {
  int status = kSuccess;
  for (const std::string& file : files) {
    JobInstance instance;
    try {
      readInstance(file, instance);
    } catch (const std::exception& error) {
      std::cout << error.what() << std::endl;
      status = kFailure;
      continue;
    }
    std::cout << displayName(file) << ": ok, " << instance.numJobs() << " jobs ("
              << instance.numJobs(CRIT_LO) << " LO, " << instance.numJobs(CRIT_HI) << " HI), "
              << instance.getAllArcs().size() << " arcs" << std::endl;
  }
  return status;
}

}  // namespace

void addCheckCommand(CLI::App& app, Action& action) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* command =
      app.add_subcommand("check", "Read each instance file and report it valid or not");
  command->add_option("FILE", *files, "Instance files ('-' for stdin)")->required();
  command->footer(
      "Prints 'FILE: ok, N jobs (L LO, H HI), M arcs' or 'FILE:LINE: message' per file;\n"
      "exit status 3 when any file is invalid.");
  command->callback([files, &action] { action = [files] { return runCheck(*files); }; });
}

}  // namespace mcjobs_tool
