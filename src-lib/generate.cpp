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
#include "detail/size_limits.h"
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
  if (options.shape == GraphShape::kForkJoin) {
    TaskGraph graph;
    forkJoinBlock(random, graph, options.branching, options.depth, options.nestProb);
    return graph;
  }
  const int nodes = static_cast<int>(random.integer(options.nodesMin, options.nodesMax));
  if (options.shape == GraphShape::kLayers)
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

std::string realText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string plural(long long count, const std::string& word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// What a graph or task is called in the model of `options`, and the options that set how many
// there are and how large each is.
struct ModelWords {
  const char* unit;   // "graph" or "task"
  const char* count;  // "--graphs" or "--tasks"
  const char* size;   // "--nodes", or "--branching, --depth" for fork-join graphs
};

ModelWords modelWords(const GenerateOptions& options) {
  const bool periodic = options.model == GenerateModel::kPeriodic;
  return {periodic ? "task" : "graph", periodic ? "--tasks" : "--graphs",
          options.shape == GraphShape::kForkJoin ? "--branching, --depth" : "--nodes"};
}

// Only what applies: a frame graph's budget and windows both grow with --deadline, so raising
// it never makes a budget fit; a periodic task's windows grow with --deadline-factor alone.
std::string budgetRemedies(const GenerateOptions& options, int level) {
  const ModelWords words = modelWords(options);
  const bool periodic = options.model == GenerateModel::kPeriodic;
  if (level == CRIT_HI && options.utilizationHi >= 0) return "lower --utilization-hi";
  if (level == CRIT_HI)
    return std::string("lower --criticality-factor, --max-task-utilization or --utilization") +
           (periodic ? ", or raise --deadline-factor" : "");
  return std::string("lower --max-task-utilization or --utilization, or raise ") +
         (periodic ? "--deadline-factor, " : "") + words.size + " or " + words.count;
}

// The words carry the level, the graph or task, and the remedies, whatever their length.
[[noreturn]] void failBudget(const GenerateOptions& options, int level, size_t index,
                             const std::string& budget, long long jobs, long long window) {
  CheckError failure("cannot fit a budget into its windows", __FILE__, __LINE__);
  failure.setExplanation("cannot fit the " + std::string(level == CRIT_HI ? "HI" : "LO") +
                         " budget of " + budget + " of " + modelWords(options).unit + " " +
                         std::to_string(index + 1) + " into its " +
                         plural(jobs, level == CRIT_HI ? "HI job" : "job") + " with windows of " +
                         std::to_string(window) + ": " + budgetRemedies(options, level));
  throw failure;
}

// A graph's or task's budget as a real number of units, and the whole budgets it may take.
struct BudgetTarget {
  double units = 0.0;
  long long period = 1;
  long long lower = 0;
  long long upper = 0;
};

// Whole budgets whose total utilization (sum of budget / period) is as close to that of the
// targets as whole units allow. Rounding each target on its own would add up the errors of
// all of them; instead each starts at its floor, the largest remainders are rounded up while
// that brings the total closer, and what is left (at most half a unit of a short period) is
// closed in the finer steps of the longest periods, until no budget within its bounds can
// bring the total closer by a whole unit. A target more than half a unit below its lower bound
// is raised to it and kept out of the balance: `raised` counts those.
std::vector<long long> wholeBudgets(const std::vector<BudgetTarget>& targets, int& raised) {
  const size_t n = targets.size();
  std::vector<long long> budgets(n);
  std::vector<size_t> balanced;
  double missing = 0.0;  // target utilization minus achieved, over the balanced budgets
  raised = 0;
  for (size_t k = 0; k < n; ++k) {
    const BudgetTarget& target = targets[k];
    const double floor = std::floor(target.units);
    if (target.units < static_cast<double>(target.lower) - 0.5) {
      budgets[k] = target.lower;
      ++raised;
      continue;
    }
    budgets[k] = std::min(std::max(static_cast<long long>(floor), target.lower), target.upper);
    balanced.push_back(k);
    missing +=
        (target.units - static_cast<double>(budgets[k])) / static_cast<double>(target.period);
  }
  auto remainder = [&](size_t k) { return targets[k].units - static_cast<double>(budgets[k]); };
  std::vector<size_t> order = balanced;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return remainder(a) > remainder(b); });
  for (size_t k : order) {
    const double step = 1.0 / static_cast<double>(targets[k].period);
    if (budgets[k] < targets[k].upper && 2 * missing >= step) {
      ++budgets[k];
      missing -= step;
    }
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return targets[a].period > targets[b].period; });
  // Every move shrinks the gap, so this ends with no budget able to move towards the target by
  // a step shorter than twice the gap; the cap only guards against rounding ties.
  bool moved = true;
  for (int pass = 0; moved && pass < 64; ++pass) {
    moved = false;
    for (size_t k : order) {
      const double period = static_cast<double>(targets[k].period);
      if (2 * std::fabs(missing) * period <= 1) continue;
      const long long wanted = std::llround(missing * period);
      const long long budget =
          std::min(std::max(budgets[k] + wanted, targets[k].lower), targets[k].upper);
      if (budget == budgets[k]) continue;
      missing -= static_cast<double>(budget - budgets[k]) / period;
      budgets[k] = budget;
      moved = true;
    }
  }
  return budgets;
}

