// Runs the built mcjobs program as a user would: through a shell, with files,
// pipes and exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "job.h"
#include "support/files.h"
#include "support/scratch_fixture.h"
#include "support/tool_runner.h"

namespace {

const std::string kCli = MCJOBS_CLI;
const std::string kExample = std::string(MCJOBS_EXAMPLES_DIR) + "/avionics.txt";

// The four-job set of the reports: J1 LO, J2..J4 HI; J1 -> J2 is LO only, J2 -> J3 at both levels.
const char* const kFourJobs =
    "0 10 1 2 2\n0 20 2 3 5\n5 30 2 4 6\n0 40 2 1 3\n( J1 J2 )\n( J2 J3 )\n";
// The load example: no arcs, load 0.75 at LO.
const char* const kLoadJobs = "0 10 1 2 2\n2 6 1 3 3\n4 12 2 2 4\n";

using Result = testtools::RunResult;
using testfiles::readFile;
using testfiles::writeFile;

// Command lines say MCJOBS for the program.
class Cli : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    nameProgram("MCJOBS", kCli);
  }
  Result run(const std::string& args, const std::string& input = "") const {
    return shell("MCJOBS " + args, input);
  }
};

TEST_F(Cli, ShowAndDepsPrintTheLibraryReports) {
  file("four.txt", kFourJobs);
  Result show = run("show four.txt");
  EXPECT_EQ(show.status, 0);
  EXPECT_EQ(
      show.out,
      "J1 : id=0 (0, 10, 1, (2, 2))\nJ2 : id=1 (0, 20, 2, (3, 5))\nJ3 : id=2 (5, 30, 2, (4, 6))\n"
      "J4 : id=3 (0, 40, 2, (1, 3))\n( J1 J2 )\n( J2 J3 )\n");

  Result deps = run("deps -", kFourJobs);
  EXPECT_EQ(deps.status, 0);
  EXPECT_EQ(deps.out,
            "Job: J1\n\tSuccessors [LO ] :J2 \n\tTrans Successors [LO ] :J2 J3 \n"
            "\tPredecessors [LO ] :\n\tTrans Predecessors [LO ] :\n\n"
            "Job: J2\n\tSuccessors [LO ] :J3 \n\tTrans Successors [LO ] :J3 \n"
            "\tPredecessors [LO ] :J1 \n\tTrans Predecessors [LO ] :J1 \n\n"
            "\tSuccessors [HI ] :J3 \n\tTrans Successors [HI ] :J3 \n"
            "\tPredecessors [HI ] :\n\tTrans Predecessors [HI ] :\n\n"
            "Job: J3\n\tSuccessors [LO ] :\n\tTrans Successors [LO ] :\n"
            "\tPredecessors [LO ] :J2 \n\tTrans Predecessors [LO ] :J1 J2 \n\n"
            "\tSuccessors [HI ] :\n\tTrans Successors [HI ] :\n"
            "\tPredecessors [HI ] :J2 \n\tTrans Predecessors [HI ] :J2 \n\n"
            "Job: J4\n\t[LO]: not connected \n\n\t[HI]: not connected \n\n");
  EXPECT_EQ(deps.err, "");
}

TEST_F(Cli, CheckReportsEveryFileWithLineNumbers) {
  file("good.txt", kFourJobs);
  file("blank.txt", "0 10 1 2 2\n\n");
  file("cycle.txt", "0 10 1 2 2\n0 10 1 2 2\n( J1 J2 )\n( J2 J1 )\n");
  file("window.txt", "0 10 1 2 2\n0 0 1 1 1\n");
  Result result = run("check good.txt blank.txt cycle.txt missing.txt window.txt - ", kLoadJobs);
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out,
            "good.txt: ok, 4 jobs (1 LO, 3 HI), 2 arcs\n"
            "blank.txt:2: blank line; blank lines are not allowed (success && \"Job instance "
            "read error!\")\n"
            "cycle.txt:4: the arc ( J2 J1 ) would close a cycle: J1 already precedes J2 (Cyclic "
            "path in task graph!)\n"
            "missing.txt: cannot open file: No such file or directory\n"
            "window.txt:2: J2: the deadline 0 is not after the arrival 0 (deadline>arrival)\n"
            "<stdin>: ok, 3 jobs (2 LO, 1 HI), 0 arcs\n");

  EXPECT_EQ(run("check good.txt good.txt").status, 0);
  Result badStdin = run("check -", "0 10 1 2 2\n( J1 J7 )\n");
  EXPECT_EQ(badStdin.status, 3);
  EXPECT_EQ(badStdin.out,
            "<stdin>:2: arc names job J7, but the file has 1 job (to_id >=0 && to_id < "
            "numJobs())\n");
}

TEST_F(Cli, ScaleMatchesDilateJobs) {
  for (const std::string factor : {"0", "1", "3", "-0", "1000"}) {
    SCOPED_TRACE(factor);
    const std::string expected = "dilate-" + factor + ".txt";
    ASSERT_EQ(shell("'" MCJOBS_DILATEJOBS "' '" + kExample + "' " + factor + " " + expected).status,
              0);
    Result toFile = run("scale '" + kExample + "' " + factor + " -o scaled.txt");
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(readFile(path("scaled.txt")), readFile(path(expected)));
    Result piped = shell("cat '" + kExample + "' | MCJOBS scale - " + factor + " -o -");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, readFile(path(expected)));
  }
  for (const std::string factor : {"-1", "abc", "3x", "2147483648", "''"}) {
    SCOPED_TRACE(factor);
    Result result = run("scale '" + kExample + "' " + factor);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "mcjobs: Parse error for scale\n");
    EXPECT_EQ(shell("'" MCJOBS_DILATEJOBS "' '" + kExample + "' " + factor + " x.txt").status, 2);
  }
  // A product beyond 32 bits is a failure, and the previous output survives.
  file("kept.txt", "kept\n");
  EXPECT_EQ(run("scale '" + kExample + "' 2147483647 -o kept.txt").status, 3);
  EXPECT_EQ(readFile(path("kept.txt")), "kept\n");
}

TEST_F(Cli, StatsJsonHoldsEveryFigure) {
  file("four.txt", kFourJobs);
  Result result = run("stats four.txt --json");
  ASSERT_EQ(result.status, 0) << result.err;
  const nlohmann::json doc = nlohmann::json::parse(result.out);
  EXPECT_EQ(doc["jobs"]["total"], 4);
  EXPECT_EQ(doc["jobs"]["lo"], 1);
  EXPECT_EQ(doc["jobs"]["hi"], 3);
  EXPECT_EQ(doc["arcs"]["lo"], 2);
  EXPECT_EQ(doc["arcs"]["hi"], 1);
  EXPECT_EQ(doc["closure_pairs"]["lo"], 3);  // J1->J2, J1->J3, J2->J3
  EXPECT_EQ(doc["closure_pairs"]["hi"], 1);  // J2->J3
  EXPECT_EQ(doc["longest_path"]["lo"]["length"], 2 + 3 + 4);
  EXPECT_EQ(doc["longest_path"]["lo"]["jobs"], nlohmann::json({"J1", "J2", "J3"}));
  EXPECT_EQ(doc["longest_path"]["hi"]["length"], 5 + 6);
  EXPECT_EQ(doc["longest_path"]["hi"]["jobs"], nlohmann::json({"J2", "J3"}));
  EXPECT_EQ(doc["total_budget"]["lo"], 2 + 3 + 4 + 1);
  EXPECT_EQ(doc["total_budget"]["hi"], 5 + 6 + 3);
  EXPECT_EQ(doc["horizon"]["start"], 0);
  EXPECT_EQ(doc["horizon"]["end"], 40);
  EXPECT_DOUBLE_EQ(doc["load"]["lo"].get<double>(), 9.0 / 30);   // J1..J3 in [0, 30]
  EXPECT_DOUBLE_EQ(doc["load"]["hi"].get<double>(), 11.0 / 30);  // J2, J3 in [0, 30]
  EXPECT_DOUBLE_EQ(doc["utilization"]["lo"].get<double>(), 10.0 / 40);
  EXPECT_DOUBLE_EQ(doc["utilization"]["hi"].get<double>(), 14.0 / 40);
  const nlohmann::json two = nlohmann::json::parse(run("stats four.txt --json --processors 2").out);
  EXPECT_DOUBLE_EQ(two["utilization"]["hi"].get<double>(), 14.0 / 40 / 2);

  Result text = run("stats -", kFourJobs);
  EXPECT_EQ(text.out,
            "jobs: 4 (1 LO, 3 HI)\narcs: LO 2, HI 1\nclosure pairs: LO 3, HI 1\n"
            "longest path: LO 9 (J1 J2 J3), HI 11 (J2 J3)\ntotal budget: LO 10, HI 14\n"
            "horizon: [0, 40]\nutilization: LO 0.25, HI 0.35\nload: LO 0.3, HI 0.366667\n");

  const nlohmann::json infeasible =
      nlohmann::json::parse(run("stats - --json", "0 10 1 6 6\n0 10 1 6 6\n( J1 J2 )\n").out);
  EXPECT_EQ(infeasible["load"]["lo"], "infeasible");
  const nlohmann::json empty = nlohmann::json::parse(run("stats - --json", "").out);
  EXPECT_TRUE(empty["horizon"].is_null());
  EXPECT_TRUE(empty["utilization"].is_null());
  EXPECT_EQ(empty["longest_path"]["lo"]["length"], 0);
}

