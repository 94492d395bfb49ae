// The generator: graph shapes, criticalities, utilization vectors turned into
// integer budgets, and the frame and periodic models built from them.
//
// The draws happen in a fixed order (per graph or task: size, period, shape,
// criticalities; then the utilization vector; then per graph or task the budget
// split, then the HI budgets), and only through RandomStream, so that a seed
// gives the same job set everywhere.
#include "generate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "detail/check.h"
#include "detail/instance_graph.h"
#include "random_stream.h"
#include "utilization_split.h"

namespace mcjobs {

namespace {

// One DAG of the set: nodes 0..nodes-1, arcs between them, a criticality per node.
struct TaskGraph {
  int nodes = 0;
  std::vector<std::pair<int, int>> arcs;
  std::vector<char> hi;
};

// Erdős–Rényi on a random topological order: each forward pair is an arc with probability p.
TaskGraph gnpGraph(RandomStream& random, int nodes, double p) {
  TaskGraph graph;
  graph.nodes = nodes;
  std::vector<int> order(static_cast<size_t>(nodes));
  std::iota(order.begin(), order.end(), 0);
  for (int i = nodes - 1; i > 0; --i)
    std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(random.integer(0, i))]);
  for (int i = 0; i < nodes; ++i)
    for (int j = i + 1; j < nodes; ++j)
      if (random.bernoulli(p)) graph.arcs.emplace_back(order[i], order[j]);
  return graph;
}

// Layer by layer: `layers` non-empty layers of consecutive nodes, arcs from a
// layer to any later one with probability p, and every node past the first
// layer given a predecessor in the layer just before it when it drew none, so
// that the longest path has exactly `layers` nodes.
TaskGraph layeredGraph(RandomStream& random, int nodes, int layers, double p) {
  TaskGraph graph;
  graph.nodes = nodes;
  // layers - 1 distinct cuts among the nodes - 1 gaps, by a partial shuffle.
  std::vector<int> gaps(static_cast<size_t>(nodes - 1));
  std::iota(gaps.begin(), gaps.end(), 1);
  for (int i = 0; i < layers - 1; ++i)
    std::swap(gaps[static_cast<size_t>(i)],
              gaps[static_cast<size_t>(random.integer(i, nodes - 2))]);
  std::vector<int> starts(gaps.begin(), gaps.begin() + (layers - 1));
  std::sort(starts.begin(), starts.end());
  starts.insert(starts.begin(), 0);
  starts.push_back(nodes);
  std::vector<int> layerOf(static_cast<size_t>(nodes));
  for (int layer = 0; layer < layers; ++layer)
    for (int v = starts[layer]; v < starts[layer + 1]; ++v) layerOf[v] = layer;

  for (int u = 0; u < nodes; ++u)
    for (int v = starts[layerOf[u] + 1]; v < nodes; ++v)
      if (random.bernoulli(p)) graph.arcs.emplace_back(u, v);
  std::vector<char> fedByPrevious(static_cast<size_t>(nodes), 0);
  for (const auto& arc : graph.arcs)
    if (layerOf[arc.first] + 1 == layerOf[arc.second]) fedByPrevious[arc.second] = 1;
  for (int v = starts[1]; v < nodes; ++v) {
    if (fedByPrevious[v]) continue;
    const int layer = layerOf[v];
    graph.arcs.emplace_back(static_cast<int>(random.integer(starts[layer - 1], starts[layer] - 1)),
                            v);
  }
  return graph;
}

// Nested fork-join: a fork node, 2..branching branches, a join node; a branch
// is a nested fork-join with probability nestProb while depth remains, else
// one node. Returns the entry and exit nodes of the block.
std::pair<int, int> forkJoinBlock(RandomStream& random, TaskGraph& graph, int branching, int depth,
                                  double nestProb) {
  const int fork = graph.nodes++;
  const auto branches = random.integer(2, branching);
  std::vector<std::pair<int, int>> ends;
  for (std::int64_t b = 0; b < branches; ++b) {
    if (depth > 1 && random.bernoulli(nestProb)) {
      ends.push_back(forkJoinBlock(random, graph, branching, depth - 1, nestProb));
    } else {
      const int node = graph.nodes++;
      ends.emplace_back(node, node);
    }
  }
  const int join = graph.nodes++;
  for (const auto& branch : ends) {
    graph.arcs.emplace_back(fork, branch.first);
    graph.arcs.emplace_back(branch.second, join);
  }
  return {fork, join};
}

