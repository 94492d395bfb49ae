// Mixed-criticality scheduling tables from Python: inst.schedule() gives the
// verified HI and LO tables as the command line's JSON does, inst.verify_schedule()
// checks any tables, and inst.gantt_svg() draws them.
#include <mcjobs/gantt_svg.h>
#include <mcjobs/schedule.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "binding.h"

namespace mcjobs_python {
namespace {

const char* modeKey(int mode) {
  return mode == CRIT_HI ? "hi" : "lo";
}

py::list tableList(const std::vector<mcjobs::ScheduleSegment>& table) {
  py::list rows;
  for (const mcjobs::ScheduleSegment& s : table) {
    py::dict row;
    row["job"] = Job::nameFromId(s.job);
    row["id"] = s.job;
    row["processor"] = s.processor;
    row["start"] = s.start;
    row["end"] = s.end;
    rows.append(row);
  }
  return rows;
}

const char* const kTablesShape =
    "tables must be a schedule() result or a dict {'hi': [...], 'lo': [...]}";

const char* const kSegmentShape = "must be a dict {'job' or 'id', 'processor', 'start', 'end'}";

// `key` of a dict, or TypeError `lacking` followed by the key.
py::handle entry(const py::handle& dict, const char* key, const std::string& lacking) {
  if (!dict.contains(key)) throw py::type_error(lacking + "'" + key + "'");
  return dict[key];
}

// Segments from dicts with "id" (or a "job" name), "processor", "start", "end".
std::vector<mcjobs::ScheduleSegment> tableOf(const py::handle& rows, const char* mode) {
  std::vector<mcjobs::ScheduleSegment> table;
  for (const py::handle& row : rows) {
    const std::string where =
        std::string(mode) + " table, segment " + std::to_string(table.size()) + ": ";
    if (!py::isinstance<py::dict>(row))
      throw py::type_error(where + kSegmentShape + ", not " + py::repr(row).cast<std::string>());
    if (!row.contains("id") && !row.contains("job"))
      throw py::type_error(where + "neither 'id' nor 'job'");
    for (const char* key : {"processor", "start", "end"}) entry(row, key, where + "no ");
    mcjobs::ScheduleSegment s;
    try {
      s.job = row.contains("id") ? row["id"].cast<int>()
                                 : Job::idFromName(row["job"].cast<std::string>());
      s.processor = row["processor"].cast<int>();
      s.start = row["start"].cast<std::int64_t>();
      s.end = row["end"].cast<std::int64_t>();
    } catch (const py::cast_error&) {
      throw py::type_error(std::string(mode) + " table, segment " + std::to_string(table.size()) +
                           ": 'id', 'processor', 'start' and 'end' must be ints (64-bit for the "
                           "times), 'job' a str");
    }
    table.push_back(s);
  }
  return table;
}

mcjobs::ScheduleTables tablesOf(const py::handle& tables) {
  if (!py::isinstance<py::dict>(tables)) throw py::type_error(kTablesShape);
  mcjobs::ScheduleTables result;
  const py::handle rows = tables.contains("tables") ? tables["tables"] : tables;
  if (rows.is_none()) return result;
  if (!py::isinstance<py::dict>(rows)) throw py::type_error(kTablesShape);
  const std::string lacking = std::string(kTablesShape) + "; this one has no ";
  result.hi = tableOf(entry(rows, "hi", lacking), "HI");
  result.lo = tableOf(entry(rows, "lo", lacking), "LO");
  return result;
}

void checkProcessors(int processors) {
  if (processors < 1) throw py::value_error("processors must be at least 1");
}

}  // namespace

void initSchedule(py::module_& m) {
  auto instance = py::reinterpret_borrow<py::class_<Instance>>(m.attr("JobInstance"));
  instance
      .def(
          "schedule",
          [](Instance& self, int processors, const std::string& policyName) {
            checkProcessors(processors);
            if (policyName != "edf" && policyName != "llf")
              throw py::value_error("policy must be 'edf' or 'llf'");
            const mcjobs::SchedulePolicy policy =
                policyName == "llf" ? mcjobs::SchedulePolicy::kLlf : mcjobs::SchedulePolicy::kEdf;
            std::vector<mcjobs::ScheduleViolation> violations;
            const mcjobs::ScheduleResult result = withInstance(self, [&](JobInstance& jobs) {
              mcjobs::ScheduleResult tables = mcjobs::schedule(jobs, processors, policy);
              if (tables.schedulable)
                violations = mcjobs::verifySchedule(jobs, tables.tables, processors);
              return tables;
            });
            if (!violations.empty())
              throw std::logic_error(
                  "internal error: the scheduler produced tables that "
                  "break a rule: " +
                  mcjobs::describeViolation(violations.front()));
            py::dict doc;
            doc["processors"] = processors;
            doc["schedulable"] = result.schedulable;
            doc["policy"] = mcjobs::schedulePolicyName(result.policy);
            doc["tables"] = py::none();
            doc["failure"] = py::none();
            if (result.schedulable) {
              py::dict tables;
              tables["hi"] = tableList(result.tables.hi);
              tables["lo"] = tableList(result.tables.lo);
              doc["tables"] = tables;
            } else {
              py::dict failure;
              failure["mode"] = modeKey(result.failure.mode);
              failure["job"] = Job::nameFromId(result.failure.job);
              failure["kind"] = mcjobs::scheduleFailureKindName(result.failure.kind);
              failure["bound"] = result.failure.bound;
              failure["time"] = result.failure.time;
              failure["message"] = mcjobs::describeScheduleFailure(result.failure);
              doc["failure"] = failure;
            }
            return doc;
          },
          py::arg("processors"), py::arg("policy") = "edf",
          "The HI table (global EDF backwards from the deadlines) and the LO table (global\n"
          "EDF or LLF with the safe mode switch) on `processors` processors, verified, as\n"
          "{'processors', 'schedulable', 'policy', 'tables': {'hi': [...], 'lo': [...]} or\n"
          "None, 'failure': None or {'mode', 'job', 'kind', 'bound', 'time', 'message'}};\n"
          "a segment is {'job', 'id', 'processor', 'start', 'end'}.")
      .def(
          "verify_schedule",
          [](Instance& self, const py::object& tables, int processors) {
            checkProcessors(processors);
            const mcjobs::ScheduleTables segments = tablesOf(tables);
            const std::vector<mcjobs::ScheduleViolation> violations =
                withInstance(self, [&](JobInstance& jobs) {
                  return mcjobs::verifySchedule(jobs, segments, processors);
                });
            py::list found;
            for (const mcjobs::ScheduleViolation& v : violations) {
              py::dict row;
              row["rule"] = mcjobs::scheduleRuleName(v.rule);
              row["mode"] = modeKey(v.mode);
              row["job"] = Job::nameFromId(v.job);
              row["time"] = v.time;
              row["other"] = v.other < 0 ? py::object(py::none())
                                         : py::object(py::str(Job::nameFromId(v.other)));
              row["message"] = mcjobs::describeViolation(v);
              found.append(row);
            }
            return found;
          },
          py::arg("tables"), py::arg("processors"),
          "Every rule the tables break (a schedule() result or {'hi': [...], 'lo': [...]}),\n"
          "as dicts {'rule', 'mode', 'job', 'time', 'other', 'message'}; [] when none.")
      .def(
          "gantt_svg",
          [](Instance& self, const py::object& tables, int processors, const std::string& title) {
            checkProcessors(processors);
            const mcjobs::ScheduleTables segments = tablesOf(tables);
            return withInstance(self, [&](JobInstance& jobs) {
              return mcjobs::ganttSvg(jobs, segments, processors, title);
            });
          },
          py::arg("tables"), py::arg("processors"), py::arg("title") = "",
          "The Gantt chart of the tables as an SVG document (one panel per mode, one lane\n"
          "per processor).");
}

}  // namespace mcjobs_python
