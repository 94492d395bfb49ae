// The exact method on 25 generated sets of 20 to 30 jobs per processor count (2 and 4), at
// normalized utilizations 0.8 to 0.95 and windows of 100 time units: how many sets the load test,
// the pairs and the integer program each decide, how many stay unknown at the time limit, and
// the solver's time on the sets it is run for; then the program alone on every set, without the
// load test and the pairs, for its own cost. One iteration is the whole batch.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "generate.h"
#include "schedule.h"

namespace {

constexpr int kSets = 25;
constexpr double kTimeLimit = 20;

mcjobs::GenerateOptions batchOptions(int processors, int set) {
  mcjobs::GenerateOptions options;
  options.processors = processors;
  options.utilization = 0.8 + 0.05 * (set % 4);
  options.graphs = processors + 1;
  // 3 DAGs of 7-10 nodes on 2 processors, 5 DAGs of 4-6 on 4: 20 to 30 jobs either way.
  options.nodesMin = processors == 2 ? 7 : 4;
  options.nodesMax = processors == 2 ? 10 : 6;
  return options;
}

void exactBench(benchmark::State& state) {
  const int processors = static_cast<int>(state.range(0));
  mcjobs::ExactOptions limits;
  limits.timeLimit = kTimeLimit;
  limits.heuristicsFirst = state.range(1) == 0;
  int byLoad = 0, byPairs = 0, feasible = 0, infeasible = 0, unknown = 0, jobsMin = 1 << 30,
      jobsMax = 0;
  double solverSeconds = 0, slowest = 0;
  for (auto _ : state) {
    byLoad = byPairs = feasible = infeasible = unknown = 0;
    solverSeconds = slowest = 0;
    for (int set = 1; set <= kSets; ++set) {
      JobInstance instance =
          mcjobs::generateJobSet(batchOptions(processors, set), static_cast<uint64_t>(set))
              .instance;
      jobsMin = std::min(jobsMin, instance.numJobs());
      jobsMax = std::max(jobsMax, instance.numJobs());
      const mcjobs::ScheduleAnswer answer = mcjobs::scheduleExact(instance, processors, limits);
      if (answer.faulty()) state.SkipWithError("tables rejected by the checker");
      if (!answer.exact.ran) {
        (answer.status == mcjobs::ScheduleStatus::kFeasible ? byPairs : byLoad)++;
        continue;
      }
      solverSeconds += answer.exact.seconds;
      slowest = std::max(slowest, answer.exact.seconds);
      if (answer.status == mcjobs::ScheduleStatus::kFeasible) ++feasible;
      if (answer.status == mcjobs::ScheduleStatus::kInfeasible) ++infeasible;
      if (answer.status == mcjobs::ScheduleStatus::kUnknown) ++unknown;
    }
  }
  state.counters["jobs_min"] = jobsMin;
  state.counters["jobs_max"] = jobsMax;
  state.counters["load_infeasible"] = byLoad;
  state.counters["pairs_feasible"] = byPairs;
  state.counters["program_feasible"] = feasible;
  state.counters["program_infeasible"] = infeasible;
  state.counters["unknown"] = unknown;
  const int solved = feasible + infeasible + unknown;
  state.counters["solver_s_mean"] = solved ? solverSeconds / solved : 0;
  state.counters["solver_s_max"] = slowest;
}

BENCHMARK(exactBench)
    ->ArgNames({"m", "alone"})
    ->ArgsProduct({{2, 4}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
