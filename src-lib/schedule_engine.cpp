// The event-driven global list scheduler: between two events the running set does not change,
// so the work per event is O(m log n) whatever the length of the time values.
#include "detail/schedule_engine.h"

#include <algorithm>
#include <queue>
#include <set>
#include <tuple>

#include "detail/check.h"

namespace mcjobs_detail {

namespace {

using mcjobs::SchedulePolicy;
using mcjobs::ScheduleSegment;

constexpr int64_t kNever = INT64_MAX;

enum class State { kPending, kWaiting, kReady, kRunning, kDone };
enum class EventKind { kDoom, kZeroLaxity, kFloor };

struct Event {
  int64_t time;
  int job;
  EventKind kind;
  unsigned version;
  // A total order, so that simultaneous failures are reported the same way everywhere.
  bool operator>(const Event& other) const {
    return std::tie(time, job, kind) > std::tie(other.time, other.job, other.kind);
  }
};

// (rank, 1 unless running, tie-break, id): smaller runs first.
using Key = std::tuple<int64_t, int, int64_t, int>;

class Engine {
 public:
  Engine(std::vector<EngineJob>& jobs, int processors, SchedulePolicy policy)
      : jobs_(jobs),
        llf_(policy == SchedulePolicy::kLlf),
        n_(static_cast<int>(jobs.size())),
        m_(std::max(1, std::min(processors, n_))),
        remaining_(jobs.size()),
        state_(jobs.size(), State::kPending),
        version_(jobs.size(), 0),
        processorOf_(jobs.size(), -1),
        predsLeft_(jobs.size()),
        floorDone_(jobs.size()),
        chosen_(jobs.size(), 0),
        startedAt_(static_cast<size_t>(m_), 0) {
    for (int p = 0; p < m_; ++p) freeProcessors_.insert(p);
    for (int j = 0; j < n_; ++j) {
      remaining_[j] = jobs_[j].work;
      predsLeft_[j] = jobs_[j].predecessors;
      int64_t done = 0;
      for (const auto& run : jobs_[j].floor)
        floorDone_[j].push_back(done += run.second - run.first);
      releaseOrder_.push_back(j);
    }
    std::sort(releaseOrder_.begin(), releaseOrder_.end(), [&](int a, int b) {
      return std::tie(jobs_[a].release, a) < std::tie(jobs_[b].release, b);
    });
  }

  bool run(std::vector<ScheduleSegment>& out, EngineFailure& failure) {
    out_ = &out;
    if (n_ == 0) return true;
    int64_t now = jobs_[releaseOrder_[0]].release;
    for (int j = 0; j < n_; ++j) pushEvents(j, INT64_MIN);
    size_t nextRelease = 0;
    int64_t previous = now;
    int done = 0;
    while (true) {
      for (int j : running_) remaining_[j] -= now - previous;
      for (size_t i = 0; i < running_.size();) {
        const int j = running_[i];
        if (remaining_[j] > 0) {
          ++i;
          continue;
        }
        stop(i, now);
        state_[j] = State::kDone;
        ++done;
        for (int s : jobs_[j].successors)
          if (--predsLeft_[s] == 0 && state_[s] == State::kWaiting) makeReady(s);
      }
      for (; nextRelease < releaseOrder_.size() && jobs_[releaseOrder_[nextRelease]].release <= now;
           ++nextRelease) {
        const int j = releaseOrder_[nextRelease];
        state_[j] = State::kWaiting;
        if (predsLeft_[j] == 0) makeReady(j);
      }
      if (done == n_) break;

      std::vector<int> forced, doomed;
      while (!events_.empty() && events_.top().time <= now) {
        const Event event = events_.top();
        events_.pop();
        if (event.version != version_[event.job] || state_[event.job] == State::kRunning ||
            state_[event.job] == State::kDone)
          continue;
        if (event.kind == EventKind::kFloor) forced.push_back(event.job);
        if (event.kind == EventKind::kDoom) doomed.push_back(event.job);
      }
      for (int j : running_)
        if (floorTime(j) == now) forced.push_back(j);
      if (!choose(now, forced, failure)) return false;
      for (int j : doomed)
        if (state_[j] != State::kRunning) return fail(j, false, now, failure);
      for (int j : stopped_) {
        if (jobs_[j].deadline - remaining_[j] <= now) return fail(j, false, now, failure);
        pushEvents(j, now);
      }

      int64_t next = kNever;
      if (nextRelease < releaseOrder_.size()) next = jobs_[releaseOrder_[nextRelease]].release;
      for (int j : running_) next = std::min(next, now + remaining_[j]);
      while (!events_.empty() && events_.top().version != version_[events_.top().job])
        events_.pop();
      if (!events_.empty()) next = std::min(next, events_.top().time);
      // Every job left is pending, ready (then some processor is busy) or waits for a running or
      // pending job: something always happens next.
      MCJOBS_CHECK(next != kNever && next > now, "scheduler event after now");
      previous = now;
      now = next;
    }
    std::sort(out.begin(), out.end(), [](const ScheduleSegment& a, const ScheduleSegment& b) {
      return std::tie(a.processor, a.start) < std::tie(b.processor, b.start);
    });
    return true;
  }

