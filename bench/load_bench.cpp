// Load and stress on large job sets: random windows without arcs, and many
// small independent DAGs. The scan alone is timed apart from the whole
// getLoad, which also copies the instance and tightens the copy's windows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "job.h"
#include "detail/load_scan.h"

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

constexpr int kDags = 25000;
constexpr int kDagJobs = 20;
constexpr int kFrame = 1000;

// Every DAG owns one frame [g * kFrame, (g + 1) * kFrame]; each forward pair
// of its jobs is an arc with probability 0.15 (about 710,000 arcs in all).
// A path of 20 jobs needs at most 400, so every window stays feasible.
JobInstance localDags() {
  std::mt19937 rng(4242u);
  JobInstance instance;
  for (int g = 0; g < kDags; ++g) {
    for (int k = 0; k < kDagJobs; ++k) {
      Job job;
      job.arrival = g * kFrame;
      job.deadline = (g + 1) * kFrame;
      job.criticality = rng() % 2 ? CRIT_HI : CRIT_LO;
      job.lo_wcet = 1 + static_cast<int>(rng() % 10);
      job.hi_wcet =
          job.criticality == CRIT_HI ? job.lo_wcet + static_cast<int>(rng() % 10) : job.lo_wcet;
      instance.insert(job);
    }
  }
  for (int g = 0; g < kDags; ++g) {
    const int first = g * kDagJobs;
    for (int a = 0; a < kDagJobs; ++a)
      for (int b = a + 1; b < kDagJobs; ++b)
        if (rng() % 1000 < 150) instance.insert(Arc(first + a, first + b));
  }
  return instance;
}

// The scan's input as getStress builds it for every job at `level`.
struct ScanInput {
  std::vector<int> arrivals, deadlines;
  std::vector<mcjobs_detail::LoadWindow> counted;
};

ScanInput scanInput(JobInstance& instance, int level) {
  ScanInput input;
  for (const Job& job : instance) {
    input.arrivals.push_back(job.arrival);
    input.deadlines.push_back(job.deadline);
    if (job.criticality >= level)
      input.counted.push_back({job.arrival, job.deadline, job.getWCET(level)});
  }
  for (std::vector<int>* points : {&input.arrivals, &input.deadlines}) {
    std::sort(points->begin(), points->end());
    points->erase(std::unique(points->begin(), points->end()), points->end());
  }
  return input;
}

void BM_GetLoad(benchmark::State& state) {
  JobInstance instance = randomSet(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(instance.getLoad(CRIT_LO, false));
}
BENCHMARK(BM_GetLoad)->Arg(1500)->Arg(3000)->Arg(50000)->Arg(500000)->Unit(benchmark::kMillisecond);

void BM_GetStress4(benchmark::State& state) {
  JobInstance instance = randomSet(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(instance.getStress(CRIT_LO, false, 4, nullptr));
}
BENCHMARK(BM_GetStress4)
    ->Arg(1500)
    ->Arg(3000)
    ->Arg(50000)
    ->Arg(500000)
    ->Unit(benchmark::kMillisecond);

void BM_Scan(benchmark::State& state) {
  JobInstance instance = randomSet(static_cast<int>(state.range(0)));
  const ScanInput input = scanInput(instance, CRIT_LO);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mcjobs_detail::maxIntervalLoad(input.arrivals, input.deadlines, input.counted, 1));
}
BENCHMARK(BM_Scan)->Arg(50000)->Arg(500000)->Unit(benchmark::kMillisecond);

// The reference scan, for the ratio; quadratic, so only at the smaller size.
void BM_ScanQuadratic(benchmark::State& state) {
  JobInstance instance = randomSet(static_cast<int>(state.range(0)));
  const ScanInput input = scanInput(instance, CRIT_LO);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mcjobs_detail::maxIntervalLoadQuadratic(input.arrivals, input.deadlines, input.counted, 1));
}
BENCHMARK(BM_ScanQuadratic)->Arg(50000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GetLoadLocalDags(benchmark::State& state) {
  JobInstance instance = localDags();
  for (auto _ : state) benchmark::DoNotOptimize(instance.getLoad(CRIT_LO, false));
}
BENCHMARK(BM_GetLoadLocalDags)->Unit(benchmark::kMillisecond);

void BM_ScanLocalDags(benchmark::State& state) {
  JobInstance instance = localDags();
  const ScanInput input = scanInput(instance, CRIT_LO);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mcjobs_detail::maxIntervalLoad(input.arrivals, input.deadlines, input.counted, 1));
}
BENCHMARK(BM_ScanLocalDags)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
