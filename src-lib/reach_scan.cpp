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

namespace mcjobs_detail {

namespace {

constexpr int kWordBits = 64;

bool testBit(const std::uint64_t* row, int position) {
  return (row[position / kWordBits] >> (position % kWordBits)) & 1u;
}

int popcount(std::uint64_t word) {
  return __builtin_popcountll(word);
}

}  // namespace

ReachSummary scanReachability(JobInstance& instance, int level, bool findImpliedArcs,
                              std::size_t budgetBytes) {
  return scanReachability(levelGraph(instance, level), findImpliedArcs, budgetBytes);
}

ReachSummary scanReachability(const LevelGraph& graph, bool findImpliedArcs,
                              std::size_t budgetBytes) {
  const std::vector<int> order = compactTopologicalOrder(graph);
  const int count = static_cast<int>(order.size());
  std::vector<int> position(static_cast<size_t>(count));
  for (int p = 0; p < count; ++p) position[order[p]] = p;

  // Successor positions of each position, in one array.
  std::vector<size_t> firstArc(static_cast<size_t>(count) + 1, 0);
  std::vector<int> arcs;
  arcs.reserve(graph.successors.size());
  for (int p = 0; p < count; ++p) {
    for (const int* s = graph.begin(order[p]); s != graph.end(order[p]); ++s)
      arcs.push_back(position[*s]);
    firstArc[p + 1] = arcs.size();
  }

  // Word span of each row; firstWord > lastWord for a job that reaches nothing.
  std::vector<int> firstWord(static_cast<size_t>(count), INT_MAX);
  std::vector<int> lastWord(static_cast<size_t>(count), -1);
  for (int p = count - 1; p >= 0; --p) {
    for (size_t a = firstArc[p]; a < firstArc[p + 1]; ++a) {
      const int q = arcs[a];
      firstWord[p] = std::min({firstWord[p], firstWord[q], q / kWordBits});
      lastWord[p] = std::max({lastWord[p], lastWord[q], q / kWordBits});
    }
  }

  // How many rows span each word column, to cut the columns into blocks.
  const int words = (count + kWordBits - 1) / kWordBits;
  std::vector<long long> spanning(static_cast<size_t>(words) + 1, 0);
  for (int p = 0; p < count; ++p) {
    if (firstWord[p] > lastWord[p]) continue;
    ++spanning[firstWord[p]];
    --spanning[lastWord[p] + 1];
  }
  for (int w = 1; w <= words; ++w) spanning[w] += spanning[w - 1];
  const long long budgetWords =
      std::max<long long>(1, static_cast<long long>(budgetBytes / sizeof(std::uint64_t)));

  ReachSummary summary;
  std::vector<long long> rowStart(static_cast<size_t>(count));
  std::vector<std::uint64_t> arena;
  for (int blockBegin = 0; blockBegin < words;) {
    int blockEnd = blockBegin + 1;
    long long blockWords = spanning[blockBegin];
    while (blockEnd < words && blockWords + spanning[blockEnd] <= budgetWords)
      blockWords += spanning[blockEnd++];

    // Row p holds words [rowFirst, rowLast] of the block from arena[rowStart[p]] on.
    auto rowFirst = [&](int p) { return std::max(firstWord[p], blockBegin); };
    auto rowLast = [&](int p) { return std::min(lastWord[p], blockEnd - 1); };
    long long used = 0;
    for (int p = 0; p < count; ++p) {
      if (rowFirst(p) > rowLast(p)) continue;
      rowStart[p] = used;
      used += rowLast(p) - rowFirst(p) + 1;
    }
    arena.assign(static_cast<size_t>(used), 0);

    const int columnBegin = blockBegin * kWordBits;
    const int columnEnd = blockEnd * kWordBits;
    for (int p = count - 1; p >= 0; --p) {
      // A row without words in the block has no successor there either.
      if (rowFirst(p) > rowLast(p)) continue;
      std::uint64_t* row = arena.data() + rowStart[p];
      const int base = rowFirst(p);
      for (size_t a = firstArc[p]; a < firstArc[p + 1]; ++a) {
        const int q = arcs[a];
        const int first = rowFirst(q);
        const int last = rowLast(q);
        if (first > last) continue;
        const std::uint64_t* from = arena.data() + rowStart[q];
        for (int w = first; w <= last; ++w) row[w - base] |= from[w - first];
      }
      for (size_t a = firstArc[p]; a < firstArc[p + 1]; ++a) {
        const int q = arcs[a] - base * kWordBits;
        if (arcs[a] < columnBegin || arcs[a] >= columnEnd) continue;
        if (findImpliedArcs && testBit(row, q))
          summary.impliedArcs.push_back({order[p], order[arcs[a]]});
        row[q / kWordBits] |= std::uint64_t{1} << (q % kWordBits);
      }
      for (int w = 0, width = rowLast(p) - base + 1; w < width; ++w)
        summary.pairs += popcount(row[w]);
    }
    blockBegin = blockEnd;
  }
  std::sort(summary.impliedArcs.begin(), summary.impliedArcs.end());
  return summary;
}

}  // namespace mcjobs_detail
