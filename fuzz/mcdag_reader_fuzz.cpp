// The MC-DAG reader. The format has no writer, so a system it accepts is checked for what the
// unrolling promises: every window is one period [kD, (k+1)D] within the hyperperiod, budgets
// fit their windows, arcs join jobs of one instance, and the job set's own text reads back as
// the same set. A refusal is located. Small limits keep each run fast: a large system is
// refused in the words of the real limits.
#include <cstdint>
#include <sstream>
#include <string>

#include "detail/interchange_input.h"
#include "fuzz_support.h"
#include "interchange.h"

namespace {

constexpr mcjobs_detail::McdagLimits kSmall = {20000, 50000};

int gCores = 0;

JobInstance readSystem(std::istream& in, const std::string& name) {
  return mcjobs_detail::readMcdag(in, name, &gCores, kSmall);
}

JobInstance readNative(std::istream& in, const std::string& name) {
  return mcjobs::readNative(in, name);
}

void checkUnrolled(JobInstance& set) {
  int hyperperiod = 0;
  for (const Job& job : set) hyperperiod = job.deadline > hyperperiod ? job.deadline : hyperperiod;
  for (const Job& job : set) {
    const int period = job.deadline - job.arrival;
    fuzz::require(period > 0 && job.arrival % period == 0 && hyperperiod % period == 0);
    fuzz::require(job.lo_wcet >= 1 && job.hi_wcet <= period);
    for (int successor : set.getSuccessors(job.id, CRIT_LO)) {
      const Job& next = *set.at(successor);
      fuzz::require(next.arrival == job.arrival && next.deadline == job.deadline);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  gCores = -1;
  JobInstance set;
  if (!fuzz::readsAs(fuzz::text(data, size), "in.xml", readSystem, set)) return 0;
  fuzz::require(gCores >= 0);
  checkUnrolled(set);
  JobInstance again;
  fuzz::require(fuzz::readsAs(mcjobs::writeNative(set), "out.txt", readNative, again));
  fuzz::require(fuzz::sameSet(set, again));
  return 0;
}
