// The precedence graph of a JobInstance: arc storage, the topological order
// that answers the cycle test, bulk insertion for the readers, the canonical
// arc list and the sets handed out by the accessors.
#include "detail/instance_graph.h"

#include <algorithm>

#include "detail/topo_order.h"

namespace mcjobs_detail {

bool ArcLists::contains(int u, int v) const {
  int out = firstOut(u);
  int in = firstIn(v);
  while (out >= 0 && in >= 0) {
    if (slot(out).to == v || slot(in).from == u) return true;
    out = slot(out).nextOut;
    in = slot(in).nextIn;
  }
  return false;
}

void ArcLists::truncate(int count) {
  // The newest arcs head their lists, so unlinking them newest first
  // restores every head.
  for (int s = size() - 1; s >= count; --s) {
    const Slot& last = slot(s);
    mOutHead[static_cast<size_t>(last.from)] = last.nextOut;
    mInHead[static_cast<size_t>(last.to)] = last.nextIn;
  }
  mSlots.resize(static_cast<size_t>(count));
}

void ArcLists::add(int u, int v) {
  const int s = static_cast<int>(mSlots.size());
  mSlots.push_back({u, v, mOutHead[static_cast<size_t>(u)], mInHead[static_cast<size_t>(v)]});
  mOutHead[static_cast<size_t>(u)] = s;
  mInHead[static_cast<size_t>(v)] = s;
}

bool PublishedSets::any() const {
  for (const auto& level : sets) {
    for (const auto& kind : level) {
      if (!kind.empty()) return true;
    }
  }
  return false;
}

void InstanceGraph::resize(int count) {
  const int old = jobs();
  if (count == old) return;
  // Shrinking happens only without arcs (job removal), where any order will do.
  mPosition.resize(static_cast<size_t>(count));
  mAtPosition.resize(static_cast<size_t>(count));
  for (int id = count < old ? 0 : old; id < count; ++id) {
    mPosition[static_cast<size_t>(id)] = id;
    mAtPosition[static_cast<size_t>(id)] = id;
  }
  for (auto& arcs : mArcs) arcs.resize(count);
  for (auto& closure : mClosure) {
    if (!closure.built) continue;
    closure.successors.resize(static_cast<size_t>(count));
    closure.predecessors.resize(static_cast<size_t>(count));
  }
}

void InstanceGraph::insertArc(int u, int v, int levels) {
  MCJOBS_CHECK(u != v, "Cyclic path in task graph!");
  reorder(u, v);
  for (int level = CRIT_LO; level <= levels; ++level) addArc(u, v, level);
}

void InstanceGraph::addArc(int u, int v, int level) {
  ArcLists& arcs = mArcs[level - 1];
  if (arcs.contains(u, v)) return;
  arcs.add(u, v);
  announce(u, v, level);
}

void InstanceGraph::announce(int u, int v, int level) {
  if (Util::Set<int>* successors = mPublished.find(level, kSuccessors, u)) successors->insert(v);
  if (Util::Set<int>* predecessors = mPublished.find(level, kPredecessors, v)) {
    predecessors->insert(u);
  }
  if (mClosure[level - 1].built) linkClosure(u, v, level);
}

void InstanceGraph::reorder(int u, int v) {
  const int lower = mPosition[static_cast<size_t>(v)];
  const int upper = mPosition[static_cast<size_t>(u)];
  if (upper < lower) return;  // the arc agrees with the order

  const ArcLists& arcs = mArcs[CRIT_LO - 1];
  GraphScratch& s = mScratch;
  s.mark.resize(static_cast<size_t>(jobs()), 0);
  auto clearMarks = [&s] {
    for (int id : s.forward) s.mark[static_cast<size_t>(id)] = 0;
    for (int id : s.backward) s.mark[static_cast<size_t>(id)] = 0;
  };

  // Jobs reachable from v that the order places before u. Meeting u itself
  // means v already reaches u: the arc would close a cycle.
  s.forward.assign(1, v);
  s.backward.clear();
  s.mark[static_cast<size_t>(v)] = 1;
  s.stack.assign(1, v);
  while (!s.stack.empty()) {
    const int x = s.stack.back();
    s.stack.pop_back();
    for (int slot = arcs.firstOut(x); slot >= 0; slot = arcs.slot(slot).nextOut) {
      const int w = arcs.slot(slot).to;
      if (w == u) {
        clearMarks();
        MCJOBS_FAIL("Cyclic path in task graph!");
      }
      if (s.mark[static_cast<size_t>(w)] || mPosition[static_cast<size_t>(w)] > upper) continue;
      s.mark[static_cast<size_t>(w)] = 1;
      s.forward.push_back(w);
      s.stack.push_back(w);
    }
  }
  // Jobs that reach u and that the order places after v. None of them is
  // reachable from v, or the search above would have met u.
  s.backward.push_back(u);
  s.mark[static_cast<size_t>(u)] = 2;
  s.stack.assign(1, u);
  while (!s.stack.empty()) {
    const int x = s.stack.back();
    s.stack.pop_back();
    for (int slot = arcs.firstIn(x); slot >= 0; slot = arcs.slot(slot).nextIn) {
      const int w = arcs.slot(slot).from;
      if (s.mark[static_cast<size_t>(w)] || mPosition[static_cast<size_t>(w)] < lower) continue;
      s.mark[static_cast<size_t>(w)] = 2;
      s.backward.push_back(w);
      s.stack.push_back(w);
    }
  }
  clearMarks();

  // The two groups keep their inner order and swap sides within the places
  // they held together: everything that reaches u now precedes everything v reaches.
  auto byPosition = [this](int a, int b) {
    return mPosition[static_cast<size_t>(a)] < mPosition[static_cast<size_t>(b)];
  };
  std::sort(s.forward.begin(), s.forward.end(), byPosition);
  std::sort(s.backward.begin(), s.backward.end(), byPosition);
  s.positions.clear();
  for (int id : s.backward) s.positions.push_back(mPosition[static_cast<size_t>(id)]);
  for (int id : s.forward) s.positions.push_back(mPosition[static_cast<size_t>(id)]);
  std::sort(s.positions.begin(), s.positions.end());
  size_t next = 0;
  for (const auto* group : {&s.backward, &s.forward}) {
    for (int id : *group) {
      const int place = s.positions[next++];
      mPosition[static_cast<size_t>(id)] = place;
      mAtPosition[static_cast<size_t>(place)] = id;
    }
  }
}

bool InstanceGraph::hasCycle(const std::vector<Arc>& list, size_t count) const {
  const ArcLists& arcs = mArcs[CRIT_LO - 1];
  const size_t n = static_cast<size_t>(jobs());
  // Out-lists of the existing and the new arcs in one compact array, then Kahn.
  std::vector<int> start(n + 1, 0);
  auto count_arc = [&](int u) { ++start[static_cast<size_t>(u) + 1]; };
  for (int u = 0; u < static_cast<int>(n); ++u) arcs.forEachOut(u, [&](int) { count_arc(u); });
  for (size_t k = 0; k < count; ++k) count_arc(list[k].from_id);
  for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
  std::vector<int> target(static_cast<size_t>(start[n]));
  std::vector<int> fillAt(start.begin(), start.end() - 1);
  auto place = [&](int u, int v) {
    target[static_cast<size_t>(fillAt[static_cast<size_t>(u)]++)] = v;
  };
  for (int u = 0; u < static_cast<int>(n); ++u) arcs.forEachOut(u, [&](int v) { place(u, v); });
  for (size_t k = 0; k < count; ++k) place(list[k].from_id, list[k].to_id);
  fillAt = std::vector<int>();

  return !kahnOrder(static_cast<int>(n), [&](int u, auto&& visit) {
            for (int k = start[static_cast<size_t>(u)]; k < start[static_cast<size_t>(u) + 1]; ++k)
              visit(target[static_cast<size_t>(k)]);
          }).complete();
}

// In list order, with each source's targets marked once per level.
void InstanceGraph::addNewArcsBySource(const std::vector<Arc>& list,
                                       const std::vector<std::uint8_t>& levels,
                                       std::vector<size_t>& start) {
  const size_t n = start.size() - 1;
  for (size_t u = 0; u < n; ++u) start[u + 1] += start[u];
  std::vector<size_t> fill(start.begin(), start.end() - 1), bySource(list.size());
  for (size_t k = 0; k < list.size(); ++k)
    bySource[fill[static_cast<size_t>(list[k].from_id)]++] = k;
  // Bit level - 1 of fresh[k]: arc k is new at that level.
  std::vector<std::uint8_t> fresh(list.size(), 0);
  std::vector<int> markedBy(n);
  for (int level = CRIT_LO; level <= CRIT_COUNT; ++level) {
    std::fill(markedBy.begin(), markedBy.end(), -1);
    const ArcLists& arcs = mArcs[level - 1];
    for (size_t u = 0; u < n; ++u) {
      if (start[u] == start[u + 1]) continue;
      const int source = static_cast<int>(u);
      arcs.forEachOut(source, [&](int v) { markedBy[static_cast<size_t>(v)] = source; });
      for (size_t i = start[u]; i < start[u + 1]; ++i) {
        const size_t k = bySource[i];
        int& mark = markedBy[static_cast<size_t>(list[k].to_id)];
        if (levels[k] < level || mark == source) continue;
        mark = source;
        fresh[k] |= static_cast<std::uint8_t>(1u << (level - 1));
      }
    }
  }
  for (size_t k = 0; k < list.size(); ++k)
    for (int level = CRIT_LO; level <= levels[k]; ++level)
      if (fresh[k] & (1u << (level - 1))) mArcs[level - 1].add(list[k].from_id, list[k].to_id);
}

long InstanceGraph::insertAll(const std::vector<Arc>& list, const std::vector<Job>& jobs) {
  if (list.empty()) return -1;
  std::vector<std::uint8_t> levels(list.size());
  for (size_t k = 0; k < list.size(); ++k) {
    levels[k] = static_cast<std::uint8_t>(arcLevels(jobs[static_cast<size_t>(list[k].from_id)],
                                                    jobs[static_cast<size_t>(list[k].to_id)]));
  }
  mArcs[CRIT_LO - 1].reserveMore(list.size());
  mArcs[CRIT_HI - 1].reserveMore(
      static_cast<size_t>(std::count(levels.begin(), levels.end(), CRIT_HI)));

  // The arcs go straight into the lists and the order is taken from them
  // once; a cycle takes them out again.
  const int kept[CRIT_COUNT] = {mArcs[0].size(), mArcs[1].size()};
  // contains() walks a list per arc, which is cheap while every source brings
  // few arcs; past that (dense generated graphs) its cost is the product of
  // the degrees, so the new arcs are then found source by source instead.
  const size_t n = jobs.size();
  std::vector<size_t> start(n + 1, 0);
  for (const Arc& arc : list) ++start[static_cast<size_t>(arc.from_id) + 1];
  constexpr size_t kFewArcs = 64;
  if (*std::max_element(start.begin(), start.end()) <= kFewArcs) {
    for (size_t k = 0; k < list.size(); ++k) {
      for (int level = CRIT_LO; level <= levels[k]; ++level) {
        ArcLists& arcs = mArcs[level - 1];
        if (!arcs.contains(list[k].from_id, list[k].to_id))
          arcs.add(list[k].from_id, list[k].to_id);
      }
    }
  } else {
    addNewArcsBySource(list, levels, start);
  }
  if (!orderFromLists()) {
    for (int level = 0; level < CRIT_COUNT; ++level) mArcs[level].truncate(kept[level]);
    return firstCyclicArc(list);
  }
  for (int level = CRIT_LO; level <= CRIT_COUNT; ++level) {
    const ArcLists& arcs = mArcs[level - 1];
    for (int s = kept[level - 1]; s < arcs.size(); ++s) {
      announce(arcs.slot(s).from, arcs.slot(s).to, level);
    }
  }
  return -1;
}

long InstanceGraph::firstCyclicArc(const std::vector<Arc>& list) const {
  // The shortest cyclic prefix ends with the first arc that closes a cycle.
  size_t acyclic = 0;           // a prefix known to be acyclic
  size_t cyclic = list.size();  // a prefix known to be cyclic
  while (cyclic - acyclic > 1) {
    const size_t middle = acyclic + (cyclic - acyclic) / 2;
    (hasCycle(list, middle) ? cyclic : acyclic) = middle;
  }
  return static_cast<long>(cyclic - 1);
}

bool InstanceGraph::orderFromLists() {
  const ArcLists& arcs = mArcs[CRIT_LO - 1];
  const size_t n = static_cast<size_t>(jobs());
  const KahnOrder sorted =
      kahnOrder(static_cast<int>(n), [&arcs](int u, auto&& visit) { arcs.forEachOut(u, visit); });
  if (!sorted.complete()) return false;
  const std::vector<int>& ready = sorted.order;
  for (size_t place = 0; place < n; ++place) {
    mAtPosition[place] = ready[place];
    mPosition[static_cast<size_t>(ready[place])] = static_cast<int>(place);
  }
  return true;
}

std::vector<Arc> InstanceGraph::allArcs(int level) const {
  // Bucketed by source straight from the pool, which is read in order rather
  // than list by list; contains() kept duplicates out.
  const ArcLists& arcs = mArcs[level - 1];
  const size_t n = static_cast<size_t>(arcs.jobs());
  const int count = arcs.size();
  std::vector<int> start(n + 1, 0);
  for (int s = 0; s < count; ++s) ++start[static_cast<size_t>(arcs.slot(s).from) + 1];
  for (size_t u = 0; u < n; ++u) start[u + 1] += start[u];
  std::vector<Arc> result(static_cast<size_t>(count));
  for (int s = 0; s < count; ++s) {
    const ArcLists::Slot& slot = arcs.slot(s);
    result[static_cast<size_t>(start[static_cast<size_t>(slot.from)]++)] = Arc(slot.from, slot.to);
  }
  // start[u] now marks the end of u's bucket.
  auto byTarget = [](const Arc& a, const Arc& b) { return a.to_id < b.to_id; };
  for (size_t u = 0, begin = 0; u < n; begin = static_cast<size_t>(start[u]), ++u) {
    const size_t end = static_cast<size_t>(start[u]);
    if (end - begin > 1) std::sort(result.begin() + begin, result.begin() + end, byTarget);
  }
  return result;
}

Util::Set<int>& InstanceGraph::set(SetKind kind, int id, int level) {
  auto& slots = mPublished.sets[level - 1][kind];
  if (slots.size() < static_cast<size_t>(jobs())) slots.resize(static_cast<size_t>(jobs()));
  std::unique_ptr<Util::Set<int>>& slot = slots[static_cast<size_t>(id)];
  if (!slot) {
    auto created = std::make_unique<Util::Set<int>>();
    fill(kind, id, level, *created);
    slot = std::move(created);
  }
  return *slot;
}

const ClosureIndex& InstanceGraph::closure(int level) {
  if (!mClosure[level - 1].built) buildClosure(level);
  return mClosure[level - 1];
}

void InstanceGraph::fill(SetKind kind, int id, int level, Util::Set<int>& set) {
  if (kind == kTransitiveSuccessors || kind == kTransitivePredecessors) {
    const ClosureIndex& index = closure(level);
    const ReachRow& row =
        (kind == kTransitiveSuccessors ? index.successors
                                       : index.predecessors)[static_cast<size_t>(id)];
    row.forEach([&set](int member) { set.emplace_hint(set.end(), member); });
    return;
  }
  std::vector<int>& members = mScratch.stack;
  members.clear();
  const ArcLists& arcs = mArcs[level - 1];
  auto add = [&members](int member) { members.push_back(member); };
  if (kind == kSuccessors) {
    arcs.forEachOut(id, add);
  } else {
    arcs.forEachIn(id, add);
  }
  std::sort(members.begin(), members.end());
  for (int member : members) set.emplace_hint(set.end(), member);
}

}  // namespace mcjobs_detail
