// The generator against oracles written here: acyclic graphs of the asked
// shapes, periodic unrolling, budgets that hit the drawn utilizations, options
// that round-trip, and the same bytes for the same seed.
#include "generate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "interchange.h"

namespace {

using mcjobs::GeneratedSet;
using mcjobs::GenerateOptions;

std::string instanceText(JobInstance& instance) {
  return mcjobs::writeNative(instance);
}

GenerateOptions withOptions(const std::map<std::string, std::string>& given) {
  GenerateOptions options;
  for (const auto& option : given) mcjobs::setGenerateOption(options, option.first, option.second);
  return options;
}

// The arcs of each graph (task instance) of the set, as local node indices.
struct Graph {
  int nodes = 0;
  std::vector<std::pair<int, int>> arcs;
};

std::vector<Graph> graphsOf(GeneratedSet& set) {
  std::map<std::pair<int, int>, int> index;
  std::vector<Graph> graphs;
  std::vector<int> local(set.taskOfJob.size());
  for (size_t id = 0; id < set.taskOfJob.size(); ++id) {
    const auto found = index.emplace(set.taskOfJob[id], static_cast<int>(graphs.size()));
    if (found.second) graphs.emplace_back();
    local[id] = graphs[static_cast<size_t>(found.first->second)].nodes++;
  }
  for (const Arc& arc : set.instance.getAllArcs()) {
    EXPECT_EQ(set.taskOfJob[arc.from_id], set.taskOfJob[arc.to_id]) << "arc across graphs";
    graphs[static_cast<size_t>(index[set.taskOfJob[arc.from_id]])].arcs.emplace_back(
        local[arc.from_id], local[arc.to_id]);
  }
  return graphs;
}

// Longest path in nodes, by Kahn's algorithm; -1 for a graph with a cycle.
int depthOf(const Graph& graph) {
  std::vector<int> inDegree(static_cast<size_t>(graph.nodes)), depth(inDegree.size(), 1);
  for (const auto& arc : graph.arcs) ++inDegree[static_cast<size_t>(arc.second)];
  std::vector<int> ready;
  for (int v = 0; v < graph.nodes; ++v)
    if (inDegree[v] == 0) ready.push_back(v);
  int seen = 0, deepest = 0;
  while (!ready.empty()) {
    const int u = ready.back();
    ready.pop_back();
    ++seen;
    deepest = std::max(deepest, depth[u]);
    for (const auto& arc : graph.arcs)
      if (arc.first == u) {
        depth[arc.second] = std::max(depth[arc.second], depth[u] + 1);
        if (--inDegree[arc.second] == 0) ready.push_back(arc.second);
      }
  }
  return seen == graph.nodes ? deepest : -1;
}

// Two-terminal series-parallel: series and parallel reductions leave one arc.
bool seriesParallel(const Graph& graph) {
  std::multiset<std::pair<int, int>> arcs(graph.arcs.begin(), graph.arcs.end());
  for (bool reduced = true; reduced && arcs.size() > 1;) {
    reduced = false;
    for (auto it = arcs.begin(); it != arcs.end();) {  // parallel arcs become one
      auto next = std::next(it);
      if (next != arcs.end() && *next == *it) {
        arcs.erase(next);
        reduced = true;
      } else {
        it = next;
      }
    }
    for (int v = 0; v < graph.nodes && !reduced; ++v) {  // u -> v -> w becomes u -> w
      std::vector<std::multiset<std::pair<int, int>>::iterator> in, out;
      for (auto it = arcs.begin(); it != arcs.end(); ++it) {
        if (it->second == v) in.push_back(it);
        if (it->first == v) out.push_back(it);
      }
      if (in.size() != 1 || out.size() != 1) continue;
      const std::pair<int, int> bridged(in[0]->first, out[0]->second);
      arcs.erase(in[0]);
      arcs.erase(out[0]);
      arcs.insert(bridged);
      reduced = true;
    }
  }
  return arcs.size() == 1;
}

TEST(GenerateShapes, GraphsHaveTheirShapeAndNoCycle) {
  for (std::uint64_t seed = 1; seed <= 8; ++seed) {
    GeneratedSet layers = mcjobs::generateJobSet(withOptions({{"shape", "layers"},
                                                              {"layers", "4"},
                                                              {"nodes", "6..30"},
                                                              {"graphs", "3"},
                                                              {"edge-prob", "0.2"},
                                                              {"max-task-utilization", "0.5"}}),
                                                 seed);
    for (const Graph& graph : graphsOf(layers)) EXPECT_EQ(depthOf(graph), 4);

    GeneratedSet forkJoin = mcjobs::generateJobSet(
        withOptions(
            {{"shape", "fork-join"}, {"branching", "4"}, {"depth", "3"}, {"deadline", "1000"}}),
        seed);
    for (const Graph& graph : graphsOf(forkJoin)) {
      EXPECT_GT(depthOf(graph), 2);
      EXPECT_TRUE(seriesParallel(graph)) << "seed " << seed;
    }
  }
}

TEST(GenerateShapes, GnpArcCountsFollowTheEdgeProbability) {
  for (double p : {0.05, 0.3, 0.0, 1.0}) {
    double arcs = 0.0;
    const int sets = 10, n = 60;
    for (std::uint64_t seed = 1; seed <= sets; ++seed) {
      GeneratedSet set = mcjobs::generateJobSet(withOptions({{"nodes", std::to_string(n)},
                                                             {"edge-prob", std::to_string(p)},
                                                             {"deadline", "1000"}}),
                                                seed);
      for (const Graph& graph : graphsOf(set)) EXPECT_GE(depthOf(graph), 1);
      arcs += static_cast<double>(set.instance.getAllArcs().size());
    }
    const double pairs = sets * n * (n - 1) / 2.0;
    EXPECT_LE(std::fabs(arcs - p * pairs), 4 * std::sqrt(pairs * p * (1 - p)) + 1e-9) << p;
  }
}

TEST(GeneratePeriodic, UnrollsEveryTaskOverTheHyperperiod) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    GeneratedSet set = mcjobs::generateJobSet(withOptions({{"model", "periodic"},
                                                           {"tasks", "4"},
                                                           {"periods", "10,20,25,50"},
                                                           {"deadline-factor", "1.5"},
                                                           {"nodes", "2..6"},
                                                           {"processors", "2"}}),
                                              seed);
    long long hyperperiod = 1;
    for (const auto& task : set.tasks) hyperperiod = std::lcm(hyperperiod, task.period);
    long long jobs = 0;
    for (const auto& task : set.tasks) {
      jobs += hyperperiod / task.period * task.nodes;
      EXPECT_EQ(task.deadline, std::lround(task.period * 1.5));
    }
    ASSERT_EQ(set.instance.numJobs(), jobs);
    for (int id = 0; id < set.instance.numJobs(); ++id) {
      const Job& job = *set.instance.job_at(id);
      const auto& task = set.tasks[static_cast<size_t>(set.taskOfJob[id].first)];
      EXPECT_EQ(job.arrival, set.taskOfJob[id].second * task.period);
      EXPECT_EQ(job.deadline, job.arrival + task.deadline);
    }
    std::vector<Graph> graphs = graphsOf(set);
    for (const Graph& graph : graphs) EXPECT_GE(depthOf(graph), 1);
  }
}

