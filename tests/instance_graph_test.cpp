// The instance's graph against a reference that searches the accepted arcs
// directly: all four accessors at both levels, arcs in random order with
// cycles attempted, sets held across insertions, copies and moves, and job
// criticalities changed through the public field.
#include "detail/instance_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "job.h"
#include "support/builders.h"
#include "support/oracles.h"

namespace {

// The graph as plain adjacency sets; reachability by breadth-first search.
struct Reference {
  std::vector<int> criticality;
  std::vector<std::set<int>> out[CRIT_COUNT];

  explicit Reference(const std::vector<int>& levels) : criticality(levels) {
    for (auto& level : out) level.resize(levels.size());
  }
  std::set<int> reached(int from, int level, bool backwards) const {
    std::set<int> seen;
    std::vector<int> queue{from};
    for (size_t head = 0; head < queue.size(); ++head) {
      for (int w = 0; w < static_cast<int>(criticality.size()); ++w) {
        const int x = queue[head];
        const bool arc =
            backwards ? out[level - 1][w].count(x) > 0 : out[level - 1][x].count(w) > 0;
        if (arc && seen.insert(w).second) queue.push_back(w);
      }
    }
    return seen;
  }
  std::set<int> direct(int id, int level, bool backwards) const {
    if (!backwards) return out[level - 1][id];
    std::set<int> result;
    for (size_t w = 0; w < criticality.size(); ++w) {
      if (out[level - 1][w].count(id)) result.insert(static_cast<int>(w));
    }
    return result;
  }
  void add(int u, int v) {
    out[0][u].insert(v);
    if (criticality[u] == CRIT_HI && criticality[v] == CRIT_HI) out[1][u].insert(v);
  }
};

std::set<int> asSet(const Util::Set<int>& set) {
  return std::set<int>(set.begin(), set.end());
}

JobInstance jobsOf(const std::vector<int>& levels) {
  std::vector<JobSpec> specs;
  for (int level : levels) specs.push_back({0, 100, level, 1, level == CRIT_HI ? 2 : 1});
  return build(specs);
}

void expectMatches(JobInstance& instance, const Reference& reference, const std::string& where) {
  const int n = static_cast<int>(reference.criticality.size());
  for (int level : {CRIT_LO, CRIT_HI}) {
    for (int id = 0; id < n; ++id) {
      ASSERT_EQ(asSet(instance.getSuccessors(id, level)), reference.direct(id, level, false))
          << where << " S(" << id << ") level " << level;
      ASSERT_EQ(asSet(instance.getPredecessors(id, level)), reference.direct(id, level, true))
          << where << " P(" << id << ") level " << level;
      ASSERT_EQ(asSet(instance.getTransitiveSuccessors(id, level)),
                reference.reached(id, level, false))
          << where << " TS(" << id << ") level " << level;
      ASSERT_EQ(asSet(instance.getTransitivePredecessors(id, level)),
                reference.reached(id, level, true))
          << where << " TP(" << id << ") level " << level;
    }
  }
  std::vector<std::pair<int, int>> arcs, expected;
  for (const Arc& arc : instance.getAllArcs()) arcs.emplace_back(arc.from_id, arc.to_id);
  for (int u = 0; u < n; ++u)
    for (int v : reference.out[0][u]) expected.emplace_back(u, v);
  ASSERT_EQ(arcs, expected) << where;
}

using Getter = Util::Set<int>& (JobInstance::*)(int, int);
const Getter kGetters[] = {&JobInstance::getSuccessors, &JobInstance::getPredecessors,
                           &JobInstance::getTransitiveSuccessors,
                           &JobInstance::getTransitivePredecessors};

TEST(GraphEquivalence, RandomArcsInRandomOrderWithCyclesAttempted) {
  struct Case {
    unsigned seed;
    int jobs;
    int attempts;
  };
  const std::vector<Case> cases = {{1, 2, 6},      {2, 3, 10},    {3, 5, 20},    {4, 8, 30},
                                   {5, 13, 40},    {6, 21, 60},   {7, 34, 90},   {8, 40, 200},
                                   {9, 64, 150},   {10, 65, 300}, {11, 70, 120}, {12, 130, 400},
                                   {13, 200, 500}, {14, 260, 260}};
  for (const Case& c : cases) {
    std::mt19937 rng(c.seed);
    std::vector<int> levels(static_cast<size_t>(c.jobs));
    for (int& level : levels) level = rng() % 2 ? CRIT_HI : CRIT_LO;
    JobInstance instance = jobsOf(levels);
    Reference reference(levels);
    struct Held {
      int kind, id, level;
      Util::Set<int>* set;
    };
    std::vector<Held> held;
    JobInstance snapshot;
    Reference snapshotReference(levels);
    for (int k = 0; k < c.attempts; ++k) {
      const int u = static_cast<int>(rng() % static_cast<unsigned>(c.jobs));
      const int v = static_cast<int>(rng() % static_cast<unsigned>(c.jobs));
      const bool cycle = u == v || reference.reached(v, CRIT_LO, false).count(u) > 0;
      if (cycle) {
        const auto before = instance.getAllArcs().size();
        ASSERT_EQ(failedCheck([&] { instance.insert(Arc(u, v)); }), "Cyclic path in task graph!")
            << "seed " << c.seed << " arc " << u << "->" << v;
        ASSERT_EQ(instance.getAllArcs().size(), before);
      } else {
        instance.insert(Arc(u, v));
        reference.add(u, v);
      }
      switch (rng() % 8) {
        case 0: {  // hand out a set now and see the later arcs arrive in it
          const int kind = static_cast<int>(rng() % 4);
          const int id = static_cast<int>(rng() % static_cast<unsigned>(c.jobs));
          const int level = rng() % 2 ? CRIT_HI : CRIT_LO;
          held.push_back({kind, id, level, &(instance.*kGetters[kind])(id, level)});
          break;
        }
        case 1:  // a copy taken midway is frozen at that point
          snapshot = instance;
          snapshotReference = reference;
          break;
        default:
          break;
      }
    }
    const std::string where = "seed " + std::to_string(c.seed);
    expectMatches(instance, reference, where);
    for (const Held& h : held) {
      ASSERT_EQ(h.set, &(instance.*kGetters[h.kind])(h.id, h.level)) << where;
    }
    if (snapshot.numJobs() > 0) expectMatches(snapshot, snapshotReference, where + " copy");
    // A move hands over the graph and the sets handed out, which stay live.
    JobInstance moved(std::move(instance));
    for (const Held& h : held) ASSERT_EQ(h.set, &(moved.*kGetters[h.kind])(h.id, h.level));
    expectMatches(moved, reference, where + " moved");
  }
}

TEST(GraphEquivalence, ChainsAgainstTheIdOrder) {
  // Each arc contradicts the order built so far, so every insertion reorders.
  for (int n : {2, 3, 63, 64, 65, 300}) {
    JobInstance instance = jobsOf(std::vector<int>(static_cast<size_t>(n), CRIT_HI));
    Reference reference(std::vector<int>(static_cast<size_t>(n), CRIT_HI));
    Util::Set<int>& last = instance.getTransitivePredecessors(0, CRIT_HI);
    for (int k = 1; k < n; ++k) {
      instance.insert(Arc(k, k - 1));
      reference.add(k, k - 1);
    }
    EXPECT_EQ(static_cast<int>(last.size()), n - 1);
    for (int k = 1; k < n; ++k) {
      EXPECT_EQ(failedCheck([&] { instance.insert(Arc(0, k)); }), "Cyclic path in task graph!");
    }
    instance.insert(Arc(n - 1, 0));  // a shortcut: accepted, closure unchanged
    reference.add(n - 1, 0);
    expectMatches(instance, reference, "chain of " + std::to_string(n));
  }
}

TEST(GraphEquivalence, ListsInsertedAtOnceOverAGraphInUse) {
  std::mt19937 rng(31);
  for (int round = 0; round < 40; ++round) {
    // Every fourth round, many arcs (repeated ones too) from few sources: the
    // path that marks each source's targets once instead of searching per arc.
    const bool dense = round % 4 == 3;
    const int n = dense ? 90 : 2 + static_cast<int>(rng() % 70);
    std::vector<int> levels(static_cast<size_t>(n));
    for (int& level : levels) level = rng() % 2 ? CRIT_HI : CRIT_LO;
    JobInstance instance = jobsOf(levels);
    Reference reference(levels);
    for (int batch = 0; batch < 3; ++batch) {
      std::vector<Arc> list;
      Reference extended = reference;
      long firstCyclic = -1;
      const int size = dense ? 300 : 1 + static_cast<int>(rng() % static_cast<unsigned>(2 * n));
      for (int k = 0; k < size; ++k) {
        const int u = static_cast<int>(rng() % static_cast<unsigned>(dense ? 4 : n));
        const int v = static_cast<int>(rng() % static_cast<unsigned>(n));
        list.emplace_back(u, dense ? u + 1 + v % (n - u - 1) : v);
      }
      if (dense && batch == 1) list.insert(list.end(), {Arc(0, n - 1), Arc(n - 1, 0)});
      for (size_t k = 0; k < list.size() && firstCyclic < 0; ++k) {
        const int u = list[k].from_id, v = list[k].to_id;
        if (u == v || extended.reached(v, CRIT_LO, false).count(u)) {
          firstCyclic = static_cast<long>(k);
        } else {
          extended.add(u, v);
        }
      }
      const auto before = instance.getAllArcs().size();
      ASSERT_EQ(mcjobs_detail::InstanceAccess::insertArcs(instance, list), firstCyclic);
      if (firstCyclic >= 0) {
        ASSERT_EQ(instance.getAllArcs().size(), before) << "a cyclic list changes nothing";
      } else {
        reference = extended;
      }
      // Hands out every set, which the next list must then keep in step.
      expectMatches(instance, reference, "bulk round " + std::to_string(round));
    }
  }
}

TEST(GraphEquivalence, CopiesAreIndependent) {
  JobInstance source = jobsOf({CRIT_HI, CRIT_HI, CRIT_HI, CRIT_LO});
  source.insert(Arc(1, 2));
  Util::Set<int>& sourceSet = source.getTransitiveSuccessors(0, CRIT_HI);
  JobInstance copy = source;
  copy.insert(Arc(0, 1));
  copy.insert(Arc(2, 3));
  EXPECT_TRUE(sourceSet.empty());
  EXPECT_EQ(asSet(copy.getTransitiveSuccessors(0, CRIT_HI)), (std::set<int>{1, 2}));
  EXPECT_EQ(asSet(copy.getTransitiveSuccessors(0, CRIT_LO)), (std::set<int>{1, 2, 3}));
  source.insert(Arc(0, 2));
  EXPECT_EQ(asSet(sourceSet), (std::set<int>{2}));
  copy = source;  // assignment replaces the graph as well
  EXPECT_EQ(asSet(copy.getTransitiveSuccessors(0, CRIT_LO)), (std::set<int>{2}));
}

TEST(CriticalityFromPublicField, CheckedBeforeItSelectsALevel) {
  for (int bad : {0, 3, -1, 1000}) {
    JobInstance instance = jobsOf({CRIT_HI, CRIT_HI, CRIT_LO});
    instance.insert(Arc(0, 2));
    instance.job_at(1)->criticality = bad;
    for (const Arc& arc : {Arc(0, 1), Arc(1, 2)}) {
      EXPECT_EQ(failedCheck([&] { instance.insert(arc); }),
                "arc job criticality==CRIT_LO || criticality == CRIT_HI");
    }
    EXPECT_EQ(instance.getAllArcs().size(), 1u) << "a refused arc changes nothing";
    EXPECT_EQ(failedCheck([&] { instance.dumpDependencies(); }),
              "criticality==CRIT_LO || criticality == CRIT_HI");
    instance.job_at(1)->criticality = CRIT_HI;
    instance.insert(Arc(0, 1));
    EXPECT_EQ(asSet(instance.getTransitiveSuccessors(0, CRIT_HI)), (std::set<int>{1}));
  }
}

}  // namespace
