// Job sets in other tools' formats: NetworkX node-link JSON, Graphviz DOT, the
// Standard Task Graph Set (STG), the nptest job-set CSV files and (read only)
// the system files of the MC-DAG framework.
//
// Readers fill a whole JobInstance or throw CheckError "FILE:LINE: message"
// (never a half-read instance); writers return the text. What a format cannot
// hold (windows and criticality in STG, the second level in nptest, ...) comes
// from InterchangeOptions.
#ifndef MCJOBS_INTERCHANGE_H
#define MCJOBS_INTERCHANGE_H

#include <cstdint>
#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "job.h"

namespace mcjobs {

/// @brief The formats a job set can be read from and written to.
enum class Format {
  kNative, kJson, kDot, kStg, kNptest, kMcdag,
  // The earlier spellings, kept for callers written against them.
  Native [[deprecated("use kNative")]] = kNative,
  Json [[deprecated("use kJson")]] = kJson,
  Dot [[deprecated("use kDot")]] = kDot,
  Stg [[deprecated("use kStg")]] = kStg,
  Nptest [[deprecated("use kNptest")]] = kNptest,
};

/// @brief How nptest priorities are chosen: the deadline (EDF), the ALAP latest finish at the
/// level, or the job's position.
enum class NptestPriority {
  kDeadline, kAlap, kId,
  // The earlier spellings, kept for callers written against them.
  Deadline [[deprecated("use kDeadline")]] = kDeadline,
  Alap [[deprecated("use kAlap")]] = kAlap,
  Id [[deprecated("use kId")]] = kId,
};

/// @brief Which end of an nptest release interval becomes the arrival; kExact refuses jitter.
enum class NptestRelease {
  kExact, kMin, kMax,
  // The earlier spellings, kept for callers written against them.
  Exact [[deprecated("use kExact")]] = kExact,
  Min [[deprecated("use kMin")]] = kMin,
  Max [[deprecated("use kMax")]] = kMax,
};

/// @brief One job's (task id, job id) pair in an nptest job set.
using TaskJob = std::pair<std::int64_t, std::int64_t>;

/// @brief Everything the formats lack, with the defaults the readers and writers use.
struct InterchangeOptions {
  // STG reading: windows [0, deadline] and criticalities.
  /// The common deadline; <= 0 means deadlineFactor x the critical-path length.
  std::int64_t deadline = 0;
  /// Multiplies the critical-path length (each job with its own-level budget) when no deadline.
  double deadlineFactor = 1.0;
  /// Share of the tasks, rounded to the nearest count, that become HI jobs (chosen by `seed`).
  double hiFraction = 0.0;
  std::uint64_t seed = 1;
  /// A HI job's HI budget: its cost times this factor, rounded up.
  double criticalityFactor = 2.0;

  // DOT and JSON reading: what a node without the job attributes gets.
  bool hasDefaultWindow = false;
  int defaultArrival = 0;
  int defaultDeadline = 0;
  /// The LO budget of a node without lo_wcet; 0: none (the node is an error).
  int defaultWcet = 0;

  /// STG and nptest writing: the level whose jobs, budgets and arcs are written (the HI level:
  /// only the HI jobs). nptest reading: the criticality the jobs get.
  int level = CRIT_LO;

