// Internal: the transitive closure of one level as bit rows over job ids.
// Kept apart from the instance so that the public header shows the API only,
// and so that the bulk build, the per-arc update and the set publication
// share one representation.
#ifndef MCJOBS_CLOSURE_INDEX_H
#define MCJOBS_CLOSURE_INDEX_H

#include <cstdint>
#include <utility>
#include <vector>

namespace mcjobs_detail {

/// Bit row over job ids, covering only the word range that holds set bits,
/// so that sparse graphs stay small.
struct ReachRow {
  int firstWord = 0;
  std::vector<std::uint64_t> words;

  bool test(int id) const {
    const int w = (id >> 6) - firstWord;
    return w >= 0 && w < static_cast<int>(words.size()) &&
           ((words[static_cast<size_t>(w)] >> (id & 63)) & 1u);
  }
  int endWord() const { return firstWord + static_cast<int>(words.size()); }
  /// Widens the row so that it covers the words [first, last).
  void cover(int first, int last);
  void set(int id) {
    cover(id >> 6, (id >> 6) + 1);
    words[static_cast<size_t>((id >> 6) - firstWord)] |= std::uint64_t{1} << (id & 63);
  }
  /// Smallest and largest member, or {INT32_MAX, INT32_MIN} when empty.
  std::pair<int, int> bounds() const;

  template <typename Visit>
  void forEach(Visit visit) const {
    for (size_t w = 0; w < words.size(); ++w) {
      std::uint64_t bits = words[w];
      const int base = (firstWord + static_cast<int>(w)) * 64;
      while (bits != 0) {
        visit(base + __builtin_ctzll(bits));
        bits &= bits - 1;
      }
    }
  }
};

/// The closure of one level: bit j of successors[i] is set exactly when j is
/// reachable from i, and of predecessors[i] exactly when i is reachable from
/// j. Built only once something asks for reachability; from then on kept up
/// to date by every arc insertion.
struct ClosureIndex {
  bool built = false;
  std::vector<ReachRow> successors;
  std::vector<ReachRow> predecessors;
};

/// Working space of one closure update, kept between insertions so that they
/// do not allocate.
struct ClosureScratch {
  ReachRow targets;
  ReachRow sources;
  ReachRow reachingTarget;
  std::vector<std::pair<int, int>> pairs;
  std::vector<std::pair<int, int>> publishedPairs;
};

}  // namespace mcjobs_detail

#endif  // MCJOBS_CLOSURE_INDEX_H
