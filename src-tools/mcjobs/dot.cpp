// mcjobs dot: the precedence DAG as a Graphviz digraph whose nodes carry the job data.
#include <memory>
#include <string>

#include "interchange.h"
#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

struct DotOptions {
  std::string file;
  int level = CRIT_LO;
  bool reduce = false;
  std::string out = "-";
};

int runDot(const DotOptions& options) {
  JobInstance instance;
  readInstance(options.file, instance);
  writeText(mcjobs::writeDot(instance, options.level, options.reduce), options.out);
  return kSuccess;
}

}  // namespace

void addDotCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<DotOptions>();
  CLI::App* command = app.add_subcommand("dot", "Write the precedence DAG in Graphviz DOT");
  command->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  addLevelOption(*command, options->level,
                 "lo: every job and arc (default); hi: the HI jobs and their arcs");
  command->add_flag("--reduce", options->reduce, "Draw only the arcs no other path implies");
  command->add_option("-o,--output", options->out, "Output DOT file ('-' for stdout)")
      ->option_text("OUT");
  command->footer("Render with Graphviz, e.g.: mcjobs dot FILE | dot -Tpng -o dag.png");
  command->callback([options, &action] { action = [options] { return runDot(*options); }; });
}

}  // namespace mcjobs_tool
