// Shared by the library suites: small instances written as job-line values and
// arcs, and the condition text of a failed check.
#ifndef MCJOBS_TESTS_TEST_SUPPORT_H
#define MCJOBS_TESTS_TEST_SUPPORT_H

#include <algorithm>
#include <random>
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

// Jobs with random budgets and windows, and arcs that follow a hidden
// topological order, so that no arc closes a cycle.
struct RandomDag {
  std::vector<int> order;  // a topological order of the arcs
  std::vector<JobSpec> jobs;
  ArcList arcs;
};

// `window(rng)` gives a job's {arrival, deadline}; each forward pair of the
// order becomes an arc with probability 1 / arcOneIn.
template <typename Window>
RandomDag randomDag(std::mt19937& rng, int n, unsigned arcOneIn, Window window) {
  RandomDag dag;
  dag.order.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) dag.order[static_cast<size_t>(i)] = i;
  std::shuffle(dag.order.begin(), dag.order.end(), rng);
  for (int i = 0; i < n; ++i) {
    const int crit = rng() % 2 ? CRIT_HI : CRIT_LO;
    const int lo = 1 + static_cast<int>(rng() % 10);
    const int hi = crit == CRIT_HI ? lo + static_cast<int>(rng() % 10) : lo;
    const std::pair<int, int> times = window(rng);
    dag.jobs.push_back({times.first, times.second, crit, lo, hi});
  }
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b)
      if (rng() % arcOneIn == 0)
        dag.arcs.push_back({dag.order[static_cast<size_t>(a)], dag.order[static_cast<size_t>(b)]});
  return dag;
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
