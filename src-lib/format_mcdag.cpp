// The system files of the MC-DAG framework, read only: periodic DAGs of actors
// with a LO and a HI budget, unrolled over the hyperperiod into one job set.
// pugixml parses the XML; this file walks the tree and refuses what a job set
// cannot express, at the line of the element that says it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "detail/check.h"
#include "detail/instance_graph.h"
#include "detail/interchange_input.h"
#include "detail/size_limits.h"
#include "explain.h"
#include "interchange.h"

namespace mcjobs {
namespace {

using mcjobs_detail::failAt;

// The generator's limits, for the same reason: a mistyped period should fail, not swap.
constexpr mcjobs_detail::McdagLimits kGeneratorLimits = {mcjobs_detail::kMostJobs,
                                                         mcjobs_detail::kMostArcs};

const char* const kLevelWords[] = {"LO", "HI"};

std::string counted(long long count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// pugixml locates nodes and errors by byte offset; a person wants the line.
class LineIndex {
 public:
  explicit LineIndex(const std::string& text) : mLast(text.empty() ? 0 : text.size() - 1) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
      mNewlines.push_back(at);
  }
  long lineOf(std::ptrdiff_t offset) const {
    if (offset < 0) return 0;
    // The end of the text, where a missing element is noticed, is on its last line.
    const size_t at = std::min(static_cast<size_t>(offset), mLast);
    const auto before = std::lower_bound(mNewlines.begin(), mNewlines.end(), at);
    return 1 + static_cast<long>(before - mNewlines.begin());
  }

 private:
  size_t mLast;
  std::vector<size_t> mNewlines;
};

bool isElement(const pugi::xml_node& node, const char* name) {
  return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

std::string trimmed(const char* text) {
  const char* begin = text;
  const char* end = text + std::strlen(text);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (begin < end && blank(*begin)) ++begin;
  while (end > begin && blank(end[-1])) --end;
  return std::string(begin, end);
}

// An integer written whole; one beyond 64 bits saturates, so that the range checks refuse it
// in their own words. False for any other text.
bool integerValue(const std::string& text, std::int64_t& value) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  if (mcjobs_detail::parseInteger(begin, end, value)) return true;
  if (!mcjobs_detail::isIntegerText(begin, end)) return false;
  value = text[0] == '-' ? INT64_MIN : INT64_MAX;
  return true;
}

// Every <port> inside `dag`, in document order, whatever elements wrap it.
template <typename Visit>
void forEachPort(const pugi::xml_node& dag, Visit visit) {
  pugi::xml_node node = dag.first_child();
  while (node) {
    if (isElement(node, "port")) visit(node);
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != dag && !node.next_sibling()) node = node.parent();
    node = node == dag ? pugi::xml_node() : node.next_sibling();
  }
}

struct Actor {
  std::string name;  // as messages show it
  long line = 0;
  Job job;
};

// One DAG of the system: its actors as the jobs of instance 0 (window [0, period]) and its
// arcs, which the later instances repeat shifted by the period.
struct Dag {
  std::string name;
  long line = 0;
  int period = 0;
  std::vector<Job> jobs;
  std::vector<Arc> arcs;
};

class McdagReader {
 public:
  McdagReader(const std::string& text, const std::string& name,
              const mcjobs_detail::McdagLimits& limits)
      : mText(text), mName(name), mLimits(limits), mLines(text) {}

  JobInstance read(int* cores) {
    const pugi::xml_node root = parse();
    for (const pugi::xml_node& child : root.children()) {
      if (isElement(child, "mcdag"))
        mDags.push_back(readDag(child));
      else if (isElement(child, "cores"))
        readCores(child);
    }
    JobInstance system = unroll();
    if (cores != nullptr) *cores = mCores;
    return system;
  }

 private:
  long lineOf(const pugi::xml_node& node) const { return mLines.lineOf(node.offset_debug()); }

  [[noreturn]] void fail(const pugi::xml_node& node, const std::string& what) const {
    failAt(mName, lineOf(node), "MC-DAG: " + what);
  }

  pugi::xml_node parse() {
    const pugi::xml_parse_result parsed =
        mDocument.load_buffer(mText.data(), mText.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed)
      failAt(mName, mLines.lineOf(parsed.offset),
             std::string("MC-DAG: not well-formed XML: ") + parsed.description());
    const pugi::xml_node root = mDocument.document_element();
    for (pugi::xml_node other = root.next_sibling(); other; other = other.next_sibling())
      if (other.type() == pugi::node_element)
        fail(other, "a second root element <" + mcjobs::abbreviate(other.name()) +
                        ">; the file holds one <mcsystem>");
    if (!isElement(root, "mcsystem"))
      fail(root, "the root element is <" + mcjobs::abbreviate(root.name()) + ">, not <mcsystem>");
    return root;
  }

  // The value of an attribute that must be there and not be empty.
  std::string required(const pugi::xml_node& node, const char* attribute,
                       const std::string& owner) const {
    const std::string value = node.attribute(attribute).value();
    if (value.empty()) fail(node, owner + " has no " + attribute);
    return value;
  }

