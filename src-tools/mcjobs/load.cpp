// mcjobs load: the load or stress of a job set, or "infeasible".
#include <cfloat>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "explain.h"
#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

struct LoadOptions {
  std::string file;
  int level = CRIT_LO;
  bool mixed = false;
  int processors = 1;
  std::vector<std::string> jobs;
  bool json = false;
};

int runLoad(const LoadOptions& options) {
  if (options.mixed && options.level != CRIT_LO)
    throw UsageError("--mixed is defined only for --level lo");
  JobInstance instance;
  readInstance(options.file, instance);

  std::set<int> chosen;
  for (const std::string& name : options.jobs) {
    const int id = Job::idFromName(name);
    if (id >= instance.numJobs())
      throw UsageError("--jobs: " + displayName(options.file) + " has no job " + name +
                       " (it has " + std::to_string(instance.numJobs()) + ")");
    chosen.insert(id);
  }
  const double load = instance.getStress(options.level, options.mixed, options.processors,
                                         options.jobs.empty() ? nullptr : &chosen);
  const bool feasible = load != DBL_MAX;

  if (options.json) {
    nlohmann::json doc{{"level", levelKey(options.level)},
                       {"mixed", options.mixed},
                       {"processors", options.processors}};
    if (options.jobs.empty())
      for (int id = 0; id < instance.numJobs(); ++id) chosen.insert(id);
    nlohmann::json ids = nlohmann::json::array();
    for (int id : chosen) ids.push_back(Job::nameFromId(id));
    doc["jobs"] = ids;
    doc["feasible"] = feasible;
    doc["load"] = feasible ? nlohmann::json(load) : nlohmann::json("infeasible");
    writeText(doc.dump(2) + "\n", "-");
  } else {
    writeText((feasible ? formatNumber(load) : std::string("infeasible")) + "\n", "-");
  }
  return kSuccess;
}

// Job names are checked while parsing, so a typo is a usage error. Unlike
// the tolerant file reader, which reads "J1x" as J1, a name here is exactly
// "J" and a positive number.
std::string validateJobName(const std::string& name) {
  bool wellFormed =
      name.size() >= 2 && name[0] == 'J' && name[1] >= '1' && name[1] <= '9' && name.size() <= 11;
  for (size_t i = 2; wellFormed && i < name.size(); ++i)
    wellFormed = name[i] >= '0' && name[i] <= '9';
  if (wellFormed) {
    try {
      Job::idFromName(name);
    } catch (const CheckError&) {
      wellFormed = false;
    }
  }
  if (wellFormed) return std::string();
  return "'" + mcjobs::abbreviate(name) + "' is not a job name (J followed by a positive number)";
}

}  // namespace

void addLoadCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<LoadOptions>();
  CLI::App* command =
      app.add_subcommand("load", "Print the load (stress) of a job set, or 'infeasible'");
  command->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  addLevelOption(*command, options->level, "Level measured (default: lo)");
  command->add_flag("--mixed", options->mixed,
                    "Judge feasibility with HI deadlines shortened by their extra budget\n"
                    "(lo only); the load value itself does not change");
  command->add_option("-p,--processors", options->processors, "Number of processors (default: 1)")
      ->check(CLI::Range(1, INT32_MAX))
      ->option_text("N");
  command->add_option("--jobs", options->jobs, "Only these jobs, e.g. J1,J4")
      ->delimiter(',')
      ->check(CLI::Validator(validateJobName, "J1,J4,...", "job name"))
      ->option_text("J1,J4,...");
  command->add_flag("--json", options->json, "One JSON document instead of the bare value");
  command->footer(
      "The largest demand over the intervals between an arrival and a later deadline of the\n"
      "chosen jobs. 'infeasible' (exit status 0) when some window cannot hold its budget once\n"
      "windows are tightened along the precedence graph.");
  command->callback([options, &action] { action = [options] { return runLoad(*options); }; });
}

}  // namespace mcjobs_tool
