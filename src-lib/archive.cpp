// The instance archive: named instances one after the other in one stream,
// each introduced by a marker line and a "name:" line.
#include <regex.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "check.h"
#include "instance_text.h"
#include "job.h"

namespace {

const char* const tarmark = "------";
const char markerLine[] = "------\n";
constexpr size_t markerLength = sizeof markerLine - 1;

// What the reader remembers between calls, for the whole process. A walk
// continues where the previous call stopped as long as the stream and the
// expression stay the same.
struct ReaderState {
  FILE* prev_jobstarfile = nullptr;
  std::string prev_jobsnameexpr;
  regex_t search_expression{};
  bool compiled = false;

  ReaderState() = default;
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;
  ~ReaderState() {
    if (compiled) regfree(&search_expression);
  }
};

ReaderState& readerState() {
  static ReaderState state;
  return state;
}

// Compiles the pattern of `expression` ("expression:\n"). The state changes
// only once the new pattern compiled, so a bad expression leaves the walk as it was.
void compileExpression(ReaderState& state, const std::string& expression) {
  const std::string pattern = expression + ":\n";
  regex_t compiledPattern;
  const int rc = regcomp(&compiledPattern, pattern.c_str(), 0);
  MCJOBS_CHECK(rc == 0, "rc==0 && \"jobsnameexpr error\"");
  if (state.compiled) regfree(&state.search_expression);
  state.search_expression = compiledPattern;
  state.compiled = true;
  state.prev_jobsnameexpr = expression;
}

bool isMarker(const mcjobs_detail::LineReader& lines) {
  return lines.size() == markerLength && std::memcmp(lines.data(), markerLine, markerLength) == 0;
}

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
void attachLine(CheckError& failure, FILE* stream) {
  const off_t end = ftello(stream);
  if (end > 0) failure.setInput("", lineEndingAt(stream, end));
}

// The name line less its ":" and newline; a last line may lack either.
std::string nameOf(const char* line, size_t length) {
  if (length > 0 && line[length - 1] == '\n') --length;
  if (length > 0 && line[length - 1] == ':') --length;
  return std::string(line, length);
}

bool nameMatches(const regex_t& pattern, const char* line, size_t length) {
  if (length > 0 && line[length - 1] == '\n') return regexec(&pattern, line, 0, nullptr, 0) == 0;
  // The file's last line without its newline: match it as if it had one.
  const std::string completed = std::string(line, length) + '\n';
  return regexec(&pattern, completed.c_str(), 0, nullptr, 0) == 0;
}

}  // namespace

void JobInstance::write_jobstar(std::string jobsname, FILE* jobstarfile) {
  MCJOBS_CHECK(jobstarfile, "jobstarfile");
  errno = 0;
  bool ok = std::fprintf(jobstarfile, "%s\n%s:\n", tarmark, jobsname.c_str()) >= 0;
  ok = ok && mcjobs_detail::writeBody(jobstarfile, *this);
  if (!ok) {
    const int error = errno ? errno : EIO;
    MCJOBS_FAIL(std::string("cannot write archive entry: ") + std::strerror(error));
  }
}

JobInstance* JobInstance::read_jobstar(const std::string& jobsnameexpr, FILE* jobstarfile,
                                       std::string& jobsname, bool rewind) {
  MCJOBS_CHECK(jobstarfile, "jobstarfile");
  ReaderState& state = readerState();

  // Before the first compilation no pattern exists, even for the empty
  // expression that equals the remembered one; compile it then too.
  bool search_expression_changed = false;
  if (jobsnameexpr != state.prev_jobsnameexpr || !state.compiled) {
    compileExpression(state, jobsnameexpr);
    search_expression_changed = true;
  }
  // Only now: the caller may pass one string as both expression and name.
  jobsname.clear();

  if (jobstarfile != state.prev_jobstarfile || (search_expression_changed && rewind)) {
    (void)std::fseek(jobstarfile, 0, SEEK_SET);
    state.prev_jobstarfile = jobstarfile;
  }

  mcjobs_detail::LineReader lines(jobstarfile);
  for (;;) {
    bool haveLine;
    try {
      haveLine = lines.next();
    } catch (const CheckError&) {
      // The position after a read error is unknown: start over next time.
      state.prev_jobstarfile = nullptr;
      MCJOBS_FAIL("feof(prev_jobstarfile)");
    }
    if (!haveLine) {
      MCJOBS_CHECK(std::feof(jobstarfile), "feof(prev_jobstarfile)");
      state.prev_jobstarfile = nullptr;
      return nullptr;
    }
    if (!isMarker(lines)) continue;

    if (!lines.next()) {
      CheckError failure("__null!=fgets(linebuf, 1024, jobstarfile)", __FILE__, __LINE__);
      attachLine(failure, jobstarfile);
      throw failure;
    }
    if (nameMatches(state.search_expression, lines.data(), lines.size())) break;
  }

  auto new_jobs = std::make_unique<JobInstance>();
  // Set before the body is read, so that a caller catching a failure knows the entry.
  jobsname = nameOf(lines.data(), lines.size());

  // The body starts on the line after the name; a cycle found once the
  // arcs are in is reported on its own line, counted from here.
  const off_t bodyStart = ftello(jobstarfile);
  mcjobs_detail::BodyParser parser(*new_jobs);
  std::exception_ptr failure;
  try {
    for (;;) {
      fpos_t prev_pos;
      const bool pos_success = std::fgetpos(jobstarfile, &prev_pos) == 0;
      MCJOBS_CHECK(pos_success, "pos_success");
      if (!lines.next()) break;
      if (isMarker(lines)) {
        // Leave the marker to the next call.
        (void)std::fsetpos(jobstarfile, &prev_pos);
        lines.unread();
        break;
      }
      try {
        parser.feed(lines.data(), lines.size());
      } catch (CheckError& error) {
        attachLine(error, jobstarfile);
        throw;
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
    const long nameLine = bodyStart > 0 ? lineEndingAt(jobstarfile, bodyStart) : 0;
    if (nameLine > 0 && parser.cyclicLine() >= 0) {
      cycle.setInput("", nameLine + 1 + parser.cyclicLine());
    }
    throw;
  }
  if (failure) std::rethrow_exception(failure);
  return new_jobs.release();
}