TEST(GenerateBudgets, HitTheDrawnUtilizationUpToRounding) {
  const double processors = 3, deadline = 100000, graphs = 6;
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    for (const char* split : {"uunifast", "cfs"}) {
      GeneratedSet set = mcjobs::generateJobSet(withOptions({{"graphs", "6"},
                                                             {"processors", "3"},
                                                             {"utilization", "0.7"},
                                                             {"deadline", "100000"},
                                                             {"nodes", "5..20"},
                                                             {"split", split},
                                                             {"utilization-hi", "0.9"},
                                                             {"hi-fraction", "0.6"}}),
                                                seed);
      const double rounding = 0.5 * graphs / (processors * deadline);
      EXPECT_NEAR(set.utilizationLo, 0.7, rounding);
      EXPECT_NEAR(set.utilizationHi, 0.9, rounding);
      double lo = 0, hi = 0;
      for (const Job& job : set.instance) {
        lo += job.lo_wcet;
        if (job.criticality == CRIT_HI) hi += job.hi_wcet;
      }
      EXPECT_DOUBLE_EQ(lo / (processors * deadline), set.utilizationLo);
      EXPECT_DOUBLE_EQ(hi / (processors * deadline), set.utilizationHi);
      EXPECT_EQ(set.raisedBudgets, 0);
    }
  }
  // Fewer budget units than jobs: one unit each, and said so.
  GeneratedSet tight = mcjobs::generateJobSet(
      withOptions({{"graphs", "2"}, {"deadline", "3"}, {"nodes", "4"}, {"hi-fraction", "0"}}), 1);
  EXPECT_EQ(tight.raisedBudgets, 2);
  EXPECT_DOUBLE_EQ(tight.utilizationLo, 8.0 / 3);

  // A graph budget near its nodes' windows: nodes drawn past their window leave ~1e9 units to
  // hand out, which must not take one pass per unit.
  GeneratedSet full = mcjobs::generateJobSet(withOptions({{"processors", "4"},
                                                          {"max-task-utilization", "4"},
                                                          {"utilization", "0.9"},
                                                          {"nodes", "4"},
                                                          {"deadline", "2000000000"},
                                                          {"hi-fraction", "0"}}),
                                             2);
  for (const Job& job : full.instance) ASSERT_NO_THROW(job.sanity_check());
  EXPECT_NEAR(full.utilizationLo, 0.9, 1e-9);
  // A HI budget past every window is refused, not wrapped around.
  EXPECT_THROW(mcjobs::generateJobSet(
                   withOptions({{"criticality-factor", "1e300"}, {"hi-fraction", "1"}}), 1),
               CheckError);
}

