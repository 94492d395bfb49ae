// The instance archive: named instances one after the other in one stream,
// each introduced by a marker line and a "name:" line. This file holds the
// entry format and the two stream operations of JobInstance; the reader
// objects and the locked file operations build on it (archive_file.cpp).
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "detail/archive_entry.h"
#include "detail/check.h"
#include "detail/instance_text.h"
#include "job.h"
#include "detail/line_format.h"

namespace mcjobs_detail {

const char* const tarmark = "------";

namespace {

const char markerLine[] = "------\n";
constexpr size_t markerLength = sizeof markerLine - 1;

// The 1-based number of the line that ends at byte `end` of the stream,
// counted from the start of the file; 0 when the stream cannot tell. Only
// failures pay for this second look at the file, and the position is kept.
long lineEndingAt(FILE* stream, off_t end) {
  if (end <= 0) return 0;
  fpos_t saved;
  if (std::fgetpos(stream, &saved) != 0) return 0;
  long line = 1;
  if (fseeko(stream, 0, SEEK_SET) == 0) {
    char chunk[1 << 14];
    off_t remaining = end - 1;  // the line's own last byte does not count
    while (remaining > 0) {
      const size_t wanted = remaining < static_cast<off_t>(sizeof chunk)
                                ? static_cast<size_t>(remaining)
                                : sizeof chunk;
      const size_t got = std::fread(chunk, 1, wanted, stream);
      if (got == 0) break;
      for (size_t i = 0; i < got; ++i) line += chunk[i] == '\n';
      remaining -= static_cast<off_t>(got);
    }
    if (remaining > 0) line = 0;
  } else {
    line = 0;
  }
  std::clearerr(stream);
  std::fsetpos(stream, &saved);
  return line;
}

// Tags a failure with the archive line just read ("line N: ...").
void attachLine(CheckError& failure, const EntryWalk& walk) {
  if (walk.linesFromTop) {
    failure.setInput(failure.inputFile(), walk.lines.lineNumber());
    return;
  }
  const off_t end = ftello(walk.stream);
  if (end > 0) failure.setInput(failure.inputFile(), lineEndingAt(walk.stream, end));
}

// The name line less its ":" and newline; a last line may lack either.
std::string nameOf(const char* line, size_t length) {
  if (length > 0 && line[length - 1] == '\n') --length;
  if (length > 0 && line[length - 1] == ':') --length;
  return std::string(line, length);
}

// Whether the next line would start at or after the walk's end.
bool atEnd(const EntryWalk& walk) {
  return walk.end >= 0 && ftello(walk.stream) >= walk.end;
}

// A marker line written by a Windows editor, or behind a byte order mark,
// would hide its entry: say so instead of passing it over.
void failOnForeignMarker(const char* line, size_t length, const EntryWalk& walk) {
  const char* message = nullptr;
  if (length == markerLength + 1 && std::memcmp(line, markerLine, markerLength - 1) == 0 &&
      line[markerLength - 1] == '\r' && line[markerLength] == '\n')
    message = kCrlfWords;
  else if (length == markerLength + 3 && std::memcmp(line, kByteOrderMark, 3) == 0 &&
           std::memcmp(line + 3, markerLine, markerLength) == 0)
    message = kBomWords;
  if (message == nullptr) return;
  CheckError failure(message, __FILE__, __LINE__);
  attachLine(failure, walk);
  throw failure;
}

// Whether `name` is valid UTF-8 (no overlong forms, no surrogates).
bool isUtf8(const std::string& name) {
  for (size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    size_t extra = 0;
    unsigned long code = c;
    if (c < 0x80)
      extra = 0;
    else if ((c & 0xE0) == 0xC0)
      extra = 1, code = c & 0x1F;
    else if ((c & 0xF0) == 0xE0)
      extra = 2, code = c & 0x0F;
    else if ((c & 0xF8) == 0xF0)
      extra = 3, code = c & 0x07;
    else
      return false;
    if (i + extra >= name.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char d = static_cast<unsigned char>(name[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    static const unsigned long smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

bool isMarkerLine(const char* line, size_t length) {
  return length == markerLength && std::memcmp(line, markerLine, markerLength) == 0;
}

std::string entryNameProblem(const std::string& name) {
  for (unsigned char c : name) {
    if (c == '\n' || c == '\r') return "an entry name cannot contain a line break";
    if (c < 0x20 || c == 0x7f) return "an entry name cannot contain a control character";
  }
  if (!isUtf8(name)) return "an entry name must be valid UTF-8";
  return std::string();
}

NamePattern::NamePattern(const std::string& expression) : mExpression(expression) {
  const std::string pattern = expression + ":\n";
  const int rc = regcomp(&mCompiled, pattern.c_str(), 0);
  MCJOBS_CHECK(rc == 0, "rc==0 && \"jobsnameexpr error\"");
}

NamePattern::~NamePattern() {
  regfree(&mCompiled);
}

bool NamePattern::matches(const char* line, size_t length) const {
  if (length > 0 && line[length - 1] == '\n') return regexec(&mCompiled, line, 0, nullptr, 0) == 0;
  // The file's last line without its newline: match it as if it had one.
  const std::string completed = std::string(line, length) + '\n';
  return regexec(&mCompiled, completed.c_str(), 0, nullptr, 0) == 0;
}

std::unique_ptr<JobInstance> readNextEntry(EntryWalk& walk, const NamePattern& pattern,
                                           std::string& name) {
  LineReader& lines = walk.lines;
  for (;;) {
    bool haveLine = false;
    if (!atEnd(walk)) {
      try {
        haveLine = lines.next();
      } catch (const CheckError&) {
        walk.lostPosition = true;
        MCJOBS_FAIL("feof(prev_jobstarfile)");
      }
      if (!haveLine && !std::feof(walk.stream)) {
        walk.lostPosition = true;
        MCJOBS_FAIL("feof(prev_jobstarfile)");
      }
    }
    if (!haveLine) return nullptr;
    if (!isMarkerLine(lines.data(), lines.size())) {
      if (walk.rejectForeignMarkers) failOnForeignMarker(lines.data(), lines.size(), walk);
      continue;
    }

    if (atEnd(walk) || !lines.next()) {
      CheckError failure("__null!=fgets(linebuf, 1024, jobstarfile)", __FILE__, __LINE__);
      attachLine(failure, walk);
      throw failure;
    }
    if (pattern.matches(lines.data(), lines.size())) break;
  }

  auto new_jobs = std::make_unique<JobInstance>();
  // Set before the body is read, so that a caller catching a failure knows the entry.
  name = nameOf(lines.data(), lines.size());

  // The body starts on the line after the name; a cycle found once the arcs
  // are in is reported on its own line, counted from here.
  const long nameLine = walk.linesFromTop ? lines.lineNumber() : 0;
  const off_t bodyStart = walk.linesFromTop ? 0 : ftello(walk.stream);
  BodyParser parser(*new_jobs);
  std::exception_ptr failure;
  try {
    for (;;) {
      fpos_t prev_pos;
      const bool pos_success = std::fgetpos(walk.stream, &prev_pos) == 0;
      MCJOBS_CHECK(pos_success, "pos_success");
      if (atEnd(walk) || !lines.next()) break;
      if (isMarkerLine(lines.data(), lines.size())) {
        // Leave the marker to the next call.
        (void)std::fsetpos(walk.stream, &prev_pos);
        lines.unread();
        break;
      }
      try {
        parser.feed(lines.data(), lines.size());
      } catch (CheckError& error) {
        attachLine(error, walk);
        throw;
      }
      if (walk.warnings != nullptr && walk.linesFromTop) {
        const std::string oddity = lineOddity(lines.data(), lines.data() + lines.size());
        if (!oddity.empty())
          walk.warnings->push_back(std::to_string(lines.lineNumber()) + ": warning: " + oddity);
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // The arcs before a failing line still go in: a cycle among them is the
  // earlier failure.
  try {
    parser.finish();
  } catch (CheckError& cycle) {
    const long before = walk.linesFromTop ? nameLine
                        : bodyStart > 0   ? lineEndingAt(walk.stream, bodyStart)
                                          : 0;
    if (before > 0 && parser.cyclicLine() >= 0) {
      cycle.setInput(cycle.inputFile(), before + 1 + parser.cyclicLine());
    }
    throw;
  }
  if (failure) std::rethrow_exception(failure);
  return new_jobs;
}

}  // namespace mcjobs_detail

namespace {

// What read_jobstar remembers between calls, for the whole process. A walk
// continues where the previous call stopped as long as the stream and the
// expression stay the same.
struct ReaderState {
  FILE* prev_jobstarfile = nullptr;
  std::unique_ptr<mcjobs_detail::NamePattern> search_expression;
};

ReaderState& readerState() {
  static ReaderState state;
  return state;
}

}  // namespace

void JobInstance::write_jobstar(std::string jobsname, FILE* jobstarfile) {
  MCJOBS_CHECK(jobstarfile, "jobstarfile");
  MCJOBS_CHECK(mcjobs_detail::entryNameProblem(jobsname).empty(), "validEntryName(jobsname)");
  errno = 0;
  bool ok = std::fprintf(jobstarfile, "%s\n%s:\n", mcjobs_detail::tarmark, jobsname.c_str()) >= 0;
  ok = ok && mcjobs_detail::writeBody(jobstarfile, *this);
  if (!ok) {
    const int error = errno ? errno : EIO;
    CheckError failure(std::string("cannot write archive entry: ") + std::strerror(error), __FILE__,
                       __LINE__);
    failure.setSystemError(error);
    throw failure;
  }
}

JobInstance* JobInstance::read_jobstar(const std::string& jobsnameexpr, FILE* jobstarfile,
                                       std::string& jobsname, bool rewind) {
  MCJOBS_CHECK(jobstarfile, "jobstarfile");
  ReaderState& state = readerState();

  // Before the first compilation no pattern exists, even for the empty
  // expression that equals the remembered one; compile it then too. The state
  // changes only once the new pattern compiled, so a bad expression leaves the
  // walk as it was.
  bool search_expression_changed = false;
  if (!state.search_expression || jobsnameexpr != state.search_expression->expression()) {
    state.search_expression = std::make_unique<mcjobs_detail::NamePattern>(jobsnameexpr);
    search_expression_changed = true;
  }
  // Only now: the caller may pass one string as both expression and name.
  jobsname.clear();

  if (jobstarfile != state.prev_jobstarfile || (search_expression_changed && rewind)) {
    (void)std::fseek(jobstarfile, 0, SEEK_SET);
    state.prev_jobstarfile = jobstarfile;
  }

  mcjobs_detail::LineReader lines(jobstarfile);
  mcjobs_detail::EntryWalk walk{jobstarfile, lines};
  std::unique_ptr<JobInstance> entry;
  try {
    entry = mcjobs_detail::readNextEntry(walk, *state.search_expression, jobsname);
  } catch (...) {
    // The position after a read error is unknown: start over next time.
    if (walk.lostPosition) state.prev_jobstarfile = nullptr;
    throw;
  }
  if (!entry) state.prev_jobstarfile = nullptr;
  return entry.release();
}
