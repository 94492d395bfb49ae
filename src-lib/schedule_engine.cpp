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
      : mJobs(jobs),
        mPolicy(policy),
        mJobCount(static_cast<int>(jobs.size())),
        mProcessors(std::max(1, std::min(processors, mJobCount))),
        mRemaining(jobs.size()),
        mState(jobs.size(), State::kPending),
        mVersion(jobs.size(), 0),
        mProcessorOf(jobs.size(), -1),
        mPredsLeft(jobs.size()),
        mFloorDone(jobs.size()),
        mChosen(jobs.size(), 0),
        mZeroLaxity(jobs.size(), 0),
        mStartedAt(static_cast<size_t>(mProcessors), 0) {
    for (int p = 0; p < mProcessors; ++p) mFreeProcessors.insert(p);
    for (int j = 0; j < mJobCount; ++j) {
      mRemaining[j] = mJobs[j].work;
      mPredsLeft[j] = mJobs[j].predecessors;
      int64_t done = 0;
      for (const auto& run : mJobs[j].floor)
        mFloorDone[j].push_back(done += run.second - run.first);
      mReleaseOrder.push_back(j);
    }
    std::sort(mReleaseOrder.begin(), mReleaseOrder.end(), [&](int a, int b) {
      return std::tie(mJobs[a].release, a) < std::tie(mJobs[b].release, b);
    });
  }

  bool run(std::vector<ScheduleSegment>& out, EngineFailure& failure) {
    mOut = &out;
    if (mJobCount == 0) return true;
    int64_t now = mJobs[mReleaseOrder[0]].release;
    for (int j = 0; j < mJobCount; ++j) pushEvents(j, INT64_MIN);
    size_t nextRelease = 0;
    int64_t previous = now;
    int done = 0;
    while (true) {
      for (int j : mRunning) mRemaining[j] -= now - previous;
      for (size_t i = 0; i < mRunning.size();) {
        const int j = mRunning[i];
        if (mRemaining[j] > 0) {
          ++i;
          continue;
        }
        stop(i, now);
        mState[j] = State::kDone;
        ++done;
        for (int s : mJobs[j].successors)
          if (--mPredsLeft[s] == 0 && mState[s] == State::kWaiting) makeReady(s);
      }
      for (; nextRelease < mReleaseOrder.size() && mJobs[mReleaseOrder[nextRelease]].release <= now;
           ++nextRelease) {
        const int j = mReleaseOrder[nextRelease];
        mState[j] = State::kWaiting;
        if (mPredsLeft[j] == 0) makeReady(j);
      }
      if (done == mJobCount) break;

      std::vector<int> forced, doomed;
      while (!mEvents.empty() && mEvents.top().time <= now) {
        const Event event = mEvents.top();
        mEvents.pop();
        if (event.version != mVersion[event.job] || mState[event.job] == State::kRunning ||
            mState[event.job] == State::kDone)
          continue;
        if (event.kind == EventKind::kFloor) forced.push_back(event.job);
        if (event.kind == EventKind::kDoom) doomed.push_back(event.job);
        if (event.kind == EventKind::kZeroLaxity) reachZeroLaxity(event.job);
      }
      for (int j : mRunning)
        if (floorTime(j) == now) forced.push_back(j);
      if (!choose(now, forced, failure)) return false;
      for (int j : doomed)
        if (mState[j] != State::kRunning) return fail(j, false, now, failure);
      for (int j : mStopped) {
        if (mJobs[j].deadline - mRemaining[j] <= now) return fail(j, false, now, failure);
        pushEvents(j, now);
      }

      int64_t next = kNever;
      if (nextRelease < mReleaseOrder.size()) next = mJobs[mReleaseOrder[nextRelease]].release;
      for (int j : mRunning) next = std::min(next, now + mRemaining[j]);
      while (!mEvents.empty() && mEvents.top().version != mVersion[mEvents.top().job])
        mEvents.pop();
      if (!mEvents.empty()) next = std::min(next, mEvents.top().time);
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
  // again or (EDZL) reaches zero laxity. Under LLF a running job keeps its processor on equal
  // laxity, or two jobs of equal laxity would take turns at every event.
  Key key(int j) const {
    const int64_t priority = mJobs[j].priority;
    switch (mPolicy) {
      case SchedulePolicy::kLlf:
        return Key{priority - mRemaining[j], mState[j] == State::kRunning ? 0 : 1, priority, j};
      case SchedulePolicy::kEdzl:
        return Key{mZeroLaxity[j] ? 0 : 1, 0, priority, j};
      case SchedulePolicy::kEdf:
        break;
    }
    return Key{priority, 0, 0, j};
  }

  // Laxity only shrinks while a job waits and stays while it runs, so a job that has reached
  // zero laxity keeps the EDZL precedence to the end. A job's zero-laxity event is pending from
  // the start, whatever its state, so no job reaches zero laxity unnoticed.
  void reachZeroLaxity(int j) {
    if (mPolicy != SchedulePolicy::kEdzl || mZeroLaxity[j]) return;
    const bool queued = mState[j] == State::kReady;
    if (queued) mReady.erase(key(j));
    mZeroLaxity[j] = 1;
    if (queued) mReady.insert(key(j));
  }

  // The instant the job's floor curve passes its progress, from which it must run: kNever when
  // it has no floor or has done its work under it.
  int64_t floorTime(int j) const {
    const std::vector<int64_t>& done = mFloorDone[j];
    const int64_t progress = mJobs[j].work - mRemaining[j];
    if (done.empty() || mRemaining[j] == 0) return kNever;
    const size_t k = std::upper_bound(done.begin(), done.end(), progress) - done.begin();
    if (k == done.size()) return kNever;
    const auto& run = mJobs[j].floor[k];
    return run.first + (progress - (done[k] - (run.second - run.first)));
  }

  void pushEvents(int j, int64_t now) {
    const int64_t doom = mJobs[j].deadline - mRemaining[j];
    mEvents.push({doom, j, EventKind::kDoom, mVersion[j]});
    const int64_t zero = mJobs[j].priority - mRemaining[j];
    if (mPolicy != SchedulePolicy::kEdf && zero > now)
      mEvents.push({zero, j, EventKind::kZeroLaxity, mVersion[j]});
    const int64_t floor = floorTime(j);
    if (floor != kNever) mEvents.push({floor, j, EventKind::kFloor, mVersion[j]});
  }

  void makeReady(int j) {
    mState[j] = State::kReady;
    mReady.insert(key(j));
  }

  bool fail(int j, bool floor, int64_t now, EngineFailure& failure) {
    failure = {j, floor, now};
    return false;
  }

  // Forced jobs first, then the best of the running and ready jobs; mStopped gets the jobs that
  // stop running now. O(m log n).
  bool choose(int64_t now, std::vector<int>& forced, EngineFailure& failure) {
    std::sort(forced.begin(), forced.end(), [&](int a, int b) { return key(a) < key(b); });
    forced.erase(std::unique(forced.begin(), forced.end()), forced.end());
    for (size_t i = 0; i < forced.size(); ++i) {
      const int j = forced[i];
      if ((mState[j] != State::kReady && mState[j] != State::kRunning) ||
          i >= static_cast<size_t>(mProcessors))
        return fail(j, true, now, failure);
      mChosen[j] = 1;
    }
    std::vector<Key> candidates;
    for (int j : mRunning)
      if (!mChosen[j]) candidates.push_back(key(j));
    size_t taken = 0;
    for (auto it = mReady.begin(); it != mReady.end() && taken < static_cast<size_t>(mProcessors); ++it)
      if (!mChosen[std::get<3>(*it)]) candidates.push_back(*it), ++taken;
    std::sort(candidates.begin(), candidates.end());
    std::vector<int> chosen = forced;
    for (size_t i = 0; chosen.size() < static_cast<size_t>(mProcessors) && i < candidates.size(); ++i) {
      chosen.push_back(std::get<3>(candidates[i]));
      mChosen[chosen.back()] = 1;
    }

    mStopped.clear();
    for (size_t i = 0; i < mRunning.size();) {
      const int j = mRunning[i];
      if (mChosen[j]) {
        ++i;
        continue;
      }
      stop(i, now);
      mState[j] = State::kReady;
      ++mVersion[j];
      mReady.insert(key(j));
      mStopped.push_back(j);
    }
    for (int j : chosen) {
      mChosen[j] = 0;
      if (mState[j] == State::kRunning) continue;
      mReady.erase(key(j));
      mState[j] = State::kRunning;
      ++mVersion[j];
      const int p = *mFreeProcessors.begin();
      mFreeProcessors.erase(mFreeProcessors.begin());
      mProcessorOf[j] = p;
      mStartedAt[p] = now;
      mRunning.push_back(j);
    }
    return true;
  }

  // Ends the segment of mRunning[i] now and frees its processor.
  void stop(size_t i, int64_t now) {
    const int j = mRunning[i];
    const int p = mProcessorOf[j];
    if (now > mStartedAt[p]) mOut->push_back({j, p, mStartedAt[p], now});
    mProcessorOf[j] = -1;
    mFreeProcessors.insert(p);
    mRunning[i] = mRunning.back();
    mRunning.pop_back();
  }

  std::vector<EngineJob>& mJobs;
  const SchedulePolicy mPolicy;
  const int mJobCount;
  const int mProcessors;
  std::vector<int64_t> mRemaining;
  std::vector<State> mState;
  std::vector<unsigned> mVersion;
  std::vector<int> mProcessorOf;
  std::vector<int> mPredsLeft;
  std::vector<std::vector<int64_t>> mFloorDone;  // floor run time at the end of each floor run
  std::vector<char> mChosen;                     // marks the jobs chosen in the current step
  std::vector<char> mZeroLaxity;                 // EDZL: the job has reached zero laxity
  std::vector<int64_t> mStartedAt;
  std::vector<int> mReleaseOrder;
  std::vector<int> mRunning;
  std::set<int> mFreeProcessors;
  std::set<Key> mReady;  // ready jobs that do not run
  std::priority_queue<Event, std::vector<Event>, std::greater<Event>> mEvents;
  std::vector<int> mStopped;
  std::vector<ScheduleSegment>* mOut = nullptr;
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
