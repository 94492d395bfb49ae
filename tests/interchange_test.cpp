// The interchange formats: round trips on random instances, STG graphs of our
// own against an independent reading of the format, hand-written inputs, every
// malformed input located, and the peers: Graphviz parses our DOT, jsonschema
// and NetworkX take our JSON.
#include "interchange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "explain.h"
#include "support/builders.h"
#include "support/files.h"
#include "support/oracles.h"

namespace {

using mcjobs::InterchangeOptions;

const std::string kSchema = std::string(MCJOBS_EXAMPLES_DIR) + "/../docs/instance.schema.json";

JobInstance randomInstance(std::mt19937& rng, bool loOnly) {
  const int n = 1 + static_cast<int>(rng() % 40);
  RandomDag dag = randomDag(rng, n, 2 + rng() % 8, [](std::mt19937& r) {
    const int arrival = static_cast<int>(r() % 50);
    return std::make_pair(arrival, arrival + 20 + static_cast<int>(r() % 50));
  });
  if (loOnly)
    for (JobSpec& job : dag.jobs) job = {job.arrival, job.deadline, CRIT_LO, job.lo, job.lo};
  return build(dag.jobs, dag.arcs);
}

using Reader = std::function<JobInstance(std::istream&)>;

JobInstance readText(const std::string& text, const Reader& reader) {
  std::istringstream in(text);
  return reader(in);
}

TEST(Interchange, RandomInstancesComeBackByteForByte) {
  std::mt19937 rng(20261207);
  const InterchangeOptions options;
  for (int round = 0; round < 60; ++round) {
    JobInstance instance = randomInstance(rng, round % 3 == 0);
    const std::string native = mcjobs::writeNative(instance);
    JobInstance fromJson = readText(mcjobs::writeJson(instance), [](std::istream& in) {
      return mcjobs::readJson(in, "in.json");
    });
    EXPECT_EQ(mcjobs::writeNative(fromJson), native);
    JobInstance fromDot = readText(mcjobs::writeDot(instance),
                                   [](std::istream& in) { return mcjobs::readDot(in, "in.dot"); });
    EXPECT_EQ(mcjobs::writeNative(fromDot), native);
    JobInstance fromNative =
        readText(native, [](std::istream& in) { return mcjobs::readNative(in, "in.txt"); });
    EXPECT_EQ(mcjobs::writeNative(fromNative), native);
    // nptest holds one level: an all-LO instance whole.
    if (round % 3 == 0) {
      const mcjobs::NptestFiles files = mcjobs::writeNptest(instance);
      std::istringstream jobs(files.jobs), precedence(files.precedence);
      JobInstance fromNptest =
          mcjobs::readNptest(jobs, "in.csv", &precedence, "in.prec.csv", options);
      EXPECT_EQ(mcjobs::writeNative(fromNptest), native) << files.jobs << files.precedence;
    }
  }
}

// The arcs of an instance as (from, to) pairs.
ArcList arcPairs(const JobInstance& instance) {
  ArcList arcs;
  for (const Arc& arc : instance.getAllArcs()) arcs.emplace_back(arc.from_id, arc.to_id);
  return arcs;
}

// A reduced drawing read back has the closure of the original at both levels, and no arc
// drawn can go: without it one of the two closures would shrink.
TEST(Interchange, ReducedDotKeepsTheClosureOfEachLevel) {
  std::mt19937 rng(515);
  for (int round = 0; round < 150; ++round) {
    const int n = 1 + static_cast<int>(rng() % 14);
    const RandomDag dag = randomDag(rng, n, 2 + static_cast<unsigned>(rng() % 3),
                                    [](std::mt19937&) { return std::make_pair(0, 500); });
    JobInstance original = build(dag.jobs, dag.arcs);
    const std::string drawing = mcjobs::writeDot(original, CRIT_LO, true);
    SCOPED_TRACE(mcjobs::writeNative(original) + drawing);
    JobInstance back =
        readText(drawing, [](std::istream& in) { return mcjobs::readDot(in, "in.dot"); });
    const ArcList drawn = arcPairs(back);
    const auto lo = reachability(dag.jobs, drawn, CRIT_LO);
    const auto hi = reachability(dag.jobs, drawn, CRIT_HI);
    EXPECT_EQ(lo, reachability(dag.jobs, dag.arcs, CRIT_LO));
    EXPECT_EQ(hi, reachability(dag.jobs, dag.arcs, CRIT_HI));
    for (size_t k = 0; k < drawn.size(); ++k) {
      ArcList fewer = drawn;
      fewer.erase(fewer.begin() + static_cast<long>(k));
      EXPECT_TRUE(reachability(dag.jobs, fewer, CRIT_LO) != lo ||
                  reachability(dag.jobs, fewer, CRIT_HI) != hi)
          << "J" << drawn[k].first + 1 << " -> J" << drawn[k].second + 1 << " is implied";
    }
    // The HI drawing holds the HI jobs alone, in id order, and the HI closure.
    std::vector<JobSpec> hiJobs;
    std::vector<int> hiIndex(static_cast<size_t>(n), -1);
    for (int id = 0; id < n; ++id)
      if (dag.jobs[static_cast<size_t>(id)].criticality == CRIT_HI) {
        hiIndex[static_cast<size_t>(id)] = static_cast<int>(hiJobs.size());
        hiJobs.push_back(dag.jobs[static_cast<size_t>(id)]);
      }
    ArcList hiArcs;
    for (const auto& arc : dag.arcs)
      if (hiIndex[static_cast<size_t>(arc.first)] >= 0 &&
          hiIndex[static_cast<size_t>(arc.second)] >= 0)
        hiArcs.emplace_back(hiIndex[static_cast<size_t>(arc.first)],
                            hiIndex[static_cast<size_t>(arc.second)]);
    if (hiJobs.empty()) continue;
    JobInstance hiBack = readText(mcjobs::writeDot(original, CRIT_HI, true),
                                  [](std::istream& in) { return mcjobs::readDot(in, "in.dot"); });
    const ArcList hiDrawn = arcPairs(hiBack);
    const auto hiOnly = reachability(hiJobs, hiDrawn, CRIT_HI);
    EXPECT_EQ(hiOnly, reachability(hiJobs, hiArcs, CRIT_HI));
    for (size_t k = 0; k < hiDrawn.size(); ++k) {
      ArcList fewer = hiDrawn;
      fewer.erase(fewer.begin() + static_cast<long>(k));
      EXPECT_NE(reachability(hiJobs, fewer, CRIT_HI), hiOnly);
    }
  }
}

// An independent reading of an STG file: the cost of each task and which real
// (non-zero-cost) tasks reach which, by a search through any task.
struct StgGraph {
  std::vector<long> costs;  // of the real tasks, in task order
  std::vector<std::vector<bool>> reach;
};

StgGraph readStgOracle(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  std::vector<long> cost;
  std::vector<std::vector<int>> succ;
  while (std::getline(in, line) && line.find('#') == std::string::npos) {
    std::istringstream fields(line);
    long id, c, count;
    if (!(fields >> id >> c >> count)) continue;
    cost.push_back(c);
    succ.resize(cost.size());
    for (long p; fields >> p;) succ[static_cast<size_t>(p)].push_back(static_cast<int>(id));
  }
  succ.resize(cost.size());
  StgGraph graph;
  std::vector<int> real;
  for (size_t t = 0; t < cost.size(); ++t)
    if (cost[t] > 0) {
      real.push_back(static_cast<int>(t));
      graph.costs.push_back(cost[t]);
    }
  for (int from : real) {
    std::vector<bool> seen(cost.size(), false);
    std::vector<int> todo{from};
    while (!todo.empty()) {
      const int t = todo.back();
      todo.pop_back();
      for (int s : succ[static_cast<size_t>(t)])
        if (!seen[static_cast<size_t>(s)]) todo.push_back(s), seen[static_cast<size_t>(s)] = true;
    }
    std::vector<bool> row;
    for (int to : real) row.push_back(seen[static_cast<size_t>(to)]);
    graph.reach.push_back(row);
  }
  return graph;
}

// Random STG files as the published set writes them: tasks numbered so that
// predecessors come first, a dummy entry and exit, now and then a zero-cost
// task in the middle, the count with or without the dummies, trailing comments.
std::string randomStg(std::mt19937& rng) {
  const int n = 1 + static_cast<int>(rng() % 30);
  std::vector<std::vector<int>> preds(static_cast<size_t>(n) + 2);
  std::vector<bool> hasSucc(static_cast<size_t>(n) + 2, false);
  std::ostringstream out;
  out << (rng() % 2 ? n : n + 2) << "\n     0     0     0\n";
  for (int t = 1; t <= n; ++t) {
    for (int p = 1; p < t; ++p)
      if (rng() % 4 == 0)
        preds[static_cast<size_t>(t)].push_back(p), hasSucc[static_cast<size_t>(p)] = true;
    if (preds[static_cast<size_t>(t)].empty()) preds[static_cast<size_t>(t)].push_back(0);
    out << t << ' ' << (rng() % 8 == 0 ? 0 : 1 + rng() % 20) << ' '
        << preds[static_cast<size_t>(t)].size();
    for (int p : preds[static_cast<size_t>(t)]) out << ' ' << p;
    out << '\n';
  }
  std::vector<int> sinks;
  for (int t = 1; t <= n; ++t)
    if (!hasSucc[static_cast<size_t>(t)]) sinks.push_back(t);
  out << n + 1 << " 0 " << sinks.size();
  for (int s : sinks) out << ' ' << s;
  out << "\n# random graph\n# of our own\n";
  return out.str();
}

TEST(Interchange, StgKeepsEveryTaskCostAndPrecedence) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 60; ++round) {
    const std::string stg = randomStg(rng);
    JobInstance instance =
        readText(stg, [](std::istream& in) { return mcjobs::readStg(in, "in.stg"); });
    const std::string written = mcjobs::writeStg(instance);
    const StgGraph before = readStgOracle(stg), after = readStgOracle(written);
    EXPECT_EQ(after.costs, before.costs) << stg << written;
    EXPECT_EQ(after.reach, before.reach) << stg << written;
  }
}