TEST_F(Cli, LoadPrintsTheValueOrInfeasible) {
  file("three.txt", kLoadJobs);
  file("chain.txt", "0 10 1 6 6\n0 10 1 6 6\n( J1 J2 )\n");
  file("pair.txt", "0 10 1 6 6\n0 10 1 6 6\n");
  file("mixed.txt", "0 10 1 4 4\n0 10 2 2 8\n( J1 J2 )\n");
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"three.txt", "0.75\n"},
      {"three.txt --level hi", "0.5\n"},
      {"three.txt -p 2", "1.5\n"},
      {"three.txt --processors 3", "2.25\n"},
      {"three.txt --jobs J1,J3", "0.333333\n"},
      {"three.txt --jobs J3 --jobs J1", "0.333333\n"},
      {"three.txt --mixed", "0.75\n"},
      {"pair.txt", "1.2\n"},
      {"chain.txt", "infeasible\n"},
      {"mixed.txt", "0.6\n"},
      {"mixed.txt --mixed", "infeasible\n"},
      {"mixed.txt --level HI", "0.8\n"},
      {"- --level lo", "0.75\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    Result result = run("load " + row.first, kLoadJobs);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, row.second);
    EXPECT_EQ(result.err, "");
  }

  const nlohmann::json doc =
      nlohmann::json::parse(run("load three.txt --jobs J3,J1 -p 2 --json").out);
  EXPECT_EQ(doc["level"], "lo");
  EXPECT_EQ(doc["mixed"], false);
  EXPECT_EQ(doc["processors"], 2);
  EXPECT_EQ(doc["jobs"], nlohmann::json({"J1", "J3"}));
  EXPECT_EQ(doc["feasible"], true);
  EXPECT_DOUBLE_EQ(doc["load"].get<double>(), 2 * 6.0 / (12 * 2));
  const nlohmann::json none = nlohmann::json::parse(run("load chain.txt --json").out);
  EXPECT_EQ(none["feasible"], false);
  EXPECT_EQ(none["load"], "infeasible");
}

TEST_F(Cli, WindowsTightenOrNameTheCollapsingJob) {
  const std::string chain = "5 40 1 3 3\n0 40 1 4 4\n8 40 1 2 2\n( J1 J2 )\n( J2 J3 )\n";
  Result plain = run("windows - --level lo", chain);
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, "5 40 1 3 3\n5 40 1 4 4\n8 40 1 2 2\n( J1 J2 )\n( J2 J3 )\n");

  // The trace goes to stderr, so stdout stays a clean instance file.
  Result traced = run("windows - --level lo --trace --method transitive", chain);
  EXPECT_EQ(traced.out, plain.out);
  EXPECT_EQ(traced.err.substr(0, traced.err.find('\n') + 1),
            "[Propagate Arrival] J1: 5 40 1 3 3 ---> J2: 0 40 1 4 4\n");

  Result alap = run("windows - --level lo --method asap-alap -o out.txt",
                    "0 20 1 5 5\n0 20 1 5 5\n( J1 J2 )\n");
  EXPECT_EQ(alap.status, 0);
  EXPECT_EQ(alap.out, "");
  EXPECT_EQ(readFile(path("out.txt")), "0 15 1 5 5\n5 20 1 5 5\n( J1 J2 )\n");

  Result squeezed = run("windows - --level lo", "30 40 1 5 5\n0 32 1 4 4\n( J1 J2 )\n");
  EXPECT_EQ(squeezed.status, 3);
  EXPECT_EQ(squeezed.out, "");
  EXPECT_EQ(squeezed.err,
            "mcjobs: <stdin>: window of J2 collapses at LO: [30, 32] cannot hold budgets 4/4 "
            "(density_lo <=1)\n");
  Result tooShort =
      run("windows - --level lo --method asap-alap", "0 10 1 6 6\n0 10 1 6 6\n( J1 J2 )\n");
  EXPECT_EQ(tooShort.status, 3);
  EXPECT_NE(tooShort.err.find("window of J1 collapses at LO"), std::string::npos) << tooShort.err;
  // At LO a HI job's window must still hold its HI budget to stay a valid instance.
  Result hiBudget =
      run("windows - --level lo --method asap-alap", "0 20 2 5 16\n0 20 1 5 5\n( J1 J2 )\n");
  EXPECT_EQ(hiBudget.status, 3);
  EXPECT_NE(hiBudget.err.find("window of J1 collapses at LO: [0, 15]"), std::string::npos)
      << hiBudget.err;
}

// A failed propagation leaves the instance as it was; the diagnostic still
// shows the window the rejected change would have made, for deadlines too.
TEST_F(Cli, WindowsNamesTheJobWhoseDeadlineCollapses) {
  Result squeezed = run("windows - --level lo", "0 40 1 5 5\n0 3 1 2 2\n( J1 J2 )\n");
  EXPECT_EQ(squeezed.status, 3);
  EXPECT_EQ(squeezed.out, "");
  EXPECT_EQ(squeezed.err,
            "mcjobs: <stdin>: window of J1 collapses at LO: [0, 3] cannot hold budgets 5/5 "
            "(density_lo <=1)\n");
  // Arrivals come first: J2 rises to 10, then J3's deadline squeezes it.
  Result after =
      run("windows - --level lo", "10 50 1 2 2\n0 40 1 5 5\n0 14 1 2 2\n( J1 J2 )\n( J2 J3 )\n");
  EXPECT_EQ(after.err,
            "mcjobs: <stdin>: window of J2 collapses at LO: [10, 14] cannot hold budgets 5/5 "
            "(density_lo <=1)\n");
}

struct DotGraph {
  std::map<std::string, std::string> shapes;                        // node -> shape
  std::map<std::pair<std::string, std::string>, std::string> arcs;  // arc -> style
};

DotGraph parseDot(const std::string& text) {
  static const std::regex node(R"(^  (J\d+) \[label="J\d+\\n\[\d+, \d+\]\\n[^"]*", shape=(\w+))");
  static const std::regex arc(R"(^  (J\d+) -> (J\d+) \[style=(\w+))");
  DotGraph graph;
  std::istringstream lines(text);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, match, node)) graph.shapes[match[1]] = match[2];
    if (std::regex_search(line, match, arc)) graph.arcs[{match[1], match[2]}] = match[3];
  }
  return graph;
}

