// Internal: the time-indexed integer program whose solutions are exactly the valid pairs of
// tables (preemption and migration at integer times), and the tables read back from a solution.
//
// One binary per job, mode and unit slot [t, t+1) of the job's narrowed window says that the job
// runs there; per slot at most m jobs run. "Done by t" binaries are monotone in t and forbid any
// run from t on, which makes them exact completion indicators; an arc asks the successor's run
// in slot t to wait for the predecessor's indicator. The safe switch of a HI job bounds the
// running difference psiHI - psiLO, a continuous chain, by (hi_wcet - lo_wcet) times the job's
// LO indicator: zero until its LO budget is done.
#ifndef MCJOBS_DETAIL_SLOT_PROGRAM_H
#define MCJOBS_DETAIL_SLOT_PROGRAM_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "job.h"
#include "schedule.h"

namespace mcjobs_detail {

/// @brief A job's slots in one mode: [begin, end), their columns from `firstColumn` on.
struct SlotRun {
  int job = 0;
  int64_t begin = 0;
  int64_t end = 0;
  int firstColumn = -1;  ///< -1: the job does not run in this mode
};

/// @brief A mixed-integer feasibility program in row-major form (no objective).
struct SlotProgram {
  std::vector<double> columnLower, columnUpper;
  std::vector<char> integer;
  std::vector<int> rowStart{0};
  std::vector<int> rowColumn;
  std::vector<double> rowValue;
  std::vector<double> rowLower, rowUpper;
  std::vector<SlotRun> runs[2];  ///< [0]: LO table, [1]: HI table, by job id

  int columns() const { return static_cast<int>(columnLower.size()); }
  int rows() const { return static_cast<int>(rowLower.size()); }
};

/// @brief Every job's window [begin, end] in each mode, by job id.
struct LevelWindows {
  std::vector<std::pair<int64_t, int64_t>> lo, hi;
};

/// @brief The size of the program of `instance`, or the window that rules every table out.
struct SlotProgramSize {
  LevelWindows windows;  ///< narrowed along the arcs and by the safe switch; the program's own
  int64_t slots = 0;     ///< job-slots (run binaries); 0 when `shortWindow` is set
  /// "HI window of J3 narrows to [4, 9] along the arcs and the safe switch, short of its
  /// budget 6", or empty.
  std::string shortWindow;
};

/// @brief The size of the program of `instance`, counted without building it.
SlotProgramSize slotProgramSize(JobInstance& instance);

/// @brief The program of `instance` on `processors` processors over the windows that
/// slotProgramSize narrowed.
SlotProgram buildSlotProgram(JobInstance& instance, int processors, const LevelWindows& windows);

/// @brief The tables of a solution (values of every column): a job keeps its processor from one
/// slot to the next, a job that starts takes the lowest free one, consecutive slots merge.
mcjobs::ScheduleTables tablesFromSlots(const SlotProgram& program, const double* solution,
                                       int processors);

}  // namespace mcjobs_detail

#endif  // MCJOBS_DETAIL_SLOT_PROGRAM_H
