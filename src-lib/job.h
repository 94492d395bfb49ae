// mcjobs: mixed-criticality job sets with precedence constraints.
//
// A JobInstance holds jobs (release, deadline, criticality, one WCET per
// level) and a precedence DAG per criticality level, with its transitive
// closure available through the accessors. Failed checks throw CheckError
// (util.h).
#ifndef MCJOBS_JOB_H
#define MCJOBS_JOB_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "util.h"

/// @brief Criticality levels; per-level arrays have CRIT_COUNT entries indexed by level - 1.
enum JOB_CRITICALITY { CRIT_LO = 1, CRIT_HI = 2, CRIT_COUNT = 2 };

/// @brief Sentinels for fields that are not set.
enum JOB_MISC { NO_JOB_ID = -1, NO_TIME = INT32_MIN, NO_CRIT = -1 };

/// @brief One job of a mixed-criticality job set.
class Job {
 public:
  int id;           ///< position in the owning JobInstance
  int arrival;      ///< release time
  int deadline;     ///< absolute deadline
  int criticality;  ///< CRIT_LO or CRIT_HI
  int lo_wcet;      ///< execution time budget at CRIT_LO
  int hi_wcet;      ///< execution time budget at CRIT_HI

  /// @brief A job with every field at its "not set" sentinel.
  Job();

  /// @brief Checks the job's invariants in their fixed order; throws CheckError on the first
  /// violation.
  void sanity_check() const;
  /// @brief lo_wcet for CRIT_LO, hi_wcet for CRIT_HI; any other level fails a check.
  int getWCET(int criticality) const;
  /// @brief "LO", "HI", or "BUG" for any other value.
  static std::string critStr(int criticality);

  /// @brief The job line: "arrival deadline criticality lo_wcet hi_wcet".
  std::string toString() const;
  /// @brief Parses a job line into this job; returns whether it was one (five integers).
  bool initializeFromString(const std::string& str);

  /// @brief "J" followed by id + 1.
  static std::string nameFromId(int id);
  /// @brief Inverse of nameFromId; throws CheckError on a malformed name.
  static int idFromName(const std::string& name);
  /// @brief nameFromId(id).
  std::string name() const;

  /// @brief One-line dump on the standard output.
  void print() const;
};

/// @brief One precedence constraint: job from_id precedes job to_id (-1: not set).
class Arc {
 public:
  int from_id;
  int to_id;

  /// @brief Both ends unset (-1).
  Arc() : from_id(-1), to_id(-1) {}
  /// @brief The source id, then the target id, stored unchecked.
  Arc(int from, int to) : from_id(from), to_id(to) {}

  /// @brief The arc line "( Jf Jt )", without a newline.
  std::string toString() const {
    return "( " + Job::nameFromId(from_id) + " " + Job::nameFromId(to_id) + " )";
  }
  /// @brief Parses an arc line into this arc; returns whether it was one.
  bool initializeFromString(const std::string& str);
};

/// @brief Iterator over the jobs of a JobInstance, in position order.
typedef std::vector<Job>::iterator JobIter;

namespace mcjobs_detail {
class InstanceGraph;
struct InstanceAccess;
}  // namespace mcjobs_detail

/// @brief A job set with its precedence graph and transitive closure per criticality level.
class JobInstance {
 public:
  /// @brief An empty instance.
  JobInstance();
  /// @brief A deep, independent copy.
  JobInstance(const JobInstance& other);
  JobInstance& operator=(const JobInstance& other);
  JobInstance(JobInstance&& other) noexcept;
  JobInstance& operator=(JobInstance&& other) noexcept;
  ~JobInstance();

  /// @brief Number of jobs.
  int numJobs() const { return size(); }
  /// @brief Number of jobs.
  int size() const { return static_cast<int>(mVector.size()); }
  /// @brief Number of jobs whose criticality equals the argument.
  size_t numJobs(int criticality) const;
  /// @brief The ids 0 .. numJobs()-1.
  Util::Set<int> getAllJobIds();
  /// @brief Ids of the jobs whose criticality equals the argument.
  Util::Set<int> getJobIds(int criticality);
  /// @brief Every arc once, by ascending source id, then target id.
  std::vector<Arc> getAllArcs() const;

  /// @brief Sanity-checks the job and appends it with the next id.
  void insert(Job job);
  /// @brief Adds a precedence arc at CRIT_LO, and at CRIT_HI when both jobs are HI; rejects cycles.
  void insert(Arc arc);
  /// @brief Removes a job from an instance without arcs; later jobs move down one id.
  void remove(JobIter job);
  /// @brief Appends copies of the jobs of an instance without arcs.
  void append(JobInstance* other);

  /// @brief The job with that id; fails a check for an id out of range.
  Job* job_at(int id);
  /// @brief Same as job_at.
  Job* at(int id) { return job_at(id); }
  JobIter begin() { return mVector.begin(); }
  JobIter end() { return mVector.end(); }

  /// @brief Direct successors of job `id` at level `crit` (no range test).
  Util::Set<int>& getSuccessors(int id, int crit);
  /// @brief Direct predecessors of job `id` at level `crit` (no range test).
  Util::Set<int>& getPredecessors(int id, int crit);
  /// @brief Every job reachable from job `id` at level `crit` (no range test).
  Util::Set<int>& getTransitiveSuccessors(int id, int crit);
  /// @brief Every job from which job `id` is reachable at level `crit` (no range test).
  Util::Set<int>& getTransitivePredecessors(int id, int crit);