TEST(Interchange, StgWindowsAndCriticalitiesComeFromTheOptions) {
  // A chain 1 -> 3 and a lone task 2, behind dummies; critical path 5 + 4.
  const std::string stg = "3\n0 0 0\n1 5 1 0\n2 2 1 0\n3 4 1 1\n4 0 2 2 3\n#\n";
  auto read = [&](const InterchangeOptions& options) {
    std::istringstream in(stg);
    JobInstance instance = mcjobs::readStg(in, "in.stg", options);
    return mcjobs::writeNative(instance);
  };
  EXPECT_EQ(read({}), "0 9 1 5 5\n0 9 1 2 2\n0 9 1 4 4\n( J1 J3 )\n");
  InterchangeOptions options;
  options.deadlineFactor = 1.5;
  options.hiFraction = 1.0;
  options.criticalityFactor = 1.5;
  // HI budgets 8, 3, 6: the critical path is 14, the deadline 21.
  EXPECT_EQ(read(options), "0 21 2 5 8\n0 21 2 2 3\n0 21 2 4 6\n( J1 J3 )\n");
  options = InterchangeOptions();
  options.deadline = 30;
  options.hiFraction = 0.34;  // one task of three
  int hi = 0;
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    options.seed = seed;
    const std::string text = read(options);
    EXPECT_EQ(text, read(options));  // the seed fixes the choice
    std::istringstream lines(text);
    for (int arrival, deadline, crit, lo, high; lines >> arrival >> deadline >> crit >> lo >> high;)
      hi += crit == CRIT_HI;
  }
  EXPECT_EQ(hi, 12);
  // Factors whose products have no integer: an error, not a wrapped value.
  for (const double factor : {1e300, std::nan("")}) {
    options = InterchangeOptions();
    options.deadlineFactor = factor;
    EXPECT_THROW(read(options), CheckError);
    options.deadlineFactor = 1;
    options.hiFraction = 1.0;
    options.criticalityFactor = factor;
    EXPECT_THROW(read(options), CheckError);
  }
  options = InterchangeOptions();
  options.deadlineFactor = 1e300;
  EXPECT_EQ(failedCheck([&] { read(options); }),
            "STG: the deadline 1e+300 x the critical-path length 9 is outside the 32-bit range");
}

