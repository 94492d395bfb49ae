// NetworkX node-link JSON: a small JSON reader of our own that keeps the line
// of every value for its errors, the node-link mapping onto a JobInstance,
// and the writer.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "detail/instance_graph.h"
#include "interchange.h"
#include "detail/interchange_input.h"
#include "detail/line_format.h"

namespace mcjobs {
namespace {

using mcjobs_detail::failAt;

struct Value {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  long line = 0;
  bool boolean = false;
  std::string text;  // a string's characters, or a number as written
  std::vector<Value> items;
  std::vector<std::pair<std::string, Value>> members;

  const Value* member(const char* key) const {
    for (const auto& entry : members)
      if (entry.first == key) return &entry.second;
    return nullptr;
  }
};

const char* kindName(Value::Kind kind) {
  static const char* const names[] = {"null",     "a boolean", "a number",
                                      "a string", "an array",  "an object"};
  return names[kind];
}

// Receives the elements of the document's top-level "nodes", "links" and
// "edges" arrays one by one, so that a large graph is never held as values.
using ElementSink = std::function<void(const std::string& key, Value&& element)>;

class Parser {
 public:
  Parser(const std::string& text, const std::string& name, ElementSink sink)
      : mText(text), mName(name), mSink(std::move(sink)) {}

  Value document() {
    Value root = value(0);
    skipSpace();
    if (mAt < mText.size()) fail("text after the end of the document");
    return root;
  }

 private:
  static constexpr int kMaxDepth = 200;

  [[noreturn]] void fail(const std::string& what) const { failAt(mName, mLine, "JSON: " + what); }

  void skipSpace() {
    for (; mAt < mText.size(); ++mAt) {
      const char c = mText[mAt];
      if (c == '\n')
        ++mLine;
      else if (c != ' ' && c != '\t' && c != '\r')
        break;
    }
  }

  Value value(int depth) {
    if (depth > kMaxDepth)
      fail("values nested deeper than " + std::to_string(kMaxDepth) + " levels");
    skipSpace();
    if (mAt >= mText.size()) fail("the document ends where a value should be");
    Value result;
    result.line = mLine;
    const char c = mText[mAt];
    if (c == '{') {
      result.kind = Value::Object;
      ++mAt;
      if (!closes('}')) do {
          skipSpace();
          if (mAt >= mText.size() || mText[mAt] != '"') fail("expected a member name in quotes");
          const long keyLine = mLine;
          std::string key = string();
          for (const auto& entry : result.members)
            if (entry.first == key)
              failAt(mName, keyLine, "JSON: duplicate member \"" + key + "\"");
          expect(':');
          skipSpace();
          if (depth == 0 && (key == "nodes" || key == "links" || key == "edges") &&
              mAt < mText.size() && mText[mAt] == '[') {
            Value streamed;
            streamed.kind = Value::Array;
            streamed.line = mLine;
            ++mAt;
            if (!closes(']')) do
                mSink(key, value(depth + 2));
              while (separated(']'));
            result.members.emplace_back(std::move(key), std::move(streamed));
            continue;
          }
          result.members.emplace_back(std::move(key), value(depth + 1));
        } while (separated('}'));
    } else if (c == '[') {
      result.kind = Value::Array;
      ++mAt;
      if (!closes(']')) do
          result.items.push_back(value(depth + 1));
        while (separated(']'));
    } else if (c == '"') {
      result.kind = Value::String;
      result.text = string();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      result.kind = Value::Number;
      result.text = number();
    } else if (word("true")) {
      result.kind = Value::Bool;
      result.boolean = true;
    } else if (word("false")) {
      result.kind = Value::Bool;
    } else if (!word("null")) {
      fail(std::string("unexpected character '") + c + "'");
    }
    return result;
  }

  // After an opening bracket: consumes the closing one when the container is empty.
  bool closes(char close) {
    skipSpace();
    if (mAt < mText.size() && mText[mAt] == close) {
      ++mAt;
      return true;
    }
    return false;
  }

