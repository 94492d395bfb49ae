
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "check.h"
#include "instance_text.h"
#include "job.h"
#include "safe_write.h"

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool JobInstance::read(const char* filename) {
  mVector.clear();
  resizeSets(0);
  if (filename == nullptr) {
    errno = EINVAL;
    return false;
  }
  FilePtr file(std::fopen(filename, "r"));
  if (!file) return false;  // errno still tells why

  mcjobs_detail::LineReader lines(file.get());
  mcjobs_detail::BodyParser parser(*this);
  try {
    while (lines.next()) parser.feed(lines.data(), lines.size());
  } catch (CheckError& failure) {
    mVector.clear();
    resizeSets(0);
    failure.setInput(filename, lines.lineNumber());
    throw;
  } catch (...) {
    mVector.clear();
    resizeSets(0);
    throw;
  }
  return true;
}

void JobInstance::write(const char* filename) {
  mcjobs_detail::writeFileSafely(
      filename, [this](FILE* stream) { return mcjobs_detail::writeBody(stream, *this); });
}
