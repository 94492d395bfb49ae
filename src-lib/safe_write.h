// Internal: writing a whole file so that a failure never damages the target.
#ifndef MCJOBS_SAFE_WRITE_H
#define MCJOBS_SAFE_WRITE_H

#include <cstdio>
#include <functional>

namespace mcjobs_detail {

/// Writes the file `path` through `fill`, which writes the content to the
/// stream it is given and returns false on an error. A regular (or new) target
/// is written to a sibling temporary file that is renamed over it only when
/// complete, keeping the target's permissions; a device, a pipe or a /dev/ or
/// /proc/ path is written directly. Any failure (create, write, flush, close,
/// rename) throws CheckError "<path>: cannot ... file: <reason>".
void writeFileSafely(const char* path, const std::function<bool(FILE*)>& fill);

}  // namespace mcjobs_detail

#endif  // MCJOBS_SAFE_WRITE_H
