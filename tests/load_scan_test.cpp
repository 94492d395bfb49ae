// The fast interval scan against the direct one and against a brute force
// written here, on random windows of many shapes, doubles compared exactly.
#include "detail/load_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "util.h"

namespace {

using mcjobs_detail::LoadWindow;

struct Scan {
  std::vector<int> arrivals, deadlines;
  std::vector<LoadWindow> counted;
};

// Every pair of end points, every window tested against it.
double bruteForce(const Scan& scan, int np) {
  double load = 0.0;
  for (int arr : scan.arrivals) {
    for (int ddl : scan.deadlines) {
      if (ddl <= arr) continue;
      double total_time = 0.0;
      int total_jobs = 0;
      for (const LoadWindow& window : scan.counted) {
        if (window.arrival >= arr && window.deadline <= ddl) {
          total_time += window.wcet;
          ++total_jobs;
        }
      }
      if (total_jobs == 0) continue;
      const double length = static_cast<double>(static_cast<std::int64_t>(ddl) - arr);
      load = std::max(load, (np * total_time) / (length * std::min(total_jobs, np)));
    }
  }
  return load;
}

struct Shape {
  const char* name;
  int jobs;      // windows drawn
  int first;     // earliest arrival
  int horizon;   // arrivals in [first, first + horizon]
  int longest;   // window lengths in [shortest, longest]
  int shortest;  // below 1: windows that end at or before they start
  int wcetLo, wcetHi;
  int countedOneIn;  // a window is counted unless rng() % countedOneIn == 0 (0: all counted)
};

// Clamped to the int range, as a job edited through its public fields may be.
int clampTime(std::int64_t value) {
  return static_cast<int>(std::min<std::int64_t>(INT_MAX, std::max<std::int64_t>(INT_MIN, value)));
}

Scan randomScan(std::mt19937& rng, const Shape& shape) {
  auto uniform = [&rng](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  Scan scan;
  const int count = static_cast<int>(uniform(0, shape.jobs));
  for (int i = 0; i < count; ++i) {
    const int arrival = clampTime(shape.first + uniform(0, shape.horizon));
    const int deadline = clampTime(arrival + uniform(shape.shortest, shape.longest));
    scan.arrivals.push_back(arrival);
    scan.deadlines.push_back(deadline);
    if (shape.countedOneIn == 0 || rng() % static_cast<unsigned>(shape.countedOneIn) != 0)
      scan.counted.push_back(
          {arrival, deadline, static_cast<int>(uniform(shape.wcetLo, shape.wcetHi))});
  }
  for (std::vector<int>* points : {&scan.arrivals, &scan.deadlines}) {
    std::sort(points->begin(), points->end());
    points->erase(std::unique(points->begin(), points->end()), points->end());
  }
  return scan;
}

const Shape kShapes[] = {
    {"tiny, crowded", 6, 0, 8, 6, 1, 1, 6, 0},
    {"small, shared end points", 25, 0, 30, 15, 1, 1, 15, 0},
    {"small, half counted", 25, 0, 30, 15, 1, 1, 15, 2},
    {"equal windows", 30, 5, 0, 0, 0, 1, 1, 0},
    {"equal windows, zero length", 30, 5, 0, 0, 0, 3, 3, 0},
    {"two window lengths", 40, 0, 10, 10, 5, 2, 2, 0},
    {"wide budgets", 40, 0, 3000, 1500, 1, 1, 1500, 0},
    {"unit budgets", 60, 0, 200, 50, 1, 1, 1, 3},
    {"nested, long windows", 40, 0, 50, 1000, 200, 1, 300, 0},
    {"medium", 150, 0, 2000, 200, 1, 1, 200, 4},
    {"zero and negative budgets", 40, 0, 60, 30, 1, -10, 10, 0},
    {"windows ending before they start", 40, 0, 60, 20, -20, 1, 20, 0},
    {"negative times", 40, -100, 100, 50, 1, 1, 50, 0},
    {"near the top of the int range", 30, INT_MAX - 200, 150, 100, 1, 1, 100, 0},
    {"from zero to the top", 20, 0, 5, INT_MAX, INT_MAX - 20, INT_MAX - 9, INT_MAX, 0},
    {"from the bottom to the top", 20, INT_MIN, 5, INT_MAX, INT_MAX - 5, 1, INT_MAX, 0},
    {"huge budgets, short windows", 30, 0, 100, 30, 1, INT_MAX - 9, INT_MAX, 0},
    {"huge negative budgets", 30, 0, 100, 30, 1, INT_MIN, INT_MIN + 9, 0},
    {"nothing counted", 20, 0, 40, 10, 1, 1, 10, 1},
};

// With np = 1 and, in turn, np = 2..5 and a few far larger counts (powers of
// two and not): the larger ones exercise the rounding guard and its fallback.
const int kProcessors[] = {1, 2, 3, 4, 5, 7, 64, 1 << 30, INT_MAX};

TEST(LoadScanTest, RandomWindowsMatchDirectScanAndBruteForce) {
  std::mt19937 rng(777u);
  for (const Shape& shape : kShapes) {
    for (int round = 0; round < 40; ++round) {
      const Scan scan = randomScan(rng, shape);
      for (int np : kProcessors) {
        SCOPED_TRACE(std::string(shape.name) + ", round " + std::to_string(round) + ", np " +
                     std::to_string(np));
        const double fast =
            mcjobs_detail::maxIntervalLoad(scan.arrivals, scan.deadlines, scan.counted, np);
        EXPECT_EQ(fast, mcjobs_detail::maxIntervalLoadQuadratic(scan.arrivals, scan.deadlines,
                                                                scan.counted, np));
        EXPECT_EQ(fast, bruteForce(scan, np));
      }
    }
  }
}

// Thousands of windows, where Dinkelbach needs several rounds and the tree
// several levels; the direct scan is the reference.
TEST(LoadScanTest, LargerSetsMatchDirectScan) {
  std::mt19937 rng(4711u);
  const Shape shapes[] = {
      {"spread", 3000, 0, 30000, 200, 1, 1, 200, 3},
      {"dense", 3000, 0, 3000, 400, 1, 1, 400, 0},
      {"nested", 2000, 0, 5000, 20000, 1, 1, 100, 0},
  };
  for (const Shape& shape : shapes) {
    const Scan scan = randomScan(rng, shape);
    for (int np : {1, 2, 3, 5}) {
      SCOPED_TRACE(std::string(shape.name) + ", np " + std::to_string(np));
      EXPECT_EQ(
          mcjobs_detail::maxIntervalLoad(scan.arrivals, scan.deadlines, scan.counted, np),
          mcjobs_detail::maxIntervalLoadQuadratic(scan.arrivals, scan.deadlines, scan.counted, np));
    }
  }
}

// Two intervals of one job each with the same exact ratio, whose doubles still
// differ because np * budget rounds: the larger double must win, whichever
// interval comes first.
TEST(LoadScanTest, EqualRatiosThatRoundApart) {
  const int np = INT_MAX;
  struct Pair {
    int budget, length;
  };
  for (const Pair pair : {Pair{100000017, 7}, Pair{100000022, 10}}) {
    const double expected =
        std::max((static_cast<double>(np) * pair.budget) / static_cast<double>(pair.length),
                 (static_cast<double>(np) * (3.0 * pair.budget)) / (3.0 * pair.length));
    for (bool shortFirst : {true, false}) {
      const int shortAt = shortFirst ? 0 : 1000;
      const int longAt = shortFirst ? 1000 : 0;
      Scan scan;
      scan.counted = {{shortAt, shortAt + pair.length, pair.budget},
                      {longAt, longAt + 3 * pair.length, 3 * pair.budget}};
      for (const LoadWindow& window : scan.counted) {
        scan.arrivals.push_back(window.arrival);
        scan.deadlines.push_back(window.deadline);
      }
      std::sort(scan.arrivals.begin(), scan.arrivals.end());
      std::sort(scan.deadlines.begin(), scan.deadlines.end());
      SCOPED_TRACE("budget " + std::to_string(pair.budget) +
                   (shortFirst ? ", short first" : ", long first"));
      EXPECT_EQ(mcjobs_detail::maxIntervalLoad(scan.arrivals, scan.deadlines, scan.counted, np),
                expected);
      EXPECT_EQ(bruteForce(scan, np), expected);
    }
  }
}

TEST(LoadScanTest, EmptyInputsGiveZero) {
  const std::vector<int> none;
  const std::vector<int> points = {0, 10};
  const std::vector<LoadWindow> one = {{0, 10, 5}};
  EXPECT_EQ(mcjobs_detail::maxIntervalLoad(none, none, {}, 1), 0.0);
  EXPECT_EQ(mcjobs_detail::maxIntervalLoad(points, points, {}, 3), 0.0);
  EXPECT_EQ(mcjobs_detail::maxIntervalLoad(points, none, one, 1), 0.0);
  EXPECT_EQ(mcjobs_detail::maxIntervalLoad(points, points, one, 1), 0.5);
  EXPECT_EQ(mcjobs_detail::maxIntervalLoad(points, points, one, 4), 2.0);
}

}  // namespace