TEST_F(Cli, DotDrawsEveryJobAndArcWithItsLevel) {
  Result result = run("dot '" + kExample + "'");
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind("digraph jobs {\n", 0), 0u);
  JobInstance instance;
  ASSERT_TRUE(instance.read(kExample.c_str()));
  const DotGraph graph = parseDot(result.out);
  ASSERT_EQ(graph.shapes.size(), static_cast<size_t>(instance.numJobs()));
  for (const Job& job : instance)
    EXPECT_EQ(graph.shapes.at(job.name()), job.criticality == CRIT_HI ? "box" : "ellipse");
  ASSERT_EQ(graph.arcs.size(), instance.getAllArcs().size());
  for (const Arc& arc : instance.getAllArcs()) {
    const bool bothHi = instance.at(arc.from_id)->criticality == CRIT_HI &&
                        instance.at(arc.to_id)->criticality == CRIT_HI;
    EXPECT_EQ(graph.arcs.at({Job::nameFromId(arc.from_id), Job::nameFromId(arc.to_id)}),
              bothHi ? "solid" : "dashed");
  }

  Result toFile = run("dot - --level hi -o hi.dot", readFile(kExample));
  EXPECT_EQ(toFile.out, "");
  const DotGraph hi = parseDot(readFile(path("hi.dot")));
  EXPECT_EQ(hi.shapes.size(), instance.numJobs(CRIT_HI));
  for (const auto& arc : hi.arcs) EXPECT_EQ(arc.second, "solid");

  if (shell("command -v dot").status != 0) GTEST_SKIP() << "Graphviz not installed";
  for (const std::string options : {"", "--reduce", "--level hi --reduce"}) {
    Result svg = shell("MCJOBS dot '" + kExample + "' " + options + " | dot -Tsvg");
    EXPECT_EQ(svg.status, 0) << options << svg.err;
    EXPECT_NE(svg.out.find("<svg"), std::string::npos);
  }
}

TEST_F(Cli, DotReduceKeepsExactlyTheArcsNoLongerPathImplies) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 6; ++round) {
    const int count = 12;
    std::ostringstream text;
    for (int i = 0; i < count; ++i) text << "0 100 1 1 1\n";
    std::vector<std::vector<bool>> arc(count, std::vector<bool>(count, false));
    for (int from = 0; from < count; ++from)
      for (int to = from + 1; to < count; ++to)
        if (std::uniform_int_distribution<int>(0, 9)(random) < 3) {
          arc[from][to] = true;
          text << "( J" << to + 1 << " J" << from + 1 << " )\n";  // ids against the arc direction
        }
    // Oracle: reach[u][v] by paths of any length; an arc is implied when some
    // other successor w of its source reaches its target.
    std::vector<std::vector<bool>> reach = arc;
    for (int via = 0; via < count; ++via)
      for (int u = 0; u < count; ++u)
        for (int v = 0; v < count; ++v)
          if (reach[u][via] && reach[via][v]) reach[u][v] = true;
    std::set<std::pair<std::string, std::string>> expected;
    for (int u = 0; u < count; ++u)
      for (int v = 0; v < count; ++v) {
        if (!arc[u][v]) continue;
        bool implied = false;
        for (int w = 0; w < count; ++w) implied = implied || (w != v && arc[u][w] && reach[w][v]);
        if (!implied) expected.insert({"J" + std::to_string(v + 1), "J" + std::to_string(u + 1)});
      }
    std::set<std::pair<std::string, std::string>> drawn;
    for (const auto& entry : parseDot(run("dot - --reduce", text.str()).out).arcs)
      drawn.insert(entry.first);
    EXPECT_EQ(drawn, expected) << text.str();
  }
}

TEST_F(Cli, ConvertTellsFormatsByExtension) {
  file("four.txt", kFourJobs);
  for (const std::string ext : {"json", "dot", "stg", "csv"})
    EXPECT_EQ(run("convert four.txt -o four." + ext).status, 0) << ext;
  EXPECT_EQ(run("convert four.json").out, kFourJobs);
  EXPECT_EQ(run("convert four.dot -o -").out, kFourJobs);
  EXPECT_EQ(readFile(path("four.dot")), run("dot four.txt").out);  // one writer for both
  // The precedence file beside the job file, written and found again.
  EXPECT_EQ(readFile(path("four.prec.csv")),
            "Predecessor TID, Predecessor JID, Successor TID, Successor JID\n1, 1, 2, 1\n"
            "2, 1, 3, 1\n");
  EXPECT_EQ(run("convert four.csv").out,
            "0 10 1 2 2\n0 20 1 3 3\n5 30 1 4 4\n0 40 1 1 1\n( J1 J2 )\n( J2 J3 )\n");
  Result hi = run("convert - --to nptest --level hi --precedence hi.csv --priority id", kFourJobs);
  EXPECT_EQ(hi.out,
            "Task ID, Job ID, Arrival min, Arrival max, Cost min, Cost max, Deadline, Priority\n"
            "2, 1, 0, 0, 5, 5, 20, 2\n3, 1, 5, 5, 6, 6, 30, 3\n4, 1, 0, 0, 3, 3, 40, 4\n");
  EXPECT_EQ(run("convert - --from stg --to json", readFile(path("four.stg"))).status, 0);

  file("bad.json", "{\"nodes\": [\n  {\"id\": \"a\"}]}");
  Result bad = run("convert bad.json -o out.txt");
  EXPECT_EQ(bad.status, 3);
  EXPECT_EQ(bad.err,
            "mcjobs: bad.json:2: JSON: node a has no \"arrival\" and no default window is given\n");
  EXPECT_FALSE(std::ifstream(path("out.txt")).good());
  EXPECT_NE(::access(path("one.csv").c_str(), F_OK), 0);
  // From nptest, --precedence is the input's: it does not name the output's.
  EXPECT_EQ(run("convert four.csv --to nptest --precedence four.prec.csv").err,
            "mcjobs: writing nptest to stdout needs a precedence file, and from nptest "
            "--precedence names the input's: give OUT a name\nRun with --help for more "
            "information.\n");
  for (const std::string usage :
       {"convert four.txt -o four.zzz", "convert four.txt --to nptest",
        "convert four.txt --to json --deadline 5", "convert four.txt --to xml",
        "convert four.json --default-window 5",
        // The precedence file would replace the job file.
        "convert four.txt -o one.csv --precedence ./one.csv"}) {
    Result result = run(usage);
    EXPECT_EQ(result.status, 1) << usage << result.err;
  }
}

// An MC-DAG system reads wherever an instance file does (.xml, or --from mcdag), schedule takes
// its <cores> unless -p says otherwise, and nothing writes the format.
TEST_F(Cli, McdagSystemsReadWhereInstancesDo) {
  const std::string system = readFile(std::string(MCJOBS_EXAMPLES_DIR) + "/mcdag-system.xml");
  file("sys.xml", system);
  file("sys.txt", run("convert sys.xml").out);
  EXPECT_EQ(run("convert - --from mcdag", system).out, readFile(path("sys.txt")));
  for (const std::string command : {"show", "stats --json", "load", "windows", "dot"})
    EXPECT_EQ(run(command + " sys.xml").out, run(command + " sys.txt").out) << command;
  EXPECT_EQ(run("check sys.xml").out, "sys.xml: ok, 9 jobs (3 LO, 6 HI), 6 arcs\n");
  EXPECT_EQ(run("check - --from mcdag", system).out, "<stdin>: ok, 9 jobs (3 LO, 6 HI), 6 arcs\n");

  const Result byCores = run("schedule sys.xml --json");
  EXPECT_EQ(nlohmann::json::parse(byCores.out)["processors"], 2) << byCores.err;
  EXPECT_EQ(run("schedule sys.xml").out, run("schedule sys.txt -p 2").out);
  EXPECT_EQ(nlohmann::json::parse(run("schedule sys.xml -p 1 --json").out)["processors"], 1);
  const std::string cores = "  <cores number=\"2\"/>\n";
  std::string bare = system;
  bare.erase(bare.find(cores), cores.size());
  file("bare.xml", bare);
  const std::string usage = "\nRun with --help for more information.\n";
  const struct {
    std::string args;
    int status;
    std::string err;
  } refusals[] = {
      {"schedule bare.xml", 1,
       "mcjobs: bare.xml gives no <cores number=\"M\"/>; give the processors with -p M" + usage},
      {"schedule sys.txt", 1, "mcjobs: --processors is required" + usage},
      {"convert sys.txt -o out.xml", 1,
       "mcjobs: MC-DAG system files (mcdag, .xml) can be read, not written; choose another "
       "format for the output" +
           usage},
      {"convert sys.xml --to mcdag", 1,
       "mcjobs: MC-DAG system files (mcdag, .xml) can be read, not written; choose another "
       "format for the output" +
           usage},
      {"load sys.txt --from mcdag", 3,
       "mcjobs: sys.txt:15: MC-DAG: not well-formed XML: No document element found\n"},
  };
  for (const auto& refusal : refusals) {
    const Result result = run(refusal.args);
    EXPECT_EQ(result.status, refusal.status) << refusal.args;
    EXPECT_EQ(result.err, refusal.err) << refusal.args;
  }
  EXPECT_NE(::access(path("out.xml").c_str(), F_OK), 0);
}

