// The job record: its sanity check, its name and its text line.
#include "job.h"

#include <string>

#include "detail/check.h"
#include "detail/line_format.h"

Job::Job()
    : id(NO_JOB_ID),
      arrival(NO_TIME),
      deadline(NO_TIME),
      criticality(NO_CRIT),
      lo_wcet(NO_TIME),
      hi_wcet(NO_TIME) {}

void Job::sanity_check() const {
  MCJOBS_CHECK(arrival >= 0, "arrival>=0");
  MCJOBS_CHECK(deadline > arrival, "deadline>arrival");
  MCJOBS_CHECK(criticality == CRIT_LO || criticality == CRIT_HI,
               "criticality==CRIT_LO || criticality == CRIT_HI");
  MCJOBS_CHECK(lo_wcet > 0, "lo_wcet>0");
  MCJOBS_CHECK(hi_wcet >= lo_wcet, "hi_wcet>=lo_wcet");
  if (criticality == CRIT_LO) MCJOBS_CHECK(hi_wcet == lo_wcet, "hi_wcet==lo_wcet");
  // The first two checks make the window positive, so it cannot overflow.
  const int window = deadline - arrival;
  const double density_lo = static_cast<double>(lo_wcet) / static_cast<double>(window);
  MCJOBS_CHECK(density_lo <= 1, "density_lo <=1");
  if (criticality == CRIT_HI) {
    const double density_hi = static_cast<double>(hi_wcet) / static_cast<double>(window);
    MCJOBS_CHECK(density_hi <= 1, "density_hi <=1");
  }
}

int Job::getWCET(int level) const {
  MCJOBS_CHECK(level == CRIT_LO || level == CRIT_HI,
               "criticality==CRIT_LO || criticality == CRIT_HI");
  return level == CRIT_LO ? lo_wcet : hi_wcet;
}

std::string Job::critStr(int level) {
  if (level == CRIT_LO) return "LO";
  if (level == CRIT_HI) return "HI";
  return "BUG";
}

std::string Job::toString() const {
  std::string line;
  mcjobs_detail::appendJobLine(line, *this);
  return line;
}

bool Job::initializeFromString(const std::string& str) {
  return mcjobs_detail::parseJobLine(str.data(), str.data() + str.size(), *this);
}

std::string Job::nameFromId(int jobId) {
  std::string name;
  mcjobs_detail::appendJobName(name, jobId);
  return name;
}

int Job::idFromName(const std::string& jobName) {
  return mcjobs_detail::idFromName(jobName.data(), jobName.data() + jobName.size());
}

std::string Job::name() const {
  return nameFromId(id);
}

bool Arc::initializeFromString(const std::string& str) {
  return mcjobs_detail::parseArcLine(str.data(), str.data() + str.size(), *this);
}