TaskGraph drawGraph(RandomStream& random, const GenerateOptions& options) {
  if (options.shape == GraphShape::ForkJoin) {
    TaskGraph graph;
    forkJoinBlock(random, graph, options.branching, options.depth, options.nestProb);
    return graph;
  }
  const int nodes = static_cast<int>(random.integer(options.nodesMin, options.nodesMax));
  if (options.shape == GraphShape::Layers)
    return layeredGraph(random, nodes, options.layers, options.edgeProb);
  return gnpGraph(random, nodes, options.edgeProb);
}

void drawCriticalities(RandomStream& random, const GenerateOptions& options, TaskGraph& graph) {
  if (options.hiPerTask) {
    graph.hi.assign(static_cast<size_t>(graph.nodes), random.bernoulli(options.hiFraction));
    return;
  }
  graph.hi.resize(static_cast<size_t>(graph.nodes));
  for (char& hi : graph.hi) hi = random.bernoulli(options.hiFraction);
}

// Integers within [lower, upper] that sum to `total`, as close to the real
// targets as the bounds allow: floors first, then the missing (or surplus) units
// one at a time to the largest remainders. Needs sum lower <= total <= sum upper.
std::vector<long long> integerShares(const std::vector<double>& targets, long long total,
                                     const std::vector<long long>& lower,
                                     const std::vector<long long>& upper) {
  const size_t n = targets.size();
  std::vector<long long> shares(n);
  long long missing = total;
  for (size_t i = 0; i < n; ++i) {
    const double floor = std::floor(targets[i]);
    shares[i] = floor <= static_cast<double>(lower[i])   ? lower[i]
                : floor >= static_cast<double>(upper[i]) ? upper[i]
                                                         : static_cast<long long>(floor);
    missing -= shares[i];
  }
  std::vector<size_t> candidates;
  while (missing != 0) {
    const bool add = missing > 0;
    candidates.clear();
    long long room = std::numeric_limits<long long>::max();
    for (size_t i = 0; i < n; ++i)
      if (add ? shares[i] < upper[i] : shares[i] > lower[i]) {
        candidates.push_back(i);
        room = std::min(room, add ? upper[i] - shares[i] : shares[i] - lower[i]);
      }
    // While every candidate gets a unit, their order does not matter: take those rounds at once
    // (clamped budgets can leave far more units than candidates).
    const long long rounds =
        std::min(room, std::abs(missing) / static_cast<long long>(candidates.size()));
    if (rounds > 0) {
      for (size_t i : candidates) shares[i] += add ? rounds : -rounds;
      missing -= (add ? rounds : -rounds) * static_cast<long long>(candidates.size());
      continue;
    }
    // Largest remainder first; equal remainders by position.
    auto remainder = [&](size_t i) {
      const double gap = targets[i] - static_cast<double>(shares[i]);
      return add ? gap : -gap;
    };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](size_t a, size_t b) { return remainder(a) > remainder(b); });
    for (size_t i : candidates) {
      if (missing == 0) break;
      shares[i] += add ? 1 : -1;
      missing += add ? -1 : 1;
    }
  }
  return shares;
}

// A graph of the set with its window and its share of the utilization.
struct PlannedTask {
  TaskGraph graph;
  long long period = 0;  // the frame length in the frame model
  long long deadline = 0;
  std::vector<long long> lo;  // per node
  std::vector<long long> hi;  // per node (HI nodes; LO nodes keep lo)
};

