// The job-set CSV files of the nptest schedulability analysis: the job file
// (one row per job: ids, release interval, cost interval, deadline, priority)
// and the precedence file (one row per arc). One level's job set per pair.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "detail/check.h"
#include "explain.h"
#include "interchange.h"
#include "detail/interchange_input.h"
#include "detail/line_format.h"
#include "detail/topo_order.h"

namespace mcjobs {
namespace {

using mcjobs_detail::failAt;

const char* const kJobHeader =
    "Task ID, Job ID, Arrival min, Arrival max, Cost min, Cost max, Deadline, Priority";
const char* const kPrecedenceHeader =
    "Predecessor TID, Predecessor JID, Successor TID, Successor JID";

// The rows of a CSV file after its header line, each as integers.
class CsvRows {
 public:
  CsvRows(const std::string& text, const std::string& name, size_t columns, const char* header)
      : mLines(text), mName(name), mColumns(columns), mHeader(header) {}

  bool next(std::vector<std::int64_t>& values) {
    const char* begin;
    const char* end;
    while (mLines.next(begin, end)) {
      if (std::all_of(begin, end, [](char c) { return c == ' ' || c == '\t'; })) continue;
      if (!mHeaderSeen) {
        mHeaderSeen = true;
        // A first field that is a number is a row, never the header, whatever the row's length.
        if (split(begin, end, values, false) || !values.empty())
          failAt(mName, line(),
                 std::string("nptest: the first line must be the header \"") + mHeader + "\"");
        // A header of another width is another kind of file, not an empty job set.
        const size_t fields = static_cast<size_t>(std::count(begin, end, ',')) + 1;
        if (fields != mColumns)
          failAt(mName, line(),
                 "nptest: the header has " + std::to_string(fields) + " fields where " +
                     std::to_string(mColumns) + " belong (" + mHeader + ")");
        continue;
      }
      split(begin, end, values, true);
      return true;
    }
    return false;
  }
  long line() const { return mLines.number(); }

 private:
  // Splits at commas; with `strict`, fails unless every field is an integer.
  bool split(const char* begin, const char* end, std::vector<std::int64_t>& values, bool strict) {
    values.clear();
    for (const char* at = begin;; ++at) {
      const char* comma = std::find(at, end, ',');
      const char* first = at;
      const char* last = comma;
      while (first < last && (*first == ' ' || *first == '\t')) ++first;
      while (last > first && (last[-1] == ' ' || last[-1] == '\t')) --last;
      std::int64_t value = 0;
      if (!mcjobs_detail::parseInteger(first, last, value)) {
        if (!strict) return false;
        failAt(mName, line(),
               "nptest: field " + std::to_string(values.size() + 1) + " '" +
                   mcjobs::abbreviate(std::string(first, last)) +
                   (mcjobs_detail::isIntegerText(first, last) ? "' is outside the 64-bit range"
                                                              : "' is not an integer"));
      }
      values.push_back(value);
      if (comma == end) break;
      at = comma;
    }
    if (values.size() != mColumns && strict)
      failAt(mName, line(),
             "nptest: " + std::to_string(values.size()) + " fields where " +
                 std::to_string(mColumns) + " belong (" + mHeader + ")");
    return values.size() == mColumns;
  }

