// Internal: a segment tree over positions 0..n-1 with two operations on
// prefixes, "add to every value in [0, end)" and "largest value in [0, end)",
// each O(log n). The load scan keeps one value per interval start in it while
// it sweeps the interval ends. Not installed.
#ifndef MCJOBS_PREFIX_MAX_TREE_H
#define MCJOBS_PREFIX_MAX_TREE_H

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace mcjobs_detail {

template <typename Value>
class PrefixMaxTree {
 public:
  /// @brief Starts over with `values` (at least one) as the values of the positions.
  void assign(const std::vector<Value>& values) {
    mLeaves = 1;
    while (mLeaves < values.size()) mLeaves *= 2;
    mTop.assign(2 * mLeaves, Value(0));
    mPending.assign(mLeaves, Value(0));
    std::copy(values.begin(), values.end(), mTop.begin() + static_cast<std::ptrdiff_t>(mLeaves));
    // Padding leaves repeat the last value: they lie beyond every prefix that
    // is asked for, so any value keeps the tree consistent.
    std::fill(mTop.begin() + static_cast<std::ptrdiff_t>(mLeaves + values.size()), mTop.end(),
              values.back());
    for (size_t node = mLeaves - 1; node >= 1; --node)
      mTop[node] = std::max(mTop[2 * node], mTop[2 * node + 1]);
  }

  /// @brief Adds `delta` to the values of positions [0, end).
  void addPrefix(size_t end, Value delta) {
    if (end == 0) return;
    size_t node = 1;
    size_t lo = 0;
    size_t hi = mLeaves;
    // The prefix splits into left children hanging off one root-to-leaf path;
    // only the maxima along that path change besides theirs.
    while (hi > end) {
      const size_t mid = lo + (hi - lo) / 2;
      if (end <= mid) {
        node = 2 * node;
        hi = mid;
      } else {
        apply(2 * node, delta);
        node = 2 * node + 1;
        lo = mid;
      }
    }
    apply(node, delta);
    for (node /= 2; node >= 1; node /= 2)
      mTop[node] = std::max(mTop[2 * node], mTop[2 * node + 1]) + mPending[node];
  }

  /// @brief The largest value among positions [0, end) and a position holding it; `end` is at
  /// least one.
  std::pair<Value, size_t> maxPrefix(size_t end) const {
    size_t node = 1;
    size_t lo = 0;
    size_t hi = mLeaves;
    Value above(0);  // the additions pending on the strict ancestors of `node`
    size_t bestNode = 0;
    Value bestAbove(0);
    auto offer = [&](size_t covered) {
      if (bestNode == 0 || above + mTop[covered] > bestAbove + mTop[bestNode]) {
        bestNode = covered;
        bestAbove = above;
      }
    };
    while (hi > end) {
      above += mPending[node];
      const size_t mid = lo + (hi - lo) / 2;
      if (end <= mid) {
        node = 2 * node;
        hi = mid;
      } else {
        offer(2 * node);
        node = 2 * node + 1;
        lo = mid;
      }
    }
    offer(node);
    // Down from the covering node that holds the maximum, along children that hold it too.
    const Value best = bestAbove + mTop[bestNode];
    node = bestNode;
    above = bestAbove;
    while (node < mLeaves) {
      above += mPending[node];
      node = above + mTop[2 * node] == best ? 2 * node : 2 * node + 1;
    }
    return {best, node - mLeaves};
  }

 private:
  void apply(size_t node, Value delta) {
    mTop[node] += delta;
    if (node < mLeaves) mPending[node] += delta;
  }

  size_t mLeaves = 1;
  // mTop[node]: the largest value below node, counting the additions pending
  // at node and below but not those of its ancestors; leaves at mLeaves..2*mLeaves-1.
  std::vector<Value> mTop;
  std::vector<Value> mPending;  // an addition to every position below an inner node
};

}  // namespace mcjobs_detail

#endif  // MCJOBS_PREFIX_MAX_TREE_H