  // After an element: true for a comma, false for the closing bracket.
  bool separated(char close) {
    skipSpace();
    if (mAt < mText.size() && mText[mAt] == ',') {
      ++mAt;
      return true;
    }
    if (mAt < mText.size() && mText[mAt] == close) {
      ++mAt;
      return false;
    }
    fail(std::string("expected ',' or '") + close + "'");
  }

  void expect(char c) {
    skipSpace();
    if (mAt >= mText.size() || mText[mAt] != c) fail(std::string("expected '") + c + "'");
    ++mAt;
  }

  bool word(const char* literal) {
    const size_t length = std::char_traits<char>::length(literal);
    if (mText.compare(mAt, length, literal) != 0) return false;
    mAt += length;
    return true;
  }

  std::string number() {
    const size_t start = mAt;
    auto digits = [&] {
      const size_t first = mAt;
      while (mAt < mText.size() && mText[mAt] >= '0' && mText[mAt] <= '9') ++mAt;
      return mAt > first;
    };
    if (mText[mAt] == '-') ++mAt;
    const size_t intStart = mAt;
    if (!digits()) fail("a number needs digits");
    if (mText[intStart] == '0' && mAt - intStart > 1) fail("a number cannot start with 0");
    if (mAt < mText.size() && mText[mAt] == '.') {
      ++mAt;
      if (!digits()) fail("a number needs digits after '.'");
    }
    if (mAt < mText.size() && (mText[mAt] == 'e' || mText[mAt] == 'E')) {
      ++mAt;
      if (mAt < mText.size() && (mText[mAt] == '+' || mText[mAt] == '-')) ++mAt;
      if (!digits()) fail("a number needs digits in its exponent");
    }
    return mText.substr(start, mAt - start);
  }

  unsigned hex4() {
    if (mAt + 4 > mText.size()) fail("\\u needs four hex digits");
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = mText[mAt++];
      code <<= 4;
      if (c >= '0' && c <= '9')
        code |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        code |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        code |= static_cast<unsigned>(c - 'A' + 10);
      else
        fail("\\u needs four hex digits");
    }
    return code;
  }

  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string string() {
    ++mAt;  // the opening quote
    std::string out;
    for (;;) {
      if (mAt >= mText.size()) fail("unterminated string");
      const char c = mText[mAt++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (mAt >= mText.size()) fail("unterminated string");
      const char escape = mText[mAt++];
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          out += escape;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned code = hex4();
          if (code >= 0xD800 && code < 0xDC00) {
            if (mText.compare(mAt, 2, "\\u") != 0) fail("unpaired surrogate in \\u escape");
            mAt += 2;
            const unsigned low = hex4();
            if (low < 0xDC00 || low >= 0xE000) fail("unpaired surrogate in \\u escape");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            fail("unpaired surrogate in \\u escape");
          }
          appendUtf8(out, code);
          break;
        }
        default:
          fail(std::string("unknown escape '\\") + escape + "'");
      }
    }
  }

  const std::string& mText;
  const std::string& mName;
  ElementSink mSink;
  size_t mAt = 0;
  long mLine = 1;
};

// The node-link layout: each node becomes a job as it is parsed, and the
// links are resolved once every node is known.
class NodeLinkReader {
 public:
  NodeLinkReader(const std::string& name, const InterchangeOptions& options,
                 std::vector<std::string>* warnings)
      : mName(name), mOptions(options), mWarnings(warnings) {}

  void element(const std::string& key, Value&& element) {
    if (key == "nodes")
      addNode(element);
    else
      addLink(key, element);
  }