// LO budgets: each task's whole budget split over its nodes by UUniFast, each at least 1 and at
// most the window. Returns how many tasks had to be raised to one unit per node.
int drawLoBudgets(RandomStream& random, const GenerateOptions& options,
                  const std::vector<double>& utilizations, std::vector<PlannedTask>& tasks) {
  std::vector<BudgetTarget> targets;
  for (size_t k = 0; k < tasks.size(); ++k) {
    const PlannedTask& task = tasks[k];
    const long long nodes = task.graph.nodes;
    targets.push_back({utilizations[k] * static_cast<double>(task.period), task.period, nodes,
                       nodes * task.deadline});
    if (std::floor(targets.back().units) > static_cast<double>(targets.back().upper))
      failBudget(options, CRIT_LO, k, std::to_string(std::llround(targets.back().units)), nodes,
                 task.deadline);
  }
  int raised = 0;
  const std::vector<long long> budgets = wholeBudgets(targets, raised);
  for (size_t k = 0; k < tasks.size(); ++k) {
    PlannedTask& task = tasks[k];
    const std::vector<double> shares =
        uunifast(random, static_cast<size_t>(task.graph.nodes), targets[k].units);
    task.lo = integerShares(shares, budgets[k], std::vector<long long>(shares.size(), 1),
                            std::vector<long long>(shares.size(), task.deadline));
    task.hi = task.lo;  // until the HI budgets are drawn; a LO node keeps it
  }
  return raised;
}

long long hiNodeCount(const PlannedTask& task) {
  return std::count(task.graph.hi.begin(), task.graph.hi.end(), 1);
}

