// The nptest reader. The input is the job file, then a NUL byte and the
// precedence file (without the NUL: no precedence file). A job set it accepts
// is written back with its numbering and must read as the same set and the
// same numbering; taking the latest release of a jitter changes nothing for
// a set without jitter.
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "interchange.h"

namespace {

struct Read {
  JobInstance set;
  std::vector<mcjobs::TaskJob> numbering;
};

bool readsAs(const std::string& jobs, const std::string* precedence,
             const mcjobs::InterchangeOptions& options, Read& out) {
  std::istringstream jobsIn(jobs);
  std::unique_ptr<std::istringstream> precedenceIn;
  if (precedence != nullptr) precedenceIn = std::make_unique<std::istringstream>(*precedence);
  try {
    out.set = mcjobs::readNptest(jobsIn, "jobs.csv", precedenceIn.get(), "jobs.prec.csv", options,
                                 &out.numbering);
  } catch (const CheckError& failure) {
    fuzz::requireLocated(failure, "jobs.csv", "jobs.prec.csv");
    return false;
  }
  fuzz::require(out.numbering.size() == static_cast<size_t>(out.set.numJobs()));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string input = fuzz::text(data, size);
  const size_t split = input.find('\0');
  const std::string jobs = input.substr(0, split);
  const std::string precedence = split == std::string::npos ? "" : input.substr(split + 1);
  const std::string* precedenceFile = split == std::string::npos ? nullptr : &precedence;

  mcjobs::InterchangeOptions exact, latest;
  latest.release = mcjobs::NptestRelease::kMax;
  Read strict, lenient;
  const bool strictRead = readsAs(jobs, precedenceFile, exact, strict);
  const bool lenientRead = readsAs(jobs, precedenceFile, latest, lenient);
  if (strictRead)
    fuzz::require(lenientRead && fuzz::sameSet(strict.set, lenient.set) &&
                  strict.numbering == lenient.numbering);
  if (!lenientRead) return 0;

  mcjobs::InterchangeOptions writing;
  writing.bcetRatio = 0.5;
  writing.priority = mcjobs::NptestPriority::kAlap;
  const mcjobs::NptestFiles files =
      mcjobs::writeNptest(lenient.set, writing, &lenient.numbering);
  Read again;
  fuzz::require(readsAs(files.jobs, &files.precedence, exact, again));
  fuzz::require(fuzz::sameSet(lenient.set, again.set) && again.numbering == lenient.numbering);
  return 0;
}
