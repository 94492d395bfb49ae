// The instance file: reading replaces the whole instance, writing is atomic.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "detail/check.h"
#include "detail/instance_graph.h"
#include "detail/instance_text.h"
#include "instance_stream.h"
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
  mcjobs::writeFileSafely(
      filename, [this](FILE* stream) { return mcjobs_detail::writeBody(stream, *this); });
}

namespace mcjobs {

void readInstanceStream(FILE* stream, JobInstance& instance, const std::string& name,
                        std::vector<std::string>* warnings) {
  mcjobs_detail::readBody(stream, instance, name, warnings);
}

bool writeInstanceStream(FILE* stream, JobInstance& instance) {
  return mcjobs_detail::writeBody(stream, instance);
}

}  // namespace mcjobs
