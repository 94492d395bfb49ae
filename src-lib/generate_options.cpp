// The generator's options by name: one table that the command line, the Python
// module and the --json report share, with strict parsing and validation.
#include <charconv>
#include <functional>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "explain.h"
#include "generate.h"
#include "option_numbers.h"

namespace mcjobs {

namespace {

[[noreturn]] void badValue(const std::string& name, const std::string& value,
                           const std::string& expected) {
  mcjobs::refuseOptionText(name, value, expected);
}

// Whole-text conversions, independent of the locale.
int parseInt(const std::string& name, const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec == std::errc::result_out_of_range && result.ptr == end)
    throw OptionError(
        "--" + name + ": '" + mcjobs::abbreviate(text) + "' is out of range (the " +
        (text[0] == '-' ? "smallest is " + std::to_string(std::numeric_limits<int>::min())
                        : "largest is " + std::to_string(std::numeric_limits<int>::max())) +
        ")");
  if (text.empty() || result.ec != std::errc() || result.ptr != end)
    badValue(name, text, "an integer");
  return value;
}

double parseReal(const std::string& name, const std::string& text) {
  return mcjobs::finiteNumberOption(name, text);
}

bool parseFlag(const std::string& name, const std::string& text) {
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  badValue(name, text, "true or false");
}

std::string realText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

template <typename Enum, size_t N>
Enum parseWord(const std::string& name, const std::string& text,
               const std::pair<const char*, Enum> (&words)[N]) {
  std::string expected;
  for (const auto& word : words) {
    if (text == word.first) return word.second;
    expected += (expected.empty() ? "" : " or ") + std::string(word.first);
  }
  badValue(name, text, expected);
}

template <typename Enum, size_t N>
std::string wordOf(Enum value, const std::pair<const char*, Enum> (&words)[N]) {
  for (const auto& word : words)
    if (word.second == value) return word.first;
  return "";
}

const std::pair<const char*, GenerateModel> kModels[] = {{"frame", GenerateModel::kFrame},
                                                         {"periodic", GenerateModel::kPeriodic}};
const std::pair<const char*, GraphShape> kShapes[] = {
    {"gnp", GraphShape::kGnp}, {"layers", GraphShape::kLayers}, {"fork-join", GraphShape::kForkJoin}};
const std::pair<const char*, UtilizationSplit> kSplits[] = {
    {"uunifast", UtilizationSplit::kUUniFast}, {"cfs", UtilizationSplit::kCfs}};

struct OptionEntry {
  GenerateOptionInfo info;
  std::function<void(GenerateOptions&, const std::string& name, const std::string& value)> set;
  std::function<std::string(const GenerateOptions&)> get;
};

template <typename T>
OptionEntry intOption(GenerateOptionInfo info, T GenerateOptions::*field) {
  return {info,
          [field](GenerateOptions& o, const std::string& n, const std::string& v) {
            o.*field = parseInt(n, v);
          },
          [field](const GenerateOptions& o) { return std::to_string(o.*field); }};
}

OptionEntry realOption(GenerateOptionInfo info, double GenerateOptions::*field) {
  info.real = true;
  return {info,
          [field](GenerateOptions& o, const std::string& n, const std::string& v) {
            o.*field = parseReal(n, v);
          },
          [field](const GenerateOptions& o) { return realText(o.*field); }};
}

const std::vector<OptionEntry>& optionTable() {
  static const std::vector<OptionEntry> table = {
      {{"model", "frame|periodic",
        "frame: DAGs released together; periodic: DAG tasks unrolled "
        "over the hyperperiod"},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         o.model = parseWord(n, v, kModels);
       },
       [](const GenerateOptions& o) { return wordOf(o.model, kModels); }},
      intOption({"processors", "M", "Processors m; utilizations are per processor"},
                &GenerateOptions::processors),
      realOption({"utilization", "U", "Target LO utilization per processor, in (0, 1]"},
                 &GenerateOptions::utilization),
      intOption({"graphs", "G", "frame: number of DAGs"}, &GenerateOptions::graphs),
      intOption({"deadline", "D", "frame: every job's window is [0, D]"},
                &GenerateOptions::deadline),
      intOption({"tasks", "K", "periodic: number of DAG tasks"}, &GenerateOptions::tasks),
      {{"periods", "LIST", "periodic: periods to draw from, e.g. 10,20,25,50,100"},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         std::vector<int> periods;
         for (size_t start = 0; start <= v.size();) {
           const size_t comma = std::min(v.find(',', start), v.size());
           periods.push_back(parseInt(n, v.substr(start, comma - start)));
           start = comma + 1;
         }
         o.periods = periods;
       },
       [](const GenerateOptions& o) {
         std::string text;
         for (int period : o.periods) text += (text.empty() ? "" : ",") + std::to_string(period);
         return text;
       }},
      realOption({"deadline-factor", "F", "periodic: deadline = period * F (rounded)"},
                 &GenerateOptions::deadlineFactor),
      realOption({"hi-fraction", "H", "Probability that a node (or a task) is HI"},
                 &GenerateOptions::hiFraction),
      {{"hi-per-task", "", "Draw the criticality once per task instead of per node"},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         o.hiPerTask = parseFlag(n, v);
       },
       [](const GenerateOptions& o) { return std::string(o.hiPerTask ? "true" : "false"); }},
      realOption({"criticality-factor", "C", "HI budget = LO budget * C (>= 1)"},
                 &GenerateOptions::criticalityFactor),
      {{"utilization-hi", "U_HI",
        "Target HI utilization per processor instead of a fixed criticality factor", true},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         o.utilizationHi = parseReal(n, v);
         if (o.utilizationHi < 0) badValue(n, v, "a utilization >= 0");
       },
       [](const GenerateOptions& o) {
         return o.utilizationHi < 0 ? std::string("none") : realText(o.utilizationHi);
       }},
      {{"shape", "gnp|layers|fork-join", "Shape of each DAG"},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         o.shape = parseWord(n, v, kShapes);
       },
       [](const GenerateOptions& o) { return wordOf(o.shape, kShapes); }},
      {{"nodes", "A..B", "gnp, layers: nodes per DAG, drawn uniformly from A..B (or exactly N)"},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         const size_t dots = v.find("..");
         if (dots == std::string::npos) {
           o.nodesMin = o.nodesMax = parseInt(n, v);
         } else {
           o.nodesMin = parseInt(n, v.substr(0, dots));
           o.nodesMax = parseInt(n, v.substr(dots + 2));
         }
       },
       [](const GenerateOptions& o) {
         return std::to_string(o.nodesMin) + ".." + std::to_string(o.nodesMax);
       }},
      realOption({"edge-prob", "P", "gnp, layers: probability of each allowed arc"},
                 &GenerateOptions::edgeProb),
      intOption({"layers", "L", "layers: number of layers"}, &GenerateOptions::layers),
      intOption({"branching", "B", "fork-join: at most B branches per fork (>= 2)"},
                &GenerateOptions::branching),
      intOption({"depth", "D", "fork-join: nesting depth"}, &GenerateOptions::depth),
      realOption({"nest-prob", "P", "fork-join: probability that a branch nests a fork-join"},
                 &GenerateOptions::nestProb),
      {{"split", "uunifast|cfs", "How the utilization is split over DAGs or tasks"},
       [](GenerateOptions& o, const std::string& n, const std::string& v) {
         o.split = parseWord(n, v, kSplits);
       },
       [](const GenerateOptions& o) { return wordOf(o.split, kSplits); }},
      realOption({"max-task-utilization", "CAP", "Largest utilization of one DAG or task"},
                 &GenerateOptions::maxTaskUtilization),
  };
  return table;
}

