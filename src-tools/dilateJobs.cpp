// dilateJobs: multiplies every time value of an instance file by an integer factor.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "exit_status.h"
#include "explain.h"
#include "job.h"
#include "util.h"

using mcjobs::kFailure;
using mcjobs::kScaleParse;
using mcjobs::kSuccess;
using mcjobs::kUsage;

int main(int argc, char** argv) {
  // Past a file-size limit the write then fails and is cleaned up, instead of
  // the signal killing the process and leaving its temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string invocation = argc > 0 ? argv[0] : "dilateJobs";
  if (argc != 4) {
    Util::print_tool_usage("src-tools/dilateJobs",
                           invocation + " instance_filename  scale_factor output_filename\n");
    return kUsage;
  }
  const char* inputName = argv[1];
  const char* outputName = argv[3];

  int scale = 0;
  if (!parseScaleFactor(argv[2], &scale)) {
    std::cerr << "Parse error for scale" << std::endl;
    return kScaleParse;
  }

  try {
    JobInstance instance;
    errno = 0;
    if (!instance.read(inputName)) {
      const int error = errno;
      std::cerr << "dilateJobs: " << inputName << ": " << std::strerror(error ? error : ENOENT)
                << std::endl;
      return kFailure;
    }
    scaleInstance(&instance, scale);
    instance.write(outputName);
  } catch (const CheckError& failure) {
    std::cerr << "dilateJobs: " << mcjobs::describeFailure(failure) << std::endl;
    return kFailure;
  } catch (const std::exception& failure) {
    std::cerr << "dilateJobs: " << failure.what() << std::endl;
    return kFailure;
  }
  std::cout << "Scaled instance written to " << outputName << std::endl;
  return kSuccess;
}
