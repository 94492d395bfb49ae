// mcjobs convert: an instance between the instance file and the interchange
// formats (JSON, DOT, STG, the nptest CSV files; MC-DAG systems read only),
// formats told by the file extensions unless given.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "explain.h"
#include "interchange.h"
#include "mcjobs/common.h"
#include "option_numbers.h"
#include "safe_write.h"

namespace mcjobs_tool {

namespace {

struct ConvertOptions {
  std::string in;
  std::string out = "-";
  std::string from;
  std::string to;
  std::string precedence;
  std::string defaultWindow;
  std::string priority = "edf";
  std::string release;
  std::map<std::string, std::string> numbers;  // option name -> text, as typed
  mcjobs::InterchangeOptions library;
  CLI::App* command = nullptr;
};

// The options that take a real number: read and checked as generate reads and checks its
// own (the same text refused in the same words), --seed with them.
struct NumberOption {
  const char* name;
  double mcjobs::InterchangeOptions::*field;
  bool (*holds)(double);
  const char* rule;
};

const NumberOption kNumberOptions[] = {
    {"deadline-factor", &mcjobs::InterchangeOptions::deadlineFactor,
     [](double value) { return value > 0; }, "must be positive"},
    {"hi-fraction", &mcjobs::InterchangeOptions::hiFraction,
     [](double value) { return value >= 0 && value <= 1; }, "must be a probability in [0, 1]"},
    {"criticality-factor", &mcjobs::InterchangeOptions::criticalityFactor,
     [](double value) { return value >= 1; }, "must be at least 1"},
    {"bcet-ratio", &mcjobs::InterchangeOptions::bcetRatio,
     [](double value) { return value >= 0 && value <= 1; }, "must be in [0, 1]"},
};

void parseNumbers(ConvertOptions& options) {
  try {
    for (const NumberOption& option : kNumberOptions) {
      const auto given = options.numbers.find(option.name);
      if (given == options.numbers.end()) continue;
      const double value = mcjobs::finiteNumberOption(option.name, given->second);
      mcjobs::requireOption(option.holds(value), option.name, option.rule);
      options.library.*option.field = value;
    }
    const auto seed = options.numbers.find("seed");
    if (seed != options.numbers.end())
      options.library.seed = mcjobs::seedOption("seed", seed->second);
  } catch (const mcjobs::OptionError& error) {
    throw UsageError(error.what());
  }
}

// Adds an option whose text parseNumbers reads.
CLI::Option* addNumberOption(CLI::App& command, ConvertOptions& options, const std::string& name,
                             const std::string& help, const std::string& valueName) {
  return command
      .add_option_function<std::string>(
          "--" + name, [&options, name](const std::string& text) { options.numbers[name] = text; },
          help)
      ->option_text(valueName);
}

mcjobs::Format resolveFormat(const std::string& given, const std::string& file, const char* side) {
  mcjobs::Format format = mcjobs::Format::kNative;
  if (!given.empty()) {
    if (!mcjobs::formatFromName(given, format))
      throw UsageError(std::string("--") + side +
                       " must be native, json, dot, stg, nptest or mcdag, not '" +
                       mcjobs::abbreviate(given) + "'");
    return format;
  }
  if (file == "-" || mcjobs::formatFromPath(file, format)) return format;
  throw UsageError("cannot tell the format of '" + file +
                   "' from its extension (.txt .json .dot .gv .stg .csv .xml); give --" + side);
}

// Whether two paths name one file (the second write would replace the first).
bool samePath(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code error, other;
  // Absolute first: a relative path with no existing part stays relative otherwise.
  const fs::path first = fs::weakly_canonical(fs::absolute(a, error), error);
  const fs::path second = fs::weakly_canonical(fs::absolute(b, other), other);
  return error || other ? a == b : first == second;
}

// Options that only one side of a conversion reads are refused elsewhere, so that
// a misplaced option is not silently ignored.
void checkApplicable(const ConvertOptions& options, mcjobs::Format from, mcjobs::Format to) {
  using mcjobs::Format;
  const struct {
    const char* option;
    bool applies;
  } rules[] = {
      {"--strict", from == Format::kNative},
      {"--deadline", from == Format::kStg},
      {"--deadline-factor", from == Format::kStg},
      {"--hi-fraction", from == Format::kStg},
      {"--seed", from == Format::kStg},
      {"--criticality-factor", from == Format::kStg},
      {"--default-window", from == Format::kJson || from == Format::kDot},
      {"--default-wcet", from == Format::kJson || from == Format::kDot},
      {"--level", from == Format::kNptest || to == Format::kNptest || to == Format::kStg},
      {"--bcet-ratio", to == Format::kNptest},
      {"--priority", to == Format::kNptest},
      {"--release", from == Format::kNptest},
      {"--precedence", from == Format::kNptest || to == Format::kNptest},
  };
  for (const auto& rule : rules)
    if (!rule.applies && options.command->count(rule.option) > 0)
      throw UsageError(std::string(rule.option) + " does not apply to a conversion from " +
                       mcjobs::formatName(from) + " to " + mcjobs::formatName(to));
}

void parseDefaultWindow(ConvertOptions& options) {
  if (options.defaultWindow.empty()) return;
  const size_t comma = options.defaultWindow.find(',');
  try {
    size_t used = 0;
    const std::string arrival = options.defaultWindow.substr(0, comma);
    const std::string deadline =
        comma == std::string::npos ? "" : options.defaultWindow.substr(comma + 1);
    options.library.defaultArrival = std::stoi(arrival, &used);
    if (used != arrival.size()) throw std::invalid_argument(arrival);
    options.library.defaultDeadline = std::stoi(deadline, &used);
    if (used != deadline.size()) throw std::invalid_argument(deadline);
  } catch (const std::logic_error&) {
    throw UsageError("--default-window must be two integers ARRIVAL,DEADLINE, not '" +
                     mcjobs::abbreviate(options.defaultWindow) + "'");
  }
  options.library.hasDefaultWindow = true;
}

JobInstance read(const ConvertOptions& options, mcjobs::Format from,
                 std::vector<mcjobs::TaskJob>& numbering) {
  const std::string name = displayName(options.in);
  if (from == mcjobs::Format::kNative) {
    JobInstance instance;
    readInstance(options.in, instance);
    return instance;
  }
  InputStream input(options.in);
  switch (from) {
    case mcjobs::Format::kJson: {
      std::vector<std::string> warnings;
      JobInstance instance = mcjobs::readJson(input.stream(), name, options.library, &warnings);
      for (const std::string& warning : warnings) std::cerr << "mcjobs: " << warning << "\n";
      return instance;
    }
    case mcjobs::Format::kDot:
      return mcjobs::readDot(input.stream(), name, options.library);
    case mcjobs::Format::kStg:
      return mcjobs::readStg(input.stream(), name, options.library);
    case mcjobs::Format::kMcdag:
      return mcjobs::readMcdag(input.stream(), name);
    default:
      break;
  }
  // nptest: the precedence file named, or the one beside IN when it exists.
  std::string precedence = options.precedence;
  if (precedence.empty() && options.in != "-") {
    const std::string beside = mcjobs::nptestPrecedencePath(options.in);
    if (std::ifstream(beside)) precedence = beside;
  }
  if (precedence.empty())
    return mcjobs::readNptest(input.stream(), name, nullptr, "", options.library, &numbering);
  if (precedence == "-" && options.in == "-")
    throw UsageError("the job file and the precedence file cannot both be stdin");
  InputStream precedenceInput(precedence);
  return mcjobs::readNptest(input.stream(), name, &precedenceInput.stream(),
                            displayName(precedence), options.library, &numbering);
}

int runConvert(ConvertOptions& options) {
  const mcjobs::Format from = resolveFormat(options.from, options.in, "from");
  const mcjobs::Format to = resolveFormat(options.to, options.out, "to");
  requireWritable(to);
  checkApplicable(options, from, to);
  parseNumbers(options);
  parseDefaultWindow(options);
  // The option validators already admit only the words these know.
  mcjobs::nptestPriorityFromName(options.priority, options.library.priority);
  mcjobs::nptestReleaseFromName(options.release.empty() ? "exact" : options.release,
                                options.library.release);
  std::string precedenceOut;
  if (to == mcjobs::Format::kNptest) {
    const bool named = !options.precedence.empty() && from != mcjobs::Format::kNptest;
    precedenceOut = named                ? options.precedence
                    : options.out == "-" ? ""
                                         : mcjobs::nptestPrecedencePath(options.out);
    if (precedenceOut.empty())
      throw UsageError(from == mcjobs::Format::kNptest
                           ? "writing nptest to stdout needs a precedence file, and from nptest "
                             "--precedence names the input's: give OUT a name"
                           : "writing nptest to stdout needs --precedence FILE for the precedence "
                             "file");
    if (precedenceOut == "-" && options.out == "-")
      throw UsageError("the job file and the precedence file cannot both be stdout");
    if (precedenceOut != "-" && options.out != "-" && samePath(precedenceOut, options.out))
      throw UsageError("the job file and the precedence file cannot both be '" + options.out + "'");
  }

  std::vector<mcjobs::TaskJob> numbering;
  JobInstance instance = read(options, from, numbering);
  // An nptest job set read keeps its task and job ids.
  writeInFormat(instance, to, options.out, precedenceOut, options.library,
                numbering.empty() ? nullptr : &numbering);
  return kSuccess;
}

// A regular file's content as it was, to be put back when a write that replaced it must be
// undone; a file that did not exist is removed instead. Devices and pipes are left alone.
class PriorFile {
 public:
  explicit PriorFile(std::string path) : mPath(std::move(path)) {
    struct stat status {};
    if (::stat(mPath.c_str(), &status) != 0) {
      mKind = errno == ENOENT ? kAbsent : kUnknown;
      return;
    }
    std::ifstream in(mPath, std::ios::binary);
    std::ostringstream content;
    if (S_ISREG(status.st_mode) && in && content << in.rdbuf()) {
      mContent = content.str();
      mKind = kRegular;
    }
  }

