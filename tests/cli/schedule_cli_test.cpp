// `mcjobs schedule` run as a user would: exact text and JSON, exit statuses, and the SVG chart
// checked by an XML parser and rendered to PNG by librsvg's rsvg-convert.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/scratch_fixture.h"
#include "support/tool_runner.h"

namespace {

// J1 LO, J2..J4 HI; J1 -> J2 at LO level, J2 -> J3 at both.
const char* const kFourJobs =
    "0 10 1 2 2\n0 20 2 3 5\n5 30 2 4 6\n0 40 2 1 3\n( J1 J2 )\n( J2 J3 )\n";

using Result = testtools::RunResult;
using testfiles::readFile;

class ScheduleCli : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    nameProgram("MCJOBS", MCJOBS_CLI);
    file("four.txt", kFourJobs);
  }
  Result run(const std::string& args) const { return shell("MCJOBS " + args); }
};

TEST_F(ScheduleCli, PrintsVerifiedTablesOrTheFirstMiss) {
  const Result two = run("schedule four.txt -p 2");
  EXPECT_EQ(two.status, 0);
  EXPECT_EQ(two.out,
            "schedulable (HI edf, LO edf)\nHI P0 15 20 J2\nHI P0 24 30 J3\nHI P0 37 40 J4\n"
            "LO P0 0 2 J1\nLO P0 2 5 J2\nLO P0 5 9 J3\nLO P1 0 1 J4\n");
  EXPECT_EQ(two.err, "");
  // A pair given explicitly is not named.
  EXPECT_EQ(run("schedule four.txt -p 2 --policy edf").out.substr(0, 13), "schedulable\nH");

  const Result missed = shell("printf '0 6 1 4 4\\n0 6 1 4 4\\n' | '" + std::string(MCJOBS_CLI) +
                              "' schedule - -p 1 --policy llf");
  EXPECT_EQ(missed.status, 0);
  EXPECT_EQ(missed.out, "not schedulable: LO: J1 misses 6 at 4\n");
  // Event-driven LLF is not optimal on one processor: EDF schedules what it rejects.
  file("three.txt", "0 5 1 3 3\n0 4 1 1 1\n1 4 1 1 1\n");
  EXPECT_EQ(run("schedule three.txt -p 1 --policy edf").out,
            "schedulable\nLO P0 0 1 J2\nLO P0 1 2 J3\nLO P0 2 5 J1\n");
  EXPECT_EQ(run("schedule three.txt -p 1 --policy llf").out,
            "not schedulable: LO: J3 misses 4 at 3\n");

  EXPECT_EQ(run("schedule four.txt").status, 1);
  EXPECT_EQ(run("schedule four.txt -p 0").status, 1);
  EXPECT_EQ(run("schedule four.txt -p 1 --policy rm").status, 1);
  EXPECT_EQ(run("schedule four.txt -p 1 --hi-policy rm").status, 1);
  EXPECT_EQ(run("schedule four.txt -p 1 --svg - --json").status, 1);
  const Result absent = run("schedule absent.txt -p 1");
  EXPECT_EQ(absent.status, 3);
  EXPECT_NE(absent.err.find("absent.txt"), std::string::npos) << absent.err;
}

