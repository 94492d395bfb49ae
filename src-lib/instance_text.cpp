// The body of an instance file or archive entry: reading lines, parsing the
// job and arc sections, writing them back.
#include "instance_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "check.h"
#include "instance_graph.h"
#include "line_format.h"

namespace mcjobs_detail {

LineReader::~LineReader() {
  std::free(mBuffer);
}

bool LineReader::next() {
  errno = 0;
  const ssize_t length = ::getline(&mBuffer, &mCapacity, mStream);
  // getline hands out what it got before a read error as if it were a whole
  // line, so the error flag is tested on every result, not only at the end.
  if (std::ferror(mStream)) {
    const int error = errno;
    mLength = 0;
    ++mLineNumber;  // the line that could not be read
    MCJOBS_FAIL(std::string("read error: ") + std::strerror(error ? error : EIO));
  }
  if (length < 0) {
    mLength = 0;
    return false;
  }
  mLength = static_cast<size_t>(length);
  ++mLineNumber;
  return true;
}

void BodyParser::feed(const char* line, size_t length) {
  const char* end = line + length;
  if (reading_jobs) {
    MCJOBS_CHECK(!reading_arcs, "!reading_arcs");
    Job job;
    if (parseJobLine(line, end, job)) {
      mInstance.insert(job);
      ++mJobLines;
      return;
    }
    // The first line that is not a job line opens the arc section for good.
    reading_jobs = false;
    reading_arcs = true;
  }
  MCJOBS_CHECK(!reading_jobs, "!reading_jobs");
  Arc arc;
  const bool success = parseArcLine(line, end, arc);
  MCJOBS_CHECK(success, "success && \"Job instance read error!\"");
  checkArcEnds(arc, mInstance.numJobs());
  mArcs.push_back(arc);
}

void BodyParser::finish() {
  if (mArcs.empty()) return;  // a body without arcs never builds the graph
  const long cyclic = InstanceAccess::insertArcs(mInstance, mArcs);
  mArcs = std::vector<Arc>();
  if (cyclic >= 0) {
    mCyclicLine = mJobLines + cyclic;
    MCJOBS_FAIL("Cyclic path in task graph!");
  }
}

void readBody(FILE* stream, JobInstance& instance, const std::string& name) {
  LineReader lines(stream);
  BodyParser parser(instance);
  // The arcs before a failing line are still inserted: a cycle among them
  // is the earlier failure and is reported instead.
  std::exception_ptr failure;
  long failedLine = 0;
  try {
    while (lines.next()) parser.feed(lines.data(), lines.size());
  } catch (...) {
    failure = std::current_exception();
    failedLine = lines.lineNumber();
  }
  try {
    parser.finish();
    if (failure) std::rethrow_exception(failure);
  } catch (CheckError& error) {
    instance = JobInstance();
    error.setInput(name, parser.cyclicLine() >= 0 ? parser.cyclicLine() + 1 : failedLine);
    throw;
  } catch (...) {
    instance = JobInstance();
    throw;
  }
}

bool writeBody(FILE* stream, JobInstance& instance) {
  constexpr size_t chunk = 1 << 16;
  std::string buffer;
  buffer.reserve(chunk + 64);
  bool ok = true;
  auto flushIfFull = [&](bool force) {
    if (buffer.size() >= chunk || (force && !buffer.empty())) {
      ok = ok && std::fwrite(buffer.data(), 1, buffer.size(), stream) == buffer.size();
      buffer.clear();
    }
  };
  for (const Job& job : instance) {
    appendJobLine(buffer, job);
    buffer += '\n';
    flushIfFull(false);
  }
  for (const Arc& arc : instance.getAllArcs()) {
    appendArcLine(buffer, arc);
    buffer += '\n';
    flushIfFull(false);
  }
  flushIfFull(true);
  return ok && !std::ferror(stream);
}

}  // namespace mcjobs_detail
