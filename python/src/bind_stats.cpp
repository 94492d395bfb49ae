// inst.stats(): the per-level summary of `mcjobs stats --json`, with the same
// keys and values, computed by the library's computeStats.
#include <mcjobs/stats.h>

#include <cfloat>

#include "binding.h"

namespace mcjobs_python {
namespace {

py::object loadValue(double load) {
  if (load == DBL_MAX) return py::str("infeasible");
  return py::float_(load);
}

// Two entries keyed "lo" and "hi", as the command line's JSON has them.
template <typename Value>
py::dict perLevel(const mcjobs::InstanceStats& stats, Value&& value) {
  py::dict levels;
  levels["lo"] = value(stats.level(CRIT_LO));
  levels["hi"] = value(stats.level(CRIT_HI));
  return levels;
}

py::dict statsDict(const mcjobs::InstanceStats& stats) {
  py::dict doc;
  py::dict jobs;
  jobs["total"] = stats.jobs;
  jobs["lo"] = stats.loJobs;
  jobs["hi"] = stats.hiJobs;
  doc["jobs"] = jobs;
  doc["arcs"] = perLevel(stats, [](const mcjobs::LevelStats& level) { return level.arcs; });
  doc["closure_pairs"] =
      perLevel(stats, [](const mcjobs::LevelStats& level) { return level.closurePairs; });
  doc["longest_path"] = perLevel(stats, [](const mcjobs::LevelStats& level) {
    py::list names;
    for (int id : level.longestPath.jobs) names.append(Job::nameFromId(id));
    py::dict path;
    path["length"] = level.longestPath.length;
    path["jobs"] = names;
    return path;
  });
  doc["total_budget"] =
      perLevel(stats, [](const mcjobs::LevelStats& level) { return level.totalBudget; });
  doc["load"] =
      perLevel(stats, [](const mcjobs::LevelStats& level) { return loadValue(level.load); });
  if (stats.hasHorizon) {
    py::dict horizon;
    horizon["start"] = stats.horizonStart;
    horizon["end"] = stats.horizonEnd;
    doc["horizon"] = horizon;
    py::dict utilization;
    utilization["lo"] = stats.utilization[CRIT_LO - 1];
    utilization["hi"] = stats.utilization[CRIT_HI - 1];
    doc["utilization"] = utilization;
  } else {
    doc["horizon"] = py::none();
    doc["utilization"] = py::none();
  }
  if (stats.processors != 1) doc["processors"] = stats.processors;
  return doc;
}

}  // namespace

void initStats(py::module_& m) {
  auto instance = py::reinterpret_borrow<py::class_<Instance>>(m.attr("JobInstance"));
  instance.def(
      "stats",
      [](Instance& self, int processors) {
        if (processors < 1)
          throw py::value_error("processors must be at least 1, not " + std::to_string(processors));
        return statsDict(withInstance(self, [processors](JobInstance& core) {
          return mcjobs::computeStats(core, processors);
        }));
      },
      py::arg("processors") = 1,
      "The summary that `mcjobs stats --json` prints, as a dict with the same keys:\n"
      "jobs, arcs, closure_pairs, longest_path, total_budget and load per level ('lo',\n"
      "'hi'; a load is 'infeasible' when no schedule exists), the horizon and the\n"
      "utilization divided by `processors` (None for an empty set), and 'processors'\n"
      "when it is not 1.");
}

}  // namespace mcjobs_python
