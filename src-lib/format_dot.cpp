// Graphviz DOT: the drawing of the precedence DAG, whose nodes carry the job
// data as attributes, and a reader for that output and hand-written digraphs
// of the same subset (node and edge statements, attribute lists, comments).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "detail/instance_graph.h"
#include "interchange.h"
#include "detail/interchange_input.h"
#include "detail/line_format.h"
#include "detail/reach_scan.h"

namespace mcjobs {
namespace {

using mcjobs_detail::failAt;

struct Token {
  enum Kind { Id, Quoted, Punct, End } kind = End;
  std::string text;
  long line = 0;
};

class Lexer {
 public:
  Lexer(const std::string& text, const std::string& name) : mText(text), mName(name) {}

  // Fills `token` with the next token, reusing its text's storage.
  void next(Token& token) {
    skipSpaceAndComments();
    token.kind = Token::End;
    token.text.clear();
    token.line = mLine;
    if (mAt >= mText.size()) return;
    const char c = mText[mAt];
    if (c == '"') {
      token.kind = Token::Quoted;
      quoted(token.text);
      // "a" + "b" is one string.
      for (;;) {
        const size_t at = mAt;
        const long line = mLine;
        skipSpaceAndComments();
        if (mAt < mText.size() && mText[mAt] == '+') {
          ++mAt;
          skipSpaceAndComments();
          if (mAt < mText.size() && mText[mAt] == '"') {
            quoted(token.text);
            continue;
          }
          fail("'+' must join two quoted strings");
        }
        mAt = at;
        mLine = line;
        break;
      }
    } else if (c == '<') {
      token.kind = Token::Quoted;
      token.text = html();
    } else if (c == '-' && mText.compare(mAt, 2, "->") == 0) {
      token.kind = Token::Punct;
      token.text = "->";
      mAt += 2;
    } else if (c == '-' && mText.compare(mAt, 2, "--") == 0) {
      token.kind = Token::Punct;
      token.text = "--";
      mAt += 2;
    } else if (isIdChar(c) || c == '-' || c == '.') {
      token.kind = Token::Id;
      const size_t start = mAt;
      ++mAt;
      while (mAt < mText.size() && (isIdChar(mText[mAt]) || mText[mAt] == '.')) ++mAt;
      token.text.assign(mText, start, mAt - start);
    } else if (c != '\0' && std::strchr("{}[];,=:", c) != nullptr) {
      token.kind = Token::Punct;
      token.text = c;
      ++mAt;
    } else {
      fail(std::string("unexpected character '") + c + "'");
    }
  }

  [[noreturn]] void fail(const std::string& what) const { failAt(mName, mLine, "DOT: " + what); }

 private:
  static bool isIdChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  }

  void skipSpaceAndComments() {
    while (mAt < mText.size()) {
      const char c = mText[mAt];
      if (c == '\n') {
        ++mLine;
        ++mAt;
        // A line starting with '#' is preprocessor output, ignored.
        if (mAt < mText.size() && mText[mAt] == '#') skipLine();
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f') {
        ++mAt;
      } else if (c == '#' && mAt == 0) {
        skipLine();
      } else if (mText.compare(mAt, 2, "//") == 0) {
        skipLine();
      } else if (mText.compare(mAt, 2, "/*") == 0) {
        const long line = mLine;
        const size_t close = mText.find("*/", mAt + 2);
        if (close == std::string::npos) failAt(mName, line, "DOT: unterminated comment");
        mLine += std::count(mText.begin() + static_cast<long>(mAt),
                            mText.begin() + static_cast<long>(close), '\n');
        mAt = close + 2;
      } else {
        break;
      }
    }
  }

  void skipLine() {
    while (mAt < mText.size() && mText[mAt] != '\n') ++mAt;
  }

  // Appends the quoted string at the cursor to `out`.
  void quoted(std::string& out) {
    const long line = mLine;
    ++mAt;
    for (size_t stop; (stop = mText.find_first_of("\"\\\n", mAt)) != std::string::npos;) {
      out.append(mText, mAt, stop - mAt);
      mAt = stop + 1;
      const char c = mText[stop];
      if (c == '"') return;
      const char after = mAt < mText.size() ? mText[mAt] : '\0';
      if (c == '\\' && after == '"') {  // an escaped quote
        out += '"';
        ++mAt;
      } else if (c == '\\' && after == '\\') {  // kept as two, as Graphviz does; no escape
        out += "\\\\";
        ++mAt;
      } else if (c == '\\' && after == '\n') {  // a line continuation
        ++mLine;
        ++mAt;
      } else {
        if (c == '\n') ++mLine;
        out += c;
      }
    }
    failAt(mName, line, "DOT: unterminated quoted string");
  }

