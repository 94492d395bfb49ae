// Arc insertion with incremental transitive closure at both levels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
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

// Arc insertion alone, and arc insertion followed by the first access of
// every transitive set at both levels (which fills the sets).
void randomForwardArcs(benchmark::State& state, bool readEverySet) {
  const int jobs = static_cast<int>(state.range(0));
  const int arcs = static_cast<int>(state.range(1));
  const std::vector<Arc> list = randomForwardArcs(jobs, arcs, 42);
  size_t closurePairs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto instance = std::make_unique<JobInstance>(hiJobs(jobs));
    state.ResumeTiming();
    for (const Arc& arc : list) instance->insert(arc);
    if (readEverySet) {
      closurePairs = 0;
      for (int level : {CRIT_LO, CRIT_HI}) {
        for (int i = 0; i < jobs; ++i) {
          closurePairs += instance->getTransitiveSuccessors(i, level).size();
          closurePairs += instance->getTransitivePredecessors(i, level).size();
        }
      }
      benchmark::DoNotOptimize(closurePairs);
    }
    state.PauseTiming();
    instance.reset();  // teardown is not part of the cost
    state.ResumeTiming();
  }
  if (readEverySet) state.counters["set_elements"] = static_cast<double>(closurePairs);
}

void BM_RandomForwardArcs(benchmark::State& state) {
  randomForwardArcs(state, false);
}
BENCHMARK(BM_RandomForwardArcs)->Args({1000, 10000})->Unit(benchmark::kMillisecond);

void BM_RandomForwardArcsReadAllSets(benchmark::State& state) {
  randomForwardArcs(state, true);
}
BENCHMARK(BM_RandomForwardArcsReadAllSets)->Args({1000, 10000})->Unit(benchmark::kMillisecond);

// Sets handed out before the arcs arrive are kept in step arc by arc: the
// eager path, as a caller holding references sees it.
void BM_RandomForwardArcsSetsHeld(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const std::vector<Arc> list = randomForwardArcs(jobs, static_cast<int>(state.range(1)), 42);
  for (auto _ : state) {
    state.PauseTiming();
    auto instance = std::make_unique<JobInstance>(hiJobs(jobs));
    for (int level : {CRIT_LO, CRIT_HI}) {
      for (int i = 0; i < jobs; ++i) {
        instance->getTransitiveSuccessors(i, level);
        instance->getTransitivePredecessors(i, level);
      }
    }
    state.ResumeTiming();
    for (const Arc& arc : list) instance->insert(arc);
    state.PauseTiming();
    instance.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RandomForwardArcsSetsHeld)->Args({1000, 10000})->Unit(benchmark::kMillisecond);

void BM_Chain(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const bool reverse = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto instance = std::make_unique<JobInstance>(hiJobs(jobs));
    state.ResumeTiming();
    for (int k = 0; k + 1 < jobs; ++k) {
      const int i = reverse ? jobs - 2 - k : k;
      instance->insert(Arc(i, i + 1));
    }
    benchmark::DoNotOptimize(instance->getTransitiveSuccessors(0, CRIT_LO).size());
    state.PauseTiming();
    instance.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Chain)
    ->Args({2000, 0})
    ->Args({2000, 1})
    ->ArgNames({"jobs", "reverse"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
