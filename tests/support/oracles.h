// Answers computed apart from the library, to compare its results with: the
// condition text of a failed check, reachability by a plain search, and the
// window propagation pass as first defined.
#ifndef MCJOBS_TESTS_SUPPORT_ORACLES_H
#define MCJOBS_TESTS_SUPPORT_ORACLES_H

#include <string>
#include <vector>

#include "job.h"
#include "support/builders.h"

// The condition text of the check that `action` fails, or "" when it returns.
template <typename Action>
std::string failedCheck(Action action) {
  try {
    action();
  } catch (const CheckError& failure) {
    return failure.condition();
  }
  return "";
}

// Which job reaches which at a level, by a plain search over the arcs the test
// inserted; `jobs` holds the criticalities the jobs had at their insertion.
inline std::vector<std::vector<bool>> reachability(const std::vector<JobSpec>& jobs,
                                                   const ArcList& arcs, int crit) {
  const size_t n = jobs.size();
  std::vector<std::vector<bool>> reach(n, std::vector<bool>(n));
  for (size_t from = 0; from < n; ++from) {
    std::vector<size_t> todo{from};
    while (!todo.empty()) {
      const size_t x = todo.back();
      todo.pop_back();
      for (const auto& arc : arcs) {
        const bool atLevel = crit == CRIT_LO || (jobs[arc.first].criticality == CRIT_HI &&
                                                 jobs[arc.second].criticality == CRIT_HI);
        const size_t to = static_cast<size_t>(arc.second);
        if (atLevel && static_cast<size_t>(arc.first) == x && !reach[from][to]) {
          reach[from][to] = true;
          todo.push_back(to);
        }
      }
    }
  }
  return reach;
}

// The window propagation pass as first defined: each job in id order hands
// its current arrival to every job it reaches (its current deadline to every
// job reaching it), and every change is checked at once.
struct ReferencePass {
  std::vector<int> values;  // arrivals (deadlines) after the pass, when nothing failed
  bool changed = false;
  int failedJob = -1;  // the job whose check failed first, or -1
  int failedValue = 0;
  std::string condition;
};

inline ReferencePass referencePass(std::vector<Job> jobs,
                                   const std::vector<std::vector<bool>>& reach, bool arrivals) {
  ReferencePass pass;
  const size_t n = jobs.size();
  for (size_t id = 0; id < n; ++id) {
    for (size_t other = 0; other < n; ++other) {
      int* value = arrivals ? &jobs[other].arrival : &jobs[other].deadline;
      const int offered = arrivals ? jobs[id].arrival : jobs[id].deadline;
      const bool related = arrivals ? reach[id][other] : reach[other][id];
      if (!related || (arrivals ? offered <= *value : offered >= *value)) continue;
      *value = offered;
      pass.changed = true;
      const std::string failure = failedCheck([&] { jobs[other].sanity_check(); });
      if (!failure.empty()) {
        pass.failedJob = static_cast<int>(other);
        pass.failedValue = offered;
        pass.condition = failure;
        return pass;
      }
    }
  }
  for (const Job& job : jobs) pass.values.push_back(arrivals ? job.arrival : job.deadline);
  return pass;
}
#endif  // MCJOBS_TESTS_SUPPORT_ORACLES_H
