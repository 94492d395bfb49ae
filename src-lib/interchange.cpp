// The interchange plumbing: format names and extensions, the instance file on
// streams, and the helpers every reader shares (interchange_input.h).
#include "interchange.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "detail/check.h"
#include "explain.h"
#include "detail/instance_graph.h"
#include "detail/instance_text.h"
#include "detail/interchange_input.h"
#include "detail/line_format.h"

namespace mcjobs_detail {

void appendJobAttributes(std::string& out, const Job& job, bool json) {
  const int values[] = {job.arrival, job.deadline, 0, job.lo_wcet, job.hi_wcet};
  const char* const keys[] = {"arrival", "deadline", "criticality", "lo_wcet", "hi_wcet"};
  for (int k = 0; k < 5; ++k) {
    if (k > 0) out += ", ";
    if (json) out += '"';
    out += keys[k];
    out += json ? "\": " : "=";
    if (k != 2)
      appendInt(out, values[k]);
    else if (json)
      out += job.criticality == CRIT_HI ? "\"HI\"" : "\"LO\"";
    else
      out += job.criticality == CRIT_HI ? "HI" : "LO";
  }
}

std::string readAll(std::istream& in, const std::string& name) {
  std::string text;
  // A file says how much is left, which saves growing the text step by step.
  std::streambuf& buffered = *in.rdbuf();
  const std::streampos here = buffered.pubseekoff(0, std::ios::cur, std::ios::in);
  const std::streampos end = buffered.pubseekoff(0, std::ios::end, std::ios::in);
  if (here != std::streampos(-1) && end != std::streampos(-1)) {
    buffered.pubseekpos(here, std::ios::in);
    // A directory claims an end no string can hold; the size is only a hint.
    if (end > here && static_cast<std::uintmax_t>(end - here) < text.max_size() / 2) {
      try {
        text.reserve(static_cast<size_t>(end - here));
      } catch (const std::bad_alloc&) {
      }
    }
  }
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    text.append(buffer, static_cast<size_t>(in.gcount()));
  if (in.bad()) failAt(name, 0, std::string("read error: ") + std::strerror(errno ? errno : EIO));
  return text;
}

std::string readInput(std::istream& in, const std::string& name) {
  std::string text = readAll(in, name);
  // A BOM would otherwise meet each format's parser as an odd first word.
  if (text.compare(0, 3, kByteOrderMark) == 0) failAt(name, 1, kBomWords);
  return text;
}

void failAt(const std::string& name, long line, const std::string& text) {
  CheckError failure(text);
  failure.setInput(name, line);
  throw failure;
}

bool parseInteger(const char* begin, const char* end, std::int64_t& value) {
  const bool negative = begin < end && *begin == '-';
  if (negative) ++begin;
  if (begin == end) return false;
  std::uint64_t magnitude = 0;
  for (const char* at = begin; at < end; ++at) {
    if (*at < '0' || *at > '9') return false;
    if (magnitude > (static_cast<std::uint64_t>(INT64_MAX) + 1 - (*at - '0')) / 10) return false;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(*at - '0');
  }
  if (!negative && magnitude > static_cast<std::uint64_t>(INT64_MAX)) return false;
  value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

bool isIntegerText(const char* begin, const char* end) {
  if (begin < end && *begin == '-') ++begin;
  return begin < end && std::all_of(begin, end, [](char c) { return c >= '0' && c <= '9'; });
}

bool TextLines::next(const char*& begin, const char*& end) {
  if (mAt >= mText.size()) return false;
  begin = mText.data() + mAt;
  const size_t newline = mText.find('\n', mAt);
  const size_t stop = newline == std::string::npos ? mText.size() : newline;
  end = mText.data() + stop;
  if (end > begin && end[-1] == '\r') --end;
  mAt = stop + 1;
  ++mNumber;
  return true;
}

namespace {

// The renumbered nodes a warning lists before it only counts them.
constexpr size_t kRenumberedShown = 5;

// A label that names a job: J followed by a positive number without leading
// zeros, or with `integerIds` any integer (0 for J1).
bool namesJob(const std::string& label, bool integerIds) {
  if (integerIds) return true;
  return label.size() > 1 && label[0] == 'J' && label[1] >= '1' && label[1] <= '9' &&
         isIntegerText(label.data() + 1, label.data() + label.size());
}

// The 0-based job id a label names; -1 for one beyond every id (too large to read).
std::int64_t namedId(const std::string& label, bool integerIds) {
  std::int64_t number = 0;
  const char* const digits = label.data() + (integerIds ? 0 : 1);
  if (!parseInteger(digits, label.data() + label.size(), number)) return -1;
  if (integerIds) return number >= 0 ? number : -1;
  return number - 1;
}

std::string renumberingWords(const std::vector<std::string>& labels, bool integerIds,
                             const std::vector<size_t>& renumbered) {
  const std::string last = std::to_string(labels.size() - 1 + (integerIds ? 0 : 1));
  std::string words = std::string("node ids are not ") + (integerIds ? "0.." : "J1..J") + last +
                      ": numbered in the order given";
  for (size_t k = 0; k < renumbered.size() && k < kRenumberedShown; ++k) {
    const size_t at = renumbered[k];
    words += ", " + labels[at] + " -> ";
    appendJobName(words, static_cast<int>(at));
  }
  if (renumbered.size() > kRenumberedShown)
    words += ", ... (" + std::to_string(renumbered.size()) + " in all)";
  return words;
}

}  // namespace

JobNumbering numberJobs(const std::vector<std::string>& labels, bool integerIds) {
  const size_t count = labels.size();
  JobNumbering numbering;
  numbering.order.assign(count, -1);
  bool byId = true;
  std::vector<size_t> renumbered;
  for (size_t k = 0; k < count; ++k) {
    if (!namesJob(labels[k], integerIds)) {
      byId = false;
      continue;
    }
    const std::int64_t id = namedId(labels[k], integerIds);
    if (id != static_cast<std::int64_t>(k)) renumbered.push_back(k);
    const bool free = id >= 0 && static_cast<std::uint64_t>(id) < count &&
                      numbering.order[static_cast<size_t>(id)] < 0;
    if (byId && free) numbering.order[static_cast<size_t>(id)] = static_cast<int>(k);
    byId = byId && free;
  }
  if (byId) return numbering;
  for (size_t k = 0; k < count; ++k) numbering.order[k] = static_cast<int>(k);
  if (!renumbered.empty()) {
    numbering.renumbering = renumberingWords(labels, integerIds, renumbered);
    numbering.firstRenumbered = static_cast<int>(renumbered.front());
  }
  return numbering;
}

std::vector<int> jobOrder(const std::vector<std::string>& labels) {
  return numberJobs(labels, false).order;
}

void InstanceBuilder::addJob(Job job, const std::string& label, long line) {
  try {
    mInstance.insert(job);
  } catch (CheckError& failure) {
    job.id = NO_JOB_ID;  // named by the input's label instead
    failure.setExplanation((mNoun.empty() ? label : mNoun + " " + label) + ": " +
                           mcjobs::explainJobCheck(failure.condition(), job));
    failure.setInput(mName, line);
    throw;
  }
  mLabels.push_back(label);
}

void InstanceBuilder::addArc(int from, int to, long line) {
  mArcs.emplace_back(from, to);
  mArcLines.push_back(line);
}

JobInstance InstanceBuilder::finish() {
  if (!mArcs.empty()) {
    const long cyclic = InstanceAccess::insertArcs(mInstance, mArcs);
    if (cyclic >= 0) {
      const Arc& arc = mArcs[static_cast<size_t>(cyclic)];
      const std::string& from = mLabels[static_cast<size_t>(arc.from_id)];
      const std::string& to = mLabels[static_cast<size_t>(arc.to_id)];
      CheckError failure("Cyclic path in task graph!", __FILE__, __LINE__);
      failure.setExplanation(arc.from_id == arc.to_id
                                 ? from + " -> " + to + " makes a job precede itself"
                                 : from + " -> " + to + " would close a cycle: " + to +
                                       " already precedes " + from);
      failure.setInput(mName, mArcLines[static_cast<size_t>(cyclic)]);
      throw failure;
    }
  }
  return std::move(mInstance);
}

}  // namespace mcjobs_detail

namespace mcjobs {

namespace {

// The words the options and the command line use for each value.
template <typename Value>
struct Word {
  Value value;
  const char* name;
};

template <typename Value, size_t N>
bool fromWord(const Word<Value> (&words)[N], const std::string& name, Value& value) {
  for (const Word<Value>& word : words)
    if (name == word.name) {
      value = word.value;
      return true;
    }
  return false;
}

const Word<Format> kFormats[] = {{Format::kNative, "native"},
                                 {Format::kJson, "json"},
                                 {Format::kDot, "dot"},
                                 {Format::kStg, "stg"},
                                 {Format::kNptest, "nptest"},
                                 {Format::kMcdag, "mcdag"}};
const Word<NptestPriority> kPriorities[] = {
    {NptestPriority::kDeadline, "edf"}, {NptestPriority::kAlap, "alap"}, {NptestPriority::kId, "id"}};
const Word<NptestRelease> kReleases[] = {
    {NptestRelease::kExact, "exact"}, {NptestRelease::kMin, "min"}, {NptestRelease::kMax, "max"}};

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

const char* formatName(Format format) {
  for (const Word<Format>& word : kFormats)
    if (word.value == format) return word.name;
  return "native";
}

bool formatFromName(const std::string& name, Format& format) {
  return fromWord(kFormats, name, format);
}

bool nptestPriorityFromName(const std::string& name, NptestPriority& priority) {
  return fromWord(kPriorities, name, priority);
}

bool nptestReleaseFromName(const std::string& name, NptestRelease& release) {
  return fromWord(kReleases, name, release);
}

bool formatFromPath(const std::string& path, Format& format) {
  struct Extension {
    const char* tail;
    Format format;
  };
  static const Extension extensions[] = {{".txt", Format::kNative}, {".json", Format::kJson},
                                         {".dot", Format::kDot},    {".gv", Format::kDot},
                                         {".stg", Format::kStg},    {".csv", Format::kNptest},
                                         {".xml", Format::kMcdag}};
  for (const Extension& extension : extensions)
    if (endsWith(path, extension.tail)) {
      format = extension.format;
      return true;
    }
  return false;
}

JobInstance readNative(std::istream& in, const std::string& name) {
  std::string text = mcjobs_detail::readAll(in, name);
  JobInstance instance;
  if (text.empty()) return instance;
  std::unique_ptr<FILE, int (*)(FILE*)> stream(::fmemopen(&text[0], text.size(), "r"),
                                               &std::fclose);
  if (!stream) mcjobs_detail::failAt(name, 0, std::string("cannot read: ") + std::strerror(errno));
  mcjobs_detail::readBody(stream.get(), instance, name);
  return instance;
}

std::string writeNative(JobInstance& instance) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = ::open_memstream(&buffer, &size);
  if (stream == nullptr)
    MCJOBS_FAIL(std::string("cannot write to memory: ") + std::strerror(errno));
  const bool ok = mcjobs_detail::writeBody(stream, instance);
  std::fclose(stream);
  std::string text(buffer == nullptr ? "" : buffer, size);
  std::free(buffer);
  MCJOBS_CHECK(ok, "cannot write to memory");
  return text;
}

std::string nptestPrecedencePath(const std::string& jobsPath) {
  if (endsWith(jobsPath, ".csv")) return jobsPath.substr(0, jobsPath.size() - 4) + ".prec.csv";
  return jobsPath + ".prec.csv";
}

}  // namespace mcjobs