TEST_F(Cli, ArchiveRoundTrip) {
  file("four.txt", kFourJobs);
  file("three.txt", kLoadJobs);
  ASSERT_EQ(run("archive add set.jobstar four four.txt").status, 0);
  ASSERT_EQ(run("archive add set.jobstar three -", kLoadJobs).status, 0);
  ASSERT_EQ(run("archive add set.jobstar myfour four.txt").status, 0);
  EXPECT_EQ(readFile(path("set.jobstar")).substr(0, 13), "------\nfour:\n");

  Result list = run("archive list set.jobstar");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "four\nthree\nmyfour\n");
  EXPECT_EQ(run("archive list set.jobstar four").out, "four\nmyfour\n");
  EXPECT_EQ(run("archive list set.jobstar '^four'").out, "four\n");
  EXPECT_EQ(run("archive list set.jobstar nothing").out, "");
  EXPECT_EQ(shell("cat set.jobstar | MCJOBS archive list - 'th.*'").out, "three\n");

  const nlohmann::json entries =
      nlohmann::json::parse(run("archive list - --json", readFile(path("set.jobstar"))).out);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1]["name"], "three");
  EXPECT_EQ(entries[1]["jobs"], 3);
  EXPECT_EQ(entries[1]["arcs"], 0);
  EXPECT_EQ(entries[2]["jobs"], 4);
  EXPECT_EQ(entries[2]["arcs"], 2);

  Result extract = run("archive extract set.jobstar 'f.*' -d out");
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(extract.out, "out/four\nout/myfour\n");
  EXPECT_EQ(readFile(path("out/four")), kFourJobs);
  EXPECT_EQ(readFile(path("out/myfour")), kFourJobs);
  EXPECT_EQ(run("archive extract - three -d out", readFile(path("set.jobstar"))).status, 0);
  EXPECT_EQ(readFile(path("out/three")), kLoadJobs);

  // An entry appended to stdout is the same bytes as one appended to a file.
  file("single.jobstar", "");
  run("archive add single.jobstar four four.txt");
  EXPECT_EQ(run("archive add - four four.txt").out, readFile(path("single.jobstar")));
}

TEST_F(Cli, ArchiveExtractRefusesNamesThatEscape) {
  file("four.txt", kFourJobs);
  for (const std::string name : {"../up", ".hidden", "a/b", "/abs", "..", ".", "ok"})
    ASSERT_EQ(run("archive add set.jobstar '" + name + "' four.txt").status, 0) << name;
  ASSERT_EQ(run("archive add set.jobstar '' four.txt").status, 0);
  run("archive add set.jobstar link four.txt");
  ASSERT_EQ(::mkdir(path("out").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("../victim", path("out/link").c_str()), 0);

  Result result = run("archive extract set.jobstar '.*' -d out");
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out, "out/ok\n");  // the safe entry is still extracted
  for (const std::string name : {"../up", ".hidden", "a/b", "/abs", "..", ".", "", "link"})
    EXPECT_NE(result.err.find("entry '" + name + "' not extracted"), std::string::npos) << name;
  EXPECT_NE(::access(path("out/ok").c_str(), F_OK), -1);
  EXPECT_EQ(::access(path("up").c_str(), F_OK), -1);
  EXPECT_EQ(::access(path("victim").c_str(), F_OK), -1);
  EXPECT_EQ(::access("/abs", F_OK), -1);
}

TEST_F(Cli, ArchiveExtractNeverOverwritesWhatItShouldNot) {
  file("four.txt", kFourJobs);
  file("three.txt", kLoadJobs);
  for (const std::string entry :
       {"x four.txt", "x three.txt", "set.jobstar three.txt", "fifo three.txt", "keep three.txt"})
    ASSERT_EQ(run("archive add set.jobstar " + entry).status, 0);
  const std::string archive = readFile(path("set.jobstar"));
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  file("keep", "mine\n");

  const std::string twice =
      "mcjobs: set.jobstar: entry 'x' not extracted: ./x was written by an "
      "earlier entry of the same name\n";
  const std::string itself =
      "mcjobs: set.jobstar: entry 'set.jobstar' not extracted: "
      "./set.jobstar is the archive being read\n";
  const std::string fifo =
      "mcjobs: set.jobstar: entry 'fifo' not extracted: ./fifo exists and "
      "is not a regular file\n";
  Result plain = shell("timeout 20 MCJOBS archive extract set.jobstar '.*' -d .");
  EXPECT_EQ(plain.status, 3);
  EXPECT_EQ(plain.out, "./x\n");
  EXPECT_EQ(plain.err, twice + itself + fifo +
                           "mcjobs: set.jobstar: entry 'keep' not extracted: ./keep exists "
                           "(--force replaces it)\n");
  EXPECT_EQ(readFile(path("x")), kFourJobs);
  EXPECT_EQ(readFile(path("keep")), "mine\n");

  file("x", "old\n");
  Result forced = shell("timeout 20 MCJOBS archive extract set.jobstar '.*' -d . --force");
  EXPECT_EQ(forced.status, 3);
  EXPECT_EQ(forced.out, "./x\n./keep\n");
  EXPECT_EQ(forced.err, twice + itself + fifo);
  EXPECT_EQ(readFile(path("x")), kFourJobs);
  EXPECT_EQ(readFile(path("keep")), kLoadJobs);
  EXPECT_EQ(readFile(path("set.jobstar")), archive);
}

TEST_F(Cli, ArchiveExtractDiagnosticsCutLongNamesAndEscapeControls) {
  const std::string longName(200, 'n'), tooLong(300, 'h');
  const std::string entry = "\n0 10 1 2 2\n------\n";
  file("set.jobstar",
       "------\n" + longName + ":" + entry + tooLong + ":" + entry + "tab\tesc\x1b:\n0 10 1 2 2\n");
  file(longName, "mine\n");
  Result result = run("archive extract set.jobstar '.*' -d .");
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out, "");
  const std::string refused = "mcjobs: set.jobstar: entry '";
  EXPECT_EQ(result.err, refused + std::string(77, 'n') + "...' not extracted: ./" +
                            std::string(75, 'n') + "... exists (--force replaces it)\n" + refused +
                            std::string(77, 'h') + "...' not extracted: name longer than 255 " +
                            "bytes\n" + refused + "tab\\x09esc\\x1b' not extracted: name " +
                            "contains a control character\n");
}