  void readCores(const pugi::xml_node& node) {
    if (mCores > 0)
      fail(node, "a second <cores> (the first is on line " + std::to_string(mCoresLine) + ")");
    const std::string text = trimmed(required(node, "number", "<cores>").c_str());
    std::int64_t value = 0;
    if (!integerValue(text, value) || value < 1 || value > INT32_MAX)
      fail(node, "<cores number=\"" + mcjobs::abbreviate(text) +
                     "\"> is not a processor count in 1..2147483647");
    mCores = static_cast<int>(value);
    mCoresLine = lineOf(node);
  }

  int readPeriod(const pugi::xml_node& node, const std::string& dag) const {
    const std::string text = trimmed(required(node, "deadline", "DAG " + dag).c_str());
    std::int64_t value = 0;
    if (!integerValue(text, value))
      fail(node, "DAG " + dag + ": deadline '" + mcjobs::abbreviate(text) + "' is not an integer");
    if (value < 1) fail(node, "DAG " + dag + ": deadline " + text + " is below 1");
    if (value > INT32_MAX)
      fail(node, "DAG " + dag + ": deadline " + text +
                     " is beyond 2147483647, the latest time of a job set");
    return static_cast<int>(value);
  }

  Dag readDag(const pugi::xml_node& node) {
    Dag dag;
    dag.line = lineOf(node);
    dag.name = mcjobs::abbreviate(required(node, "name", "an <mcdag>"));
    dag.period = readPeriod(node, dag.name);
    mcjobs_detail::InstanceBuilder builder(mName, "actor");
    std::unordered_map<std::string, int> index;
    std::vector<long> lines;
    for (const pugi::xml_node& child : node.children("actor")) {
      const Actor actor = readActor(child, dag);
      const auto added = index.emplace(child.attribute("name").value(), builder.jobs());
      if (!added.second)
        fail(child, "DAG " + dag.name + ": a second actor named " + actor.name +
                        " (the first is on line " +
                        std::to_string(lines[static_cast<size_t>(added.first->second)]) + ")");
      builder.addJob(actor.job, actor.name, actor.line);
      lines.push_back(actor.line);
    }
    forEachPort(node, [&](const pugi::xml_node& port) {
      const int from = portEnd(port, "srcActor", index, dag);
      const int to = portEnd(port, "dstActor", index, dag);
      builder.addArc(from, to, lineOf(port));
      dag.arcs.emplace_back(from, to);
    });
    // The builder names the actors of an arc that closes a cycle, at the port's line.
    JobInstance firstInstance = builder.finish();
    dag.jobs.assign(firstInstance.begin(), firstInstance.end());
    return dag;
  }

  int portEnd(const pugi::xml_node& port, const char* attribute,
              const std::unordered_map<std::string, int>& index, const Dag& dag) const {
    const std::string actor = required(port, attribute, "a <port>");
    const auto found = index.find(actor);
    if (found == index.end())
      fail(port, "port " + mcjobs::abbreviate(port.attribute("srcActor").value()) + " -> " +
                     mcjobs::abbreviate(port.attribute("dstActor").value()) + ": DAG " + dag.name +
                     " has no actor " + mcjobs::abbreviate(actor));
    return found->second;
  }

  Actor readActor(const pugi::xml_node& node, const Dag& dag) const {
    Actor actor;
    actor.line = lineOf(node);
    actor.name = mcjobs::abbreviate(required(node, "name", "an <actor>"));
    pugi::xml_node budgets[2];
    for (const pugi::xml_node& wcet : node.children("wcet")) {
      const int level = budgetLevel(wcet, actor);
      if (budgets[level])
        fail(wcet, "actor " + actor.name + ": a second " + kLevelWords[level] +
                       " budget (the first is on line " + std::to_string(lineOf(budgets[level])) +
                       ")");
      budgets[level] = wcet;
    }
    if (!budgets[0]) fail(node, "actor " + actor.name + " has no LO budget <wcet number=\"0\">");
    const int lo = budget(budgets[0], actor, dag, 0);
    const int hi = budgets[1] ? budget(budgets[1], actor, dag, lo) : 0;
    actor.job.arrival = 0;
    actor.job.deadline = dag.period;
    actor.job.criticality = hi > 0 ? CRIT_HI : CRIT_LO;
    actor.job.lo_wcet = lo;
    actor.job.hi_wcet = hi > 0 ? hi : lo;
    return actor;
  }

  // 0 for LO, 1 for HI: what <wcet number="..."> says.
  int budgetLevel(const pugi::xml_node& wcet, const Actor& actor) const {
    const std::string text =
        trimmed(required(wcet, "number", "a <wcet> of actor " + actor.name).c_str());
    std::int64_t level = -1;
    if (integerValue(text, level) && level >= 2)
      fail(wcet, "actor " + actor.name + ": a budget of level " + text +
                     "; only two levels can be expressed, 0 (LO) and 1 (HI)");
    if (level != 0 && level != 1)
      fail(wcet, "actor " + actor.name + ": <wcet number=\"" + mcjobs::abbreviate(text) +
                     "\"> names no level; 0 is LO, 1 is HI");
    return static_cast<int>(level);
  }

