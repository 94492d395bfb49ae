// A program outside the project: reads an instance file and prints its job count.
#include <mcjobs/job.h>

#include <iostream>

#include "explain.h"  // the older form, still on the include path

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: count_jobs INSTANCE\n";
    return 1;
  }
  JobInstance instance;
  try {
    if (!instance.read(argv[1])) {
      std::cerr << "count_jobs: cannot open " << argv[1] << "\n";
      return 3;
    }
  } catch (const CheckError& failure) {
    std::cerr << "count_jobs: " << mcjobs::describeFailure(failure) << "\n";
    return 3;
  }
  std::cout << instance.numJobs() << " jobs\n";
  return 0;
}