TEST_F(Cli, ArchiveAddLeavesTheArchiveAsItWasOnFailure) {
  file("four.txt", kFourJobs);
  std::string big;
  for (int i = 0; i < 2000; ++i) big += "0 10 1 2 2\n";
  file("big.txt", big);
  ASSERT_EQ(run("archive add a.jobstar four four.txt").status, 0);
  const std::string before = readFile(path("a.jobstar"));

  file("three.txt", kLoadJobs);
  Result swapped = run("archive add four.txt x three.txt");
  EXPECT_EQ(swapped.status, 3);
  EXPECT_EQ(swapped.err,
            "mcjobs: four.txt: cannot append to archive: not an archive (it does not begin "
            "with a '------' line)\n");
  EXPECT_EQ(readFile(path("four.txt")), kFourJobs);

  Result limited = shell("ulimit -f 8; MCJOBS archive add a.jobstar big big.txt");
  EXPECT_EQ(limited.status, 3);
  EXPECT_EQ(limited.err, "mcjobs: a.jobstar: cannot append to archive: File too large\n");
  EXPECT_EQ(readFile(path("a.jobstar")), before);
  EXPECT_EQ(shell("ulimit -f 8; MCJOBS archive add new.jobstar big big.txt").status, 3);
  EXPECT_EQ(::access(path("new.jobstar").c_str(), F_OK), -1);
  EXPECT_EQ(::access(path("a.jobstar.journal").c_str(), F_OK), -1);
}

TEST_F(Cli, ArchiveTornTailIsNamedThenCutOff) {
  file("four.txt", kFourJobs);
  file("three.txt", kLoadJobs);
  ASSERT_EQ(run("archive add a.jobstar first four.txt").status, 0);
  const std::string first = readFile(path("a.jobstar"));
  ASSERT_EQ(run("archive add a.jobstar second three.txt").status, 0);
  const std::string both = readFile(path("a.jobstar"));
  // What an append killed halfway leaves: its journal and part of its entry.
  const size_t torn = first.size() + 12;
  writeFile(path("a.jobstar"), both.substr(0, torn));
  struct stat archive {};
  ASSERT_EQ(::stat(path("a.jobstar").c_str(), &archive), 0);
  writeFile(path("a.jobstar.journal"),
            "mcjobs archive append journal\n" + std::to_string(first.size()) + " " +
                std::to_string(both.size()) + "\nsecond\nfile " + std::to_string(archive.st_dev) +
                " " + std::to_string(archive.st_ino) + "\n");

  // Every reader shows the complete entries, then names the torn tail (exit status 3).
  const std::string named =
      "mcjobs: a.jobstar:9: incomplete entry 'second' (12 bytes) left by an interrupted "
      "append; the next append cuts it off\n";
  const std::vector<std::pair<std::string, std::string>> readers = {
      {"archive list a.jobstar", "first\n"},
      {"archive list --strict a.jobstar", "first\n"},
      {"archive list --json a.jobstar", "[\n  {\n    \"arcs\": 2,\n    \"jobs\": 4,\n"
                                        "    \"name\": \"first\"\n  }\n]\n"},
      {"archive extract a.jobstar '.*' -d out", "out/first\n"}};
  for (const auto& [command, shown] : readers) {
    Result read = run(command);
    EXPECT_EQ(read.status, 3) << command;
    EXPECT_EQ(read.out, shown) << command;
    EXPECT_EQ(read.err, named) << command;
  }
  EXPECT_EQ(readFile(path("out/first")), kFourJobs);
  Result add = run("archive add a.jobstar third three.txt");
  EXPECT_EQ(add.status, 0);
  EXPECT_EQ(add.err,
            "mcjobs: a.jobstar:9: cut off the incomplete entry 'second' (12 bytes) left by an "
            "interrupted append\n");
  EXPECT_EQ(run("archive list a.jobstar").out, "first\nthird\n");
  EXPECT_EQ(::access(path("a.jobstar.journal").c_str(), F_OK), -1);
}

// The first line of stderr, without its newline.
std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

TEST_F(Cli, TolerantLinesAreWarnedAndStrictFails) {
  file("odd.txt", "0 10 1 1 1 ( J1 J2 )\n0 10 1 1 1 0 20 1 2 2\n( J1.5 J2_3 )\n");
  file("crlf.txt", "0 10 1 2 2\r\n");
  const std::string warnings =
      "mcjobs: odd.txt:1: warning: text after the five job values is ignored: '( J1 J2 )'\n"
      "mcjobs: odd.txt:2: warning: text after the five job values is ignored: '0 20 1 2 2'\n"
      "mcjobs: odd.txt:3: warning: job name 'J1.5' is read as J1\n";
  Result plain = run("check odd.txt");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, "odd.txt: ok, 2 jobs (2 LO, 0 HI), 1 arcs\n");
  EXPECT_EQ(plain.err, warnings);
  Result strict = run("check --strict odd.txt");
  EXPECT_EQ(strict.status, 3);
  EXPECT_EQ(strict.err, warnings);
  Result stats = run("stats --strict odd.txt");
  EXPECT_EQ(stats.status, 3);
  EXPECT_EQ(stats.out, "");
  EXPECT_EQ(stats.err,
            warnings + "mcjobs: odd.txt: 3 lines are read differently than written (--strict)\n");
  EXPECT_EQ(run("stats odd.txt").status, 0);
  EXPECT_EQ(run("check crlf.txt").err,
            "mcjobs: crlf.txt:1: warning: Windows line ending (CRLF): the carriage return is read "
            "as a blank; convert the file with dos2unix\n");
  for (const std::string command :
       {"scale --strict odd.txt 2", "show --strict odd.txt", "deps --strict odd.txt",
        "windows --strict --level lo odd.txt", "load --strict odd.txt", "dot --strict odd.txt",
        "archive add --strict a.jobstar x odd.txt"})
    EXPECT_EQ(run(command).status, 3) << command;
  EXPECT_EQ(::access(path("a.jobstar").c_str(), F_OK), -1);

  file("odd.jobstar", "------\nodd:\n0 10 1 1 1 ( J1 J2 )\n------\nok:\n0 10 1 2 2\n");
  EXPECT_EQ(run("archive list odd.jobstar").out, "odd\nok\n");
  Result strictList = run("archive list --strict odd.jobstar");
  EXPECT_EQ(strictList.status, 3);
  EXPECT_EQ(strictList.out, "");
  EXPECT_EQ(strictList.err,
            "mcjobs: odd.jobstar:3: warning: text after the five job values is ignored: '( J1 J2 "
            ")'\nmcjobs: odd.jobstar: 1 line is read differently than written (--strict)\n");
  Result strictExtract =
      run("archive extract --strict - '.*' -d out", readFile(path("odd.jobstar")));
  EXPECT_EQ(strictExtract.status, 3);
  EXPECT_EQ(strictExtract.out, "");
}

TEST_F(Cli, WindowsLineEndingsAndByteOrderMarksAreNamed) {
  file("crlf.txt", "0 10 1 2 2\r\n0 20 2 3 6\r\n( J1 J2 )\r\n");
  file("bom.txt",
       "\xef\xbb\xbf"
       "0 10 1 2 2\n");
  file("crlf.jobstar", "------\r\nx:\r\n0 10 1 2 2\r\n");
  file("bom.jobstar", "\xef\xbb\xbf------\nx:\n0 10 1 2 2\n");
  const std::string crlf =
      "Windows line endings (CRLF) are not supported; convert the file with dos2unix";
  const std::string bom =
      "the file starts with a UTF-8 byte order mark (BOM), which is not supported; remove it";
  const std::string readError = " (success && \"Job instance read error!\")";
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"show crlf.txt", "mcjobs: crlf.txt:3: " + crlf + readError},
      {"show bom.txt", "mcjobs: bom.txt:1: " + bom + readError},
      {"archive list crlf.jobstar", "mcjobs: crlf.jobstar:1: " + crlf},
      {"archive list bom.jobstar", "mcjobs: bom.jobstar:1: " + bom},
  };
  for (const auto& row : rows) {
    Result result = run(row.first);
    EXPECT_EQ(result.status, 3) << row.first;
    EXPECT_EQ(firstLine(result.err), row.second);
  }
}

