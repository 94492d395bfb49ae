// Writing a whole file so that a failure, a crash or a power loss never
// leaves the target truncated or mixed with another writer's content. Every
// file the library and the tools write goes through it.
#ifndef MCJOBS_SAFE_WRITE_H
#define MCJOBS_SAFE_WRITE_H

#include <cstdio>
#include <functional>

namespace mcjobs {

/// @brief What writeFileSafely may do with a target that already exists.
enum class ExistingTarget {
  /// Replace it; a device, a pipe or a /dev/ or /proc/ path is written directly.
  kReplace,
  /// Replace it only when it is a regular file; anything else is refused unopened.
  kReplaceRegularFile,
  /// Never replace it: the write fails with EEXIST, even when the target appears meanwhile.
  kKeep,
};

/// @brief Writes the file `path` through `fill`, which writes the content to the
/// stream it is given and returns false on an error. A regular (or new) target
/// is written to a sibling temporary file that is synced and renamed over it
/// only when complete (keeping the target's permissions; a new file gets 0666
/// less the umask), and the directory is synced after the rename. Two writers
/// of one target leave one of the two contents whole. Any failure (create,
/// write, sync, close, rename, or `fill` throwing) throws CheckError
/// "<path>: cannot ... file: <reason>", or lets `fill`'s exception through,
/// and leaves no temporary file and no open descriptor behind; hangup, interrupt,
/// quit, terminate and file-size signals wait until the temporary file is
/// renamed or removed. A symbolic
/// link (with kReplace, even a dangling one) is written through to its file.
void writeFileSafely(const char* path, const std::function<bool(FILE*)>& fill,
                     ExistingTarget existing = ExistingTarget::kReplace);

}  // namespace mcjobs

#endif  // MCJOBS_SAFE_WRITE_H
