// mcjobs show / deps: the library's job list and dependency dump.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

// Reads FILE and prints it with one of the library's dumps.
void addDumpCommand(CLI::App& app, Action& action, const std::string& name, const std::string& help,
                    void (JobInstance::*dump)()) {
  auto file = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(name, help);
  command->add_option("FILE", *file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  command->callback([file, dump, &action] {
    action = [file, dump] {
      JobInstance instance;
      readInstance(*file, instance);
      (instance.*dump)();
      std::cout.flush();
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail("<stdout>", "cannot write", errno);
      return kSuccess;
    };
  });
}

}  // namespace

void addShowCommands(CLI::App& app, Action& action) {
  addDumpCommand(app, action, "show", "List every job, then every arc", &JobInstance::print_jobs);
  addDumpCommand(app, action, "deps",
                 "Dump the direct and transitive dependencies per job and level",
                 &JobInstance::dumpDependencies);
}

}  // namespace mcjobs_tool
