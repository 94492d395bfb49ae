// mcjobs schedule: the HI and LO scheduling tables of a job set on m processors, verified before
// they are printed, as text, JSON or an SVG Gantt chart.
#include "schedule.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gantt_svg.h"
#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

struct ScheduleOptions {
  std::string file;
  int processors = 0;                      // 0: the file's own count (an MC-DAG system's <cores>)
  std::string policy, hiPolicy, loPolicy;  // empty: not given
  std::string method;                      // empty: not given ("portfolio" or "exact")
  double timeLimit = 0;                    // 0: not given
  bool json = false;
  std::string svg;
};

nlohmann::ordered_json policiesJson(const mcjobs::SchedulePolicies& policies) {
  return {{"hi", mcjobs::schedulePolicyName(policies.hi)},
          {"lo", mcjobs::schedulePolicyName(policies.lo)}};
}

// "HI llf, LO edf"
std::string policiesText(const mcjobs::SchedulePolicies& policies) {
  return std::string("HI ") + mcjobs::schedulePolicyName(policies.hi) + ", LO " +
         mcjobs::schedulePolicyName(policies.lo);
}

nlohmann::ordered_json tableJson(const std::vector<mcjobs::ScheduleSegment>& table) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const mcjobs::ScheduleSegment& s : table)
    rows.push_back({{"job", Job::nameFromId(s.job)},
                    {"processor", s.processor},
                    {"start", s.start},
                    {"end", s.end}});
  return rows;
}

std::string tableText(const char* mode, const std::vector<mcjobs::ScheduleSegment>& table) {
  std::string text;
  for (const mcjobs::ScheduleSegment& s : table)
    text += std::string(mode) + " P" + std::to_string(s.processor) + " " + std::to_string(s.start) +
            " " + std::to_string(s.end) + " " + Job::nameFromId(s.job) + "\n";
  return text;
}

// Why there are no tables, when the load test or the exact method's program says so.
std::string reasonText(const mcjobs::ScheduleAnswer& answer) {
  if (answer.load.infeasible) return answer.load.reason;
  return answer.exact.ran ? answer.exact.reason : std::string();
}

std::string answerJson(const mcjobs::ScheduleAnswer& answer, int processors) {
  const mcjobs::ScheduleResult& result = answer.result;
  const bool settledByLoad = answer.attempts.empty();
  const bool noPair = settledByLoad || answer.tablesFromProgram();
  nlohmann::ordered_json doc{
      {"processors", processors},
      {"schedulable", result.schedulable},
      {"policy", noPair ? nlohmann::ordered_json() : policiesJson(result.policies)},
      {"method", mcjobs::scheduleMethodName(answer.method)},
      {"status", mcjobs::scheduleStatusName(answer.status)}};
  const std::string reason = reasonText(answer);
  doc["reason"] = reason.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(reason);
  nlohmann::ordered_json attempts = nlohmann::ordered_json::array();
  for (const mcjobs::ScheduleAttempt& attempt : answer.attempts)
    attempts.push_back(
        {{"policy", policiesJson(attempt.policies)},
         {"failure", attempt.schedulable ? nlohmann::ordered_json()
                                         : nlohmann::ordered_json(
                                               mcjobs::describeScheduleFailure(attempt.failure))}});
  doc["attempts"] = attempts;
  doc["tables"] = result.schedulable ? nlohmann::ordered_json{{"hi", tableJson(result.tables.hi)},
                                                              {"lo", tableJson(result.tables.lo)}}
                                     : nlohmann::ordered_json();
  if (answer.method == mcjobs::ScheduleMethod::kExact)
    doc["program"] = answer.exact.ran ? nlohmann::ordered_json{{"slots", answer.exact.slots},
                                                               {"seconds", answer.exact.seconds}}
                                      : nlohmann::ordered_json();
  doc["failure"] = nlohmann::ordered_json();
  if (!result.schedulable && !settledByLoad && !answer.tablesFromProgram())
    doc["failure"] = {{"mode", levelKey(result.failure.mode)},
                      {"job", Job::nameFromId(result.failure.job)},
                      {"kind", mcjobs::scheduleFailureKindName(result.failure.kind)},
                      {"bound", result.failure.bound},
                      {"time", result.failure.time}};
  return doc.dump(2) + "\n";
}