TEST_F(ScheduleCli, JsonHoldsTablesOrTheFailure) {
  const Result one = run("schedule four.txt -p 1 --json");
  ASSERT_EQ(one.status, 0);
  const auto doc = nlohmann::ordered_json::parse(one.out);
  EXPECT_EQ(doc.dump(),
            R"({"processors":1,"schedulable":true,"policy":{"hi":"edf","lo":"edf"},)"
            R"("method":"portfolio","status":"feasible","reason":null,)"
            R"("attempts":[{"policy":{"hi":"edf","lo":"edf"},"failure":null}],"tables":{"hi":[)"
            R"({"job":"J2","processor":0,"start":15,"end":20},)"
            R"({"job":"J3","processor":0,"start":24,"end":30},)"
            R"({"job":"J4","processor":0,"start":37,"end":40}],"lo":[)"
            R"({"job":"J1","processor":0,"start":0,"end":2},)"
            R"({"job":"J2","processor":0,"start":2,"end":5},)"
            R"({"job":"J3","processor":0,"start":5,"end":9},)"
            R"({"job":"J4","processor":0,"start":9,"end":10}]},"failure":null})");

  // The load test proves it: the portfolio tries no pair; one pair fails, then the load test
  // tells why no pair could have succeeded.
  file("late.txt", "4 10 2 1 4\n5 10 2 1 4\n");
  const Result late = run("schedule late.txt -p 1 --json");
  ASSERT_EQ(late.status, 0);
  EXPECT_EQ(nlohmann::ordered_json::parse(late.out).dump(),
            R"({"processors":1,"schedulable":false,"policy":null,"method":"portfolio",)"
            R"("status":"infeasible","reason":"HI stress 1.33333 exceeds 1 processor",)"
            R"("attempts":[],"tables":null,"failure":null})");
  const Result edfPair = run("schedule late.txt -p 1 --policy edf --json");
  ASSERT_EQ(edfPair.status, 0);
  EXPECT_EQ(
      nlohmann::ordered_json::parse(edfPair.out).dump(),
      R"({"processors":1,"schedulable":false,"policy":{"hi":"edf","lo":"edf"},)"
      R"("method":"heuristic","status":"infeasible","reason":"HI stress 1.33333 exceeds 1 processor",)"
      R"("attempts":[{"policy":{"hi":"edf","lo":"edf"},"failure":"HI: J1 misses arrival 4 at 8"}],)"
      R"("tables":null,"failure":{"mode":"hi","job":"J1","kind":"arrival","bound":4,"time":8}})");
  EXPECT_EQ(run("schedule late.txt -p 1").out,
            "not schedulable: infeasible: HI stress 1.33333 exceeds 1 processor\n");
  EXPECT_EQ(run("schedule late.txt -p 1 --policy edf").out,
            "not schedulable: HI: J1 misses arrival 4 at 8\n");
}

// J1 needs 42 of its 45 units: backward EDF fails it, backward least laxity does not.
TEST_F(ScheduleCli, EachTableTakesItsOwnPolicy) {
  file("urgent.txt", "0 45 2 1 42\n10 45 2 1 18\n10 45 2 1 18\n");
  struct Row {
    const char* options;
    const char* firstLine;
    const char* status;  // of --json
  };
  const std::vector<Row> rows = {
      {"", "schedulable (HI edzl, LO llf)", "feasible"},
      {"--policy edf", "not schedulable: HI: J1 misses arrival 0 at 42", "unknown"},
      {"--lo-policy edzl", "not schedulable: HI: J1 misses arrival 0 at 42", "unknown"},
      {"--hi-policy llf", "schedulable", "feasible"},
      {"--hi-policy edzl --lo-policy llf", "schedulable", "feasible"},
      {"--policy edzl", "schedulable", "feasible"},
  };
  for (const Row& row : rows) {
    const Result text = run(std::string("schedule urgent.txt -p 2 ") + row.options);
    EXPECT_EQ(text.status, 0) << row.options;
    EXPECT_EQ(text.out.substr(0, text.out.find('\n')), row.firstLine) << row.options;
    const Result json = run(std::string("schedule urgent.txt -p 2 --json ") + row.options);
    const auto doc = nlohmann::ordered_json::parse(json.out);
    EXPECT_EQ(doc["status"], row.status) << row.options;
    EXPECT_EQ(doc["method"], *row.options ? "heuristic" : "portfolio") << row.options;
  }
  const auto doc = nlohmann::ordered_json::parse(run("schedule urgent.txt -p 2 --json").out);
  EXPECT_EQ(doc["policy"].dump(), R"({"hi":"edzl","lo":"llf"})");
  EXPECT_EQ(doc["attempts"].dump(),
            R"([{"policy":{"hi":"edf","lo":"edf"},"failure":"HI: J1 misses arrival 0 at 42"},)"
            R"({"policy":{"hi":"edzl","lo":"llf"},"failure":null}])");

  for (const char* other : {"--hi-policy", "--lo-policy"}) {
    const Result both = run(std::string("schedule urgent.txt -p 2 --policy llf ") + other + " edf");
    EXPECT_EQ(both.status, 1) << other;
    EXPECT_EQ(both.err, std::string("mcjobs: --policy sets both tables and conflicts with ") +
                            other +
                            "; give --policy alone, or --hi-policy and --lo-policy\n"
                            "Run with --help for more information.\n");
  }
}