 private:
  // The policy's rank of a job now; for a job that does not run it stays the same until it runs
  // again. Under LLF a running job keeps its processor on equal laxity, or two jobs of equal
  // laxity would take turns at every event.
  Key key(int j) const {
    const int64_t priority = jobs_[j].priority;
    if (!llf_) return Key{priority, 0, 0, j};
    return Key{priority - remaining_[j], state_[j] == State::kRunning ? 0 : 1, priority, j};
  }

  // The instant the job's floor curve passes its progress, from which it must run: kNever when
  // it has no floor or has done its work under it.
  int64_t floorTime(int j) const {
    const std::vector<int64_t>& done = floorDone_[j];
    const int64_t progress = jobs_[j].work - remaining_[j];
    if (done.empty() || remaining_[j] == 0) return kNever;
    const size_t k = std::upper_bound(done.begin(), done.end(), progress) - done.begin();
    if (k == done.size()) return kNever;
    const auto& run = jobs_[j].floor[k];
    return run.first + (progress - (done[k] - (run.second - run.first)));
  }

  void pushEvents(int j, int64_t now) {
    const int64_t doom = jobs_[j].deadline - remaining_[j];
    events_.push({doom, j, EventKind::kDoom, version_[j]});
    const int64_t zero = jobs_[j].priority - remaining_[j];
    if (llf_ && zero > now) events_.push({zero, j, EventKind::kZeroLaxity, version_[j]});
    const int64_t floor = floorTime(j);
    if (floor != kNever) events_.push({floor, j, EventKind::kFloor, version_[j]});
  }

  void makeReady(int j) {
    state_[j] = State::kReady;
    ready_.insert(key(j));
  }

  bool fail(int j, bool floor, int64_t now, EngineFailure& failure) {
    failure = {j, floor, now};
    return false;
  }

