// Arc insertion with incremental transitive closure at both levels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "job.h"

namespace {

Job hiJob() {
  Job job;
  job.arrival = 0;
  job.deadline = 1000000;
  job.criticality = CRIT_HI;
  job.lo_wcet = 1;
  job.hi_wcet = 2;
  return job;
}

JobInstance hiJobs(int count) {
  JobInstance instance;
  for (int i = 0; i < count; ++i) instance.insert(hiJob());
  return instance;
}

// Distinct random forward arcs (source id below target id), in shuffled order.
std::vector<Arc> randomForwardArcs(int jobs, int arcs, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pick(0, jobs - 1);
  std::set<std::pair<int, int>> chosen;
  while (static_cast<int>(chosen.size()) < arcs) {
    int a = pick(rng);
    int b = pick(rng);
    if (a == b) continue;
    chosen.emplace(std::min(a, b), std::max(a, b));
  }
  std::vector<Arc> result;
  for (const auto& arc : chosen) result.emplace_back(arc.first, arc.second);
  std::shuffle(result.begin(), result.end(), rng);
  return result;
}

void BM_RandomForwardArcs(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const int arcs = static_cast<int>(state.range(1));
  const std::vector<Arc> list = randomForwardArcs(jobs, arcs, 42);
  size_t closurePairs = 0;
  for (auto _ : state) {
    JobInstance instance = hiJobs(jobs);
    for (const Arc& arc : list) instance.insert(arc);
    closurePairs = 0;
    for (int i = 0; i < jobs; ++i) closurePairs += instance.getTransitiveSuccessors(i, CRIT_HI).size();
    benchmark::DoNotOptimize(closurePairs);
  }
  state.counters["closure_pairs_hi"] = static_cast<double>(closurePairs);
}
BENCHMARK(BM_RandomForwardArcs)->Args({1000, 10000})->Unit(benchmark::kMillisecond);

void BM_Chain(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const bool reverse = state.range(1) != 0;
  for (auto _ : state) {
    JobInstance instance = hiJobs(jobs);
    for (int k = 0; k + 1 < jobs; ++k) {
      const int i = reverse ? jobs - 2 - k : k;
      instance.insert(Arc(i, i + 1));
    }
    benchmark::DoNotOptimize(instance.getTransitiveSuccessors(0, CRIT_LO).size());
  }
}
BENCHMARK(BM_Chain)->Args({2000, 0})->Args({2000, 1})->ArgNames({"jobs", "reverse"})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