[[noreturn]] void failBudget(size_t task, const std::string& budget, int nodes, long long window) {
  MCJOBS_FAIL("cannot fit a budget of " + budget + " over the " + std::to_string(nodes) +
              " jobs of graph " + std::to_string(task + 1) + " with windows of " +
              std::to_string(window) + ": raise --deadline or --nodes, or lower --utilization");
}

// LO budgets: the task's budget split over its nodes by UUniFast, each at least
// 1 and at most the window, summing exactly to the rounded task budget.
// Returns whether the budget had to be raised to one unit per node.
bool drawLoBudgets(RandomStream& random, size_t index, double utilization, PlannedTask& task) {
  const int nodes = task.graph.nodes;
  const double budget = utilization * static_cast<double>(task.period);
  const long long drawn = std::llround(budget);
  const long long rounded = std::max<long long>(drawn, nodes);
  if (rounded > nodes * task.deadline)
    failBudget(index, std::to_string(rounded), nodes, task.deadline);
  const std::vector<double> targets = uunifast(random, static_cast<size_t>(nodes), budget);
  task.lo = integerShares(targets, rounded, std::vector<long long>(targets.size(), 1),
                          std::vector<long long>(targets.size(), task.deadline));
  task.hi = task.lo;  // until the HI budgets are drawn; a LO node keeps it
  return rounded > drawn;
}

// HI budgets of one task: `budget` spread over its HI nodes in proportion to
// their LO budgets, each at least its LO budget and at most the window.
void spreadHiBudget(size_t index, long long budget, PlannedTask& task) {
  std::vector<size_t> hiNodes;
  long long loSum = 0;
  for (size_t v = 0; v < task.lo.size(); ++v)
    if (task.graph.hi[v]) {
      hiNodes.push_back(v);
      loSum += task.lo[v];
    }
  task.hi = task.lo;
  if (hiNodes.empty()) return;
  const long long most = static_cast<long long>(hiNodes.size()) * task.deadline;
  if (budget > most)
    failBudget(index, std::to_string(budget), static_cast<int>(hiNodes.size()), task.deadline);
  budget = std::max(budget, loSum);
  std::vector<double> targets;
  std::vector<long long> lower, upper;
  for (size_t v : hiNodes) {
    targets.push_back(static_cast<double>(budget) * static_cast<double>(task.lo[v]) /
                      static_cast<double>(loSum));
    lower.push_back(task.lo[v]);
    upper.push_back(task.deadline);
  }
  const std::vector<long long> shares = integerShares(targets, budget, lower, upper);
  for (size_t i = 0; i < hiNodes.size(); ++i) task.hi[hiNodes[i]] = shares[i];
}

long long hiLoBudget(const PlannedTask& task) {
  long long sum = 0;
  for (size_t v = 0; v < task.lo.size(); ++v)
    if (task.graph.hi[v]) sum += task.lo[v];
  return sum;
}

