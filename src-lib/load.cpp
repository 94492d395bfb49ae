#include <cfloat>

#include "check.h"
#include "job.h"

// Placeholder until the load analysis lands.
double JobInstance::getStress(int, bool, int, std::set<int>*) { MCJOBS_FAIL("getStress not implemented"); }

double JobInstance::getLoad(int load_criticality, bool mixed) {
  return getStress(load_criticality, mixed, 1, nullptr);
}
