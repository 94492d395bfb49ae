// What the format fuzzers share: a failed property stops the run at once,
// and two job sets compare job by job and arc by arc at both levels.
#ifndef MCJOBS_FUZZ_SUPPORT_H
#define MCJOBS_FUZZ_SUPPORT_H

#include <cstdint>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "interchange.h"
#include "job.h"

namespace fuzz {

// A trap, not an exception: nothing in the library may catch it on the way out.
inline void require(bool holds) {
  if (!holds) __builtin_trap();
}

inline std::string text(const std::uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// A refusal names the input it read and never a negative line.
inline void requireLocated(const CheckError& failure, const std::string& name,
                           const std::string& other = std::string()) {
  require(failure.inputFile() == name || (!other.empty() && failure.inputFile() == other));
  require(failure.inputLine() >= 0);
}

// Options that give a node without a window or a budget the window [0, 100] and budget 1.
inline mcjobs::InterchangeOptions withDefaults() {
  mcjobs::InterchangeOptions options;
  options.hasDefaultWindow = true;
  options.defaultArrival = 0;
  options.defaultDeadline = 100;
  options.defaultWcet = 1;
  return options;
}

inline std::vector<int> identity(int count) {
  std::vector<int> ids(static_cast<size_t>(count));
  std::iota(ids.begin(), ids.end(), 0);
  return ids;
}

// Whether `b` holds the jobs of `a`, job k of `a` being job idOf[k] of `b`, with the
// same direct successors at both levels.
inline bool sameSet(JobInstance& a, JobInstance& b, const std::vector<int>& idOf) {
  if (a.numJobs() != b.numJobs() || idOf.size() != static_cast<size_t>(a.numJobs())) return false;
  for (int id = 0; id < a.numJobs(); ++id) {
    const Job& x = *a.at(id);
    const Job& y = *b.at(idOf[static_cast<size_t>(id)]);
    if (x.arrival != y.arrival || x.deadline != y.deadline || x.criticality != y.criticality ||
        x.lo_wcet != y.lo_wcet || x.hi_wcet != y.hi_wcet)
      return false;
  }
  for (int level : {CRIT_LO, CRIT_HI})
    for (int id = 0; id < a.numJobs(); ++id) {
      Util::Set<int> mapped;
      for (int successor : a.getSuccessors(id, level))
        mapped.insert(idOf[static_cast<size_t>(successor)]);
      if (mapped != b.getSuccessors(idOf[static_cast<size_t>(id)], level)) return false;
    }
  return true;
}

inline bool sameSet(JobInstance& a, JobInstance& b) {
  return sameSet(a, b, identity(a.numJobs()));
}

// The reader's result on a text, or false when it refuses the text (with a located error).
template <typename Read>
bool readsAs(const std::string& input, const std::string& name, Read read, JobInstance& out) {
  std::istringstream in(input);
  try {
    out = read(in, name);
  } catch (const CheckError& failure) {
    requireLocated(failure, name);
    return false;
  }
  return true;
}

// The property both node-attribute formats share: the defaults only fill what a node
// lacks, and an accepted text written back reads as the same set, whose own text is
// the same. `set` gets the set read with the defaults; false when it is refused.
template <typename Read, typename Write>
bool roundTripsWithDefaults(const std::string& input, Read readPlain, Read readFilled, Write write,
                            JobInstance& set) {
  JobInstance plain;
  const bool plainRead = readsAs(input, "input", readPlain, plain);
  const bool filledRead = readsAs(input, "input", readFilled, set);
  if (plainRead) require(filledRead && sameSet(plain, set));
  if (!filledRead) return false;
  const std::string written = write(set);
  JobInstance again;
  require(readsAs(written, "written", readPlain, again));
  require(sameSet(set, again));
  require(write(again) == written);
  return true;
}

}  // namespace fuzz

#endif  // MCJOBS_FUZZ_SUPPORT_H
