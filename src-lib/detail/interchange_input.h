// Internal: what the interchange formats share: the job fields as attributes,
// and for the readers the whole input in memory, located errors, strict
// integers, and the assembly of an instance from jobs and arcs named as the
// input names them.
#ifndef MCJOBS_INTERCHANGE_INPUT_H
#define MCJOBS_INTERCHANGE_INPUT_H

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "job.h"

namespace mcjobs_detail {

/// Appends the job fields as attributes: `"arrival": 0, ..., "criticality": "HI", ...` for
/// JSON, `arrival=0, ..., criticality=HI, ...` for DOT.
void appendJobAttributes(std::string& out, const Job& job, bool json);

/// Everything left in the stream; a read error throws CheckError naming `name`.
std::string readAll(std::istream& in, const std::string& name);

/// The whole input of a format reader: readAll, and a file that starts with a UTF-8 byte
/// order mark refused at name:1 in the words of the instance file reader.
std::string readInput(std::istream& in, const std::string& name);

/// Throws CheckError `text` located at name:line (line 0: the file alone).
[[noreturn]] void failAt(const std::string& name, long line, const std::string& text);

/// A complete optional '-' and decimal digits, within int64; false otherwise.
bool parseInteger(const char* begin, const char* end, std::int64_t& value);

/// Whether a text is a complete optional '-' and decimal digits, whatever their number
/// (what parseInteger refuses only for its size).
bool isIntegerText(const char* begin, const char* end);

/// Whether a value fits the 32-bit job fields.
inline bool fitsInt32(std::int64_t value) {
  return value >= INT32_MIN && value <= INT32_MAX;
}

/// The next line of a text held in memory, its newline and a carriage return
/// before it excluded, with its 1-based number.
class TextLines {
 public:
  explicit TextLines(const std::string& text) : mText(text) {}
  bool next(const char*& begin, const char*& end);
  long number() const { return mNumber; }

 private:
  const std::string& mText;
  size_t mAt = 0;
  long mNumber = 0;
};

/// How the nodes of an input become jobs.
struct JobNumbering {
  /// Entry k: the input position of the node that becomes the job with id k.
  std::vector<int> order;
  /// "" when every node whose label names a job keeps that job; otherwise words
  /// that name the renumbering ("node ids are not J1..J3: numbered in the order
  /// given, J2 -> J1, ...").
  std::string renumbering;
  /// The input position of the first node whose job differs from its label's; -1 when none.
  int firstRenumbered = -1;
};

/// Numbers the nodes named by `labels`: by the job each label names when the
/// labels are exactly J1 .. Jn (with `integerIds`: 0 .. n-1) in any order, so
/// that a tool that reorders our own output changes nothing; otherwise in the
/// input order. Labels of other forms name no job and are never renumbered.
JobNumbering numberJobs(const std::vector<std::string>& labels, bool integerIds);

/// The order of numberJobs for labels that are names.
std::vector<int> jobOrder(const std::vector<std::string>& labels);

/// Collects jobs and arcs as an input names them and builds the instance at
/// the end, so that a failure never leaves a half-read instance. A job that
/// fails its sanity check, and an arc that closes a cycle, are reported at
/// their input line with the input's own names.
class InstanceBuilder {
 public:
  /// `noun` says what the input calls a job ("node", "task"; "" for none).
  InstanceBuilder(std::string name, std::string noun)
      : mName(std::move(name)), mNoun(std::move(noun)) {}
  /// Inserts the job at once (the next id); `label` is how the input names it.
  void addJob(Job job, const std::string& label, long line);
  void addArc(int from, int to, long line);
  int jobs() const { return mInstance.numJobs(); }
  /// Inserts the arcs and hands the instance over.
  JobInstance finish();

 private:
  std::string mName;
  std::string mNoun;
  JobInstance mInstance;
  std::vector<std::string> mLabels;
  std::vector<Arc> mArcs;
  std::vector<long> mArcLines;
};

/// The most jobs and arcs an MC-DAG system may unroll to.
struct McdagLimits {
  long long jobs;
  long long arcs;
};

/// mcjobs::readMcdag under other limits than the generator's: a caller that must stay small
/// (the fuzzer) refuses large systems in the same words.
JobInstance readMcdag(std::istream& in, const std::string& name, int* cores,
                      const McdagLimits& limits);

}  // namespace mcjobs_detail

#endif  // MCJOBS_INTERCHANGE_INPUT_H