// The whole-budget totals of each graph or task instance: its LO budgets, and the LO and HI
// budgets of its HI jobs.
struct TaskBudgets {
  long long jobs = 0, lo = 0, hiJobs = 0, loOfHi = 0, hi = 0;
};

std::vector<TaskBudgets> firstInstanceBudgets(GeneratedSet& set) {
  std::vector<TaskBudgets> budgets(set.tasks.size());
  for (const Job& job : set.instance) {
    const auto task = set.taskOfJob[static_cast<size_t>(job.id)];
    if (task.second > 0) continue;
    TaskBudgets& sums = budgets[static_cast<size_t>(task.first)];
    ++sums.jobs;
    sums.lo += job.lo_wcet;
    if (job.criticality == CRIT_HI) {
      ++sums.hiJobs;
      sums.loOfHi += job.lo_wcet;
      sums.hi += job.hi_wcet;
    }
  }
  return budgets;
}

// Whole budgets cannot hit a real target exactly, but rounded together they miss it by at most
// half a step of every task that could still move towards it within its bounds (one unit more
// or less per period: at least one unit per job, at most the windows; HI budgets at least the
// LO ones). Rounding each task on its own adds up the halves of all of them instead.
TEST(GenerateBudgets, TotalMissesTheTargetByLessThanAnyStepThatCouldCloseIt) {
  int checked = 0;
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const bool periodic = seed % 3 != 0;
    const bool hiTarget = seed % 2 == 0;
    const double processors = seed % 4 == 0 ? 2 : 1;
    std::map<std::string, std::string> given = {{"nodes", "1..2"},
                                                {"processors", seed % 4 == 0 ? "2" : "1"},
                                                {"utilization", "0.5"},
                                                {"hi-fraction", "0.7"}};
    if (periodic) {
      given.insert({{"model", "periodic"}, {"tasks", "4"}, {"periods", "10,20,25,40,100"}});
    } else {
      given.insert({{"graphs", "4"}, {"deadline", "30"}});
    }
    if (hiTarget) given["utilization-hi"] = "0.8";
    GeneratedSet set = mcjobs::generateJobSet(withOptions(given), seed);
    if (set.raisedBudgets > 0) continue;
    const std::vector<TaskBudgets> budgets = firstInstanceBudgets(set);
    auto finestStep = [&](double gap, bool hi) {
      double step = 1e300;
      for (size_t k = 0; k < budgets.size(); ++k) {
        const TaskBudgets& b = budgets[k];
        const long long window = set.tasks[k].deadline;
        const bool canMove =
            hi ? b.hiJobs > 0 && (gap > 0 ? b.hi < b.hiJobs * window : b.hi > b.loOfHi)
               : (gap > 0 ? b.lo < b.jobs * window : b.lo > b.jobs);
        if (canMove) step = std::min(step, 1.0 / (set.tasks[k].period * processors));
      }
      return step;
    };
    const double loGap = 0.5 - set.utilizationLo;
    EXPECT_LE(std::fabs(loGap), finestStep(loGap, false) / 2 + 1e-12) << "seed " << seed;
    if (hiTarget) {
      const double hiGap = 0.8 - set.utilizationHi;
      EXPECT_LE(std::fabs(hiGap), finestStep(hiGap, true) / 2 + 1e-12) << "seed " << seed;
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// A set that misses a target by more than 1% says by how much, why, and which options of its
// model and shape would help; one within 1% says nothing.
TEST(GenerateBudgets, MissedTargetsAreToldWithOptionsThatApply) {
  const std::vector<std::pair<std::map<std::string, std::string>, std::vector<std::string>>> rows =
      {{{{"model", "periodic"}, {"tasks", "1"}, {"nodes", "1"}, {"periods", "3"},
         {"hi-fraction", "0"}},
        {"the LO utilization is 0.666667, 33.3% above the target 0.5: budgets are whole units; "
         "choose longer --periods for finer steps"}},
       {{{"model", "periodic"}},
        {"the LO utilization is 2.1, 320% above the target 0.5: tasks with fewer budget units "
         "than jobs got one unit per job; choose longer --periods, or lower --nodes or --tasks"}},
       {{{"graphs", "2"}, {"deadline", "3"}, {"nodes", "4"}, {"hi-fraction", "0"}},
        {"the LO utilization is 2.66667, 433% above the target 0.5: graphs with fewer budget "
         "units than jobs got one unit per job; raise --deadline, or lower --nodes or "
         "--graphs"}},
       {{{"shape", "fork-join"}, {"deadline", "3"}, {"hi-fraction", "0"}},
        {"the LO utilization is 5.66667, 1033% above the target 0.5: graphs with fewer budget "
         "units than jobs got one unit per job; raise --deadline, or lower --branching, --depth "
         "or --graphs"}},
       {{{"deadline", "10"}, {"utilization", "0.55"}, {"nodes", "1"}, {"hi-fraction", "1"},
         {"utilization-hi", "0.77"}},
        {"the LO utilization is 0.6, 9.09% above the target 0.55: budgets are whole units; raise "
         "--deadline for finer steps",
         "the HI utilization is 0.8, 3.9% above the target 0.77: budgets are whole units; raise "
         "--deadline for finer steps"}},
       {{{"deadline", "1000"}, {"utilization", "0.55"}}, {}}};
  for (const auto& row : rows)
    EXPECT_EQ(mcjobs::generateJobSet(withOptions(row.first), 3).warnings, row.second);
}

// A budget that cannot fit names its level, its graph or task and only remedies that apply;
// a set that would hold too many arcs is refused from their expected count, before any is drawn.
TEST(GenerateBudgets, WhatCannotFitIsNamedWithItsRemedies) {
  const std::vector<std::pair<std::map<std::string, std::string>, std::string>> rows = {
      {{{"model", "periodic"}, {"criticality-factor", "3"}, {"nodes", "1"}, {"tasks", "8"},
        {"hi-fraction", "1"}, {"deadline-factor", "0.3"}},
       "cannot fit the HI budget of 42 (3 times the LO budget 14) of task 3 into its 1 HI job "
       "with windows of 30: lower --criticality-factor, --max-task-utilization or "
       "--utilization, or raise --deadline-factor"},
      {{{"max-task-utilization", "4"}, {"processors", "4"}, {"utilization", "0.9"},
        {"nodes", "2"}},
       "cannot fit the LO budget of 360 of graph 1 into its 2 jobs with windows of 100: lower "
       "--max-task-utilization or --utilization, or raise --nodes or --graphs"},
      {{{"model", "periodic"}, {"deadline-factor", "0.05"}, {"shape", "fork-join"},
        {"tasks", "1"}, {"max-task-utilization", "2"}, {"processors", "2"}},
       "cannot fit the LO budget of 100 of task 1 into its 8 jobs with windows of 5: lower "
       "--max-task-utilization or --utilization, or raise --deadline-factor, --branching, "
       "--depth or --tasks"}};
  for (const auto& row : rows) {
    try {
      mcjobs::generateJobSet(withOptions(row.first), 4);
      ADD_FAILURE() << "generated " << row.second;
    } catch (const CheckError& refused) {
      EXPECT_EQ(refused.explanation(), row.second);
    }
  }
  try {
    mcjobs::generateJobSet(withOptions({{"nodes", "100000"}, {"edge-prob", "0.2"}}), 1);
    ADD_FAILURE() << "a set of a billion arcs was drawn";
  } catch (const mcjobs::OptionError& refused) {
    EXPECT_STREQ(refused.what(),
                 "--edge-prob: 1 graph of 100000 nodes with --edge-prob 0.2 would have about "
                 "999990000 arcs, more than the 50000000 a generated set may hold; lower "
                 "--edge-prob, --nodes or --graphs");
  }
}

TEST(GenerateOptions, RoundTripThroughTheirTextAndRejectNonsense) {
  GenerateOptions options = withOptions({{"model", "periodic"},
                                         {"periods", "7,9"},
                                         {"nodes", "3..4"},
                                         {"hi_per_task", "true"},
                                         {"utilization_hi", "0.25"},
                                         {"split", "cfs"}});
  GenerateOptions copy;
  for (const auto& option : mcjobs::describeGenerateOptions(options))
    if (option.second != "none") mcjobs::setGenerateOption(copy, option.first, option.second);
  EXPECT_EQ(mcjobs::describeGenerateOptions(copy), mcjobs::describeGenerateOptions(options));

  const std::vector<std::map<std::string, std::string>> invalid = {
      {{"utilization", "1.5"}},
      {{"utilization", "0"}},
      {{"edge-prob", "1.01"}},
      {{"hi-fraction", "-0.1"}},
      {{"nodes", "5..3"}},
      {{"nodes", "x"}},
      {{"periods", "10,,20"}},
      {{"model", "sporadic"}},
      {{"criticality-factor", "0.5"}},
      {{"layers", "9"}, {"shape", "layers"}, {"nodes", "4..20"}},
      {{"utilization", "0.9"}, {"processors", "4"}},  // 3.6 over one graph of at most 1
      {{"deadline-factor", "1e300"}, {"model", "periodic"}},
      {{"graphs", "2000000000"}},
      {{"depth", "2000000000"}, {"shape", "fork-join"}},  // refused without counting every level
      {{"bogus", "1"}}};
  for (const auto& given : invalid) {
    try {
      mcjobs::generateJobSet(withOptions(given), 1);
      ADD_FAILURE() << "accepted --" << given.begin()->first << " " << given.begin()->second;
    } catch (const mcjobs::OptionError& error) {
      EXPECT_NE(std::string(error.what()).find(given.begin()->first), std::string::npos)
          << error.what();
    }
  }
}

// FNV-1a, to pin the bytes of a configuration per model.
std::uint64_t fingerprint(const std::string& text) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
  return hash;
}

TEST(GenerateSeeds, SameSeedSameBytesEverywhere) {
  GenerateOptions frame = withOptions({{"graphs", "3"},
                                       {"nodes", "4..9"},
                                       {"processors", "2"},
                                       {"utilization", "0.6"},
                                       {"split", "cfs"},
                                       {"utilization-hi", "0.8"}});
  GenerateOptions periodic = withOptions({{"model", "periodic"},
                                          {"tasks", "3"},
                                          {"periods", "10,20,40"},
                                          {"shape", "layers"},
                                          {"nodes", "3..5"},
                                          {"layers", "2"}});
  JobInstance a = mcjobs::generateInstance(frame, 42), b = mcjobs::generateInstance(frame, 42);
  EXPECT_EQ(instanceText(a), instanceText(b));
  JobInstance other = mcjobs::generateInstance(frame, mcjobs::batchSeed(42, 1));
  EXPECT_NE(instanceText(a), instanceText(other));
  JobInstance p = mcjobs::generateInstance(periodic, 42);
  EXPECT_EQ(fingerprint(instanceText(a)), 7124158418766662066u) << instanceText(a);
  EXPECT_EQ(fingerprint(instanceText(p)), 17154872257582342827u) << instanceText(p);
}

}  // namespace

