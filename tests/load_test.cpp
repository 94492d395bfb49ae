// Load and stress: the worked examples, the failed checks in their order,
// and random job sets against a direct computation of the definition.
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "job.h"
#include "support/builders.h"

namespace {

// J1: 0 10 LO 2/2, J2: 2 6 LO 3/3, J3: 4 12 HI 2/4, no arcs.
JobInstance exampleSet() {
  return build({{0, 10, CRIT_LO, 2, 2}, {2, 6, CRIT_LO, 3, 3}, {4, 12, CRIT_HI, 2, 4}});
}

JobInstance twoEqualJobs(bool chained) {
  return build(
      {{0, 10, CRIT_LO, 6, 6}, {0, 10, CRIT_LO, 6, 6}},
      chained ? std::vector<std::pair<int, int>>{{0, 1}} : std::vector<std::pair<int, int>>{});
}

JobInstance loBeforeHi() {
  return build({{0, 10, CRIT_LO, 4, 4}, {0, 10, CRIT_HI, 2, 8}}, {{0, 1}});
}

std::string snapshot(JobInstance& instance) {
  std::string text;
  for (JobIter job = instance.begin(); job != instance.end(); ++job) text += job->toString() + "\n";
  for (const Arc& arc : instance.getAllArcs()) text += arc.toString() + "\n";
  return text;
}

std::string failure(const std::function<void()>& call) {
  try {
    call();
  } catch (const CheckError& error) {
    return error.condition();
  }
  return "no failure";
}

// The interval scan written out as stated: every pair of distinct end points,
// every chosen job tested against it.
double directLoad(JobInstance& instance, int level, int np, const std::set<int>& chosen) {
  std::set<int> arrivals, deadlines;
  for (int id : chosen) {
    arrivals.insert(instance.at(id)->arrival);
    deadlines.insert(instance.at(id)->deadline);
  }
  double load = 0.0;
  for (int arr : arrivals) {
    for (int ddl : deadlines) {
      if (ddl <= arr) continue;
      double total_time = 0.0;
      int total_jobs = 0;
      for (int id : chosen) {
        const Job* job = instance.at(id);
        if (job->criticality >= level && job->arrival >= arr && job->deadline <= ddl) {
          total_time += job->getWCET(level);
          ++total_jobs;
        }
      }
      const double load_cand =
          (np * total_time) / ((ddl - arr) * static_cast<double>(Util::minimum(total_jobs, np)));
      if (load_cand > load) load = load_cand;
    }
  }
  return load;
}

struct StressCase {
  const char* name;
  std::function<JobInstance()> make;
  int level;
  bool mixed;
  int np;
  std::vector<int> chosen;  // empty: every job (null set)
  bool useChosen;
  double expected;
};

TEST(LoadTest, ValuesOfTheExampleSets) {
  const std::vector<StressCase> cases = {
      {"LO load: J2 alone over [2,6]", exampleSet, CRIT_LO, false, 1, {}, false, 0.75},
      {"HI load: J3 with its HI budget", exampleSet, CRIT_HI, false, 1, {}, false, 0.5},
      {"two processors", exampleSet, CRIT_LO, false, 2, {}, false, 1.5},
      {"three processors", exampleSet, CRIT_LO, false, 3, {}, false, 2.25},
      {"J1 and J3 only", exampleSet, CRIT_LO, false, 1, {0, 2}, true, 1.0 / 3.0},
      {"empty chosen set", exampleSet, CRIT_LO, false, 1, {}, true, 0.0},
      {"mixed keeps the load", exampleSet, CRIT_LO, true, 1, {}, false, 0.75},
      {"load above one is not infeasible",
       [] { return twoEqualJobs(false); },
       CRIT_LO,
       false,
       1,
       {},
       false,
       1.2},
      {"arc squeezes J1", [] { return twoEqualJobs(true); }, CRIT_LO, false, 1, {}, false, DBL_MAX},
      {"LO then HI at LO", loBeforeHi, CRIT_LO, false, 1, {}, false, 0.6},
      {"LO then HI mixed", loBeforeHi, CRIT_LO, true, 1, {}, false, DBL_MAX},
      {"LO then HI at HI", loBeforeHi, CRIT_HI, false, 1, {}, false, 0.8},
      {"empty instance", [] { return JobInstance(); }, CRIT_LO, false, 1, {}, false, 0.0},
      {"empty instance, mixed", [] { return JobInstance(); }, CRIT_LO, true, 4, {}, false, 0.0},
  };
  for (const StressCase& c : cases) {
    SCOPED_TRACE(c.name);
    JobInstance instance = c.make();
    std::set<int> chosen(c.chosen.begin(), c.chosen.end());
    EXPECT_EQ(instance.getStress(c.level, c.mixed, c.np, c.useChosen ? &chosen : nullptr),
              c.expected);
    if (c.np == 1 && !c.useChosen) {
      EXPECT_EQ(instance.getLoad(c.level, c.mixed), c.expected);
    }
  }
}

TEST(LoadTest, FailedChecksAndTheirOrder) {
  JobInstance example = exampleSet();
  JobInstance infeasible = twoEqualJobs(true);
  JobInstance empty;
  std::set<int> sizeId = {3};
  std::set<int> negativeAndTooLarge = {-1, 7};
  std::set<int> zero = {0};
  std::set<int> infeasibleTooLarge = {0, 2};
  const std::string idCheck = "GetStress() an id in jobids is greater than the instance size!! ";

  EXPECT_EQ(failure([&] { example.getStress(CRIT_LO, false, 0, nullptr); }), "np>=1");
  EXPECT_EQ(failure([&] { example.getStress(CRIT_LO, false, -2, nullptr); }), "np>=1");
  EXPECT_EQ(failure([&] { infeasible.getStress(CRIT_LO, false, 0, nullptr); }), "np>=1");
  EXPECT_EQ(failure([&] { example.getLoad(CRIT_HI, true); }), "mixed defined only for LO!");
  EXPECT_EQ(failure([&] { example.getLoad(3, false); }),
            "load_criticality==CRIT_LO || load_criticality==CRIT_HI");
  EXPECT_EQ(failure([&] { example.getLoad(0, true); }),
            "load_criticality==CRIT_LO || load_criticality==CRIT_HI");
  EXPECT_EQ(failure([&] { example.getStress(CRIT_LO, false, 1, &sizeId); }), idCheck);
  EXPECT_EQ(failure([&] { empty.getStress(CRIT_LO, false, 1, &zero); }), idCheck);
  // Ascending order: -1 passes the size test and is stopped by the job lookup.
  EXPECT_EQ(failure([&] { example.getStress(CRIT_LO, false, 1, &negativeAndTooLarge); }),
            "id>=0 && (unsigned) id < mVector.size()");
  // The ids are examined only once the copy has proved feasible.
  EXPECT_EQ(infeasible.getStress(CRIT_LO, false, 1, &infeasibleTooLarge), DBL_MAX);
}

TEST(LoadTest, LeavesInstanceAndChosenSetAlone) {
  JobInstance instance;
  ASSERT_TRUE(instance.read(MCJOBS_EXAMPLES_DIR "/avionics.txt"));
  JobInstance feasibleMixed = loBeforeHi();
  const std::string before = snapshot(instance);
  std::set<int> chosen = {1, 3, 5, 7};
  const std::set<int> chosenBefore = chosen;

  instance.getLoad(CRIT_LO, true);
  instance.getLoad(CRIT_HI, false);
  instance.getStress(CRIT_LO, true, 3, &chosen);
  EXPECT_EQ(snapshot(instance), before);
  EXPECT_EQ(chosen, chosenBefore);

  // An infeasible verdict returns early; the windows are still the caller's.
  const std::string loBeforeHiText = snapshot(feasibleMixed);
  ASSERT_EQ(feasibleMixed.getLoad(CRIT_LO, true), DBL_MAX);
  EXPECT_EQ(snapshot(feasibleMixed), loBeforeHiText);
}

TEST(LoadTest, AvionicsExample) {
  JobInstance instance;
  ASSERT_TRUE(instance.read(MCJOBS_EXAMPLES_DIR "/avionics.txt"));
  std::set<int> all;
  for (int id = 0; id < instance.size(); ++id) all.insert(id);
  struct Row {
    int level, np;
    double expected;
  };
  // LO: every budget over [0, 200]; HI: J1, J2, J13 over [0, 40], or J4 alone
  // over [10, 80] once fewer than four jobs are scaled up to four processors.
  const Row rows[] = {{CRIT_LO, 1, 81.0 / 200}, {CRIT_LO, 2, 81.0 / 200}, {CRIT_LO, 4, 81.0 / 200},
                      {CRIT_HI, 1, 19.0 / 40},  {CRIT_HI, 2, 19.0 / 40},  {CRIT_HI, 4, 48.0 / 70}};
  for (const Row& row : rows) {
    SCOPED_TRACE("level " + std::to_string(row.level) + " np " + std::to_string(row.np));
    EXPECT_EQ(instance.getStress(row.level, false, row.np, nullptr), row.expected);
    EXPECT_EQ(directLoad(instance, row.level, row.np, all), row.expected);
    if (row.level == CRIT_LO) {
      EXPECT_EQ(instance.getStress(row.level, true, row.np, nullptr), row.expected);
    }
  }
}

// Random arc-free sets are always feasible, so the result is the scan alone.
// Narrow time ranges give many shared end points and many equal candidates.
TEST(LoadTest, RandomSetsMatchDirectScan) {
  std::mt19937 rng(20240607u);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 400; ++round) {
    const int horizon = uniform(5, round % 2 == 0 ? 30 : 3000);
    const int count = uniform(0, 40);
    std::vector<JobSpec> jobs;
    for (int i = 0; i < count; ++i) {
      const int arrival = uniform(0, horizon);
      const int window = uniform(1, horizon / 2 + 1);
      const int lo = uniform(1, window);
      const bool hi = uniform(0, 1) == 1;
      jobs.push_back(
          {arrival, arrival + window, hi ? CRIT_HI : CRIT_LO, lo, hi ? uniform(lo, window) : lo});
    }
    JobInstance instance = build(jobs);
    std::set<int> chosen;
    for (int id = 0; id < count; ++id) {
      if (uniform(0, 3) != 0) chosen.insert(id);
    }
    std::set<int> all;
    for (int id = 0; id < count; ++id) all.insert(id);

    const int level = uniform(0, 1) == 0 ? CRIT_LO : CRIT_HI;
    const int np = uniform(1, 5);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(instance.getStress(level, false, np, &chosen),
              directLoad(instance, level, np, chosen));
    EXPECT_EQ(instance.getStress(level, false, np, nullptr), directLoad(instance, level, np, all));
    if (level == CRIT_LO) {
      EXPECT_EQ(instance.getLoad(CRIT_LO, true), directLoad(instance, CRIT_LO, 1, all));
    }
  }
}

