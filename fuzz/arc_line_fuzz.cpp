// Arc line parser against a reference built the way the arc line is defined:
// strtok over " ,\t\n" and scanf "J%d" for the names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "job.h"
#include "detail/line_format.h"

namespace {

struct Outcome {
  bool result = false;
  std::string failure;  // condition of a thrown check, empty when none
  int from = -1;
  int to = -1;
  bool operator!=(const Outcome& other) const {
    return result != other.result || failure != other.failure || from != other.from ||
           to != other.to;
  }
};

struct Failure {
  std::string condition;
};

int referenceId(const char* name) {
  long long index = 0;
  if (std::sscanf(name, "J%lld", &index) != 1) throw Failure{"Not a job name!"};
  if (index < INT32_MIN || index > INT32_MAX) throw Failure{"range"};
  if (index <= 0) throw Failure{"Name must have a strictly positive index!"};
  return static_cast<int>(index - 1);
}

Outcome reference(const std::string& text) {
  Outcome outcome;
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  int pos = 0;
  char* state = nullptr;
  try {
    for (char* token = strtok_r(copy.data(), " ,\t\n", &state); token != nullptr;
         token = strtok_r(nullptr, " ,\t\n", &state)) {
      std::string tokenbuf = token;
      if (pos == 0) {
        if (tokenbuf[0] != '(') return outcome;
        tokenbuf.erase(0, 1);
        pos = 1;
      }
      if (pos == 1) {
        if (tokenbuf.empty()) {
          pos = 0;
        } else {
          outcome.from = referenceId(tokenbuf.c_str());
        }
      } else if (pos == 2) {
        if (tokenbuf.back() == ')') {
          tokenbuf.pop_back();
          pos = 3;
        }
        outcome.to = referenceId(tokenbuf.c_str());
      } else if (pos == 3) {
        if (tokenbuf != ")") return outcome;
      } else {
        return outcome;
      }
      ++pos;
    }
  } catch (const Failure& failure) {
    outcome.failure = failure.condition;
    return outcome;
  }
  outcome.result = outcome.from != -1 && outcome.to != -1 && pos >= 4;
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Outcome actual;
  Arc arc;
  try {
    actual.result = mcjobs_detail::parseArcLine(text.data(), text.data() + text.size(), arc);
  } catch (const CheckError& failure) {
    const std::string& condition = failure.condition();
    actual.failure =
        condition.rfind("Job name index out of the 32-bit range", 0) == 0 ? "range" : condition;
  }
  if (actual.failure.empty()) {
    actual.from = arc.from_id;
    actual.to = arc.to_id;
  }

  // strtok sees a NUL as the end of the text; the parser takes it as text.
  if (std::memchr(text.data(), '\0', text.size()) == nullptr) {
    Outcome expected = reference(text);
    if (!expected.failure.empty()) expected.from = expected.to = -1;
    if (actual != expected) std::abort();
  }

  if (actual.result) {
    Arc again;
    if (!again.initializeFromString(arc.toString()) || again.from_id != arc.from_id ||
        again.to_id != arc.to_id) {
      std::abort();
    }
  }
  return 0;
}
