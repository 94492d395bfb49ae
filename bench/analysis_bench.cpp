// Window analyses on large instances: ASAP/ALAP and window propagation as
// sweeps over a topological order (linear in jobs + arcs), and the bulk
// reachability scan behind the closure-pair count and transitive reduction.
// The instances are built here, once per shape; building is not timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "job.h"
#include "detail/reach_scan.h"

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

// Large shapes. Random: n jobs (every second one HI) and m distinct random
// arcs from a lower to a higher id, windows too wide for any check to fail.
// Chain: J1 -> J2 -> ... -> Jn. Local: groups of 20 jobs, each job with one
// or two predecessors among the earlier jobs of its group, one frame each.
enum Shape { kRandom, kChain, kLocal };

JobInstance buildShape(Shape shape, int n, int m) {
  std::mt19937 rng(99);
  JobInstance inst;
  Job job;
  for (int i = 0; i < n; ++i) {
    const bool hi = shape == kLocal ? rng() % 2 == 0 : i % 2 == 1;
    job.criticality = hi ? CRIT_HI : CRIT_LO;
    job.lo_wcet = 1 + static_cast<int>(rng() % 5);
    job.hi_wcet = hi ? job.lo_wcet + static_cast<int>(rng() % 5) : job.lo_wcet;
    const int frame = shape == kLocal ? (i / 20) * 2000 : 0;
    job.arrival = frame + static_cast<int>(rng() % 100);
    job.deadline = shape == kLocal ? frame + 1900 + static_cast<int>(rng() % 100)
                                   : 1000000000 - static_cast<int>(rng() % 1000);
    inst.insert(job);
  }
  if (shape == kChain) {
    for (int i = 0; i + 1 < n; ++i) inst.insert(Arc(i, i + 1));
  } else if (shape == kLocal) {
    for (int i = 0; i < n; ++i) {
      const int k = i % 20;
      for (int a = 0; k > 0 && a < 1 + static_cast<int>(rng() % 2); ++a)
        inst.insert(Arc(i - k + static_cast<int>(rng() % static_cast<unsigned>(k)), i));
    }
  } else {
    std::set<std::pair<int, int>> arcs;
    while (static_cast<int>(arcs.size()) < m) {
      int a = static_cast<int>(rng() % static_cast<unsigned>(n));
      int b = static_cast<int>(rng() % static_cast<unsigned>(n));
      if (a == b) continue;
      if (a > b) std::swap(a, b);
      arcs.insert({a, b});
    }
    for (const auto& arc : arcs) inst.insert(Arc(arc.first, arc.second));
  }
  return inst;
}

JobInstance& shapeInstance(const benchmark::State& state) {
  static std::map<std::vector<int64_t>, std::unique_ptr<JobInstance>> built;
  const std::vector<int64_t> key{state.range(0), state.range(1), state.range(2)};
  std::unique_ptr<JobInstance>& inst = built[key];
  if (!inst)
    inst.reset(new JobInstance(buildShape(static_cast<Shape>(key[0]), static_cast<int>(key[1]),
                                          static_cast<int>(key[2]))));
  return *inst;
}

void shapeArgs(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"shape", "jobs", "arcs"})
      ->Args({kRandom, 5000, 50000})
      ->Args({kRandom, 20000, 200000})
      ->Args({kChain, 10000, 0})
      ->Args({kChain, 20000, 0})
      ->Args({kLocal, 500000, 0})
      ->Unit(benchmark::kMillisecond);
}

// What `mcjobs windows` computes after reading: arrivals, then deadlines. The
// windows are put back (untimed) before each iteration.
void BM_WindowsTransitive(benchmark::State& state) {
  JobInstance& inst = shapeInstance(state);
  const std::vector<Job> original(inst.begin(), inst.end());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(original.begin(), original.end(), inst.begin());
    state.ResumeTiming();
    benchmark::DoNotOptimize(inst.propagate_arrivals(CRIT_LO));
    benchmark::DoNotOptimize(inst.propagate_deadlines(CRIT_LO));
  }
  std::copy(original.begin(), original.end(), inst.begin());
}
BENCHMARK(BM_WindowsTransitive)->Apply(shapeArgs);

// What `mcjobs windows --method asap-alap` computes after reading.
void BM_WindowsAsapAlap(benchmark::State& state) {
  JobInstance& inst = shapeInstance(state);
  const std::vector<Job> original(inst.begin(), inst.end());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(original.begin(), original.end(), inst.begin());
    state.ResumeTiming();
    benchmark::DoNotOptimize(propagateAlapAndAsap(&inst, CRIT_LO));
  }
  std::copy(original.begin(), original.end(), inst.begin());
}
BENCHMARK(BM_WindowsAsapAlap)->Apply(shapeArgs);

// The closure-pair count of `mcjobs stats`, both levels.
void BM_ReachablePairs(benchmark::State& state) {
  JobInstance& inst = shapeInstance(state);
  long long pairs = 0;
  for (auto _ : state) {
    pairs = mcjobs_detail::scanReachability(inst, CRIT_LO, false).pairs +
            mcjobs_detail::scanReachability(inst, CRIT_HI, false).pairs;
    benchmark::DoNotOptimize(pairs);
  }
  state.counters["pairs"] = static_cast<double>(pairs);
}
BENCHMARK(BM_ReachablePairs)->Apply(shapeArgs);

// The arcs that `mcjobs dot --reduce` leaves out.
void BM_ImpliedArcs(benchmark::State& state) {
  JobInstance& inst = shapeInstance(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(mcjobs_detail::scanReachability(inst, CRIT_LO, true).impliedArcs);
}
BENCHMARK(BM_ImpliedArcs)->Apply(shapeArgs);

}  // namespace

BENCHMARK_MAIN();
