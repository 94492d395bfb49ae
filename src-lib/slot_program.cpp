// The time-indexed program of the exact method (see detail/slot_program.h).
#include "detail/slot_program.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "detail/check.h"

namespace mcjobs_detail {

namespace {

using mcjobs::ScheduleSegment;
using mcjobs::ScheduleTables;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

int modeIndex(int mode) {
  return mode == CRIT_HI ? 1 : 0;
}

using Windows = std::vector<std::pair<int64_t, int64_t>>;

// The first and the last instant any run of `runs` may use; empty (first > last) without runs.
std::pair<int64_t, int64_t> slotSpan(const std::vector<SlotRun>& runs) {
  int64_t first = std::numeric_limits<int64_t>::max(), last = std::numeric_limits<int64_t>::min();
  for (const SlotRun& r : runs)
    if (r.firstColumn >= 0) first = std::min(first, r.begin), last = std::max(last, r.end);
  return {first, last};
}

// Windows narrowed as every valid pair of tables keeps them: along the arcs at each level, and
// across the levels by the safe switch. A HI job cannot run in the HI table before it runs in
// the LO table (its HI progress would pass its LO progress), so its HI window starts no earlier
// than its LO window; and it is done with its LO budget by its HI deadline less its extra HI
// budget (the HI table still has that much to run after the switch). Each round only narrows,
// and every round's windows are valid, so the rounds stop at a fixpoint or after a few.
Windows windowsOf(JobInstance& instance) {
  Windows windows;
  for (const Job& job : instance) windows.emplace_back(job.arrival, job.deadline);
  return windows;
}

LevelWindows narrowedWindows(const JobInstance& instance) {
  constexpr int kRounds = 8;
  JobInstance lo(instance), hi(instance);
  propagateAlapAndAsap(&hi, CRIT_HI);
  for (int round = 0; round < kRounds; ++round) {
    bool moved = false;
    for (Job& job : lo) {
      if (job.criticality != CRIT_HI) continue;
      const int latest = hi.at(job.id)->deadline - (job.hi_wcet - job.lo_wcet);
      if (latest < job.deadline) job.deadline = latest, moved = true;
    }
    propagateAlapAndAsap(&lo, CRIT_LO);
    for (Job& job : hi) {
      if (job.criticality != CRIT_HI) continue;
      const int earliest = lo.at(job.id)->arrival;
      if (earliest > job.arrival) job.arrival = earliest, moved = true;
    }
    propagateAlapAndAsap(&hi, CRIT_HI);
    if (!moved && round > 0) break;
  }
  return {windowsOf(lo), windowsOf(hi)};
}

bool runsIn(const Job& job, int mode) {
  return mode == CRIT_LO || job.criticality == CRIT_HI;
}

// Builds the program row by row; "done by t" of a job reads as a constant or a column.
class Builder {
 public:
  Builder(JobInstance& instance, int processors, const LevelWindows& windows)
      : mInstance(instance), mProcessors(processors), mWindows(windows) {}

  SlotProgram build() {
    for (int mode : {CRIT_LO, CRIT_HI}) addRuns(mode);
    for (int mode : {CRIT_LO, CRIT_HI}) {
      addBudgets(mode);
      addCapacity(mode);
      addRunTimes(mode);
      addDoneIndicators(mode);
      addArcs(mode);
    }
    addSafeSwitch();
    return std::move(mProgram);
  }

 private:
  int addColumn(double lower, double upper, bool integer) {
    mProgram.columnLower.push_back(lower);
    mProgram.columnUpper.push_back(upper);
    mProgram.integer.push_back(integer ? 1 : 0);
    return mProgram.columns() - 1;
  }

  void addRow(const std::vector<std::pair<int, double>>& terms, double lower, double upper) {
    for (const auto& [column, value] : terms) {
      mProgram.rowColumn.push_back(column);
      mProgram.rowValue.push_back(value);
    }
    mProgram.rowStart.push_back(static_cast<int>(mProgram.rowColumn.size()));
    mProgram.rowLower.push_back(lower);
    mProgram.rowUpper.push_back(upper);
  }

