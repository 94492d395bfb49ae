// Bulk reachability of one level: bit rows over positions of a topological
// order, row(u) = OR over direct successors v of (row(v) | {v}), built in
// reverse order so that every successor's row is complete when it is read.
//
// A row only spans the words between the lowest and the highest position
// reachable from its job (found first by the same recurrence on the bounds),
// so local graphs stay small in any order that keeps them together. When the
// rows would still exceed the budget, the columns are split into blocks and
// the rows are rebuilt block by block; a row restricted to a block of columns
// follows the same recurrence restricted to that block.
#include "detail/reach_scan.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace mcjobs_detail {

namespace {

constexpr int kWordBits = 64;

bool testBit(const std::uint64_t* row, int position) {
  return (row[position / kWordBits] >> (position % kWordBits)) & 1u;
}

int popcount(std::uint64_t word) {
  return __builtin_popcountll(word);
}

// The level's arcs between the positions of a compact topological order.
struct PositionedArcs {
  /// The job at each position.
  std::vector<int> order;
  /// The successor positions of position p: arcs[firstArc[p]] .. arcs[firstArc[p + 1] - 1].
  std::vector<size_t> firstArc;
  std::vector<int> arcs;

  int size() const { return static_cast<int>(order.size()); }
};

PositionedArcs positionArcs(const LevelGraph& graph) {
  PositionedArcs positioned;
  positioned.order = compactTopologicalOrder(graph);
  const int count = positioned.size();
  std::vector<int> position(static_cast<size_t>(count));
  for (int p = 0; p < count; ++p) position[positioned.order[p]] = p;
  positioned.firstArc.assign(static_cast<size_t>(count) + 1, 0);
  positioned.arcs.reserve(graph.successors.size());
  for (int p = 0; p < count; ++p) {
    const int job = positioned.order[p];
    for (const int* s = graph.begin(job); s != graph.end(job); ++s)
      positioned.arcs.push_back(position[*s]);
    positioned.firstArc[p + 1] = positioned.arcs.size();
  }
  return positioned;
}

// The word columns a row can have bits in: [firstWord, lastWord], with
// firstWord > lastWord for a job that reaches nothing.
struct RowSpans {
  std::vector<int> firstWord;
  std::vector<int> lastWord;
};

RowSpans rowSpans(const PositionedArcs& graph) {
  const int count = graph.size();
  RowSpans spans{std::vector<int>(static_cast<size_t>(count), INT_MAX),
                 std::vector<int>(static_cast<size_t>(count), -1)};
  for (int p = count - 1; p >= 0; --p) {
    for (size_t a = graph.firstArc[p]; a < graph.firstArc[p + 1]; ++a) {
      const int q = graph.arcs[a];
      spans.firstWord[p] = std::min({spans.firstWord[p], spans.firstWord[q], q / kWordBits});
      spans.lastWord[p] = std::max({spans.lastWord[p], spans.lastWord[q], q / kWordBits});
    }
  }
  return spans;
}

// How many rows span each word column (a prefix sum over the spans), to cut
// the columns into blocks that fit the budget.
std::vector<long long> rowsPerColumn(const RowSpans& spans, int words) {
  std::vector<long long> spanning(static_cast<size_t>(words) + 1, 0);
  for (size_t p = 0; p < spans.firstWord.size(); ++p) {
    if (spans.firstWord[p] > spans.lastWord[p]) continue;
    ++spanning[spans.firstWord[p]];
    --spanning[spans.lastWord[p] + 1];
  }
  for (int w = 1; w <= words; ++w) spanning[w] += spanning[w - 1];
  return spanning;
}

// Builds the rows restricted to the word columns [blockBegin, blockEnd) and
// adds what they show to `summary`.
class BlockScan {
 public:
  BlockScan(const PositionedArcs& graph, const RowSpans& spans, bool findImpliedArcs)
      : mGraph(graph),
        mSpans(spans),
        mFindImpliedArcs(findImpliedArcs),
        mRowStart(static_cast<size_t>(graph.size())) {}

