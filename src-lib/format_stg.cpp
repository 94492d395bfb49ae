// The Standard Task Graph Set format: a count line, one line per task
// ("id cost npred preds..."), trailing '#' comment lines. Tasks without cost
// (the dummy entry and exit) are not jobs; windows and criticalities, which
// the format lacks, come from the options.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "detail/interchange_input.h"
#include "detail/line_format.h"
#include "detail/topo_order.h"
#include "explain.h"
#include "interchange.h"
#include "random_stream.h"

namespace mcjobs {
namespace {

using mcjobs_detail::failAt;

struct Task {
  std::int64_t cost;
  std::vector<int> preds;
  long line;
  bool hi = false;
  std::int64_t budget = 0;  // a zero-cost task keeps 0, so paths weigh real tasks only
};

std::vector<std::int64_t> lineIntegers(const char* begin, const char* end, const std::string& name,
                                       long line) {
  std::vector<std::int64_t> values;
  for (const char* at = begin; at < end;) {
    while (at < end && (*at == ' ' || *at == '\t')) ++at;
    const char* start = at;
    while (at < end && *at != ' ' && *at != '\t') ++at;
    if (start == at) break;
    std::int64_t value = 0;
    if (!mcjobs_detail::parseInteger(start, at, value))
      failAt(name, line,
             "STG: '" + mcjobs::abbreviate(std::string(start, at)) +
                 (mcjobs_detail::isIntegerText(start, at) ? "' is outside the 64-bit range"
                                                          : "' is not an integer"));
    values.push_back(value);
  }
  return values;
}

bool blank(const char* begin, const char* end) {
  return std::all_of(begin, end, [](char c) { return c == ' ' || c == '\t'; });
}

// Anything beyond int64 (or NaN) becomes INT64_MAX, which every caller refuses.
std::int64_t roundUp(double value) {
  if (!(value > -9e18 && value < 9e18)) return INT64_MAX;
  return static_cast<std::int64_t>(std::ceil(value - 1e-9));
}

std::string factorText(double factor) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", factor);
  return text;
}

// The tasks in an order where each comes after its predecessors; a cycle fails
// at the line of its lowest-numbered task.
using SuccessorLists = std::vector<std::vector<int>>;

SuccessorLists successorLists(const std::vector<Task>& tasks) {
  SuccessorLists successors(tasks.size());
  for (size_t t = 0; t < tasks.size(); ++t)
    for (int p : tasks[t].preds) successors[static_cast<size_t>(p)].push_back(static_cast<int>(t));
  return successors;
}

// The adjacency of the tasks as kahnOrder and heaviestPath walk it.
auto eachSuccessor(const SuccessorLists& successors) {
  return [&successors](int t, auto&& visit) {
    for (int s : successors[static_cast<size_t>(t)]) visit(s);
  };
}

std::vector<int> taskOrder(const std::vector<Task>& tasks, const SuccessorLists& successors,
                           const std::string& name) {
  mcjobs_detail::KahnOrder sorted =
      mcjobs_detail::kahnOrder(static_cast<int>(tasks.size()), eachSuccessor(successors));
  if (!sorted.complete())
    failAt(
        name, tasks[static_cast<size_t>(sorted.cycleWitness)].line,
        "STG: the predecessors of task " + std::to_string(sorted.cycleWitness) + " form a cycle");
  return std::move(sorted.order);
}

// The task line `values`, checked as the task numbered `index`.
Task taskFromLine(const std::vector<std::int64_t>& values, size_t index, const std::string& name,
                  long line) {
  const std::string id = std::to_string(index);
  if (values.size() < 3)
    failAt(name, line, "STG: a task line needs an id, a processing time and a predecessor count");
  if (values[0] != static_cast<std::int64_t>(index))
    failAt(name, line,
           "STG: task " + std::to_string(values[0]) + " where task " + id +
               " comes next (tasks are numbered 0, 1, 2, ... in order)");
  if (values[1] < 0 || !mcjobs_detail::fitsInt32(values[1]))
    failAt(name, line,
           "STG: task " + id + ": the processing time " + std::to_string(values[1]) +
               " is not in 0..2147483647");
  if (values[2] != static_cast<std::int64_t>(values.size() - 3))
    failAt(name, line,
           "STG: task " + id + " says " + std::to_string(values[2]) + " predecessors but lists " +
               std::to_string(values.size() - 3));
  Task task{values[1], {}, line};
  for (size_t k = 3; k < values.size(); ++k) {
    if (values[k] < 0 || values[k] > INT32_MAX)
      failAt(name, line, "STG: task " + id + ": no task " + std::to_string(values[k]));
    task.preds.push_back(static_cast<int>(values[k]));
  }
  return task;
}

// Files in the wild count their tasks with or without the dummy entry and exit.
void checkTaskCount(std::int64_t declared, long countLine, size_t found, const std::string& name) {
  const std::int64_t count = static_cast<std::int64_t>(found);
  // count - 2, as declared + 2 may not fit.
  if (count != declared && count - 2 != declared)
    failAt(name, countLine,
           "STG: the count line says " + std::to_string(declared) + " tasks, but " +
               std::to_string(count) + " task lines follow (expected " + std::to_string(declared) +
               ", or " + std::to_string(static_cast<std::uint64_t>(declared) + 2) +
               " with the dummy entry and exit)");
}

// Predecessors name tasks of the file (later ones too) other than the task itself.
void checkPredecessors(const std::vector<Task>& tasks, const std::string& name) {
  const std::int64_t count = static_cast<std::int64_t>(tasks.size());
  for (size_t t = 0; t < tasks.size(); ++t)
    for (int p : tasks[t].preds)
      if (p >= count || p == static_cast<int>(t))
        failAt(name, tasks[t].line,
               "STG: task " + std::to_string(t) +
                   (p == static_cast<int>(t) ? " lists itself as a predecessor"
                                             : ": no task " + std::to_string(p)));
}

struct StgTasks {
  std::vector<Task> tasks;
  long countLine = 0;  // blamed for a count or deadline that does not fit
};

StgTasks parseTasks(const std::string& text, const std::string& name) {
  mcjobs_detail::TextLines lines(text);
  const char* begin;
  const char* end;
  std::int64_t declared = -1;
  bool inComments = false;
  StgTasks parsed;
  while (lines.next(begin, end)) {
    const long line = lines.number();
    if (blank(begin, end)) continue;
    if (*begin == '#') {
      inComments = declared >= 0;
      continue;
    }
    if (inComments) failAt(name, line, "STG: a task line after the comment lines");
    const std::vector<std::int64_t> values = lineIntegers(begin, end, name, line);
    if (declared < 0) {
      if (values.size() != 1 || values[0] < 0)
        failAt(name, line, "STG: the first line must be the task count alone");
      declared = values[0];
      parsed.countLine = line;
      continue;
    }
    parsed.tasks.push_back(taskFromLine(values, parsed.tasks.size(), name, line));
  }
  if (declared < 0) failAt(name, lines.number(), "STG: no task count line");
  checkTaskCount(declared, parsed.countLine, parsed.tasks.size(), name);
  checkPredecessors(parsed.tasks, name);
  return parsed;
}

// The tasks with a cost, which become the jobs.
std::vector<int> realTasks(const std::vector<Task>& tasks) {
  std::vector<int> real;
  for (size_t t = 0; t < tasks.size(); ++t)
    if (tasks[t].cost > 0) real.push_back(static_cast<int>(t));
  return real;
}

// A seeded choice of exactly round(hiFraction x n) real tasks, so that a seed and a fraction
// give the same criticalities everywhere.
void chooseHiTasks(std::vector<Task>& tasks, const std::vector<int>& real,
                   const InterchangeOptions& options) {
  const size_t n = real.size();
  const double fraction = std::min(1.0, std::max(0.0, options.hiFraction));
  const size_t hiCount =
      std::min(n, static_cast<size_t>(std::llround(fraction * static_cast<double>(n))));
  std::vector<int> pick = real;
  RandomStream random(options.seed);
  for (size_t k = 0; k < hiCount; ++k) {
    const size_t j = static_cast<size_t>(
        random.integer(static_cast<std::int64_t>(k), static_cast<std::int64_t>(n) - 1));
    std::swap(pick[k], pick[j]);
    tasks[static_cast<size_t>(pick[k])].hi = true;
  }
}

// A job runs its own level's budget: the cost at LO, the cost times the factor at HI.
void assignBudgets(std::vector<Task>& tasks, const std::vector<int>& real, double criticalityFactor,
                   const std::string& name) {
  for (int t : real) {
    Task& task = tasks[static_cast<size_t>(t)];
    task.budget = task.hi ? roundUp(static_cast<double>(task.cost) * criticalityFactor) : task.cost;
    if (task.budget < task.cost || !mcjobs_detail::fitsInt32(task.budget))
      failAt(name, task.line,
             "STG: task " + std::to_string(t) + ": its HI budget " + std::to_string(task.budget) +
                 " is outside 1..2147483647 or below its cost");
  }
}

std::int64_t criticalPathLength(const std::vector<Task>& tasks, const std::vector<int>& order,
                                const SuccessorLists& successors) {
  return mcjobs_detail::heaviestPath(
             static_cast<int>(tasks.size()), order, eachSuccessor(successors),
             [&tasks](int t) {
               return static_cast<long long>(tasks[static_cast<size_t>(t)].budget);
             })
      .length;
}

// The common deadline of the jobs: as given, or scaled from the critical path. A file without
// jobs has no deadline to check.
std::int64_t commonDeadline(const InterchangeOptions& options, std::int64_t criticalPath,
                            bool hasJobs, const std::string& name, long countLine) {
  std::int64_t deadline = options.deadline;
  if (deadline <= 0) {
    const double scaled = options.deadlineFactor * static_cast<double>(criticalPath);
    // Checked as a double: a huge or NaN factor has no integer to convert to.
    if (hasJobs && !(scaled <= INT32_MAX))
      failAt(name, countLine,
             "STG: the deadline " + factorText(options.deadlineFactor) +
                 " x the critical-path length " + std::to_string(criticalPath) +
                 " is outside the 32-bit range");
    deadline = hasJobs ? roundUp(scaled) : 0;
  }
  if (hasJobs && !mcjobs_detail::fitsInt32(deadline))
    failAt(name, countLine,
           "STG: the deadline " + std::to_string(deadline) + " is outside the 32-bit range");
  return deadline;
}

// The job id of each real task, -1 for a zero-cost one.
std::vector<int> addJobs(mcjobs_detail::InstanceBuilder& builder, const std::vector<Task>& tasks,
                         const std::vector<int>& real, std::int64_t deadline) {
  std::vector<int> jobOf(tasks.size(), -1);
  for (int t : real) {
    const Task& task = tasks[static_cast<size_t>(t)];
    Job job;
    job.arrival = 0;
    job.deadline = static_cast<int>(deadline);
    job.criticality = task.hi ? CRIT_HI : CRIT_LO;
    job.lo_wcet = static_cast<int>(task.cost);
    job.hi_wcet = static_cast<int>(task.budget);
    jobOf[static_cast<size_t>(t)] = builder.jobs();
    builder.addJob(job, std::to_string(t), task.line);
  }
  return jobOf;
}

// A zero-cost task is no job, but it orders the real tasks before it before those after it.
void addArcs(mcjobs_detail::InstanceBuilder& builder, const std::vector<Task>& tasks,
             const std::vector<int>& order, const std::vector<int>& jobOf) {
  std::vector<std::vector<int>> realBefore(tasks.size());
  for (int t : order) {
    std::vector<int> before;
    for (int p : tasks[static_cast<size_t>(t)].preds) {
      if (jobOf[static_cast<size_t>(p)] >= 0)
        before.push_back(jobOf[static_cast<size_t>(p)]);
      else
        before.insert(before.end(), realBefore[static_cast<size_t>(p)].begin(),
                      realBefore[static_cast<size_t>(p)].end());
    }
    std::sort(before.begin(), before.end());
    before.erase(std::unique(before.begin(), before.end()), before.end());
    if (jobOf[static_cast<size_t>(t)] < 0) {
      realBefore[static_cast<size_t>(t)] = std::move(before);
      continue;
    }
    for (int from : before)
      builder.addArc(from, jobOf[static_cast<size_t>(t)], tasks[static_cast<size_t>(t)].line);
  }
}

}  // namespace

