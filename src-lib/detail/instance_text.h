// Internal: the line handling shared by the instance file and the archive.
#ifndef MCJOBS_INSTANCE_TEXT_H
#define MCJOBS_INSTANCE_TEXT_H

#include <cstdio>
#include <string>
#include <vector>

#include "job.h"

namespace mcjobs_detail {

/// The words for a file written with Windows line endings, or behind a byte order mark.
extern const char* const kCrlfWords;
extern const char* const kBomWords;
extern const char kByteOrderMark[];

/// Reads whole lines of any length from a stream, reusing one buffer.
/// A read error, also one in the middle of a line, throws CheckError; only
/// the end of the stream ends the lines.
class LineReader {
 public:
  explicit LineReader(FILE* stream) : mStream(stream) {}
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  /// The next line, its newline included when it has one; false at the end.
  bool next();
  const char* data() const { return mBuffer; }
  size_t size() const { return mLength; }
  /// 1-based number of the line last returned by next(); after a read error,
  /// the number of the line that could not be read.
  long lineNumber() const { return mLineNumber; }
  /// Makes the line last returned be read again by the next call of next().
  /// The caller has moved the stream back to that line's start.
  void unread() { --mLineNumber; }

 private:
  FILE* mStream;
  char* mBuffer = nullptr;
  size_t mCapacity = 0;
  size_t mLength = 0;
  long mLineNumber = 0;
};

/// The two sections of an instance body: job lines, then arc lines. Jobs go
/// in line by line; arcs are checked line by line and go in together at
/// finish(), so that the jobs are ordered once for the whole list rather
/// than once per arc (an arc list written against the id order would
/// otherwise reorder the graph on every line).
class BodyParser {
 public:
  explicit BodyParser(JobInstance& instance) : mInstance(instance) {}
  /// Handles one line; throws CheckError when it fits neither section or is inconsistent.
  void feed(const char* line, size_t length);
  /// Inserts the arcs fed so far. When one of them closes a cycle, throws the
  /// cycle's CheckError and cyclicLine() tells which line it came from.
  void finish();
  /// The 0-based position, among the lines fed, of the arc that closed a
  /// cycle at finish(); -1 when none did.
  long cyclicLine() const { return mCyclicLine; }

 private:
  JobInstance& mInstance;
  bool reading_jobs = true;
  bool reading_arcs = false;
  long mJobLines = 0;
  long mCyclicLine = -1;
  std::vector<Arc> mArcs;
};

/// Fills `instance` (empty on entry) with the whole body of `stream`. A failed
/// check gets `name` and the line number attached, and leaves `instance`
/// empty. The first failing line is reported, a cycle-closing arc included.
/// With `warnings`, each line that the tolerant reading drops or changes
/// something of adds "name:line: warning: ..." to it.
void readBody(FILE* stream, JobInstance& instance, const std::string& name,
              std::vector<std::string>* warnings = nullptr);

/// Writes the job lines, then the arc lines of `instance`; false on a write error.
bool writeBody(FILE* stream, JobInstance& instance);

}  // namespace mcjobs_detail

#endif  // MCJOBS_INSTANCE_TEXT_H
