// mcjobs dot: the precedence DAG as a Graphviz digraph.
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mcjobs/common.h"
#include "reach_scan.h"

namespace mcjobs_tool {

namespace {

struct DotOptions {
  std::string file;
  int level = CRIT_LO;
  bool reduce = false;
  std::string out = "-";
};

std::string nodeLine(const Job& job) {
  std::ostringstream line;
  line << "  " << job.name() << " [label=\"" << job.name() << "\\n[" << job.arrival << ", "
       << job.deadline << "]\\n";
  if (job.criticality == CRIT_HI)
    line << "C(LO)=" << job.lo_wcet << " C(HI)=" << job.hi_wcet
         << "\", shape=box, style=\"rounded,filled,bold\", fillcolor=\"#f6c7b6\", "
            "color=\"#a0301a\"];\n";
  else
    line << "C=" << job.lo_wcet << "\", shape=ellipse, style=filled, fillcolor=\"#dde7f3\"];\n";
  return line.str();
}

int runDot(const DotOptions& options) {
  JobInstance instance;
  readInstance(options.file, instance);
  std::ostringstream dot;
  dot << "digraph jobs {\n"
      << "  rankdir=LR;\n"
      << "  node [fontname=\"Helvetica\", fontsize=10];\n"
      << "  edge [color=\"#333333\"];\n"
      << "  label=\"" << (options.level == CRIT_HI ? "HI graph" : "LO graph")
      << (options.reduce ? ", transitive reduction" : "")
      << ". Boxes: HI jobs, ellipses: LO jobs; [arrival, deadline], budgets C. "
         "Solid arcs: both levels; dashed: LO only.\";\n"
      << "  labelloc=b;\n  fontname=\"Helvetica\";\n  fontsize=10;\n";
  for (const Job& job : instance)
    if (job.criticality >= options.level) dot << nodeLine(job);
  // u -> v is implied when v is reachable from another direct successor of u.
  std::vector<std::pair<int, int>> implied;
  if (options.reduce)
    implied = mcjobs_detail::scanReachability(instance, options.level, true).impliedArcs;
  for (const Arc& arc : instance.getAllArcs()) {
    const bool atHi = instance.getSuccessors(arc.from_id, CRIT_HI).contains(arc.to_id);
    if (options.level == CRIT_HI && !atHi) continue;
    if (std::binary_search(implied.begin(), implied.end(), std::make_pair(arc.from_id, arc.to_id)))
      continue;
    dot << "  " << Job::nameFromId(arc.from_id) << " -> " << Job::nameFromId(arc.to_id)
        << (atHi ? " [style=solid, penwidth=2];\n" : " [style=dashed, color=\"#777777\"];\n");
  }
  dot << "}\n";
  writeText(dot.str(), options.out);
  return kSuccess;
}

}  // namespace

void addDotCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<DotOptions>();
  CLI::App* command = app.add_subcommand("dot", "Write the precedence DAG in Graphviz DOT");
  command->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  addStrictOption(*command);
  addLevelOption(*command, options->level,
                 "lo: every job and arc (default); hi: the HI jobs and their arcs");
  command->add_flag("--reduce", options->reduce, "Draw only the arcs no other path implies");
  command->add_option("-o,--output", options->out, "Output DOT file ('-' for stdout)")
      ->option_text("OUT");
  command->footer("Render with Graphviz, e.g.: mcjobs dot FILE | dot -Tpng -o dag.png");
  command->callback([options, &action] { action = [options] { return runDot(*options); }; });
}

}  // namespace mcjobs_tool
