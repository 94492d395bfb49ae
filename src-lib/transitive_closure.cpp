// The transitive closure of one level: built in one pass over the
// topological order the first time reachability is asked for, then extended
// by every arc insertion, with the handed-out transitive sets kept in step.
#include <algorithm>
#include <climits>
#include <iterator>

#include "detail/instance_graph.h"

namespace mcjobs_detail {

void ReachRow::cover(int first, int last) {
  if (words.empty()) {
    firstWord = first;
    words.assign(static_cast<size_t>(last - first), 0);
    return;
  }
  if (first < firstWord) {
    words.insert(words.begin(), static_cast<size_t>(firstWord - first), 0);
    firstWord = first;
  }
  if (last > endWord()) words.resize(static_cast<size_t>(last - firstWord), 0);
}

std::pair<int, int> ReachRow::bounds() const {
  std::pair<int, int> result{INT32_MAX, INT32_MIN};
  for (size_t w = 0; w < words.size(); ++w) {
    if (words[w] != 0) {
      result.first = (firstWord + static_cast<int>(w)) * 64 + __builtin_ctzll(words[w]);
      break;
    }
  }
  for (size_t w = words.size(); w-- > 0;) {
    if (words[w] != 0) {
      result.second = (firstWord + static_cast<int>(w)) * 64 + 63 - __builtin_clzll(words[w]);
      break;
    }
  }
  return result;
}

namespace {

// row = OR over the neighbours x of (rows[x] | {x}). The neighbours' rows are
// complete, since the caller walks the jobs so that they come first.
template <typename ForEachNeighbour>
void unionOfNeighbours(ReachRow& row, const std::vector<ReachRow>& rows,
                       ForEachNeighbour forEachNeighbour) {
  int first = INT_MAX;
  int last = INT_MIN;
  forEachNeighbour([&](int x) {
    const ReachRow& other = rows[static_cast<size_t>(x)];
    first = std::min(first, x >> 6);
    last = std::max(last, (x >> 6) + 1);
    if (!other.words.empty()) {
      first = std::min(first, other.firstWord);
      last = std::max(last, other.endWord());
    }
  });
  if (first > last) return;  // no neighbour
  row.cover(first, last);
  forEachNeighbour([&](int x) {
    const ReachRow& other = rows[static_cast<size_t>(x)];
    if (!other.words.empty()) {
      std::uint64_t* into = row.words.data() + (other.firstWord - row.firstWord);
      for (size_t w = 0; w < other.words.size(); ++w) into[w] |= other.words[w];
    }
    row.words[static_cast<size_t>((x >> 6) - row.firstWord)] |= std::uint64_t{1} << (x & 63);
  });
}

// Inserts an ascending run of new values into a set whose old elements lie in
// [bounds.first, bounds.second]. Closure sets mostly grow at one end (chains,
// forward arcs): values beyond either bound are linked at that end in constant
// time, without reading the tree; only values between the bounds search it.
template <typename Iterator, typename Value>
void insertAscending(Util::Set<int>& set, Iterator first, Iterator last, Value value,
                     std::pair<int, int> bounds) {
  auto belowAll = set.end();  // the last value placed before every old element
  for (; first != last; ++first) {
    const int v = value(*first);
    if (v > bounds.second) {
      set.emplace_hint(set.end(), v);
    } else if (v < bounds.first) {
      belowAll = set.emplace_hint(belowAll == set.end() ? set.begin() : std::next(belowAll), v);
    } else {
      set.insert(v);
    }
  }
}

}  // namespace

void InstanceGraph::buildClosure(int level) {
  ClosureIndex& closure = mClosure[level - 1];
  const ArcLists& arcs = mArcs[level - 1];
  const size_t n = static_cast<size_t>(jobs());
  closure.successors.assign(n, ReachRow());
  closure.predecessors.assign(n, ReachRow());
  // The CRIT_LO order is topological for CRIT_HI too: its arcs are a subset.
  for (size_t place = n; place-- > 0;) {
    const int u = mAtPosition[place];
    unionOfNeighbours(closure.successors[static_cast<size_t>(u)], closure.successors,
                      [&](auto visit) { arcs.forEachOut(u, visit); });
  }
  for (size_t place = 0; place < n; ++place) {
    const int v = mAtPosition[place];
    unionOfNeighbours(closure.predecessors[static_cast<size_t>(v)], closure.predecessors,
                      [&](auto visit) { arcs.forEachIn(v, visit); });
  }
  closure.built = true;
}

// Adds the arc u -> v to the closure of one level. The new paths are exactly
// x ~> u -> v ~> y with x in {u} + TP(u) and y in {v} + TS(v). A source x that
// already reaches v already reaches every such y, so only the sources outside
// TP(v) gain pairs, and of those pairs only the ones missing from x's bit row
// are new. Each new pair sets its bit in both rows (and enters the handed-out
// sets), which keeps the closures symmetric without walking the
// (1 + |TP(u)|) * (1 + |TS(v)|) grid.
void InstanceGraph::linkClosure(int u, int v, int level) {
  ClosureIndex& reach = mClosure[level - 1];
  if (reach.successors[static_cast<size_t>(u)].test(v)) return;  // implied by an existing path
  ClosureScratch& scratch = mScratch.closure;
  const auto& publishedPredecessors = mPublished.sets[level - 1][kTransitivePredecessors];

  ReachRow& targets = scratch.targets;
  targets = reach.successors[static_cast<size_t>(v)];
  targets.set(v);
  ReachRow& sources = scratch.sources;
  sources = reach.predecessors[static_cast<size_t>(u)];
  sources.set(u);
  ReachRow& reachingV = scratch.reachingTarget;  // TP(v) grows below: test its old content
  reachingV = reach.predecessors[static_cast<size_t>(v)];
  const int targetsLast = targets.endWord();

  // Gather the new pairs first and then fill one set at a time: every set is
  // touched once per arc, with ascending values.
  std::vector<std::pair<int, int>>& fresh = scratch.pairs;
  fresh.clear();
  sources.forEach([&](int x) {
    if (reachingV.test(x)) return;
    ReachRow& row = reach.successors[static_cast<size_t>(x)];
    Util::Set<int>* published = mPublished.find(level, kTransitiveSuccessors, x);
    const std::pair<int, int> bounds = published ? row.bounds() : std::pair<int, int>{};
    row.cover(targets.firstWord, targetsLast);
    const size_t offset = static_cast<size_t>(targets.firstWord - row.firstWord);
    const size_t firstOfX = fresh.size();
    for (size_t w = 0; w < targets.words.size(); ++w) {
      std::uint64_t added = targets.words[w] & ~row.words[offset + w];
      if (added == 0) continue;
      row.words[offset + w] |= added;
      const int base = (targets.firstWord + static_cast<int>(w)) * 64;
      while (added != 0) {
        fresh.emplace_back(x, base + __builtin_ctzll(added));
        added &= added - 1;
      }
    }
    if (published) {
      insertAscending(
          *published, fresh.begin() + static_cast<std::ptrdiff_t>(firstOfX), fresh.end(),
          [](const std::pair<int, int>& pair) { return pair.second; }, bounds);
    }
  });

  // Handed-out predecessor sets take their new members grouped by set, with
  // bounds read before the rows change; then every row takes its bits.
  std::vector<std::pair<int, int>>& toPublish = scratch.publishedPairs;
  toPublish.clear();
  if (!publishedPredecessors.empty()) {
    for (const auto& pair : fresh) {
      if (mPublished.find(level, kTransitivePredecessors, pair.second)) toPublish.push_back(pair);
    }
  }
  std::sort(toPublish.begin(), toPublish.end(),
            [](const std::pair<int, int>& a, const std::pair<int, int>& b) {
              return a.second != b.second ? a.second < b.second : a.first < b.first;
            });
  for (auto run = toPublish.begin(); run != toPublish.end();) {
    const int y = run->second;
    auto runEnd = std::find_if(run, toPublish.end(),
                               [y](const std::pair<int, int>& pair) { return pair.second != y; });
    insertAscending(
        *mPublished.find(level, kTransitivePredecessors, y), run, runEnd,
        [](const std::pair<int, int>& pair) { return pair.first; },
        reach.predecessors[static_cast<size_t>(y)].bounds());
    run = runEnd;
  }
  for (const auto& pair : fresh)
    reach.predecessors[static_cast<size_t>(pair.second)].set(pair.first);
}

}  // namespace mcjobs_detail
