// The C++ side of bench/python_overhead.py: getLoad on a small instance and
// reading a large instance file, on the files that script writes and names in
// MCJOBS_BENCH_SMALL and MCJOBS_BENCH_LARGE.
#include <benchmark/benchmark.h>
#include <mcjobs/job.h>

#include <cstdlib>

namespace {

const char* inputFile(const char* variable) {
  const char* path = std::getenv(variable);
  return path ? path : "";
}

void BM_SmallLoad(benchmark::State& state) {
  JobInstance instance;
  if (!instance.read(inputFile("MCJOBS_BENCH_SMALL"))) {
    state.SkipWithError("MCJOBS_BENCH_SMALL names no readable instance file");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(instance.getLoad(CRIT_LO, false));
}
BENCHMARK(BM_SmallLoad);

void BM_ReadLarge(benchmark::State& state) {
  for (auto _ : state) {
    JobInstance instance;
    if (!instance.read(inputFile("MCJOBS_BENCH_LARGE"))) {
      state.SkipWithError("MCJOBS_BENCH_LARGE names no readable instance file");
      return;
    }
    benchmark::DoNotOptimize(instance.numJobs());
  }
}
BENCHMARK(BM_ReadLarge)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
