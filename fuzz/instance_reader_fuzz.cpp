// The whole instance file reader. A file that reads is written back in
// canonical form, and that form must read again and write back unchanged.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "detail/instance_text.h"
#include "job.h"

namespace {

std::string canonical(JobInstance& instance) {
  char* text = nullptr;
  size_t length = 0;
  FILE* stream = ::open_memstream(&text, &length);
  if (stream == nullptr || !mcjobs_detail::writeBody(stream, instance)) std::abort();
  std::fclose(stream);
  std::string result(text, length);
  std::free(text);
  return result;
}

// The reader is driven through its public entry, JobInstance::read, on a
// memory file reached by name.
const std::string& memoryFile(const std::uint8_t* data, size_t size) {
  static const int fd = ::memfd_create("instance", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string& path = memoryFile(data, size);
  JobInstance instance;
  try {
    if (!instance.read(path.c_str())) std::abort();
  } catch (const CheckError& failure) {
    // A refused file leaves the instance empty and says where.
    if (instance.numJobs() != 0 || !instance.getAllArcs().empty() || failure.inputLine() <= 0)
      std::abort();
    return 0;
  }
  const std::string text = canonical(instance);
  const std::string& again =
      memoryFile(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  JobInstance reread;
  try {
    if (!reread.read(again.c_str())) std::abort();
  } catch (const CheckError&) {
    std::abort();
  }
  if (reread.numJobs() != instance.numJobs() || canonical(reread) != text) std::abort();
  for (int id = 0; id < instance.numJobs(); ++id) {
    for (int level : {CRIT_LO, CRIT_HI}) {
      if (reread.getTransitiveSuccessors(id, level) != instance.getTransitiveSuccessors(id, level))
        std::abort();
    }
  }
  return 0;
}
