// Scaling every time value of an instance by an integer factor, all or
// nothing, and the factor's parser; shared by dilateJobs and mcjobs scale.
#include <cstdint>
#include <string>
#include <utility>

#include "detail/check.h"
#include "job.h"

bool parseScaleFactor(const std::string& text, int* scale) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return false;
  }
  if (negative && value != 0) return false;
  *scale = static_cast<int>(value);
  return true;
}

void scaleInstance(JobInstance* inst, int scale) {
  MCJOBS_CHECK(inst != nullptr, "inst");
  // Every product is checked before any is stored, so a refused scale changes nothing.
  for (const Job& job : *inst) {
    const std::pair<const char*, int> fields[] = {{"deadline", job.deadline},
                                                  {"lo_wcet", job.lo_wcet},
                                                  {"hi_wcet", job.hi_wcet},
                                                  {"arrival", job.arrival}};
    for (const auto& field : fields) {
      const std::int64_t product = std::int64_t{field.second} * scale;
      if (product > INT32_MAX || product < INT32_MIN) {
        MCJOBS_FAIL("scaling " + job.name() + " by " + std::to_string(scale) + ": " + field.first +
                    " " + std::to_string(field.second) + " leaves the 32-bit range");
      }
    }
  }
  for (int i = 0; i < inst->size(); ++i) {
    Job* job = inst->at(i);
    job->deadline *= scale;
    job->lo_wcet *= scale;
    job->hi_wcet *= scale;
    job->arrival *= scale;
  }
}
