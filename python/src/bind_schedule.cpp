// Mixed-criticality scheduling tables from Python: inst._schedule() gives the
// verified HI and LO tables as the command line's JSON does (the package wraps them
// in a ScheduleResult), inst.schedulable() and inst.load_test() the verdicts alone,
// inst.verify_schedule() checks any tables, and inst.gantt_svg() draws them.
#include <mcjobs/gantt_svg.h>
#include <mcjobs/schedule.h>
#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
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

py::dict policiesDict(const mcjobs::SchedulePolicies& policies) {
  py::dict pair;
  pair["hi"] = mcjobs::schedulePolicyName(policies.hi);
  pair["lo"] = mcjobs::schedulePolicyName(policies.lo);
  return pair;
}

mcjobs::SchedulePolicy policyNamed(const py::object& name, const char* argument) {
  mcjobs::SchedulePolicy policy = mcjobs::SchedulePolicy::kEdf;
  if (name.is_none()) return policy;
  if (!py::isinstance<py::str>(name) ||
      !mcjobs::parseSchedulePolicy(name.cast<std::string>(), policy))
    throw py::value_error(std::string(argument) + " must be 'edf', 'llf' or 'edzl', not " +
                          py::repr(name).cast<std::string>());
  return policy;
}

// The pair of policies the arguments name; false for none at all (the portfolio), as the
// command line has it.
bool policiesOf(const py::object& policy, const py::object& hiPolicy, const py::object& loPolicy,
                mcjobs::SchedulePolicies& policies) {
  for (const auto& given :
       {std::make_pair("hi_policy", &hiPolicy), std::make_pair("lo_policy", &loPolicy)})
    if (!policy.is_none() && !given.second->is_none())
      throw py::value_error(std::string("policy sets both tables and conflicts with ") +
                            given.first + "; give policy alone, or hi_policy and lo_policy");
  if (!policy.is_none()) {
    policies.hi = policies.lo = policyNamed(policy, "policy");
    return true;
  }
  policies = {policyNamed(hiPolicy, "hi_policy"), policyNamed(loPolicy, "lo_policy")};
  return !hiPolicy.is_none() || !loPolicy.is_none();
}

py::dict failureDict(const mcjobs::ScheduleFailure& failure) {
  py::dict doc;
  doc["mode"] = modeKey(failure.mode);
  doc["job"] = Job::nameFromId(failure.job);
  doc["kind"] = mcjobs::scheduleFailureKindName(failure.kind);
  doc["bound"] = failure.bound;
  doc["time"] = failure.time;
  doc["message"] = mcjobs::describeScheduleFailure(failure);
  return doc;
}

// Why there are no tables, when the load test or the exact method's program says so.
std::string reasonText(const mcjobs::ScheduleAnswer& answer) {
  if (answer.load.infeasible) return answer.load.reason;
  return answer.exact.ran ? answer.exact.reason : std::string();
}

py::object noneOr(py::object value, bool none) {
  return none ? py::object(py::none()) : std::move(value);
}

// The keys and values of `mcjobs schedule --json`, in its order; segments add the job's id
// and a failure its message.
py::dict answerDict(const mcjobs::ScheduleAnswer& answer, int processors) {
  const mcjobs::ScheduleResult& result = answer.result;
  const bool settledByLoad = answer.attempts.empty();
  const bool noPair = settledByLoad || answer.tablesFromProgram();
  py::dict doc;
  doc["processors"] = processors;
  doc["schedulable"] = result.schedulable;
  doc["policy"] = noneOr(policiesDict(result.policies), noPair);
  doc["method"] = mcjobs::scheduleMethodName(answer.method);
  doc["status"] = mcjobs::scheduleStatusName(answer.status);
  const std::string reason = reasonText(answer);
  doc["reason"] = noneOr(py::str(reason), reason.empty());
  py::list attempts;
  for (const mcjobs::ScheduleAttempt& attempt : answer.attempts) {
    py::dict row;
    row["policy"] = policiesDict(attempt.policies);
    row["failure"] = noneOr(py::str(mcjobs::describeScheduleFailure(attempt.failure)),
                            attempt.schedulable);
    attempts.append(row);
  }
  doc["attempts"] = attempts;
  doc["tables"] = py::none();
  if (result.schedulable) {
    py::dict tables;
    tables["hi"] = tableList(result.tables.hi);
    tables["lo"] = tableList(result.tables.lo);
    doc["tables"] = tables;
  }
  if (answer.method == mcjobs::ScheduleMethod::kExact) {
    py::dict program;
    program["slots"] = answer.exact.slots;
    program["seconds"] = answer.exact.seconds;
    doc["program"] = noneOr(program, !answer.exact.ran);
  }
  doc["failure"] = noneOr(failureDict(result.failure),
                          result.schedulable || settledByLoad || answer.tablesFromProgram());
  return doc;
}

// What `method` and `time_limit` ask for: nothing (a pair, or the portfolio), the portfolio,
// or the exact method with its limits.
struct MethodChoice {
  bool given = false;
  bool exact = false;
  mcjobs::ExactOptions limits;
};

