// Instance bodies on open streams: what JobInstance::read and write do with a
// file, for callers that hold the stream themselves (stdin, a pipe, a file
// opened once for several purposes).
#ifndef MCJOBS_INSTANCE_STREAM_H
#define MCJOBS_INSTANCE_STREAM_H

#include <cstdio>
#include <string>
#include <vector>

#include "job.h"

namespace mcjobs {

/// @brief Fills `instance` with the whole body of `stream`: job lines, then arc lines.
///
/// The reading is the tolerant one of JobInstance::read. A failed check throws CheckError with
/// `name` and the failing line attached (a cycle-closing arc included) and leaves `instance`
/// empty; a read error throws CheckError too. With `warnings`, each line that the tolerant
/// reading drops or changes something of adds "name:line: warning: ..." to it.
void readInstanceStream(FILE* stream, JobInstance& instance, const std::string& name,
                        std::vector<std::string>* warnings = nullptr);

/// @brief Writes the job lines, then the arc lines of `instance` in the canonical form of
/// JobInstance::write; returns false on a write error (errno tells why). Nothing is flushed.
bool writeInstanceStream(FILE* stream, JobInstance& instance);

}  // namespace mcjobs

#endif  // MCJOBS_INSTANCE_STREAM_H