  // nptest.
  /// Cost min = floor(bcetRatio x cost max); 1 writes equal costs.
  double bcetRatio = 1.0;
  NptestPriority priority = NptestPriority::kDeadline;
  NptestRelease release = NptestRelease::kExact;
};

/// @brief "native", "json", "dot", "stg", "nptest" or "mcdag".
const char* formatName(Format format);
/// @brief The format of a name formatName gives; false for any other word.
bool formatFromName(const std::string& name, Format& format);
/// @brief The nptest priority a word names, as the command line writes it: "edf" (the
/// deadline), "alap" or "id"; false for any other word.
bool nptestPriorityFromName(const std::string& name, NptestPriority& priority);

/// @brief The nptest release a word names: "exact" (jitter refused), "min" or "max"; false for
/// any other word.
bool nptestReleaseFromName(const std::string& name, NptestRelease& release);

/// @brief The format a file extension stands for (.txt .json .dot .gv .stg .csv .xml); false
/// when none.
bool formatFromPath(const std::string& path, Format& format);

/// @brief The instance file read from a stream; errors name `name` and the line.
JobInstance readNative(std::istream& in, const std::string& name);
/// @brief The instance file text.
std::string writeNative(JobInstance& instance);

/// @brief A NetworkX node-link document (links under "links" or "edges").
///
/// Node ids J1 .. Jn, or the integers 0 .. n-1, in any order give the jobs they name; other
/// ids number the nodes in the document's order. When that moves a node whose id names a job
/// (J2, J1, J4 become J1, J2, J3), `warnings` receives "name:line: warning: ..." naming it.
JobInstance readJson(std::istream& in, const std::string& name,
                     const InterchangeOptions& options = InterchangeOptions(),
                     std::vector<std::string>* warnings = nullptr);
/// @brief The node-link document: nodes with the job fields, one link per arc under "links".
std::string writeJson(JobInstance& instance);

/// @brief A digraph with the job data as node attributes (what writeDot writes, or hand-written).
JobInstance readDot(std::istream& in, const std::string& name,
                    const InterchangeOptions& options = InterchangeOptions());
/// @brief The drawing with the job data as node attributes. At CRIT_HI only the HI jobs and
/// their arcs; `reduce` leaves out every arc a longer path implies at each level the arc
/// belongs to (a HI arc implied only through a LO job stays).
std::string writeDot(JobInstance& instance, int level = CRIT_LO, bool reduce = false);

/// @brief A Standard Task Graph Set file; zero-cost tasks (the dummy entry and exit) are dropped,
/// their predecessors linked to their successors.
JobInstance readStg(std::istream& in, const std::string& name,
                    const InterchangeOptions& options = InterchangeOptions());
/// @brief The STG file of one level (options.level): tasks numbered in a topological order,
/// dummy entry and exit tasks around them.
std::string writeStg(JobInstance& instance,
                     const InterchangeOptions& options = InterchangeOptions());

/// @brief The two CSV files of an nptest job set.
struct NptestFiles {
  std::string jobs;
  std::string precedence;
};

/// @brief An nptest job set; `precedence` may be null (no arcs). When `numbering` is given it
/// receives each job's (task id, job id).
JobInstance readNptest(std::istream& jobs, const std::string& jobsName, std::istream* precedence,
                       const std::string& precedenceName,
                       const InterchangeOptions& options = InterchangeOptions(),
                       std::vector<TaskJob>* numbering = nullptr);
/// @brief The job set of one level (options.level). Task and job ids come from `numbering`
/// (indexed by job id) when given, otherwise one task per job: (id + 1, 1).
NptestFiles writeNptest(JobInstance& instance,
                        const InterchangeOptions& options = InterchangeOptions(),
                        const std::vector<TaskJob>* numbering = nullptr);

/// @brief An MC-DAG system file: `<mcsystem>` holding `<mcdag name="..." deadline="D">`
/// elements (D is also the period) of `<actor name="...">` elements with their budgets
/// `<wcet number="0">` (LO) and `<wcet number="1">` (HI; 0 or absent: a LO actor), the
/// `<port srcActor="A" dstActor="B"/>` arcs anywhere inside the `<mcdag>`, and
/// `<cores number="M"/>`.
///
/// The system becomes one job set over the hyperperiod H, the least common multiple of
/// the deadlines: instance k of each actor of a DAG has the window [kD, (k+1)D] and that
/// instance's arcs. Jobs are numbered DAG by DAG in file order, within a DAG instance by
/// instance (k = 0 .. H/D - 1), within an instance actor by actor in file order. `cores`,
/// when given, receives M (0 when the file has no `<cores>`). There is no writer: the
/// format has no windows, so a job set in general cannot be written as a system.
JobInstance readMcdag(std::istream& in, const std::string& name, int* cores = nullptr);

/// @brief The default name of the precedence file beside an nptest job file: its ".csv"
/// replaced by (or, without it, followed by) ".prec.csv".
std::string nptestPrecedencePath(const std::string& jobsPath);

}  // namespace mcjobs

#endif  // MCJOBS_INTERCHANGE_H