  SlotRun& run(int mode, int job) {
    return mProgram.runs[modeIndex(mode)][static_cast<size_t>(job)];
  }
  int budget(int mode, int job) { return mInstance.at(job)->getWCET(mode); }

  // The column of "job runs in slot t", or -1 outside its window.
  int runColumn(int mode, int job, int64_t t) {
    const SlotRun& r = run(mode, job);
    if (r.firstColumn < 0 || t < r.begin || t >= r.end) return -1;
    return r.firstColumn + static_cast<int>(t - r.begin);
  }

  void addRuns(int mode) {
    const Windows& windows = mode == CRIT_LO ? mWindows.lo : mWindows.hi;
    std::vector<SlotRun>& runs = mProgram.runs[modeIndex(mode)];
    for (const Job& job : mInstance) {
      SlotRun r;
      r.job = job.id;
      r.begin = windows[static_cast<size_t>(job.id)].first;
      r.end = windows[static_cast<size_t>(job.id)].second;
      if (runsIn(job, mode) && job.getWCET(mode) > 0 && r.begin < r.end) {
        r.firstColumn = addColumn(0, 1, true);
        for (int64_t t = r.begin + 1; t < r.end; ++t) addColumn(0, 1, true);
      }
      runs.push_back(r);
    }
  }

  void addBudgets(int mode) {
    for (const Job& job : mInstance) {
      if (!runsIn(job, mode) || job.getWCET(mode) == 0) continue;
      std::vector<std::pair<int, double>> terms;
      for (int64_t t = run(mode, job.id).begin; t < run(mode, job.id).end; ++t)
        terms.push_back({runColumn(mode, job.id, t), 1.0});
      const double total = job.getWCET(mode);
      addRow(terms, total, total);  // an empty window makes this row infeasible, as it should
    }
  }

  void addCapacity(int mode) {
    const auto [first, last] = slotSpan(mProgram.runs[modeIndex(mode)]);
    for (int64_t t = first; t < last; ++t) {
      std::vector<std::pair<int, double>> terms;
      for (const SlotRun& r : mProgram.runs[modeIndex(mode)]) {
        const int column = runColumn(mode, r.job, t);
        if (column >= 0) terms.push_back({column, 1.0});
      }
      if (static_cast<int64_t>(terms.size()) > mProcessors) addRow(terms, -kInfinity, mProcessors);
    }
  }

  // ran_t, the run time before t for t in (begin, end]: a continuous chain, so that the rows
  // below that bound a job's run time stay sparse.
  void addRunTimes(int mode) {
    std::vector<int>& first = mRanColumn[modeIndex(mode)];
    first.assign(static_cast<size_t>(mInstance.numJobs()), -1);
    for (const Job& job : mInstance) {
      const SlotRun& r = run(mode, job.id);
      if (r.firstColumn < 0) continue;
      first[static_cast<size_t>(job.id)] = mProgram.columns();
      for (int64_t t = r.begin + 1; t <= r.end; ++t) {
        const int ran = addColumn(0, kInfinity, false);
        std::vector<std::pair<int, double>> chain{{ran, 1.0},
                                                  {runColumn(mode, job.id, t - 1), -1.0}};
        if (t > r.begin + 1) chain.push_back({ran - 1, -1.0});
        addRow(chain, 0, 0);
      }
    }
  }

  int ranColumn(int mode, int job, int64_t t) {
    return mRanColumn[modeIndex(mode)][static_cast<size_t>(job)] +
           static_cast<int>(t - run(mode, job).begin - 1);
  }