  std::string html() {
    const long line = mLine;
    const size_t start = mAt;
    int depth = 0;
    for (; mAt < mText.size(); ++mAt) {
      if (mText[mAt] == '\n') ++mLine;
      if (mText[mAt] == '<') ++depth;
      if (mText[mAt] == '>' && --depth == 0) {
        ++mAt;
        return mText.substr(start, mAt - start);
      }
    }
    failAt(mName, line, "DOT: unterminated <...> string");
  }

  const std::string& mText;
  const std::string& mName;
  size_t mAt = 0;
  long mLine = 1;
};

bool keyword(const Token& token, const char* word) {
  if (token.kind != Token::Id || token.text.size() != std::char_traits<char>::length(word))
    return false;
  for (size_t i = 0; i < token.text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(token.text[i])) != word[i]) return false;
  return true;
}

const std::string_view kJobKeys[] = {"arrival", "deadline", "criticality", "lo_wcet", "hi_wcet"};
constexpr int kJobKeyCount = 5;

// The place of a job attribute in kJobKeys, or -1 for any other attribute.
int jobKey(std::string_view name) {
  for (int key = 0; key < kJobKeyCount; ++key)
    if (name == kJobKeys[key]) return key;
  return -1;
}

// The job attributes of a node or of the node defaults, by their place in kJobKeys,
// with the lines that gave them (where their errors are reported).
struct Attributes {
  std::string values[kJobKeyCount];
  long lines[kJobKeyCount] = {};
  unsigned given = 0;

  void set(int key, const std::string& value, long line) {
    values[key] = value;
    lines[key] = line;
    given |= 1u << key;
  }
  void merge(const Attributes& other) {
    for (int key = 0; key < kJobKeyCount; ++key)
      if (other.given & (1u << key)) set(key, other.values[key], other.lines[key]);
  }
  const std::string* find(std::string_view name) const {
    const int key = jobKey(name);
    return key >= 0 && (given & (1u << key)) ? &values[key] : nullptr;
  }
  long lineOf(std::string_view name) const { return lines[jobKey(name)]; }
  // The last line that gave the node a job attribute, or `line` when later.
  long lastLine(long line) const {
    for (int key = 0; key < kJobKeyCount; ++key)
      if (given & (1u << key)) line = std::max(line, lines[key]);
    return line;
  }
};

struct Node {
  std::string name;
  long line;
  Attributes job;
};

class DotReader {
 public:
  DotReader(const std::string& text, const std::string& name, const InterchangeOptions& options)
      : mLexer(text, name), mName(name), mOptions(options) {}

  JobInstance read() {
    advance();
    if (keyword(mToken, "strict")) advance();
    if (keyword(mToken, "graph")) fail("an undirected graph cannot hold precedence; use 'digraph'");
    if (!keyword(mToken, "digraph")) fail("expected 'digraph'");
    advance();
    if (mToken.kind == Token::Id || mToken.kind == Token::Quoted) advance();
    expect("{");
    while (!isPunct("}")) {
      if (mToken.kind == Token::End) fail("the graph is not closed with '}'");
      statement();
    }
    advance();
    if (mToken.kind != Token::End) fail("text after the end of the graph");
    return build();
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    failAt(mName, mToken.line, "DOT: " + what);
  }

  void advance() { mLexer.next(mToken); }
  template <size_t N>
  bool isPunct(const char (&text)[N]) const {
    return mToken.kind == Token::Punct && mToken.text.size() == N - 1 &&
           std::memcmp(mToken.text.data(), text, N - 1) == 0;
  }
  template <size_t N>
  void expect(const char (&text)[N]) {
    if (!isPunct(text)) fail(std::string("expected '") + text + "'");
    advance();
  }
  bool isId() const { return mToken.kind == Token::Id || mToken.kind == Token::Quoted; }

  void statement() {
    if (isPunct(";")) {
      advance();
      return;
    }
    if (keyword(mToken, "subgraph") || isPunct("{")) fail("subgraphs are not supported");
    if (keyword(mToken, "node") || keyword(mToken, "edge") || keyword(mToken, "graph")) {
      const bool nodeDefaults = keyword(mToken, "node");
      const char* const owner = nodeDefaults              ? nullptr
                                : keyword(mToken, "edge") ? "an edge"
                                                          : "the graph";
      advance();
      const Attributes attributes = attributeLists(owner);
      if (nodeDefaults) mNodeDefaults.merge(attributes);
      return;
    }
    if (!isId()) fail("expected a statement, found '" + mToken.text + "'");
    const Token first = mToken;
    advance();
    if (isPunct("=")) {  // a graph attribute
      advance();
      if (!isId()) fail("expected a value after '='");
      advance();
      return;
    }
    std::vector<int> chain{node(first)};
    const long line = first.line;
    while (isPunct("->") || isPunct("--") || isPunct(":")) {
      if (isPunct("--")) fail("'--' is an undirected edge; a digraph uses '->'");
      if (isPunct(":")) fail("node ports are not supported");
      advance();
      if (keyword(mToken, "subgraph") || isPunct("{")) fail("subgraphs are not supported");
      if (!isId()) fail("expected a node after '->'");
      chain.push_back(node(mToken));
      advance();
      if (isPunct(":")) fail("node ports are not supported");
    }
    const Attributes attributes = attributeLists(chain.size() == 1 ? nullptr : "an edge");
    if (chain.size() == 1) {
      mNodes[static_cast<size_t>(chain[0])].job.merge(attributes);
      return;
    }
    for (size_t k = 1; k < chain.size(); ++k) mArcs.push_back({chain[k - 1], chain[k], line});
  }

