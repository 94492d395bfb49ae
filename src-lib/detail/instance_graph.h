// Internal: the precedence graph behind a JobInstance. The arcs of each level
// live in compact linked lists, one topological order serves the cycle test,
// the closure is built only when reachability is asked for, and a
// Util::Set exists only once an accessor has handed it out. Private so that
// the public header shows the API and not these data structures.
#ifndef MCJOBS_INSTANCE_GRAPH_H
#define MCJOBS_INSTANCE_GRAPH_H

#include <cstdint>
#include <memory>
#include <vector>

#include "detail/check.h"
#include "detail/closure_index.h"
#include "job.h"

namespace mcjobs_detail {

/// The arcs of one level as two families of singly linked lists threaded
/// through one pool: an arc costs 16 bytes and a job two ints, and adding an
/// arc takes constant time. Lists keep duplicates out only through contains().
class ArcLists {
 public:
  struct Slot {
    int from, to, nextOut, nextIn;
  };

  void resize(int jobs) {
    mOutHead.resize(static_cast<size_t>(jobs), -1);
    mInHead.resize(static_cast<size_t>(jobs), -1);
  }
  void reserveMore(size_t arcs) { mSlots.reserve(mSlots.size() + arcs); }
  bool empty() const { return mSlots.empty(); }
  int size() const { return static_cast<int>(mSlots.size()); }
  int jobs() const { return static_cast<int>(mOutHead.size()); }
  /// Whether u -> v is present; walks both lists in step, so the cost is the
  /// shorter of the out-list of u and the in-list of v.
  bool contains(int u, int v) const;
  void add(int u, int v);
  /// Removes the arcs added after the first `count`, newest first.
  void truncate(int count);

  int firstOut(int u) const { return mOutHead[static_cast<size_t>(u)]; }
  int firstIn(int v) const { return mInHead[static_cast<size_t>(v)]; }
  const Slot& slot(int s) const { return mSlots[static_cast<size_t>(s)]; }

  template <typename Visit>
  void forEachOut(int u, Visit visit) const {
    for (int s = firstOut(u); s >= 0; s = slot(s).nextOut) visit(slot(s).to);
  }
  template <typename Visit>
  void forEachIn(int v, Visit visit) const {
    for (int s = firstIn(v); s >= 0; s = slot(s).nextIn) visit(slot(s).from);
  }

 private:
  std::vector<int> mOutHead;
  std::vector<int> mInHead;
  std::vector<Slot> mSlots;
};

/// The four sets an accessor hands out per job and level.
enum SetKind {
  kSuccessors,
  kPredecessors,
  kTransitiveSuccessors,
  kTransitivePredecessors,
  kSetKinds
};

/// Sets handed out by the accessors, created on first request and from then
/// on kept equal to the graph by every insertion. Their addresses never move,
/// so references stay valid across arc insertions and moves of the instance.
/// A copy starts with none handed out: it fills its own on request.
struct PublishedSets {
  std::vector<std::unique_ptr<Util::Set<int>>> sets[CRIT_COUNT][kSetKinds];

  PublishedSets() = default;
  PublishedSets(const PublishedSets&) {}
  PublishedSets& operator=(const PublishedSets&) {
    *this = PublishedSets();
    return *this;
  }
  PublishedSets(PublishedSets&&) noexcept = default;
  PublishedSets& operator=(PublishedSets&&) noexcept = default;

  Util::Set<int>* find(int level, SetKind kind, int id) const {
    const auto& slots = sets[level - 1][kind];
    return static_cast<size_t>(id) < slots.size() ? slots[static_cast<size_t>(id)].get() : nullptr;
  }
  bool any() const;
};

/// Working space of the reordering and the closure update; never copied.
struct GraphScratch {
  std::vector<std::uint8_t> mark;
  std::vector<int> stack;
  std::vector<int> forward;
  std::vector<int> backward;
  std::vector<int> positions;
  ClosureScratch closure;

  GraphScratch() = default;
  GraphScratch(const GraphScratch&) {}
  GraphScratch& operator=(const GraphScratch&) { return *this; }
  GraphScratch(GraphScratch&&) noexcept = default;
  GraphScratch& operator=(GraphScratch&&) noexcept = default;
};

/// The precedence graph of both levels. One topological order is kept for
/// the CRIT_LO graph; it serves CRIT_HI too, whose arcs are a subset.
class InstanceGraph {
 public:
  /// Makes room for `jobs` jobs; new jobs come last in the order, unconnected.
  void resize(int jobs);
  int jobs() const { return static_cast<int>(mPosition.size()); }
  bool hasArcs() const { return !mArcs[0].empty(); }