TEST(Interchange, NptestKeepsTheTaskNumberingItRead) {
  const std::string jobs =
      "Task ID, Job ID, Arrival min, Arrival max, Cost min, Cost max, Deadline, Priority\n"
      "7, 1, 0, 0, 1, 3, 10, 10\n7, 2, 10, 10, 1, 3, 20, 20\n9, 1, 0, 0, 1, 2, 20, 20\n";
  const std::string precedence =
      "Predecessor TID, Predecessor JID, Successor TID, Successor JID\n7, 1, 9, 1\n";
  std::istringstream jobsIn(jobs), precedenceIn(precedence);
  std::vector<mcjobs::TaskJob> numbering;
  InterchangeOptions options;
  options.bcetRatio = 0.5;
  JobInstance instance =
      mcjobs::readNptest(jobsIn, "j.csv", &precedenceIn, "p.csv", options, &numbering);
  EXPECT_EQ(mcjobs::writeNative(instance), "0 10 1 3 3\n10 20 1 3 3\n0 20 1 2 2\n( J1 J3 )\n");
  const mcjobs::NptestFiles files = mcjobs::writeNptest(instance, options, &numbering);
  EXPECT_EQ(files.jobs, jobs);
  EXPECT_EQ(files.precedence, precedence);
  options.priority = mcjobs::NptestPriority::kAlap;
  options.bcetRatio = 1;
  // J1 must finish by 20 - 2 for J3.
  EXPECT_EQ(mcjobs::writeNptest(instance, options).jobs,
            "Task ID, Job ID, Arrival min, Arrival max, Cost min, Cost max, Deadline, Priority\n"
            "1, 1, 0, 0, 3, 3, 10, 10\n2, 1, 10, 10, 3, 3, 20, 20\n3, 1, 0, 0, 2, 2, 20, 20\n");
}

struct Case {
  mcjobs::Format format;
  std::string text;
  std::string expected;  // the instance file, or the error message
};

JobInstance readFormat(const Case& c, const InterchangeOptions& options) {
  std::istringstream in(c.text);
  switch (c.format) {
    case mcjobs::Format::kJson:
      return mcjobs::readJson(in, "in", options);
    case mcjobs::Format::kDot:
      return mcjobs::readDot(in, "in", options);
    case mcjobs::Format::kStg:
      return mcjobs::readStg(in, "in", options);
    case mcjobs::Format::kNptest: {
      // A precedence file follows the job file after a line "--".
      const size_t split = c.text.find("--\n");
      std::istringstream jobs(c.text.substr(0, split));
      std::istringstream precedence(split == std::string::npos ? "" : c.text.substr(split + 3));
      return mcjobs::readNptest(jobs, "in", split == std::string::npos ? nullptr : &precedence,
                                "prec", options);
    }
    case mcjobs::Format::kMcdag:
      return mcjobs::readMcdag(in, "in");
    default:
      return mcjobs::readNative(in, "in");
  }
}

// What reading a case fails with: what() or, `described`, the line a person is shown;
// "no error" when it reads.
std::string readFailure(const Case& c, bool described) {
  try {
    readFormat(c, InterchangeOptions());
  } catch (const CheckError& error) {
    return described ? mcjobs::describeFailure(error) : error.what();
  }
  return "no error";
}

const std::string kJobFields = "\"arrival\": 0, \"deadline\": 9, \"lo_wcet\": 1";
const char* const kHeader =
    "Task ID, Job ID, Arrival min, Arrival max, Cost min, Cost max, Deadline, Priority\n";
const char* const kPrecHeader =
    "--\nPredecessor TID, Predecessor JID, Successor TID, Successor JID\n";
using F = mcjobs::Format;

TEST(Interchange, HandWrittenInputs) {
  InterchangeOptions defaults;
  defaults.hasDefaultWindow = true;
  defaults.defaultArrival = 0;
  defaults.defaultDeadline = 50;
  defaults.defaultWcet = 3;
  const std::vector<Case> cases = {
      {F::kDot,
       "/* a chain */ strict digraph \"g\" {\n  node [shape=box, lo_wcet=2];\n"
       "  \"a b\" -> c -> d [color=red]  // comment\n# preprocessor line\n"
       "  c [criticality=HI, hi_wcet=\"4\"]; a -> d\n  graph [rankdir=LR] label=\"x\" + \"y\"\n}\n",
       "0 50 1 2 2\n0 50 2 2 4\n0 50 1 2 2\n0 50 1 2 2\n( J1 J2 )\n( J2 J3 )\n( J4 J3 )\n"},
      // "\\" is no escape: the string ends at the next quote.
      {F::kDot, "digraph {\n \"a\\\\\" -> \"b\\\"\"\n \"a\\\\\\\\\" -> b\n}\n",
       "0 50 1 3 3\n0 50 1 3 3\n0 50 1 3 3\n0 50 1 3 3\n( J1 J2 )\n( J3 J4 )\n"},
      {F::kJson,
       "{\"nodes\": [{\"id\": 1, \"arrival\": 0, \"deadline\": 9, \"lo_wcet\": 1, \"x\": [true, "
       "null, -1.5e3, \"\\u00e9\\ud83d\\ude00\"]},\n {\"id\": 2, \"criticality\": \"HI\"}],"
       " \"edges\": [{\"source\": 1, \"target\": 2}]}",
       "0 9 1 1 1\n0 50 2 3 3\n( J1 J2 )\n"},
      // NetworkX's graphs of ours: ids 0 .. n-1 and criticality 1 or 2.
      {F::kJson,
       "{\"nodes\": [{\"id\": 1, \"criticality\": 2, " + kJobFields + "}, {\"id\": -0, " +
           "\"criticality\": 1, " + kJobFields +
           "}],\n\"links\": [{\"source\": 1, \"target\": 0}]}",
       "0 9 1 1 1\n0 9 2 1 1\n( J2 J1 )\n"},
      // Our own job names put the jobs in order, however a tool reordered them.
      {F::kJson,
       "{\"nodes\": [{\"id\": \"J2\", " + kJobFields + "}, {\"id\": \"J1\", " + kJobFields +
           "}],\n\"links\": [{\"source\": \"J2\", \"target\": \"J1\"}]}",
       "0 9 1 1 1\n0 9 1 1 1\n( J2 J1 )\n"},
      // The count without, then with the dummies; a zero-cost task in the middle.
      {F::kStg, "2\n0 0 0\n1 3 1 0\n2 4 1 1\n3 0 1 2\n", "0 7 1 3 3\n0 7 1 4 4\n( J1 J2 )\n"},
      {F::kStg, "  4\n\n0 0 0\n1 3 1 0\n2 0 1 1\n3 4 1 2\n#c\n\n# c\n",
       "0 7 1 3 3\n0 7 1 4 4\n( J1 J2 )\n"},
      {F::kNptest,
       std::string(kHeader) + " 1 , 1, 0, 0, 1, 2, 10, 5\r\n\n2, 1, 3, 3, 2, 2, 9, 1\n" +
           kPrecHeader + "2, 1, 1, 1\n",
       "0 10 1 2 2\n3 9 1 2 2\n( J2 J1 )\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      JobInstance instance = readFormat(c, defaults);
      EXPECT_EQ(mcjobs::writeNative(instance), c.expected);
    } catch (const CheckError& error) {
      ADD_FAILURE() << error.what();
    }
  }
}

