// Shared by the library suites: small instances written as job-line values and
// arcs, and the condition text of a failed check.
#ifndef MCJOBS_TESTS_TEST_SUPPORT_H
#define MCJOBS_TESTS_TEST_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "job.h"

struct JobSpec {
  int arrival, deadline, criticality, lo, hi;
};

using ArcList = std::vector<std::pair<int, int>>;

inline JobInstance build(const std::vector<JobSpec>& jobs, const ArcList& arcs = {}) {
  JobInstance inst;
  for (const JobSpec& spec : jobs) {
    Job job;
    job.arrival = spec.arrival;
    job.deadline = spec.deadline;
    job.criticality = spec.criticality;
    job.lo_wcet = spec.lo;
    job.hi_wcet = spec.hi;
    inst.insert(job);
  }
  for (const auto& arc : arcs) inst.insert(Arc(arc.first, arc.second));
  return inst;
}

inline std::vector<int> arrivals(JobInstance& inst) {
  std::vector<int> out;
  for (const Job& job : inst) out.push_back(job.arrival);
  return out;
}

inline std::vector<int> deadlines(JobInstance& inst) {
  std::vector<int> out;
  for (const Job& job : inst) out.push_back(job.deadline);
  return out;
}

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

#endif  // MCJOBS_TESTS_TEST_SUPPORT_H
