// mcjobs show / deps: the library's job list and dependency dump.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

int finishStdout() {
  std::cout.flush();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw CheckError("<stdout>: cannot write");
  return kSuccess;
}

}  // namespace

void addShowCommands(CLI::App& app, Action& action) {
  auto file = std::make_shared<std::string>();
  CLI::App* show = app.add_subcommand("show", "List every job, then every arc");
  show->add_option("FILE", *file, "Instance file ('-' for stdin)")->required();
  show->callback([file, &action] {
    action = [file] {
      JobInstance instance;
      readInstance(*file, instance);
      instance.print_jobs();
      return finishStdout();
    };
  });

  CLI::App* deps =
      app.add_subcommand("deps", "Dump the direct and transitive dependencies per job and level");
  deps->add_option("FILE", *file, "Instance file ('-' for stdin)")->required();
  deps->callback([file, &action] {
    action = [file] {
      JobInstance instance;
      readInstance(*file, instance);
      instance.dumpDependencies();
      return finishStdout();
    };
  });
}

}  // namespace mcjobs_tool