// The first line without the pair: "schedulable", "not schedulable: HI: J1 misses arrival 0 at
// 42" or, when the load test settled it, "not schedulable: infeasible: REASON".
std::string verdictText(const mcjobs::ScheduleAnswer& answer) {
  if (answer.result.schedulable) return "schedulable";
  if (answer.attempts.empty()) return "not schedulable: infeasible: " + answer.load.reason;
  if (answer.exact.ran)
    return std::string("not schedulable: ") + mcjobs::scheduleStatusName(answer.status) + ": " +
           answer.exact.reason;
  return "not schedulable: " + mcjobs::describeScheduleFailure(answer.result.failure);
}

// "HI llf, LO llf", "integer program", or nothing when the load test settled it.
std::string sourceText(const mcjobs::ScheduleAnswer& answer) {
  if (answer.tablesFromProgram()) return "integer program";
  return answer.attempts.empty() ? std::string() : policiesText(answer.result.policies);
}

// The portfolio names the pair it settled on, or the pair whose failure is shown.
std::string answerText(const mcjobs::ScheduleAnswer& answer) {
  std::string text = verdictText(answer);
  if (answer.method != mcjobs::ScheduleMethod::kHeuristic && !answer.attempts.empty()) {
    const std::string source = sourceText(answer);
    const std::string pairsFail = "all " + std::to_string(answer.attempts.size()) + " pairs fail";
    if (answer.result.schedulable)
      text += " (" + source + ")";
    else if (answer.exact.ran)  // the program's verdict stands; the pairs' misses do not matter
      text += " (" + pairsFail + ")";
    else
      text += " (" + source + "; " + pairsFail + ")";
  }
  text += "\n";
  if (answer.result.schedulable)
    text += tableText("HI", answer.result.tables.hi) + tableText("LO", answer.result.tables.lo);
  return text;
}

int reportFault(const std::string& file, const mcjobs::ScheduleAnswer& answer) {
  if (!answer.exact.violations.empty()) {
    std::cerr << "mcjobs: " << displayName(file)
              << ": internal error: the integer program produced tables that break "
              << answer.exact.violations.size() << " rule(s):\n";
    for (const mcjobs::ScheduleViolation& violation : answer.exact.violations)
      std::cerr << "  " << mcjobs::describeViolation(violation) << "\n";
  }
  for (const mcjobs::ScheduleAttempt& attempt : answer.attempts) {
    if (attempt.violations.empty()) continue;
    std::cerr << "mcjobs: " << displayName(file) << ": internal error: the scheduler ("
              << policiesText(attempt.policies) << ") produced tables that break "
              << attempt.violations.size() << " rule(s):\n";
    for (const mcjobs::ScheduleViolation& violation : attempt.violations)
      std::cerr << "  " << mcjobs::describeViolation(violation) << "\n";
  }
  return kFailure;
}

mcjobs::SchedulePolicy policyNamed(const std::string& name) {
  mcjobs::SchedulePolicy policy = mcjobs::SchedulePolicy::kEdf;
  if (!name.empty()) mcjobs::parseSchedulePolicy(name, policy);  // CLI11 checked the name
  return policy;
}

mcjobs::ScheduleAnswer answerFor(const ScheduleOptions& options, JobInstance& instance) {
  for (const auto& given : {std::make_pair("--hi-policy", &options.hiPolicy),
                            std::make_pair("--lo-policy", &options.loPolicy)})
    if (!options.policy.empty() && !given.second->empty())
      throw UsageError(std::string("--policy sets both tables and conflicts with ") + given.first +
                       "; give --policy alone, or --hi-policy and --lo-policy");
  const bool pairGiven =
      !options.policy.empty() || !options.hiPolicy.empty() || !options.loPolicy.empty();
  if (pairGiven && !options.method.empty())
    throw UsageError("--method " + options.method +
                     " tries every pair of policies and conflicts with --policy, --hi-policy "
                     "and --lo-policy; give one or the other");
  if (options.timeLimit > 0 && options.method != "exact")
    throw UsageError("--time-limit does not apply without --method exact");
  if (options.method == "exact") {
    mcjobs::ExactOptions exact;
    if (options.timeLimit > 0) exact.timeLimit = options.timeLimit;
    return mcjobs::scheduleExact(instance, options.processors, exact);
  }
  if (!pairGiven) return mcjobs::schedulePortfolio(instance, options.processors);
  const mcjobs::SchedulePolicies policies =
      options.policy.empty()
          ? mcjobs::SchedulePolicies{policyNamed(options.hiPolicy), policyNamed(options.loPolicy)}
          : mcjobs::SchedulePolicies{policyNamed(options.policy), policyNamed(options.policy)};
  return mcjobs::scheduleChecked(instance, options.processors, policies);
}