// HI budgets of one task: `budget` spread over its HI nodes in proportion to
// their LO budgets, each at least its LO budget and at most the window.
void spreadHiBudget(long long budget, PlannedTask& task) {
  std::vector<size_t> hiNodes;
  long long loSum = 0;
  for (size_t v = 0; v < task.lo.size(); ++v)
    if (task.graph.hi[v]) {
      hiNodes.push_back(v);
      loSum += task.lo[v];
    }
  task.hi = task.lo;
  if (hiNodes.empty()) return;
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

// HI budgets as the LO budgets times the criticality factor, each task rounded on its own:
// there is no HI target for the rounding to serve.
void scaleHiBudgets(const GenerateOptions& options, std::vector<PlannedTask>& tasks) {
  for (size_t k = 0; k < tasks.size(); ++k) {
    const long long loBudget = hiLoBudget(tasks[k]);
    const double budget = static_cast<double>(loBudget) * options.criticalityFactor;
    const long long hiJobs = hiNodeCount(tasks[k]);
    // Past 1e18 the budget is beyond every window (at most 1e6 nodes of 2^31), and beyond what
    // llround can return.
    if (hiJobs > 0 && (budget > 1e18 || std::llround(budget) > hiJobs * tasks[k].deadline))
      failBudget(options, CRIT_HI, k,
                 realText(std::round(budget)) + " (" + realText(options.criticalityFactor) +
                     " times the LO budget " + std::to_string(loBudget) + ")",
                 hiJobs, tasks[k].deadline);
    spreadHiBudget(std::llround(budget), tasks[k]);
  }
}

void drawHiBudgets(RandomStream& random, const GenerateOptions& options,
                   std::vector<PlannedTask>& tasks) {
  if (options.utilizationHi < 0) return scaleHiBudgets(options, tasks);
  // ConvolutionalFixedSum over the tasks with HI jobs, each bounded below by
  // its LO utilization and above by the cap and its windows.
  std::vector<size_t> hiTasks;
  std::vector<double> lower, upper;
  double lowerSum = 0.0, upperSum = 0.0;
  for (size_t k = 0; k < tasks.size(); ++k) {
    const long long loBudget = hiLoBudget(tasks[k]);
    if (loBudget == 0) continue;
    const double period = static_cast<double>(tasks[k].period);
    hiTasks.push_back(k);
    lower.push_back(static_cast<double>(loBudget) / period);
    upper.push_back(std::max(
        lower.back(),
        std::min(options.maxTaskUtilization,
                 static_cast<double>(hiNodeCount(tasks[k]) * tasks[k].deadline) / period)));
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
  std::vector<BudgetTarget> targets;
  for (size_t i = 0; i < hiTasks.size(); ++i) {
    const PlannedTask& task = tasks[hiTasks[i]];
    targets.push_back({shares[i] * static_cast<double>(task.period), task.period, hiLoBudget(task),
                       hiNodeCount(task) * task.deadline});
  }
  int belowLo = 0;  // none: each share is at least its task's LO utilization
  const std::vector<long long> budgets = wholeBudgets(targets, belowLo);
  for (size_t i = 0; i < hiTasks.size(); ++i) spreadHiBudget(budgets[i], tasks[hiTasks[i]]);
}

std::vector<double> splitUtilization(RandomStream& random, const GenerateOptions& options,
                                     size_t count) {
  const double total = options.utilization * options.processors;
  if (total > static_cast<double>(count) * options.maxTaskUtilization)
    throw OptionError("--utilization " + std::to_string(options.utilization) + " on " +
                      std::to_string(options.processors) + " processors cannot be split over " +
                      std::to_string(count) + " " + modelWords(options).unit +
                      "s of at most --max-task-utilization " +
                      std::to_string(options.maxTaskUtilization) + " each");
  if (options.split == UtilizationSplit::kCfs)
    return convolutionalFixedSum(random, total, std::vector<double>(count, 0.0),
                                 std::vector<double>(count, options.maxTaskUtilization));
  return uunifastDiscard(random, count, total, options.maxTaskUtilization);
}

long long hyperperiod(const std::vector<PlannedTask>& tasks) {
  long long h = 1;
  for (const PlannedTask& task : tasks) {
    h = h / std::gcd(h, task.period) * task.period;
    if (h > std::numeric_limits<int>::max())
      throw OptionError("--periods: the hyperperiod of the drawn periods exceeds " +
                        std::to_string(std::numeric_limits<int>::max()));
  }
  return h;
}

// The arcs one graph is expected to have before it is drawn: each allowed pair with the edge
// probability, averaged over the node counts. In a layered graph the allowed pairs are those
// in different layers; the layer sizes form a uniform random composition of n into L parts,
// each of expected square n (2n - L + 1) / (L (L + 1)), and the feeding arcs are counted as
// one per node past the first layer (at most that many are added). Fork-join graphs have under
// two arcs per node, which the limit on jobs already bounds.
double expectedArcsPerGraph(const GenerateOptions& options) {
  if (options.shape == GraphShape::kForkJoin) return 0.0;
  // The first two moments of n, uniform on nodesMin..nodesMax: every count below is a
  // quadratic in n.
  const double a = options.nodesMin, b = options.nodesMax, count = b - a + 1;
  const double mean = (a + b) / 2;
  const double meanSquare = (b * (b + 1) * (2 * b + 1) - (a - 1) * a * (2 * a - 1)) / 6 / count;
  double pairs = (meanSquare - mean) / 2;
  double feeding = 0.0;
  if (options.shape == GraphShape::kLayers) {
    const double layers = options.layers;
    const double squares = (2 * meanSquare - (layers - 1) * mean) / (layers + 1);  // all layers
    pairs -= (squares - mean) / 2;
    feeding = mean - mean / layers;
  }
  return options.edgeProb * pairs + feeding;
}

std::string nodeRangeText(const GenerateOptions& options) {
  return options.nodesMin == options.nodesMax
             ? std::to_string(options.nodesMin)
             : std::to_string(options.nodesMin) + ".." + std::to_string(options.nodesMax);
}

// A share of the target, as the warnings give it: "8% below".
std::string missText(double achieved, double target) {
  const double percent = 100 * std::fabs(achieved - target) / target;
  char text[48];
  std::snprintf(text, sizeof text, percent < 100 ? "%.3g%% %s" : "%.0f%% %s", percent,
                achieved > target ? "above" : "below");
  return text;
}

// Why a utilization misses its target by more than 1%, and only options of this model and
// shape that would bring it closer.
std::vector<std::string> offTargetWarnings(const GenerateOptions& options,
                                           const GeneratedSet& set) {
  const ModelWords words = modelWords(options);
  const bool periodic = options.model == GenerateModel::kPeriodic;
  const std::string finer = periodic ? "choose longer --periods" : "raise --deadline";
  std::vector<std::string> warnings;
  auto check = [&](const char* level, double achieved, double target) {
    if (std::fabs(achieved - target) <= 0.01 * target) return;
    std::string warning = std::string("the ") + level + " utilization is " + realText(achieved) +
                          ", " + missText(achieved, target) + " the target " + realText(target);
    if (*level == 'L' && set.raisedBudgets > 0 && achieved > target)
      warning += std::string(": ") + words.unit + "s with fewer budget units than jobs got one " +
                 "unit per job; " + finer + ", or lower " + words.size + " or " + words.count;
    else
      warning += ": budgets are whole units; " + finer + " for finer steps";
    warnings.push_back(warning);
  };
  check("LO", set.utilizationLo, options.utilization);
  if (options.utilizationHi > 0) check("HI", set.utilizationHi, options.utilizationHi);
  return warnings;
}

using mcjobs_detail::kMostArcs;
using mcjobs_detail::kMostJobs;

// Each graph has at least this many nodes and each task at least one instance: refuse a set
// that must exceed the limit before drawing its graphs.
void checkLeastSize(const GenerateOptions& options) {
  const bool periodic = options.model == GenerateModel::kPeriodic;
  const long long fewestNodes = options.shape == GraphShape::kForkJoin ? 4 : options.nodesMin;
  const long long count = periodic ? options.tasks : options.graphs;
  if (count * fewestNodes > kMostJobs)
    throw OptionError(std::string(periodic ? "--tasks: " : "--graphs: ") +
                      plural(count, modelWords(options).unit) + " of at least " +
                      std::to_string(fewestNodes) + " nodes make more than the " +
                      std::to_string(kMostJobs) + " jobs a generated set may hold");
  // Arcs too, from their expected count: a dense graph of many nodes would exhaust the memory
  // while it is drawn, long before the set could be refused.
  const double expectedArcs = static_cast<double>(count) * expectedArcsPerGraph(options);
  if (expectedArcs > static_cast<double>(kMostArcs)) {
    const ModelWords words = modelWords(options);
    throw OptionError(
        "--edge-prob: " + plural(count, words.unit) + " of " + nodeRangeText(options) +
        " nodes with --edge-prob " + realText(options.edgeProb) + " would have about " +
        std::to_string(std::llround(expectedArcs)) + " arcs" +
        (periodic ? " in one instance each" : "") + ", more than the " + std::to_string(kMostArcs) +
        " a generated set may hold; lower --edge-prob, --nodes or " + words.count);
  }
}

// A periodic task draws its period; a frame graph's window is the frame.
void drawWindow(RandomStream& random, const GenerateOptions& options, PlannedTask& task) {
  if (options.model != GenerateModel::kPeriodic) {
    task.period = task.deadline = options.deadline;
    return;
  }
  task.period = options.periods[static_cast<size_t>(
      random.integer(0, static_cast<std::int64_t>(options.periods.size()) - 1))];
  // Clamped past the largest time value (the check of the unrolled set reports it) before
  // llround could overflow.
  const double deadline = std::min(static_cast<double>(task.period) * options.deadlineFactor,
                                   std::numeric_limits<int>::max() + 1.0);
  task.deadline = std::max<long long>(1, std::llround(deadline));
}

std::vector<PlannedTask> drawTasks(RandomStream& random, const GenerateOptions& options) {
  const bool periodic = options.model == GenerateModel::kPeriodic;
  std::vector<PlannedTask> tasks(static_cast<size_t>(periodic ? options.tasks : options.graphs));
  for (PlannedTask& task : tasks) {
    drawWindow(random, options, task);
    task.graph = drawGraph(random, options);
    drawCriticalities(random, options, task.graph);
  }
  return tasks;
}

// The jobs the tasks unroll to over `horizon`; a set beyond the limits, or with a deadline past
// the largest time value, is refused before any job is made.
long long checkUnrolledSize(const std::vector<PlannedTask>& tasks, long long horizon,
                            bool periodic) {
  long long jobs = 0, arcCount = 0;
  for (const PlannedTask& task : tasks) {
    jobs += horizon / task.period * task.graph.nodes;
    arcCount += horizon / task.period * static_cast<long long>(task.graph.arcs.size());
  }
  const bool tooMany = jobs > kMostJobs || arcCount > kMostArcs;
  const std::string what =
      jobs > kMostJobs
          ? std::to_string(jobs) + " jobs, more than the " + std::to_string(kMostJobs)
          : std::to_string(arcCount) + " arcs, more than the " + std::to_string(kMostArcs);
  if (tooMany && !periodic)
    throw OptionError("--graphs: the drawn graphs have " + what +
                      " a generated set may hold; choose fewer graphs or nodes");
  if (tooMany)
    throw OptionError("--periods: the drawn periods have a hyperperiod of " +
                      std::to_string(horizon) + ", which unrolls to " + what +
                      " a generated set may hold; choose periods with a smaller least "
                      "common multiple, or fewer tasks or nodes");
  for (const PlannedTask& task : tasks)
    if (horizon - task.period + task.deadline > std::numeric_limits<int>::max())
      throw OptionError("--deadline-factor: deadlines past the largest time value");
  return jobs;
}

// Every instance of every task over `horizon`, task by task: the jobs of one instance are
// consecutive, in node order, which the nptest numbering of the tools relies on.
void unrollTasks(const std::vector<PlannedTask>& tasks, long long horizon, long long jobs,
                 GeneratedSet& set) {
  set.taskOfJob.reserve(static_cast<size_t>(jobs));
  std::vector<Arc> arcs;
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
  }
  // Every arc follows its graph's order, so none can close a cycle.
  MCJOBS_CHECK(mcjobs_detail::InstanceAccess::insertArcs(set.instance, arcs) < 0,
               "generated arcs form no cycle");
}

// Per processor, as the targets are given.
void measureUtilization(const std::vector<PlannedTask>& tasks, int processors, GeneratedSet& set) {
  double loRate = 0.0, hiRate = 0.0;
  for (const PlannedTask& task : tasks)
    for (int v = 0; v < task.graph.nodes; ++v) {
      loRate += static_cast<double>(task.lo[v]) / static_cast<double>(task.period);
      if (task.graph.hi[v])
        hiRate += static_cast<double>(task.hi[v]) / static_cast<double>(task.period);
    }
  set.utilizationLo = loRate / processors;
  set.utilizationHi = hiRate / processors;
}

}  // namespace