  // Zero or more "[ a=b, c=d ]" lists, the job attributes among them. An `owner` other
  // than a node (null) cannot carry job attributes: they would be lost.
  Attributes attributeLists(const char* owner) {
    Attributes attributes;
    while (isPunct("[")) {
      advance();
      while (!isPunct("]")) {
        if (!isId()) fail("expected an attribute name");
        // Only the job attributes are kept; the drawing's own are skipped uncopied.
        const int key = jobKey(mToken.text);
        const long line = mToken.line;
        if (key >= 0 && owner != nullptr)
          fail(std::string(kJobKeys[key].data()) + " is a job attribute, which " + owner +
               " cannot carry; give it to a node");
        advance();
        if (isPunct("=")) {
          advance();
          if (!isId()) fail("expected a value after '='");
          if (key >= 0) attributes.set(key, mToken.text, mToken.line);
          advance();
        } else if (key >= 0) {
          failAt(mName, line,
                 std::string("DOT: attribute ") + kJobKeys[key].data() + " without a value");
        }
        if (isPunct(",") || isPunct(";")) advance();
      }
      advance();
    }
    return attributes;
  }

  // The index of a node, created with the current node defaults at its first mention.
  int node(const Token& id) {
    const auto found = mIndex.find(id.text);
    if (found != mIndex.end()) return found->second;
    const int index = static_cast<int>(mNodes.size());
    mIndex.emplace(id.text, index);
    mNodes.push_back({id.text, id.line, mNodeDefaults});
    return index;
  }

  bool integerAttribute(const Node& node, const char* key, int& out) const {
    const std::string* text = node.job.find(key);
    if (text == nullptr) return false;
    std::int64_t value = 0;
    const bool parsed =
        mcjobs_detail::parseInteger(text->data(), text->data() + text->size(), value);
    const long line = node.job.lineOf(key);
    if (!parsed && !mcjobs_detail::isIntegerText(text->data(), text->data() + text->size()))
      failAt(mName, line,
             "DOT: node " + node.name + ": " + key + "=\"" + *text + "\" is not an integer");
    if (!parsed || !mcjobs_detail::fitsInt32(value))
      failAt(mName, line,
             "DOT: node " + node.name + ": " + key + "=" + *text + " is outside the 32-bit range");
    out = static_cast<int>(value);
    return true;
  }

  JobInstance build() {
    mcjobs_detail::InstanceBuilder builder(mName, "node");
    std::vector<std::string> names;
    for (const Node& node : mNodes) names.push_back(node.name);
    const std::vector<int> order = mcjobs_detail::jobOrder(names);
    std::vector<int> position(order.size());
    for (size_t k = 0; k < order.size(); ++k)
      position[static_cast<size_t>(order[k])] = static_cast<int>(k);
    for (int k : order) {
      const Node& node = mNodes[static_cast<size_t>(k)];
      Job job;
      job.criticality = CRIT_LO;
      if (const std::string* crit = node.job.find("criticality")) {
        if (*crit == "HI")
          job.criticality = CRIT_HI;
        else if (*crit != "LO")
          failAt(mName, node.job.lineOf("criticality"),
                 "DOT: node " + node.name + ": criticality must be LO or HI, not " + *crit);
      }
      const bool hasArrival = integerAttribute(node, "arrival", job.arrival);
      const bool hasDeadline = integerAttribute(node, "deadline", job.deadline);
      if (!hasArrival || !hasDeadline) {
        if (!mOptions.hasDefaultWindow)
          failAt(mName, node.line,
                 "DOT: node " + node.name + " has no " + (hasArrival ? "deadline" : "arrival") +
                     " attribute and no default window is given");
        if (!hasArrival) job.arrival = mOptions.defaultArrival;
        if (!hasDeadline) job.deadline = mOptions.defaultDeadline;
      }
      if (!integerAttribute(node, "lo_wcet", job.lo_wcet)) {
        if (mOptions.defaultWcet <= 0)
          failAt(mName, node.line,
                 "DOT: node " + node.name +
                     " has no lo_wcet attribute and no default budget is given");
        job.lo_wcet = mOptions.defaultWcet;
      }
      if (!integerAttribute(node, "hi_wcet", job.hi_wcet)) job.hi_wcet = job.lo_wcet;
      builder.addJob(job, node.name, node.job.lastLine(node.line));
    }
    for (const PendingArc& arc : mArcs)
      builder.addArc(position[static_cast<size_t>(arc.from)], position[static_cast<size_t>(arc.to)],
                     arc.line);
    return builder.finish();
  }