TEST_F(ScheduleCli, SvgIsWellFormedAndRenders) {
  ASSERT_EQ(run("schedule four.txt -p 2 --svg chart.svg").status, 0);
  const std::string svg = readFile(path("chart.svg"));
  for (const char* part : {"HI mode", "LO mode", ">J3</text>", ">P1</text>"})
    EXPECT_NE(svg.find(part), std::string::npos) << part;
  if (shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not installed";
  const Result parsed = shell(
      "python3 -c \"import xml.etree.ElementTree as E; r = E.parse('chart.svg').getroot(); "
      "assert r.tag == '{http://www.w3.org/2000/svg}svg', r.tag; "
      "print(len(r.findall('.//{http://www.w3.org/2000/svg}rect')))\"");
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(parsed.out, "14\n");  // background, 2 legend swatches, 2 x 2 lanes, 3 + 4 segments
  if (shell("command -v rsvg-convert").status != 0)
    GTEST_SKIP() << "rsvg-convert is not installed (Debian package librsvg2-bin)";
  const Result png = shell("rsvg-convert chart.svg -o chart.png");
  EXPECT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(readFile(path("chart.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
}

}  // namespace

// Generated sets every pair of policies fails: the integer program finds tables for one; for the
// other, the windows narrowed by the safe switch prove there are none; a time limit the program
// cannot meet leaves the answer open.
TEST_F(ScheduleCli, TheExactMethodDecidesWhatThePairsLeaveOpen) {
  const std::string options = " --processors 2 --utilization 0.9 --graphs 3 ";
  ASSERT_EQ(run("generate" + options + "--nodes 7..9 --deadline 26 --seed 25 -o open.txt").status,
            0);
  ASSERT_EQ(run("generate" + options + "--nodes 8..10 --deadline 30 --seed 37 -o none.txt").status,
            0);
  ASSERT_EQ(run("generate" + options + "--nodes 7..9 --deadline 26 --seed 54 -o slow.txt").status,
            0);
  EXPECT_EQ(nlohmann::ordered_json::parse(run("schedule open.txt -p 2 --json").out)["status"],
            "unknown");

  const Result found = run("schedule open.txt -p 2 --method exact");
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.out.substr(0, found.out.find('\n')), "schedulable (integer program)");
  const auto doc =
      nlohmann::ordered_json::parse(run("schedule open.txt -p 2 --method exact --json").out);
  EXPECT_EQ(doc["method"], "exact");
  EXPECT_EQ(doc["status"], "feasible");
  EXPECT_TRUE(doc["policy"].is_null());
  EXPECT_TRUE(doc["failure"].is_null());
  EXPECT_EQ(doc["attempts"].size(), 9u);
  EXPECT_EQ(doc["program"]["slots"], 782);

  EXPECT_EQ(run("schedule none.txt -p 2 --method exact").out,
            "not schedulable: infeasible: LO window of J24 narrows to [0, 0] along the arcs and "
            "the safe switch, short of its budget 3 (all 9 pairs fail)\n");
  EXPECT_EQ(run("schedule slow.txt -p 2 --method exact --time-limit 0.01").out,
            "not schedulable: unknown: time limit of 0.01 s reached (all 9 pairs fail)\n");
  // The pairs settle what they can: the program does not run.
  const auto settled =
      nlohmann::ordered_json::parse(run("schedule four.txt -p 2 --method exact --json").out);
  EXPECT_EQ(settled["policy"].dump(), R"({"hi":"edf","lo":"edf"})");
  EXPECT_TRUE(settled["program"].is_null());

  EXPECT_EQ(run("schedule four.txt -p 2 --time-limit 5").err,
            "mcjobs: --time-limit does not apply without --method exact\n"
            "Run with --help for more information.\n");
  EXPECT_EQ(run("schedule four.txt -p 2 --method exact --policy llf").err,
            "mcjobs: --method exact tries every pair of policies and conflicts with --policy, "
            "--hi-policy and --lo-policy; give one or the other\n"
            "Run with --help for more information.\n");
  EXPECT_EQ(run("schedule four.txt -p 2 --method exact --time-limit 0").status, 1);
}

// The solver would swallow Ctrl-C while it runs: the interrupt must still end the program, once
// the solver returns (here at its time limit), with nothing printed.
TEST_F(ScheduleCli, CtrlCDuringTheExactMethodEndsTheProgram) {
  if (shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not installed";
  ASSERT_EQ(run("generate --processors 2 --utilization 0.9 --graphs 3 --nodes 8..10 --seed 609 -o "
                "slow.txt")
                .status,
            0);
  const Result interrupted = shell(
      "python3 -c 'import signal, subprocess, sys, time\n"
      "child = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE)\n"
      "time.sleep(1)\n"
      "child.send_signal(signal.SIGINT)\n"
      "print(child.wait(), repr(child.stdout.read()))' MCJOBS schedule slow.txt -p 2 --method "
      "exact --time-limit 3");
  EXPECT_EQ(interrupted.out, "-2 b''\n");
}
