// Instance bodies read from files and archive entries (the process-wide
// walk and reader objects), whose arcs go in as one list: the first failing
// line, cycles included, must be the one a line-by-line reading finds, with
// the same condition and line number, and an accepted body must give the
// same graph.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive_file.h"
#include "job.h"
#include "support/files.h"
#include "support/oracles.h"

namespace {

using testfiles::ScratchDir;

struct Body {
  std::string text;
  int jobs = 0;
  std::vector<std::string> arcLines;
  std::vector<int> criticality;
};

// Job lines, then arc lines over the jobs in random order: mostly arcs along
// a hidden order, some against it (cycles), the odd malformed or
// out-of-range line.
Body randomBody(std::mt19937& rng, int jobs, int arcs) {
  Body body;
  body.jobs = jobs;
  for (int i = 0; i < jobs; ++i) {
    const int level = rng() % 2 ? CRIT_HI : CRIT_LO;
    body.criticality.push_back(level);
    body.text += "0 100 " + std::to_string(level) + " 1 " + (level == CRIT_HI ? "2" : "1") + "\n";
  }
  std::vector<int> rank(static_cast<size_t>(jobs));
  for (int i = 0; i < jobs; ++i) rank[static_cast<size_t>(i)] = i;
  std::shuffle(rank.begin(), rank.end(), rng);
  for (int k = 0; k < arcs; ++k) {
    int u = static_cast<int>(rng() % static_cast<unsigned>(jobs));
    int v = static_cast<int>(rng() % static_cast<unsigned>(jobs));
    const auto kind = rng() % 200;
    if (kind > 3 && rank[static_cast<size_t>(u)] > rank[static_cast<size_t>(v)]) std::swap(u, v);
    std::string line = "( " + Job::nameFromId(u) + " " + Job::nameFromId(v) + " )";
    if (kind == 0) line = "( J1 oops )";
    if (kind == 1) line = "( J1 " + Job::nameFromId(jobs + 1) + " )";
    body.arcLines.push_back(line);
    body.text += line + "\n";
  }
  return body;
}

// Line by line: the first failing line and its condition, or the arcs.
struct Expected {
  long line = 0;
  std::string condition;
  std::vector<std::pair<int, int>> arcs;
};

Expected expectedOf(const Body& body) {
  Expected result;
  std::vector<std::set<int>> out(static_cast<size_t>(body.jobs));
  auto reaches = [&out](int from, int to) {
    std::vector<int> stack{from};
    std::set<int> seen{from};
    while (!stack.empty()) {
      const int x = stack.back();
      stack.pop_back();
      if (x == to) return true;
      for (int w : out[static_cast<size_t>(x)])
        if (seen.insert(w).second) stack.push_back(w);
    }
    return false;
  };
  for (size_t k = 0; k < body.arcLines.size(); ++k) {
    const long line = body.jobs + static_cast<long>(k) + 1;
    Arc arc;
    const std::string condition = failedCheck([&] {
      if (!arc.initializeFromString(body.arcLines[k])) throw CheckError("unparsed");
    });
    if (!condition.empty()) return {line, condition, {}};
    if (arc.to_id >= body.jobs) return {line, "to_id >=0 && to_id < numJobs()", {}};
    if (reaches(arc.to_id, arc.from_id)) return {line, "Cyclic path in task graph!", {}};
    out[static_cast<size_t>(arc.from_id)].insert(arc.to_id);
  }
  for (int u = 0; u < body.jobs; ++u)
    for (int v : out[static_cast<size_t>(u)]) result.arcs.emplace_back(u, v);
  return result;
}

std::vector<std::pair<int, int>> arcsOf(const JobInstance& instance) {
  std::vector<std::pair<int, int>> arcs;
  for (const Arc& arc : instance.getAllArcs()) arcs.emplace_back(arc.from_id, arc.to_id);
  return arcs;
}

// The same arcs inserted one by one: the reference for the sets.
void expectSameGraphAsOneByOne(JobInstance& read, const Body& body) {
  JobInstance direct;
  for (int level : body.criticality) {
    Job job;
    job.arrival = 0;
    job.deadline = 100;
    job.criticality = level;
    job.lo_wcet = 1;
    job.hi_wcet = level == CRIT_HI ? 2 : 1;
    direct.insert(job);
  }
  for (const Arc& arc : read.getAllArcs()) direct.insert(arc);
  for (int level : {CRIT_LO, CRIT_HI}) {
    for (int id = 0; id < body.jobs; ++id) {
      ASSERT_EQ(read.getTransitiveSuccessors(id, level), direct.getTransitiveSuccessors(id, level));
      ASSERT_EQ(read.getTransitivePredecessors(id, level),
                direct.getTransitivePredecessors(id, level));
      ASSERT_EQ(read.getSuccessors(id, level), direct.getSuccessors(id, level));
      ASSERT_EQ(read.getPredecessors(id, level), direct.getPredecessors(id, level));
    }
  }
}

const std::vector<std::pair<int, int>> kSizes = {{1, 1},   {2, 3},    {3, 4},    {5, 8},
                                                 {8, 20},  {13, 30},  {30, 60},  {64, 100},
                                                 {65, 40}, {90, 400}, {150, 300}};

TEST(BodyReading, FileReportsTheFirstFailingLineAsLineByLine) {
  ScratchDir dir;
  std::mt19937 rng(77);
  for (int round = 0; round < 3; ++round) {
    for (const auto& size : kSizes) {
      const Body body = randomBody(rng, size.first, size.second);
      const Expected expected = expectedOf(body);
      const std::string path = dir.write("in.txt", body.text);
      JobInstance instance;
      long line = 0;
      const std::string condition = failedCheck([&] {
        try {
          instance.read(path.c_str());
        } catch (const CheckError& failure) {
          line = failure.inputLine();
          throw;
        }
      });
      ASSERT_EQ(condition, expected.condition) << body.text;
      ASSERT_EQ(line, expected.line) << body.text;
      if (!condition.empty()) {
        ASSERT_EQ(instance.numJobs(), 0) << "a failed read leaves the instance empty";
        continue;
      }
      ASSERT_EQ(arcsOf(instance), expected.arcs);
      expectSameGraphAsOneByOne(instance, body);
    }
  }
}

TEST(BodyReading, ArchiveEntryReportsTheFileLineOfTheCycle) {
  ScratchDir dir;
  std::mt19937 rng(78);
  for (const auto& size : kSizes) {
    const Body body = randomBody(rng, size.first, size.second);
    const Expected expected = expectedOf(body);
    // One good entry first, so that the line numbers count from the file's top.
    const std::string path = dir.write("a.tar", "------\nfirst:\n0 10 1 1 1\n------\nsecond:\n" +
                                                    body.text + "------\nthird:\n0 10 1 1 1\n");
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    std::string name;
    delete JobInstance::read_jobstar(".*", file.get(), name, true);
    ASSERT_EQ(name, "first");
    long line = 0;
    const std::string condition = failedCheck([&] {
      try {
        delete JobInstance::read_jobstar(".*", file.get(), name, false);
      } catch (const CheckError& failure) {
        line = failure.inputLine();
        throw;
      }
    });
    ASSERT_EQ(name, "second");
    ASSERT_EQ(condition, expected.condition) << body.text;
    if (!condition.empty()) {
      ASSERT_EQ(line, expected.line + 5) << body.text;
    }
    // The walk goes on with the next entry either way.
    std::unique_ptr<JobInstance> next(JobInstance::read_jobstar(".*", file.get(), name, false));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(name, "third");

    // A reader object counts its lines itself and must agree.
    mcjobs::ArchiveReader reader(file.get(), "second", "a.tar");
    line = 0;
    ASSERT_EQ(failedCheck([&] {
                try {
                  reader.next(name);
                } catch (const CheckError& failure) {
                  line = failure.inputLine();
                  throw;
                }
              }),
              expected.condition);
    if (!expected.condition.empty()) {
      ASSERT_EQ(line, expected.line + 5) << body.text;
    }
  }
}

}  // namespace