  // "Done by t" columns for t in [begin + budget, end): before, the job cannot be done; from
  // `end` on it must be. Monotone, no run at or after an instant it is done by, and at most
  // ran_t / budget (the same integer solutions, a tighter relaxation).
  void addDoneIndicators(int mode) {
    std::vector<int>& first = mDoneColumn[modeIndex(mode)];
    first.assign(static_cast<size_t>(mInstance.numJobs()), -1);
    for (const Job& job : mInstance) {
      const SlotRun& r = run(mode, job.id);
      if (r.firstColumn < 0 || !needsDone(mode, job)) continue;
      const int64_t from = r.begin + budget(mode, job.id);
      if (from >= r.end) continue;
      first[static_cast<size_t>(job.id)] = addColumn(0, 1, true);
      for (int64_t t = from + 1; t < r.end; ++t) addColumn(0, 1, true);
      for (int64_t t = from; t < r.end; ++t) {
        const int done = doneColumn(mode, job.id, t);
        addRow({{done, 1.0}, {runColumn(mode, job.id, t), 1.0}}, -kInfinity, 1);
        if (t + 1 < r.end) addRow({{done, 1.0}, {done + 1, -1.0}}, -kInfinity, 0);
        addRow({{done, budget(mode, job.id)}, {ranColumn(mode, job.id, t), -1.0}}, -kInfinity, 0);
      }
    }
  }

  bool needsDone(int mode, const Job& job) {
    return !mInstance.getSuccessors(job.id, mode).empty() ||
           (mode == CRIT_LO && job.criticality == CRIT_HI);
  }

  int doneColumn(int mode, int job, int64_t t) {
    const int first = mDoneColumn[modeIndex(mode)][static_cast<size_t>(job)];
    const SlotRun& r = run(mode, job);
    const int64_t from = r.begin + budget(mode, job);
    if (first < 0 || t < from || t >= r.end) return -1;
    return first + static_cast<int>(t - from);
  }

  // 1: done by t for sure, 0: not yet for sure, -1: a column decides.
  int doneConstant(int mode, int job, int64_t t) {
    const SlotRun& r = run(mode, job);
    if (budget(mode, job) == 0 || t >= r.end) return 1;
    if (t < r.begin + budget(mode, job)) return 0;
    return -1;
  }

  void addArcs(int mode) {
    for (const Job& job : mInstance) {
      if (!runsIn(job, mode)) continue;
      for (int pred : mInstance.getPredecessors(job.id, mode)) {
        const SlotRun& r = run(mode, job.id);
        for (int64_t t = r.begin; t < r.end && r.firstColumn >= 0; ++t) {
          const int column = runColumn(mode, job.id, t);
          const int known = doneConstant(mode, pred, t);
          if (known == 0) mProgram.columnUpper[static_cast<size_t>(column)] = 0;
          if (known == -1) {
            const int done = doneColumn(mode, pred, t);
            addRow({{column, 1.0}, {done, -1.0}}, -kInfinity, 0);
            // Before the predecessor is done the job has run nothing; the sum form is what
            // makes fractional solutions pay for running early.
            if (budget(mode, job.id) > 1)
              addRow({{ranColumn(mode, job.id, t + 1), 1.0}, {done, -budget(mode, job.id)}},
                     -kInfinity, 0);
          }
        }
      }
    }
  }

  // diff_t = psiHI(t+1) - psiLO(t+1) = diff_{t-1} + hi_t - lo_t, kept at most
  // (hi_wcet - lo_wcet) * doneLO_t: zero until the LO budget is done. Past the LO window the job
  // is done at LO and nothing is left to check.
  void addSafeSwitch() {
    for (const Job& job : mInstance) {
      if (job.criticality != CRIT_HI) continue;
      const SlotRun& lo = run(CRIT_LO, job.id);
      const SlotRun& hi = run(CRIT_HI, job.id);
      if (hi.firstColumn < 0 || job.lo_wcet == 0) continue;
      const double extra = job.hi_wcet - job.lo_wcet;
      int previous = -1;
      for (int64_t t = std::min(lo.begin, hi.begin); t < lo.end; ++t) {
        const int known = doneConstant(CRIT_LO, job.id, t);
        const int diff = addColumn(-kInfinity, known == 0 ? 0 : kInfinity, false);
        std::vector<std::pair<int, double>> chain{{diff, 1.0}};
        if (previous >= 0) chain.push_back({previous, -1.0});
        if (runColumn(CRIT_HI, job.id, t) >= 0)
          chain.push_back({runColumn(CRIT_HI, job.id, t), -1.0});
        if (runColumn(CRIT_LO, job.id, t) >= 0)
          chain.push_back({runColumn(CRIT_LO, job.id, t), 1.0});
        addRow(chain, 0, 0);
        if (known == -1)
          addRow({{diff, 1.0}, {doneColumn(CRIT_LO, job.id, t), -extra}}, -kInfinity, 0);
        previous = diff;
      }
    }
  }

