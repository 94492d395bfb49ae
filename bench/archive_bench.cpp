// Walking an archive of 10,000 entries against reading the same instances
// from 10,000 separate instance files; the locked, synced append against a
// bare write_jobstar.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive_file.h"
#include "job.h"

namespace {

constexpr int entryCount = 10000;
constexpr int jobsPerEntry = 20;

JobInstance sampleInstance(int seed) {
  JobInstance instance;
  for (int i = 0; i < jobsPerEntry; ++i) {
    Job job;
    const bool hi = (i + seed) % 3 == 0;
    job.arrival = 10 * i;
    job.deadline = 10 * i + 100 + seed % 50;
    job.criticality = hi ? CRIT_HI : CRIT_LO;
    job.lo_wcet = 3;
    job.hi_wcet = hi ? 6 : 3;
    instance.insert(job);
  }
  for (int i = 0; i + 1 < jobsPerEntry; ++i) instance.insert(Arc(i, i + 1));
  for (int i = 0; i + 5 < jobsPerEntry; i += 4) instance.insert(Arc(i, i + 5));
  return instance;
}

std::string entryName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "entry%05d", i);
  return name;
}

// The archive and the separate files, written once and removed at exit.
struct Corpus {
  std::string directory;
  std::string archive;

  Corpus() {
    char pattern[] = "/tmp/mcjobs_archive_bench.XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    directory = pattern;
    archive = directory + "/all.jobstar";
    FILE* out = std::fopen(archive.c_str(), "w");
    if (!out) std::abort();
    for (int i = 0; i < entryCount; ++i) {
      JobInstance instance = sampleInstance(i);
      instance.write_jobstar(entryName(i), out);
      instance.write(file(i).c_str());
    }
    std::fclose(out);
  }
  ~Corpus() {
    for (int i = 0; i < entryCount; ++i) std::remove(file(i).c_str());
    std::remove(archive.c_str());
    rmdir(directory.c_str());
  }
  std::string file(int i) const { return directory + "/" + entryName(i) + ".txt"; }
};

const Corpus& corpus() {
  static Corpus instance;
  return instance;
}

void walk(benchmark::State& state, const char* expression, int expected) {
  const Corpus& c = corpus();
  for (auto _ : state) {
    FILE* in = std::fopen(c.archive.c_str(), "r");
    std::string name;
    int found = 0;
    while (JobInstance* entry = JobInstance::read_jobstar(expression, in, name, false)) {
      benchmark::DoNotOptimize(entry->numJobs());
      delete entry;
      ++found;
    }
    std::fclose(in);
    if (found != expected) state.SkipWithError("wrong number of entries");
  }
  state.SetItemsProcessed(state.iterations() * expected);
}

void BM_ArchiveWalkEveryEntry(benchmark::State& state) {
  walk(state, ".*", entryCount);
}
BENCHMARK(BM_ArchiveWalkEveryEntry)->Unit(benchmark::kMillisecond);

void BM_ArchiveWalkOneInTen(benchmark::State& state) {
  walk(state, "0", entryCount / 10);
}
BENCHMARK(BM_ArchiveWalkOneInTen)->Unit(benchmark::kMillisecond);

void BM_SeparateFilesRead(benchmark::State& state) {
  const Corpus& c = corpus();
  std::vector<std::string> files;
  for (int i = 0; i < entryCount; ++i) files.push_back(c.file(i));
  for (auto _ : state) {
    for (const std::string& file : files) {
      JobInstance instance;
      if (!instance.read(file.c_str())) state.SkipWithError("cannot read");
      benchmark::DoNotOptimize(instance.numJobs());
    }
  }
  state.SetItemsProcessed(state.iterations() * entryCount);
}
BENCHMARK(BM_SeparateFilesRead)->Unit(benchmark::kMillisecond);

// An instance of `jobs` jobs in a chain, for appends of a given entry size.
JobInstance chainOf(int jobs) {
  JobInstance instance;
  for (int i = 0; i < jobs; ++i) {
    Job job;
    job.arrival = 0, job.deadline = 1000000, job.criticality = CRIT_LO;
    job.lo_wcet = job.hi_wcet = 1;
    instance.insert(job);
  }
  for (int i = 0; i + 1 < jobs; ++i) instance.insert(Arc(i, i + 1));
  return instance;
}

// What the safety costs: lock, journal, one write and the syncs, per entry.
void BM_AppendToArchive(benchmark::State& state) {
  JobInstance instance = chainOf(static_cast<int>(state.range(0)));
  const std::string archive = corpus().directory + "/append.jobstar";
  int i = 0;
  for (auto _ : state) mcjobs::appendToArchive(archive, entryName(i++), instance);
  std::remove(archive.c_str());
}
BENCHMARK(BM_AppendToArchive)->Arg(20)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_BareWriteJobstar(benchmark::State& state) {
  JobInstance instance = chainOf(static_cast<int>(state.range(0)));
  const std::string archive = corpus().directory + "/bare.jobstar";
  FILE* out = std::fopen(archive.c_str(), "a");
  int i = 0;
  for (auto _ : state) {
    instance.write_jobstar(entryName(i++), out);
    std::fflush(out);
  }
  std::fclose(out);
  std::remove(archive.c_str());
}
BENCHMARK(BM_BareWriteJobstar)->Arg(20)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
