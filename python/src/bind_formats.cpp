// Other tools' formats from Python: from_json/from_dot/from_stg/from_nptest read
// text into an instance, and the to_* methods write it, through the library's
// interchange readers and writers.
#include <mcjobs/interchange.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

#include "binding.h"

namespace mcjobs_python {
namespace {

// Runs a reader on `text` with the GIL released.
template <typename Read>
py::object readText(const std::string& text, Read read) {
  JobInstance jobs;
  {
    py::gil_scoped_release release;
    std::istringstream in(text);
    jobs = read(in);
  }
  return wrap(std::move(jobs));
}

mcjobs::InterchangeOptions levelOptions(int level) {
  mcjobs::InterchangeOptions options;
  options.level = checkLevel(level);
  return options;
}

const Binding kBinding{
    40, [](py::module_& m) {
      m.def(
          "from_json",
          [](const std::string& text, const std::string& name) {
            return readText(text, [&](std::istream& in) { return mcjobs::readJson(in, name); });
          },
          py::arg("text"), py::arg("name") = "<string>",
          "An instance from a NetworkX node-link JSON document (links under 'links' or\n"
          "'edges'). CheckError names `name` and the line of a bad node or link.");
      m.def(
          "from_dot",
          [](const std::string& text, const std::string& name, const py::object& window, int wcet) {
            mcjobs::InterchangeOptions options;
            if (!window.is_none()) {
              const auto pair = window.cast<std::pair<int, int>>();
              options.hasDefaultWindow = true;
              options.defaultArrival = pair.first;
              options.defaultDeadline = pair.second;
            }
            options.defaultWcet = wcet;
            return readText(text,
                            [&](std::istream& in) { return mcjobs::readDot(in, name, options); });
          },
          py::arg("text"), py::arg("name") = "<string>", py::kw_only(),
          py::arg("default_window") = py::none(), py::arg("default_wcet") = 0,
          "An instance from a Graphviz digraph whose nodes carry arrival, deadline, criticality,\n"
          "lo_wcet and hi_wcet (what to_dot writes), or take default_window=(A, D) and\n"
          "default_wcet=C.");
      m.def(
          "from_stg",
          [](const std::string& text, const std::string& name, std::int64_t deadline,
             double deadlineFactor, double hiFraction, std::uint64_t seed,
             double criticalityFactor) {
            mcjobs::InterchangeOptions options;
            options.deadline = deadline;
            options.deadlineFactor = deadlineFactor;
            options.hiFraction = hiFraction;
            options.seed = seed;
            options.criticalityFactor = criticalityFactor;
            return readText(text,
                            [&](std::istream& in) { return mcjobs::readStg(in, name, options); });
          },
          py::arg("text"), py::arg("name") = "<string>", py::kw_only(), py::arg("deadline") = 0,
          py::arg("deadline_factor") = 1.0, py::arg("hi_fraction") = 0.0, py::arg("seed") = 1,
          py::arg("criticality_factor") = 2.0,
          "An instance from a Standard Task Graph Set file: windows [0, deadline] (or\n"
          "deadline_factor x the critical path), round(hi_fraction x n) tasks HI chosen by seed.");
      m.def(
          "from_nptest",
          [](const std::string& jobs, const py::object& precedence, int level,
             const std::string& release) {
            mcjobs::InterchangeOptions options = levelOptions(level);
            if (!mcjobs::nptestReleaseFromName(release, options.release))
              throw py::value_error("release must be 'exact', 'min' or 'max'");
            const std::string arcs = precedence.is_none() ? "" : precedence.cast<std::string>();
            return readText(jobs, [&](std::istream& in) {
              std::istringstream arcsIn(arcs);
              return mcjobs::readNptest(in, "<jobs>", precedence.is_none() ? nullptr : &arcsIn,
                                        "<precedence>", options);
            });
          },
          py::arg("jobs"), py::arg("precedence") = py::none(), py::kw_only(),
          py::arg("level") = static_cast<int>(CRIT_LO), py::arg("release") = "exact",
          "An instance from the job CSV (and precedence CSV) of an nptest job set.");

      auto instance = py::reinterpret_borrow<py::class_<Instance>>(m.attr("JobInstance"));
      instance
          .def(
              "to_json", [](Instance& self) { return withInstance(self, &mcjobs::writeJson); },
              "The NetworkX node-link JSON document (networkx.node_link_graph reads it).")
          .def(
              "to_dot",
              [](Instance& self, int level, bool reduce) {
                checkLevel(level);
                return withInstance(
                    self, [&](JobInstance& jobs) { return mcjobs::writeDot(jobs, level, reduce); });
              },
              py::arg("level") = static_cast<int>(CRIT_LO), py::arg("reduce") = false,
              "The Graphviz drawing, with the job data as node attributes.")
          .def(
              "to_stg",
              [](Instance& self, int level) {
                const mcjobs::InterchangeOptions options = levelOptions(level);
                return withInstance(
                    self, [&](JobInstance& jobs) { return mcjobs::writeStg(jobs, options); });
              },
              py::arg("level") = static_cast<int>(CRIT_LO),
              "The STG file of one level's jobs, budgets and arcs.")
          .def(
              "to_nptest",
              [](Instance& self, int level, double bcetRatio, const std::string& priority) {
                mcjobs::InterchangeOptions options = levelOptions(level);
                options.bcetRatio = bcetRatio;
                if (!mcjobs::nptestPriorityFromName(priority, options.priority))
                  throw py::value_error("priority must be 'edf', 'alap' or 'id'");
                const mcjobs::NptestFiles files = withInstance(
                    self, [&](JobInstance& jobs) { return mcjobs::writeNptest(jobs, options); });
                return py::make_tuple(files.jobs, files.precedence);
              },
              py::arg("level") = static_cast<int>(CRIT_LO), py::arg("bcet_ratio") = 1.0,
              py::arg("priority") = "edf",
              "The nptest job CSV and precedence CSV of one level, as a pair of strings.");
    }};

}  // namespace
}  // namespace mcjobs_python
