// mcjobs stats: size, closure, critical path, budget, horizon and load per level.
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
#include "reach_scan.h"
#include "topo_order.h"

namespace mcjobs_tool {

namespace {

constexpr int kLevels[] = {CRIT_LO, CRIT_HI};

struct LevelStats {
  long long arcs = 0;
  long long closurePairs = 0;
  long long longestPath = 0;
  std::vector<int> longestPathJobs;
  long long totalBudget = 0;
  double load = 0.0;
};

// The jobs that take part at a level: all of them at LO, the HI ones at HI.
bool takesPart(const Job& job, int level) {
  return job.criticality >= level;
}

// Heaviest path of the level's DAG, weighting each job with its budget there.
// Jobs are visited in a topological order, so one pass suffices.
void computeLongestPath(JobInstance& instance, const mcjobs_detail::LevelGraph& graph, int level,
                        LevelStats& stats) {
  const int count = instance.numJobs();
  std::vector<long long> best(static_cast<size_t>(count), 0);
  std::vector<int> previous(static_cast<size_t>(count), NO_JOB_ID);
  int end = NO_JOB_ID;
  for (int id : mcjobs_detail::topologicalOrder(graph)) {
    const Job& job = *instance.job_at(id);
    if (!takesPart(job, level)) continue;  // a LO job has no arcs at HI
    best[id] += job.getWCET(level);
    if (end == NO_JOB_ID || best[id] > best[end]) end = id;
    for (const int* successor = graph.begin(id); successor != graph.end(id); ++successor) {
      if (best[id] > best[*successor]) {
        best[*successor] = best[id];
        previous[*successor] = id;
      }
    }
  }
  if (end == NO_JOB_ID) return;
  stats.longestPath = best[end];
  for (int id = end; id != NO_JOB_ID; id = previous[id]) stats.longestPathJobs.push_back(id);
  std::reverse(stats.longestPathJobs.begin(), stats.longestPathJobs.end());
}

LevelStats levelStats(JobInstance& instance, int level) {
  LevelStats stats;
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(instance, level);
  stats.arcs = static_cast<long long>(graph.successors.size());
  for (int id = 0; id < instance.numJobs(); ++id) {
    const Job& job = *instance.job_at(id);
    if (takesPart(job, level)) stats.totalBudget += job.getWCET(level);
  }
  stats.closurePairs = mcjobs_detail::scanReachability(graph, false).pairs;
  computeLongestPath(instance, graph, level, stats);
  stats.load = instance.getLoad(level, false);
  return stats;
}

nlohmann::json loadJson(double load) {
  return load == DBL_MAX ? nlohmann::json("infeasible") : nlohmann::json(load);
}

std::string loadText(double load) {
  return load == DBL_MAX ? "infeasible" : formatNumber(load);
}

std::string pathText(const LevelStats& stats) {
  std::string text = std::to_string(stats.longestPath);
  if (stats.longestPathJobs.empty()) return text;
  text += " (";
  for (size_t i = 0; i < stats.longestPathJobs.size(); ++i)
    text += (i ? " " : "") + Job::nameFromId(stats.longestPathJobs[i]);
  return text + ")";
}

int runStats(const std::string& file, bool json, int processors) {
  JobInstance instance;
  readInstance(file, instance);
  LevelStats levels[CRIT_COUNT];
  for (int level : kLevels) levels[level - 1] = levelStats(instance, level);
  const LevelStats& lo = levels[CRIT_LO - 1];
  const LevelStats& hi = levels[CRIT_HI - 1];

  bool any = false;
  int start = 0;
  int end = 0;
  for (const Job& job : instance) {
    start = any ? std::min(start, job.arrival) : job.arrival;
    end = any ? std::max(end, job.deadline) : job.deadline;
    any = true;
  }

  // Total budget per time unit of the horizon and per processor.
  const double span = static_cast<double>(end) - static_cast<double>(start);
  auto utilization = [&](const LevelStats& stats) {
    return static_cast<double>(stats.totalBudget) / span / processors;
  };

  if (json) {
    nlohmann::json doc;
    doc["jobs"] = {{"total", instance.numJobs()},
                   {"lo", instance.numJobs(CRIT_LO)},
                   {"hi", instance.numJobs(CRIT_HI)}};
    for (int level : kLevels) {
      const LevelStats& stats = levels[level - 1];
      const char* key = levelKey(level);
      nlohmann::json path = nlohmann::json::array();
      for (int id : stats.longestPathJobs) path.push_back(Job::nameFromId(id));
      doc["arcs"][key] = stats.arcs;
      doc["closure_pairs"][key] = stats.closurePairs;
      doc["longest_path"][key] = {{"length", stats.longestPath}, {"jobs", path}};
      doc["total_budget"][key] = stats.totalBudget;
      doc["load"][key] = loadJson(stats.load);
    }
    doc["horizon"] = any ? nlohmann::json{{"start", start}, {"end", end}} : nlohmann::json(nullptr);
    doc["utilization"] = any ? nlohmann::json{{"lo", utilization(lo)}, {"hi", utilization(hi)}}
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
       << "longest path: LO " << pathText(lo) << ", HI " << pathText(hi) << "\n"
       << "total budget: LO " << lo.totalBudget << ", HI " << hi.totalBudget << "\n";
  if (any)
    text << "horizon: [" << start << ", " << end << "]\n"
         << "utilization"
         << (processors == 1 ? "" : " on " + std::to_string(processors) + " processors") << ": LO "
         << formatNumber(utilization(lo)) << ", HI " << formatNumber(utilization(hi)) << "\n";
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
  addStrictOption(*command);
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
