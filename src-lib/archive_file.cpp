// Locked, restoring operations on archive files. An append holds an exclusive
// lock on the archive and records the previous length in a sibling journal
// file until the new entry is synced; readers hold a shared lock. The journal
// is what makes a killed append recoverable: under any lock, a journal can only
// have been left by a writer that died, and its lengths tell exactly which
// bytes are the torn entry, of the one file (device and inode) it names.
#include "archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "detail/archive_entry.h"
#include "detail/check.h"
#include "detail/instance_text.h"
#include "detail/signal_block.h"
#include "explain.h"

namespace mcjobs {
namespace {

[[noreturn]] void failOn(const std::string& path, const std::string& what, int error = 0) {
  CheckError failure(what + (error ? std::string(": ") + std::strerror(error) : std::string()),
                     __FILE__, __LINE__);
  failure.setInput(path, 0);
  failure.setSystemError(error);
  throw failure;
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : mFd(fd) {}
  ~Descriptor() {
    if (mFd >= 0) ::close(mFd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return mFd; }
  void reset(int fd = -1) {
    if (mFd >= 0) ::close(mFd);
    mFd = fd;
  }

 private:
  int mFd;
};

using mcjobs_detail::StreamPtr;

// Locks are open-file-description locks on two bytes of the archive: a
// turnstile and the archive proper. A writer holds the turnstile while it waits
// for the archive, so readers that keep arriving cannot keep it out for good;
// a reader only passes through the turnstile. (Both bytes may lie past the end
// of the file; the locks are advisory and never touch the data.)
constexpr off_t kTurnstile = 0;
constexpr off_t kArchive = 1;

int setLock(int fd, short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  while (::fcntl(fd, F_OFD_SETLKW, &lock) != 0)
    if (errno != EINTR) return errno;
  return 0;
}

// An exclusive (writer) or shared (reader) lock on the archive, taken through the turnstile.
int lockArchive(int fd, bool exclusive) {
  const short type = exclusive ? F_WRLCK : F_RDLCK;
  if (const int error = setLock(fd, type, kTurnstile)) return error;
  const int error = setLock(fd, type, kArchive);
  setLock(fd, F_UNLCK, kTurnstile);
  return error;
}

// Repeats a pread or pwrite until all `size` bytes are moved; a zero-byte
// transfer before that counts as an I/O error.
template <typename Buffer, typename Transfer>
bool transferAll(Transfer transfer, int fd, Buffer data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t moved = transfer(fd, data, size, offset);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) {
      if (moved == 0) errno = EIO;
      return false;
    }
    data += moved;
    size -= static_cast<size_t>(moved);
    offset += moved;
  }
  return true;
}

bool writeAll(int fd, const char* data, size_t size, off_t offset) {
  return transferAll(::pwrite, fd, data, size, offset);
}

bool readAt(int fd, char* data, size_t size, off_t offset) {
  return transferAll(::pread, fd, data, size, offset);
}

// The 1-based number of the line that starts at byte `offset`.
long lineStartingAt(int fd, off_t offset) {
  long line = 1;
  char chunk[1 << 16];
  for (off_t at = 0; at < offset;) {
    const size_t wanted = static_cast<size_t>(std::min<off_t>(offset - at, sizeof chunk));
    const ssize_t got = ::pread(fd, chunk, wanted, at);
    if (got <= 0) return 0;
    for (ssize_t i = 0; i < got; ++i) line += chunk[i] == '\n';
    at += got;
  }
  return line;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

int syncDirectoryOf(const std::string& path) {
  const int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error == EINVAL || error == EROFS ? 0 : error;
}

// The record of an append in progress: the archive's length before it, the
// length it will have after it, the entry's name, and which file the archive
// is. Journals of older versions do not name the file.
struct Journal {
  off_t start = 0;
  off_t end = 0;
  std::string name;
  bool namesItsFile = false;
  dev_t device = 0;
  ino_t inode = 0;
};

const char kJournalHeader[] = "mcjobs archive append journal\n";

// Beside the file itself, so that every symbolic link to an archive shares one journal.
std::string journalPath(const std::string& archive) {
  std::string path = archive;
  if (char* resolved = ::realpath(archive.c_str(), nullptr)) {
    path = resolved;
    std::free(resolved);
  }
  return path + ".journal";
}

// What a file at the journal's path holds.
enum class JournalState {
  None,        // no file: no append was interrupted
  Foreign,     // a file no append wrote (another archive, a link, a pipe): never touched
  Unfinished,  // a journal whose writer died before touching the archive
  Complete,    // the journal of an append that never finished
};

// Reads the journal at `journalFile` into `journal` when it is complete. A
// name too long to carry the suffix cannot have a journal either.
JournalState readJournal(const std::string& journalFile, Journal& journal) {
  const int fd = ::open(journalFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENAMETOOLONG) return JournalState::None;
    if (errno == ELOOP) return JournalState::Foreign;
    failOn(journalFile, "cannot read the journal of an interrupted append", errno);
  }
  StreamPtr file(::fdopen(fd, "r"));
  if (!file) {
    const int error = errno;
    ::close(fd);
    failOn(journalFile, "cannot read the journal of an interrupted append", error);
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return JournalState::Foreign;
  char header[sizeof kJournalHeader] = {};
  const size_t got = std::fread(header, 1, sizeof kJournalHeader - 1, file.get());
  if (std::ferror(file.get()))
    failOn(journalFile, "cannot read the journal of an interrupted append", errno);
  // A journal cut short by a crash holds a prefix of its text, or zeros where it never got.
  const bool zeros = std::all_of(header, header + got, [](char c) { return c == '\0'; });
  if (std::memcmp(header, kJournalHeader, got) != 0 && !zeros) return JournalState::Foreign;
  long long start = -1, end = -1;
  if (got != sizeof kJournalHeader - 1 || zeros ||
      std::fscanf(file.get(), "%lld %lld", &start, &end) != 2 || std::fgetc(file.get()) != '\n' ||
      start < 0 || end < start)
    return JournalState::Unfinished;
  char* line = nullptr;
  size_t capacity = 0;
  const ssize_t length = ::getline(&line, &capacity, file.get());
  bool complete = length > 0 && line[length - 1] == '\n';
  if (complete) journal.name.assign(line, static_cast<size_t>(length - 1));
  std::free(line);
  journal.start = static_cast<off_t>(start);
  journal.end = static_cast<off_t>(end);
  // The file's identity comes last, so that older versions still read the rest. Without it
  // the journal is an older version's: the whole journal is synced before the archive is
  // touched, so one cut short here cannot describe a torn entry.
  unsigned long long device = 0, inode = 0;
  const int identity = std::fscanf(file.get(), "file %llu %llu", &device, &inode);
  if (identity == 2 && std::fgetc(file.get()) == '\n') {
    journal.namesItsFile = true;
    journal.device = static_cast<dev_t>(device);
    journal.inode = static_cast<ino_t>(inode);
  } else if (identity != EOF) {
    complete = false;
  }
  return complete ? JournalState::Complete : JournalState::Unfinished;
}

// What a complete journal says about the archive file whose status is `archive`.
enum class JournalVerdict {
  kStale,         // the append it records finished, or never touched the archive
  kTorn,          // the archive ends inside the entry it records
  kTornUnproven,  // so its lengths say, but an older version's journal names no file
  kChanged,       // the archive changed since the append died
  kOtherFile,     // the journal names another file, no longer at this place
};

JournalVerdict judge(const Journal& journal, const struct stat& archive) {
  if (journal.namesItsFile &&
      (journal.device != archive.st_dev || journal.inode != archive.st_ino))
    return JournalVerdict::kOtherFile;
  const off_t size = archive.st_size;
  if (size == journal.start || size == journal.end) return JournalVerdict::kStale;
  if (size < journal.start || size > journal.end) return JournalVerdict::kChanged;
  return journal.namesItsFile ? JournalVerdict::kTorn : JournalVerdict::kTornUnproven;
}

// Written and synced, with its directory entry, before the first byte of the
// entry, so that after a crash the journal exists whenever a torn entry does.
void writeJournal(const std::string& path, const Journal& journal) {
  const std::string text = kJournalHeader + std::to_string(journal.start) + " " +
                           std::to_string(journal.end) + "\n" + journal.name + "\nfile " +
                           std::to_string(journal.device) + " " + std::to_string(journal.inode) +
                           "\n";
  // Exclusive: whatever was there was removed as a journal or refused as foreign.
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (fd.get() < 0) failOn(path, "cannot create the append journal", errno);
  if (!writeAll(fd.get(), text.data(), text.size(), 0) || ::fdatasync(fd.get()) != 0) {
    const int error = errno;
    ::unlink(path.c_str());
    failOn(path, "cannot write the append journal", error);
  }
  if (const int error = syncDirectoryOf(path)) {
    ::unlink(path.c_str());
    failOn(path, "cannot sync the append journal", error);
  }
}

// The archive file, opened and exclusively locked. A file that was replaced or
// removed while this process waited for the lock (an append that created it
// and failed) is let go and opened again.
struct LockedArchive {
  Descriptor fd;
  struct stat status {};
  bool created = false;
};

void openLocked(const std::string& path, LockedArchive& archive) {
  for (int attempt = 0;; ++attempt) {
    archive.created = false;
    archive.fd.reset(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (archive.fd.get() < 0 && errno == ENOENT) {
      archive.fd.reset(
          ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
      if (archive.fd.get() < 0 && errno == EEXIST) {
        // O_EXCL never follows a link, so a dangling one would look like a race forever.
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
          failOn(path, "cannot create archive: a symbolic link to a missing file");
        if (attempt < 100) continue;
        errno = EEXIST;
      }
      archive.created = archive.fd.get() >= 0;
    }
    if (archive.fd.get() < 0) failOn(path, "cannot open archive", errno);
    if (::fstat(archive.fd.get(), &archive.status) != 0) failOn(path, "cannot open archive", errno);
    // A pipe or a device cannot be cut back after a failed append.
    if (!S_ISREG(archive.status.st_mode))
      failOn(path, "cannot append to archive: not a regular file");
    if (const int error = lockArchive(archive.fd.get(), true))
      failOn(path, "cannot lock archive", error);
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && now.st_dev == archive.status.st_dev &&
        now.st_ino == archive.status.st_ino)
      break;
    if (attempt >= 100) failOn(path, "cannot lock archive: it keeps being replaced");
  }
  if (::fstat(archive.fd.get(), &archive.status) != 0) failOn(path, "cannot open archive", errno);
}

// Cuts off the incomplete entry of an append that died, as its journal tells.
std::string repairInterruptedAppend(const std::string& path, const std::string& journalFile,
                                    LockedArchive& archive) {
  Journal journal;
  const JournalState state = readJournal(journalFile, journal);
  if (state == JournalState::None) return std::string();
  if (state == JournalState::Foreign)
    failOn(journalFile,
           "not an append journal, but in the way of the journal of " + path + "; rename it");
  // A journal is stale once its archive is gone: this append created the file.
  if (state == JournalState::Unfinished || archive.created) {
    if (::unlink(journalFile.c_str()) != 0 && errno != ENOENT)
      failOn(journalFile, "cannot remove the journal of an interrupted append", errno);
    return std::string();
  }
  const off_t size = archive.status.st_size;
  const std::string entry = "'" + abbreviate(journal.name) + "' (" +
                            std::to_string(size - journal.start) + " bytes)";
  std::string repaired;
  switch (judge(journal, archive.status)) {
    case JournalVerdict::kStale:
      break;
    case JournalVerdict::kTorn: {
      const long line = lineStartingAt(archive.fd.get(), journal.start);
      if (::ftruncate(archive.fd.get(), journal.start) != 0 || ::fdatasync(archive.fd.get()) != 0)
        failOn(path, "cannot cut off the incomplete entry of an interrupted append", errno);
      archive.status.st_size = journal.start;
      repaired = path + ":" + std::to_string(line) + ": cut off the incomplete entry " + entry +
                 " left by an interrupted append";
      break;
    }
    case JournalVerdict::kTornUnproven: {
      // The file may be another one of a length that happens to fit: never cut on a guess.
      CheckError failure("cannot cut off the incomplete entry " + entry +
                             ": its journal, from an older version, does not name its file; "
                             "check it (truncate -s " +
                             std::to_string(journal.start) + " cuts it) and remove " + journalFile,
                         __FILE__, __LINE__);
      failure.setInput(path, lineStartingAt(archive.fd.get(), journal.start));
      throw failure;
    }
    case JournalVerdict::kChanged:
      // Someone else changed the archive since; cutting could destroy their data.
      failOn(path, "cannot append to archive: it changed after an interrupted append of '" +
                       abbreviate(journal.name) + "'; check it and remove " + journalFile);
    case JournalVerdict::kOtherFile:
      // That file may still be reached by another name; its journal stays for it.
      failOn(path, "cannot append to archive: " + journalFile +
                       " is the journal of an interrupted append of '" +
                       abbreviate(journal.name) + "' to another file (device " +
                       std::to_string(journal.device) + ", inode " +
                       std::to_string(journal.inode) + "); check that file and remove the journal");
  }
  if (::unlink(journalFile.c_str()) != 0 && errno != ENOENT)
    failOn(journalFile, "cannot remove the journal of an interrupted append", errno);
  return repaired;
}

// The entry as one block of text: marker line, name line, body.
std::string entryText(const std::string& name, JobInstance& instance) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* memory = ::open_memstream(&buffer, &size);
  if (memory == nullptr) throw std::bad_alloc();
  const bool ok = std::fprintf(memory, "%s\n%s:\n", mcjobs_detail::tarmark, name.c_str()) >= 0 &&
                  mcjobs_detail::writeBody(memory, instance);
  const bool closed = std::fclose(memory) == 0;
  std::string text;
  if (ok && closed) text.assign(buffer, size);
  std::free(buffer);
  if (!ok || !closed) throw std::bad_alloc();
  return text;
}

}  // namespace

std::string entryNameProblem(const std::string& name) {
  return mcjobs_detail::entryNameProblem(name);
}

namespace {

// Appends the text of one or more whole entries in one locked, journaled write.
AppendReport appendEntries(const std::string& path, std::string entry,
                           const std::string& journalName) {
  AppendReport report;
  LockedArchive archive;
  openLocked(path, archive);
  mcjobs_detail::SignalBlock signalsWait;
  const int fd = archive.fd.get();
  report.created = archive.created;
  // Resolved once the archive exists, so that every link to it shares the journal.
  const std::string journalFile = journalPath(path);
  // An archive this append created goes again when the append fails.
  auto removeIfCreated = [&] {
    struct stat now {};
    if (archive.created && ::stat(path.c_str(), &now) == 0 && now.st_dev == archive.status.st_dev &&
        now.st_ino == archive.status.st_ino)
      ::unlink(path.c_str());
  };
  try {
    report.repaired = repairInterruptedAppend(path, journalFile, archive);
  } catch (...) {
    removeIfCreated();
    throw;
  }

  const off_t size = archive.status.st_size;
  if (size > 0) {
    const size_t markerLength = std::strlen(mcjobs_detail::tarmark) + 1;
    std::string head(std::min<size_t>(markerLength, static_cast<size_t>(size)), '\0');
    if (!readAt(fd, &head[0], head.size(), 0)) failOn(path, "cannot read archive", errno);
    if (!mcjobs_detail::isMarkerLine(head.data(), head.size()))
      failOn(path, "cannot append to archive: not an archive (it does not begin with a '" +
                       std::string(mcjobs_detail::tarmark) + "' line)");
    char last = '\n';
    if (!readAt(fd, &last, 1, size - 1)) failOn(path, "cannot read archive", errno);
    // An entry must start on a line of its own.
    if (last != '\n') entry.insert(entry.begin(), '\n');
  }

  // Undoes everything this append did to the archive; a journal that cannot be
  // honoured now stays for the next append to honour.
  auto restore = [&] {
    if (::ftruncate(fd, size) != 0 || ::fdatasync(fd) != 0) return;
    ::unlink(journalFile.c_str());
    removeIfCreated();
  };
  try {
    writeJournal(journalFile, Journal{size, size + static_cast<off_t>(entry.size()), journalName,
                                      true, archive.status.st_dev, archive.status.st_ino});
  } catch (...) {
    // Nothing is written yet, and a journal that failed removed itself.
    removeIfCreated();
    throw;
  }
  if (!writeAll(fd, entry.data(), entry.size(), size) || ::fdatasync(fd) != 0) {
    const int error = errno;
    restore();
    failOn(path, "cannot append to archive", error);
  }
  // Once the entry is synced, a journal surviving a crash only says the entry is whole.
  ::unlink(journalFile.c_str());
  return report;
}

}  // namespace

AppendReport appendToArchive(const std::string& path, const std::string& name,
                             JobInstance& instance) {
  MCJOBS_CHECK(mcjobs_detail::entryNameProblem(name).empty(), "validEntryName(jobsname)");
  return appendEntries(path, entryText(name, instance), name);
}

AppendReport appendToArchive(
    const std::string& path,
    const std::function<bool(std::string& name, JobInstance& instance)>& next) {
  std::string entries, first, last;
  std::size_t count = 0;
  for (;;) {
    std::string name;
    JobInstance instance;
    if (!next(name, instance)) break;
    MCJOBS_CHECK(mcjobs_detail::entryNameProblem(name).empty(), "validEntryName(jobsname)");
    entries += entryText(name, instance);
    (count++ == 0 ? first : last) = name;
  }
  if (count == 0) return AppendReport();
  return appendEntries(
      path, std::move(entries),
      count == 1 ? first : first + " ... " + last + " (" + std::to_string(count) + " entries)");
}

namespace {

// The extent of the archive open as `fd`, on which a lock is held, so that no
// append is under way: its whole length, unless its journal tells of a torn entry.
ArchiveExtent extentUnderLock(int fd, const std::string& path) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) failOn(path, "cannot open archive", errno);
  ArchiveExtent extent;
  extent.path = path;
  extent.end = status.st_size;
  Journal journal;
  if (readJournal(journalPath(path), journal) != JournalState::Complete) return extent;
  const JournalVerdict verdict = judge(journal, status);
  if (verdict != JournalVerdict::kTorn && verdict != JournalVerdict::kTornUnproven) return extent;
  extent.end = journal.start;
  extent.tornLine = lineStartingAt(fd, journal.start);
  extent.tornTail = "incomplete entry '" + abbreviate(journal.name) + "' (" +
                    std::to_string(status.st_size - journal.start) +
                    " bytes) left by an interrupted append; " +
                    (verdict == JournalVerdict::kTorn
                         ? "the next append cuts it off"
                         : "an older version's journal names no file, so the next append "
                           "leaves it to you");
  return extent;
}