// Ids that name jobs but are not exactly J1 .. Jn (0 .. n-1) keep the order
// given, and the warning names every node that so changes its job.
TEST(Interchange, JsonRenumberingIsNamed) {
  const struct {
    std::vector<std::string> ids;
    std::string warning;
  } cases[] = {
      {{"\"J2\"", "\"J1\"", "\"J4\""},
       "in:2: warning: node ids are not J1..J3: numbered in the order given, J2 -> J1, J1 -> J2, "
       "J4 -> J3"},
      {{"5", "0", "9"},
       "in:2: warning: node ids are not 0..2: numbered in the order given, 5 -> J1, "
       "0 -> J2, 9 -> J3"},
      {{"\"start\"", "\"J1\"", "\"end\""},
       "in:3: warning: node ids are not J1..J3: numbered in the order given, J1 -> J2"},
      {{"\"J3\"", "\"J2\"", "\"J1\""}, ""},
      {{"\"a\"", "\"c\"", "\"b\""}, ""},
      {{"1", "2", "3", "4", "5", "6", "7"},
       "in:2: warning: node ids are not 0..6: numbered in the order given, 1 -> J1, 2 -> J2, "
       "3 -> J3, 4 -> J4, 5 -> J5, ... (7 in all)"},
  };
  for (const auto& c : cases) {
    std::string document = "{\"nodes\": [";
    std::string expected;
    for (size_t k = 0; k < c.ids.size(); ++k) {
      const std::string deadline = std::to_string(10 * (k + 1));
      document += (k == 0 ? "\n{\"id\": " : ",\n{\"id\": ") + c.ids[k] +
                  ", \"arrival\": 0, \"lo_wcet\": 1, \"deadline\": " + deadline + "}";
      expected += "0 " + deadline + " 1 1 1\n";
    }
    document += "]}";
    SCOPED_TRACE(document);
    std::istringstream in(document);
    std::vector<std::string> warnings;
    JobInstance instance = mcjobs::readJson(in, "in", InterchangeOptions(), &warnings);
    if (c.warning.empty()) {
      EXPECT_EQ(warnings, std::vector<std::string>());
      continue;  // the ids name the order
    }
    EXPECT_EQ(warnings, std::vector<std::string>{c.warning});
    EXPECT_EQ(mcjobs::writeNative(instance), expected);
  }
}