void require(bool holds, const std::string& option, const std::string& rule) {
  mcjobs::requireOption(holds, option, rule);
}

bool probability(double p) {
  return p >= 0.0 && p <= 1.0;
}

}  // namespace

const std::vector<GenerateOptionInfo>& generateOptionList() {
  static const std::vector<GenerateOptionInfo> list = [] {
    std::vector<GenerateOptionInfo> infos;
    for (const OptionEntry& entry : optionTable()) infos.push_back(entry.info);
    return infos;
  }();
  return list;
}

void setGenerateOption(GenerateOptions& options, const std::string& name,
                       const std::string& value) {
  std::string dashed = name;
  for (char& c : dashed)
    if (c == '_') c = '-';
  for (const OptionEntry& entry : optionTable())
    if (dashed == entry.info.name) return entry.set(options, dashed, value);
  throw OptionError("unknown generator option '" + name + "'");
}

std::vector<std::pair<std::string, std::string>> describeGenerateOptions(
    const GenerateOptions& options) {
  std::vector<std::pair<std::string, std::string>> described;
  for (const OptionEntry& entry : optionTable())
    described.emplace_back(entry.info.name, entry.get(options));
  return described;
}

void checkGivenGenerateOptions(const GenerateOptions& options,
                               const std::vector<std::string>& given) {
  const bool frame = options.model == GenerateModel::kFrame;
  const bool forkJoin = options.shape == GraphShape::kForkJoin;
  const std::string model = "--model " + wordOf(options.model, kModels);
  const std::string shape = "--shape " + wordOf(options.shape, kShapes);
  const struct {
    const char* option;
    bool applies;
    const std::string& setBy;
  } rules[] = {
      {"graphs", frame, model},
      {"deadline", frame, model},
      {"tasks", !frame, model},
      {"periods", !frame, model},
      {"deadline-factor", !frame, model},
      {"nodes", !forkJoin, shape},
      {"edge-prob", !forkJoin, shape},
      {"layers", options.shape == GraphShape::kLayers, shape},
      {"branching", forkJoin, shape},
      {"depth", forkJoin, shape},
      {"nest-prob", forkJoin, shape},
  };
  auto isGiven = [&given](const std::string& option) {
    for (std::string name : given) {
      for (char& c : name)
        if (c == '_') c = '-';
      if (name == option) return true;
    }
    return false;
  };
  for (const auto& rule : rules)
    if (!rule.applies && isGiven(rule.option))
      throw OptionError("--" + std::string(rule.option) + " does not apply to " +
                                  rule.setBy);
  if (isGiven("criticality-factor") && isGiven("utilization-hi"))
    throw OptionError(
        "--criticality-factor does not apply with --utilization-hi, which draws the HI budgets "
        "to that utilization instead");
}

