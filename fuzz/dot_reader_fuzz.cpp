// The DOT reader. A drawing it accepts is written back and must read as the
// same set; the HI drawing reads as the HI jobs with their HI arcs, and the
// reduced drawing keeps the precedence of both levels. The default window and budget
// only fill what a node lacks.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "interchange.h"

namespace {

JobInstance readPlain(std::istream& in, const std::string& name) {
  return mcjobs::readDot(in, name);
}

JobInstance readFilled(std::istream& in, const std::string& name) {
  static const mcjobs::InterchangeOptions options = fuzz::withDefaults();
  return mcjobs::readDot(in, name, options);
}

// The HI drawing: the HI jobs in id order, their HI arcs at both levels.
void checkHiDrawing(JobInstance& set) {
  JobInstance hi;
  fuzz::require(fuzz::readsAs(mcjobs::writeDot(set, CRIT_HI), "hi.dot", readPlain, hi));
  std::vector<int> idOf(static_cast<size_t>(set.numJobs()), -1);
  int next = 0;
  for (const Job& job : set)
    if (job.criticality == CRIT_HI) idOf[static_cast<size_t>(job.id)] = next++;
  fuzz::require(hi.numJobs() == next);
  for (const Job& job : set) {
    const int id = idOf[static_cast<size_t>(job.id)];
    if (id < 0) continue;
    const Job& drawn = *hi.at(id);
    fuzz::require(drawn.arrival == job.arrival && drawn.deadline == job.deadline &&
                  drawn.criticality == CRIT_HI && drawn.lo_wcet == job.lo_wcet &&
                  drawn.hi_wcet == job.hi_wcet);
    Util::Set<int> successors;
    for (int successor : set.getSuccessors(job.id, CRIT_HI))
      successors.insert(idOf[static_cast<size_t>(successor)]);
    fuzz::require(hi.getSuccessors(id, CRIT_LO) == successors &&
                  hi.getSuccessors(id, CRIT_HI) == successors);
  }
}

std::string writeLoDrawing(JobInstance& set) {
  return mcjobs::writeDot(set);
}

void checkReducedDrawing(JobInstance& set) {
  JobInstance reduced;
  fuzz::require(
      fuzz::readsAs(mcjobs::writeDot(set, CRIT_LO, true), "reduced.dot", readPlain, reduced));
  fuzz::require(reduced.numJobs() == set.numJobs());
  // Each level is reduced on its own, so the drawing keeps the closure of both.
  for (int level : {CRIT_LO, CRIT_HI})
    for (int id = 0; id < set.numJobs(); ++id)
      fuzz::require(reduced.getTransitiveSuccessors(id, level) ==
                    set.getTransitiveSuccessors(id, level));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  JobInstance set;
  if (!fuzz::roundTripsWithDefaults(fuzz::text(data, size), readPlain, readFilled, writeLoDrawing, set))
    return 0;
  checkHiDrawing(set);
  checkReducedDrawing(set);
  return 0;
}