  struct PendingArc {
    int from, to;
    long line;
  };

  Lexer mLexer;
  const std::string& mName;
  const InterchangeOptions& mOptions;
  Token mToken;
  Attributes mNodeDefaults;
  std::deque<Node> mNodes;  // never moved as it grows
  std::unordered_map<std::string, int> mIndex;
  std::vector<PendingArc> mArcs;
};

void appendNode(std::string& out, const Job& job) {
  using mcjobs_detail::appendInt;
  out += "  ";
  mcjobs_detail::appendJobName(out, job.id);
  out += " [label=\"";
  mcjobs_detail::appendJobName(out, job.id);
  out += "\\n[";
  appendInt(out, job.arrival);
  out += ", ";
  appendInt(out, job.deadline);
  out += "]\\n";
  if (job.criticality == CRIT_HI) {
    out += "C(LO)=";
    appendInt(out, job.lo_wcet);
    out += " C(HI)=";
    appendInt(out, job.hi_wcet);
    out +=
        "\", shape=box, style=\"rounded,filled,bold\", fillcolor=\"#f6c7b6\", "
        "color=\"#a0301a\"";
  } else {
    out += "C=";
    appendInt(out, job.lo_wcet);
    out += "\", shape=ellipse, style=filled, fillcolor=\"#dde7f3\"";
  }
  out += ", ";
  mcjobs_detail::appendJobAttributes(out, job, false);
  out += "];\n";
}

}  // namespace

JobInstance readDot(std::istream& in, const std::string& name, const InterchangeOptions& options) {
  const std::string text = mcjobs_detail::readInput(in, name);
  return DotReader(text, name, options).read();
}

std::string writeDot(JobInstance& instance, int level, bool reduce) {
  std::string out =
      "digraph jobs {\n"
      "  rankdir=LR;\n"
      "  node [fontname=\"Helvetica\", fontsize=10];\n"
      "  edge [color=\"#333333\"];\n";
  out += std::string("  label=\"") + (level == CRIT_HI ? "HI graph" : "LO graph") +
         (reduce ? ", transitive reduction" : "") +
         ". Boxes: HI jobs, ellipses: LO jobs; [arrival, deadline], budgets C. "
         "Solid arcs: both levels; dashed: LO only.\";\n"
         "  labelloc=b;\n  fontname=\"Helvetica\";\n  fontsize=10;\n";
  for (const Job& job : instance)
    if (job.criticality >= level) appendNode(out, job);
  std::vector<std::pair<int, int>> hiArcs;
  for (const Arc& arc : mcjobs_detail::InstanceAccess::levelArcs(instance, CRIT_HI))
    hiArcs.emplace_back(arc.from_id, arc.to_id);
  // u -> v is implied at a level when v is reachable there from another direct successor
  // of u. Each level is reduced on its own: a HI arc that only a path through a LO job
  // implies still carries the HI precedence, so it stays.
  std::vector<std::pair<int, int>> impliedAtLo, impliedAtHi;
  if (reduce) {
    impliedAtHi = mcjobs_detail::scanReachability(instance, CRIT_HI, true).impliedArcs;
    if (level == CRIT_LO)
      impliedAtLo = mcjobs_detail::scanReachability(instance, CRIT_LO, true).impliedArcs;
  }
  const auto contains = [](const std::vector<std::pair<int, int>>& arcs, const Arc& arc) {
    return std::binary_search(arcs.begin(), arcs.end(), std::make_pair(arc.from_id, arc.to_id));
  };
  for (const Arc& arc : instance.getAllArcs()) {
    const bool atHi = contains(hiArcs, arc);
    if (level == CRIT_HI && !atHi) continue;
    const bool impliedAtItsLevels =
        atHi ? contains(impliedAtHi, arc) && (level == CRIT_HI || contains(impliedAtLo, arc))
             : contains(impliedAtLo, arc);
    if (impliedAtItsLevels) continue;
    out += "  ";
    mcjobs_detail::appendJobName(out, arc.from_id);
    out += " -> ";
    mcjobs_detail::appendJobName(out, arc.to_id);
    out += atHi ? " [style=solid, penwidth=2];\n" : " [style=dashed, color=\"#777777\"];\n";
  }
  out += "}\n";
  return out;
}

}  // namespace mcjobs