TEST(Interchange, MalformedInputsNameTheFileAndLine) {
  const std::vector<Case> cases = {
      {F::kJson, "", "in:1: JSON: the document ends where a value should be"},
      {F::kJson, "{\"nodes\": [\n{\"id\": \"a\", " + kJobFields + "}\n,]}",
       "in:3: JSON: unexpected character ']'"},
      {F::kJson, "{\"nodes\": [], \"nodes\": []}", "in:1: JSON: duplicate member \"nodes\""},
      {F::kJson, "{\"nodes\": [{\"id\": \"a\",\n\"arrival\": 2147483648}]}",
       "in:2: JSON: node a: \"arrival\" = 2147483648 is outside the 32-bit range"},
      {F::kJson,
       "{\"nodes\": [{\"id\": \"a\", " + kJobFields + "},\n{\"id\": \"a\", " + kJobFields + "}]}",
       "in:2: JSON: duplicate node id \"a\""},
      {F::kJson,
       "{\"nodes\": [{\"id\": \"a\", " + kJobFields +
           "}],\n\"links\": [{\"source\": \"a\",\n\"target\": \"b\"}]}",
       "in:3: JSON: link target \"b\" is no node"},
      {F::kJson,
       "{\"nodes\": [{\"id\": \"a\", " + kJobFields +
           "}],\n\"links\": [\n{\"source\": \"a\", \"target\": \"a\"}]}",
       "in:3: Cyclic path in task graph!"},
      {F::kJson, "{\"nodes\": [{\"id\": \"a\", \"arrival\": 0, \"lo_wcet\": 1}]}",
       "in:1: JSON: node a has no \"deadline\" and no default window is given"},
      {F::kJson, "{\"nodes\": [{\"id\": \"a\", \"arrival\": 0.5}]}",
       "in:1: JSON: node a: \"arrival\" must be an integer"},
      {F::kJson, "{\"nodes\": [{\"id\": \"J1\",\n\"criticality\": \"MID\", " + kJobFields + "}]}",
       "in:2: JSON: node J1: \"criticality\" must be 1, 2, \"LO\" or \"HI\""},
      {F::kJson, "{\"nodes\": [{\"id\": 0, \"criticality\": 3, " + kJobFields + "}]}",
       "in:1: JSON: node 0: \"criticality\" must be 1, 2, \"LO\" or \"HI\""},
      {F::kJson,
       "{\"nodes\": [{\"id\": \"J2\", " + kJobFields + "},\n{\"id\": 0, " + kJobFields + "}]}",
       "in:2: JSON: node ids are all integers or all strings, not a mix such as \"J2\" and 0"},
      {F::kJson, "{\"directed\": false, \"nodes\": []}",
       "in:1: JSON: \"directed\" is false; precedence needs a directed graph"},
      {F::kJson, "{\"nodes\": [\"\\q\"]}", "in:1: JSON: unknown escape '\\q'"},
      {F::kJson, std::string(300, '['), "in:1: JSON: values nested deeper than 200 levels"},
      {F::kDot, "graph { a }",
       "in:1: DOT: an undirected graph cannot hold precedence; use 'digraph'"},
      {F::kDot, "digraph {\n a [arrival=0 deadline=5 lo_wcet=1]\n a -> b\n}",
       "in:3: DOT: node b has no arrival attribute and no default window is given"},
      {F::kDot, "digraph {\n a [arrival=x]\n}",
       "in:2: DOT: node a: arrival=\"x\" is not an integer"},
      {F::kDot, "digraph {\n a -- b }",
       "in:2: DOT: '--' is an undirected edge; a digraph uses '->'"},
      {F::kDot, "digraph {\n subgraph s { a } }", "in:2: DOT: subgraphs are not supported"},
      {F::kDot, "digraph {\n a:p -> b }", "in:2: DOT: node ports are not supported"},
      {F::kDot, "digraph {\n /* open", "in:2: DOT: unterminated comment"},
      {F::kDot, "digraph {\n a [label=\"x\n", "in:2: DOT: unterminated quoted string"},
      {F::kDot, "digraph { }\n}", "in:2: DOT: text after the end of the graph"},
      {F::kDot, "digraph {\n a [arrival=0 deadline=5 lo_wcet=1 hi_wcet=9999999999] }",
       "in:2: DOT: node a: hi_wcet=9999999999 is outside the 32-bit range"},
      {F::kDot, "digraph {\n a [arrival=5 deadline=5 lo_wcet=1] }", "in:2: deadline>arrival"},
      // Errors are reported where the attributes were given, not where the node appeared.
      {F::kDot, "digraph {\n a [arrival=0 deadline=5 lo_wcet=1]\n a [deadline=0] }",
       "in:3: deadline>arrival"},
      {F::kDot, "digraph {\n a [arrival=0 deadline=5]\n a [lo_wcet=y] }",
       "in:3: DOT: node a: lo_wcet=\"y\" is not an integer"},
      {F::kDot, "digraph {\n a [arrival=0 deadline=5 lo_wcet=1]\n a -> a [\narrival=2] }",
       "in:4: DOT: arrival is a job attribute, which an edge cannot carry; give it to a node"},
      {F::kDot, "digraph {\n edge [lo_wcet=2] }",
       "in:2: DOT: lo_wcet is a job attribute, which an edge cannot carry; give it to a node"},
      {F::kDot, "digraph {\n a [arrival=99999999999999999999] }",
       "in:2: DOT: node a: arrival=99999999999999999999 is outside the 32-bit range"},
      {F::kJson, "{\"nodes\": [{\"id\": \"a\", \"deadline\": -99999999999999999999}]}",
       "in:1: JSON: node a: \"deadline\" = -99999999999999999999 is outside the 32-bit range"},
      {F::kStg, "# only\n", "in:1: STG: no task count line"},
      {F::kStg, "2 3\n", "in:1: STG: the first line must be the task count alone"},
      {F::kStg, "1\n0 0 0\n1 x 0\n", "in:3: STG: 'x' is not an integer"},
      {F::kStg, "1\n0 0 0\n2 3 0\n",
       "in:3: STG: task 2 where task 1 comes next (tasks are numbered 0, 1, 2, ... in order)"},
      {F::kStg, "1\n0 0 0\n1 3 2 0\n", "in:3: STG: task 1 says 2 predecessors but lists 1"},
      {F::kStg, "1\n0 0 0\n1 -3 0\n",
       "in:3: STG: task 1: the processing time -3 is not in 0..2147483647"},
      {F::kStg, "2\n0 0 0\n1 3 1 5\n", "in:3: STG: task 1: no task 5"},
      {F::kStg, "2\n0 0 0\n1 3 1 1\n", "in:3: STG: task 1 lists itself as a predecessor"},
      {F::kStg, "3\n0 0 1 2\n1 3 1 0\n2 3 1 1\n",
       "in:2: STG: the predecessors of task 0 form a cycle"},
      {F::kStg, "3\n0 0 0\n1 3 1 0\n",
       "in:1: STG: the count line says 3 tasks, but 2 task lines follow (expected 3, or 5 with the "
       "dummy entry and exit)"},
      {F::kStg, "1\n0 0 0\n#\n1 3 1 0\n", "in:4: STG: a task line after the comment lines"},
      {F::kStg, "9223372036854775807\n0 0 0\n",
       "in:1: STG: the count line says 9223372036854775807 tasks, but 1 task lines follow "
       "(expected 9223372036854775807, or 9223372036854775809 with the dummy entry and exit)"},
      {F::kStg, "1\n0 0 0\n1 99999999999999999999 0\n",
       "in:3: STG: '99999999999999999999' is outside the 64-bit range"},
      {F::kStg, "1\n0 0 0\n1 " + std::string(200, 'x') + " 0\n",
       "in:3: STG: '" + std::string(77, 'x') + "...' is not an integer"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, " + std::string(200, '7') + "\n",
       "in:2: nptest: field 8 '" + std::string(77, '7') + "...' is outside the 64-bit range"},
      {F::kNptest, "1, 1, 0, 0, 1, 1, 5, 5\n",
       "in:1: nptest: the first line must be the header \"Task ID, Job ID, Arrival min, Arrival "
       "max, Cost min, Cost max, Deadline, Priority\""},
      // Without the header, a first row with a column too many or too few is no header either.
      {F::kNptest, "1, 1, 0, 0, 1, 1, 5\n2, 1, 0, 0, 1, 1, 5, 5\n",
       "in:1: nptest: the first line must be the header \"Task ID, Job ID, Arrival min, Arrival "
       "max, Cost min, Cost max, Deadline, Priority\""},
      {F::kNptest, "garbage\n",
       "in:1: nptest: the header has 1 fields where 8 belong (Task ID, Job ID, Arrival min, "
       "Arrival max, Cost min, Cost max, Deadline, Priority)"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5\n",
       "in:2: nptest: 7 fields where 8 belong (Task ID, Job ID, Arrival min, Arrival max, Cost "
       "min, Cost max, Deadline, Priority)"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, 5.5\n",
       "in:2: nptest: field 8 '5.5' is not an integer"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 2, 1, 1, 5, 5\n",
       "in:2: nptest: task 1 job 1 has release jitter [0, 2]; choose the arrival with the release "
       "option (min or max)"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, 5\n1, 1, 0, 0, 1, 1, 5, 5\n",
       "in:3: nptest: a second row for task 1 job 1"},
      {F::kNptest, std::string(kHeader) + "1, 1, 3, 2, 1, 1, 5, 5\n",
       "in:2: nptest: task 1 job 1: arrival min 3 is above arrival max 2"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 2, 1, 5, 5\n",
       "in:2: nptest: task 1 job 1: cost min 2 is above cost max 1"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 0, 0, 5, 5\n", "in:2: lo_wcet>0"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, 5\n" + kPrecHeader + "1, 1, 2, 1\n",
       "prec:2: nptest: successor task 2 job 1 is not in in"},
      {F::kNptest,
       std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, 5\n2, 1, 0, 0, 1, 1, 5, 5\n" + kPrecHeader +
           "1, 1, 2, 1\n2, 1, 1, 1\n",
       "prec:3: Cyclic path in task graph!"},
  };
  for (const Case& c : cases) EXPECT_EQ(readFailure(c, false), c.expected) << c.text;
}