int runSchedule(ScheduleOptions options) {
  if (options.svg == "-" && options.json)
    throw UsageError("--svg - and --json would both write to stdout");
  if (options.processors == 0 && !inputIsMcdag(options.file))
    throw UsageError("--processors is required");
  JobInstance instance;
  const int cores = readSystem(options.file, instance);
  if (options.processors == 0) options.processors = cores;
  if (options.processors == 0)
    throw UsageError(displayName(options.file) +
                     " gives no <cores number=\"M\"/>; give the processors with -p M");
  const mcjobs::ScheduleAnswer answer = answerFor(options, instance);
  if (answer.faulty()) return reportFault(options.file, answer);

  if (!options.svg.empty()) {
    std::string title = verdictText(answer) + " (" + std::to_string(options.processors) +
                        " processor" + (options.processors == 1 ? "" : "s");
    if (!answer.attempts.empty()) title += ", " + sourceText(answer);
    writeText(mcjobs::ganttSvg(instance, answer.result.tables, options.processors, title + ")"),
              options.svg);
  }

  // With '--svg -' the chart is the result; its title carries the verdict.
  if (options.svg != "-")
    writeText(options.json ? answerJson(answer, options.processors) : answerText(answer), "-");
  return kSuccess;
}

}  // namespace

void addScheduleCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ScheduleOptions>();
  CLI::App* command = app.add_subcommand(
      "schedule", "Compute and verify the HI and LO scheduling tables with a safe mode switch");
  command->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  command
      ->add_option("-p,--processors", options->processors,
                   "Number of processors (default for an MC-DAG system: its <cores>)")
      ->check(CLI::Range(1, INT32_MAX))
      ->option_text("M");
  for (const auto& option :
       {std::make_tuple("--policy", &options->policy, "Policy of both tables"),
        std::make_tuple("--hi-policy", &options->hiPolicy, "Policy of the HI table (default: edf)"),
        std::make_tuple("--lo-policy", &options->loPolicy,
                        "Policy of the LO table (default: edf)")})
    command->add_option(std::get<0>(option), *std::get<1>(option), std::get<2>(option))
        ->check(CLI::IsMember({"edf", "llf", "edzl"}))
        ->option_text("edf|llf|edzl");
  command
      ->add_option("--method", options->method,
                   "portfolio: the pairs of policies (the default without a policy); exact: the "
                   "pairs, then an integer program that decides what they leave open")
      ->check(CLI::IsMember({"portfolio", "exact"}))
      ->option_text("portfolio|exact");
  command
      ->add_option("--time-limit", options->timeLimit,
                   "Seconds the exact method's solver may take before the answer is 'unknown' "
                   "(default: 60)")
      ->check(CLI::Range(0.001, 1e9))
      ->option_text("S");
  command->add_flag("--json", options->json, "One JSON document instead of text");
  command
      ->add_option("--svg", options->svg,
                   "Also write a Gantt chart as SVG ('-': only the chart, on stdout)")
      ->check(CLI::Validator(
          [](std::string& out) {
            return out.empty() ? "an empty file name; give OUT, or '-' for stdout" : "";
          },
          "OUT", "file name"))
      ->option_text("OUT");
  command->footer(
      "Prints 'schedulable' and one line per segment ('MODE Pn START END JOB', by mode,\n"
      "processor and time; a segment runs over [START, END)), or the first miss: 'not\n"
      "schedulable: MODE: JOB misses DEADLINE at TIME' ('misses arrival A' for the HI table,\n"
      "built backwards; 'misses safe switch'); exit status 0 for both. The HI table runs HI\n"
      "jobs as late as possible (its policy backwards from the deadlines), the LO table\n"
      "forward by its policy; no HI job is ever behind its HI-table progress in LO mode before\n"
      "it has run its LO budget. Without a policy option: the load test first ('not\n"
      "schedulable: infeasible: REASON' when it proves that no tables exist), then the pairs\n"
      "of policies in a fixed order, the first line naming the pair ('schedulable (HI llf,\n"
      "LO llf)'). With --method exact, what the pairs leave open goes to an integer program\n"
      "(CBC): 'schedulable (integer program)', 'not schedulable: infeasible: ...' (proven) or\n"
      "'not schedulable: unknown: time limit of S s reached'. Every table printed has passed\n"
      "the checker; a table that fails it is exit status 3.");
  command->callback([options, &action] { action = [options] { return runSchedule(*options); }; });
}

}  // namespace mcjobs_tool