  /// Adds u -> v at the levels CRIT_LO .. `levels`. An arc that would close a
  /// cycle fails "Cyclic path in task graph!" and changes nothing. The ids
  /// are in range.
  void insertArc(int u, int v, int levels);
  /// Adds every arc of the list (ids in range), each at the levels given by
  /// arcLevels(), as insertArc would one by one, but ordering the jobs once
  /// for the whole list. When the list closes a cycle, returns the index of
  /// the first arc that does and changes nothing; otherwise returns -1.
  long insertAll(const std::vector<Arc>& arcs, const std::vector<Job>& jobs);

  /// Every arc of a level once, by source id, then target id.
  std::vector<Arc> allArcs(int level = CRIT_LO) const;
  /// The handed-out set of one kind, created on the first request.
  Util::Set<int>& set(SetKind kind, int id, int level);
  /// The closure of a level, built on the first request and kept up to date after.
  const ClosureIndex& closure(int level);

 private:
  // Pearce-Kelly: when u -> v contradicts the order, only the jobs between
  // v and u in the order that are reachable from v, or reach u, move.
  void reorder(int u, int v);
  // Whether the CRIT_LO graph plus the first `count` arcs of the list has a cycle.
  bool hasCycle(const std::vector<Arc>& arcs, size_t count) const;
  // The index of the first arc of the list that closes a cycle with the
  // arcs before it (the list as a whole is known to close one).
  long firstCyclicArc(const std::vector<Arc>& arcs) const;
  // Kahn's order of the CRIT_LO lists; false, with nothing changed, on a cycle.
  bool orderFromLists();
  // Adds the list's arcs not yet present, source by source; `start` holds the
  // number of list arcs per source, shifted by one, and is overwritten.
  void addNewArcsBySource(const std::vector<Arc>& arcs, const std::vector<std::uint8_t>& levels,
                          std::vector<size_t>& start);
  void addArc(int u, int v, int level);
  // Brings the handed-out direct sets and a built closure up to date with a new arc.
  void announce(int u, int v, int level);
  void fill(SetKind kind, int id, int level, Util::Set<int>& set);

  // Closure (transitive_closure.cpp).
  void buildClosure(int level);
  void linkClosure(int u, int v, int level);

  std::vector<int> mPosition;    // job -> place in the topological order
  std::vector<int> mAtPosition;  // place -> job
  ArcLists mArcs[CRIT_COUNT];
  ClosureIndex mClosure[CRIT_COUNT];
  PublishedSets mPublished;
  GraphScratch mScratch;
};

/// The number of levels an arc between the two jobs is recorded at: CRIT_HI
/// only when both are HI jobs. Their public criticality fields may have been
/// changed since insertion, so they are checked before they index anything.
inline int arcLevels(const Job& from, const Job& to) {
  auto valid = [](int level) { return level == CRIT_LO || level == CRIT_HI; };
  MCJOBS_CHECK(valid(from.criticality) && valid(to.criticality),
               "arc job criticality==CRIT_LO || criticality == CRIT_HI");
  return Util::minimum(from.criticality, to.criticality);
}

/// The range checks of an arc, in the order insert(Arc) makes them.
inline void checkArcEnds(const Arc& arc, int jobs) {
  MCJOBS_CHECK(arc.from_id >= 0 && arc.from_id < jobs, "from_id >=0 && from_id < numJobs()");
  MCJOBS_CHECK(arc.to_id >= 0 && arc.to_id < jobs, "to_id >=0 && to_id < numJobs()");
}

/// What the readers need of an instance beyond its public API.
struct InstanceAccess {
  /// Inserts a whole arc list at once (see InstanceGraph::insertAll); returns
  /// -1 or the index of the first arc that closes a cycle.
  static long insertArcs(JobInstance& instance, const std::vector<Arc>& arcs);
  /// The arcs of one level (CRIT_LO or CRIT_HI), as getAllArcs orders them,
  /// without creating any of the per-job sets.
  static std::vector<Arc> levelArcs(JobInstance& instance, int level);
  /// The closure index of one level (CRIT_LO or CRIT_HI), built on first use.
  static const ClosureIndex& closure(JobInstance& instance, int level);
};

}  // namespace mcjobs_detail

#endif  // MCJOBS_INSTANCE_GRAPH_H