void walk(FILE* stream, const std::string& source, const std::string& expression, std::int64_t end,
          const std::function<void(const std::string&, JobInstance&)>& visit,
          std::vector<std::string>* warnings) {
  ArchiveReader reader(stream, expression, source, end);
  reader.collectWarnings(warnings);
  std::string name;
  while (std::unique_ptr<JobInstance> entry = reader.next(name)) visit(name, *entry);
}

}  // namespace

void forEachArchiveEntry(const std::string& path, const std::string& expression,
                         const std::function<void(const std::string&, JobInstance&)>& visit,
                         std::vector<std::string>* warnings) {
  StreamPtr file(std::fopen(path.c_str(), "r"));
  if (!file) failOn(path, "cannot open archive", errno);
  struct stat status {};
  if (::fstat(::fileno(file.get()), &status) != 0) failOn(path, "cannot open archive", errno);
  if (S_ISDIR(status.st_mode)) failOn(path, "cannot read archive", EISDIR);
  if (!S_ISREG(status.st_mode)) {
    forEachArchiveEntry(file.get(), path, expression, visit, warnings);
    return;
  }
  if (const int error = lockArchive(::fileno(file.get()), false))
    failOn(path, "cannot lock archive", error);
  const ArchiveExtent extent = extentUnderLock(::fileno(file.get()), path);
  walk(file.get(), path, expression, extent.end, visit, warnings);
  extent.checkComplete();
}