TEST_F(Cli, MalformedArgumentsAreUsageErrors) {
  file("four.txt", kFourJobs);
  file("g.stg", "2\n0 0 0\n1 3 1 0\n2 4 1 1\n3 0 1 2\n");
  file("a.jobstar", "------\nx:\n");
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"load --jobs J1x four.txt",
       "mcjobs: --jobs: 'J1x' is not a job name (J followed by a positive number)"},
      {"load --jobs 'J1;J2' four.txt",
       "mcjobs: --jobs: 'J1;J2' is not a job name (J followed by a positive number)"},
      {"load --jobs J" + std::string(500, '7') + " four.txt",
       "mcjobs: --jobs: 'J" + std::string(76, '7') +
           "...' is not a job name (J followed by a positive "
           "number)"},
      {"archive list a.jobstar '[abc'",
       "mcjobs: '[abc' is not a valid POSIX basic regular expression: Unmatched [, [^, [:, [., "
       "or [="},
      {"archive extract a.jobstar '[abc' -d out",
       "mcjobs: '[abc' is not a valid POSIX basic regular expression: Unmatched [, [^, [:, [., "
       "or [="},
      {"bogus",
       "mcjobs: unknown command 'bogus' (commands: check, scale, show, deps, stats, "
       "windows, load, dot, convert, archive, generate, schedule)"},
      {"archive frob a.jobstar",
       "mcjobs: unknown command 'archive frob' (commands: add, list, "
       "extract)"},
      {"load --level mid four.txt", "mcjobs: --level: must be lo or hi, not 'mid'"},
      // CLI11's own errors, with readable bounds.
      {"stats four.txt --processors 0",
       "mcjobs: --processors: Value 0 not in range 1 to 2147483647"},
      {"stats four.txt --processors nan",
       "mcjobs: --processors: Value nan not in range 1 to 2147483647"},
      {"show four.txt extra", "mcjobs: The following argument was not expected: extra"},
      {"schedule four.txt -p 1 --svg ''",
       "mcjobs: --svg: an empty file name; give OUT, or '-' for stdout"},
      // convert checks its numbers as generate does.
      {"convert g.stg --hi-fraction nan", "mcjobs: --hi-fraction: 'nan' is not a number"},
      {"convert g.stg --hi-fraction 1.5", "mcjobs: --hi-fraction must be a probability in [0, 1]"},
      {"convert g.stg --criticality-factor nan",
       "mcjobs: --criticality-factor: 'nan' is not a number"},
      {"convert g.stg --criticality-factor 0.5", "mcjobs: --criticality-factor must be at least 1"},
      {"convert g.stg --deadline-factor nan", "mcjobs: --deadline-factor: 'nan' is not a number"},
      {"convert g.stg --deadline-factor 0", "mcjobs: --deadline-factor must be positive"},
      {"convert four.txt -o four.csv --bcet-ratio nan",
       "mcjobs: --bcet-ratio: 'nan' is not a number"},
      {"convert four.txt -o four.csv --bcet-ratio -0.5", "mcjobs: --bcet-ratio must be in [0, 1]"},
      {"convert g.stg --seed -1",
       "mcjobs: --seed: '-1' is not an integer in 0..18446744073709551615"},
      {"convert g.stg --seed 18446744073709551616",
       "mcjobs: --seed: '18446744073709551616' is not an integer in 0..18446744073709551615"},
      {"generate --seed " + std::string(300, '9'),
       "mcjobs: --seed: '" + std::string(77, '9') +
           "...' is not an integer in 0..18446744073709551615"},
      {"generate --nodes " + std::string(300, 'x'),
       "mcjobs: --nodes: '" + std::string(77, 'x') + "...' is not an integer"},
  };
  for (const auto& row : rows) {
    Result result = run(row.first);
    EXPECT_EQ(result.status, 1) << row.first;
    EXPECT_EQ(firstLine(result.err), row.second);
  }
  EXPECT_EQ(::access(path("out").c_str(), F_OK), -1);
  EXPECT_EQ(::access(path("four.csv").c_str(), F_OK), -1);
  EXPECT_EQ(run("load --level HI four.txt").status, 0);
  for (const std::string seed : {"0", "18446744073709551615"})
    EXPECT_EQ(run("convert g.stg --hi-fraction 0.5 --seed " + seed).status, 0) << seed;
}

TEST_F(Cli, ResultsThatCannotBeWrittenFail) {
  file("four.txt", kFourJobs);
  run("archive add a.jobstar x four.txt");
  for (const std::string command :
       {"check four.txt", "show four.txt", "stats four.txt", "load four.txt",
        "archive list a.jobstar", "archive extract a.jobstar x -d out", "scale four.txt 2",
        "--help", "archive extract -h", "--version"}) {
    Result result = shell("MCJOBS " + command + " > /dev/full");
    EXPECT_EQ(result.status, 3) << command;
    EXPECT_EQ(result.err.rfind("mcjobs: <stdout>: cannot write", 0), 0u) << result.err;
  }
  // A pipe whose reader has gone (`| head`): the same status, quietly, not death by SIGPIPE.
  testtools::RunOptions readerGone;
  readerGone.stdoutReaderGone = true;
  for (const std::string command : {"show four.txt", "dot four.txt", "--help"}) {
    const Result result = shell("exec MCJOBS " + command + " 2>err.txt", readerGone);
    EXPECT_EQ(result.status, 3) << command << ": " << result.status;
    EXPECT_EQ(readFile(path("err.txt")), "") << command;
  }
  // With --json the traces go to stderr and stdout stays one document.
  for (const std::string command : {"stats --json four.txt", "load --json four.txt"}) {
    Result traced = shell("MCS_DEBUG_PROP=1 MCJOBS " + command);
    EXPECT_EQ(traced.status, 0);
    EXPECT_NO_THROW(nlohmann::json::parse(traced.out)) << traced.out;
    EXPECT_NE(traced.err.find("[Propagate"), std::string::npos) << command;
  }
  // generate --json reports on stderr; the set still goes to stdout.
  EXPECT_EQ(shell("MCS_DEBUG_PROP=1 MCJOBS generate --json --seed 4 2> /dev/null").out,
            run("generate --seed 4").out);
}

TEST_F(Cli, EntryNamesNeverReachTheTerminalRaw) {
  file("four.txt", kFourJobs);
  EXPECT_EQ(
      firstLine(shell("MCJOBS archive add a.jobstar \"$(printf 'red\\033[31m')\" four.txt").err),
      "mcjobs: NAME: an entry name cannot contain a control character");
  EXPECT_EQ(firstLine(shell("MCJOBS archive add a.jobstar \"$(printf 'caf\\351')\" four.txt").err),
            "mcjobs: NAME: an entry name must be valid UTF-8");
  EXPECT_EQ(::access(path("a.jobstar").c_str(), F_OK), -1);
  // Archives written by hand (or by older versions) may hold such names.
  file("names.jobstar", "------\ncaf\xe9:\n------\nred\x1b[31m:\n------\ncaf\xc3\xa9:\n");
  EXPECT_EQ(run("archive list names.jobstar").out, "caf\\xe9\nred\\x1b[31m\ncaf\xc3\xa9\n");
  const nlohmann::json entries =
      nlohmann::json::parse(run("archive list names.jobstar --json").out);
  EXPECT_EQ(entries[0]["name"], "caf\\xe9");
  EXPECT_EQ(entries[2]["name"], "caf\xc3\xa9");
}