MethodChoice methodOf(const py::object& method, std::optional<double> timeLimit) {
  MethodChoice choice;
  if (!method.is_none()) {
    const std::string name = py::isinstance<py::str>(method) ? method.cast<std::string>() : "";
    if (name != "portfolio" && name != "exact")
      throw py::value_error("method must be 'portfolio' or 'exact', not " +
                            py::repr(method).cast<std::string>());
    choice.given = true;
    choice.exact = name == "exact";
  }
  if (timeLimit) {
    checkTimeLimit(*timeLimit);
    if (!choice.exact)
      throw py::value_error("time_limit does not apply without method='exact'");
    choice.limits.timeLimit = *timeLimit;
  }
  return choice;
}

// The portfolio without a policy or a method, as schedule() has it.
mcjobs::ScheduleAnswer answerFor(Instance& self, int processors, const py::object& policy,
                                 const py::object& hiPolicy, const py::object& loPolicy,
                                 const py::object& method, std::optional<double> timeLimit) {
  checkProcessors(processors);
  mcjobs::SchedulePolicies policies;
  const bool onePair = policiesOf(policy, hiPolicy, loPolicy, policies);
  const MethodChoice choice = methodOf(method, timeLimit);
  if (onePair && choice.given)
    throw py::value_error("method=" + py::repr(method).cast<std::string>() +
                          " tries every pair of policies and conflicts with policy, hi_policy "
                          "and lo_policy; give one or the other");
  // The exact method's solver can take seconds: it runs with the GIL released.
  const mcjobs::ScheduleAnswer answer = withInstance(self, [&](JobInstance& jobs) {
    if (choice.exact) return mcjobs::scheduleExact(jobs, processors, choice.limits);
    return onePair ? mcjobs::scheduleChecked(jobs, processors, policies)
                   : mcjobs::schedulePortfolio(jobs, processors);
  });
  refuseFaults(answer);
  return answer;
}

}  // namespace

void refuseFaults(const mcjobs::ScheduleAnswer& answer) {
  if (!answer.exact.violations.empty())
    throw std::logic_error("internal error: the integer program produced tables that break a "
                           "rule: " +
                           mcjobs::describeViolation(answer.exact.violations.front()));
  for (const mcjobs::ScheduleAttempt& attempt : answer.attempts)
    if (!attempt.violations.empty())
      throw std::logic_error(
          "internal error: the scheduler produced tables that "
          "break a rule: " +
          mcjobs::describeViolation(attempt.violations.front()));
}

void checkTimeLimit(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0)
    throw py::value_error("time_limit must be a positive number of seconds, not " +
                          py::repr(py::float_(seconds)).cast<std::string>());
}

void initSchedule(py::module_& m) {
  auto instance = py::reinterpret_borrow<py::class_<Instance>>(m.attr("JobInstance"));
  instance
      .def(
          "_schedule",
          [](Instance& self, int processors, const py::object& policy, const py::object& hiPolicy,
             const py::object& loPolicy, const py::object& method,
             std::optional<double> timeLimit) {
            return answerDict(
                answerFor(self, processors, policy, hiPolicy, loPolicy, method, timeLimit),
                processors);
          },
          py::arg("processors"), py::arg("policy") = py::none(), py::arg("hi_policy") = py::none(),
          py::arg("lo_policy") = py::none(), py::arg("method") = py::none(),
          py::arg("time_limit") = py::none(),
          "Verified HI and LO tables on `processors` processors, as the command line's JSON\n"
          "(JobInstance.schedule wraps it in a ScheduleResult):\n"
          "{'processors', 'schedulable', 'policy': {'hi', 'lo'} or None, 'method',\n"
          "'status', 'reason', 'attempts', 'tables': {'hi': [...], 'lo': [...]} or None,\n"
          "'program': {'slots', 'seconds'} or None (method 'exact' only),\n"
          "'failure': None or {'mode', 'job', 'kind', 'bound', 'time', 'message'}}; a\n"
          "segment is {'job', 'id', 'processor', 'start', 'end'}. Policies 'edf', 'llf',\n"
          "'edzl': `policy` for both tables, or `hi_policy` and `lo_policy` (default 'edf');\n"
          "none of them: the load test, then the portfolio of pairs ('method': 'portfolio'),\n"
          "and with method='exact' an integer program for what the pairs leave open, given\n"
          "`time_limit` seconds (default 60).")
      .def(
          "schedulable",
          [](Instance& self, int processors, const py::object& policy, const py::object& hiPolicy,
             const py::object& loPolicy, const py::object& method,
             std::optional<double> timeLimit) {
            return answerFor(self, processors, policy, hiPolicy, loPolicy, method, timeLimit)
                .result.schedulable;
          },
          py::arg("processors"), py::arg("policy") = py::none(), py::arg("hi_policy") = py::none(),
          py::arg("lo_policy") = py::none(), py::arg("method") = py::none(),
          py::arg("time_limit") = py::none(),
          "schedule()'s verdict alone: True when verified tables were found (the same\n"
          "policies and method; none of them: the load test, then the portfolio).")
      .def(
          "load_test",
          [](Instance& self, int processors) {
            checkProcessors(processors);
            return !withInstance(self, [&](JobInstance& jobs) {
                      return mcjobs::loadTest(jobs, processors).infeasible;
                    });
          },
          py::arg("processors"),
          "The load test's verdict: False when it proves that no valid tables exist on\n"
          "`processors` processors (HI or LO stress above them, or a window narrowed along\n"
          "the arcs short of its budget), True when it cannot tell.")
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