  /// @brief Lists every job (printf) and then every arc on the standard output.
  void print_jobs();
  /// @brief Dumps the four dependency sets of every job and level on the standard output.
  void dumpDependencies();

  /// @brief Replaces the contents with an instance file; false when it cannot be opened.
  ///
  /// Malformed or inconsistent input, and read errors, throw CheckError naming the
  /// file and line; the instance is then left empty.
  bool read(const char* filename);
  /// @brief Writes the instance file atomically (temporary file renamed over the target).
  ///
  /// Any failure to create, write, flush or close throws CheckError; the target then
  /// keeps what it held before.
  void write(const char* filename);

  /// @brief Appends this instance to an archive stream as an entry named `jobsname`.
  ///
  /// A failed write throws CheckError; the stream is neither flushed nor closed. A name with a
  /// line break or another control character fails the check "validEntryName(jobsname)" and
  /// writes nothing. The caller owns the stream and every guarantee: for a file other processes
  /// may use, hold an exclusive lock for the whole entry, write it at the end of the file, flush
  /// and sync it, and cut the file back to its previous length when anything fails.
  /// mcjobs::appendToArchive (archive_file.h) does all of that.
  void write_jobstar(std::string jobsname, FILE* jobstarfile);
  /// @brief The next archive entry whose name matches the POSIX basic expression, or null.
  ///
  /// The expression is matched against "name:\n" and so is tied to the end of the name.
  /// Repeated calls with the same stream and expression walk the matches in file order;
  /// a null result forgets the stream, so the next call starts at the top. A different
  /// stream, or a changed expression with `rewind`, starts at the top. The reader state
  /// is process-wide. A faulty entry throws CheckError ("line N: ...") with `jobsname`
  /// set to its name; the next call searches on after the faulty line. The caller owns
  /// the result.
  static JobInstance* read_jobstar(const std::string& jobsnameexpr, FILE* jobstarfile,
                                   std::string& jobsname, bool rewind);

  /// @brief Raises arrivals along transitive predecessors at `crit`; true when a job changed.
  ///
  /// When a raised window fails its job's sanity check, CheckError is thrown and every job
  /// is left exactly as before the call (trace lines already printed stay printed).
  bool propagate_arrivals(int crit);
  /// @brief Lowers deadlines along transitive successors at `crit`; true when a job changed.
  ///
  /// Fails like propagate_arrivals, leaving the instance unchanged.
  bool propagate_deadlines(int crit);

  /// @brief Largest interval load of the chosen jobs at a level on `np` processors; DBL_MAX when
  /// infeasible.
  double getStress(int load_criticality, bool mixed, int np, std::set<int>* jobids);
  /// @brief getStress(load_criticality, mixed, 1, all jobs).
  double getLoad(int load_criticality, bool mixed);

 private:
  friend struct mcjobs_detail::InstanceAccess;

  bool propagate_max_arrivalA2B(Job* pred, Job* succ);
  bool propagate_min_deadlineA2B(Job* succ, Job* pred);

  // The graph, created on first use and sized to the jobs on every access:
  // insert(Job) only appends the job, so an instance that is only read,
  // scaled and written never pays for arcs or sets.
  mcjobs_detail::InstanceGraph& graph();

  std::vector<Job> mVector;
  std::unique_ptr<mcjobs_detail::InstanceGraph> mGraph;
};

/// @brief Switches the propagation trace on for the rest of the process.
void enforcePropDebug();
/// @brief Whether the propagation trace is on (MCS_DEBUG_PROP defined at the first query, or
/// enforced).
bool propDebug();

/// @brief propagateALAP, then propagateASAP; always true.
bool propagateAlapAndAsap(JobInstance* instance, int crit);
/// @brief Every job's arrival becomes its ASAP time at `crit`; always true.
bool propagateASAP(JobInstance* instance, int crit);
/// @brief Every job's deadline becomes its ALAP time at `crit`; always true.
bool propagateALAP(JobInstance* instance, int crit);
/// @brief ASAP time of one job, computing unflagged predecessors first; always true.
bool computeASAP(JobInstance* destInst, int jobid, int criticality, bool* visited);
/// @brief ALAP time of one job, computing unflagged successors first; always true.
bool computeALAP(JobInstance* destInst, int jobid, int criticality, bool* visited);
/// @brief ASAP time of one job with lo_wcet budgets, printing the recursion; changes nothing.
int simple_computeASAP(JobInstance* jobInst, int jobid, int crit);
/// @brief lo_wcet for CRIT_LO, hi_wcet for any other level (no check).
int getJobWCET(Job* job, int criticality);
/// @brief CRIT_LO: both budgets become `value`; any other level: only hi_wcet.
void setJobWCET(Job* job, int criticality, int value);

/// @brief Multiplies arrival, deadline and both budgets of every job by `scale`.
///
/// Throws CheckError naming the job and field, and changes nothing, when a
/// product leaves the 32-bit range.
void scaleInstance(JobInstance* inst, int scale);
/// @brief Parses a scale factor: a complete decimal integer in 0..2147483647 ("-0" is 0).
bool parseScaleFactor(const std::string& text, int* scale);

#endif  // MCJOBS_JOB_H
