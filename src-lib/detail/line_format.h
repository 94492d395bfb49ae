// Internal: the text forms of jobs and arcs, on character ranges, shared by
// the public parsers, the instance file, the archive and the reports.
#ifndef MCJOBS_LINE_FORMAT_H
#define MCJOBS_LINE_FORMAT_H

#include <string>

#include "job.h"

namespace mcjobs_detail {

/// Parses a job line (five integers, scanf "%d" rules) into `job`, which is
/// reset first. Returns whether all five were read. A number outside the
/// 32-bit range throws CheckError instead of being wrapped.
bool parseJobLine(const char* begin, const char* end, Job& job);

/// Parses an arc line into `arc`, which is reset first. Returns whether the
/// text was an arc line; a malformed job name throws CheckError.
bool parseArcLine(const char* begin, const char* end, Arc& arc);

/// What the tolerant reading of a job or arc line drops or changes, in words
/// ("" when the line reads exactly as written, or is neither kind of line):
/// text after the five job values, job names with more than "J" and digits.
std::string lineOddity(const char* begin, const char* end);

/// Job name to id ("J1" is 0); throws CheckError on a malformed name.
int idFromName(const char* begin, const char* end);

/// Appends the decimal text of `value`.
void appendInt(std::string& out, long long value);
/// Appends the job line of `job` (no newline).
void appendJobLine(std::string& out, const Job& job);
/// Appends "J" followed by id + 1.
void appendJobName(std::string& out, int id);
/// Appends the arc line of `arc` (no newline).
void appendArcLine(std::string& out, const Arc& arc);

}  // namespace mcjobs_detail

#endif  // MCJOBS_LINE_FORMAT_H
