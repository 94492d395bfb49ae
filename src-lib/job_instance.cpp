#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "check.h"
#include "job.h"

using mcjobs_detail::ReachRow;

namespace {

// Widens `row` so that it covers the words [first, last).
void coverWords(ReachRow& row, int first, int last) {
  if (row.words.empty()) {
    row.firstWord = first;
    row.words.assign(static_cast<size_t>(last - first), 0);
    return;
  }
  if (first < row.firstWord) {
    row.words.insert(row.words.begin(), static_cast<size_t>(row.firstWord - first), 0);
    row.firstWord = first;
  }
  const int currentLast = row.firstWord + static_cast<int>(row.words.size());
  if (last > currentLast) row.words.resize(static_cast<size_t>(last - row.firstWord), 0);
}

void setBit(ReachRow& row, int id) {
  coverWords(row, id >> 6, (id >> 6) + 1);
  row.words[static_cast<size_t>((id >> 6) - row.firstWord)] |= std::uint64_t{1} << (id & 63);
}

// Smallest and largest id of a row, or {INT_MAX, INT_MIN} when it is empty.
std::pair<int, int> rowBounds(const ReachRow& row) {
  std::pair<int, int> bounds{INT32_MAX, INT32_MIN};
  for (size_t w = 0; w < row.words.size(); ++w) {
    if (row.words[w] != 0) {
      bounds.first = (row.firstWord + static_cast<int>(w)) * 64 + __builtin_ctzll(row.words[w]);
      break;
    }
  }
  for (size_t w = row.words.size(); w-- > 0;) {
    if (row.words[w] != 0) {
      bounds.second =
          (row.firstWord + static_cast<int>(w)) * 64 + 63 - __builtin_clzll(row.words[w]);
      break;
    }
  }
  return bounds;
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

bool anyArc(const std::vector<Util::Set<int>>& successors) {
  return std::any_of(successors.begin(), successors.end(),
                     [](const Util::Set<int>& set) { return !set.empty(); });
}

template <typename Visit>
void forEachBit(const ReachRow& row, Visit visit) {
  for (size_t w = 0; w < row.words.size(); ++w) {
    std::uint64_t bits = row.words[w];
    const int base = (row.firstWord + static_cast<int>(w)) * 64;
    while (bits != 0) {
      visit(base + __builtin_ctzll(bits));
      bits &= bits - 1;
    }
  }
}

}  // namespace

JobInstance::JobInstance() = default;
JobInstance::JobInstance(const JobInstance& other) = default;
JobInstance& JobInstance::operator=(const JobInstance& other) = default;
JobInstance::JobInstance(JobInstance&& other) noexcept = default;
JobInstance& JobInstance::operator=(JobInstance&& other) noexcept = default;
JobInstance::~JobInstance() = default;

size_t JobInstance::numJobs(int criticality) const {
  return static_cast<size_t>(
      std::count_if(mVector.begin(), mVector.end(),
                    [criticality](const Job& job) { return job.criticality == criticality; }));
}

Util::Set<int> JobInstance::getAllJobIds() {
  Util::Set<int> ids;
  for (int id = 0; id < numJobs(); ++id) ids.insert(ids.end(), job_at(id)->id);
  return ids;
}

Util::Set<int> JobInstance::getJobIds(int criticality) {
  Util::Set<int> ids;
  for (int id = 0; id < numJobs(); ++id) {
    const Job* job = job_at(id);
    if (job->criticality == criticality) ids.insert(ids.end(), job->id);
  }
  return ids;
}

std::vector<Arc> JobInstance::getAllArcs() const {
  const auto& successors = mSuccessors[CRIT_LO - 1];
  size_t count = 0;
  for (const auto& set : successors) count += set.size();
  std::vector<Arc> arcs;
  arcs.reserve(count);
  for (size_t u = 0; u < successors.size(); ++u) {
    for (int v : successors[u]) arcs.emplace_back(static_cast<int>(u), v);
  }
  return arcs;
}

void JobInstance::resizeSets(size_t count) {
  for (auto* member :
       {mSuccessors, mTransitiveSuccessors, mPredecessors, mTransitivePredecessors}) {
    for (int level = 0; level < CRIT_COUNT; ++level) member[level].resize(count);
  }
  for (auto& index : mClosureIndex) {
    index.successors.resize(count);
    index.predecessors.resize(count);
  }
}

void JobInstance::insert(Job job) {
  job.sanity_check();
  job.id = numJobs();
  mVector.push_back(job);
}

void JobInstance::insert(Arc arc) {
  const int u = arc.from_id;
  const int v = arc.to_id;
  MCJOBS_CHECK(u >= 0 && u < numJobs(), "from_id >=0 && from_id < numJobs()");
  MCJOBS_CHECK(v >= 0 && v < numJobs(), "to_id >=0 && to_id < numJobs()");
  growSets();
  // v in TP(u), asked of the bit index rather than the set.
  MCJOBS_CHECK(u != v && !mClosureIndex[CRIT_LO - 1].predecessors[u].test(v),
               "Cyclic path in task graph!");
  const int crit_bound = Util::minimum(job_at(v)->criticality, job_at(u)->criticality);
  for (int level = CRIT_LO; level <= crit_bound; ++level) linkClosure(u, v, level);
}

// Adds the arc u -> v at one level. The new paths are exactly x ~> u -> v ~> y
// with x in {u} + TP(u) and y in {v} + TS(v). A source x that already reaches
// v already reaches every such y, so only the sources outside TP(v) gain
// pairs, and of those pairs only the ones missing from x's bit row are new.
// Each new pair sets its bit in both rows (and enters the handed-out sets),
// which keeps the closures symmetric without walking the
// (1 + |TP(u)|) * (1 + |TS(v)|) grid. The caller has grown the set vectors.
void JobInstance::linkClosure(int u, int v, int level) {
  const int index = level - 1;
  auto& successors = mTransitiveSuccessors[index];
  auto& predecessors = mTransitivePredecessors[index];
  auto& reach = mClosureIndex[index];

  mPredecessors[index][v].insert(u);
  mSuccessors[index][u].insert(v);
  if (reach.successors[u].test(v)) return;  // implied by an existing path

  ReachRow& targets = mScratch.targets;
  targets = reach.successors[v];
  setBit(targets, v);
  ReachRow& sources = mScratch.sources;
  sources = reach.predecessors[u];
  setBit(sources, u);
  ReachRow& reachingV = mScratch.reachingTarget;  // TP(v) grows below: test its old content
  reachingV = reach.predecessors[v];
  const int targetsLast = targets.firstWord + static_cast<int>(targets.words.size());

  // Gather the new pairs first and then fill one set at a time: every set is
  // touched once per arc, with ascending values.
  std::vector<std::pair<int, int>>& fresh = mScratch.pairs;
  fresh.clear();
  forEachBit(sources, [&](int x) {
    if (reachingV.test(x)) return;
    ReachRow& row = reach.successors[x];
    coverWords(row, targets.firstWord, targetsLast);
    const size_t offset = static_cast<size_t>(targets.firstWord - row.firstWord);
    const size_t firstOfX = fresh.size();
    const bool publishedX = row.published;
    const std::pair<int, int> bounds = publishedX ? rowBounds(row) : std::pair<int, int>{};
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
    if (publishedX) {
      insertAscending(
          successors[x], fresh.begin() + static_cast<std::ptrdiff_t>(firstOfX), fresh.end(),
          [](const std::pair<int, int>& pair) { return pair.second; }, bounds);
    }
  });

  // Handed-out predecessor sets take their new members grouped by set, with
  // bounds read before the rows change; then every row takes its bits.
  std::vector<std::pair<int, int>>& toPublish = mScratch.publishedPairs;
  toPublish.clear();
  for (const auto& pair : fresh) {
    if (reach.predecessors[pair.second].published) toPublish.push_back(pair);
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
        predecessors[y], run, runEnd, [](const std::pair<int, int>& pair) { return pair.first; },
        rowBounds(reach.predecessors[y]));
    run = runEnd;
  }
  for (const auto& pair : fresh) setBit(reach.predecessors[pair.second], pair.first);
}

