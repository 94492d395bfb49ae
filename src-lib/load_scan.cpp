// The interval scan in O(n log n) per evaluation. The largest ratio of
// budgets to length is found by Dinkelbach's iteration: for a ratio p/q, one
// sweep over the interval ends finds the interval with the largest
// q * budgets - p * length, and a positive one becomes the next ratio. Ratios are
// compared exactly in 128-bit integers, and the returned double is computed
// from the winning interval as the quadratic scan computes it, so both give
// the same double.
#include "load_scan.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "prefix_max_tree.h"
#include "util.h"

namespace mcjobs_detail {

namespace {

__extension__ typedef __int128 Wide;

constexpr Wide kExactLimit = Wide{1} << 53;  // integers up to here are exact in a double

// A counted window in positions: the interval starting at arrivals[i] counts
// it when i < starts, the one ending at deadlines[d] when d >= close.
struct Entry {
  size_t starts;
  size_t close;
  int wcet;
};

struct Interval {
  std::int64_t time = 0;    // the counted budgets
  std::int64_t length = 0;  // ddl - arr, positive
  int jobs = 0;
};

// The quadratic scan's formula, operation for operation.
double loadOf(const Interval& interval, int np) {
  const double total_time = static_cast<double>(interval.time);
  const double length = static_cast<double>(interval.length);
  return (static_cast<double>(np) * total_time) /
         (length * static_cast<double>(Util::minimum(interval.jobs, np)));
}

bool powerOfTwo(int value) {
  return (value & (value - 1)) == 0;
}

// Whether every candidate's double is the correctly rounded exact ratio: the
// budget sums (in any order), np * sum and length * min(jobs, np) are then
// all exact, so only the final division rounds. Rounding is monotone, so the
// exact maximum gives the largest double, and equal ratios give equal doubles.
bool candidatesExact(const std::vector<LoadWindow>& counted, std::int64_t maxLength, int np) {
  Wide magnitude = 0;
  for (const LoadWindow& window : counted)
    magnitude += window.wcet < 0 ? -Wide{window.wcet} : window.wcet;
  if (magnitude > kExactLimit) return false;
  if (!powerOfTwo(np) && Wide{np} * magnitude > kExactLimit) return false;
  const Wide jobs = static_cast<Wide>(counted.size());
  const Wide fewerThanNp = std::min(Wide{np} - 1, jobs);
  if (Wide{maxLength} * fewerThanNp > kExactLimit) return false;
  if (jobs >= np && !powerOfTwo(np) && Wide{maxLength} * np > kExactLimit) return false;
  return true;
}

class IntervalScan {
 public:
  IntervalScan(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
               const std::vector<LoadWindow>& counted)
      : arrivals_(arrivals), deadlines_(deadlines) {
    for (const LoadWindow& window : counted) {
      const size_t starts = static_cast<size_t>(
          std::upper_bound(arrivals.begin(), arrivals.end(), window.arrival) - arrivals.begin());
      const size_t close = static_cast<size_t>(
          std::lower_bound(deadlines.begin(), deadlines.end(), window.deadline) -
          deadlines.begin());
      if (starts > 0 && close < deadlines.size()) entries_.push_back({starts, close, window.wcet});
    }
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.close < b.close; });
    opensBefore_.reserve(deadlines.size());
    for (int ddl : deadlines)
      opensBefore_.push_back(static_cast<size_t>(
          std::lower_bound(arrivals.begin(), arrivals.end(), ddl) - arrivals.begin()));
  }

  bool empty() const { return entries_.empty(); }

  // The interval with the largest budgets / length, if one is positive.
  bool bestRatio(Interval* best) {
    Wide p = 0;
    Wide q = 1;
    bool found = false;
    size_t end = 0;
    // Each round's winner beats the ratio p/q strictly, so the rounds end; in
    // practice after a handful.
    while (sweep(p, q, &end)) {
      *best = bestStartFor(end, p, q);
      found = true;
      p = best->time;
      q = best->length;
    }
    return found;
  }

