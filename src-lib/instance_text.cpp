// The body of an instance file or archive entry: reading lines, parsing the
// job and arc sections, writing them back.
#include "detail/instance_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "detail/check.h"
#include "explain.h"
#include "detail/instance_graph.h"
#include "detail/line_format.h"

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
    CheckError failure(std::string("read error: ") + std::strerror(error ? error : EIO), __FILE__,
                       __LINE__);
    failure.setSystemError(error ? error : EIO);
    throw failure;
  }
  if (length < 0) {
    mLength = 0;
    return false;
  }
  mLength = static_cast<size_t>(length);
  ++mLineNumber;
  return true;
}

const char* const kCrlfWords =
    "Windows line endings (CRLF) are not supported; convert the file with dos2unix";
const char* const kBomWords =
    "the file starts with a UTF-8 byte order mark (BOM), which is not supported; remove it";
const char kByteOrderMark[] = "\xEF\xBB\xBF";

namespace {

bool isBlank(const char* line, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (line[i] != ' ' && line[i] != '\t' && line[i] != '\n') return false;
  return true;
}

// A failed arc insertion in words, with the names the line used.
std::string explainArc(const std::string& condition, const Arc& arc, int jobs) {
  const std::string count = std::to_string(jobs) + (jobs == 1 ? " job" : " jobs");
  if (condition == "from_id >=0 && from_id < numJobs()")
    return "arc names job " + Job::nameFromId(arc.from_id) + ", but the file has " + count;
  if (condition == "to_id >=0 && to_id < numJobs()")
    return "arc names job " + Job::nameFromId(arc.to_id) + ", but the file has " + count;
  if (condition == "Cyclic path in task graph!") {
    const std::string from = Job::nameFromId(arc.from_id), to = Job::nameFromId(arc.to_id);
    if (arc.from_id == arc.to_id)
      return "the arc ( " + from + " " + to + " ) makes a job precede itself";
    return "the arc ( " + from + " " + to + " ) would close a cycle: " + to + " already precedes " +
           from;
  }
  return std::string();
}

}  // namespace

void BodyParser::feed(const char* line, size_t length) {
  const char* end = line + length;
  if (reading_jobs) {
    MCJOBS_CHECK(!reading_arcs, "!reading_arcs");
    Job job;
    if (parseJobLine(line, end, job)) {
      try {
        mInstance.insert(job);
      } catch (CheckError& failure) {
        job.id = mInstance.numJobs();
        failure.setExplanation(mcjobs::explainJobCheck(failure.condition(), job));
        throw;
      }
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
  if (!success) {
    CheckError failure("success && \"Job instance read error!\"", __FILE__, __LINE__);
    Job job;
    // Job lines tolerate a carriage return and read on; arc lines do not.
    if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n')
      failure.setExplanation(kCrlfWords);
    else if (length >= 3 && std::memcmp(line, kByteOrderMark, 3) == 0)
      failure.setExplanation(kBomWords);
    else if (isBlank(line, length))
      failure.setExplanation("blank line; blank lines are not allowed");
    else if (parseJobLine(line, end, job))
      failure.setExplanation("a job line after the arc lines; all job lines must come first");
    throw failure;
  }
  try {
    checkArcEnds(arc, mInstance.numJobs());
  } catch (CheckError& failure) {
    failure.setExplanation(explainArc(failure.condition(), arc, mInstance.numJobs()));
    throw;
  }
  mArcs.push_back(arc);
}

void BodyParser::finish() {
  if (mArcs.empty()) return;  // a body without arcs never builds the graph
  const long cyclic = InstanceAccess::insertArcs(mInstance, mArcs);
  if (cyclic >= 0) {
    mCyclicLine = mJobLines + cyclic;
    CheckError failure("Cyclic path in task graph!", __FILE__, __LINE__);
    failure.setExplanation(
        explainArc(failure.condition(), mArcs[static_cast<size_t>(cyclic)], mInstance.numJobs()));
    mArcs = std::vector<Arc>();
    throw failure;
  }
  mArcs = std::vector<Arc>();
}

void readBody(FILE* stream, JobInstance& instance, const std::string& name,
              std::vector<std::string>* warnings) {
  LineReader lines(stream);
  BodyParser parser(instance);
  auto feed = [&] {
    parser.feed(lines.data(), lines.size());
    if (warnings == nullptr) return;
    const std::string oddity = lineOddity(lines.data(), lines.data() + lines.size());
    if (!oddity.empty())
      warnings->push_back(name + ":" + std::to_string(lines.lineNumber()) + ": warning: " + oddity);
  };
  // The arcs before a failing line are still inserted: a cycle among them
  // is the earlier failure and is reported instead.
  std::exception_ptr failure;
  long failedLine = 0;
  try {
    while (lines.next()) feed();
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