TEST(LoadTest, ExtremeTimesStayDefined) {
  // Near the top of the int range: at HI, J1 is pushed to arrival INT_MAX and
  // tested with a budget of INT_MAX, a sum that must not wrap.
  const int top = 2147483647;
  JobInstance instance =
      build({{0, top, CRIT_HI, 1, top}, {top - 10, top, CRIT_HI, 1, 10}}, {{1, 0}});
  EXPECT_EQ(instance.getLoad(CRIT_LO, false), 0.1);
  EXPECT_EQ(instance.getLoad(CRIT_LO, true), DBL_MAX);
  EXPECT_EQ(instance.getLoad(CRIT_HI, false), DBL_MAX);
}

}  // namespace

namespace {

// The verdict as the load defines it: the copy, with HI deadlines pulled in
// for the mixed variant, tightened along the arcs, must leave every job room
// for its budget; then the brute-force scan over the instance's own windows.
double stressByDefinition(JobInstance& instance, int level, bool mixed, int np,
                          const std::set<int>& chosen) {
  JobInstance copy(instance);
  if (mixed) {
    for (Job& job : copy) {
      if (job.criticality >= level) job.deadline += job.lo_wcet - job.hi_wcet;
    }
  }
  propagateAlapAndAsap(&copy, level);
  for (Job& job : copy) {
    if (job.deadline < job.arrival + job.getWCET(level)) return DBL_MAX;
  }
  return directLoad(instance, level, np, chosen);
}

// Random DAGs with windows tight enough that some sets are infeasible, every
// level, the mixed variant, np 1..5 and chosen subsets (empty ones included).
TEST(LoadTest, RandomDagsMatchTheDefinition) {
  std::mt19937 rng(99u);
  int infeasible = 0;
  int feasible = 0;
  for (int round = 0; round < 300; ++round) {
    const int count = static_cast<int>(rng() % 25);
    const int horizon = round % 3 == 0 ? 40 : 400;
    const RandomDag dag =
        randomDag(rng, count, 6 + static_cast<unsigned>(rng() % 20), [horizon](std::mt19937& r) {
          const int arrival = static_cast<int>(r() % static_cast<unsigned>(horizon));
          return std::make_pair(arrival, arrival + 20 + static_cast<int>(r() % 100));
        });
    JobInstance instance = build(dag.jobs, dag.arcs);
    std::set<int> chosen;
    for (int id = 0; id < count; ++id) {
      if (rng() % 3 != 0) chosen.insert(id);
    }
    std::set<int> all;
    for (int id = 0; id < count; ++id) all.insert(id);
    for (int level : {CRIT_LO, CRIT_HI}) {
      for (bool mixed : {false, true}) {
        if (mixed && level != CRIT_LO) continue;
        const int np = 1 + round % 5;
        SCOPED_TRACE("round " + std::to_string(round) + " level " + std::to_string(level) +
                     (mixed ? " mixed" : ""));
        const double expected = stressByDefinition(instance, level, mixed, np, chosen);
        EXPECT_EQ(instance.getStress(level, mixed, np, &chosen), expected);
        EXPECT_EQ(instance.getStress(level, mixed, np, nullptr),
                  stressByDefinition(instance, level, mixed, np, all));
        ++(expected == DBL_MAX ? infeasible : feasible);
      }
    }
  }
  EXPECT_GT(infeasible, 50);
  EXPECT_GT(feasible, 50);
}

}  // namespace
