#include <benchmark/benchmark.h>

#include <random>

#include "job.h"

namespace {

// Random windows over a horizon proportional to the job count, no arcs.
JobInstance randomSet(int count) {
  std::mt19937 rng(12345u);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  JobInstance instance;
  for (int i = 0; i < count; ++i) {
    Job job;
    const int window = uniform(1, 200);
    job.arrival = uniform(0, 10 * count);
    job.deadline = job.arrival + window;
    job.criticality = uniform(0, 1) == 0 ? CRIT_LO : CRIT_HI;
    job.lo_wcet = uniform(1, window);
    job.hi_wcet = job.criticality == CRIT_HI ? uniform(job.lo_wcet, window) : job.lo_wcet;
    instance.insert(job);
  }
  return instance;
}

void BM_GetLoad(benchmark::State& state) {
  JobInstance instance = randomSet(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(instance.getLoad(CRIT_LO, false));
}
BENCHMARK(BM_GetLoad)->Arg(1500)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_GetStress4(benchmark::State& state) {
  JobInstance instance = randomSet(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(instance.getStress(CRIT_LO, false, 4, nullptr));
}
BENCHMARK(BM_GetStress4)->Arg(1500)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
