// The direct interval scan: every arrival against every deadline. It fixes the
// exact doubles the faster scan must reproduce, and serves the rare inputs
// whose sums or products do not fit a double exactly.
#include <algorithm>
#include <cstdint>

#include "detail/load_scan.h"
#include "util.h"

namespace mcjobs_detail {

// For one arr the counted jobs only grow as ddl grows, so one sweep over the
// deadline-sorted windows serves every ddl. A ddl that adds no job repeats the
// previous total over a longer interval; the rounded quotient cannot grow then
// (a positive total shrinks or stays, a non-positive one never beats load >= 0),
// so only ddl values that add a job are evaluated. Every evaluated candidate
// uses the same operations in the same order as the direct formula, and sums
// of 32-bit budgets are exact in double, so the maximum is the same double.
double maxIntervalLoadQuadratic(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
                                std::vector<LoadWindow> counted, int np) {
  std::sort(counted.begin(), counted.end(),
            [](const LoadWindow& a, const LoadWindow& b) { return a.deadline < b.deadline; });
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

}  // namespace mcjobs_detail
