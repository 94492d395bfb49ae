// mcjobs generate: seeded random job sets, one instance file or a batch of
// archive entries, with an optional JSON report of what each set achieved.
#include "generate.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "archive_file.h"
#include "explain.h"
#include "mcjobs/common.h"
#include "option_numbers.h"
#include "stats.h"

namespace mcjobs_tool {

namespace {

struct GenerateCommand {
  std::map<std::string, std::string> given;  // option name -> text, as typed
  std::vector<std::string> flags;            // flag names, for their counts
  std::string seedText = "1";
  std::uint64_t seed = 1;
  std::string out = "-";
  long long count = 0;
  std::string name = "set";
  bool json = false;
  std::string to;       // output format; "" infers it from OUT's extension
  int level = CRIT_LO;  // the level STG and nptest output holds
};

nlohmann::json describeSet(mcjobs::GeneratedSet& set, std::uint64_t seed) {
  return {{"seed", seed},
          {"jobs", set.instance.numJobs()},
          {"arcs", mcjobs::arcCount(set.instance, CRIT_LO)},
          {"utilization", {{"lo", set.utilizationLo}, {"hi", set.utilizationHi}}},
          {"raised_budgets", set.raisedBudgets},
          {"warnings", set.warnings}};
}

// An option's text as the JSON value it stands for: a number, a flag, null for
// "none", or else the text itself (a range, a list, a word).
nlohmann::json jsonValue(const std::string& text) {
  if (text == "none") return nullptr;
  nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  return value.is_discarded() || value.is_string() ? nlohmann::json(text) : value;
}

// The options of the writers apply to the formats that have them.
void checkWriterOptions(const CLI::App& command, const GenerateCommand& options,
                        mcjobs::Format format) {
  if (command.count("--level") > 0 && format != mcjobs::Format::kNptest &&
      format != mcjobs::Format::kStg)
    throw UsageError("--level does not apply to " + std::string(mcjobs::formatName(format)) +
                     " output (it chooses the level of STG and nptest output)");
  if (command.count("--name") > 0 && options.count == 0)
    throw UsageError("--name does not apply without --count");
}

// The set for one seed; a set that cannot be drawn is named by its entry and seed in a batch.
mcjobs::GeneratedSet generateSet(const mcjobs::GenerateOptions& generate, std::uint64_t seed,
                                 const std::string& entry) {
  try {
    return mcjobs::generateJobSet(generate, seed);
  } catch (const mcjobs::OptionError& error) {
    throw UsageError(error.what());
  } catch (const CheckError& error) {
    // Said whole: the reason and every remedy.
    throw std::runtime_error(
        (entry.empty() ? "" : entry + " (seed " + std::to_string(seed) + "): ") +
        (error.explanation().empty() ? error.condition() : error.explanation()));
  }
}

// The generator's options as typed, checked together: an option that does not apply to the
// model or shape is refused rather than ignored.
mcjobs::GenerateOptions generatorOptions(const CLI::App& command, const GenerateCommand& options) {
  mcjobs::GenerateOptions generate;
  try {
    std::vector<std::string> given;
    for (const auto& option : options.given) {
      mcjobs::setGenerateOption(generate, option.first, option.second);
      given.push_back(option.first);
    }
    for (const std::string& flag : options.flags)
      if (command.count("--" + flag) > 0) {
        mcjobs::setGenerateOption(generate, flag, "true");
        given.push_back(flag);
      }
    mcjobs::checkGivenGenerateOptions(generate, given);
    mcjobs::validateGenerateOptions(generate);
  } catch (const mcjobs::OptionError& error) {
    throw UsageError(error.what());
  }
  return generate;
}

// Checked before any set is drawn, so that a mistyped batch costs nothing.
void checkBatchOptions(const GenerateCommand& options) {
  if (options.count > 0 && options.out == "-")
    throw UsageError("--count writes archive entries: name the archive with -o ARCHIVE");
  if (options.count > 0 && !mcjobs::entryNameProblem(options.name + "-1").empty())
    throw UsageError("--name: " + mcjobs::entryNameProblem(options.name));
}

std::uint64_t seedOf(const GenerateCommand& options) {
  try {
    return mcjobs::seedOption("seed", options.seedText);
  } catch (const mcjobs::OptionError& error) {
    throw UsageError(error.what());
  }
}

// --to, else OUT's extension; stdout and an unknown extension get the instance file.
mcjobs::Format outputFormat(const CLI::App& command, const GenerateCommand& options) {
  mcjobs::Format format = mcjobs::Format::kNative;
  if (!options.to.empty() ? !mcjobs::formatFromName(options.to, format)
                          : options.out != "-" && !mcjobs::formatFromPath(options.out, format))
    format = mcjobs::Format::kNative;
  if (!options.to.empty() && format == mcjobs::Format::kNative && options.to != "native")
    throw UsageError("--to must be native, json, dot, stg or nptest, not '" +
                     mcjobs::abbreviate(options.to) + "'");
  if (options.count > 0 && format != mcjobs::Format::kNative)
    throw UsageError("--count writes archive entries, which hold instance files only");
  if (format == mcjobs::Format::kNptest && options.out == "-")
    throw UsageError("nptest output is two files: name the job file with -o OUT.csv");
  checkWriterOptions(command, options, format);
  return format;
}

// Draws the sets and keeps what the report tells of them. With --json, stderr holds one JSON
// document at the end, so nothing else may go there.
class SetDrawer {
 public:
  SetDrawer(const mcjobs::GenerateOptions& generate, bool json) : mGenerate(generate), mJson(json) {
    mReport = {{"options", nlohmann::json::object()}, {"instances", nlohmann::json::array()}};
    for (const auto& option : mcjobs::describeGenerateOptions(generate))
      mReport["options"][option.first] = jsonValue(option.second);
  }

