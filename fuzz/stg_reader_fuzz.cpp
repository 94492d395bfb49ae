// The STG reader. A file it accepts is written back and must read as the
// same set, the renumbering the written comments announce undone; read with
// HI tasks, the HI file must read as the HI jobs with their HI budgets and arcs.
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "interchange.h"

namespace {

mcjobs::InterchangeOptions withHiTasks() {
  mcjobs::InterchangeOptions options;
  options.hiFraction = 0.5;
  options.seed = 7;
  options.criticalityFactor = 1.5;
  options.deadlineFactor = 1.25;
  return options;
}

JobInstance readPlain(std::istream& in, const std::string& name) {
  return mcjobs::readStg(in, name);
}

JobInstance readWithHiTasks(std::istream& in, const std::string& name) {
  static const mcjobs::InterchangeOptions options = withHiTasks();
  return mcjobs::readStg(in, name, options);
}

// Job id -> task number - 1 in a written file: "# task K is job JX" lines when the
// writer renumbered, the job order otherwise. Jobs the file leaves out stay -1.
std::vector<int> taskOfJob(const std::string& written, JobInstance& set, int level) {
  std::vector<int> idOf(static_cast<size_t>(set.numJobs()), -1);
  std::istringstream lines(written);
  bool renumbered = false;
  for (std::string line; std::getline(lines, line);) {
    int task = 0, job = 0;
    if (std::sscanf(line.c_str(), "# task %d is job J%d", &task, &job) != 2) continue;
    fuzz::require(job >= 1 && job <= set.numJobs() && task >= 1);
    idOf[static_cast<size_t>(job - 1)] = task - 1;
    renumbered = true;
  }
  int next = 0;
  for (const Job& job : set)
    if (job.criticality >= level && !renumbered) idOf[static_cast<size_t>(job.id)] = next++;
  return idOf;
}

std::string withoutNumbering(const std::string& written) {
  const size_t at = written.find("\n# task ");
  return at == std::string::npos ? written : written.substr(0, at + 1);
}

void checkHiFile(JobInstance& set) {
  mcjobs::InterchangeOptions hiLevel;
  hiLevel.level = CRIT_HI;
  const std::string written = mcjobs::writeStg(set, hiLevel);
  JobInstance hi;
  fuzz::require(fuzz::readsAs(written, "hi.stg", readPlain, hi));
  const std::vector<int> idOf = taskOfJob(written, set, CRIT_HI);
  fuzz::require(hi.numJobs() == static_cast<int>(set.numJobs(CRIT_HI)));
  for (const Job& job : set) {
    const int id = idOf[static_cast<size_t>(job.id)];
    fuzz::require((id >= 0) == (job.criticality == CRIT_HI));
    if (id < 0) continue;
    fuzz::require(id < hi.numJobs() && hi.at(id)->lo_wcet == job.hi_wcet);
    Util::Set<int> successors;
    for (int successor : set.getSuccessors(job.id, CRIT_HI))
      successors.insert(idOf[static_cast<size_t>(successor)]);
    fuzz::require(hi.getSuccessors(id, CRIT_LO) == successors);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string input = fuzz::text(data, size);
  JobInstance set;
  if (fuzz::readsAs(input, "in.stg", readPlain, set)) {
    const std::string written = mcjobs::writeStg(set);
    JobInstance again;
    fuzz::require(fuzz::readsAs(written, "out.stg", readPlain, again));
    fuzz::require(fuzz::sameSet(set, again, taskOfJob(written, set, CRIT_LO)));
    fuzz::require(mcjobs::writeStg(again) == withoutNumbering(written));
  }
  JobInstance mixed;
  if (fuzz::readsAs(input, "in.stg", readWithHiTasks, mixed)) checkHiFile(mixed);
  return 0;
}
