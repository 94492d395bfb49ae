// The job and arc lines as text: tolerant parsing (as stored files expect),
// exact writing, and the words for what the tolerance changes.
#include "detail/line_format.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "detail/check.h"
#include "explain.h"

namespace mcjobs_detail {
namespace {

bool isScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class IntScan { kOk, kNoNumber, kOutOfRange };

// One scanf "%d" conversion: white space, an optional sign, at least one
// digit. Unlike scanf, a value outside the 32-bit range is reported rather
// than left undefined.
IntScan scanInt(const char*& p, const char* end, int& value) {
  while (p != end && isScanfSpace(*p)) ++p;
  const char* q = p;
  bool negative = false;
  if (q != end && (*q == '+' || *q == '-')) {
    negative = *q == '-';
    ++q;
  }
  if (q == end || *q < '0' || *q > '9') return IntScan::kNoNumber;
  std::int64_t magnitude = 0;
  bool overflow = false;
  for (; q != end && *q >= '0' && *q <= '9'; ++q) {
    if (!overflow) {
      magnitude = magnitude * 10 + (*q - '0');
      overflow = magnitude > std::int64_t{INT32_MAX} + 1;
    }
  }
  std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (overflow || signedValue > INT32_MAX || signedValue < INT32_MIN) {
    p = q;
    return IntScan::kOutOfRange;
  }
  value = static_cast<int>(signedValue);
  p = q;
  return IntScan::kOk;
}

// The offending number as messages show it: a huge one is cut short.
std::string trimmedNumber(const char* begin, const char* end) {
  while (begin != end && isScanfSpace(*begin)) ++begin;
  return mcjobs::abbreviate(std::string(begin, end));
}

bool isArcDelimiter(char c) {
  return c == ' ' || c == ',' || c == '\t' || c == '\n';
}

}  // namespace

bool parseJobLine(const char* begin, const char* end, Job& job) {
  job = Job();
  static const char* const fieldNames[] = {"arrival", "deadline", "criticality", "lo_wcet",
                                           "hi_wcet"};
  int* fields[] = {&job.arrival, &job.deadline, &job.criticality, &job.lo_wcet, &job.hi_wcet};
  const char* p = begin;
  for (int i = 0; i < 5; ++i) {
    const char* start = p;
    IntScan result = scanInt(p, end, *fields[i]);
    if (result == IntScan::kNoNumber) return false;
    if (result == IntScan::kOutOfRange) {
      MCJOBS_FAIL(std::string("job line value out of the 32-bit range: ") + fieldNames[i] + " " +
                  trimmedNumber(start, p));
    }
  }
  return true;
}

int idFromName(const char* begin, const char* end) {
  int index = 0;
  const char* p = begin;
  IntScan result = IntScan::kNoNumber;
  if (p != end && *p == 'J') {
    ++p;
    result = scanInt(p, end, index);
  }
  if (result == IntScan::kOutOfRange) {
    MCJOBS_FAIL("Job name index out of the 32-bit range: " +
                mcjobs::abbreviate(std::string(begin, p)));
  }
  if (result != IntScan::kOk || index <= 0) {
    CheckError failure(
        result != IntScan::kOk ? "Not a job name!" : "Name must have a strictly positive index!",
        __FILE__, __LINE__);
    const std::string name = mcjobs::abbreviate(std::string(begin, end));
    if (begin == end)
      failure.setExplanation("a job name is missing (J followed by a positive number)");
    else if (result != IntScan::kOk)
      failure.setExplanation("'" + name + "' is not a job name (J followed by a positive number)");
    else
      failure.setExplanation("'" + name + "' is not a job name; job names start at J1");
    throw failure;
  }
  return index - 1;
}

bool parseArcLine(const char* begin, const char* end, Arc& arc) {
  arc = Arc();
  int pos = 0;
  const char* p = begin;
  while (true) {
    while (p != end && isArcDelimiter(*p)) ++p;
    if (p == end) break;
    const char* tokenBegin = p;
    while (p != end && !isArcDelimiter(*p)) ++p;
    const char* tokenEnd = p;

    if (pos == 0) {
      if (*tokenBegin != '(') return false;
      ++tokenBegin;
      pos = 1;
    }
    if (pos == 1) {
      if (tokenBegin == tokenEnd) {
        pos = 0;  // a lone "(": the next token is the source name
      } else {
        arc.from_id = idFromName(tokenBegin, tokenEnd);
      }
    } else if (pos == 2) {
      if (tokenEnd[-1] == ')') {
        --tokenEnd;
        pos = 3;  // the closing parenthesis was glued to the target name
      }
      arc.to_id = idFromName(tokenBegin, tokenEnd);
    } else if (pos == 3) {
      if (tokenEnd - tokenBegin != 1 || *tokenBegin != ')') return false;
    } else {
      return false;
    }
    ++pos;
  }
  return arc.from_id != -1 && arc.to_id != -1 && pos >= 4;
}

namespace {

// Whether a line is written exactly as the writer writes it (five integers,
// or "( Jf Jt )" with plain names), so that the tolerant reading cannot have
// changed anything; one pass, no parsing. Anything else is looked at closely.
bool plainlyWritten(const char* p, const char* end) {
  auto blanks = [&p, end] {
    const char* start = p;
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    return p != start;
  };
  auto digits = [&p, end] {
    const char* start = p;
    while (p != end && static_cast<unsigned>(*p - '0') < 10) ++p;
    return p - start;
  };
  blanks();
  if (p != end && *p == '(') {
    ++p;
    for (int name = 0; name < 2; ++name) {
      if (!blanks() || p == end || *p != 'J') return false;
      ++p;
      if (p == end || *p < '1' || *p > '9' || digits() > 10) return false;
    }
    if (!blanks() || p == end || *p != ')') return false;
    ++p;
    blanks();
    return p == end;
  }
  for (int value = 0; value < 5; ++value) {
    if (value > 0 && !blanks()) return false;
    if (p != end && *p == '-') ++p;
    const auto length = digits();
    if (length == 0 || length > 10) return false;
  }
  blanks();
  return p == end;
}

}  // namespace

std::string lineOddity(const char* begin, const char* end) {
  while (end != begin && (end[-1] == '\n')) --end;
  if (plainlyWritten(begin, end)) return std::string();
  if (end != begin && end[-1] == '\r')
    return "Windows line ending (CRLF): the carriage return is read as a blank; convert the "
           "file with dos2unix";
  Job job;
  if (parseJobLine(begin, end, job)) {
    const char* p = begin;
    int ignored = 0;
    for (int i = 0; i < 5; ++i) scanInt(p, end, ignored);
    while (p != end && isScanfSpace(*p)) ++p;
    if (p == end) return std::string();
    return "text after the five job values is ignored: '" +
           mcjobs::abbreviate(std::string(p, end)) + "'";
  }
  Arc arc;
  try {
    if (!parseArcLine(begin, end, arc)) return std::string();
  } catch (const CheckError&) {
    return std::string();
  }
  // Every token that holds a name: the tokens that start with 'J' once
  // parentheses are stripped.
  for (const char* p = begin; p != end;) {
    while (p != end && (isArcDelimiter(*p) || *p == '(')) ++p;
    const char* tokenBegin = p;
    while (p != end && !isArcDelimiter(*p)) ++p;
    const char* tokenEnd = p;
    if (tokenEnd != tokenBegin && tokenEnd[-1] == ')') --tokenEnd;
    if (tokenBegin == tokenEnd || *tokenBegin != 'J') continue;
    const bool canonical =
        tokenEnd - tokenBegin >= 2 && tokenBegin[1] >= '1' && tokenBegin[1] <= '9' &&
        std::all_of(tokenBegin + 2, tokenEnd, [](char c) { return c >= '0' && c <= '9'; });
    if (!canonical) {
      const std::string written(tokenBegin, tokenEnd);
      std::string read;
      appendJobName(read, idFromName(tokenBegin, tokenEnd));
      return "job name '" + mcjobs::abbreviate(written) + "' is read as " + read;
    }
  }
  return std::string();
}

void appendInt(std::string& out, long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void appendJobLine(std::string& out, const Job& job) {
  appendInt(out, job.arrival);
  out += ' ';
  appendInt(out, job.deadline);
  out += ' ';
  appendInt(out, job.criticality);
  out += ' ';
  appendInt(out, job.lo_wcet);
  out += ' ';
  appendInt(out, job.hi_wcet);
}

void appendJobName(std::string& out, int id) {
  out += 'J';
  appendInt(out, static_cast<long long>(id) + 1);
}

void appendArcLine(std::string& out, const Arc& arc) {
  out += "( ";
  appendJobName(out, arc.from_id);
  out += ' ';
  appendJobName(out, arc.to_id);
  out += " )";
}

}  // namespace mcjobs_detail
