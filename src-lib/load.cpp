#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <iostream>
#include <vector>

#include "check.h"
#include "job.h"

namespace {

// Outside the int range a time saturates, as in the ASAP/ALAP computation.
int saturate(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

struct Window {
  int arrival;
  int deadline;
  int wcet;
};

// Largest interval load over every pair of end points arr < ddl, where an
// interval counts the windows lying inside [arr, ddl].
//
// For one arr the counted jobs only grow as ddl grows, so one sweep over the
// deadline-sorted windows serves every ddl: O(|arrivals| * (|deadlines| + n)).
// A ddl that adds no job repeats the previous total over a longer interval; the
// rounded quotient cannot grow then (a positive total shrinks or stays, a
// non-positive one never beats load >= 0), so only ddl values that add a job are
// evaluated. Every evaluated candidate uses the same operations in the same
// order as the direct formula, and sums of 32-bit budgets are exact in double,
// so the maximum is the same double.
double scanIntervals(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
                     std::vector<Window> counted, int np) {
  std::sort(counted.begin(), counted.end(),
            [](const Window& a, const Window& b) { return a.deadline < b.deadline; });
  double load = 0.0;
  for (int arr : arrivals) {
    double total_time = 0.0;
    int total_jobs = 0;
    bool grown = false;
    size_t next = 0;
    for (auto d = std::upper_bound(deadlines.begin(), deadlines.end(), arr); d != deadlines.end();
         ++d) {
      const int ddl = *d;
      for (; next < counted.size() && counted[next].deadline <= ddl; ++next) {
        if (counted[next].arrival < arr) continue;
        total_time += static_cast<double>(counted[next].wcet);
        ++total_jobs;
        grown = true;
      }
      if (!grown) continue;
      grown = false;
      // ddl - arr in 64 bits: the same value as the 32-bit difference whenever that one exists.
      const double length = static_cast<double>(std::int64_t{ddl} - arr);
      const double load_cand = (static_cast<double>(np) * total_time) /
                               (length * static_cast<double>(Util::minimum(total_jobs, np)));
      if (load_cand > load) load = load_cand;
    }
  }
  return load;
}

}  // namespace

double JobInstance::getStress(int load_criticality, bool mixed, int np, std::set<int>* jobids) {
  // The level indexes the per-level graphs of the propagation, so it is checked
  // before anything reads them; np only scales the result, but a count below one
  // makes every load meaningless.
  MCJOBS_CHECK(load_criticality == CRIT_LO || load_criticality == CRIT_HI,
               "load_criticality==CRIT_LO || load_criticality==CRIT_HI");
  MCJOBS_CHECK(np >= 1, "np>=1");

  std::set<int> alljobids_temp;
  if (jobids == nullptr) {
    for (JobIter job = begin(); job != end(); ++job) alljobids_temp.insert(job->id);
    jobids = &alljobids_temp;
  }

  // Only the copy is tightened: the load itself is measured on the original windows.
  JobInstance jobs_copy(*this);

  if (propDebug()) {
    std::cout << "[Propagate/modify] -- getLoad: Job instance before modification: -----"
              << std::endl;
    jobs_copy.print_jobs();
  }

  MCJOBS_CHECK(!mixed || load_criticality == CRIT_LO, "mixed defined only for LO!");

  if (mixed) {
    for (JobIter job = jobs_copy.begin(); job != jobs_copy.end(); ++job) {
      if (job->criticality >= load_criticality) {
        job->deadline = saturate(std::int64_t{job->deadline} + job->lo_wcet - job->hi_wcet);
      }
    }
    if (propDebug()) {
      std::cout << "[Propagate/modify] -- getLoad: Job instance after HI modification for MIXED "
                   "load: -----"
                << std::endl;
      jobs_copy.print_jobs();
    }
  }

  propagateAlapAndAsap(&jobs_copy, load_criticality);

  for (JobIter job = jobs_copy.begin(); job != jobs_copy.end(); ++job) {
    if (std::int64_t{job->deadline} < std::int64_t{job->arrival} + job->getWCET(load_criticality)) {
      return DBL_MAX;
    }
  }

  std::vector<int> arrivals;
  std::vector<int> deadlines;
  std::vector<Window> counted;
  for (int id : *jobids) {
    MCJOBS_CHECK(id < size(), "GetStress() an id in jobids is greater than the instance size!! ");
    const Job* job = at(id);
    arrivals.push_back(job->arrival);
    deadlines.push_back(job->deadline);
    if (job->criticality >= load_criticality) {
      counted.push_back({job->arrival, job->deadline, job->getWCET(load_criticality)});
    }
  }
  for (std::vector<int>* points : {&arrivals, &deadlines}) {
    std::sort(points->begin(), points->end());
    points->erase(std::unique(points->begin(), points->end()), points->end());
  }

  return scanIntervals(arrivals, deadlines, std::move(counted), np);
}

double JobInstance::getLoad(int load_criticality, bool mixed) {
  return getStress(load_criticality, mixed, 1, nullptr);
}