  // Puts the file back; why that failed, or "".
  std::string restore() const {
    if (mKind == kAbsent)
      return ::unlink(mPath.c_str()) == 0 || errno == ENOENT ? "" : std::strerror(errno);
    if (mKind != kRegular) return "its old content was not kept";
    try {
      writeText(mContent, mPath);
      return "";
    } catch (const CheckError& failure) {
      return failure.condition();
    }
  }

 private:
  enum Kind { kUnknown, kAbsent, kRegular };
  std::string mPath;
  Kind mKind = kUnknown;
  std::string mContent;
};

bool holds(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  return in && content << in.rdbuf() && content.str() == text;
}

// The two files of an nptest job set appear together or not at all. The job file is complete
// in its temporary file before the precedence file is replaced, and is renamed right after
// it; a failure once the precedence file was replaced puts that file back as it was. Only a
// crash between the two renames (SIGKILL, a power loss; the other signals wait) leaves the
// new precedence file beside the old job file, with the new job file beside them as
// .NAME.tmpXXXXXXXX.
void writeNptestPair(const mcjobs::NptestFiles& files, const std::string& out,
                     const std::string& precedenceOut) {
  const PriorFile previous(precedenceOut);
  bool precedenceReplaced = false;
  try {
    mcjobs::writeFileSafely(out.c_str(), [&](FILE* stream) {
      if (std::fwrite(files.jobs.data(), 1, files.jobs.size(), stream) != files.jobs.size() ||
          std::fflush(stream) != 0)
        return false;
      writeText(files.precedence, precedenceOut);
      precedenceReplaced = true;
      return true;
    });
  } catch (const CheckError&) {
    // A job file already renamed (a failed directory sync) makes the new pair whole.
    if (!precedenceReplaced || holds(out, files.jobs)) throw;
    const std::string problem = previous.restore();
    if (!problem.empty())
      std::cerr << "mcjobs: " << precedenceOut
                << ": warning: the new precedence file could not be put back to the old one ("
                << problem << "); it does not belong to " << out << std::endl;
    throw;
  }
}

}  // namespace

void requireWritable(mcjobs::Format format) {
  if (format == mcjobs::Format::kMcdag)
    throw UsageError(
        "MC-DAG system files (mcdag, .xml) can be read, not written; choose another format "
        "for the output");
}

void writeInFormat(JobInstance& instance, mcjobs::Format format, const std::string& out,
                   const std::string& precedenceOut, const mcjobs::InterchangeOptions& options,
                   const std::vector<mcjobs::TaskJob>* numbering) {
  switch (format) {
    case mcjobs::Format::kNative:
      writeInstance(instance, out);
      break;
    case mcjobs::Format::kJson:
      writeText(mcjobs::writeJson(instance), out);
      break;
    case mcjobs::Format::kDot:
      writeText(mcjobs::writeDot(instance), out);
      break;
    case mcjobs::Format::kStg:
      writeText(mcjobs::writeStg(instance, options), out);
      break;
    case mcjobs::Format::kMcdag:
      requireWritable(format);
      break;
    case mcjobs::Format::kNptest: {
      const mcjobs::NptestFiles files = mcjobs::writeNptest(instance, options, numbering);
      if (out == "-") {
        writeText(files.precedence, precedenceOut);
        writeText(files.jobs, out);
        break;
      }
      writeNptestPair(files, out, precedenceOut);
      break;
    }
  }
}

void addConvertCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* command = app.add_subcommand(
      "convert", "Convert between the instance file, JSON, DOT, STG and nptest CSV; read MC-DAG");
  options->command = command;
  command->add_option("IN", options->in, "Input file ('-' for stdin)")->required();
  command->add_option("-o,--output", options->out, "Output file ('-' for stdout)")
      ->option_text("OUT");
  const std::vector<std::string> formats{"native", "json", "dot", "stg", "nptest", "mcdag"};
  command->add_option("--from", options->from, "Input format (default: from IN's extension)")
      ->check(CLI::IsMember(formats))
      ->option_text("FMT");
  command->add_option("--to", options->to, "Output format (default: from OUT's extension)")
      ->check(CLI::IsMember(formats))
      ->option_text("FMT");
  addStrictOption(*command);
  addLevelOption(*command, options->library.level,
                 "STG and nptest output: the level written (hi: the HI jobs, budgets and\n"
                 "arcs); nptest input: the jobs' criticality");
  command
      ->add_option("--precedence", options->precedence,
                   "nptest: the precedence file (default: IN or OUT with .prec.csv)")
      ->option_text("FILE");
  auto* deadline =
      command
          ->add_option("--deadline", options->library.deadline, "STG input: every job's deadline")
          ->check(CLI::Range(1, 2147483647))
          ->option_text("D");
  addNumberOption(*command, *options, "deadline-factor",
                  "STG input: deadline = F x the critical-path length (default 1)", "F")
      ->excludes(deadline);
  addNumberOption(*command, *options, "hi-fraction",
                  "STG input: share of the tasks made HI (default 0: all LO)", "H");
  addNumberOption(*command, *options, "seed",
                  "STG input: seed of the choice of HI tasks, 0..2^64-1 (default 1)", "S");
  addNumberOption(*command, *options, "criticality-factor",
                  "STG input: HI budget = C x cost, rounded up (default 2)", "C");
  command
      ->add_option("--default-window", options->defaultWindow,
                   "JSON/DOT input: window of a node without arrival and deadline")
      ->option_text("A,D");
  command
      ->add_option("--default-wcet", options->library.defaultWcet,
                   "JSON/DOT input: LO budget of a node without lo_wcet")
      ->check(CLI::Range(1, 2147483647))
      ->option_text("C");
  addNumberOption(*command, *options, "bcet-ratio",
                  "nptest output: cost min = R x cost max, rounded down (default 1)", "R");
  command
      ->add_option("--priority", options->priority,
                   "nptest output: edf (the deadline, default), alap (the latest finish\n"
                   "along the successors) or id (the job's position)")
      ->check(CLI::IsMember({"edf", "alap", "id"}))
      ->option_text("edf|alap|id");
  command
      ->add_option("--release", options->release,
                   "nptest input: the arrival of a job with release jitter")
      ->check(CLI::IsMember({"min", "max"}))
      ->option_text("min|max");
  command->footer(
      "Formats by extension: .txt native, .json json (NetworkX node-link), .dot/.gv dot,\n"
      ".stg stg (Standard Task Graph Set), .csv nptest, .xml mcdag (an MC-DAG system, read\n"
      "only). A '-' IN or OUT is the instance file unless --from/--to say otherwise.");
  command->callback([options, &action] { action = [options] { return runConvert(*options); }; });
}

}  // namespace mcjobs_tool
