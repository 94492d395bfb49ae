// Internal: finding and reading one archive entry from a stream, shared by the
// process-wide read_jobstar walk and the ArchiveReader objects.
#ifndef MCJOBS_ARCHIVE_ENTRY_H
#define MCJOBS_ARCHIVE_ENTRY_H

#include <regex.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive_file.h"
#include "detail/instance_text.h"
#include "job.h"

namespace mcjobs_detail {

using mcjobs::StreamPtr;
using mcjobs::seekableStream;

/// The marker line that opens every entry, without its newline.
extern const char* const tarmark;

/// Whether a line read (newline included) is exactly the marker line.
bool isMarkerLine(const char* line, size_t length);

/// Why `name` cannot be written as an entry name, or "": a line break would end
/// the name line early and other control characters cannot be typed back.
std::string entryNameProblem(const std::string& name);

/// The compiled name pattern of an expression: the expression followed by
/// ":" and a newline, matched against whole name lines, so it is tied to the
/// end of the name.
class NamePattern {
 public:
  /// Fails the check "jobsnameexpr error" when the expression does not compile.
  explicit NamePattern(const std::string& expression);
  ~NamePattern();
  NamePattern(const NamePattern&) = delete;
  NamePattern& operator=(const NamePattern&) = delete;

  const std::string& expression() const { return mExpression; }
  /// Whether a name line (its ":" and newline included, or the file's last
  /// line without them) matches.
  bool matches(const char* line, size_t length) const;

 private:
  std::string mExpression;
  regex_t mCompiled{};
};

/// One step of a walk through an archive stream, from its current position.
struct EntryWalk {
  FILE* stream;
  LineReader& lines;
  /// The archive ends at this byte offset (a torn tail after it is not read); -1: at the end.
  std::int64_t end = -1;
  /// lines.lineNumber() counts from the top of the file; otherwise a failure
  /// counts the lines up to its position once.
  bool linesFromTop = false;
  /// A marker line with a carriage return or behind a byte order mark fails
  /// the walk instead of being passed over with its entry.
  bool rejectForeignMarkers = false;
  /// With linesFromTop, each body line the tolerant reading changes adds
  /// "line:N: warning: ..." (no file name) here.
  std::vector<std::string>* warnings = nullptr;
  /// Set when the search could not read on; the stream position is then unknown.
  bool lostPosition = false;
};

/// Reads on to the next entry whose name line matches and returns it, its name
/// in `name`, leaving the stream at the next marker line; null at the end of
/// the archive. A failure throws CheckError with the line attached.
std::unique_ptr<JobInstance> readNextEntry(EntryWalk& walk, const NamePattern& pattern,
                                           std::string& name);

}  // namespace mcjobs_detail

#endif  // MCJOBS_ARCHIVE_ENTRY_H