  // Forced jobs first, then the best of the running and ready jobs; stopped_ gets the jobs that
  // stop running now. O(m log n).
  bool choose(int64_t now, std::vector<int>& forced, EngineFailure& failure) {
    std::sort(forced.begin(), forced.end(), [&](int a, int b) { return key(a) < key(b); });
    forced.erase(std::unique(forced.begin(), forced.end()), forced.end());
    for (size_t i = 0; i < forced.size(); ++i) {
      const int j = forced[i];
      if ((state_[j] != State::kReady && state_[j] != State::kRunning) ||
          i >= static_cast<size_t>(m_))
        return fail(j, true, now, failure);
      chosen_[j] = 1;
    }
    std::vector<Key> candidates;
    for (int j : running_)
      if (!chosen_[j]) candidates.push_back(key(j));
    size_t taken = 0;
    for (auto it = ready_.begin(); it != ready_.end() && taken < static_cast<size_t>(m_); ++it)
      if (!chosen_[std::get<3>(*it)]) candidates.push_back(*it), ++taken;
    std::sort(candidates.begin(), candidates.end());
    std::vector<int> chosen = forced;
    for (size_t i = 0; chosen.size() < static_cast<size_t>(m_) && i < candidates.size(); ++i) {
      chosen.push_back(std::get<3>(candidates[i]));
      chosen_[chosen.back()] = 1;
    }

    stopped_.clear();
    for (size_t i = 0; i < running_.size();) {
      const int j = running_[i];
      if (chosen_[j]) {
        ++i;
        continue;
      }
      stop(i, now);
      state_[j] = State::kReady;
      ++version_[j];
      ready_.insert(key(j));
      stopped_.push_back(j);
    }
    for (int j : chosen) {
      chosen_[j] = 0;
      if (state_[j] == State::kRunning) continue;
      ready_.erase(key(j));
      state_[j] = State::kRunning;
      ++version_[j];
      const int p = *freeProcessors_.begin();
      freeProcessors_.erase(freeProcessors_.begin());
      processorOf_[j] = p;
      startedAt_[p] = now;
      running_.push_back(j);
    }
    return true;
  }

  // Ends the segment of running_[i] now and frees its processor.
  void stop(size_t i, int64_t now) {
    const int j = running_[i];
    const int p = processorOf_[j];
    if (now > startedAt_[p]) out_->push_back({j, p, startedAt_[p], now});
    processorOf_[j] = -1;
    freeProcessors_.insert(p);
    running_[i] = running_.back();
    running_.pop_back();
  }

  std::vector<EngineJob>& jobs_;
  const bool llf_;
  const int n_;
  const int m_;
  std::vector<int64_t> remaining_;
  std::vector<State> state_;
  std::vector<unsigned> version_;
  std::vector<int> processorOf_;
  std::vector<int> predsLeft_;
  std::vector<std::vector<int64_t>> floorDone_;  // floor run time at the end of each floor run
  std::vector<char> chosen_;                     // marks the jobs chosen in the current step
  std::vector<int64_t> startedAt_;
  std::vector<int> releaseOrder_;
  std::vector<int> running_;
  std::set<int> freeProcessors_;
  std::set<Key> ready_;  // ready jobs that do not run
  std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events_;
  std::vector<int> stopped_;
  std::vector<ScheduleSegment>* out_ = nullptr;
};

}  // namespace

bool runGlobalList(std::vector<EngineJob>& jobs, int processors, SchedulePolicy policy,
                   std::vector<ScheduleSegment>& out, EngineFailure& failure) {
  out.clear();
  return Engine(jobs, processors, policy).run(out, failure);
}

void tightenPriorities(std::vector<EngineJob>& jobs, const std::vector<int64_t>& latestStart) {
  const size_t n = jobs.size();
  std::vector<int> left(n), order;
  for (size_t j = 0; j < n; ++j) left[j] = jobs[j].predecessors;
  for (size_t j = 0; j < n; ++j)
    if (left[j] == 0) order.push_back(static_cast<int>(j));
  for (size_t i = 0; i < order.size(); ++i)
    for (int s : jobs[static_cast<size_t>(order[i])].successors)
      if (--left[static_cast<size_t>(s)] == 0) order.push_back(s);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    EngineJob& job = jobs[static_cast<size_t>(*it)];
    for (int s : job.successors) {
      const EngineJob& successor = jobs[static_cast<size_t>(s)];
      job.priority = std::min(job.priority, successor.priority - successor.work);
      if (!latestStart.empty())
        job.priority = std::min(job.priority, latestStart[static_cast<size_t>(s)]);
    }
  }
}

}  // namespace mcjobs_detail
