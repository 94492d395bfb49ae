// The instance file: reading replaces the whole instance, writing is atomic.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "check.h"
#include "instance_graph.h"
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
  mGraph.reset();
  if (filename == nullptr) {
    errno = EINVAL;
    return false;
  }
  FilePtr file(std::fopen(filename, "r"));
  if (!file) return false;  // errno still tells why

  mcjobs_detail::readBody(file.get(), *this, filename);
  return true;
}

void JobInstance::write(const char* filename) {
  mcjobs_detail::writeFileSafely(
      filename, [this](FILE* stream) { return mcjobs_detail::writeBody(stream, *this); });
}
