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
    leaves_ = 1;
    while (leaves_ < values.size()) leaves_ *= 2;
    top_.assign(2 * leaves_, Value(0));
    pending_.assign(leaves_, Value(0));
    std::copy(values.begin(), values.end(), top_.begin() + static_cast<std::ptrdiff_t>(leaves_));
    // Padding leaves repeat the last value: they lie beyond every prefix that
    // is asked for, so any value keeps the tree consistent.
    std::fill(top_.begin() + static_cast<std::ptrdiff_t>(leaves_ + values.size()), top_.end(),
              values.back());
    for (size_t node = leaves_ - 1; node >= 1; --node)
      top_[node] = std::max(top_[2 * node], top_[2 * node + 1]);
  }

  /// @brief Adds `delta` to the values of positions [0, end).
  void addPrefix(size_t end, Value delta) {
    if (end == 0) return;
    size_t node = 1;
    size_t lo = 0;
    size_t hi = leaves_;
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
      top_[node] = std::max(top_[2 * node], top_[2 * node + 1]) + pending_[node];
  }

  /// @brief The largest value among positions [0, end) and a position holding it; `end` is at
  /// least one.
  std::pair<Value, size_t> maxPrefix(size_t end) const {
    size_t node = 1;
    size_t lo = 0;
    size_t hi = leaves_;
    Value above(0);  // the additions pending on the strict ancestors of `node`
    size_t bestNode = 0;
    Value bestAbove(0);
    auto offer = [&](size_t covered) {
      if (bestNode == 0 || above + top_[covered] > bestAbove + top_[bestNode]) {
        bestNode = covered;
        bestAbove = above;
      }
    };
    while (hi > end) {
      above += pending_[node];
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
    const Value best = bestAbove + top_[bestNode];
    node = bestNode;
    above = bestAbove;
    while (node < leaves_) {
      above += pending_[node];
      node = above + top_[2 * node] == best ? 2 * node : 2 * node + 1;
    }
    return {best, node - leaves_};
  }

 private:
  void apply(size_t node, Value delta) {
    top_[node] += delta;
    if (node < leaves_) pending_[node] += delta;
  }

  size_t leaves_ = 1;
  // top_[node]: the largest value below node, counting the additions pending
  // at node and below but not those of its ancestors; leaves at leaves_..2*leaves_-1.
  std::vector<Value> top_;
  std::vector<Value> pending_;  // an addition to every position below an inner node
};

}  // namespace mcjobs_detail

#endif  // MCJOBS_PREFIX_MAX_TREE_H
