// Window analyses on large instances: ASAP/ALAP over many independent chains
// (linear in jobs + arcs), and one-pass propagation over a DAG whose
// transitive sets are large (one comparison per related pair).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "job.h"

namespace {

constexpr int kChains = 200;
constexpr int kChainLength = 100;

JobInstance buildChains() {
  JobInstance inst;
  Job job;
  job.criticality = CRIT_LO;
  job.lo_wcet = job.hi_wcet = 1;
  for (int c = 0; c < kChains; ++c) {
    for (int k = 0; k < kChainLength; ++k) {
      job.arrival = k;
      job.deadline = 10 * kChainLength + k;
      inst.insert(job);
    }
  }
  for (int c = 0; c < kChains; ++c) {
    const int first = c * kChainLength;
    for (int k = 0; k + 1 < kChainLength; ++k) inst.insert(Arc(first + k, first + k + 1));
  }
  return inst;
}

void BM_BuildChains(benchmark::State& state) {
  for (auto _ : state) {
    JobInstance inst = buildChains();
    benchmark::DoNotOptimize(inst.size());
  }
  state.SetItemsProcessed(state.iterations() * kChains * kChainLength);
}
BENCHMARK(BM_BuildChains)->Unit(benchmark::kMillisecond);

// Every run computes each job once; the results are idempotent, so the same
// instance serves every iteration.
void BM_PropagateAlapAndAsapChains(benchmark::State& state) {
  JobInstance inst = buildChains();
  for (auto _ : state) benchmark::DoNotOptimize(propagateAlapAndAsap(&inst, CRIT_LO));
  state.SetItemsProcessed(state.iterations() * kChains * kChainLength);
}
BENCHMARK(BM_PropagateAlapAndAsapChains)->Unit(benchmark::kMillisecond);

// Each job gets up to three predecessors among the 64 jobs before it, so the
// closure grows towards all earlier jobs. Windows are wide enough that no
// raised arrival or lowered deadline can fail the sanity check.
JobInstance buildDag(int n, long* pairs) {
  std::mt19937 rng(12345);
  JobInstance inst;
  for (int i = 0; i < n; ++i) {
    Job job;
    job.criticality = rng() % 2 ? CRIT_HI : CRIT_LO;
    job.lo_wcet = 1 + static_cast<int>(rng() % 10);
    job.hi_wcet =
        job.criticality == CRIT_HI ? job.lo_wcet + static_cast<int>(rng() % 10) : job.lo_wcet;
    job.arrival = static_cast<int>(rng() % 100);
    job.deadline = 1000 + static_cast<int>(rng() % 1000);
    inst.insert(job);
  }
  for (int i = 1; i < n; ++i) {
    for (int k = 0; k < 3; ++k) {
      const int window = i < 64 ? i : 64;
      inst.insert(Arc(i - 1 - static_cast<int>(rng() % static_cast<unsigned>(window)), i));
    }
  }
  *pairs = 0;
  for (int i = 0; i < n; ++i)
    *pairs += static_cast<long>(inst.getTransitiveSuccessors(i, CRIT_LO).size());
  return inst;
}

void BM_PropagateArrivalsAndDeadlines(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  long pairs = 0;
  JobInstance inst = buildDag(n, &pairs);
  std::vector<Job> original(inst.begin(), inst.end());
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < n; ++i) {
      inst.at(i)->arrival = original[static_cast<size_t>(i)].arrival;
      inst.at(i)->deadline = original[static_cast<size_t>(i)].deadline;
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(inst.propagate_arrivals(CRIT_LO));
    benchmark::DoNotOptimize(inst.propagate_deadlines(CRIT_LO));
  }
  state.counters["pairs"] = static_cast<double>(pairs);
  state.SetItemsProcessed(state.iterations() * 2 * pairs);
}
BENCHMARK(BM_PropagateArrivalsAndDeadlines)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
