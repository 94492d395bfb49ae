// mcjobs check: one verdict line per file on stdout, in argument order.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "explain.h"
#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

// A bad file's verdict is the check's result, not a failure of the tool, so
// it goes to stdout beside the good ones: one line per file, in order.
// Lines the tolerant reader changes are warned about on stderr; they make
// the check fail only under --strict.
int runCheck(const std::vector<std::string>& files) {
  int status = kSuccess;
  for (const std::string& file : files) {
    JobInstance instance;
    std::vector<std::string> warnings;
    try {
      readInstance(file, instance, warnings);
    } catch (const CheckError& error) {
      printLine(mcjobs::describeFailure(error));
      status = kFailure;
      continue;
    } catch (const std::exception& error) {
      printLine(error.what());
      status = kFailure;
      continue;
    }
    if (!warnings.empty()) {
      std::cout.flush();
      for (const std::string& warning : warnings) std::cerr << "mcjobs: " << warning << "\n";
      std::cerr.flush();
      if (strictReading()) status = kFailure;
    }
    printLine(displayName(file) + ": ok, " + std::to_string(instance.numJobs()) + " jobs (" +
              std::to_string(instance.numJobs(CRIT_LO)) + " LO, " +
              std::to_string(instance.numJobs(CRIT_HI)) + " HI), " +
              std::to_string(instance.getAllArcs().size()) + " arcs");
  }
  return status;
}

}  // namespace

void addCheckCommand(CLI::App& app, Action& action) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* command =
      app.add_subcommand("check", "Read each instance file and report it valid or not");
  command->add_option("FILE", *files, "Instance files ('-' for stdin)")->required();
  addInputOptions(*command);
  command->footer(
      "Prints 'FILE: ok, N jobs (L LO, H HI), M arcs' or 'FILE:LINE: message' per file;\n"
      "exit status 3 when any file is invalid. Lines that the tolerant reader changes\n"
      "(text after a job line's five values, job names such as J1.5) are warned about on\n"
      "stderr; under --strict they make the exit status 3.");
  command->callback([files, &action] { action = [files] { return runCheck(*files); }; });
}

}  // namespace mcjobs_tool
