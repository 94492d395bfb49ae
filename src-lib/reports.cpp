// The text dumps of jobs, arcs and dependency sets on the standard output.
#include <cstdio>
#include <iostream>

#include "detail/check.h"
#include "job.h"

void Job::print() const {
  std::printf("%s : id=%d (%d, %d, %d, (%d, %d))\n", name().c_str(), id, arrival, deadline,
              criticality, lo_wcet, hi_wcet);
}

// Job lines go through printf and arc lines through std::cout; with the
// streams synchronised with stdio (the default) both reach the same buffer in
// the order they are written.
void JobInstance::print_jobs() {
  for (int id = 0; id < numJobs(); ++id) job_at(id)->print();
  const std::vector<Arc> arcs = getAllArcs();
  const int count = static_cast<int>(arcs.size());
  for (int i = 0; i < count; ++i) std::cout << arcs[static_cast<size_t>(i)].toString() << std::endl;
}

void JobInstance::dumpDependencies() {
  static const char* const title[] = {"Successors", "Trans Successors", "Predecessors",
                                      "Trans Predecessors"};
  for (int id = 0; id < numJobs(); ++id) {
    // The levels come from a public field a caller may have changed: check
    // it before it indexes the per-level sets.
    const int criticality = job_at(id)->criticality;
    MCJOBS_CHECK(criticality == CRIT_LO || criticality == CRIT_HI,
                 "criticality==CRIT_LO || criticality == CRIT_HI");
    std::cout << "Job: " << Job::nameFromId(id) << std::endl;
    for (int crit = CRIT_LO; crit <= criticality; ++crit) {
      const Util::Set<int>* sets[] = {&getSuccessors(id, crit), &getTransitiveSuccessors(id, crit),
                                      &getPredecessors(id, crit),
                                      &getTransitivePredecessors(id, crit)};
      bool connected = false;
      for (const Util::Set<int>* set : sets) connected = connected || !set->empty();
      if (!connected) {
        std::cout << "\t[" << Job::critStr(crit) << "]: not connected " << std::endl << std::endl;
        continue;
      }
      for (int i = 0; i < 4; ++i) {
        std::cout << "\t" << title[i] << " [" << Job::critStr(crit) << " ] :";
        for (int member : *sets[i]) std::cout << Job::nameFromId(member) << " ";
        std::cout << std::endl;
      }
      std::cout << std::endl;
    }
  }
}
