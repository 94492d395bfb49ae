#include <cstdlib>
#include <iostream>

#include "check.h"
#include "job.h"

namespace {
bool enforce_prop_debug = false;
}  // namespace

void enforcePropDebug() {
  enforce_prop_debug = true;
}

bool propDebug() {
  // The environment is consulted once, at the first query, and never again.
  static bool cached = false;
  static bool debug = false;
  if (!cached) {
    debug = std::getenv("MCS_DEBUG_PROP") != nullptr;
    cached = true;
  }
  return debug || enforce_prop_debug;
}

// One pass suffices: each job hands its value to all its transitive
// successors at once. If x receives a value from y after x's own turn, every
// transitive successor of x is also one of y, and y handed the same value to
// all of them in that same turn. The sets are walked in place: only times
// change during the pass, never the graph.
bool JobInstance::propagate_arrivals(int crit) {
  MCJOBS_CHECK(crit == CRIT_LO || crit == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
  bool propagated = false;
  for (int id = 0; id < numJobs(); ++id) {
    Job* job = job_at(id);
    for (int s : getTransitiveSuccessors(id, crit)) {
      propagated = propagate_max_arrivalA2B(job, job_at(s)) || propagated;
    }
  }
  if (propagated && propDebug()) {
    std::cout << "[Propagate Arrival] --- Finished: -----" << std::endl;
    print_jobs();
    std::cout << "[Propagate Arrival]  ----------------" << std::endl;
  }
  return propagated;
}

bool JobInstance::propagate_deadlines(int crit) {
  MCJOBS_CHECK(crit == CRIT_LO || crit == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
  bool propagated = false;
  for (int id = 0; id < numJobs(); ++id) {
    Job* job = job_at(id);
    for (int p : getTransitivePredecessors(id, crit)) {
      propagated = propagate_min_deadlineA2B(job, job_at(p)) || propagated;
    }
  }
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