void JobInstance::publish(ReachRow& row, Util::Set<int>& set) {
  // An unpublished set is never written, so it is empty here.
  forEachBit(row, [&set](int id) { set.emplace_hint(set.end(), id); });
  row.published = true;
}

void JobInstance::remove(JobIter job) {
  MCJOBS_CHECK(job >= mVector.begin() && job < mVector.end(), "job is a job of this instance");
  const int k = job->id;
  for (int i = k + 1; i < numJobs(); ++i) MCJOBS_CHECK(mVector[i].id == i, "mVector[i].id == i");
  // Checked before anything changes, so a refused removal leaves the instance intact.
  MCJOBS_CHECK(!anyArc(mSuccessors[CRIT_LO - 1]), "Function remove does not support arcs yet!");
  for (int i = k + 1; i < numJobs(); ++i) mVector[i].id = i - 1;
  mVector.erase(job);
  if (mSuccessors[0].size() > mVector.size()) resizeSets(mVector.size());
}

void JobInstance::append(JobInstance* other) {
  MCJOBS_CHECK(other != nullptr, "other");
  // Copy first: `other` may be this instance, whose vector grows below.
  const std::vector<Job> jobs = other->mVector;
  for (const Job& job : jobs) job.sanity_check();
  MCJOBS_CHECK(!anyArc(other->mSuccessors[CRIT_LO - 1]),
               "Function append does not support arcs yet!");
  mVector.reserve(mVector.size() + jobs.size());
  for (const Job& job : jobs) insert(job);
}

Job* JobInstance::job_at(int id) {
  MCJOBS_CHECK(id >= 0 && (unsigned)id < mVector.size(), "id>=0 && (unsigned) id < mVector.size()");
  Job* job = &mVector[static_cast<size_t>(id)];
  MCJOBS_CHECK(job->id == id, "job->id == id");
  return job;
}