  // `entry` names the set in a batch; "" for a single set, whose warnings are said at once.
  mcjobs::GeneratedSet draw(std::uint64_t seed, const std::string& entry) {
    mcjobs::GeneratedSet set = generateSet(mGenerate, seed, entry);
    if (!set.warnings.empty() && mOffTarget++ == 0)
      mFirstWarning = (entry.empty() ? "" : entry + ": ") + set.warnings.front();
    if (mJson) {
      nlohmann::json described = describeSet(set, seed);
      if (!entry.empty()) described["name"] = entry;
      mReport["instances"].push_back(described);
    } else if (entry.empty()) {
      for (const std::string& warning : set.warnings)
        std::cerr << "mcjobs: warning: " << warning << std::endl;
    }
    return set;
  }

  // The exit status once `count` sets (0: a single set) are written.
  int finish(long long count) {
    // A set that misses its target is no error, but it is not what was asked for. With --json,
    // stderr holds one JSON document, which tells it per set (warnings); a batch is summed up.
    if (mOffTarget > 0 && !mJson && count > 0)
      std::cerr << "mcjobs: warning: " << mOffTarget << " of " << count
                << " sets miss their utilization target by more than 1% (--json tells each "
                   "set's); "
                << mFirstWarning << std::endl;
    if (mJson) std::cerr << mReport.dump(2) << std::endl;
    // The report was asked for: losing it is a failure, even with nowhere left to say so.
    return mJson && !std::cerr ? kFailure : kSuccess;
  }

