// The per-set work of mcjobs.study: a chunk of seeds of one grid point generated and tested
// in C++ with the GIL released for the whole chunk, so that threads, process pools and Dask
// workers all run it at the library's speed.
#include <mcjobs/generate.h>
#include <mcjobs/schedule.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"

namespace mcjobs_python {
namespace {

enum class TestKind { kLoad, kPair, kPortfolio, kExact };

struct StudyTest {
  TestKind kind = TestKind::kLoad;
  mcjobs::SchedulePolicies policies;
};

mcjobs::SchedulePolicy studyPolicy(const std::string& name, const std::string& test) {
  mcjobs::SchedulePolicy policy = mcjobs::SchedulePolicy::kEdf;
  if (!mcjobs::parseSchedulePolicy(name, policy))
    throw py::value_error("tests: unknown policy '" + name + "' in '" + test +
                          "': the policies are 'edf', 'llf' and 'edzl'");
  return policy;
}

// "load", "default", a policy for both tables, or "hi=POLICY,lo=POLICY".
StudyTest studyTest(const std::string& name) {
  StudyTest test;
  if (name == "load") return test;
  if (name == "default") {
    test.kind = TestKind::kPortfolio;
    return test;
  }
  if (name == "exact") {
    test.kind = TestKind::kExact;
    return test;
  }
  test.kind = TestKind::kPair;
  const std::string hi = "hi=";
  const size_t comma = name.find(",lo=");
  if (name.compare(0, hi.size(), hi) == 0 && comma != std::string::npos) {
    test.policies.hi = studyPolicy(name.substr(hi.size(), comma - hi.size()), name);
    test.policies.lo = studyPolicy(name.substr(comma + 4), name);
  } else {
    test.policies.hi = test.policies.lo = studyPolicy(name, name);
  }
  return test;
}

// What a test says of a set: "feasible" when it accepts it (the load test: when it does not
// prove the set infeasible).
mcjobs::ScheduleStatus verdict(const StudyTest& test, JobInstance& instance, int processors,
                               const mcjobs::ExactOptions& limits) {
  if (test.kind == TestKind::kLoad)
    return mcjobs::loadTest(instance, processors).infeasible ? mcjobs::ScheduleStatus::kInfeasible
                                                             : mcjobs::ScheduleStatus::kFeasible;
  mcjobs::ScheduleAnswer answer;
  if (test.kind == TestKind::kExact)
    answer = mcjobs::scheduleExact(instance, processors, limits);
  else if (test.kind == TestKind::kPortfolio)
    answer = mcjobs::schedulePortfolio(instance, processors);
  else
    answer = mcjobs::scheduleChecked(instance, processors, test.policies);
  refuseFaults(answer);
  return answer.status;
}

// One column per field, one entry per seed of the chunk.
struct ChunkColumns {
  std::vector<double> utilizationLo, utilizationHi;
  std::vector<std::vector<bool>> verdicts;
  std::vector<std::vector<std::string>> statuses;  // filled for the exact test only
  std::vector<std::vector<double>> seconds;
};

ChunkColumns runChunk(const mcjobs::GenerateOptions& options,
                      const std::vector<std::uint64_t>& seeds, const std::vector<StudyTest>& tests,
                      const mcjobs::ExactOptions& limits) {
  using Clock = std::chrono::steady_clock;
  ChunkColumns columns;
  columns.verdicts.resize(tests.size());
  columns.statuses.resize(tests.size());
  columns.seconds.resize(tests.size());
  for (const std::uint64_t seed : seeds) {
    mcjobs::GeneratedSet set = mcjobs::generateJobSet(options, seed);
    columns.utilizationLo.push_back(set.utilizationLo);
    columns.utilizationHi.push_back(set.utilizationHi);
    for (size_t t = 0; t < tests.size(); ++t) {
      const Clock::time_point start = Clock::now();
      const mcjobs::ScheduleStatus status =
          verdict(tests[t], set.instance, options.processors, limits);
      columns.seconds[t].push_back(std::chrono::duration<double>(Clock::now() - start).count());
      columns.verdicts[t].push_back(status == mcjobs::ScheduleStatus::kFeasible);
      if (tests[t].kind == TestKind::kExact)
        columns.statuses[t].push_back(mcjobs::scheduleStatusName(status));
    }
  }
  return columns;
}

// The exact method's limits: `time_limit` applies to the exact test alone.
mcjobs::ExactOptions exactLimits(std::optional<double> timeLimit,
                                 const std::vector<StudyTest>& tests) {
  mcjobs::ExactOptions limits;
  if (!timeLimit) return limits;
  checkTimeLimit(*timeLimit);
  if (std::none_of(tests.begin(), tests.end(),
                   [](const StudyTest& test) { return test.kind == TestKind::kExact; }))
    throw py::value_error("time_limit does not apply without the test 'exact'");
  limits.timeLimit = *timeLimit;
  return limits;
}

}  // namespace

void initStudy(py::module_& m) {
  m.def(
      "_study_chunk",
      [](const py::dict& given, const std::vector<std::uint64_t>& seeds,
         const std::vector<std::string>& names, std::optional<double> timeLimit) {
        const mcjobs::GenerateOptions options = generateOptionsOf(given);
        std::vector<StudyTest> tests;
        for (const std::string& name : names) tests.push_back(studyTest(name));
        const mcjobs::ExactOptions limits = exactLimits(timeLimit, tests);
        ChunkColumns columns;
        {
          py::gil_scoped_release release;
          mcjobs::validateGenerateOptions(options);
          columns = runChunk(options, seeds, tests, limits);
        }
        py::dict result;
        result["seed"] = seeds;
        result["utilization_lo"] = columns.utilizationLo;
        result["utilization_hi"] = columns.utilizationHi;
        for (size_t t = 0; t < names.size(); ++t) {
          result[py::str(names[t])] = columns.verdicts[t];
          if (tests[t].kind == TestKind::kExact)
            result[py::str(names[t] + "_status")] = columns.statuses[t];
        }
        for (size_t t = 0; t < names.size(); ++t)
          result[py::str("time_" + names[t])] = columns.seconds[t];
        return result;
      },
      py::arg("options"), py::arg("seeds"), py::arg("tests"), py::arg("time_limit") = py::none(),
      "The study's rows for the sets of `seeds` under the generator `options`: {'seed',\n"
      "'utilization_lo', 'utilization_hi', TEST: verdicts, 'exact_status': the exact test's\n"
      "'feasible', 'infeasible' or 'unknown', 'time_' + TEST: seconds} for each of `tests`\n"
      "('load', 'default', 'exact', 'edf', 'llf', 'edzl' or 'hi=POLICY,lo=POLICY');\n"
      "`time_limit`: the exact test's seconds per set (default 60).");
}

}  // namespace mcjobs_python
