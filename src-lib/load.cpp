// JobInstance::getStress and getLoad: the feasibility verdict on a tightened
// copy of the instance, then the interval scan on the instance's own windows.
#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <iostream>
#include <vector>

#include "detail/check.h"
#include "job.h"
#include "detail/load_scan.h"

namespace {

// Outside the int range a time saturates, as in the ASAP/ALAP computation.
int saturate(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

}  // namespace

double JobInstance::getStress(int load_criticality, bool mixed, int np, std::set<int>* jobids) {
  // The level indexes the per-level graphs of the propagation, so it is checked
  // before anything reads them; np only scales the result, but a count below one
  // makes every load meaningless.
  MCJOBS_CHECK(load_criticality == CRIT_LO || load_criticality == CRIT_HI,
               "load_criticality==CRIT_LO || load_criticality==CRIT_HI");
  MCJOBS_CHECK(np >= 1, "np>=1");

  // Every job chosen: the ids are their positions unless a caller rewrote an
  // id field, and only then is the ordered set of ids worth building.
  bool everyPosition = false;
  std::set<int> alljobids_temp;
  if (jobids == nullptr) {
    everyPosition = true;
    for (JobIter job = begin(); job != end() && everyPosition; ++job)
      everyPosition = job->id == job - begin();
    if (!everyPosition) {
      for (JobIter job = begin(); job != end(); ++job) alljobids_temp.insert(job->id);
      jobids = &alljobids_temp;
    }
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
  std::vector<mcjobs_detail::LoadWindow> counted;
  const size_t chosen = everyPosition ? mVector.size() : jobids->size();
  arrivals.reserve(chosen);
  deadlines.reserve(chosen);
  counted.reserve(chosen);
  auto choose = [&](const Job* job) {
    arrivals.push_back(job->arrival);
    deadlines.push_back(job->deadline);
    if (job->criticality >= load_criticality) {
      counted.push_back({job->arrival, job->deadline, job->getWCET(load_criticality)});
    }
  };
  if (everyPosition) {
    for (JobIter job = begin(); job != end(); ++job) choose(&*job);
  } else {
    for (int id : *jobids) {
      MCJOBS_CHECK(id < size(), "GetStress() an id in jobids is greater than the instance size!! ");
      choose(at(id));
    }
  }
  for (std::vector<int>* points : {&arrivals, &deadlines}) {
    std::sort(points->begin(), points->end());
    points->erase(std::unique(points->begin(), points->end()), points->end());
  }

  return mcjobs_detail::maxIntervalLoad(arrivals, deadlines, counted, np);
}

double JobInstance::getLoad(int load_criticality, bool mixed) {
  return getStress(load_criticality, mixed, 1, nullptr);
}
