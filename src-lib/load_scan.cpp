// The interval scan in O(n log n) per evaluation. The largest ratio of
// budgets to length is found in the manner of Dinkelbach's iteration: for the
// ratio p/q reached so far, one sweep over the interval ends, with the interval
// starts in a prefix add/max tree, finds for each end the start with the largest
// q * budgets - p * length; a positive one beats p/q, and the best of those
// is the next ratio. A handful of sweeps suffice. Intervals with fewer than np
// jobs, which np scales up, get a pass of their own. Ratios are compared
// exactly in integers, and the returned double is computed from the winning
// interval as the quadratic scan computes it, so both give the same double.
#include "detail/load_scan.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "detail/prefix_max_tree.h"
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

// An interval by the positions of its end points, with its counted budgets.
struct Place {
  size_t start = 0;  // in arrivals
  size_t end = 0;    // in deadlines
  std::int64_t time = 0;
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
      : mArrivals(arrivals), mDeadlines(deadlines) {
    for (const LoadWindow& window : counted) {
      const size_t starts = static_cast<size_t>(
          std::upper_bound(arrivals.begin(), arrivals.end(), window.arrival) - arrivals.begin());
      const size_t close = static_cast<size_t>(
          std::lower_bound(deadlines.begin(), deadlines.end(), window.deadline) -
          deadlines.begin());
      if (starts > 0 && close < deadlines.size()) mEntries.push_back({starts, close, window.wcet});
    }
    std::sort(mEntries.begin(), mEntries.end(),
              [](const Entry& a, const Entry& b) { return a.close < b.close; });
    // A sweep's values are at most length * budgets + budgets * |time| in size
    // (q is a length or 1, p a sum of budgets), its gains at most that plus budgets * |time|.
    Wide magnitude = 0;
    for (const Entry& entry : mEntries)
      magnitude += entry.wcet < 0 ? -Wide{entry.wcet} : entry.wcet;
    const Wide span = Wide{deadlines.back()} - arrivals.front();
    const Wide time = std::max({-Wide{arrivals.front()}, Wide{arrivals.back()},
                                -Wide{deadlines.front()}, Wide{deadlines.back()}});
    mNarrow = magnitude * (std::max(span, Wide{1}) + 2 * time) < (Wide{1} << 62);
    mOpensBefore.reserve(deadlines.size());
    for (int ddl : deadlines)
      mOpensBefore.push_back(static_cast<size_t>(
          std::lower_bound(arrivals.begin(), arrivals.end(), ddl) - arrivals.begin()));
  }

  bool empty() const { return mEntries.empty(); }

  // The interval with the largest budgets / length, if one is positive.
  bool bestRatio(Interval* best) {
    Place place;
    bool found = false;
    // Each round's winner beats the ratio of the one before strictly, so the
    // rounds end; in practice after a handful.
    while (mNarrow ? sweep(mNarrowTree, &place, found) : sweep(mWideTree, &place, found))
      found = true;
    if (!found) return false;
    best->time = place.time;
    best->length = std::int64_t{mDeadlines[place.end]} - mArrivals[place.start];
    best->jobs = 0;
    for (const Entry& entry : mEntries) {
      if (entry.close > place.end) break;
      if (entry.starts > place.start) ++best->jobs;
    }
    return true;
  }