  // Among intervals counting from one to np - 1 jobs, the one with the largest
  // np * budgets / (length * jobs), if one is positive. For a fixed start the
  // count only grows with the end, and while it stays the same so does the
  // total, so only the shortest interval of each count matters: the first np
  // windows by closing end tell them all.
  bool bestFewJobs(int np, Interval* best) const {
    std::vector<Entry> byStart = entries_;
    std::stable_sort(byStart.begin(), byStart.end(),
                     [](const Entry& a, const Entry& b) { return a.starts > b.starts; });
    const size_t keep = std::min(static_cast<size_t>(np), byStart.size());
    std::vector<Entry> first;  // the `keep` earliest closing windows, by closing end
    first.reserve(keep);
    bool found = false;
    size_t next = 0;
    for (size_t start = arrivals_.size(); start-- > 0;) {
      for (; next < byStart.size() && byStart[next].starts > start; ++next) {
        const Entry& entry = byStart[next];
        if (first.size() == keep) {
          if (entry.close >= first.back().close) continue;
          first.pop_back();
        }
        first.insert(
            std::upper_bound(first.begin(), first.end(), entry,
                             [](const Entry& a, const Entry& b) { return a.close < b.close; }),
            entry);
      }
      const size_t opening = static_cast<size_t>(
          std::upper_bound(deadlines_.begin(), deadlines_.end(), arrivals_[start]) -
          deadlines_.begin());
      if (first.empty() || opening == deadlines_.size()) continue;
      const size_t fewer = std::min(first.size(), static_cast<size_t>(np) - 1);
      std::int64_t time = 0;
      for (size_t k = 0; k < fewer; ++k) {
        time += first[k].wcet;
        const size_t end = std::max(first[k].close, opening);
        if (k + 1 < first.size() && std::max(first[k + 1].close, opening) == end) continue;
        if (time <= 0) continue;
        const Interval candidate{time, std::int64_t{deadlines_[end]} - arrivals_[start],
                                 static_cast<int>(k + 1)};
        if (!found || Wide{candidate.time} * best->jobs * best->length >
                          Wide{best->time} * candidate.jobs * candidate.length) {
          *best = candidate;
          found = true;
        }
      }
    }
    return found;
  }

 private:
  // Whether some interval has q * budgets - p * length > 0; `end` gets the
  // position of the end of the largest such interval. The tree holds, for the
  // interval starting at arrivals[i], q * budgets + p * arrivals[i].
  bool sweep(Wide p, Wide q, size_t* end) {
    values_.resize(arrivals_.size());
    for (size_t i = 0; i < arrivals_.size(); ++i) values_[i] = p * arrivals_[i];
    tree_.assign(values_);
    Wide bestGain = 0;
    bool found = false;
    size_t next = 0;
    for (size_t d = 0; d < deadlines_.size(); ++d) {
      for (; next < entries_.size() && entries_[next].close <= d; ++next)
        tree_.addPrefix(entries_[next].starts, q * entries_[next].wcet);
      if (opensBefore_[d] == 0) continue;
      const Wide gain = tree_.maxPrefix(opensBefore_[d]) - p * deadlines_[d];
      if (gain > bestGain) {
        bestGain = gain;
        *end = d;
        found = true;
      }
    }
    return found;
  }

  // The start that maximises q * budgets - p * length for the end deadlines_[end].
  Interval bestStartFor(size_t end, Wide p, Wide q) const {
    const size_t opens = opensBefore_[end];
    std::vector<std::int64_t> time(opens + 1, 0);
    std::vector<int> jobs(opens + 1, 0);
    for (const Entry& entry : entries_) {
      if (entry.close > end) break;
      const size_t slot = std::min(entry.starts, opens);
      time[slot] += entry.wcet;
      ++jobs[slot];
    }
    Interval best;
    Wide bestGain = 0;
    bool found = false;
    Interval here;
    for (size_t start = opens; start-- > 0;) {
      here.time += time[start + 1];
      here.jobs += jobs[start + 1];
      here.length = std::int64_t{deadlines_[end]} - arrivals_[start];
      const Wide gain = q * here.time - p * here.length;
      if (!found || gain > bestGain) {
        best = here;
        bestGain = gain;
        found = true;
      }
    }
    return best;
  }

  const std::vector<int>& arrivals_;
  const std::vector<int>& deadlines_;
  std::vector<Entry> entries_;       // by closing end
  std::vector<size_t> opensBefore_;  // per deadline: the arrivals before it
  std::vector<Wide> values_;
  PrefixMaxTree<Wide> tree_;
};

}  // namespace

double maxIntervalLoad(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
                       const std::vector<LoadWindow>& counted, int np) {
  if (arrivals.empty() || deadlines.empty() || counted.empty()) return 0.0;
  const std::int64_t maxLength =
      std::max(std::int64_t{0}, std::int64_t{deadlines.back()} - arrivals.front());
  if (np < 1 || !candidatesExact(counted, maxLength, np))
    return maxIntervalLoadQuadratic(arrivals, deadlines, counted, np);

  IntervalScan scan(arrivals, deadlines, counted);
  if (scan.empty()) return 0.0;
  Interval ratio;
  const bool haveRatio = scan.bestRatio(&ratio);
  Interval few;
  const bool haveFew = np > 1 && scan.bestFewJobs(np, &few);
  // An interval with fewer than np jobs is worth np / jobs times its ratio, so
  // the larger of the two winners is the largest candidate of all.
  const Interval* winner = haveRatio ? &ratio : nullptr;
  if (haveFew && (!haveRatio ||
                  Wide{np} * few.time * ratio.length >= Wide{ratio.time} * few.jobs * few.length))
    winner = &few;
  if (winner == nullptr) return 0.0;
  const double load = loadOf(*winner, np);
  return load > 0.0 ? load : 0.0;
}

}  // namespace mcjobs_detail