TEST_F(Cli, UsageErrorsExitWithOne) {
  file("four.txt", kFourJobs);
  for (const std::string args : {"",
                                 "frobnicate",
                                 "check",
                                 "scale four.txt",
                                 "scale four.txt 2 extra",
                                 "show",
                                 "show a b",
                                 "stats four.txt --bogus",
                                 "windows four.txt",
                                 "windows four.txt --level mid",
                                 "windows four.txt --level lo --method fast",
                                 "load four.txt -p 0",
                                 "load four.txt -p x",
                                 "load four.txt --level hi --mixed",
                                 "load four.txt --jobs J1,K2",
                                 "load four.txt --jobs J0",
                                 "load four.txt --jobs J5",
                                 "dot four.txt --level",
                                 "archive",
                                 "archive add a.jobstar name",
                                 "archive add a.jobstar \"$(printf 'a\\nb')\" four.txt",
                                 "archive list",
                                 "archive list a.jobstar ''",
                                 "archive extract a.jobstar x",
                                 "archive frob"}) {
    SCOPED_TRACE(args);
    Result result = run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("mcjobs: ", 0), 0u) << result.err;
  }
  EXPECT_EQ(::access(path("a.jobstar").c_str(), F_OK), -1);
}

TEST_F(Cli, HelpOnEveryLevelAndVersion) {
  for (const std::string args : {"--help", "-h", "check -h", "scale --help", "show -h", "deps -h",
                                 "stats -h", "windows -h", "load -h", "dot -h", "archive -h",
                                 "archive add -h", "archive list --help", "archive extract -h"}) {
    SCOPED_TRACE(args);
    Result result = run(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("Usage: mcjobs"), std::string::npos);
  }
  // A flag's help is its description, not where CLI11 stores the flag.
  EXPECT_NE(run("generate --help").out.find("--hi-per-task               Draw the criticality"),
            std::string::npos);
  Result version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "mcjobs " MCJOBS_VERSION "\n");
}

TEST_F(Cli, FailuresExitWithThree) {
  file("four.txt", kFourJobs);
  for (const std::string args :
       {"show missing.txt", "deps -", "stats missing.txt", "dot four.txt -o nodir/x.dot",
        "scale four.txt 2 -o nodir/x.txt", "archive list missing.jobstar",
        "archive extract four.txt '.*' -d four.txt"}) {
    SCOPED_TRACE(args);
    Result result = run(args, "0 10 1 2 2\nnot a line\n");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err.rfind("mcjobs: ", 0), 0u) << result.err;
  }
  // A directory given as the file to convert says so, in every format.
  for (const std::string format : {"json", "dot", "stg", "nptest"})
    EXPECT_EQ(run("convert . --from " + format).err, "mcjobs: .: read error: Is a directory\n");
  EXPECT_EQ(run("show -", "0 10 1 2 2\nnot a line\n").err,
            "mcjobs: <stdin>:2: the line is neither a job line ('arrival deadline criticality "
            "lo_wcet hi_wcet') nor an arc line ('( Jf Jt )') (success && \"Job instance read "
            "error!\")\n");
}

}  // namespace

TEST_F(Cli, GenerateIsSeededAndBatchEntriesDoNotDependOnTheBatchSize) {
  const std::string options = "generate --nodes 6 --graphs 2 --utilization 0.4 ";
  ASSERT_EQ(run(options + "--seed 5 -o a.txt").status, 0);
  EXPECT_EQ(run(options + "--seed 5").out, readFile(path("a.txt")));
  EXPECT_NE(run(options + "--seed 6").out, readFile(path("a.txt")));
  EXPECT_EQ(run("check a.txt").status, 0);

  Result three = run(options + "--seed 5 --count 3 -o three.jobstar --json");
  ASSERT_EQ(three.status, 0) << three.err;
  ASSERT_EQ(run(options + "--seed 5 --count 5 --name set -o five.jobstar").status, 0);
  ASSERT_EQ(run("archive extract three.jobstar '.*' -d three").status, 0);
  ASSERT_EQ(run("archive extract five.jobstar '.*' -d five").status, 0);
  EXPECT_EQ(run("archive list five.jobstar").out, "set-1\nset-2\nset-3\nset-4\nset-5\n");
  const nlohmann::json report = nlohmann::json::parse(three.err);
  EXPECT_EQ(report["options"]["nodes"], "6..6");
  EXPECT_EQ(report["options"]["utilization"], 0.4);
  std::set<std::string> distinct;
  for (int i = 1; i <= 3; ++i) {
    const std::string entry = readFile(path("three/set-" + std::to_string(i)));
    EXPECT_EQ(entry, readFile(path("five/set-" + std::to_string(i))));
    distinct.insert(entry);
    // The reported seed regenerates the entry on its own.
    const nlohmann::json& described = report["instances"][i - 1];
    EXPECT_EQ(described["name"], "set-" + std::to_string(i));
    EXPECT_EQ(run(options + "--seed " + std::to_string(described["seed"].get<std::uint64_t>())).out,
              entry);
    EXPECT_EQ(described["jobs"], 12);
  }
  EXPECT_EQ(distinct.size(), 3u);
}

TEST_F(Cli, GenerateRejectsOptionsThatCannotGiveASet) {
  for (const std::string args :
       {"--utilization 2", "--edge-prob -1", "--periods '' --model periodic", "--nodes 3..1",
        "--count 2", "--shape star", "--seed -1"}) {
    Result result = run("generate " + args);
    EXPECT_EQ(result.status, 1) << args;
    EXPECT_NE(result.err.find(args.substr(2, args.find(' ') - 2)), std::string::npos)
        << args << ": " << result.err;
  }
  for (const std::string count : {"0", "99999999999999999999"})
    EXPECT_EQ(run("generate --count " + count + " -o zero.jobstar").err,
              "mcjobs: --count: Value " + count + " not in range 1 to 9223372036854775807\n" +
                  "Run with --help for more information.\n");
  EXPECT_EQ(shell("MCJOBS generate --json 2> /dev/full").status, 3);
}

TEST_F(Cli, GenerateWritesOtherFormatsAndNptestKeepsTasksAndInstances) {
  const std::string options =
      "generate --model periodic --tasks 3 --periods 10,20,40 --nodes 2..3 --edge-prob 0.7 "
      "--hi-fraction 0 --seed 9 ";
  ASSERT_EQ(run(options + "-o set.txt").status, 0);
  ASSERT_EQ(run(options + "-o set.csv").status, 0);
  ASSERT_EQ(run("convert set.csv -o back.txt").status, 0);
  EXPECT_EQ(readFile(path("back.txt")), readFile(path("set.txt")));
  // Task and job ids: one task per DAG node, one job per instance of its DAG task.
  std::set<std::string> ids;
  std::istringstream jobs(readFile(path("set.csv")));
  std::string line;
  std::getline(jobs, line);
  while (std::getline(jobs, line)) ids.insert(line.substr(0, line.find(',', line.find(',') + 1)));
  const std::string native = readFile(path("set.txt"));
  const auto jobLines = std::count(native.begin(), native.end(), '\n') -
                        std::count(native.begin(), native.end(), '(');
  EXPECT_EQ(ids.size(), static_cast<size_t>(jobLines));
  EXPECT_EQ(run(options + "--to json").out, run("convert set.txt --to json").out);
}

