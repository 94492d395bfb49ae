// Reading, scaling and writing instance files: the work of one dilateJobs run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "job.h"

namespace {

const char* const kFiles[] = {"jobs.txt", "arcs.txt", "out.txt"};

std::string& scratchDir() {
  static std::string dir;
  return dir;
}

void removeScratch() {
  for (const char* name : kFiles) ::unlink((scratchDir() + "/" + name).c_str());
  ::rmdir(scratchDir().c_str());
}

std::string scratchPath(const std::string& name) {
  if (scratchDir().empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/mcjobs-bench-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) std::abort();
    scratchDir() = pattern;
    std::atexit(removeScratch);
  }
  return scratchDir() + "/" + name;
}

// `jobs` valid jobs and `arcs` distinct forward arcs (acyclic by construction),
// the arcs listed in random order.
std::string makeInstanceFile(const std::string& name, int jobs, int arcs) {
  std::mt19937 random(12345);
  const std::string path = scratchPath(name);
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) std::abort();
  for (int i = 0; i < jobs; ++i) {
    const int arrival = static_cast<int>(random() % 100000);
    const int window = 10 + static_cast<int>(random() % 990);
    const int crit = 1 + static_cast<int>(random() % 2);
    const int lo = 1 + static_cast<int>(random() % static_cast<unsigned>(window / 2));
    const int hi =
        crit == 1 ? lo : lo + static_cast<int>(random() % static_cast<unsigned>(window - lo + 1));
    std::fprintf(file, "%d %d %d %d %d\n", arrival, arrival + window, crit, lo, hi);
  }
  std::set<std::pair<int, int>> chosen;
  while (static_cast<int>(chosen.size()) < arcs) {
    int a = static_cast<int>(random() % static_cast<unsigned>(jobs));
    int b = static_cast<int>(random() % static_cast<unsigned>(jobs));
    if (a == b) continue;
    if (a > b) std::swap(a, b);
    if (chosen.insert({a, b}).second) std::fprintf(file, "( J%d J%d )\n", a + 1, b + 1);
  }
  std::fclose(file);
  return path;
}

void readScaleWrite(benchmark::State& state, const std::string& input) {
  const std::string output = scratchPath("out.txt");
  for (auto _ : state) {
    JobInstance instance;
    if (!instance.read(input.c_str())) state.SkipWithError("cannot read the input");
    scaleInstance(&instance, 3);
    instance.write(output.c_str());
    benchmark::DoNotOptimize(instance.numJobs());
  }
}

void BM_ReadScaleWrite_200000JobsNoArcs(benchmark::State& state) {
  static const std::string input = makeInstanceFile("jobs.txt", 200000, 0);
  readScaleWrite(state, input);
  state.SetItemsProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReadScaleWrite_200000JobsNoArcs)->Unit(benchmark::kMillisecond);

void BM_ReadScaleWrite_2000Jobs20000Arcs(benchmark::State& state) {
  static const std::string input = makeInstanceFile("arcs.txt", 2000, 20000);
  readScaleWrite(state, input);
  state.SetItemsProcessed(state.iterations() * 22000);
}
BENCHMARK(BM_ReadScaleWrite_2000Jobs20000Arcs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
