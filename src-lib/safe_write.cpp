#include "safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check.h"

namespace mcjobs_detail {
namespace {

[[noreturn]] void failWrite(const std::string& target, const std::string& what, int error) {
  CheckError failure(what + ": " + std::strerror(error), __FILE__, __LINE__);
  failure.setInput(target, 0);
  throw failure;
}

// Fills an open stream and closes it; throws on any failure of the writes,
// the flush or the close.
void fillAndClose(FILE* stream, const std::function<bool(FILE*)>& fill, const std::string& target) {
  errno = 0;
  bool ok = fill(stream);
  ok = std::fflush(stream) == 0 && ok;
  int error = errno;
  if (std::fclose(stream) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) failWrite(target, "cannot write file", error ? error : EIO);
}

// Mode for a new file: 0666 less the process umask (which can only be read by setting it).
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void writeFileSafely(const char* filename, const std::function<bool(FILE*)>& fill) {
  if (filename == nullptr || *filename == '\0') failWrite("", "cannot create file", ENOENT);
  const std::string requested(filename);

  // Write through a symbolic link to the file it names, so the link survives.
  std::string target = requested;
  struct stat status {};
  bool exists = ::stat(filename, &status) == 0;
  if (exists) {
    if (char* resolved = ::realpath(filename, nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }

  // A device or pipe cannot be replaced, and neither can the descriptors that
  // /dev/stdout and /proc/self/fd name, even when they lead to a regular file.
  const bool special = requested.rfind("/dev/", 0) == 0 || requested.rfind("/proc/", 0) == 0;
  if (exists && (special || !S_ISREG(status.st_mode))) {
    // Opened by the name given: /dev/stdout and /dev/fd/N mean the caller's
    // descriptor, not whatever file it resolves to at this moment.
    FILE* stream = std::fopen(requested.c_str(), "w");
    if (stream == nullptr) failWrite(requested, "cannot open file for writing", errno);
    fillAndClose(stream, fill, requested);
    return;
  }

  // Write a sibling temporary file and rename it over the target only when it
  // is complete, so that a failure never leaves a truncated or emptied target.
  const size_t slash = target.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = directory + "." + base + ".tmpXXXXXX";
  int fd = ::mkstemp(&temporary[0]);
  if (fd < 0 && errno == ENAMETOOLONG) {
    // The target's own name is near the length limit; any sibling name will do.
    temporary = directory + ".mcjobs.tmpXXXXXX";
    fd = ::mkstemp(&temporary[0]);
  }
  if (fd < 0) failWrite(requested, "cannot create file", errno);
  ::fchmod(fd, exists ? (status.st_mode & 07777) : newFileMode());
  FILE* stream = ::fdopen(fd, "w");
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    failWrite(requested, "cannot create file", error);
  }
  try {
    fillAndClose(stream, fill, requested);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    failWrite(requested, "cannot replace file", error);
  }
}

}  // namespace mcjobs_detail
