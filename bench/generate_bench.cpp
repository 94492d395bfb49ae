// The generator at the sizes experiments use: a periodic set of a million jobs
// generated and written, and ten thousand small frame sets appended to one
// archive in a single locked append.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "archive_file.h"
#include "generate.h"

namespace {

// 4,545 tasks of 50 nodes; each unrolls to 50 * (10000 / T) jobs over the
// hyperperiod of 10,000, 220 on average: about a million jobs in all.
mcjobs::GenerateOptions millionJobs() {
  mcjobs::GenerateOptions options;
  options.model = mcjobs::GenerateModel::kPeriodic;
  options.tasks = 4545;
  options.periods = {1000, 2000, 2500, 5000, 10000};
  options.nodesMin = options.nodesMax = 50;
  options.edgeProb = 0.05;
  options.processors = 2000;
  options.utilization = 0.7;
  options.maxTaskUtilization = 4;
  return options;
}

std::string scratchPath(const char* name) {
  return std::string("/tmp/mcjobs_generate_bench_") + std::to_string(::getpid()) + name;
}

void BM_PeriodicMillionJobs(benchmark::State& state) {
  const mcjobs::GenerateOptions options = millionJobs();
  long long jobs = 0;
  for (auto _ : state) {
    JobInstance instance = mcjobs::generateInstance(options, 7);
    jobs = instance.numJobs();
    benchmark::DoNotOptimize(jobs);
  }
  state.counters["jobs"] = static_cast<double>(jobs);
}
BENCHMARK(BM_PeriodicMillionJobs)->Unit(benchmark::kMillisecond);

void BM_PeriodicMillionJobsWritten(benchmark::State& state) {
  const mcjobs::GenerateOptions options = millionJobs();
  const std::string path = scratchPath(".txt");
  for (auto _ : state) {
    JobInstance instance = mcjobs::generateInstance(options, 7);
    instance.write(path.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_PeriodicMillionJobsWritten)->Unit(benchmark::kMillisecond);

void BM_TenThousandFrameSetsIntoOneArchive(benchmark::State& state) {
  mcjobs::GenerateOptions options;
  options.nodesMin = options.nodesMax = 50;
  options.graphs = 1;
  const std::string path = scratchPath(".jobstar");
  for (auto _ : state) {
    std::remove(path.c_str());
    std::uint64_t index = 0;
    mcjobs::appendToArchive(path, [&](std::string& name, JobInstance& instance) {
      if (index == 10000) return false;
      ++index;
      name = "set-" + std::to_string(index);
      instance = mcjobs::generateInstance(options, mcjobs::batchSeed(1, index));
      return true;
    });
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_TenThousandFrameSetsIntoOneArchive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