  // Among intervals counting from one to np - 1 jobs, the one with the largest
  // np * budgets / (length * jobs), if one is positive. For a fixed start the
  // count only grows with the end, and while it stays the same so does the
  // total, so only the shortest interval of each count matters: the first np
  // windows by closing end tell them all.
  bool bestFewJobs(int np, Interval* best) const {
    std::vector<Entry> byStart = mEntries;
    std::stable_sort(byStart.begin(), byStart.end(),
                     [](const Entry& a, const Entry& b) { return a.starts > b.starts; });
    const size_t keep = std::min(static_cast<size_t>(np), byStart.size());
    std::vector<Entry> first;  // the `keep` earliest closing windows, by closing end
    first.reserve(keep);
    bool found = false;
    size_t next = 0;
    for (size_t start = mArrivals.size(); start-- > 0;) {
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
          std::upper_bound(mDeadlines.begin(), mDeadlines.end(), mArrivals[start]) -
          mDeadlines.begin());
      if (first.empty() || opening == mDeadlines.size()) continue;
      const size_t fewer = std::min(first.size(), static_cast<size_t>(np) - 1);
      std::int64_t time = 0;
      for (size_t k = 0; k < fewer; ++k) {
        time += first[k].wcet;
        const size_t end = std::max(first[k].close, opening);
        if (k + 1 < first.size() && std::max(first[k + 1].close, opening) == end) continue;
        if (time <= 0) continue;
        const Interval candidate{time, std::int64_t{mDeadlines[end]} - mArrivals[start],
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
  // One round: for the ratio p/q of `place` (0 when there is none yet), the
  // start with the largest q * budgets - p * length for each end. Those with a
  // positive value beat p/q; the best ratio among them becomes `place`.
  // Taking the best ratio rather than the largest value, as Dinkelbach's
  // iteration does, saves rounds and still ends at the largest ratio. The
  // tree holds, for the interval starting at arrivals[i], q * budgets + p * arrivals[i].
  template <typename Value>
  bool sweep(PrefixMaxTree<Value>& tree, Place* place, bool haveRatio) {
    const Value pace = haveRatio ? static_cast<Value>(place->time) : Value(0);
    const Value scale =
        haveRatio ? static_cast<Value>(mDeadlines[place->end]) - mArrivals[place->start] : Value(1);
    std::vector<Value> values(mArrivals.size());
    for (size_t i = 0; i < mArrivals.size(); ++i) values[i] = pace * mArrivals[i];
    tree.assign(values);
    bool improved = false;
    Place best = *place;
    Value bestLength = scale;
    size_t next = 0;
    for (size_t d = 0; d < mDeadlines.size(); ++d) {
      for (; next < mEntries.size() && mEntries[next].close <= d; ++next)
        tree.addPrefix(mEntries[next].starts, scale * mEntries[next].wcet);
      if (mOpensBefore[d] == 0) continue;
      const std::pair<Value, size_t> top = tree.maxPrefix(mOpensBefore[d]);
      if (top.first - pace * mDeadlines[d] <= 0) continue;
      const size_t start = top.second;
      const Value time = (top.first - pace * mArrivals[start]) / scale;
      const Value length = static_cast<Value>(mDeadlines[d]) - mArrivals[start];
      if (!improved || Wide{time} * bestLength > Wide{best.time} * length) {
        best = {start, d, static_cast<std::int64_t>(time)};
        bestLength = length;
        improved = true;
      }
    }
    if (improved) *place = best;
    return improved;
  }

  const std::vector<int>& mArrivals;
  const std::vector<int>& mDeadlines;
  std::vector<Entry> mEntries;       // by closing end
  std::vector<size_t> mOpensBefore;  // per deadline: the arrivals before it
  bool mNarrow = false;              // whether every value of a sweep fits 64 bits
  PrefixMaxTree<std::int64_t> mNarrowTree;
  PrefixMaxTree<Wide> mWideTree;
};

}  // namespace

double maxIntervalLoad(const std::vector<int>& arrivals, const std::vector<int>& deadlines,
                       const std::vector<LoadWindow>& counted, int np) {
  if (arrivals.empty() || deadlines.empty() || counted.empty()) return 0.0;
  const std::int64_t maxLength =
      std::max(std::int64_t{0}, std::int64_t{deadlines.back()} - arrivals.front());
  if (np < 1 || !candidatesExact(counted, maxLength, np))
    return maxIntervalLoadQuadratic(arrivals, deadlines, counted, np);
  // The pass over intervals of fewer than np jobs costs about np * (n + |arrivals|);
  // with np near the job count it sees nearly every interval and the direct
  // scan is cheaper. Both give the same double.
  const Wide fewJobsCost =
      Wide{std::min<std::int64_t>(np, static_cast<std::int64_t>(counted.size()))} *
      (counted.size() + arrivals.size());
  if (np > 1 && fewJobsCost > Wide{arrivals.size()} * (deadlines.size() + counted.size()))
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