  JobInstance read(const Value& root) {
    if (root.kind != Value::Object) fail(root, "the document must be an object (node-link layout)");
    if (const Value* directed = root.member("directed"))
      if (directed->kind == Value::Bool && !directed->boolean)
        fail(*directed, "\"directed\" is false; precedence needs a directed graph");
    const Value* nodes = root.member("nodes");
    if (nodes == nullptr) fail(root, "no \"nodes\" member");
    if (nodes->kind != Value::Array) fail(*nodes, "\"nodes\" must be an array");
    const Value* links = root.member("links");
    const Value* edges = root.member("edges");
    if (links != nullptr && edges != nullptr)
      fail(*edges, "both \"links\" and \"edges\" are given");
    if (links == nullptr) links = edges;
    if (links != nullptr && links->kind != Value::Array) fail(*links, "the links must be an array");

    mcjobs_detail::InstanceBuilder builder(mName, "node");
    std::unordered_map<std::string, int> ids;
    for (int k : numbering().order) {
      const PendingNode& node = mNodes[static_cast<size_t>(k)];
      if (!ids.emplace(node.label, builder.jobs()).second)
        failAt(mName, node.idLine, "JSON: duplicate node id \"" + node.label + "\"");
      builder.addJob(node.job, node.label, node.line);
    }
    for (const PendingLink& link : mLinks) {
      int ends[2];
      for (int k = 0; k < 2; ++k) {
        const auto found = ids.find(link.ends[k]);
        if (found == ids.end())
          failAt(mName, link.endLines[k],
                 std::string("JSON: link ") + kEndKeys[k] + " \"" + link.ends[k] + "\" is no node");
        ends[k] = found->second;
      }
      builder.addArc(ends[0], ends[1], link.line);
    }
    return builder.finish();
  }

 private:
  static constexpr const char* kEndKeys[2] = {"source", "target"};

  struct PendingNode {
    std::string label;
    bool integerId;
    long idLine, line;
    Job job;
  };
  struct PendingLink {
    std::string ends[2];
    long endLines[2];
    long line;
  };

  [[noreturn]] void fail(const Value& at, const std::string& what) const {
    failAt(mName, at.line, "JSON: " + what);
  }

  // A node id as text: strings as they are, integers in decimal (so -0 is 0).
  std::string idText(const Value& id, const char* what) const {
    std::int64_t number;
    if (id.kind == Value::String) return id.text;
    if (id.kind == Value::Number &&
        mcjobs_detail::parseInteger(id.text.data(), id.text.data() + id.text.size(), number))
      return std::to_string(number);
    fail(id, std::string(what) + " must be a string or an integer, not " + kindName(id.kind));
  }

  static std::string shownId(const PendingNode& node) {
    return node.integerId ? node.label : '"' + node.label + '"';
  }

  // Ids are all integers (0 is J1) or all strings: an integer among names
  // could name a job one of them names too.
  mcjobs_detail::JobNumbering numbering() const {
    std::vector<std::string> labels;
    for (const PendingNode& node : mNodes) {
      if (node.integerId != mNodes.front().integerId)
        failAt(mName, node.idLine,
               "JSON: node ids are all integers or all strings, not a mix such as " +
                   shownId(mNodes.front()) + " and " + shownId(node));
      labels.push_back(node.label);
    }
    mcjobs_detail::JobNumbering numbering =
        mcjobs_detail::numberJobs(labels, !mNodes.empty() && mNodes.front().integerId);
    if (mWarnings != nullptr && !numbering.renumbering.empty())
      mWarnings->push_back(
          mName + ":" +
          std::to_string(mNodes[static_cast<size_t>(numbering.firstRenumbered)].idLine) +
          ": warning: " + numbering.renumbering);
    return numbering;
  }

  bool field(const Value& node, const std::string& label, const char* key, int& out) const {
    const Value* value = node.member(key);
    if (value == nullptr) return false;
    std::int64_t number = 0;
    const char* const begin = value->text.data();
    const char* const end = begin + value->text.size();
    const bool parsed =
        value->kind == Value::Number && mcjobs_detail::parseInteger(begin, end, number);
    if (!parsed && (value->kind != Value::Number || !mcjobs_detail::isIntegerText(begin, end)))
      fail(*value, "node " + label + ": \"" + key + "\" must be an integer");
    if (!parsed || !mcjobs_detail::fitsInt32(number))
      fail(*value,
           "node " + label + ": \"" + key + "\" = " + value->text + " is outside the 32-bit range");
    out = static_cast<int>(number);
    return true;
  }

  // Our own documents say "LO" and "HI", the NetworkX graphs of ours 1 and 2; 0 for anything else.
  static int criticalityOf(const Value& value) {
    const bool word = value.kind == Value::String, number = value.kind == Value::Number;
    if ((word && value.text == "LO") || (number && value.text == "1")) return CRIT_LO;
    if ((word && value.text == "HI") || (number && value.text == "2")) return CRIT_HI;
    return 0;
  }

