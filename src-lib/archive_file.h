// Archives as files: reader objects that walk an archive stream on their own,
// and the locked, restoring operations on archive files that every front end
// (the mcjobs tool, C++ callers, the Python module) shares, so that parallel
// writers, full disks and killed processes never cost an entry.
#ifndef MCJOBS_ARCHIVE_FILE_H
#define MCJOBS_ARCHIVE_FILE_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job.h"
#include "util.h"

namespace mcjobs {

/// @brief Closes a stream owned through StreamPtr.
struct StreamCloser {
  void operator()(FILE* stream) const { std::fclose(stream); }
};
/// @brief An owned stdio stream, closed when it goes.
using StreamPtr = std::unique_ptr<FILE, StreamCloser>;

/// @brief `stream` itself when it can seek; otherwise (a pipe) its whole content copied
/// into a temporary file that `copy` then owns. Archive walks seek, so a piped archive that
/// is walked more than once is read through this first. `source` names the stream in the
/// CheckError thrown when it cannot be read or copied.
FILE* seekableStream(FILE* stream, const std::string& source, StreamPtr& copy);

/// @brief A walk through the entries of one archive stream whose names match an expression.
///
/// Unlike JobInstance::read_jobstar, each reader keeps its own position, expression and line
/// count, so several readers may walk several archives, or one archive, independently, even
/// through the same stream. The stream must be seekable and outlive the reader; the reader
/// neither closes it nor depends on its position between calls.
class ArchiveReader {
 public:
  /// @brief A walk from the top of `stream`. `expression` is a POSIX basic regular expression
  /// tied to the end of the names (as for read_jobstar); `source` names the archive in
  /// diagnostics. With `end` >= 0 the archive ends at that byte offset.
  ///
  /// An expression that does not compile fails the check "jobsnameexpr error".
  explicit ArchiveReader(FILE* stream, const std::string& expression = ".*",
                         std::string source = "", std::int64_t end = -1);
  ~ArchiveReader();
  ArchiveReader(ArchiveReader&&) noexcept;
  ArchiveReader& operator=(ArchiveReader&&) noexcept;

  /// @brief The next matching entry, its name in `name`; null (and `name` empty) after the last.
  ///
  /// A faulty entry throws CheckError naming the source and line, with `name` set to the
  /// entry's name; the walk then goes on after the faulty line.
  std::unique_ptr<JobInstance> next(std::string& name);
  /// @brief Starts the walk again at the top of the archive.
  void restart();
  /// @brief From now on, each body line that the tolerant reading changes (text after a job
  /// line's five values, a job name such as J1.5) adds "source:line: warning: ..." to
  /// `warnings`; null stops it.
  void collectWarnings(std::vector<std::string>* warnings);

