// Job line parser against scanf, the conversion the job line is defined by.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "job.h"
#include "detail/line_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Job job;
  bool parsed = false;
  bool outOfRange = false;
  try {
    parsed = mcjobs_detail::parseJobLine(text.data(), text.data() + text.size(), job);
  } catch (const CheckError&) {
    outOfRange = true;
  }

  // scanf stops at a NUL, and so does the parser: a NUL is neither a blank nor a digit.
  long long values[5] = {};
  const int count = std::sscanf(text.c_str(), "%lld %lld %lld %lld %lld", &values[0], &values[1],
                                &values[2], &values[3], &values[4]);
  if (outOfRange) {
    bool wide = false;
    for (int i = 0; i < count; ++i) wide = wide || values[i] < INT32_MIN || values[i] > INT32_MAX;
    if (!wide) std::abort();
    return 0;
  }
  if (parsed != (count == 5)) std::abort();
  if (!parsed) return 0;
  const int fields[5] = {job.arrival, job.deadline, job.criticality, job.lo_wcet, job.hi_wcet};
  for (int i = 0; i < 5; ++i) {
    if (fields[i] != values[i]) std::abort();
  }
  if (job.id != NO_JOB_ID) std::abort();

  // The written form parses back to the same job.
  Job again;
  const std::string line = job.toString();
  if (!again.initializeFromString(line) || again.toString() != line) std::abort();
  try {
    job.sanity_check();
  } catch (const CheckError&) {
  }
  return 0;
}
