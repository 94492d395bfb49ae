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

#endif  // MCJOBS_TESTS_TEST_SUPPORT_H