namespace {

// Option mixes drawn at random: each set is generated, or refused with a
// reason; never a crash, and every generated job keeps its budgets in order.
TEST(GenerateOptions, RandomMixesGiveValidSetsOrReasons) {
  std::mt19937 rng(5);
  auto pick = [&](std::vector<std::string> values) {
    return values[std::uniform_int_distribution<size_t>(0, values.size() - 1)(rng)];
  };
  int generated = 0;
  for (int round = 0; round < 300; ++round) {
    std::map<std::string, std::string> given = {{"model", pick({"frame", "periodic"})},
                                                {"shape", pick({"gnp", "layers", "fork-join"})},
                                                {"split", pick({"uunifast", "cfs"})},
                                                {"hi-per-task", pick({"true", "false"})},
                                                {"hi-fraction", pick({"0", "0.3", "1"})},
                                                {"nodes", pick({"1..3", "3..12"})},
                                                {"layers", pick({"1", "3"})},
                                                {"processors", pick({"1", "4"})},
                                                {"utilization", pick({"0.1", "0.9", "1"})},
                                                {"periods", pick({"5,10", "30,60,90"})},
                                                {"graphs", pick({"1", "5"})},
                                                {"tasks", pick({"1", "4"})},
                                                {"max-task-utilization", pick({"1", "4"})},
                                                {"deadline", pick({"3", "500"})}};
    if (rng() % 2) given["utilization-hi"] = pick({"0.2", "0.95"});
    try {
      GeneratedSet set = mcjobs::generateJobSet(withOptions(given), rng());
      for (const Job& job : set.instance) ASSERT_NO_THROW(job.sanity_check());
      ++generated;
    } catch (const mcjobs::OptionError&) {
    } catch (const CheckError& refused) {
      const std::string reason = refused.condition();
      EXPECT_TRUE(reason.rfind("cannot ", 0) == 0 || reason.rfind("utilization split: ", 0) == 0)
          << reason;
    }
  }
  EXPECT_GT(generated, 50);
}

}  // namespace