  JobInstance& mInstance;
  int mProcessors;
  SlotProgram mProgram;
  const LevelWindows& mWindows;
  std::vector<int> mDoneColumn[2];
  std::vector<int> mRanColumn[2];
};

}  // namespace

SlotProgramSize slotProgramSize(JobInstance& instance) {
  SlotProgramSize size;
  size.windows = narrowedWindows(instance);
  for (int mode : {CRIT_LO, CRIT_HI}) {
    const Windows& windows = mode == CRIT_LO ? size.windows.lo : size.windows.hi;
    for (const Job& job : instance) {
      if (!runsIn(job, mode)) continue;
      const auto& [begin, end] = windows[static_cast<size_t>(job.id)];
      if (end - begin < job.getWCET(mode)) {
        size.slots = 0;
        size.shortWindow = Job::critStr(mode) + " window of " + job.name() + " narrows to [" +
                           std::to_string(begin) + ", " + std::to_string(end) +
                           "] along the arcs and the safe switch, short of its budget " +
                           std::to_string(job.getWCET(mode));
        return size;
      }
      size.slots += end - begin;
    }
  }
  return size;
}

SlotProgram buildSlotProgram(JobInstance& instance, int processors, const LevelWindows& windows) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  return Builder(instance, processors, windows).build();
}

ScheduleTables tablesFromSlots(const SlotProgram& program, const double* solution, int processors) {
  ScheduleTables tables;
  for (int mode : {CRIT_LO, CRIT_HI}) {
    const std::vector<SlotRun>& runs = program.runs[modeIndex(mode)];
    std::vector<ScheduleSegment>& table = mode == CRIT_LO ? tables.lo : tables.hi;
    const auto [first, last] = slotSpan(runs);
    // open[p]: the index in `table` of the segment processor p ran up to the previous slot.
    std::vector<int> open(static_cast<size_t>(processors), -1);
    std::vector<int> processorOf(runs.size(), -1);
    for (int64_t t = first; t < last; ++t) {
      std::vector<int> starting;
      std::vector<bool> busy(static_cast<size_t>(processors), false);
      std::vector<int> stillOpen(static_cast<size_t>(processors), -1);
      for (const SlotRun& r : runs) {
        const bool running = r.firstColumn >= 0 && t >= r.begin && t < r.end &&
                             solution[r.firstColumn + (t - r.begin)] > 0.5;
        int& processor = processorOf[static_cast<size_t>(r.job)];
        if (!running) {
          processor = -1;
        } else if (processor >= 0) {
          busy[static_cast<size_t>(processor)] = true;
          stillOpen[static_cast<size_t>(processor)] = open[static_cast<size_t>(processor)];
          ++table[static_cast<size_t>(open[static_cast<size_t>(processor)])].end;
        } else {
          starting.push_back(r.job);
        }
      }
      int next = 0;
      for (int job : starting) {
        while (next < processors && busy[static_cast<size_t>(next)]) ++next;
        MCJOBS_CHECK(next < processors, "a slot holds more jobs than processors");
        busy[static_cast<size_t>(next)] = true;
        processorOf[static_cast<size_t>(job)] = next;
        stillOpen[static_cast<size_t>(next)] = static_cast<int>(table.size());
        table.push_back({job, next, t, t + 1});
      }
      open = stillOpen;
    }
    std::sort(table.begin(), table.end(), [](const ScheduleSegment& a, const ScheduleSegment& b) {
      return a.processor != b.processor ? a.processor < b.processor : a.start < b.start;
    });
  }
  return tables;
}

}  // namespace mcjobs_detail