  void addNode(const Value& node) {
    if (node.kind != Value::Object) fail(node, "a node must be an object");
    const Value* id = node.member("id");
    if (id == nullptr) fail(node, "a node without \"id\"");
    const std::string label = idText(*id, "a node id");
    Job job;
    job.criticality = CRIT_LO;
    if (const Value* crit = node.member("criticality")) {
      job.criticality = criticalityOf(*crit);
      if (job.criticality == 0)
        fail(*crit, "node " + label + ": \"criticality\" must be 1, 2, \"LO\" or \"HI\"");
    }
    const bool hasArrival = field(node, label, "arrival", job.arrival);
    const bool hasDeadline = field(node, label, "deadline", job.deadline);
    if (!hasArrival || !hasDeadline) {
      if (!mOptions.hasDefaultWindow)
        fail(node, "node " + label + " has no \"" + (hasArrival ? "deadline" : "arrival") +
                       "\" and no default window is given");
      if (!hasArrival) job.arrival = mOptions.defaultArrival;
      if (!hasDeadline) job.deadline = mOptions.defaultDeadline;
    }
    if (!field(node, label, "lo_wcet", job.lo_wcet)) {
      if (mOptions.defaultWcet <= 0)
        fail(node, "node " + label + " has no \"lo_wcet\" and no default budget is given");
      job.lo_wcet = mOptions.defaultWcet;
    }
    if (!field(node, label, "hi_wcet", job.hi_wcet)) job.hi_wcet = job.lo_wcet;
    mNodes.push_back({label, id->kind == Value::Number, id->line, node.line, job});
  }

  void addLink(const std::string& key, const Value& link) {
    if (link.kind != Value::Object) fail(link, "a link in \"" + key + "\" must be an object");
    PendingLink pending;
    for (int k = 0; k < 2; ++k) {
      const Value* end = link.member(kEndKeys[k]);
      if (end == nullptr) fail(link, std::string("a link without \"") + kEndKeys[k] + "\"");
      pending.ends[k] = idText(*end, kEndKeys[k]);
      pending.endLines[k] = end->line;
    }
    pending.line = link.line;
    mLinks.push_back(std::move(pending));
  }

  const std::string& mName;
  const InterchangeOptions& mOptions;
  std::vector<std::string>* mWarnings;
  std::vector<PendingNode> mNodes;
  std::vector<PendingLink> mLinks;
};

}  // namespace

JobInstance readJson(std::istream& in, const std::string& name, const InterchangeOptions& options,
                     std::vector<std::string>* warnings) {
  const std::string text = mcjobs_detail::readInput(in, name);
  NodeLinkReader reader(name, options, warnings);
  const Value root = Parser(text, name, [&reader](const std::string& key, Value&& element) {
                       reader.element(key, std::move(element));
                     }).document();
  return reader.read(root);
}

std::string writeJson(JobInstance& instance) {
  using mcjobs_detail::appendJobName;
  std::string out = "{\n  \"directed\": true,\n  \"multigraph\": false,\n  \"graph\": {},\n";
  // Items of an array on lines of their own; an empty array stays "[]".
  auto item = [&out](size_t index) { out += index == 0 ? "\n    {" : ",\n    {"; };
  auto close = [&out](size_t items) { out += items == 0 ? "]" : "\n  ]"; };
  out += "  \"nodes\": [";
  for (const Job& job : instance) {
    item(static_cast<size_t>(job.id));
    out += "\"id\": \"";
    appendJobName(out, job.id);
    out += "\", ";
    mcjobs_detail::appendJobAttributes(out, job, true);
    out += '}';
  }
  close(static_cast<size_t>(instance.numJobs()));
  out += ",\n  \"links\": [";
  const std::vector<Arc> arcs = instance.getAllArcs();
  for (size_t k = 0; k < arcs.size(); ++k) {
    item(k);
    out += "\"source\": \"";
    appendJobName(out, arcs[k].from_id);
    out += "\", \"target\": \"";
    appendJobName(out, arcs[k].to_id);
    out += "\"}";
  }
  close(arcs.size());
  out += "\n}\n";
  return out;
}

}  // namespace mcjobs