void validateGenerateOptions(const GenerateOptions& o) {
  require(o.processors >= 1, "processors", "must be at least 1");
  require(o.utilization > 0 && o.utilization <= 1, "utilization",
          "must be in (0, 1]: it is per processor (U > 1 would need more than m processors)");
  require(o.maxTaskUtilization > 0, "max-task-utilization", "must be positive");
  require(probability(o.hiFraction), "hi-fraction", "must be a probability in [0, 1]");
  require(probability(o.edgeProb), "edge-prob", "must be a probability in [0, 1]");
  require(probability(o.nestProb), "nest-prob", "must be a probability in [0, 1]");
  require(o.criticalityFactor >= 1, "criticality-factor", "must be at least 1");
  require(o.utilizationHi < 0 || o.utilizationHi <= 1, "utilization-hi",
          "must be in [0, 1]: it is per processor");
  if (o.model == GenerateModel::kFrame) {
    require(o.graphs >= 1, "graphs", "must be at least 1");
    require(o.deadline >= 1, "deadline", "must be at least 1");
  } else {
    require(o.tasks >= 1, "tasks", "must be at least 1");
    require(!o.periods.empty(), "periods", "must list at least one period");
    for (int period : o.periods) require(period >= 1, "periods", "must all be at least 1");
    require(o.deadlineFactor > 0, "deadline-factor", "must be positive");
  }
  if (o.shape == GraphShape::kForkJoin) {
    require(o.branching >= 2, "branching", "must be at least 2");
    require(o.depth >= 1, "depth", "must be at least 1");
    // Nodes of a fully nested graph: 2 + B * (nodes one level down). Counted only up to
    // the limit, so that a depth of two billion is refused at once.
    double largest = 1.0;
    for (int level = 0; level < o.depth && largest <= 1e6; ++level)
      largest = 2.0 + o.branching * largest;
    require(largest <= 1e6, "branching",
            "and --depth allow graphs of more than 1000000 nodes; lower one of them");
  } else {
    require(o.nodesMin >= 1 && o.nodesMin <= o.nodesMax, "nodes",
            "must be a range A..B with 1 <= A <= B");
    require(o.nodesMax <= 100000, "nodes", "must not exceed 100000 nodes per DAG");
  }
  if (o.shape == GraphShape::kLayers)
    require(o.layers >= 1 && o.layers <= o.nodesMin, "layers",
            "must be between 1 and the smallest node count (--nodes)");
}

}  // namespace mcjobs
