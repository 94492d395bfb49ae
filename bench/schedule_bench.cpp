// The schedulers and the checker on 10,000 jobs in 500 overlapping 20-job DAGs, 8 processors;
// once more with every time multiplied by 80,000 (values up to 2.1e9): the cost must not change.
// Then the portfolio against one checked run of the EDF pair on generated sets of 30 and of
// about 10,000 jobs, and the portfolio's worst case: every pair run to the end.
#include <benchmark/benchmark.h>

#include <random>

#include "generate.h"
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

// 30 jobs: three 10-job DAGs in one frame on 2 processors. About 10,000 jobs: 90 DAG tasks of
// 20 to 30 jobs with periods from 1,000 to 10,000, unrolled over the hyperperiod, 8 processors.
struct GeneratedCase {
  JobInstance instance;
  int processors;
};

GeneratedCase generated(bool large) {
  mcjobs::GenerateOptions options;
  options.utilization = 0.7;
  if (large) {
    options.model = mcjobs::GenerateModel::kPeriodic;
    options.processors = 8;
    options.tasks = 90;
    options.nodesMin = 20;
    options.nodesMax = 30;
    options.periods = {1000, 2000, 2500, 5000, 10000};
  } else {
    options.processors = 2;
    options.graphs = 3;
  }
  return {mcjobs::generateJobSet(options, 3).instance, options.processors};
}

void singleEdfBench(benchmark::State& state, bool large) {
  GeneratedCase set = generated(large);
  mcjobs::ScheduleAnswer answer;
  for (auto _ : state) {
    answer = mcjobs::scheduleChecked(set.instance, set.processors, mcjobs::SchedulePolicies());
    benchmark::DoNotOptimize(answer);
  }
  state.counters["jobs"] = set.instance.numJobs();
  state.counters["feasible"] = answer.status == mcjobs::ScheduleStatus::kFeasible;
}

void portfolioBench(benchmark::State& state, bool large) {
  GeneratedCase set = generated(large);
  mcjobs::ScheduleAnswer answer;
  for (auto _ : state) {
    answer = mcjobs::schedulePortfolio(set.instance, set.processors);
    benchmark::DoNotOptimize(answer);
  }
  state.counters["jobs"] = set.instance.numJobs();
  state.counters["pairs"] = static_cast<double>(answer.attempts.size());
  state.counters["feasible"] = answer.status == mcjobs::ScheduleStatus::kFeasible;
}

// What the portfolio costs when only its last pair succeeds: the load test, the HI table of
// each policy, the LO table of every pair, all run to the end (a failing run stops earlier),
// and the checker once.
void everyPairBench(benchmark::State& state, bool large) {
  GeneratedCase set = generated(large);
  int completed = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(mcjobs::loadTest(set.instance, set.processors));
    completed = 0;
    mcjobs::ScheduleFailure failure;
    for (mcjobs::SchedulePolicy hiPolicy :
         {mcjobs::SchedulePolicy::kEdf, mcjobs::SchedulePolicy::kLlf, mcjobs::SchedulePolicy::kEdzl}) {
      mcjobs::ScheduleTables tables;
      if (!mcjobs::scheduleHi(set.instance, set.processors, hiPolicy, tables.hi, failure)) continue;
      for (mcjobs::SchedulePolicy loPolicy : {mcjobs::SchedulePolicy::kEdf,
                                              mcjobs::SchedulePolicy::kLlf,
                                              mcjobs::SchedulePolicy::kEdzl})
        completed += mcjobs::scheduleLo(set.instance, set.processors, loPolicy, tables.hi,
                                        tables.lo, failure);
      benchmark::DoNotOptimize(tables);
      if (hiPolicy == mcjobs::SchedulePolicy::kEdzl)
        benchmark::DoNotOptimize(mcjobs::verifySchedule(set.instance, tables, set.processors));
    }
  }
  state.counters["jobs"] = set.instance.numJobs();
  state.counters["completed"] = completed;
}

BENCHMARK_CAPTURE(singleEdfBench, jobs30, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(portfolioBench, jobs30, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(everyPairBench, jobs30, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(singleEdfBench, jobs10000, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(portfolioBench, jobs10000, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(everyPairBench, jobs10000, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