  void scan(int blockBegin, int blockEnd, ReachSummary& summary) {
    mBlockBegin = blockBegin;
    mBlockEnd = blockEnd;
    layOutRows();
    const int columnBegin = blockBegin * kWordBits;
    const int columnEnd = blockEnd * kWordBits;
    for (int p = mGraph.size() - 1; p >= 0; --p) {
      // A row without words in the block has no successor there either.
      if (rowFirst(p) > rowLast(p)) continue;
      std::uint64_t* row = mArena.data() + mRowStart[p];
      const int base = rowFirst(p);
      for (size_t a = mGraph.firstArc[p]; a < mGraph.firstArc[p + 1]; ++a) {
        const int q = mGraph.arcs[a];
        const int first = rowFirst(q);
        const int last = rowLast(q);
        if (first > last) continue;
        const std::uint64_t* from = mArena.data() + mRowStart[q];
        for (int w = first; w <= last; ++w) row[w - base] |= from[w - first];
      }
      for (size_t a = mGraph.firstArc[p]; a < mGraph.firstArc[p + 1]; ++a) {
        const int successor = mGraph.arcs[a];
        if (successor < columnBegin || successor >= columnEnd) continue;
        const int q = successor - base * kWordBits;
        if (mFindImpliedArcs && testBit(row, q))
          summary.impliedArcs.push_back({mGraph.order[p], mGraph.order[successor]});
        row[q / kWordBits] |= std::uint64_t{1} << (q % kWordBits);
      }
      for (int w = 0, width = rowLast(p) - base + 1; w < width; ++w)
        summary.pairs += popcount(row[w]);
    }
  }

 private:
  // Row p holds the words [rowFirst(p), rowLast(p)] of the block from mArena[mRowStart[p]] on.
  int rowFirst(int p) const { return std::max(mSpans.firstWord[p], mBlockBegin); }
  int rowLast(int p) const { return std::min(mSpans.lastWord[p], mBlockEnd - 1); }

  void layOutRows() {
    long long used = 0;
    for (int p = 0; p < mGraph.size(); ++p) {
      if (rowFirst(p) > rowLast(p)) continue;
      mRowStart[p] = used;
      used += rowLast(p) - rowFirst(p) + 1;
    }
    mArena.assign(static_cast<size_t>(used), 0);
  }

  const PositionedArcs& mGraph;
  const RowSpans& mSpans;
  const bool mFindImpliedArcs;
  std::vector<long long> mRowStart;
  std::vector<std::uint64_t> mArena;
  int mBlockBegin = 0;
  int mBlockEnd = 0;
};

}  // namespace

ReachSummary scanReachability(JobInstance& instance, int level, bool findImpliedArcs,
                              std::size_t budgetBytes) {
  return scanReachability(levelGraph(instance, level), findImpliedArcs, budgetBytes);
}

ReachSummary scanReachability(const LevelGraph& graph, bool findImpliedArcs,
                              std::size_t budgetBytes) {
  const PositionedArcs positioned = positionArcs(graph);
  const RowSpans spans = rowSpans(positioned);
  const int words = (positioned.size() + kWordBits - 1) / kWordBits;
  const std::vector<long long> spanning = rowsPerColumn(spans, words);
  const long long budgetWords =
      std::max<long long>(1, static_cast<long long>(budgetBytes / sizeof(std::uint64_t)));

  ReachSummary summary;
  BlockScan block(positioned, spans, findImpliedArcs);
  for (int blockBegin = 0; blockBegin < words;) {
    int blockEnd = blockBegin + 1;
    long long blockWords = spanning[blockBegin];
    while (blockEnd < words && blockWords + spanning[blockEnd] <= budgetWords)
      blockWords += spanning[blockEnd++];
    block.scan(blockBegin, blockEnd, summary);
    blockBegin = blockEnd;
  }
  std::sort(summary.impliedArcs.begin(), summary.impliedArcs.end());
  return summary;
}

}  // namespace mcjobs_detail