  mcjobs_detail::TextLines mLines;
  const std::string& mName;
  size_t mColumns;
  const char* mHeader;
  bool mHeaderSeen = false;
};

std::string idText(const TaskJob& ids) {
  return "task " + std::to_string(ids.first) + " job " + std::to_string(ids.second);
}

}  // namespace

JobInstance readNptest(std::istream& jobs, const std::string& jobsName, std::istream* precedence,
                       const std::string& precedenceName, const InterchangeOptions& options,
                       std::vector<TaskJob>* numbering) {
  const std::string jobText = mcjobs_detail::readInput(jobs, jobsName);
  mcjobs_detail::InstanceBuilder builder(jobsName, "");
  std::map<TaskJob, int> index;
  std::vector<TaskJob> ids;
  CsvRows rows(jobText, jobsName, 8, kJobHeader);
  std::vector<std::int64_t> row;
  while (rows.next(row)) {
    const TaskJob key(row[0], row[1]);
    const std::string label = idText(key);
    if (!index.emplace(key, builder.jobs()).second)
      failAt(jobsName, rows.line(), "nptest: a second row for " + label);
    std::int64_t arrival = row[2];
    if (row[2] > row[3])
      failAt(jobsName, rows.line(),
             "nptest: " + label + ": arrival min " + std::to_string(row[2]) +
                 " is above arrival max " + std::to_string(row[3]));
    if (row[2] != row[3]) {
      if (options.release == NptestRelease::kExact)
        failAt(jobsName, rows.line(),
               "nptest: " + label + " has release jitter [" + std::to_string(row[2]) + ", " +
                   std::to_string(row[3]) +
                   "]; choose the arrival with the release option (min or max)");
      arrival = options.release == NptestRelease::kMin ? row[2] : row[3];
    }
    if (row[4] > row[5])
      failAt(jobsName, rows.line(),
             "nptest: " + label + ": cost min " + std::to_string(row[4]) + " is above cost max " +
                 std::to_string(row[5]));
    for (std::int64_t value : {arrival, row[5], row[6]})
      if (!mcjobs_detail::fitsInt32(value))
        failAt(jobsName, rows.line(),
               "nptest: " + label + ": the value " + std::to_string(value) +
                   " is outside the 32-bit range");
    Job job;
    job.arrival = static_cast<int>(arrival);
    job.deadline = static_cast<int>(row[6]);
    job.criticality = options.level == CRIT_HI ? CRIT_HI : CRIT_LO;
    job.lo_wcet = job.hi_wcet = static_cast<int>(row[5]);
    builder.addJob(job, label, rows.line());
    ids.push_back(key);
  }
  if (precedence != nullptr) {
    const std::string precedenceText = mcjobs_detail::readInput(*precedence, precedenceName);
    CsvRows arcs(precedenceText, precedenceName, 4, kPrecedenceHeader);
    while (arcs.next(row)) {
      int ends[2];
      for (int k = 0; k < 2; ++k) {
        const TaskJob key(row[2 * k], row[2 * k + 1]);
        const auto found = index.find(key);
        if (found == index.end())
          failAt(precedenceName, arcs.line(),
                 "nptest: " + std::string(k == 0 ? "predecessor " : "successor ") + idText(key) +
                     " is not in " + jobsName);
        ends[k] = found->second;
      }
      builder.addArc(ends[0], ends[1], arcs.line());
    }
  }
  // A cycle is reported in the precedence file, where its arcs are.
  JobInstance instance;
  try {
    instance = builder.finish();
  } catch (CheckError& failure) {
    if (failure.condition() == "Cyclic path in task graph!")
      failure.setInput(precedenceName, failure.inputLine());
    throw;
  }
  if (numbering != nullptr) *numbering = std::move(ids);
  return instance;
}

NptestFiles writeNptest(JobInstance& instance, const InterchangeOptions& options,
                        const std::vector<TaskJob>* numbering) {
  using mcjobs_detail::appendInt;
  const int level = options.level == CRIT_HI ? CRIT_HI : CRIT_LO;
  MCJOBS_CHECK(numbering == nullptr || numbering->size() == static_cast<size_t>(instance.numJobs()),
               "cannot number the nptest jobs: the numbering does not have one entry per job");
  auto ids = [numbering](int id) {
    return numbering != nullptr ? (*numbering)[static_cast<size_t>(id)]
                                : TaskJob(static_cast<std::int64_t>(id) + 1, 1);
  };
  std::vector<int> priority(static_cast<size_t>(instance.numJobs()));
  if (options.priority == NptestPriority::kAlap) {
    JobInstance latest = instance;
    propagateALAP(&latest, level);
    for (const Job& job : latest) priority[static_cast<size_t>(job.id)] = job.deadline;
  }
  NptestFiles files;
  files.jobs = std::string(kJobHeader) + "\n";
  for (const Job& job : instance) {
    if (job.criticality < level) continue;
    const TaskJob key = ids(job.id);
    const int cost = job.getWCET(level);
    const auto bestCost = static_cast<std::int64_t>(
        std::floor(std::min(1.0, std::max(0.0, options.bcetRatio)) * cost));
    const std::int64_t values[] = {key.first,
                                   key.second,
                                   job.arrival,
                                   job.arrival,
                                   bestCost,
                                   cost,
                                   job.deadline,
                                   options.priority == NptestPriority::kDeadline ? job.deadline
                                   : options.priority == NptestPriority::kId
                                       ? static_cast<std::int64_t>(job.id) + 1
                                       : priority[static_cast<size_t>(job.id)]};
    for (size_t k = 0; k < 8; ++k) {
      if (k > 0) files.jobs += ", ";
      appendInt(files.jobs, values[k]);
    }
    files.jobs += '\n';
  }
  files.precedence = std::string(kPrecedenceHeader) + "\n";
  const mcjobs_detail::LevelGraph graph = mcjobs_detail::levelGraph(instance, level);
  for (int u = 0; u < graph.size(); ++u)
    for (const int* v = graph.begin(u); v != graph.end(u); ++v) {
      const TaskJob from = ids(u), to = ids(*v);
      const std::int64_t values[] = {from.first, from.second, to.first, to.second};
      for (size_t k = 0; k < 4; ++k) {
        if (k > 0) files.precedence += ", ";
        appendInt(files.precedence, values[k]);
      }
      files.precedence += '\n';
    }
  return files;
}

}  // namespace mcjobs