// Every reader names a byte order mark in the words of the instance file reader, and input
// bytes that are not UTF-8 reach a message as \xNN (whole UTF-8 characters as they are).
TEST(Interchange, ByteOrderMarksAndInvalidUtf8AreNamedAlike) {
  const std::string bom = "\xef\xbb\xbf";
  const std::string bomWords =
      ":1: the file starts with a UTF-8 byte order mark (BOM), which is not supported; remove it";
  const std::string nptestJob = std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, 5\n";
  const std::vector<Case> cases = {
      {F::kNative, bom + "0 10 1 2 2\n",
       "in" + bomWords + " (success && \"Job instance read error!\")"},
      {F::kJson, bom + "{\"nodes\": []}", "in" + bomWords},
      {F::kDot, bom + "digraph { }", "in" + bomWords},
      {F::kStg, bom + "1\n0 0 0\n1 3 1 0\n", "in" + bomWords},
      {F::kNptest, bom + nptestJob, "in" + bomWords},
      {F::kNptest, nptestJob + "--\n" + bom + kPrecHeader, "prec" + bomWords},
      {F::kMcdag, bom + "<mcsystem/>", "in" + bomWords},
      {F::kJson, "{\"nodes\": [\xff]}", "in:1: JSON: unexpected character '\\xff'"},
      {F::kDot, "digraph {\n caf\xe9 [arrival=x] }",
       "in:2: DOT: node caf\\xe9: arrival=\"x\" is not an integer"},
      {F::kDot, "digraph {\n caf\xc3\xa9 [arrival=\"\xc3\"] }",
       "in:2: DOT: node caf\xc3\xa9: arrival=\"\\xc3\" is not an integer"},
      {F::kStg, "1\n0 0 0\n1 \xed\xa0\x80 0\n", "in:3: STG: '\\xed\\xa0\\x80' is not an integer"},
      {F::kNptest, std::string(kHeader) + "1, 1, 0, 0, 1, 1, 5, \xf0\x9f\x98\n",
       "in:2: nptest: field 8 '\\xf0\\x9f\\x98' is not an integer"},
      {F::kMcdag,
       "<mcsystem>\n<mcdag name=\"d\" deadline=\"9\">\n<actor name=\"caf\xe9\">\n"
       "<wcet number=\"0\">\x01</wcet></actor></mcdag></mcsystem>",
       "in:4: MC-DAG: actor caf\\xe9: LO budget '\\x01' is not an integer"},
  };
  for (const Case& c : cases) EXPECT_EQ(readFailure(c, true), c.expected) << c.text;
}

// One line of an MC-DAG system: an actor with its two budgets, or a port.
std::string mcdagActor(const std::string& name, const std::string& lo, const std::string& hi) {
  return "<actor name=\"" + name + "\"><wcet number=\"0\">" + lo + "</wcet><wcet number=\"1\">" +
         hi + "</wcet></actor>\n";
}

std::string mcdagPort(const std::string& from, const std::string& to) {
  return "<port srcActor=\"" + from + "\" dstActor=\"" + to + "\"/>\n";
}

// A system of one DAG d: <mcdag> on line 2, `body` from line 3.
std::string oneDag(const std::string& body, const std::string& deadline = "10") {
  return "<mcsystem>\n<mcdag name=\"d\" deadline=\"" + deadline + "\">\n" + body +
         "</mcdag>\n</mcsystem>\n";
}