GeneratedSet generateJobSet(const GenerateOptions& options, std::uint64_t seed) {
  validateGenerateOptions(options);
  checkLeastSize(options);
  RandomStream random(seed);
  std::vector<PlannedTask> tasks = drawTasks(random, options);
  const std::vector<double> utilizations = splitUtilization(random, options, tasks.size());
  GeneratedSet set;
  set.raisedBudgets = drawLoBudgets(random, options, utilizations, tasks);
  drawHiBudgets(random, options, tasks);

  const bool periodic = options.model == GenerateModel::kPeriodic;
  const long long horizon = periodic ? hyperperiod(tasks) : options.deadline;
  const long long jobs = checkUnrolledSize(tasks, horizon, periodic);
  unrollTasks(tasks, horizon, jobs, set);
  measureUtilization(tasks, options.processors, set);
  set.warnings = offTargetWarnings(options, set);
  return set;
}

JobInstance generateInstance(const GenerateOptions& options, std::uint64_t seed) {
  return std::move(generateJobSet(options, seed).instance);
}

std::uint64_t batchSeed(std::uint64_t seed, std::uint64_t index) {
  return derivedSeed(seed, index);
}

std::vector<GeneratedSet> generateBatch(const GenerateOptions& options, std::uint64_t seed,
                                        std::size_t count) {
  validateGenerateOptions(options);
  std::vector<GeneratedSet> sets;
  sets.reserve(count);
  for (std::size_t index = 1; index <= count; ++index)
    sets.push_back(generateJobSet(options, batchSeed(seed, index)));
  return sets;
}

}  // namespace mcjobs
