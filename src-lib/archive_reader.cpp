// ArchiveReader: a walk through one archive stream that owns its position,
// pattern and line count, so that walks never disturb each other.
#include <sys/types.h>

#include <cstdio>
#include <utility>

#include "detail/archive_entry.h"
#include "archive_file.h"
#include "detail/check.h"

namespace mcjobs {

struct ArchiveReader::Walk {
  Walk(FILE* stream_, const std::string& expression, std::string source_, std::int64_t end_)
      : stream(stream_),
        pattern(expression),
        source(std::move(source_)),
        end(end_),
        lines(std::make_unique<mcjobs_detail::LineReader>(stream_)) {}

  FILE* stream;
  mcjobs_detail::NamePattern pattern;
  std::string source;
  std::int64_t end;
  std::unique_ptr<mcjobs_detail::LineReader> lines;  // its count is the walk's line count
  off_t position = 0;
  bool finished = false;
  std::vector<std::string>* warnings = nullptr;
};

ArchiveReader::ArchiveReader(FILE* stream, const std::string& expression, std::string source,
                             std::int64_t end) {
  MCJOBS_CHECK(stream, "jobstarfile");
  mWalk = std::make_unique<Walk>(stream, expression, std::move(source), end);
}

ArchiveReader::~ArchiveReader() = default;
ArchiveReader::ArchiveReader(ArchiveReader&&) noexcept = default;
ArchiveReader& ArchiveReader::operator=(ArchiveReader&&) noexcept = default;

void ArchiveReader::collectWarnings(std::vector<std::string>* warnings) {
  mWalk->warnings = warnings;
}

void ArchiveReader::restart() {
  mWalk->lines = std::make_unique<mcjobs_detail::LineReader>(mWalk->stream);
  mWalk->position = 0;
  mWalk->finished = false;
}

std::unique_ptr<JobInstance> ArchiveReader::next(std::string& name) {
  name.clear();
  Walk& walk = *mWalk;
  if (walk.finished) return nullptr;
  auto fail = [&walk](CheckError& failure) {
    failure.setInput(walk.source, failure.inputLine());
    return failure;
  };
  if (fseeko(walk.stream, walk.position, SEEK_SET) != 0) {
    CheckError failure("pos_success", __FILE__, __LINE__);
    throw fail(failure);
  }
  std::clearerr(walk.stream);
  mcjobs_detail::EntryWalk step{walk.stream, *walk.lines, walk.end, true};
  step.rejectForeignMarkers = true;
  std::vector<std::string> lineWarnings;
  if (walk.warnings != nullptr) step.warnings = &lineWarnings;
  // The step's warnings name the line only; they get the source here.
  auto publish = [&walk, &lineWarnings] {
    if (walk.warnings == nullptr) return;
    for (const std::string& line : lineWarnings) walk.warnings->push_back(walk.source + ":" + line);
  };
  std::unique_ptr<JobInstance> entry;
  try {
    entry = mcjobs_detail::readNextEntry(step, walk.pattern, name);
  } catch (CheckError& failure) {
    walk.finished = step.lostPosition;
    walk.position = ftello(walk.stream);
    publish();
    throw fail(failure);
  }
  publish();
  walk.position = ftello(walk.stream);
  walk.finished = entry == nullptr;
  return entry;
}

}  // namespace mcjobs