TEST(Mcdag, RefusalsNameTheFileLineAndActor) {
  const std::string ab = mcdagActor("a", "2", "4") + mcdagActor("b", "3", "0");  // lines 3, 4
  // A DAG whose 8 actors each precede every later one: 28 ports.
  std::string complete;
  for (int a = 0; a < 8; ++a) complete += mcdagActor("n" + std::to_string(a), "1", "0");
  for (int a = 0; a < 8; ++a)
    for (int b = a + 1; b < 8; ++b)
      complete += mcdagPort("n" + std::to_string(a), "n" + std::to_string(b));
  const std::string over = " over the hyperperiod ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "in:1: MC-DAG: not well-formed XML: No document element found"},
      {"<mcsystem>\n<mcdag name=\"d\" deadline=\"10\">\n</mcsystem>\n",
       "in:3: MC-DAG: not well-formed XML: Start-end tags mismatch"},
      {"<system/>", "in:1: MC-DAG: the root element is <system>, not <mcsystem>"},
      {"<mcsystem/>\n<mcsystem/>\n",
       "in:2: MC-DAG: a second root element <mcsystem>; the file holds one <mcsystem>"},
      {oneDag(mcdagActor("a", "0", "0")), "in:3: MC-DAG: actor a: LO budget 0 is below 1"},
      {oneDag(mcdagActor("a", "11", "0")),
       "in:3: MC-DAG: actor a: LO budget 11 is beyond the period 10 of DAG d"},
      {oneDag(mcdagActor("a", "99999999999999999999", "0")),
       "in:3: MC-DAG: actor a: LO budget 99999999999999999999 is beyond the period 10 of DAG d"},
      {oneDag(mcdagActor("a", "5", "3")),
       "in:3: MC-DAG: actor a: HI budget 3 is below its LO budget 5 (a HI budget of 0 marks a "
       "LO actor)"},
      {oneDag(mcdagActor("a", "5", "-1")),
       "in:3: MC-DAG: actor a: HI budget -1 is below its LO budget 5 (a HI budget of 0 marks a "
       "LO actor)"},
      {oneDag(mcdagActor("a", "5", "12")),
       "in:3: MC-DAG: actor a: HI budget 12 is beyond the period 10 of DAG d"},
      {oneDag(mcdagActor("a", "4.5", "0")),
       "in:3: MC-DAG: actor a: LO budget '4.5' is not an integer"},
      {oneDag("<actor name=\"a\">\n<wcet number=\"0\">1</wcet>\n<wcet number=\"2\">3</wcet>\n"
              "</actor>\n"),
       "in:5: MC-DAG: actor a: a budget of level 2; only two levels can be expressed, 0 (LO) "
       "and 1 (HI)"},
      {oneDag("<actor name=\"a\">\n<wcet number=\"lo\">1</wcet>\n</actor>\n"),
       "in:4: MC-DAG: actor a: <wcet number=\"lo\"> names no level; 0 is LO, 1 is HI"},
      {oneDag("<actor name=\"a\">\n<wcet>1</wcet>\n</actor>\n"),
       "in:4: MC-DAG: a <wcet> of actor a has no number"},
      {oneDag("<actor name=\"a\">\n<wcet number=\"1\">4</wcet>\n</actor>\n"),
       "in:3: MC-DAG: actor a has no LO budget <wcet number=\"0\">"},
      {oneDag("<actor name=\"a\">\n<wcet number=\"0\">1</wcet>\n<wcet number=\"0\">2</wcet>\n"
              "</actor>\n"),
       "in:5: MC-DAG: actor a: a second LO budget (the first is on line 4)"},
      {oneDag("<actor>\n</actor>\n"), "in:3: MC-DAG: an <actor> has no name"},
      {oneDag(ab + mcdagActor("a", "1", "0")),
       "in:5: MC-DAG: DAG d: a second actor named a (the first is on line 3)"},
      {oneDag(ab + "<ports>\n" + mcdagPort("a", "z") + "</ports>\n"),
       "in:6: MC-DAG: port a -> z: DAG d has no actor z"},
      {oneDag(ab + "<port srcActor=\"a\"/>\n"), "in:5: MC-DAG: a <port> has no dstActor"},
      {oneDag(ab + mcdagPort("a", "b") + "<ports>\n" + mcdagPort("b", "a") + "</ports>\n"),
       "in:7: b -> a would close a cycle: a already precedes b (Cyclic path in task graph!)"},
      {oneDag(ab + mcdagPort("b", "b")),
       "in:5: b -> b makes a job precede itself (Cyclic path in task graph!)"},
      {oneDag(ab, "0"), "in:2: MC-DAG: DAG d: deadline 0 is below 1"},
      {oneDag(ab, "ten"), "in:2: MC-DAG: DAG d: deadline 'ten' is not an integer"},
      {oneDag(ab, "3000000000"),
       "in:2: MC-DAG: DAG d: deadline 3000000000 is beyond 2147483647, the latest time of a job "
       "set"},
      {"<mcsystem>\n<mcdag name=\"d\">\n</mcdag>\n</mcsystem>",
       "in:2: MC-DAG: DAG d has no deadline"},
      {"<mcsystem>\n<mcdag deadline=\"5\">\n</mcdag>\n</mcsystem>",
       "in:2: MC-DAG: an <mcdag> has no name"},
      // 65536 x 65537 is beyond the 32-bit times.
      {"<mcsystem>\n<mcdag name=\"d\" deadline=\"65536\"/>\n<mcdag name=\"e\" "
       "deadline=\"65537\"/>\n</mcsystem>",
       "in:3: MC-DAG: DAG e: the hyperperiod (the least common multiple of the deadlines) goes "
       "beyond 2147483647, the latest time of a job set"},
      {"<mcsystem>\n<mcdag name=\"d\" deadline=\"1\">\n" + mcdagActor("a", "1", "0") +
           "</mcdag>\n<mcdag name=\"e\" deadline=\"30000000\"/>\n</mcsystem>",
       "in:2: MC-DAG: DAG d: 30000000 instances of 1 actor" + over +
           "30000000 bring the system to 30000000 jobs, more than the 20000000 a job set may "
           "hold"},
      {"<mcsystem>\n<mcdag name=\"d\" deadline=\"1\">\n" + complete +
           "</mcdag>\n<mcdag name=\"e\" deadline=\"2000000\"/>\n</mcsystem>",
       "in:2: MC-DAG: DAG d: 2000000 instances of 28 ports" + over +
           "2000000 bring the system to 56000000 arcs, more than the 50000000 a job set may hold"},
      {"<mcsystem>\n<cores number=\"0\"/>\n</mcsystem>",
       "in:2: MC-DAG: <cores number=\"0\"> is not a processor count in 1..2147483647"},
      {"<mcsystem>\n<cores number=\"2\"/>\n<cores number=\"4\"/>\n</mcsystem>",
       "in:3: MC-DAG: a second <cores> (the first is on line 2)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(readFailure({F::kMcdag, c.first, ""}, true), c.second) << c.first;
}

// Random systems of 1 to 3 DAGs, written with the variants the reader accepts (ports bare,
// in <ports> or deeper; a LO actor's HI budget 0 or left out; budgets in either order;
// elements it does not know), against the job set unrolled here from the same draws.
TEST(Mcdag, SystemsUnrollOverTheHyperperiod) {
  std::mt19937 rng(1207);
  const int periods[] = {20, 30, 40, 60};
  for (int round = 0; round < 40; ++round) {
    std::vector<std::pair<int, RandomDag>> dags(1 + rng() % 3);
    int hyperperiod = 1;
    for (auto& [period, dag] : dags) {
      period = periods[rng() % 4];
      dag = randomDag(rng, 1 + static_cast<int>(rng() % 6), 2,
                      [](std::mt19937&) { return std::make_pair(0, 1); });
      hyperperiod = std::lcm(hyperperiod, period);
    }
    const int cores = static_cast<int>(rng() % 5);  // 0: no <cores>
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mcsystem>\n";
    std::vector<JobSpec> jobs;
    ArcList arcs;
    for (size_t d = 0; d < dags.size(); ++d) {
      const auto& [period, dag] = dags[d];
      const std::string prefix = "D" + std::to_string(d) + "N";
      xml += "<mcdag name=\"D" + std::to_string(d) + "\" deadline=\"" + std::to_string(period) +
             "\">\n";
      for (size_t v = 0; v < dag.jobs.size(); ++v) {
        const JobSpec& job = dag.jobs[v];
        const std::string lo = "<wcet number=\"0\">" + std::to_string(job.lo) + "</wcet>";
        const std::string hi = job.criticality == CRIT_HI
                                   ? "<wcet number=\"1\">" + std::to_string(job.hi) + "</wcet>"
                               : rng() % 2 ? "<wcet number=\"1\">0</wcet>"
                                           : "";
        xml += "<actor name=\"" + prefix + std::to_string(v) + "\">" +
               (rng() % 2 ? lo + hi : hi + lo) + "</actor>\n";
      }
      const auto wrapping = static_cast<unsigned>(rng() % 3);
      xml += wrapping == 0 ? "" : wrapping == 1 ? "<ports>\n" : "<links><group>\n";
      for (const auto& [from, to] : dag.arcs)
        xml += "<port name=\"p\" srcActor=\"" + prefix + std::to_string(from) +
               "\" dstActor=\"" + prefix + std::to_string(to) + "\"/>\n";
      xml += wrapping == 0 ? "" : wrapping == 1 ? "</ports>\n" : "</group></links>\n";
      xml += "<note>not read</note>\n</mcdag>\n";
      // The oracle: instance k of each actor in [kD, (k+1)D] with the arcs of that instance.
      for (int release = 0; release < hyperperiod; release += period) {
        const int first = static_cast<int>(jobs.size());
        for (JobSpec job : dag.jobs) {
          job.arrival = release;
          job.deadline = release + period;
          jobs.push_back(job);
        }
        for (const auto& [from, to] : dag.arcs) arcs.emplace_back(first + from, first + to);
      }
    }
    if (cores > 0) xml += "<cores number=\"" + std::to_string(cores) + "\"/>\n";
    xml += "</mcsystem>\n";
    SCOPED_TRACE(xml);
    JobInstance expected = build(jobs, arcs);
    std::istringstream in(xml);
    int readCores = -1;
    JobInstance read = mcjobs::readMcdag(in, "sys.xml", &readCores);
    EXPECT_EQ(readCores, cores);
    EXPECT_EQ(mcjobs::writeNative(read), mcjobs::writeNative(expected));
  }
}

// A Python 3 with the module, or "" (the Debian interpreter first: the packages live there).
std::string pythonWith(const std::string& module) {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (std::system(
            (std::string(python) + " -c 'import " + module + "' >/dev/null 2>&1").c_str()) == 0)
      return python;
  return "";
}

TEST(InterchangePeers, GraphvizParsesOurDotAndWeReadItsCanonicalForm) {
  if (std::system("command -v dot >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Graphviz 'dot' is not installed (Debian package graphviz)";
  testfiles::ScratchDir dir;
  std::mt19937 rng(77);
  for (int round = 0; round < 8; ++round) {
    JobInstance instance = randomInstance(rng, false);
    for (int variant = 0; variant < 3; ++variant) {
      const std::string in = dir.write(
          "g.dot", mcjobs::writeDot(instance, variant == 2 ? CRIT_HI : CRIT_LO, variant > 0));
      ASSERT_EQ(std::system(("dot -Tcanon '" + in + "' -o '" + dir.file("c.dot") + "'").c_str()),
                0);
    }
    // Graphviz rewrites the last full drawing in its own layout; it still reads back.
    dir.write("g.dot", mcjobs::writeDot(instance));
    ASSERT_EQ(
        std::system(
            ("dot -Tcanon '" + dir.file("g.dot") + "' -o '" + dir.file("c.dot") + "'").c_str()),
        0);
    JobInstance canonical = readText(testfiles::readFile(dir.file("c.dot")),
                                     [](std::istream& in) { return mcjobs::readDot(in, "c.dot"); });
    EXPECT_EQ(mcjobs::writeNative(canonical), mcjobs::writeNative(instance));
  }
}

TEST(InterchangePeers, JsonMatchesTheSchemaAndLoadsInNetworkX) {
  const std::string python = pythonWith("jsonschema");
  if (python.empty()) GTEST_SKIP() << "python3-jsonschema is not installed";
  testfiles::ScratchDir dir;
  std::mt19937 rng(99);
  std::string files;
  for (int k = 0; k < 6; ++k) {
    JobInstance instance = randomInstance(rng, false);
    files += " '" + dir.write("i" + std::to_string(k) + ".json", mcjobs::writeJson(instance)) + "'";
  }
  JobInstance empty;
  files += " '" + dir.write("empty.json", mcjobs::writeJson(empty)) + "'";
  const std::string check =
      "import json, sys, jsonschema\n"
      "schema = json.load(open(sys.argv[1]))\n"
      "jsonschema.Draft7Validator.check_schema(schema)\n"
      "for name in sys.argv[2:]:\n"
      "    jsonschema.validate(json.load(open(name)), schema)\n"
      "bad = {'nodes': [{'id': 'a', 'arrival': 0, 'deadline': 2 ** 31, 'criticality': 'LO',"
      " 'lo_wcet': 1, 'hi_wcet': 1}], 'links': []}\n"
      "sys.exit(0 if not jsonschema.Draft7Validator(schema).is_valid(bad) else 5)\n";
  dir.write("check.py", check);
  EXPECT_EQ(
      std::system((python + " '" + dir.file("check.py") + "' '" + kSchema + "'" + files).c_str()),
      0);

  // NetworkX 2.8 (Debian bookworm) takes the links under its default key "links".
  const std::string networkx = pythonWith("networkx");
  if (networkx.empty()) GTEST_SKIP() << "python3-networkx is not installed";
  JobInstance instance = randomInstance(rng, false);
  dir.write("g.json", mcjobs::writeJson(instance));
  dir.write("nx.py",
            "import json, sys, networkx\n"
            "g = networkx.node_link_graph(json.load(open(sys.argv[1])))\n"
            "print(g.is_directed(), g.number_of_nodes(), g.number_of_edges(), "
            "g.nodes['J1']['lo_wcet'])\n");
  const std::string out = dir.file("nx.out");
  ASSERT_EQ(std::system((networkx + " '" + dir.file("nx.py") + "' '" + dir.file("g.json") +
                         "' > '" + out + "'")
                            .c_str()),
            0);
  EXPECT_EQ(testfiles::readFile(out), "True " + std::to_string(instance.numJobs()) + " " +
                                          std::to_string(instance.getAllArcs().size()) + " " +
                                          std::to_string(instance.at(0)->lo_wcet) + "\n");
}

}  // namespace