void drawHiBudgets(RandomStream& random, const GenerateOptions& options,
                   std::vector<PlannedTask>& tasks) {
  if (options.utilizationHi < 0) {
    for (size_t k = 0; k < tasks.size(); ++k) {
      const double budget = static_cast<double>(hiLoBudget(tasks[k])) * options.criticalityFactor;
      // Beyond every window (at most 1e6 nodes of 2^31), and beyond what llround can return.
      if (budget > 1e18) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3g", budget);
        failBudget(
            k, text,
            static_cast<int>(std::count(tasks[k].graph.hi.begin(), tasks[k].graph.hi.end(), 1)),
            tasks[k].deadline);
      }
      spreadHiBudget(k, std::llround(budget), tasks[k]);
    }
    return;
  }
  // ConvolutionalFixedSum over the tasks with HI jobs, each bounded below by
  // its LO utilization and above by the cap and its windows.
  std::vector<size_t> hiTasks;
  std::vector<double> lower, upper;
  double lowerSum = 0.0, upperSum = 0.0;
  for (size_t k = 0; k < tasks.size(); ++k) {
    const long long loBudget = hiLoBudget(tasks[k]);
    if (loBudget == 0) continue;
    long long hiNodes = 0;
    for (char hi : tasks[k].graph.hi) hiNodes += hi;
    const double period = static_cast<double>(tasks[k].period);
    hiTasks.push_back(k);
    lower.push_back(static_cast<double>(loBudget) / period);
    upper.push_back(std::max(lower.back(),
                             std::min(options.maxTaskUtilization,
                                      static_cast<double>(hiNodes * tasks[k].deadline) / period)));
    lowerSum += lower.back();
    upperSum += upper.back();
  }
  const double total = options.utilizationHi * options.processors;
  if (hiTasks.empty()) {
    if (total > 0) MCJOBS_FAIL("cannot reach the HI utilization: the set has no HI job");
    return;
  }
  if (total < lowerSum || total > upperSum)
    MCJOBS_FAIL("cannot reach a HI utilization of " + std::to_string(options.utilizationHi) +
                ": the HI jobs allow " + std::to_string(lowerSum / options.processors) + " to " +
                std::to_string(upperSum / options.processors) + " in this set");
  const std::vector<double> shares = convolutionalFixedSum(random, total, lower, upper);
  for (size_t i = 0; i < hiTasks.size(); ++i) {
    PlannedTask& task = tasks[hiTasks[i]];
    spreadHiBudget(hiTasks[i], std::llround(shares[i] * static_cast<double>(task.period)), task);
  }
}

std::vector<double> splitUtilization(RandomStream& random, const GenerateOptions& options,
                                     size_t count) {
  const double total = options.utilization * options.processors;
  if (total > static_cast<double>(count) * options.maxTaskUtilization)
    throw std::invalid_argument("--utilization " + std::to_string(options.utilization) + " on " +
                                std::to_string(options.processors) +
                                " processors cannot be split over " + std::to_string(count) +
                                " graphs of at most --max-task-utilization " +
                                std::to_string(options.maxTaskUtilization) + " each");
  if (options.split == UtilizationSplit::Cfs)
    return convolutionalFixedSum(random, total, std::vector<double>(count, 0.0),
                                 std::vector<double>(count, options.maxTaskUtilization));
  return uunifastDiscard(random, count, total, options.maxTaskUtilization);
}

long long hyperperiod(const std::vector<PlannedTask>& tasks) {
  long long h = 1;
  for (const PlannedTask& task : tasks) {
    h = h / std::gcd(h, task.period) * task.period;
    if (h > std::numeric_limits<int>::max())
      throw std::invalid_argument("--periods: the hyperperiod of the drawn periods exceeds " +
                                  std::to_string(std::numeric_limits<int>::max()));
  }
  return h;
}

}  // namespace

// About 2.6 GB in memory: a mistyped period list should fail, not swap.
constexpr long long kMostJobs = 20000000;

