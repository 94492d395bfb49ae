// The archive walkers over a stream of several entries. ArchiveReader and the
// process-wide read_jobstar walk must agree entry by entry and failure by
// failure (line included), a restarted walk must repeat itself, and every
// entry read must survive the archive writer: written under its name, it
// reads back as the same set.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive_file.h"
#include "fuzz_support.h"
#include "interchange.h"

namespace {

// One step of a walk: an entry, or a failure at a line of the archive.
struct Step {
  bool failed = false;
  std::string name;
  std::string body;  // the entry in canonical form, or the failed condition
  long line = 0;
  bool operator==(const Step& other) const {
    return failed == other.failed && name == other.name && body == other.body &&
           line == other.line;
  }
};

struct StreamCloser {
  void operator()(FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<FILE, StreamCloser>;

Stream memoryStream(std::string& text) {
  // fmemopen refuses an empty buffer; a lone newline walks the same (no entry).
  if (text.empty()) text = "\n";
  Stream stream(::fmemopen(&text[0], text.size(), "r"));
  fuzz::require(stream != nullptr);
  return stream;
}

// A walk makes progress: never more steps than lines, plus the end.
size_t stepLimit(const std::string& text) {
  size_t lines = 2;
  for (char c : text) lines += c == '\n';
  return lines;
}

template <typename Next>
std::vector<Step> walk(size_t limit, Next next) {
  std::vector<Step> steps;
  for (;;) {
    fuzz::require(steps.size() <= limit);
    Step step;
    try {
      std::unique_ptr<JobInstance> entry = next(step.name);
      if (!entry) return steps;
      step.body = mcjobs::writeNative(*entry);
    } catch (const CheckError& failure) {
      step.failed = true;
      step.body = failure.condition();
      step.line = failure.inputLine();
      fuzz::require(step.line > 0);
    }
    steps.push_back(step);
  }
}

std::vector<Step> readerWalk(mcjobs::ArchiveReader& reader, size_t limit) {
  return walk(limit, [&reader](std::string& name) { return reader.next(name); });
}

std::vector<Step> jobstarWalk(FILE* stream, size_t limit) {
  return walk(limit, [stream](std::string& name) {
    return std::unique_ptr<JobInstance>(JobInstance::read_jobstar(".*", stream, name, true));
  });
}

// read_jobstar passes over marker lines that ArchiveReader refuses.
bool hasForeignMarker(const std::string& text) {
  return text.find("------\r") != std::string::npos ||
         text.find("\xEF\xBB\xBF------") != std::string::npos;
}

void checkRewritten(const Step& step) {
  if (step.failed || !mcjobs::entryNameProblem(step.name).empty()) return;
  std::istringstream bodyIn(step.body);
  JobInstance entry = mcjobs::readNative(bodyIn, "entry");
  char* buffer = nullptr;
  size_t length = 0;
  FILE* out = ::open_memstream(&buffer, &length);
  fuzz::require(out != nullptr);
  entry.write_jobstar(step.name, out);
  std::fclose(out);
  std::string archive(buffer, length);
  std::free(buffer);

  Stream in = memoryStream(archive);
  mcjobs::ArchiveReader reader(in.get());
  const std::vector<Step> steps = readerWalk(reader, 2);
  fuzz::require(steps.size() == 1 && steps[0] == step);
  std::istringstream againIn(steps[0].body);
  JobInstance again = mcjobs::readNative(againIn, "again");
  fuzz::require(fuzz::sameSet(entry, again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::string text = fuzz::text(data, size);
  const size_t limit = stepLimit(text);
  Stream stream = memoryStream(text);
  mcjobs::ArchiveReader reader(stream.get(), ".*", "archive");
  const std::vector<Step> steps = readerWalk(reader, limit);
  reader.restart();
  fuzz::require(readerWalk(reader, limit) == steps);
  if (!hasForeignMarker(text)) fuzz::require(jobstarWalk(stream.get(), limit) == steps);
  for (const Step& step : steps) checkRewritten(step);
  return 0;
}
