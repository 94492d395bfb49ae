// Reading instance bodies of the large shapes (long chains in and against the
// id order, dense random DAGs, many small independent DAGs) and the listing
// of their arcs: the work of one `mcjobs check` run, without the process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "detail/instance_text.h"
#include "job.h"

namespace {

void addJob(std::string& body, int level) {
  body += level == CRIT_HI ? "0 100000000 2 1 2\n" : "0 100000000 1 1 1\n";
}

void addArc(std::string& body, int from, int to) {
  body += "( J" + std::to_string(from + 1) + " J" + std::to_string(to + 1) + " )\n";
}

// J1 -> J2 -> ... -> Jn; `against` lists it as ( J2 J1 ), ( J3 J2 ), ...
// which contradicts the id order on every line.
std::string chain(int jobs, bool against) {
  std::string body;
  for (int i = 0; i < jobs; ++i) addJob(body, CRIT_LO);
  for (int k = 0; k + 1 < jobs; ++k) {
    if (against) {
      addArc(body, k + 1, k);
    } else {
      addArc(body, k, k + 1);
    }
  }
  return body;
}

// Half HI jobs and distinct random forward arcs in random order.
std::string randomDag(int jobs, int arcs) {
  std::mt19937 rng(1);
  std::string body;
  for (int i = 0; i < jobs; ++i) addJob(body, i % 2 ? CRIT_HI : CRIT_LO);
  std::set<std::pair<int, int>> chosen;
  std::vector<std::pair<int, int>> order;
  while (static_cast<int>(chosen.size()) < arcs) {
    int a = static_cast<int>(rng() % static_cast<unsigned>(jobs));
    int b = static_cast<int>(rng() % static_cast<unsigned>(jobs));
    if (a == b) continue;
    if (a > b) std::swap(a, b);
    if (chosen.insert({a, b}).second) order.emplace_back(a, b);
  }
  for (const auto& arc : order) addArc(body, arc.first, arc.second);
  return body;
}

// `groups` independent DAGs of `size` jobs, each forward pair an arc with
// probability 15% (about 28 arcs per group of 20).
std::string localDags(int groups, int size) {
  std::mt19937 rng(2);
  std::string body;
  for (int i = 0; i < groups * size; ++i) addJob(body, rng() % 2 ? CRIT_HI : CRIT_LO);
  for (int g = 0; g < groups; ++g) {
    for (int a = 0; a < size; ++a) {
      for (int b = a + 1; b < size; ++b) {
        if (rng() % 100 < 15) addArc(body, g * size + a, g * size + b);
      }
    }
  }
  return body;
}

void readAndList(benchmark::State& state, const std::string& body) {
  size_t arcs = 0;
  for (auto _ : state) {
    FILE* stream = fmemopen(const_cast<char*>(body.data()), body.size(), "r");
    JobInstance instance;
    mcjobs_detail::readBody(stream, instance, "bench");
    std::fclose(stream);
    arcs = instance.getAllArcs().size();
    benchmark::DoNotOptimize(instance.numJobs(CRIT_HI));
  }
  state.counters["arcs"] = static_cast<double>(arcs);
}

void BM_ReadChain(benchmark::State& state) {
  const std::string body = chain(static_cast<int>(state.range(0)), state.range(1) != 0);
  readAndList(state, body);
}
BENCHMARK(BM_ReadChain)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->ArgNames({"jobs", "against"})
    ->Unit(benchmark::kMillisecond);

void BM_ReadRandomDag(benchmark::State& state) {
  const std::string body =
      randomDag(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  readAndList(state, body);
}
BENCHMARK(BM_ReadRandomDag)->Args({20000, 200000})->Unit(benchmark::kMillisecond);

void BM_ReadLocalDags(benchmark::State& state) {
  const std::string body =
      localDags(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  readAndList(state, body);
}
BENCHMARK(BM_ReadLocalDags)->Args({25000, 20})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