GeneratedSet generateJobSet(const GenerateOptions& options, std::uint64_t seed) {
  validateGenerateOptions(options);
  RandomStream random(seed);
  const bool periodic = options.model == GenerateModel::Periodic;
  // Each graph has at least this many nodes and each task at least one instance: refuse a set
  // that must exceed the limit before drawing its graphs.
  const long long fewestNodes = options.shape == GraphShape::ForkJoin ? 4 : options.nodesMin;
  const long long count = periodic ? options.tasks : options.graphs;
  if (count * fewestNodes > kMostJobs)
    throw std::invalid_argument(std::string(periodic ? "--tasks: " : "--graphs: ") +
                                std::to_string(count) + " graphs of at least " +
                                std::to_string(fewestNodes) + " nodes make more than the " +
                                std::to_string(kMostJobs) + " jobs a generated set may hold");
  std::vector<PlannedTask> tasks(static_cast<size_t>(periodic ? options.tasks : options.graphs));
  for (PlannedTask& task : tasks) {
    if (periodic) {
      task.period = options.periods[static_cast<size_t>(
          random.integer(0, static_cast<std::int64_t>(options.periods.size()) - 1))];
      // Clamped past the largest time value (the check below reports it) before llround
      // could overflow.
      const double deadline = std::min(static_cast<double>(task.period) * options.deadlineFactor,
                                       std::numeric_limits<int>::max() + 1.0);
      task.deadline = std::max<long long>(1, std::llround(deadline));
    } else {
      task.period = task.deadline = options.deadline;
    }
    task.graph = drawGraph(random, options);
    drawCriticalities(random, options, task.graph);
  }
  const std::vector<double> utilizations = splitUtilization(random, options, tasks.size());
  int raised = 0;
  for (size_t k = 0; k < tasks.size(); ++k)
    raised += drawLoBudgets(random, k, utilizations[k], tasks[k]);
  drawHiBudgets(random, options, tasks);

  const long long horizon = periodic ? hyperperiod(tasks) : options.deadline;
  GeneratedSet set;
  set.raisedBudgets = raised;
  long long jobs = 0;
  for (const PlannedTask& task : tasks) jobs += horizon / task.period * task.graph.nodes;
  if (jobs > kMostJobs && !periodic)
    throw std::invalid_argument("--graphs: the drawn graphs have " + std::to_string(jobs) +
                                " jobs, more than the " + std::to_string(kMostJobs) +
                                " a generated set may hold; choose fewer graphs or nodes");
  if (jobs > kMostJobs)
    throw std::invalid_argument("--periods: the drawn periods have a hyperperiod of " +
                                std::to_string(horizon) + ", which unrolls to " +
                                std::to_string(jobs) + " jobs, more than the " +
                                std::to_string(kMostJobs) +
                                " a generated set may hold; choose periods with a smaller least "
                                "common multiple, or fewer tasks or nodes");
  for (const PlannedTask& task : tasks)
    if (horizon - task.period + task.deadline > std::numeric_limits<int>::max())
      throw std::invalid_argument("--deadline-factor: deadlines past the largest time value");
  set.taskOfJob.reserve(static_cast<size_t>(jobs));
  std::vector<Arc> arcs;
  double loRate = 0.0, hiRate = 0.0;
  for (size_t k = 0; k < tasks.size(); ++k) {
    const PlannedTask& task = tasks[k];
    set.tasks.push_back(
        {static_cast<int>(task.period), static_cast<int>(task.deadline), task.graph.nodes});
    for (long long release = 0; release < horizon; release += task.period) {
      const int first = set.instance.numJobs();
      for (int v = 0; v < task.graph.nodes; ++v) {
        Job job;
        job.arrival = static_cast<int>(release);
        job.deadline = static_cast<int>(release + task.deadline);
        job.criticality = task.graph.hi[v] ? CRIT_HI : CRIT_LO;
        job.lo_wcet = static_cast<int>(task.lo[v]);
        job.hi_wcet = static_cast<int>(task.hi[v]);
        set.instance.insert(job);
        set.taskOfJob.emplace_back(static_cast<int>(k), static_cast<int>(release / task.period));
      }
      for (const auto& arc : task.graph.arcs)
        arcs.emplace_back(first + arc.first, first + arc.second);
    }
    for (int v = 0; v < task.graph.nodes; ++v) {
      loRate += static_cast<double>(task.lo[v]) / static_cast<double>(task.period);
      if (task.graph.hi[v])
        hiRate += static_cast<double>(task.hi[v]) / static_cast<double>(task.period);
    }
  }
  // Every arc follows its graph's order, so none can close a cycle.
  MCJOBS_CHECK(mcjobs_detail::InstanceAccess::insertArcs(set.instance, arcs) < 0,
               "generated arcs form no cycle");
  set.utilizationLo = loRate / options.processors;
  set.utilizationHi = hiRate / options.processors;
  return set;
}

JobInstance generateInstance(const GenerateOptions& options, std::uint64_t seed) {
  return std::move(generateJobSet(options, seed).instance);
}

std::uint64_t batchSeed(std::uint64_t seed, std::uint64_t index) {
  return derivedSeed(seed, index);
}

}  // namespace mcjobs
