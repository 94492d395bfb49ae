// The transitive closure as a caller reads it (every transitive set handed
// out once through the public accessors, or every job's successors as ids
// through reachability.h) against Boost.Graph's transitive_closure on the
// same random DAG, in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/transitive_closure.hpp>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "job.h"
#include "reachability.h"

namespace {

using Pairs = std::vector<std::pair<int, int>>;

// Distinct random arcs along the id order, listed in random order.
Pairs randomForwardArcs(int jobs, int arcs, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pick(0, jobs - 1);
  std::set<std::pair<int, int>> chosen;
  while (static_cast<int>(chosen.size()) < arcs) {
    const int a = pick(rng);
    const int b = pick(rng);
    if (a != b) chosen.emplace(std::min(a, b), std::max(a, b));
  }
  Pairs result(chosen.begin(), chosen.end());
  std::shuffle(result.begin(), result.end(), rng);
  return result;
}

JobInstance loJobs(int count) {
  Job job;
  job.arrival = 0;
  job.deadline = 1000000;
  job.criticality = CRIT_LO;
  job.lo_wcet = 1;
  job.hi_wcet = 1;
  JobInstance instance;
  for (int i = 0; i < count; ++i) instance.insert(job);
  return instance;
}

void BM_ClosureThroughAccessors(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const Pairs arcs = randomForwardArcs(jobs, static_cast<int>(state.range(1)), 42);
  size_t pairs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto instance = std::make_unique<JobInstance>(loJobs(jobs));
    state.ResumeTiming();
    for (const auto& arc : arcs) instance->insert(Arc(arc.first, arc.second));
    pairs = 0;
    for (int id = 0; id < jobs; ++id) {
      pairs += instance->getTransitiveSuccessors(id, CRIT_LO).size();
      pairs += instance->getTransitivePredecessors(id, CRIT_LO).size();
    }
    benchmark::DoNotOptimize(pairs);
    state.PauseTiming();
    instance.reset();  // releasing the sets is not part of the cost
    state.ResumeTiming();
  }
  state.counters["set_elements"] = static_cast<double>(pairs);
}
BENCHMARK(BM_ClosureThroughAccessors)
    ->Args({10000, 100000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The closure index alone: every arc in, then one set handed out, which
// builds the rows of the whole level. What the full read adds on top is the
// cost of the std::set nodes the accessors' return type requires.
void BM_ClosureIndexOnly(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const Pairs arcs = randomForwardArcs(jobs, static_cast<int>(state.range(1)), 42);
  for (auto _ : state) {
    state.PauseTiming();
    auto instance = std::make_unique<JobInstance>(loJobs(jobs));
    state.ResumeTiming();
    for (const auto& arc : arcs) instance->insert(Arc(arc.first, arc.second));
    benchmark::DoNotOptimize(instance->getTransitiveSuccessors(0, CRIT_LO).size());
    state.PauseTiming();
    instance.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ClosureIndexOnly)->Args({10000, 100000})->Unit(benchmark::kMillisecond);

// Every job's transitive successors as ids, read straight from the index:
// what a caller that does not need Util::Set pays.
void BM_ClosureThroughIdQueries(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const Pairs arcs = randomForwardArcs(jobs, static_cast<int>(state.range(1)), 42);
  size_t pairs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto instance = std::make_unique<JobInstance>(loJobs(jobs));
    state.ResumeTiming();
    for (const auto& arc : arcs) instance->insert(Arc(arc.first, arc.second));
    pairs = 0;
    for (int id = 0; id < jobs; ++id)
      pairs += mcjobs::transitiveSuccessorIds(*instance, id, CRIT_LO).size();
    benchmark::DoNotOptimize(pairs);
    state.PauseTiming();
    instance.reset();
    state.ResumeTiming();
  }
  state.counters["closure_pairs"] = static_cast<double>(pairs);
}
BENCHMARK(BM_ClosureThroughIdQueries)->Args({10000, 100000})->Unit(benchmark::kMillisecond);

void BM_BoostTransitiveClosure(benchmark::State& state) {
  using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS>;
  const int jobs = static_cast<int>(state.range(0));
  const Pairs arcs = randomForwardArcs(jobs, static_cast<int>(state.range(1)), 42);
  size_t pairs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Graph graph(static_cast<size_t>(jobs));
    for (const auto& arc : arcs) boost::add_edge(arc.first, arc.second, graph);
    auto closure = std::make_unique<Graph>();
    state.ResumeTiming();
    boost::transitive_closure(graph, *closure);
    pairs = boost::num_edges(*closure);
    benchmark::DoNotOptimize(pairs);
    state.PauseTiming();
    closure.reset();
    state.ResumeTiming();
  }
  state.counters["closure_arcs"] = static_cast<double>(pairs);
}
BENCHMARK(BM_BoostTransitiveClosure)
    ->Args({10000, 100000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
