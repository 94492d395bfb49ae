// mcjobs stats: size, closure, critical path, budget, horizon and load per level.
#include "stats.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

constexpr int kLevels[] = {CRIT_LO, CRIT_HI};

nlohmann::json loadJson(double load) {
  return load == DBL_MAX ? nlohmann::json("infeasible") : nlohmann::json(load);
}

std::string loadText(double load) {
  return load == DBL_MAX ? "infeasible" : formatNumber(load);
}

std::string pathText(const mcjobs::LongestPath& path) {
  std::string text = std::to_string(path.length);
  if (path.jobs.empty()) return text;
  text += " (";
  for (size_t i = 0; i < path.jobs.size(); ++i)
    text += (i ? " " : "") + Job::nameFromId(path.jobs[i]);
  return text + ")";
}

int runStats(const std::string& file, bool json, int processors) {
  JobInstance instance;
  readInstance(file, instance);
  const mcjobs::InstanceStats stats = mcjobs::computeStats(instance, processors);
  const mcjobs::LevelStats& lo = stats.level(CRIT_LO);
  const mcjobs::LevelStats& hi = stats.level(CRIT_HI);
  const bool any = stats.hasHorizon;
  auto utilization = [&stats](int level) { return stats.utilization[level - 1]; };

  if (json) {
    nlohmann::json doc;
    doc["jobs"] = {{"total", instance.numJobs()},
                   {"lo", instance.numJobs(CRIT_LO)},
                   {"hi", instance.numJobs(CRIT_HI)}};
    for (int level : kLevels) {
      const mcjobs::LevelStats& level_stats = stats.level(level);
      const char* key = levelKey(level);
      nlohmann::json path = nlohmann::json::array();
      for (int id : level_stats.longestPath.jobs) path.push_back(Job::nameFromId(id));
      doc["arcs"][key] = level_stats.arcs;
      doc["closure_pairs"][key] = level_stats.closurePairs;
      doc["longest_path"][key] = {{"length", level_stats.longestPath.length}, {"jobs", path}};
      doc["total_budget"][key] = level_stats.totalBudget;
      doc["load"][key] = loadJson(level_stats.load);
    }
    doc["horizon"] = any ? nlohmann::json{{"start", stats.horizonStart}, {"end", stats.horizonEnd}}
                         : nlohmann::json(nullptr);
    doc["utilization"] =
        any ? nlohmann::json{{"lo", utilization(CRIT_LO)}, {"hi", utilization(CRIT_HI)}}
            : nlohmann::json(nullptr);
    if (processors != 1) doc["processors"] = processors;
    writeText(doc.dump(2) + "\n", "-");
    return kSuccess;
  }

  std::ostringstream text;
  text << "jobs: " << instance.numJobs() << " (" << instance.numJobs(CRIT_LO) << " LO, "
       << instance.numJobs(CRIT_HI) << " HI)\n"
       << "arcs: LO " << lo.arcs << ", HI " << hi.arcs << "\n"
       << "closure pairs: LO " << lo.closurePairs << ", HI " << hi.closurePairs << "\n"
       << "longest path: LO " << pathText(lo.longestPath) << ", HI " << pathText(hi.longestPath)
       << "\n"
       << "total budget: LO " << lo.totalBudget << ", HI " << hi.totalBudget << "\n";
  if (any)
    text << "horizon: [" << stats.horizonStart << ", " << stats.horizonEnd << "]\n"
         << "utilization"
         << (processors == 1 ? "" : " on " + std::to_string(processors) + " processors") << ": LO "
         << formatNumber(utilization(CRIT_LO)) << ", HI " << formatNumber(utilization(CRIT_HI))
         << "\n";
  else
    text << "horizon: none\nutilization: none\n";
  text << "load: LO " << loadText(lo.load) << ", HI " << loadText(hi.load) << "\n";
  writeText(text.str(), "-");
  return kSuccess;
}

}  // namespace

void addStatsCommand(CLI::App& app, Action& action) {
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto processors = std::make_shared<int>(1);
  CLI::App* command = app.add_subcommand("stats", "Summarise an instance per criticality level");
  command->add_option("FILE", *file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  command->add_flag("--json", *json, "One JSON document instead of text");
  command
      ->add_option("--processors", *processors,
                   "Processors the utilization is divided by (default 1)")
      ->option_text("M")
      ->check(CLI::Range(1, INT32_MAX));
  command->footer(
      "Per level: arcs, closure pairs (reachable ordered pairs), the longest path weighted by\n"
      "budgets, the total budget of the jobs taking part (all at LO, HI jobs at HI), the\n"
      "utilization (total budget / horizon length / processors) and the load on one\n"
      "processor, or 'infeasible'. The horizon spans the earliest arrival to the latest deadline,\n"
      "so for a periodic set whose deadlines differ from its periods the utilization here is\n"
      "not the sum of budget / period per processor that `generate --json` reports.");
  command->callback([file, json, processors, &action] {
    action = [file, json, processors] { return runStats(*file, *json, *processors); };
  });
}

}  // namespace mcjobs_tool
