// mcjobs schedule: the HI and LO scheduling tables of a job set on m processors, verified before
// they are printed, as text, JSON or an SVG Gantt chart.
#include "schedule.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "gantt_svg.h"
#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

struct ScheduleOptions {
  std::string file;
  int processors = 0;  // 0: the file's own count (an MC-DAG system's <cores>)
  std::string policy = "edf";
  bool json = false;
  std::string svg;
};

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

std::string resultJson(const mcjobs::ScheduleResult& result, int processors) {
  nlohmann::ordered_json doc{{"processors", processors},
                             {"schedulable", result.schedulable},
                             {"policy", mcjobs::schedulePolicyName(result.policy)}};
  doc["tables"] = result.schedulable ? nlohmann::ordered_json{{"hi", tableJson(result.tables.hi)},
                                                              {"lo", tableJson(result.tables.lo)}}
                                     : nlohmann::ordered_json();
  doc["failure"] = nlohmann::ordered_json();
  if (!result.schedulable)
    doc["failure"] = {{"mode", levelKey(result.failure.mode)},
                      {"job", Job::nameFromId(result.failure.job)},
                      {"kind", mcjobs::scheduleFailureKindName(result.failure.kind)},
                      {"bound", result.failure.bound},
                      {"time", result.failure.time}};
  return doc.dump(2) + "\n";
}

std::string resultText(const mcjobs::ScheduleResult& result) {
  if (!result.schedulable)
    return "not schedulable: " + mcjobs::describeScheduleFailure(result.failure) + "\n";
  return "schedulable\n" + tableText("HI", result.tables.hi) + tableText("LO", result.tables.lo);
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
  const mcjobs::SchedulePolicy policy =
      options.policy == "llf" ? mcjobs::SchedulePolicy::kLlf : mcjobs::SchedulePolicy::kEdf;
  const mcjobs::ScheduleResult result = mcjobs::schedule(instance, options.processors, policy);

  if (result.schedulable) {
    const std::vector<mcjobs::ScheduleViolation> violations =
        mcjobs::verifySchedule(instance, result.tables, options.processors);
    if (!violations.empty()) {
      std::cerr << "mcjobs: " << displayName(options.file)
                << ": internal error: the scheduler produced tables that break "
                << violations.size() << " rule(s):\n";
      for (const mcjobs::ScheduleViolation& violation : violations)
        std::cerr << "  " << mcjobs::describeViolation(violation) << "\n";
      return kFailure;
    }
  }

  if (!options.svg.empty()) {
    std::string verdict = resultText(result);
    verdict = verdict.substr(0, verdict.find('\n'));
    const std::string title = verdict + " (" + std::to_string(options.processors) + " processor" +
                              (options.processors == 1 ? "" : "s") + ", " +
                              mcjobs::schedulePolicyName(policy) + ")";
    writeText(mcjobs::ganttSvg(instance, result.tables, options.processors, title), options.svg);
  }

  // With '--svg -' the chart is the result; its title carries the verdict.
  if (options.svg != "-")
    writeText(options.json ? resultJson(result, options.processors) : resultText(result), "-");
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
  command->add_option("--policy", options->policy, "LO table policy: edf (default) or llf")
      ->check(CLI::IsMember({"edf", "llf"}))
      ->option_text("edf|llf");
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
      "jobs as late as possible (EDF backwards from the deadlines), the LO table forward by the\n"
      "policy; no HI job is ever behind its HI-table progress in LO mode before it has run its\n"
      "LO budget. Every table printed has passed the checker; a table that fails it is exit\n"
      "status 3.");
  command->callback([options, &action] { action = [options] { return runSchedule(*options); }; });
}

}  // namespace mcjobs_tool
