// The library's one way of writing a whole file: a sibling temporary file,
// synced, then renamed over the target, so that readers and a crash see either
// the old content or the new one, never a mixture.
#include "safe_write.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "detail/check.h"
#include "detail/signal_block.h"

namespace mcjobs_detail {
namespace {

[[noreturn]] void failWrite(const std::string& target, const std::string& what, int error) {
  CheckError failure(what + ": " + std::strerror(error), __FILE__, __LINE__);
  failure.setInput(target, 0);
  failure.setSystemError(error);
  throw failure;
}

struct StreamCloser {
  void operator()(FILE* stream) const { std::fclose(stream); }
};
using StreamPtr = std::unique_ptr<FILE, StreamCloser>;

// Fills an open stream, flushes it, syncs it when asked and closes it; throws
// on any failure. The stream is closed on every path, `fill` throwing included.
void fillAndClose(StreamPtr stream, const std::function<bool(FILE*)>& fill, bool sync,
                  const std::string& target) {
  errno = 0;
  bool ok = fill(stream.get());
  int error = errno;
  if (ok && std::fflush(stream.get()) != 0) ok = false, error = errno;
  if (ok && sync && ::fsync(::fileno(stream.get())) != 0) ok = false, error = errno;
  if (std::fclose(stream.release()) != 0 && ok) ok = false, error = errno;
  if (!ok) failWrite(target, "cannot write file", error ? error : EIO);
}

// A new file beside the target, created with 0666 so that the kernel applies
// the umask and the directory's default ACL, as for any file the user creates.
// Unlike mkstemp(), which creates 0600, this needs no process-wide umask lookup.
int createSibling(const std::string& directory, const std::string& base, std::string& name) {
  std::minstd_rand random(
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                            (static_cast<unsigned long>(::getpid()) << 16)));
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(8, 'x');
    for (char& c : suffix) c = letters[random() % (sizeof letters - 1)];
    // A name near the length limit leaves no room for a suffix; any sibling name will do.
    name = directory + "." + (attempt % 2 == 0 ? base : "mcjobs") + ".tmp" + suffix;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || (errno != EEXIST && errno != ENAMETOOLONG)) return fd;
  }
  return -1;
}

// Makes a rename or a new name in `directory` survive a power loss.
int syncDirectory(const std::string& directory) {
  const int fd =
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  // Some file systems cannot sync a directory; their renames are as safe as they get.
  return error == EINVAL || error == EROFS ? 0 : error;
}

// The file a chain of symbolic links leads to when its last link dangles
// (`path` itself when it is no link).
std::string danglingTarget(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), &link[0], link.size());
    if (length <= 0) return path;
    link.resize(static_cast<size_t>(length));
    const size_t slash = path.find_last_of('/');
    path = link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
  }
  return path;
}

}  // namespace

SignalBlock::SignalBlock() {
  sigset_t blocked;
  sigemptyset(&blocked);
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ}) sigaddset(&blocked, signal);
  mActive = pthread_sigmask(SIG_BLOCK, &blocked, &mPrevious) == 0;
}

SignalBlock::~SignalBlock() {
  if (mActive) pthread_sigmask(SIG_SETMASK, &mPrevious, nullptr);
}

}  // namespace mcjobs_detail

namespace mcjobs {

void writeFileSafely(const char* filename, const std::function<bool(FILE*)>& fill,
                     ExistingTarget existing) {
  using namespace mcjobs_detail;
  if (filename == nullptr || *filename == '\0') failWrite("", "cannot create file", ENOENT);
  const std::string requested(filename);

  // Write through a symbolic link to the file it names, so the link survives.
  // (Extraction refuses links before it gets here, and kKeep never follows one.)
  std::string target = requested;
  struct stat status {};
  const bool exists = existing == ExistingTarget::kKeep ? ::lstat(filename, &status) == 0
                                                        : ::stat(filename, &status) == 0;
  if (exists && existing == ExistingTarget::kKeep)
    failWrite(requested, "cannot create file", EEXIST);
  if (exists) {
    if (char* resolved = ::realpath(filename, nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  } else if (existing == ExistingTarget::kReplace) {
    // Renaming over a dangling link would replace the link, not create its file.
    target = danglingTarget(requested);
  }

  // A device or pipe cannot be replaced, and neither can the descriptors that
  // /dev/stdout and /proc/self/fd name, even when they lead to a regular file.
  const bool special = requested.rfind("/dev/", 0) == 0 || requested.rfind("/proc/", 0) == 0;
  if (exists && (special || !S_ISREG(status.st_mode))) {
    if (existing != ExistingTarget::kReplace) failWrite(requested, "cannot replace file", EPERM);
    // Opened by the name given: /dev/stdout and /dev/fd/N mean the caller's
    // descriptor, not whatever file it resolves to at this moment.
    StreamPtr stream(std::fopen(requested.c_str(), "w"));
    if (!stream) failWrite(requested, "cannot open file for writing", errno);
    fillAndClose(std::move(stream), fill, false, requested);
    return;
  }

  const size_t slash = target.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary;
  // A signal while the temporary file exists would leave it behind.
  SignalBlock signalsWait;
  const int fd = createSibling(directory, base, temporary);
  if (fd < 0) failWrite(requested, "cannot create file", errno);
  auto discard = [&temporary] { ::unlink(temporary.c_str()); };
  if (exists && ::fchmod(fd, status.st_mode & 07777) != 0) {
    const int error = errno;
    ::close(fd);
    discard();
    failWrite(requested, "cannot set the permissions of file", error);
  }
  StreamPtr stream(::fdopen(fd, "w"));
  if (!stream) {
    const int error = errno;
    ::close(fd);
    discard();
    failWrite(requested, "cannot create file", error);
  }
  try {
    fillAndClose(std::move(stream), fill, true, requested);
  } catch (...) {
    discard();
    throw;
  }
  if (existing == ExistingTarget::kKeep) {
    // link() fails when the name exists, so a file that appeared meanwhile is kept.
    const int error = ::link(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
    discard();
    if (error != 0) failWrite(requested, "cannot create file", error);
  } else if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    discard();
    failWrite(requested, "cannot replace file", error);
  }
  if (const int error = syncDirectory(directory))
    failWrite(requested, "cannot sync the directory of file", error);
}

}  // namespace mcjobs
