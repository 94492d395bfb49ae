// Other tools' formats from Python: from_json/from_dot/from_stg/from_nptest read
// text into an instance, and the to_* methods write it, through the library's
// interchange readers and writers.
#include <mcjobs/interchange.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// The command line's ranges of the numeric options; NaN is outside every one.
void checkRange(const char* name, double value, double low, double high, const char* range) {
  if (!(value >= low && value <= high))
    throw py::value_error(std::string(name) + " must be in " + range + ", not " +
                          py::repr(py::float_(value)).cast<std::string>());
}

// An integer option: 0 (not given) or 1..2147483647.
void checkPositive(const char* name, std::int64_t value) {
  if (value < 0 || value > INT32_MAX)
    throw py::value_error(std::string(name) + " must be in 1..2147483647 (or 0 for none), not " +
                          std::to_string(value));
}

// A reader's "name:line: warning: words" as a Python warning "name:line: words".
void warn(const std::vector<std::string>& warnings) {
  static const std::string kMarker = ": warning: ";
  for (std::string text : warnings) {
    const size_t marker = text.find(kMarker);
    if (marker != std::string::npos) text.replace(marker, kMarker.size(), ": ");
    if (PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 1) != 0) throw py::error_already_set();
  }
}

mcjobs::InterchangeOptions levelOptions(int level) {
  mcjobs::InterchangeOptions options;
  options.level = checkLevel(level);
  return options;
}

}  // namespace

void initFormats(py::module_& m) {
  m.def(
      "from_json",
      [](const std::string& text, const std::string& name) {
        std::vector<std::string> warnings;
        py::object instance = readText(text, [&](std::istream& in) {
          return mcjobs::readJson(in, name, mcjobs::InterchangeOptions(), &warnings);
        });
        warn(warnings);
        return instance;
      },
      py::arg("text"), py::arg("name") = "<string>",
      "An instance from a NetworkX node-link JSON document (links under 'links' or\n"
      "'edges'). CheckError names `name` and the line of a bad node or link; a warning\n"
      "names the nodes renumbered when their ids are not exactly J1..Jn (or 0..n-1).");
  m.def(
      "from_dot",
      [](const std::string& text, const std::string& name, const py::object& window, int wcet) {
        mcjobs::InterchangeOptions options;
        if (!window.is_none()) {
          std::pair<int, int> pair;
          try {
            pair = window.cast<std::pair<int, int>>();
          } catch (const py::cast_error&) {
            throw py::type_error("default_window must be a pair (arrival, deadline) of ints");
          }
          options.hasDefaultWindow = true;
          options.defaultArrival = pair.first;
          options.defaultDeadline = pair.second;
        }
        checkPositive("default_wcet", wcet);
        options.defaultWcet = wcet;
        return readText(text, [&](std::istream& in) { return mcjobs::readDot(in, name, options); });
      },
      py::arg("text"), py::arg("name") = "<string>", py::kw_only(),
      py::arg("default_window") = py::none(), py::arg("default_wcet") = 0,
      "An instance from a Graphviz digraph whose nodes carry arrival, deadline, criticality,\n"
      "lo_wcet and hi_wcet (what to_dot writes), or take default_window=(A, D) and\n"
      "default_wcet=C.");
  m.def(
      "from_stg",
      [](const std::string& text, const std::string& name, std::int64_t deadline,
         double deadlineFactor, double hiFraction, std::uint64_t seed, double criticalityFactor) {
        checkPositive("deadline", deadline);
        if (!(deadlineFactor > 0) || std::isinf(deadlineFactor))
          throw py::value_error("deadline_factor must be a positive number");
        checkRange("hi_fraction", hiFraction, 0, 1, "[0, 1]");
        checkRange("criticality_factor", criticalityFactor, 1, 1e9, "[1, 1e9]");
        mcjobs::InterchangeOptions options;
        options.deadline = deadline;
        options.deadlineFactor = deadlineFactor;
        options.hiFraction = hiFraction;
        options.seed = seed;
        options.criticalityFactor = criticalityFactor;
        return readText(text, [&](std::istream& in) { return mcjobs::readStg(in, name, options); });
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
        if (!precedence.is_none() && !py::isinstance<py::str>(precedence))
          throw py::type_error("precedence must be the text of the precedence CSV, or None");
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
            return withInstance(self,
                                [&](JobInstance& jobs) { return mcjobs::writeStg(jobs, options); });
          },
          py::arg("level") = static_cast<int>(CRIT_LO),
          "The STG file of one level's jobs, budgets and arcs.")
      .def(
          "to_nptest",
          [](Instance& self, int level, double bcetRatio, const std::string& priority) {
            mcjobs::InterchangeOptions options = levelOptions(level);
            checkRange("bcet_ratio", bcetRatio, 0, 1, "[0, 1]");
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
}

}  // namespace mcjobs_python
