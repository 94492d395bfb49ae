// The exact method: the portfolio first, then the time-indexed program of detail/slot_program.h
// solved by CBC for the sets the pairs leave open.
#include <Cbc_C_Interface.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "detail/check.h"
#include "detail/signal_block.h"
#include "detail/slot_program.h"
#include "schedule.h"

namespace mcjobs {

namespace {

using mcjobs_detail::SlotProgram;

constexpr int64_t kMostSlotsEver = 100000000;

// CBC's solver entry keeps process-wide state; one solve at a time, even when callers (Python
// threads with the interpreter lock released) run in parallel.
std::mutex& solverMutex() {
  static std::mutex mutex;
  return mutex;
}

// CBC's deleter, so that no exit path leaks the model.
struct CbcModelDeleter {
  void operator()(Cbc_Model* model) const { Cbc_deleteModel(model); }
};

enum class Outcome { kSolution, kNoSolution, kTimeLimit };

struct Solved {
  Outcome outcome = Outcome::kTimeLimit;
  std::vector<double> values;
};

std::unique_ptr<Cbc_Model, CbcModelDeleter> loadModel(const SlotProgram& program) {
  // CBC takes the matrix column by column.
  const int columns = program.columns();
  std::vector<CoinBigIndex> start(static_cast<size_t>(columns) + 1, 0);
  for (int column : program.rowColumn) ++start[static_cast<size_t>(column) + 1];
  for (size_t c = 0; c < static_cast<size_t>(columns); ++c) start[c + 1] += start[c];
  std::vector<int> rowOf(program.rowColumn.size());
  std::vector<double> value(program.rowColumn.size());
  std::vector<CoinBigIndex> fill(start.begin(), start.end() - 1);
  for (int row = 0; row < program.rows(); ++row)
    for (int k = program.rowStart[static_cast<size_t>(row)];
         k < program.rowStart[static_cast<size_t>(row) + 1]; ++k) {
      const auto at = static_cast<size_t>(fill[static_cast<size_t>(program.rowColumn[k])]++);
      rowOf[at] = row;
      value[at] = program.rowValue[static_cast<size_t>(k)];
    }
  std::unique_ptr<Cbc_Model, CbcModelDeleter> model(Cbc_newModel());
  const std::vector<double> objective(static_cast<size_t>(columns), 0.0);
  Cbc_loadProblem(model.get(), columns, program.rows(), start.data(), rowOf.data(), value.data(),
                  program.columnLower.data(), program.columnUpper.data(), objective.data(),
                  program.rowLower.data(), program.rowUpper.data());
  for (int column = 0; column < columns; ++column)
    if (program.integer[static_cast<size_t>(column)]) Cbc_setInteger(model.get(), column);
  return model;
}

Solved solve(const SlotProgram& program, double timeLimit) {
  const std::lock_guard<std::mutex> lock(solverMutex());
  // The solver installs a SIGINT handler of its own while it runs, which does not stop this kind
  // of search: Ctrl-C would be lost. The signals that end a process are held back instead and
  // reach the caller's own handlers (the default: the end of the process) when it returns, at
  // the latest at the time limit.
  const mcjobs_detail::SignalBlock heldBack;
  auto model = loadModel(program);
  Cbc_setLogLevel(model.get(), 0);
  Cbc_setParameter(model.get(), "timeMode", "elapsed");
  Cbc_setMaximumSeconds(model.get(), timeLimit);
  // Any solution will do: the objective is zero, so the first one found ends the search.
  Cbc_setMaximumSolutions(model.get(), 1);
  // Measured on generated sets: CBC's preprocessing costs more than it saves on these
  // programs, and without it more sets are decided within the limit.
  Cbc_setParameter(model.get(), "preprocess", "off");
  Cbc_solve(model.get());
  Solved solved;
  const double* best = Cbc_bestSolution(model.get());
  if (best != nullptr) {
    solved.outcome = Outcome::kSolution;
    solved.values.assign(best, best + program.columns());
  } else if (Cbc_isProvenInfeasible(model.get())) {
    solved.outcome = Outcome::kNoSolution;
  }
  return solved;
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

void runProgram(JobInstance& instance, int processors, const ExactOptions& options,
                ScheduleAnswer& answer) {
  ExactSearch& exact = answer.exact;
  exact.ran = true;
  const mcjobs_detail::SlotProgramSize size = mcjobs_detail::slotProgramSize(instance);
  exact.slots = size.slots;
  if (!size.shortWindow.empty()) {
    answer.status = ScheduleStatus::kInfeasible;
    exact.reason = size.shortWindow;
    return;
  }
  // Columns are numbered with int: with the indicator and run-time columns a program holds
  // about three per job-slot, so no limit may let it pass 2^31.
  const int64_t mostSlots = std::min<int64_t>(options.mostSlots, kMostSlotsEver);
  if (exact.slots > mostSlots) {
    answer.status = ScheduleStatus::kUnknown;
    exact.reason = "the integer program would hold " + std::to_string(exact.slots) +
                   " job-slots, more than the limit of " + std::to_string(mostSlots);
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  const SlotProgram program = mcjobs_detail::buildSlotProgram(instance, processors, size.windows);
  const Solved solved = solve(program, options.timeLimit);
  exact.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  switch (solved.outcome) {
    case Outcome::kSolution:
      answer.status = ScheduleStatus::kFeasible;
      answer.result = ScheduleResult();
      answer.result.schedulable = true;
      answer.result.tables =
          mcjobs_detail::tablesFromSlots(program, solved.values.data(), processors);
      exact.violations = verifySchedule(instance, answer.result.tables, processors);
      break;
    case Outcome::kNoSolution:
      answer.status = ScheduleStatus::kInfeasible;
      exact.reason = "no valid tables exist: the integer program has no solution";
      break;
    case Outcome::kTimeLimit:
      answer.status = ScheduleStatus::kUnknown;
      exact.reason = "time limit of " + secondsText(options.timeLimit) + " s reached";
      break;
  }
}

}  // namespace

ScheduleAnswer scheduleExact(JobInstance& instance, int processors, const ExactOptions& options) {
  MCJOBS_CHECK(processors >= 1, "np>=1");
  MCJOBS_CHECK(options.timeLimit > 0, "timeLimit>0");
  ScheduleAnswer answer;
  if (options.heuristicsFirst) {
    answer = schedulePortfolio(instance, processors);
    if (answer.status != ScheduleStatus::kUnknown) {
      answer.method = ScheduleMethod::kExact;
      return answer;
    }
  }
  answer.method = ScheduleMethod::kExact;
  runProgram(instance, processors, options, answer);
  return answer;
}

}  // namespace mcjobs
