// Instances for the library suites: small ones written as job-line values and
// arcs, random DAGs, and random windows that propagation squeezes.
#ifndef MCJOBS_TESTS_SUPPORT_BUILDERS_H
#define MCJOBS_TESTS_SUPPORT_BUILDERS_H

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

// Every job line of the instance, to compare whole instances.
inline std::vector<std::string> jobLines(JobInstance& inst) {
  std::vector<std::string> out;
  for (const Job& job : inst) out.push_back(job.toString());
  return out;
}

// Random windows that propagation often squeezes below a budget, and in some
// cases one job whose public fields were changed after its insertion to
// values its sanity check rejects (an unknown criticality, a negative
// arrival, budgets out of order, an empty window).
struct SqueezeCase {
  RandomDag dag;
  int oddJob = -1;
  int oddKind = 0;
};

inline SqueezeCase squeezeCase(std::mt19937& rng, int maxJobs) {
  SqueezeCase c;
  const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(maxJobs));
  const int slack = rng() % 3 == 0 ? 400 : 40;
  c.dag = randomDag(rng, n, 2 + static_cast<unsigned>(rng() % 6), [slack](std::mt19937& r) {
    const int arrival = static_cast<int>(r() % 60);
    return std::make_pair(arrival, arrival + 19 + static_cast<int>(r() % slack));
  });
  if (rng() % 4 == 0) {
    c.oddJob = static_cast<int>(rng() % static_cast<unsigned>(n));
    c.oddKind = static_cast<int>(rng() % 5);
  }
  return c;
}

inline JobInstance buildSqueezeCase(const SqueezeCase& c) {
  JobInstance inst = build(c.dag.jobs, c.dag.arcs);
  if (c.oddJob < 0) return inst;
  Job& job = *inst.at(c.oddJob);
  switch (c.oddKind) {
    case 0:
      job.criticality = 3;
      break;
    case 1:
      job.arrival = -7;
      break;
    case 2:
      job.hi_wcet = job.lo_wcet - 1;
      break;
    case 3:
      job.deadline = job.arrival;
      break;
    default:
      job.arrival = -1;
      break;
  }
  return inst;
}

#endif  // MCJOBS_TESTS_SUPPORT_BUILDERS_H
