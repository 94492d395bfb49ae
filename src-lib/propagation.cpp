// Window propagation along the transitive precedence of one level, and the
// process-wide switch of its trace (also asked by the load analysis).
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "detail/check.h"
#include "job.h"
#include "detail/window_sweep.h"

namespace {
// Atomic: analyses of different instances may run on several threads at once.
std::atomic<bool> enforce_prop_debug{false};
}  // namespace

void enforcePropDebug() {
  enforce_prop_debug = true;
}

bool propDebug() {
  // The environment is consulted once, at the first query, and never again; a
  // function-local static is initialised exactly once even when threads race.
  static const bool debug = std::getenv("MCS_DEBUG_PROP") != nullptr;
  return debug || enforce_prop_debug.load(std::memory_order_relaxed);
}

namespace {

// Applies a change that the sweep found rejected, so that the job's own sanity
// check names the failed condition, and takes it back before the failure
// leaves: a failed propagation leaves the instance as it found it.
void failRejectedChange(Job* job, int Job::*field, int value) {
  const int kept = job->*field;
  job->*field = value;
  try {
    job->sanity_check();
  } catch (...) {
    job->*field = kept;
    throw;
  }
  job->*field = kept;
}

// Runs a pass that changes one field of the jobs in place, and restores that
// field of every job when the pass fails.
template <typename Pass>
bool undoneOnFailure(JobInstance& instance, int Job::*field, Pass pass) {
  std::vector<int> kept;
  kept.reserve(static_cast<size_t>(instance.size()));
  for (const Job& job : instance) kept.push_back(job.*field);
  try {
    return pass();
  } catch (...) {
    for (int id = 0; id < instance.size(); ++id) instance.at(id)->*field = kept[id];
    throw;
  }
}

bool someArrivalBelow(JobInstance& instance, int limit) {
  for (const Job& job : instance)
    if (job.arrival < limit) return true;
  return false;
}

}  // namespace

// Without the trace the result comes from one sweep over a topological order
// (window_sweep.h), which locates a failing change before anything is written.
// The trace shows every change of the pass over the transitive sets, so with
// the trace on that pass runs as such. One pass suffices: each job hands its
// value to all its transitive successors at once. If x receives a value from y
// after x's own turn, every transitive successor of x is also one of y, and y
// handed the same value to all of them in that same turn. The sets are walked
// in place: only times change during the pass, never the graph.
bool JobInstance::propagate_arrivals(int crit) {
  MCJOBS_CHECK(crit == CRIT_LO || crit == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
  const mcjobs_detail::SweepResult sweep = mcjobs_detail::sweepArrivals(*this, crit);
  // Without a change the pass never asks for the trace, and neither does this.
  if (!sweep.changes) return false;
  // An arrival below -1, which only a job changed after its insertion can
  // have, may reject raises below some it accepts; the sweep assumes it cannot.
  if (!propDebug() && !someArrivalBelow(*this, -1)) {
    if (sweep.rejected)
      failRejectedChange(job_at(sweep.rejected.job), &Job::arrival, sweep.rejected.value);
    for (int id = 0; id < numJobs(); ++id) job_at(id)->arrival = sweep.values[id];
    return true;
  }
  const bool propagated = undoneOnFailure(*this, &Job::arrival, [this, crit] {
    bool changed = false;
    for (int id = 0; id < numJobs(); ++id) {
      Job* job = job_at(id);
      for (int s : getTransitiveSuccessors(id, crit))
        changed = propagate_max_arrivalA2B(job, job_at(s)) || changed;
    }
    return changed;
  });
  if (propagated && propDebug()) {
    std::cout << "[Propagate Arrival] --- Finished: -----" << std::endl;
    print_jobs();
    std::cout << "[Propagate Arrival]  ----------------" << std::endl;
  }
  return propagated;
}

bool JobInstance::propagate_deadlines(int crit) {
  MCJOBS_CHECK(crit == CRIT_LO || crit == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
  const mcjobs_detail::SweepResult sweep = mcjobs_detail::sweepDeadlines(*this, crit);
  if (!sweep.changes) return false;
  if (!propDebug()) {
    if (sweep.rejected)
      failRejectedChange(job_at(sweep.rejected.job), &Job::deadline, sweep.rejected.value);
    for (int id = 0; id < numJobs(); ++id) job_at(id)->deadline = sweep.values[id];
    return true;
  }
  const bool propagated = undoneOnFailure(*this, &Job::deadline, [this, crit] {
    bool changed = false;
    for (int id = 0; id < numJobs(); ++id) {
      Job* job = job_at(id);
      for (int p : getTransitivePredecessors(id, crit))
        changed = propagate_min_deadlineA2B(job, job_at(p)) || changed;
    }
    return changed;
  });
  if (propagated && propDebug()) {
    std::cout << "[Propagate Deadline] --- Finished: -----" << std::endl;
    print_jobs();
    std::cout << "[Propagate Deadline] -------------------" << std::endl;
  }
  return propagated;
}

bool JobInstance::propagate_max_arrivalA2B(Job* pred, Job* succ) {
  if (pred->arrival <= succ->arrival) return false;
  if (propDebug()) {
    std::cout << "[Propagate Arrival] " << pred->name() << ": " << pred->toString() << " ---> "
              << succ->name() << ": " << succ->toString() << std::endl;
  }
  succ->arrival = pred->arrival;
  if (propDebug()) {
    std::cout << "[Propagate Arrival] "
              << "\t\t=> " << succ->name() << ": " << succ->toString() << std::endl;
  }
  // The trace of the change is out before a failed check ends the propagation.
  succ->sanity_check();
  return true;
}

bool JobInstance::propagate_min_deadlineA2B(Job* succ, Job* pred) {
  if (succ->deadline >= pred->deadline) return false;
  if (propDebug()) {
    std::cout << "[Propagate Deadline] " << succ->name() << ": " << succ->toString() << " ---> "
              << pred->name() << ": " << pred->toString() << std::endl;
  }
  pred->deadline = succ->deadline;
  if (propDebug()) {
    std::cout << "[Propagate Deadline] "
              << "\t\t=> " << pred->name() << ": " << pred->toString() << std::endl;
  }
  pred->sanity_check();
  return true;
}