TEST_F(Cli, GenerateRefusesWhatDoesNotApplyAndSaysWhatItMissed) {
  const std::string hiTooLarge =
      "generate --model periodic --criticality-factor 3 --nodes 1 --tasks 8 --hi-fraction 1 "
      "--deadline-factor 0.3 --seed 4";
  const std::string remedies =
      ": lower --criticality-factor, --max-task-utilization or --utilization, or raise "
      "--deadline-factor";
  const struct {
    std::string args;
    int status;
    std::string firstLine;
  } rows[] = {
      {"generate --model periodic --deadline 50 --graphs 3 --layers 7", 1,
       "mcjobs: --graphs does not apply to --model periodic"},
      {"generate --model periodic --deadline 50", 1,
       "mcjobs: --deadline does not apply to --model periodic"},
      {"generate --periods 10,20", 1, "mcjobs: --periods does not apply to --model frame"},
      {"generate --layers 7", 1, "mcjobs: --layers does not apply to --shape gnp"},
      {"generate --shape fork-join --edge-prob 0.5", 1,
       "mcjobs: --edge-prob does not apply to --shape fork-join"},
      {"generate --nest-prob 0.5 --shape layers", 1,
       "mcjobs: --nest-prob does not apply to --shape layers"},
      {"generate --utilization-hi 0.6 --criticality-factor 3", 1,
       "mcjobs: --criticality-factor does not apply with --utilization-hi, which draws the HI "
       "budgets to that utilization instead"},
      {"generate --level hi", 1,
       "mcjobs: --level does not apply to native output (it chooses the level of STG and nptest "
       "output)"},
      {"generate --name runs", 1, "mcjobs: --name does not apply without --count"},
      {"generate --deadline 2147483648", 1,
       "mcjobs: --deadline: '2147483648' is out of range (the largest is 2147483647)"},
      {"generate --utilization 1e400", 1,
       "mcjobs: --utilization: '1e400' is out of range for a double"},
      {"generate --nodes 100000 --edge-prob 0.2", 1,
       "mcjobs: --edge-prob: 1 graph of 100000 nodes with --edge-prob 0.2 would have about "
       "999990000 arcs, more than the 50000000 a generated set may hold; lower --edge-prob, "
       "--nodes or --graphs"},
      {hiTooLarge, 3,
       "mcjobs: cannot fit the HI budget of 42 (3 times the LO budget 14) of task 3 into its 1 "
       "HI job with windows of 30" + remedies},
      {hiTooLarge + " --count 2 -o batch.jobstar", 3,
       "mcjobs: set-1 (seed 16462000697783136304): cannot fit the HI budget of 21 (3 times the "
       "LO budget 7) of task 8 into its 1 HI job with windows of 15" + remedies},
      {"generate --model periodic --tasks 1 --nodes 1 --periods 3 --hi-fraction 0", 0,
       "mcjobs: warning: the LO utilization is 0.666667, 33.3% above the target 0.5: budgets are "
       "whole units; choose longer --periods for finer steps"},
      {"generate --model periodic --count 3 -o raised.jobstar", 0,
       "mcjobs: warning: 3 of 3 sets miss their utilization target by more than 1% (--json tells "
       "each set's); set-1: the LO utilization is 1.23, 146% above the target 0.5: tasks with "
       "fewer budget units than jobs got one unit per job; choose longer --periods, or lower "
       "--nodes or --tasks"},
      {"generate --model periodic --tasks 2 --periods 1000 --nodes 2", 0, ""},
  };
  for (const auto& row : rows) {
    Result result = run(row.args);
    EXPECT_EQ(result.status, row.status) << row.args;
    EXPECT_EQ(result.err.substr(0, result.err.find('\n')), row.firstLine) << row.args;
  }
  EXPECT_NE(::access(path("batch.jobstar").c_str(), F_OK), 0);
  // With --json the warning is in the report, not beside it.
  Result json = run(
      "generate --model periodic --tasks 1 --nodes 1 --periods 3 --hi-fraction 0 --json");
  EXPECT_EQ(nlohmann::json::parse(json.err)["instances"][0]["warnings"],
            nlohmann::json::array({"the LO utilization is 0.666667, 33.3% above the target 0.5: "
                                   "budgets are whole units; choose longer --periods for finer "
                                   "steps"}));
  // What each command's utilization measures is said where it is shown.
  EXPECT_NE(run("generate --help").out.find("sum of budget / period per processor"),
            std::string::npos);
  EXPECT_NE(run("stats --help").out.find("not the sum of budget / period"), std::string::npos);
}

TEST_F(Cli, GenerateWritesTheChosenLevelOfStgAndNptest) {
  const std::string options =
      "generate --model periodic --tasks 3 --periods 10,20,40 --nodes 2..3 --seed 9 ";
  ASSERT_EQ(run(options + "-o set.txt").status, 0);
  ASSERT_EQ(run(options + "--level hi -o hi.stg").status, 0);
  ASSERT_EQ(run("convert set.txt --level hi -o converted.stg").status, 0);
  EXPECT_EQ(readFile(path("hi.stg")), readFile(path("converted.stg")));
  ASSERT_EQ(run(options + "--level hi -o hi.csv").status, 0);
  ASSERT_EQ(run(options + "-o lo.csv").status, 0);
  // The HI file: the HI jobs with their HI budgets, under the ids the LO file gives them.
  auto rows = [this](const std::string& name) {
    std::map<std::string, std::vector<long>> byId;  // "task, job" -> arrival, deadline, cost
    std::istringstream text(readFile(path(name)));
    std::string line;
    std::getline(text, line);
    while (std::getline(text, line)) {
      std::vector<long> values;
      std::istringstream fields(line);
      for (std::string field; std::getline(fields, field, ',');) values.push_back(std::stol(field));
      byId[line.substr(0, line.find(',', line.find(',') + 1))] = {values[2], values[6], values[5]};
    }
    return byId;
  };
  std::multiset<std::vector<long>> hiJobs;
  std::istringstream native(readFile(path("set.txt")));
  for (std::string line; std::getline(native, line) && line[0] != '(';) {
    long arrival, deadline, criticality, lo, hi;
    std::istringstream(line) >> arrival >> deadline >> criticality >> lo >> hi;
    if (criticality == 2) hiJobs.insert({arrival, deadline, hi});
  }
  const auto hiRows = rows("hi.csv"), loRows = rows("lo.csv");
  std::multiset<std::vector<long>> written;
  for (const auto& row : hiRows) {
    written.insert(row.second);
    ASSERT_EQ(loRows.count(row.first), 1u) << row.first;
    EXPECT_EQ(loRows.at(row.first)[0], row.second[0]) << row.first;
  }
  EXPECT_EQ(written, hiJobs);
  EXPECT_FALSE(hiJobs.empty());
}

TEST_F(Cli, NptestPairIsWrittenWholeOrNotAtAll) {
  file("four.txt", kFourJobs);
  // The job file cannot be created: the precedence file must not appear alone.
  Result failed = run("convert four.txt -o missing/four.csv --precedence four.prec.csv");
  EXPECT_EQ(failed.status, 3) << failed.err;
  EXPECT_NE(::access(path("four.prec.csv").c_str(), F_OK), 0);
  ASSERT_EQ(run("convert four.txt -o four.csv").status, 0);
  EXPECT_NE(readFile(path("four.prec.csv")), "");

  // The job file cannot be replaced once the precedence file has been (an immutable job
  // file): the old pair stays, with or without an old precedence file, and no file is left.
  for (const bool hadPrecedence : {true, false}) {
    SCOPED_TRACE(hadPrecedence);
    ASSERT_EQ(run("convert four.txt -o four.csv --level hi").status, 0);
    if (!hadPrecedence) ::unlink(path("four.prec.csv").c_str());
    const std::string jobs = readFile(path("four.csv")),
                      precedence = readFile(path("four.prec.csv"));
    if (shell("chattr +i four.csv").status != 0)
      GTEST_SKIP() << "chattr +i is not possible here (it needs root and a file system with it)";
    const auto files = [this] {
      std::vector<std::string> names = testfiles::listDirectory(mDir.path());
      std::sort(names.begin(), names.end());
      return names;
    };
    const std::vector<std::string> before = files();
    Result blocked = run("convert four.txt -o four.csv");
    shell("chattr -i four.csv");
    EXPECT_EQ(blocked.status, 3);
    EXPECT_EQ(blocked.err, "mcjobs: four.csv: cannot replace file: Operation not permitted\n");
    EXPECT_EQ(readFile(path("four.csv")), jobs);
    EXPECT_EQ(::access(path("four.prec.csv").c_str(), F_OK) == 0, hadPrecedence);
    EXPECT_EQ(readFile(path("four.prec.csv")), precedence);
    EXPECT_EQ(files(), before);
  }
}