  // A budget within the period: the LO one (`lo` 0) at least 1, the HI one 0 (a LO actor)
  // or at least `lo`.
  int budget(const pugi::xml_node& wcet, const Actor& actor, const Dag& dag, int lo) const {
    const char* const level = kLevelWords[lo > 0 ? 1 : 0];
    const std::string text = trimmed(wcet.text().get());
    const std::string what = "actor " + actor.name + ": " + level + " budget ";
    std::int64_t value = 0;
    if (!integerValue(text, value))
      fail(wcet, what + "'" + mcjobs::abbreviate(text) + "' is not an integer");
    if (lo == 0 && value < 1) fail(wcet, what + text + " is below 1");
    if (lo > 0 && value != 0 && value < lo)
      fail(wcet, what + text + " is below its LO budget " + std::to_string(lo) +
                     " (a HI budget of 0 marks a LO actor)");
    if (value > dag.period)
      fail(wcet, what + text + " is beyond the period " + std::to_string(dag.period) + " of DAG " +
                     dag.name);
    return static_cast<int>(value);
  }

  // The least common multiple of the periods, refused at the DAG that takes it beyond the
  // 32-bit times.
  std::int64_t hyperperiod() const {
    std::int64_t lcm = 1;
    for (const Dag& dag : mDags) {
      lcm = lcm / std::gcd(lcm, static_cast<std::int64_t>(dag.period)) * dag.period;
      if (lcm > INT32_MAX)
        failAt(mName, dag.line,
               "MC-DAG: DAG " + dag.name + ": the hyperperiod (the least common multiple of " +
                   "the deadlines) goes beyond 2147483647, the latest time of a job set");
    }
    return lcm;
  }

  // Refuses a system whose jobs or arcs over the hyperperiod exceed the limits, at the DAG
  // that takes them beyond.
  void checkSize(std::int64_t hyperperiod) const {
    long long jobs = 0, arcs = 0;
    for (const Dag& dag : mDags) {
      const long long instances = hyperperiod / dag.period;
      const long long actors = static_cast<long long>(dag.jobs.size());
      const long long ports = static_cast<long long>(dag.arcs.size());
      jobs += instances * actors;
      arcs += instances * ports;
      const std::string instancesOf =
          "DAG " + dag.name + ": " + counted(instances, "instance") + " of ";
      const std::string span =
          " over the hyperperiod " + std::to_string(hyperperiod) + " bring the system to ";
      if (jobs > mLimits.jobs)
        failAt(mName, dag.line,
               "MC-DAG: " + instancesOf + counted(actors, "actor") + span + std::to_string(jobs) +
                   " jobs, more than the " + std::to_string(mLimits.jobs) + " a job set may hold");
      if (arcs > mLimits.arcs)
        failAt(mName, dag.line,
               "MC-DAG: " + instancesOf + counted(ports, "port") + span + std::to_string(arcs) +
                   " arcs, more than the " + std::to_string(mLimits.arcs) + " a job set may hold");
    }
  }

  JobInstance unroll() const {
    const std::int64_t span = hyperperiod();
    checkSize(span);
    JobInstance system;
    std::vector<Arc> arcs;
    for (const Dag& dag : mDags) {
      for (std::int64_t release = 0; release < span; release += dag.period) {
        const int first = system.numJobs();
        for (Job job : dag.jobs) {
          job.arrival = static_cast<int>(release);
          job.deadline = static_cast<int>(release + dag.period);
          system.insert(job);
        }
        for (const Arc& arc : dag.arcs) arcs.emplace_back(first + arc.from_id, first + arc.to_id);
      }
    }
    // Each instance repeats arcs that formed no cycle in instance 0.
    MCJOBS_CHECK(mcjobs_detail::InstanceAccess::insertArcs(system, arcs) < 0,
                 "unrolled MC-DAG arcs form no cycle");
    return system;
  }

  const std::string& mText;
  const std::string& mName;
  const mcjobs_detail::McdagLimits mLimits;
  LineIndex mLines;
  pugi::xml_document mDocument;
  std::vector<Dag> mDags;
  int mCores = 0;
  long mCoresLine = 0;
};

}  // namespace

JobInstance readMcdag(std::istream& in, const std::string& name, int* cores) {
  return mcjobs_detail::readMcdag(in, name, cores, kGeneratorLimits);
}

}  // namespace mcjobs

namespace mcjobs_detail {

JobInstance readMcdag(std::istream& in, const std::string& name, int* cores,
                      const McdagLimits& limits) {
  const std::string text = readInput(in, name);
  return mcjobs::McdagReader(text, name, limits).read(cores);
}

}  // namespace mcjobs_detail
