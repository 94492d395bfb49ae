// Seeded random mixed-criticality DAG job sets: the frame and periodic models,
// the graph shapes, budgets from utilization vectors, and the options that
// the command line and the Python module share.
#ifndef MCJOBS_GENERATE_H
#define MCJOBS_GENERATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "job.h"
#include "option_numbers.h"

namespace mcjobs {

/// @brief The frame model (DAGs released together) or the periodic one (DAG tasks unrolled).
enum class GenerateModel {
  kFrame, kPeriodic,
  // The earlier spellings, kept for callers written against them.
  Frame [[deprecated("use kFrame")]] = kFrame,
  Periodic [[deprecated("use kPeriodic")]] = kPeriodic,
};
/// @brief The shape of each generated DAG.
enum class GraphShape {
  kGnp, kLayers, kForkJoin,
  // The earlier spellings, kept for callers written against them.
  Gnp [[deprecated("use kGnp")]] = kGnp,
  Layers [[deprecated("use kLayers")]] = kLayers,
  ForkJoin [[deprecated("use kForkJoin")]] = kForkJoin,
};
/// @brief How the utilization is split over the DAGs or tasks.
enum class UtilizationSplit {
  kUUniFast, kCfs,
  // The earlier spellings, kept for callers written against them.
  UUniFast [[deprecated("use kUUniFast")]] = kUUniFast,
  Cfs [[deprecated("use kCfs")]] = kCfs,
};

/// @brief What to generate. Utilizations are normalized: a set of utilization U on m
/// processors has a total budget of about U * m per time unit.
struct GenerateOptions {
  GenerateModel model = GenerateModel::kFrame;
  int processors = 1;        ///< m
  double utilization = 0.5;  ///< target LO utilization, in (0, 1]

  // Frame model: `graphs` DAGs released together, every job with the window [0, deadline].
  int graphs = 1;
  int deadline = 100;

  // Periodic model: `tasks` DAG tasks, periods drawn from `periods`, deadlines
  // period * deadlineFactor (rounded, at least 1), unrolled over the hyperperiod.
  int tasks = 4;
  std::vector<int> periods{10, 20, 25, 50, 100};
  double deadlineFactor = 1.0;

  // Criticality: each node (or, with hiPerTask, each task) is HI with probability
  // hiFraction. HI budgets are LO budgets times criticalityFactor, unless
  // utilizationHi >= 0: then the HI utilizations are drawn by ConvolutionalFixedSum
  // to total utilizationHi, each HI task's LO utilization being its lower bound.
  double hiFraction = 0.5;
  bool hiPerTask = false;
  double criticalityFactor = 2.0;
  double utilizationHi = -1.0;  ///< negative: not given

  // Graph shapes; nodes per DAG drawn uniformly from nodesMin..nodesMax
  // (fork-join graphs take their size from branching and depth instead).
  GraphShape shape = GraphShape::kGnp;
  int nodesMin = 10;
  int nodesMax = 10;
  double edgeProb = 0.2;  ///< gnp and layers: probability of each allowed arc
  int layers = 3;         ///< layers: exactly this many layers
  int branching = 3;      ///< fork-join: at most this many branches per fork (at least 2)
  int depth = 2;          ///< fork-join: nesting depth
  double nestProb = 0.5;  ///< fork-join: probability that a branch is a nested fork-join

  // How the total utilization is split over the graphs or tasks.
  UtilizationSplit split = UtilizationSplit::kUUniFast;
  double maxTaskUtilization = 1.0;  ///< cap on each graph's or task's utilization
};

/// @brief One option as the command line and the Python module name it.
struct GenerateOptionInfo {
  const char* name;       ///< e.g. "edge-prob" (Python: edge_prob)
  const char* valueName;  ///< e.g. "P"; "" for a flag
  const char* help;
  bool real = false;  ///< its value is a real number, even when written without a point
};

/// @brief Every option, in the order the command line lists them.
const std::vector<GenerateOptionInfo>& generateOptionList();

/// @brief Sets the option `name` ("edge-prob" or "edge_prob") from its text, as the command
/// line gives it ("30..50" for nodes, "10,20,50" for periods, "true"/"false" for a flag).
/// An unknown name or a malformed value throws OptionError naming both.
void setGenerateOption(GenerateOptions& options, const std::string& name, const std::string& value);

/// @brief Every option with its value as text, in generateOptionList order.
std::vector<std::pair<std::string, std::string>> describeGenerateOptions(
    const GenerateOptions& options);

/// @brief Throws OptionError, naming the option, when the options cannot give a
/// job set (U outside (0, 1], an empty period list, a probability outside [0, 1], ...).
void validateGenerateOptions(const GenerateOptions& options);

/// @brief Throws OptionError naming the first of the `given` options (names as
/// setGenerateOption takes them) that does not apply to the model or shape of `options`, or
/// --criticality-factor given together with --utilization-hi, which replaces it. An option
/// that would be ignored is refused rather than silently dropped.
void checkGivenGenerateOptions(const GenerateOptions& options,
                               const std::vector<std::string>& given);

/// @brief One graph (frame model) or DAG task (periodic model) of a generated set.
struct GeneratedTask {
  int period = 0;    ///< the frame length in the frame model
  int deadline = 0;  ///< relative deadline: instance j has the window [j*period, j*period+deadline]
  int nodes = 0;     ///< jobs per instance
};

/// @brief A generated job set and what it achieved.
struct GeneratedSet {
  JobInstance instance;
  /// Total LO budget (all jobs) and HI budget (HI jobs), per time unit of the frame or
  /// hyperperiod, divided by the processors.
  double utilizationLo = 0.0;
  double utilizationHi = 0.0;
  /// Per job (by id): the graph or task it comes from and, in the periodic model, the
  /// instance of that task (0 in the frame model). Both count from 0.
  std::vector<std::pair<int, int>> taskOfJob;
  std::vector<GeneratedTask> tasks;
  /// Graphs or tasks whose drawn LO budget was below one unit per job and was raised to it;
  /// the achieved LO utilization is then above the target.
  int raisedBudgets = 0;
  /// One sentence per utilization (LO, and HI under utilizationHi) that misses its target by
  /// more than 1%, with the achieved value, the cause and the options that would help.
  std::vector<std::string> warnings;
};

/// @brief The job set of `options` for `seed`: the same options and seed give the same set
/// on every platform. Budgets are whole units, rounded together so that the total utilization
/// is as close to its target as whole units allow. Throws OptionError for invalid
/// options (and for sets of more than 20,000,000 jobs or 50,000,000 arcs, the arcs refused
/// from their expected count before any is drawn) and CheckError when a drawn set cannot be
/// realised (a budget that does not fit its windows).
GeneratedSet generateJobSet(const GenerateOptions& options, std::uint64_t seed);

/// @brief generateJobSet(options, seed).instance.
JobInstance generateInstance(const GenerateOptions& options, std::uint64_t seed);

/// @brief The seed of entry `index` (from 1) of a batch generated from `seed`; it does not
/// depend on the size of the batch.
std::uint64_t batchSeed(std::uint64_t seed, std::uint64_t index);

/// @brief The sets of entries 1..count of a batch from `seed`: entry i (at index i - 1) is
/// generateJobSet(options, batchSeed(seed, i)). Validates the options first; throws as
/// generateJobSet does.
std::vector<GeneratedSet> generateBatch(const GenerateOptions& options, std::uint64_t seed,
                                        std::size_t count);

}  // namespace mcjobs

#endif  // MCJOBS_GENERATE_H
