// Internal: window propagation as one sweep over a topological order.
//
// propagate_arrivals and propagate_deadlines define their result through a
// pass over the transitive sets in id order, with a sanity check after every
// single change. The final windows only depend on a maximum (minimum) over
// predecessors (successors), and the first change that a check rejects can
// be located from the original windows alone, so both are computed here in
// O(jobs + arcs) without the closure, before the instance is touched.
#ifndef MCJOBS_WINDOW_SWEEP_H
#define MCJOBS_WINDOW_SWEEP_H

#include <vector>

#include "job.h"
#include "propagation.h"

namespace mcjobs_detail {

using mcjobs::RejectedChange;

/// What one propagation of a level would do to the instance.
struct SweepResult {
  /// The first change, in the order of the pass over the transitive sets,
  /// whose sanity check fails; the pass stops there.
  RejectedChange rejected;
  /// Every job's arrival (deadline) after the complete pass.
  std::vector<int> values;
  /// Whether some job's arrival (deadline) would change.
  bool changes = false;
};

/// The arrival propagation of `level`. Valid when no arrival is below -1 (as
/// in every instance whose jobs passed their checks): only then does a job
/// reject exactly the raised arrivals above one bound.
SweepResult sweepArrivals(JobInstance& instance, int level);

/// The deadline propagation of `level`; valid for any job data.
SweepResult sweepDeadlines(JobInstance& instance, int level);

}  // namespace mcjobs_detail

#endif  // MCJOBS_WINDOW_SWEEP_H