 private:
  struct Walk;
  std::unique_ptr<Walk> mWalk;
};

/// @brief Why `name` cannot be an archive entry name ("" when it can).
///
/// Names must not contain line breaks or other control characters.
std::string entryNameProblem(const std::string& name);

/// @brief What appendToArchive did besides appending.
struct AppendReport {
  /// The archive did not exist and was created.
  bool created = false;
  /// A description of the incomplete entry of an interrupted append that was cut off first,
  /// naming the archive and line ("" when there was none).
  std::string repaired;
};

/// @brief Appends `instance` to the archive file `path` as an entry named `name`, safely.
///
/// The append holds an exclusive lock (an open file description lock, fcntl F_OFD_SETLKW) on
/// the archive, so parallel appends and readers using the functions below never see each
/// other's half entries; a waiting append goes before readers that arrive after it. The entry goes
/// to the end in one write and is synced before the lock is released. A sibling journal file `path
/// + ".journal"` records the previous length while the append runs: a process killed mid-append
/// leaves it behind, and the next append cuts the incomplete entry off (and says so in `repaired`).
/// The journal holds four lines: a header, the archive's lengths before and after the append, the
/// entry's name, and the archive file's device and inode ("file DEV INO"). Only that file is ever
/// cut, whatever name (a symbolic or hard link) reaches it through the journal's place; the append
/// is refused, and the journal kept for its file, when another file is at the archive's place. A
/// journal of an older version, without the fourth line, cannot tell its file from another of a
/// fitting length, so it never cuts: when its lengths say the archive ends inside the entry, the
/// append is refused, naming the line and the length to cut back to; otherwise it is removed as
/// before. A journal whose archive was left whole or never touched is simply removed. A file at
/// the journal's place that no append wrote is never touched (the append is refused), and the
/// journal is ignored when this call creates the archive. On any
/// failure (a write error, a full disk, a file-size limit) the archive is restored to its previous
/// length, or removed when this call created it, and CheckError is thrown naming the file. The
/// signals SIGHUP, SIGINT, SIGQUIT, SIGTERM and SIGXFSZ are blocked for the duration of the append,
/// so that they take effect only once the entry is either complete or gone.
///
/// Refused with CheckError: a name with a control character, a target that is not a regular
/// file, and a non-empty file that does not begin with an entry marker line.
AppendReport appendToArchive(const std::string& path, const std::string& name,
                             JobInstance& instance);

/// @brief Appends several entries at once, all of them or none, with the guarantees above:
/// `next` is called until it returns false, each call giving the name and instance of one
/// more entry. Every entry is formed before the archive is locked, so the lock is held only
/// for the one write and sync. Appending no entry leaves the archive untouched.
AppendReport appendToArchive(
    const std::string& path,
    const std::function<bool(std::string& name, JobInstance& instance)>& next);

/// @brief The failure of a walk that met, after the complete entries, the incomplete entry
/// left by an interrupted append (a torn tail), as opposed to a faulty entry.
class TornArchiveTail : public CheckError {
 public:
  using CheckError::CheckError;
};

/// @brief How much of an archive file holds complete entries, at one moment.
struct ArchiveExtent {
  /// The complete entries end at this byte offset; -1 when the stream is not a regular file
  /// (it is read to its end).
  std::int64_t end = -1;
  /// The archive as named in diagnostics.
  std::string path;
  /// What follows the complete entries: "incomplete entry 'NAME' (N bytes) left by an
  /// interrupted append; ..." as its append journal tells, or "" when nothing does.
  std::string tornTail;
  /// The line where the torn tail starts.
  long tornLine = 0;

  /// @brief Throws TornArchiveTail naming the path, line and torn tail, if there is one.
  void checkComplete() const;
};

/// @brief The extent of the archive file open as `stream` and named `path` (its journal is
/// looked for beside it), taken under a shared lock that is released before returning, so
/// that an append under way is waited for. A walk that ends at `end` sees exactly the entries
/// that were complete then; checkComplete() afterwards names a torn tail as
/// forEachArchiveEntry does.
ArchiveExtent archiveExtent(FILE* stream, const std::string& path);

/// @brief Visits, in file order, every entry of the archive file `path` whose name matches
/// `expression`, holding a shared lock so that no append is seen half done.
///
/// An incomplete entry left by an interrupted append is not visited: once the complete entries
/// are visited, it is reported as TornArchiveTail naming the file and the line where it starts.
/// Unreadable files and faulty entries throw CheckError naming the file (and line). With
/// `warnings`, the lines that the tolerant reading changes are collected as ArchiveReader does.
void forEachArchiveEntry(
    const std::string& path, const std::string& expression,
    const std::function<void(const std::string& name, JobInstance& entry)>& visit,
    std::vector<std::string>* warnings = nullptr);

/// @brief The same walk over an open stream (a pipe is first copied to a temporary file);
/// no lock is taken. `source` names the stream in diagnostics.
void forEachArchiveEntry(
    FILE* stream, const std::string& source, const std::string& expression,
    const std::function<void(const std::string& name, JobInstance& entry)>& visit,
    std::vector<std::string>* warnings = nullptr);

}  // namespace mcjobs

#endif  // MCJOBS_ARCHIVE_FILE_H
