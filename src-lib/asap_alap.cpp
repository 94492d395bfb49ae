// ASAP/ALAP times: earliest starts and latest finishes along the direct
// precedence of one level, with the budgets of that level.
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "detail/check.h"
#include "explain.h"
#include "job.h"
#include "propagation.h"
#include "detail/topo_order.h"

namespace {

// Times are 32-bit; a sum or difference beyond that range saturates instead of
// wrapping, so such a job can only look later (ASAP) or earlier (ALAP) than any
// representable time.
int saturate(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

enum class Direction { kAsap, kAlap };

struct Frame {
  int id;
  Util::Set<int>::const_iterator next;
};

// The graph functions index the per-level sets with the level.
void checkLevel(int crit) {
  MCJOBS_CHECK(crit == CRIT_LO || crit == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
}

// Depth-first computation of one job with an explicit stack, so that a long
// chain cannot exhaust the call stack. It keeps the order of the recursive
// definition: the first sweep computes every unflagged neighbour in ascending
// id order (each flagged right after its own computation returns, the root
// never), the second sweep takes the maximum (ASAP) or minimum (ALAP) over the
// final neighbours. `stack` is scratch space, empty on entry and on return.
void computeWindowBound(JobInstance* instance, int root, int crit, bool* visited,
                        Direction direction, std::vector<Frame>& stack) {
  instance->at(root);  // an id out of range fails here, before anything changes
  checkLevel(crit);

  auto neighbours = [&](int id) -> const Util::Set<int>& {
    return direction == Direction::kAsap ? instance->getPredecessors(id, crit)
                                        : instance->getSuccessors(id, crit);
  };
  stack.push_back({root, neighbours(root).begin()});

  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Util::Set<int>& around = neighbours(frame.id);
    while (frame.next != around.end() && visited[*frame.next]) ++frame.next;
    if (frame.next != around.end()) {
      const int child = *frame.next;
      stack.push_back({child, neighbours(child).begin()});  // invalidates `frame`
      continue;
    }

    Job* job = instance->at(frame.id);
    if (direction == Direction::kAsap) {
      int latest = job->arrival;
      for (int p : around) {
        Job* pred = instance->at(p);
        const int candidate = saturate(std::int64_t{pred->arrival} + getJobWCET(pred, crit));
        if (candidate > latest) latest = candidate;
      }
      job->arrival = latest;
    } else {
      int earliest = job->deadline;
      for (int s : around) {
        Job* succ = instance->at(s);
        const int candidate = saturate(std::int64_t{succ->deadline} - getJobWCET(succ, crit));
        if (candidate < earliest) earliest = candidate;
      }
      job->deadline = earliest;
    }

    const int done = frame.id;
    stack.pop_back();
    if (!stack.empty()) {
      visited[done] = true;
      ++stack.back().next;
    }
  }
}

// The times flow along the arcs, so one sweep over a topological order sees
// every neighbour final: ASAP forwards, ALAP backwards from the direct
// successors. Each job takes the same maximum (minimum) over the same final
// neighbours as in the depth-first definition, so the stored times are the same.
bool propagate(JobInstance* instance, int crit, Direction direction) {
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(*instance, crit);
  const std::vector<int> order = mcjobs_detail::topologicalOrder(graph);
  if (direction == Direction::kAsap) {
    // Each finished job offers its completion to its successors; a job is
    // finished when its turn comes, all its predecessors having offered.
    std::vector<int> offered(static_cast<size_t>(order.size()), INT32_MIN);
    for (int id : order) {
      Job* job = instance->at(id);
      if (offered[id] > job->arrival) job->arrival = offered[id];
      const int completion = saturate(std::int64_t{job->arrival} + getJobWCET(job, crit));
      for (const int* s = graph.begin(id); s != graph.end(id); ++s)
        if (completion > offered[*s]) offered[*s] = completion;
    }
  } else {
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      Job* job = instance->at(*it);
      int earliest = job->deadline;
      for (const int* s = graph.begin(*it); s != graph.end(*it); ++s) {
        Job* succ = instance->at(*s);
        const int candidate = saturate(std::int64_t{succ->deadline} - getJobWCET(succ, crit));
        if (candidate < earliest) earliest = candidate;
      }
      job->deadline = earliest;
    }
  }
  return true;
}

}  // namespace

bool computeASAP(JobInstance* destInst, int jobid, int criticality, bool* visited) {
  std::vector<Frame> stack;
  computeWindowBound(destInst, jobid, criticality, visited, Direction::kAsap, stack);
  return true;
}

bool computeALAP(JobInstance* destInst, int jobid, int criticality, bool* visited) {
  std::vector<Frame> stack;
  computeWindowBound(destInst, jobid, criticality, visited, Direction::kAlap, stack);
  return true;
}

bool propagateASAP(JobInstance* instance, int crit) {
  return propagate(instance, crit, Direction::kAsap);
}

bool propagateALAP(JobInstance* instance, int crit) {
  return propagate(instance, crit, Direction::kAlap);
}

bool propagateAlapAndAsap(JobInstance* instance, int crit) {
  propagateALAP(instance, crit);
  propagateASAP(instance, crit);
  return true;
}

namespace mcjobs {

void propagateAlapAndAsapChecked(JobInstance& instance, int level) {
  checkLevel(level);
  // Only the windows move, so they are all that must be put back.
  std::vector<std::pair<int, int>> windows;
  windows.reserve(static_cast<size_t>(instance.numJobs()));
  for (const Job& job : instance) windows.emplace_back(job.arrival, job.deadline);
  propagateAlapAndAsap(&instance, level);
  for (const Job& job : instance) {
    try {
      job.sanity_check();
    } catch (CheckError& failure) {
      failure.setExplanation(explainCollapse(job, level));
      for (Job& restored : instance) {
        restored.arrival = windows[static_cast<size_t>(restored.id)].first;
        restored.deadline = windows[static_cast<size_t>(restored.id)].second;
      }
      throw;
    }
  }
}

}  // namespace mcjobs

// A diagnostic: no memory of computed jobs, so its cost and its output grow
// with the number of paths into the job.
int simple_computeASAP(JobInstance* jobInst, int jobid, int crit) {
  int latest = jobInst->at(jobid)->arrival;
  checkLevel(crit);
  for (int p : jobInst->getPredecessors(jobid, crit)) {
    std::printf("Current id %d predecessor %d\n", jobid, p);
    const int candidate =
        saturate(std::int64_t{simple_computeASAP(jobInst, p, crit)} + jobInst->at(p)->lo_wcet);
    if (candidate > latest) latest = candidate;
  }
  std::printf("The ASAP time of job with id %d is %d\n", jobid, latest);
  return latest;
}

int getJobWCET(Job* job, int criticality) {
  return criticality == 1 ? job->lo_wcet : job->hi_wcet;
}

void setJobWCET(Job* job, int criticality, int value) {
  if (criticality == 1) job->lo_wcet = value;
  job->hi_wcet = value;
}