ArchiveExtent archiveExtent(FILE* stream, const std::string& path) {
  MCJOBS_CHECK(stream, "jobstarfile");
  const int fd = ::fileno(stream);
  struct stat status {};
  if (::fstat(fd, &status) != 0) failOn(path, "cannot open archive", errno);
  if (!S_ISREG(status.st_mode)) return ArchiveExtent();
  if (const int error = lockArchive(fd, false)) failOn(path, "cannot lock archive", error);
  // Let go before anything can throw: the stream outlives this look.
  struct Unlock {
    int fd;
    ~Unlock() { setLock(fd, F_UNLCK, kArchive); }
  } unlock{fd};
  return extentUnderLock(fd, path);
}

void ArchiveExtent::checkComplete() const {
  if (tornTail.empty()) return;
  TornArchiveTail failure(tornTail, __FILE__, __LINE__);
  failure.setInput(path, tornLine);
  throw failure;
}

void forEachArchiveEntry(FILE* stream, const std::string& source, const std::string& expression,
                         const std::function<void(const std::string&, JobInstance&)>& visit,
                         std::vector<std::string>* warnings) {
  MCJOBS_CHECK(stream, "jobstarfile");
  mcjobs_detail::StreamPtr copy;
  walk(mcjobs_detail::seekableStream(stream, source, copy), source, expression, -1, visit,
       warnings);
}

FILE* seekableStream(FILE* stream, const std::string& source, StreamPtr& copy) {
  if (::lseek(::fileno(stream), 0, SEEK_CUR) >= 0) return stream;
  copy.reset(std::tmpfile());
  if (!copy) failOn(source, "cannot create a temporary file", errno);
  char buffer[1 << 16];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
    if (std::fwrite(buffer, 1, count, copy.get()) != count)
      failOn(source, "cannot copy the archive to a temporary file", errno);
  if (std::ferror(stream)) failOn(source, "cannot read archive", errno ? errno : EIO);
  if (std::fflush(copy.get()) != 0)
    failOn(source, "cannot copy the archive to a temporary file", errno);
  return copy.get();
}

}  // namespace mcjobs
