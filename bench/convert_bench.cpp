// Conversion speed: a 100,000-job instance with about 150,000 arcs written to
// and read from each interchange format.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "interchange.h"
#include "random_stream.h"

namespace {

constexpr int kJobs = 100000;

// Half the jobs HI; each job after the first has one or two predecessors
// among the 50 jobs before it.
JobInstance& bigInstance() {
  static JobInstance instance = [] {
    mcjobs::RandomStream random(2026);
    JobInstance built;
    for (int id = 0; id < kJobs; ++id) {
      Job job;
      job.arrival = static_cast<int>(random.integer(0, 1000));
      job.deadline = job.arrival + 100 + static_cast<int>(random.integer(0, 1000));
      job.criticality = random.bernoulli(0.5) ? CRIT_HI : CRIT_LO;
      job.lo_wcet = static_cast<int>(random.integer(1, 20));
      job.hi_wcet = job.criticality == CRIT_HI ? job.lo_wcet * 2 : job.lo_wcet;
      built.insert(job);
    }
    for (int id = 1; id < kJobs; ++id) {
      const int preds = random.bernoulli(0.5) ? 2 : 1;
      for (int k = 0; k < preds; ++k)
        built.insert(Arc(static_cast<int>(random.integer(id > 50 ? id - 50 : 0, id - 1)), id));
    }
    return built;
  }();
  return instance;
}

void setCounters(benchmark::State& state) {
  state.counters["jobs"] = kJobs;
  state.counters["arcs"] = static_cast<double>(bigInstance().getAllArcs().size());
}

template <typename Write>
void writeBench(benchmark::State& state, Write write) {
  JobInstance& instance = bigInstance();
  for (auto _ : state) benchmark::DoNotOptimize(write(instance));
  setCounters(state);
}

template <typename Write, typename Read>
void readBench(benchmark::State& state, Write write, Read read) {
  const std::string text = write(bigInstance());
  for (auto _ : state) {
    std::istringstream in(text);
    JobInstance instance = read(in);
    benchmark::DoNotOptimize(instance.numJobs());
  }
  setCounters(state);
}

void BM_WriteNative(benchmark::State& state) {
  writeBench(state, [](JobInstance& instance) { return mcjobs::writeNative(instance); });
}
void BM_ReadNative(benchmark::State& state) {
  readBench(
      state, [](JobInstance& instance) { return mcjobs::writeNative(instance); },
      [](std::istream& in) { return mcjobs::readNative(in, "big.txt"); });
}
void BM_WriteJson(benchmark::State& state) {
  writeBench(state, [](JobInstance& instance) { return mcjobs::writeJson(instance); });
}
void BM_ReadJson(benchmark::State& state) {
  readBench(
      state, [](JobInstance& instance) { return mcjobs::writeJson(instance); },
      [](std::istream& in) { return mcjobs::readJson(in, "big.json"); });
}
void BM_WriteDot(benchmark::State& state) {
  writeBench(state, [](JobInstance& instance) { return mcjobs::writeDot(instance); });
}
void BM_ReadDot(benchmark::State& state) {
  readBench(
      state, [](JobInstance& instance) { return mcjobs::writeDot(instance); },
      [](std::istream& in) { return mcjobs::readDot(in, "big.dot"); });
}
void BM_WriteStg(benchmark::State& state) {
  writeBench(state, [](JobInstance& instance) { return mcjobs::writeStg(instance); });
}
void BM_ReadStg(benchmark::State& state) {
  readBench(
      state, [](JobInstance& instance) { return mcjobs::writeStg(instance); },
      [](std::istream& in) { return mcjobs::readStg(in, "big.stg"); });
}
void BM_WriteNptest(benchmark::State& state) {
  writeBench(state, [](JobInstance& instance) { return mcjobs::writeNptest(instance).jobs; });
}
void BM_ReadNptest(benchmark::State& state) {
  const mcjobs::NptestFiles files = mcjobs::writeNptest(bigInstance());
  for (auto _ : state) {
    std::istringstream jobs(files.jobs), precedence(files.precedence);
    JobInstance instance = mcjobs::readNptest(jobs, "big.csv", &precedence, "big.prec.csv");
    benchmark::DoNotOptimize(instance.numJobs());
  }
  setCounters(state);
}

BENCHMARK(BM_WriteNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteDot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteStg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNptest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNptest)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
