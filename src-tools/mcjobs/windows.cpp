// mcjobs windows: tighten every job's window along the precedence graph.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "explain.h"
#include "mcjobs/common.h"
#include "propagation.h"

namespace mcjobs_tool {

namespace {

enum class Method { kTransitive, kAsapAlap };

struct WindowsOptions {
  std::string file;
  int level = CRIT_LO;
  Method method = Method::kTransitive;
  std::string out = "-";
  bool trace = false;
};

// The library writes its trace to stdout; while it runs, stdout is pointed at
// stderr so that the instance written to stdout stays clean.
class TraceToStderr {
 public:
  TraceToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    mSaved = ::dup(STDOUT_FILENO);
    if (mSaved >= 0) ::dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  ~TraceToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    if (mSaved >= 0) {
      ::dup2(mSaved, STDOUT_FILENO);
      ::close(mSaved);
    }
  }
  TraceToStderr(const TraceToStderr&) = delete;
  TraceToStderr& operator=(const TraceToStderr&) = delete;

 private:
  int mSaved = -1;
};

CheckError collapse(const std::string& file, int level, const Job& job,
                    const std::string& condition) {
  CheckError failure(condition);
  failure.setExplanation(mcjobs::explainCollapse(job, level));
  failure.setInput(displayName(file), 0);
  return failure;
}

// A failed propagation leaves the instance as it was and its check does not
// say which job failed; the sweep locates the rejected change again, so the
// diagnostic can show the window that change would have made.
[[noreturn]] void reportRejected(JobInstance& instance, const std::string& file, int level,
                                 const CheckError& cause, int Job::*field,
                                 const mcjobs::RejectedChange& change) {
  if (!change) throw cause;
  Job job = *instance.at(change.job);
  job.*field = change.value;
  throw collapse(file, level, job, cause.condition());
}

int runWindows(const WindowsOptions& options) {
  JobInstance instance;
  readInstance(options.file, instance);
  if (options.method == Method::kTransitive) {
    if (options.trace) enforcePropDebug();
    std::unique_ptr<TraceToStderr> redirect(options.trace ? new TraceToStderr : nullptr);
    try {
      instance.propagate_arrivals(options.level);
    } catch (const CheckError& error) {
      redirect.reset();
      reportRejected(instance, options.file, options.level, error, &Job::arrival,
                     mcjobs::firstRejectedArrival(instance, options.level));
    }
    try {
      instance.propagate_deadlines(options.level);
    } catch (const CheckError& error) {
      redirect.reset();
      reportRejected(instance, options.file, options.level, error, &Job::deadline,
                     mcjobs::firstRejectedDeadline(instance, options.level));
    }
  } else {
    try {
      mcjobs::propagateAlapAndAsapChecked(instance, options.level);
    } catch (CheckError& failure) {
      failure.setInput(displayName(options.file), 0);
      throw;
    }
  }
  writeInstance(instance, options.out);
  return kSuccess;
}

}  // namespace

void addWindowsCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<WindowsOptions>();
  static const std::map<std::string, Method> methods{{"transitive", Method::kTransitive},
                                                     {"asap-alap", Method::kAsapAlap}};
  CLI::App* command = app.add_subcommand(
      "windows", "Write the instance with windows tightened along the precedence graph");
  command->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  addLevelOption(*command, options->level, "Level whose graph and budgets are used")->required();
  command->add_option("--method", options->method, "Propagation (default: transitive)")
      ->transform(CLI::CheckedTransformer(methods))
      ->option_text("transitive|asap-alap");
  command->add_option("-o,--output", options->out, "Output instance file ('-' for stdout)")
      ->option_text("OUT");
  command->add_flag("--trace", options->trace,
                    "Print the propagation trace on stderr (transitive)");
  command->footer(
      "transitive: arrivals raised to the latest arrival of all predecessors, then deadlines\n"
      "lowered to the earliest deadline of all successors. asap-alap: deadlines become ALAP\n"
      "times, then arrivals ASAP times, using the budgets of the level. A window that can no\n"
      "longer hold its job's budgets is an error naming the job (exit status 3).");
  command->callback([options, &action] { action = [options] { return runWindows(*options); }; });
}

}  // namespace mcjobs_tool
