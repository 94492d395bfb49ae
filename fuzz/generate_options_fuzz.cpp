// The generator's option table. The input is lines "name=value" (a line
// "seed=N" picks the seed). Options the table accepts must parse the same way
// twice and again from their own description; options that also validate, for
// a set small enough to draw quickly, give a set or a reason, the same set for
// the same seed, every job passing its checks and every arc inside its graph.
#include <cstdint>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "generate.h"
#include "interchange.h"

namespace {

using mcjobs::GenerateOptions;

constexpr long long kMostJobs = 256;

struct Given {
  std::vector<std::pair<std::string, std::string>> options;
  std::uint64_t seed = 1;
};

Given parseInput(const std::string& input) {
  Given given;
  std::istringstream lines(input);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    std::string name = line.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (name == "seed")
      given.seed = std::strtoull(value.c_str(), nullptr, 10);
    else
      given.options.emplace_back(std::move(name), std::move(value));
  }
  return given;
}

bool parsesAs(const Given& given, GenerateOptions& options) {
  try {
    for (const auto& option : given.options)
      mcjobs::setGenerateOption(options, option.first, option.second);
  } catch (const mcjobs::OptionError& refused) {
    fuzz::require(std::string(refused.what()).find("--") != std::string::npos ||
                  std::string(refused.what()).find("option") != std::string::npos);
    return false;
  }
  return true;
}

// At least as many jobs as a set of these (validated) options can have.
long long mostJobs(const GenerateOptions& options) {
  double perGraph = options.nodesMax;
  if (options.shape == mcjobs::GraphShape::kForkJoin) {
    perGraph = 1.0;
    for (int level = 0; level < options.depth; ++level) perGraph = 2.0 + options.branching * perGraph;
  }
  if (options.model == mcjobs::GenerateModel::kFrame) return static_cast<long long>(options.graphs * perGraph);
  long long hyperperiod = 1;
  int shortest = options.periods[0];
  for (int period : options.periods) {
    hyperperiod = hyperperiod / std::gcd(hyperperiod, static_cast<long long>(period)) * period;
    if (hyperperiod > kMostJobs * 1000) return kMostJobs + 1;
    shortest = std::min(shortest, period);
  }
  return static_cast<long long>(options.tasks * perGraph * static_cast<double>(hyperperiod / shortest));
}

// A drawn set, or false with a reason the generator gives for refusing the draw.
bool drawn(const GenerateOptions& options, std::uint64_t seed, mcjobs::GeneratedSet& set) {
  try {
    set = mcjobs::generateJobSet(options, seed);
  } catch (const mcjobs::OptionError&) {
    return false;
  } catch (const CheckError& refused) {
    const std::string& reason = refused.condition();
    fuzz::require(reason.rfind("cannot ", 0) == 0 || reason.rfind("utilization split: ", 0) == 0);
    return false;
  }
  return true;
}

void checkSet(mcjobs::GeneratedSet& set) {
  fuzz::require(set.taskOfJob.size() == static_cast<size_t>(set.instance.numJobs()));
  for (const Job& job : set.instance) {
    try {
      job.sanity_check();
    } catch (const CheckError&) {
      fuzz::require(false);
    }
  }
  for (const Arc& arc : set.instance.getAllArcs())
    fuzz::require(set.taskOfJob[static_cast<size_t>(arc.from_id)] ==
                  set.taskOfJob[static_cast<size_t>(arc.to_id)]);
  // What the generator gives, the instance file takes back.
  const std::string written = mcjobs::writeNative(set.instance);
  std::istringstream in(written);
  JobInstance again;
  try {
    again = mcjobs::readNative(in, "generated.txt");
  } catch (const CheckError&) {
    fuzz::require(false);
  }
  fuzz::require(fuzz::sameSet(set.instance, again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const Given given = parseInput(fuzz::text(data, size));
  GenerateOptions options, twice;
  if (!parsesAs(given, options)) return 0;
  fuzz::require(parsesAs(given, twice));
  const auto described = mcjobs::describeGenerateOptions(options);
  fuzz::require(mcjobs::describeGenerateOptions(twice) == described);
  GenerateOptions fromDescription;
  for (const auto& option : described)
    if (option.second != "none")
      mcjobs::setGenerateOption(fromDescription, option.first, option.second);
  fuzz::require(mcjobs::describeGenerateOptions(fromDescription) == described);

  try {
    mcjobs::validateGenerateOptions(options);
  } catch (const mcjobs::OptionError&) {
    return 0;
  }
  if (mostJobs(options) > kMostJobs) return 0;
  mcjobs::GeneratedSet set, again;
  if (!drawn(options, given.seed, set)) {
    fuzz::require(!drawn(options, given.seed, again));
    return 0;
  }
  checkSet(set);
  fuzz::require(drawn(twice, given.seed, again));
  fuzz::require(mcjobs::writeNative(again.instance) == mcjobs::writeNative(set.instance));
  return 0;
}