 private:
  const mcjobs::GenerateOptions& mGenerate;
  bool mJson;
  nlohmann::json mReport;
  long long mOffTarget = 0;
  std::string mFirstWarning;  // with its entry's name in a batch
};

// nptest numbers jobs (task, job): each DAG node is a task there, and the
// instances of its DAG task are its jobs.
std::vector<mcjobs::TaskJob> nptestNumbering(const mcjobs::GeneratedSet& set) {
  std::vector<mcjobs::TaskJob> numbering;
  std::vector<long long> firstNode(set.tasks.size() + 1, 0);
  for (size_t k = 0; k < set.tasks.size(); ++k)
    firstNode[k + 1] = firstNode[k] + set.tasks[k].nodes;
  // The jobs of one task instance are consecutive, in node order.
  long long node = 0;
  for (size_t id = 0; id < set.taskOfJob.size(); ++id) {
    const auto& task = set.taskOfJob[id];
    node = id > 0 && set.taskOfJob[id - 1] == task ? node + 1 : 0;
    numbering.emplace_back(firstNode[task.first] + node + 1, task.second + 1);
  }
  return numbering;
}

void writeSet(mcjobs::GeneratedSet& set, mcjobs::Format format, const GenerateCommand& options) {
  const std::vector<mcjobs::TaskJob> numbering = nptestNumbering(set);
  mcjobs::InterchangeOptions writer;
  writer.level = options.level;
  writeInFormat(set.instance, format, options.out,
                format == mcjobs::Format::kNptest ? mcjobs::nptestPrecedencePath(options.out) : "",
                writer, &numbering);
}

// Each entry's seed derives from the seed and its index, so an entry can be drawn again alone.
void appendSets(SetDrawer& drawer, const GenerateCommand& options) {
  long long index = 0;
  const mcjobs::AppendReport appended =
      mcjobs::appendToArchive(options.out, [&](std::string& entry, JobInstance& instance) {
        if (index == options.count) return false;
        ++index;
        entry = options.name + "-" + std::to_string(index);
        instance = std::move(
            drawer.draw(mcjobs::batchSeed(options.seed, static_cast<std::uint64_t>(index)), entry)
                .instance);
        return true;
      });
  if (!appended.repaired.empty()) std::cerr << "mcjobs: " << appended.repaired << std::endl;
}

int runGenerate(CLI::App& command, GenerateCommand& options) {
  const mcjobs::GenerateOptions generate = generatorOptions(command, options);
  checkBatchOptions(options);
  options.seed = seedOf(options);
  SetDrawer drawer(generate, options.json);
  const mcjobs::Format format = outputFormat(command, options);
  if (options.count == 0) {
    mcjobs::GeneratedSet set = drawer.draw(options.seed, "");
    writeSet(set, format, options);
  } else {
    appendSets(drawer, options);
  }
  return drawer.finish(options.count);
}

// CLI11 reads a count beyond 64 bits as the largest one: such a count would
// run for ever instead of being refused.
const CLI::Validator countRange(
    [](std::string& value) -> std::string {
      const char* begin = value.data() + (value.rfind('+', 0) == 0 ? 1 : 0);
      long long parsed = 0;
      if (std::from_chars(begin, value.data() + value.size(), parsed).ec !=
          std::errc::result_out_of_range)
        return std::string();
      return "Value " + mcjobs::abbreviate(value) + " not in range 1 to " +
             std::to_string(std::numeric_limits<long long>::max());
    },
    "", "64-bit count");

}  // namespace

void addGenerateCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<GenerateCommand>();
  CLI::App* command =
      app.add_subcommand("generate", "Generate random mixed-criticality DAG job sets from a seed");
  const auto defaults = mcjobs::describeGenerateOptions(mcjobs::GenerateOptions());
  for (const mcjobs::GenerateOptionInfo& info : mcjobs::generateOptionList()) {
    const std::string name = info.name;
    std::string help = info.help;
    for (const auto& option : defaults)
      if (option.first == name && option.second != "false")
        help += " (default: " + option.second + ")";
    if (*info.valueName == '\0') {
      command->add_flag("--" + name)->description(help);
      options->flags.push_back(name);
    } else {
      command
          ->add_option_function<std::string>(
              "--" + name,
              [options, name](const std::string& value) { options->given[name] = value; }, help)
          ->option_text(info.valueName);
    }
  }
  command
      ->add_option("--seed", options->seedText,
                   "Seed (default 1); the same seed gives the same bytes")
      ->option_text("S");
  command
      ->add_option("-o,--output", options->out,
                   "Output instance file ('-' for stdout), or the archive with --count")
      ->option_text("OUT");
  command
      ->add_option("--to", options->to,
                   "Output format: native, json, dot, stg or nptest (default: from OUT's "
                   "extension); nptest keeps each DAG node's instances as one task's jobs")
      ->option_text("FMT");
  command
      ->add_option("--count", options->count,
                   "Append N sets to the archive OUT as entries NAME-1 ... NAME-N")
      ->option_text("N")
      ->check(countRange)
      ->check(CLI::Range(1LL, std::numeric_limits<long long>::max()));
  command->add_option("--name", options->name, "Entry name prefix with --count (default: set)")
      ->option_text("NAME");
  addLevelOption(*command, options->level,
                 "STG and nptest output: the level written (hi: the HI jobs, budgets and arcs)");
  command->add_flag("--json", options->json,
                    "Report the options and, per set, the seed, the achieved utilizations (sum "
                    "of budget / period per processor, what --utilization targets) and the "
                    "warnings on stderr as JSON");
  command->footer(
      "Example: mcjobs generate --model periodic --tasks 3 --periods 10,20 --seed 7 -o set.txt");
  command->callback([command, options, &action] {
    action = [command, options] { return runGenerate(*command, *options); };
  });
}

}  // namespace mcjobs_tool
