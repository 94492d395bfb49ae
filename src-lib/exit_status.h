// The exit statuses of the command-line tools, which scripts test: one
// declaration for dilateJobs and mcjobs.
#ifndef MCJOBS_EXIT_STATUS_H
#define MCJOBS_EXIT_STATUS_H

namespace mcjobs {

/// @brief How a tool ends: 0 success, 1 usage, 2 scale parse error, 3 any other failure.
enum ExitStatus { kSuccess = 0, kUsage = 1, kScaleParse = 2, kFailure = 3 };

}  // namespace mcjobs

#endif  // MCJOBS_EXIT_STATUS_H