JobInstance readStg(std::istream& in, const std::string& name, const InterchangeOptions& options) {
  const std::string text = mcjobs_detail::readInput(in, name);
  StgTasks parsed = parseTasks(text, name);
  std::vector<Task>& tasks = parsed.tasks;
  const SuccessorLists successors = successorLists(tasks);
  const std::vector<int> order = taskOrder(tasks, successors, name);
  const std::vector<int> real = realTasks(tasks);
  chooseHiTasks(tasks, real, options);
  assignBudgets(tasks, real, options.criticalityFactor, name);
  const std::int64_t deadline = commonDeadline(
      options, criticalPathLength(tasks, order, successors), !real.empty(), name, parsed.countLine);
  mcjobs_detail::InstanceBuilder builder(name, "task");
  const std::vector<int> jobOf = addJobs(builder, tasks, real, deadline);
  addArcs(builder, tasks, order, jobOf);
  return builder.finish();
}

std::string writeStg(JobInstance& instance, const InterchangeOptions& options) {
  const int level = options.level == CRIT_HI ? CRIT_HI : CRIT_LO;
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(instance, level);
  std::vector<int> order;
  for (int id : mcjobs_detail::kahnOrder(graph, mcjobs_detail::ReadyRule::kSmallestId).order)
    if (instance.at(id)->criticality >= level) order.push_back(id);
  std::vector<int> number(static_cast<size_t>(instance.numJobs()), 0);
  for (size_t k = 0; k < order.size(); ++k)
    number[static_cast<size_t>(order[k])] = static_cast<int>(k) + 1;
  std::vector<std::vector<int>> preds(order.size() + 2);
  std::vector<int> sinks;
  size_t arcs = 0;
  for (int u : order) {
    if (graph.begin(u) == graph.end(u)) sinks.push_back(number[static_cast<size_t>(u)]);
    for (const int* v = graph.begin(u); v != graph.end(u); ++v, ++arcs)
      preds[static_cast<size_t>(number[static_cast<size_t>(*v)])].push_back(
          number[static_cast<size_t>(u)]);
  }
  std::string out;
  auto field = [&out](long long value) {
    const size_t start = out.size();
    mcjobs_detail::appendInt(out, value);
    const size_t width = out.size() - start;
    out.insert(start, width < 6 ? 6 - width : 1, ' ');
  };
  auto task = [&](int id, long long cost, const std::vector<int>& before) {
    field(id);
    field(cost);
    field(static_cast<long long>(before.size()));
    for (int p : before) field(p);
    out += '\n';
  };
  const int n = static_cast<int>(order.size());
  field(n);
  out += '\n';
  task(0, 0, {});
  const std::vector<int> entry{0};
  for (int k = 1; k <= n; ++k) {
    const Job& job = *instance.at(order[static_cast<size_t>(k - 1)]);
    task(k, job.getWCET(level),
         preds[static_cast<size_t>(k)].empty() ? entry : preds[static_cast<size_t>(k)]);
  }
  task(n + 1, 0, sinks.empty() ? entry : sinks);
  out += "#\n# mcjobs: " + std::string(level == CRIT_HI ? "HI" : "LO") + " budgets of " +
         std::to_string(n) + (n == 1 ? " job and " : " jobs and ") + std::to_string(arcs) +
         (arcs == 1 ? " arc" : " arcs");
  out += "; tasks 0 and " + std::to_string(n + 1) + " are the dummy entry and exit\n";
  bool renumbered = false;
  for (int k = 1; k <= n; ++k)
    renumbered = renumbered || order[static_cast<size_t>(k - 1)] != k - 1;
  for (int k = 1; renumbered && k <= n; ++k)
    out += "# task " + std::to_string(k) + " is job " +
           Job::nameFromId(order[static_cast<size_t>(k - 1)]) + "\n";
  return out;
}

}  // namespace mcjobs
