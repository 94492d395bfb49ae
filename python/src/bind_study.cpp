// The per-set work of mcjobs.study: a chunk of seeds of one grid point generated and tested
// in C++ with the GIL released for the whole chunk, so that threads, process pools and Dask
// workers all run it at the library's speed.
#include <mcjobs/generate.h>
#include <mcjobs/schedule.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"

namespace mcjobs_python {
namespace {

enum class TestKind { kLoad, kPair, kPortfolio };

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
  if (name == "exact")
    throw py::value_error("tests: 'exact' does not exist yet; the tests are 'load', 'default', "
                          "a policy ('edf', 'llf', 'edzl') or a pair such as 'hi=llf,lo=edf'");
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

bool accepts(const StudyTest& test, JobInstance& instance, int processors) {
  if (test.kind == TestKind::kLoad) return !mcjobs::loadTest(instance, processors).infeasible;
  const mcjobs::ScheduleAnswer answer =
      test.kind == TestKind::kPortfolio
          ? mcjobs::schedulePortfolio(instance, processors)
          : mcjobs::scheduleChecked(instance, processors, test.policies);
  // As JobInstance.schedule: tables the checker rejects are a fault, never a verdict.
  for (const mcjobs::ScheduleAttempt& attempt : answer.attempts)
    if (!attempt.violations.empty())
      throw std::logic_error("internal error: the scheduler produced tables that break a rule: " +
                             mcjobs::describeViolation(attempt.violations.front()));
  return answer.status == mcjobs::ScheduleStatus::kFeasible;
}

// One column per field, one entry per seed of the chunk.
struct ChunkColumns {
  std::vector<double> utilizationLo, utilizationHi;
  std::vector<std::vector<bool>> verdicts;
  std::vector<std::vector<double>> seconds;
};

ChunkColumns runChunk(const mcjobs::GenerateOptions& options,
                      const std::vector<std::uint64_t>& seeds,
                      const std::vector<StudyTest>& tests) {
  using Clock = std::chrono::steady_clock;
  ChunkColumns columns;
  columns.verdicts.resize(tests.size());
  columns.seconds.resize(tests.size());
  for (const std::uint64_t seed : seeds) {
    mcjobs::GeneratedSet set = mcjobs::generateJobSet(options, seed);
    columns.utilizationLo.push_back(set.utilizationLo);
    columns.utilizationHi.push_back(set.utilizationHi);
    for (size_t t = 0; t < tests.size(); ++t) {
      const Clock::time_point start = Clock::now();
      columns.verdicts[t].push_back(accepts(tests[t], set.instance, options.processors));
      columns.seconds[t].push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
  }
  return columns;
}

}  // namespace

void initStudy(py::module_& m) {
  m.def(
      "_study_chunk",
      [](const py::dict& given, const std::vector<std::uint64_t>& seeds,
         const std::vector<std::string>& names) {
        const mcjobs::GenerateOptions options = generateOptionsOf(given);
        std::vector<StudyTest> tests;
        for (const std::string& name : names) tests.push_back(studyTest(name));
        ChunkColumns columns;
        {
          py::gil_scoped_release release;
          mcjobs::validateGenerateOptions(options);
          columns = runChunk(options, seeds, tests);
        }
        py::dict result;
        result["seed"] = seeds;
        result["utilization_lo"] = columns.utilizationLo;
        result["utilization_hi"] = columns.utilizationHi;
        for (size_t t = 0; t < names.size(); ++t) {
          result[py::str(names[t])] = columns.verdicts[t];
          result[py::str("time_" + names[t])] = columns.seconds[t];
        }
        return result;
      },
      py::arg("options"), py::arg("seeds"), py::arg("tests"),
      "The study's rows for the sets of `seeds` under the generator `options`: {'seed',\n"
      "'utilization_lo', 'utilization_hi', TEST: verdicts, 'time_' + TEST: seconds} for each of\n"
      "`tests` ('load', 'default', 'edf', 'llf', 'edzl' or 'hi=POLICY,lo=POLICY').");
}

}  // namespace mcjobs_python
