// The schedulers and the checker on 10,000 jobs in 500 overlapping 20-job DAGs, 8 processors;
// once more with every time multiplied by 80,000 (values up to 2.1e9): the cost must not change.
#include <benchmark/benchmark.h>

#include <random>

#include "job.h"
#include "schedule.h"

namespace {

constexpr int kGroups = 500;
constexpr int kGroupJobs = 20;
constexpr int kStride = 50;
constexpr int kFrame = 1000;
constexpr int kProcessors = 8;

// Group g owns the window [g * kStride, g * kStride + kFrame], so about twenty groups overlap at
// any time; each forward pair inside a group is an arc with probability 0.15. A path of 20 jobs
// needs at most 380 < kFrame.
JobInstance overlappingDags(int scale) {
  std::mt19937 rng(2017u);
  JobInstance instance;
  for (int g = 0; g < kGroups; ++g)
    for (int k = 0; k < kGroupJobs; ++k) {
      Job job;
      job.arrival = g * kStride;
      job.deadline = g * kStride + kFrame;
      job.criticality = rng() % 2 ? CRIT_HI : CRIT_LO;
      job.lo_wcet = 1 + static_cast<int>(rng() % 10);
      job.hi_wcet =
          job.criticality == CRIT_HI ? job.lo_wcet + static_cast<int>(rng() % 10) : job.lo_wcet;
      instance.insert(job);
    }
  for (int g = 0; g < kGroups; ++g)
    for (int a = 0; a < kGroupJobs; ++a)
      for (int b = a + 1; b < kGroupJobs; ++b)
        if (rng() % 100 < 15) instance.insert(Arc(g * kGroupJobs + a, g * kGroupJobs + b));
  scaleInstance(&instance, scale);
  return instance;
}

void scheduleBench(benchmark::State& state, int scale, mcjobs::SchedulePolicy policy) {
  JobInstance instance = overlappingDags(scale);
  mcjobs::ScheduleResult result;
  for (auto _ : state) {
    result = mcjobs::schedule(instance, kProcessors, policy);
    benchmark::DoNotOptimize(result);
  }
  if (!result.schedulable)
    state.SkipWithError(mcjobs::describeScheduleFailure(result.failure).c_str());
  state.counters["segments"] =
      static_cast<double>(result.tables.hi.size() + result.tables.lo.size());
}

void verifyBench(benchmark::State& state, int scale) {
  JobInstance instance = overlappingDags(scale);
  const mcjobs::ScheduleResult result = mcjobs::schedule(instance, kProcessors);
  for (auto _ : state)
    benchmark::DoNotOptimize(mcjobs::verifySchedule(instance, result.tables, kProcessors));
  if (!mcjobs::verifySchedule(instance, result.tables, kProcessors).empty())
    state.SkipWithError("the tables break a rule");
}

BENCHMARK_CAPTURE(scheduleBench, edf, 1, mcjobs::SchedulePolicy::kEdf)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scheduleBench, llf, 1, mcjobs::SchedulePolicy::kLlf)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scheduleBench, edf_x80000, 80000, mcjobs::SchedulePolicy::kEdf)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scheduleBench, llf_x80000, 80000, mcjobs::SchedulePolicy::kLlf)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(verifyBench, edf, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(verifyBench, edf_x80000, 80000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
