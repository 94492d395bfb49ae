// The table from condition texts to words, and the line a tool prints.
#include "explain.h"

#include <map>

namespace mcjobs {
namespace {

// Every condition text the library raises, except those already in words.
const std::map<std::string, std::string>& table() {
  static const std::map<std::string, std::string> words{
      // The job record.
      {"arrival>=0", "the arrival time is negative"},
      {"deadline>arrival", "the deadline is not after the arrival time"},
      {"criticality==CRIT_LO || criticality == CRIT_HI",
       "the criticality must be 1 (LO) or 2 (HI)"},
      {"lo_wcet>0", "the LO execution time must be positive"},
      {"hi_wcet>=lo_wcet", "the HI execution time is smaller than the LO execution time"},
      {"hi_wcet==lo_wcet", "a LO job must have equal LO and HI execution times"},
      {"density_lo <=1", "the LO execution time does not fit in the job's window"},
      {"density_hi <=1", "the HI execution time does not fit in the job's window"},
      // Job names and arcs.
      {"Not a job name!", "a job name is J followed by a positive number (J1 is the first job)"},
      {"Name must have a strictly positive index!", "job names start at J1; there is no J0"},
      {"from_id >=0 && from_id < numJobs()", "the arc names a source job that does not exist"},
      {"to_id >=0 && to_id < numJobs()", "the arc names a target job that does not exist"},
      {"Cyclic path in task graph!", "the arc would close a cycle in the precedence graph"},
      {"acyclic precedence graph", "internal error: the precedence graph of a level holds a cycle"},
      {"generated arcs form no cycle", "internal error: the generator drew a cyclic graph"},
      {"unrolled MC-DAG arcs form no cycle",
       "internal error: the instances of an acyclic MC-DAG formed a cycle"},
      {"processors >= 1", "the number of processors must be at least 1"},
      {"arc job criticality==CRIT_LO || criticality == CRIT_HI",
       "a job of the arc has a criticality other than 1 (LO) or 2 (HI)"},
      // Instance files and archives.
      {"success && \"Job instance read error!\"",
       "the line is neither a job line ('arrival deadline criticality lo_wcet hi_wcet') "
       "nor an arc line ('( Jf Jt )')"},
      {"!reading_arcs", "internal error: the reader lost track of the job and arc sections"},
      {"!reading_jobs", "internal error: the reader lost track of the job and arc sections"},
      {"rc==0 && \"jobsnameexpr error\"",
       "the entry name expression is not a valid POSIX basic regular expression"},
      {"feof(prev_jobstarfile)",
       "the archive could not be read to its end (is it a directory or an unreadable file?)"},
      {"__null!=fgets(linebuf, 1024, jobstarfile)",
       "the archive ends with a marker line that has no entry name after it"},
      {"pos_success", "the archive cannot be repositioned; it must be a regular file"},
      {"jobstarfile", "no archive stream was given"},
      {"validEntryName(jobsname)",
       "an entry name cannot contain line breaks, control characters or invalid UTF-8"},
      // The instance and the analyses.
      {"id>=0 && (unsigned) id < mVector.size()", "there is no job with that id"},
      {"job->id == id", "a job's id field no longer matches its position in the instance"},
      {"mVector[i].id == i", "a job's id field no longer matches its position in the instance"},
      {"job is a job of this instance", "the job to remove is not a job of this instance"},
      {"Function remove does not support arcs yet!",
       "jobs can be removed only while no arc exists"},
      {"Function append does not support arcs yet!",
       "only an instance without arcs can be appended"},
      {"other", "no instance to append was given"},
      {"inst", "no instance was given"},
      {"crit==CRIT_LO || crit == CRIT_HI", "the level must be LO (1) or HI (2)"},
      {"load_criticality==CRIT_LO || load_criticality==CRIT_HI",
       "the load level must be LO (1) or HI (2)"},
      {"np>=1", "the number of processors must be at least 1"},
      {"timeLimit>0", "the exact method's time limit must be a positive number of seconds"},
      {"a slot holds more jobs than processors",
       "the integer program's solution runs more jobs at once than there are processors"},
      {"mixed defined only for LO!", "the mixed load is defined only at the LO level"},
      {"GetStress() an id in jobids is greater than the instance size!! ",
       "a chosen job id is beyond the last job"},
      // Utilization vectors.
      {"utilization split: n>=1", "a utilization vector needs at least one element"},
      {"utilization split: total>=0", "the total utilization must be a finite number, at least 0"},
      {"utilization split: cap>=0", "the utilization cap must be a finite number, at least 0"},
      {"utilization split: total<=n*cap",
       "the total utilization exceeds the number of elements times the cap"},
      {"utilization split: UUniFast-Discard found no vector within the cap",
       "the cap is too tight for UUniFast-Discard; --split cfs draws within bounds directly"},
      {"utilization split: bounds non-empty and of equal size",
       "the lower and upper bounds must be non-empty lists of the same length"},
      {"utilization split: 0<=lower[i]<=upper[i]",
       "every bound must be finite, at least 0, and no lower bound above its upper bound"},
      {"utilization split: sum lower<=total<=sum upper",
       "the total utilization lies outside the range the bounds allow"},
      // Scheduling.
      {"scheduler event after now", "internal error: the scheduler found no next event"},
  };
  return words;
}

// Condition texts that begin so are messages in words already.
const char* const kWordPrefixes[] = {
    "read error: ",
    "job line value out of the 32-bit range: ",
    "Job name index out of the 32-bit range: ",
    "scaling ",
    "cannot ",
    "incomplete entry ",
    "Windows line endings (CRLF)",
    "the file starts with a UTF-8 byte order mark",
    // The interchange readers' messages, built with the names and values of the input.
    "JSON: ",
    "DOT: ",
    "STG: ",
    "nptest: ",
};

bool inWords(const std::string& condition) {
  for (const char* prefix : kWordPrefixes)
    if (condition.rfind(prefix, 0) == 0) return true;
  return false;
}

std::string location(const CheckError& failure) {
  std::string where;
  if (!failure.inputFile().empty()) where += failure.inputFile() + ":";
  if (failure.inputLine() > 0)
    where +=
        (failure.inputFile().empty() ? "line " : "") + std::to_string(failure.inputLine()) + ":";
  return where.empty() ? where : where + " ";
}

}  // namespace

std::string explanationOf(const std::string& condition) {
  const auto found = table().find(condition);
  return found == table().end() ? std::string() : found->second;
}

bool isExplained(const std::string& condition) {
  return table().count(condition) != 0 || inWords(condition);
}

std::string explainJobCheck(const std::string& condition, const Job& job) {
  const std::string name = job.id >= 0 ? job.name() + ": " : std::string();
  const std::string window = std::to_string(job.deadline - static_cast<long long>(job.arrival));
  if (condition == "arrival>=0")
    return name + "the arrival " + std::to_string(job.arrival) + " is negative";
  if (condition == "deadline>arrival")
    return name + "the deadline " + std::to_string(job.deadline) + " is not after the arrival " +
           std::to_string(job.arrival);
  if (condition == "criticality==CRIT_LO || criticality == CRIT_HI")
    return name + "the criticality " + std::to_string(job.criticality) +
           " is neither 1 (LO) nor 2 (HI)";
  if (condition == "lo_wcet>0")
    return name + "the LO execution time " + std::to_string(job.lo_wcet) + " is not positive";
  if (condition == "hi_wcet>=lo_wcet")
    return name + "the HI execution time " + std::to_string(job.hi_wcet) +
           " is smaller than the LO execution time " + std::to_string(job.lo_wcet);
  if (condition == "hi_wcet==lo_wcet")
    return name + "a LO job must have equal execution times, not " + std::to_string(job.lo_wcet) +
           " and " + std::to_string(job.hi_wcet);
  if (condition == "density_lo <=1")
    return name + "the LO execution time " + std::to_string(job.lo_wcet) +
           " does not fit in the window [" + std::to_string(job.arrival) + ", " +
           std::to_string(job.deadline) + "] of length " + window;
  if (condition == "density_hi <=1")
    return name + "the HI execution time " + std::to_string(job.hi_wcet) +
           " does not fit in the window [" + std::to_string(job.arrival) + ", " +
           std::to_string(job.deadline) + "] of length " + window;
  return name + explanationOf(condition);
}

std::string explainCollapse(const Job& job, int level) {
  return "window of " + job.name() + " collapses at " + Job::critStr(level) + ": [" +
         std::to_string(job.arrival) + ", " + std::to_string(job.deadline) +
         "] cannot hold budgets " + std::to_string(job.lo_wcet) + "/" + std::to_string(job.hi_wcet);
}

std::string describeFailure(const CheckError& failure) {
  std::string words = failure.explanation();
  if (words.empty()) words = explanationOf(failure.condition());
  const std::string condition = abbreviate(failure.condition(), 200);
  if (words.empty() || words == failure.condition())
    return withoutControls(location(failure) + condition);
  return withoutControls(location(failure) + words + " (" + condition + ")");
}

namespace {

// The length of the well-formed UTF-8 character at `at` (no overlong form, no surrogate,
// at most U+10FFFF), or 0 when the bytes there are no such character.
size_t utf8Length(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  if (lead < 0x80)
    length = 1;
  else if (lead >= 0xC2 && lead < 0xE0)
    length = 2;
  else if (lead >= 0xE0 && lead < 0xF0)
    length = 3;
  else if (lead >= 0xF0 && lead < 0xF5)
    length = 4;
  if (length == 0 || at + length > text.size()) return 0;
  unsigned long code = length == 1 ? lead : lead & (0x7Fu >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3Fu);
  }
  static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string withoutControls(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const size_t length = utf8Length(text, at);
    if (length > 0 && byte >= 0x20 && byte != 0x7f) {
      shown.append(text, at, length);
      at += length;
      continue;
    }
    static const char kHex[] = "0123456789abcdef";
    shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
    ++at;
  }
  return shown;
}

std::string abbreviate(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit > 3 ? limit - 3 : 0;
  // Never split a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

}  // namespace mcjobs
