// JobInstance: the job store, arc insertion and the set accessors. The graph
// itself (arc storage, order, closure, handed-out sets) is in instance_graph.h.
#include <algorithm>
#include <memory>
#include <utility>

#include "detail/check.h"
#include "detail/instance_graph.h"
#include "job.h"

using mcjobs_detail::InstanceGraph;

JobInstance::JobInstance() = default;

JobInstance::JobInstance(const JobInstance& other)
    : mVector(other.mVector),
      mGraph(other.mGraph ? std::make_unique<InstanceGraph>(*other.mGraph) : nullptr) {}

JobInstance& JobInstance::operator=(const JobInstance& other) {
  if (this != &other) {
    // Built aside first, so that a failed allocation leaves this instance as it was.
    std::unique_ptr<InstanceGraph> graph =
        other.mGraph ? std::make_unique<InstanceGraph>(*other.mGraph) : nullptr;
    mVector = other.mVector;
    mGraph = std::move(graph);
  }
  return *this;
}

JobInstance::JobInstance(JobInstance&& other) noexcept = default;
JobInstance& JobInstance::operator=(JobInstance&& other) noexcept = default;
JobInstance::~JobInstance() = default;

InstanceGraph& JobInstance::graph() {
  if (!mGraph) mGraph = std::make_unique<InstanceGraph>();
  mGraph->resize(size());
  return *mGraph;
}

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
  return mGraph ? mGraph->allArcs() : std::vector<Arc>();
}

Util::Set<int>& JobInstance::getSuccessors(int id, int crit) {
  return graph().set(mcjobs_detail::kSuccessors, id, crit);
}

Util::Set<int>& JobInstance::getPredecessors(int id, int crit) {
  return graph().set(mcjobs_detail::kPredecessors, id, crit);
}

Util::Set<int>& JobInstance::getTransitiveSuccessors(int id, int crit) {
  return graph().set(mcjobs_detail::kTransitiveSuccessors, id, crit);
}

Util::Set<int>& JobInstance::getTransitivePredecessors(int id, int crit) {
  return graph().set(mcjobs_detail::kTransitivePredecessors, id, crit);
}

void JobInstance::insert(Job job) {
  job.sanity_check();
  job.id = numJobs();
  mVector.push_back(job);
}

void JobInstance::insert(Arc arc) {
  mcjobs_detail::checkArcEnds(arc, numJobs());
  const int levels = mcjobs_detail::arcLevels(*job_at(arc.from_id), *job_at(arc.to_id));
  graph().insertArc(arc.from_id, arc.to_id, levels);
}

void JobInstance::remove(JobIter job) {
  MCJOBS_CHECK(job >= mVector.begin() && job < mVector.end(), "job is a job of this instance");
  const int k = job->id;
  for (int i = k + 1; i < numJobs(); ++i) MCJOBS_CHECK(mVector[i].id == i, "mVector[i].id == i");
  // Checked before anything changes, so a refused removal leaves the instance intact.
  MCJOBS_CHECK(!(mGraph && mGraph->hasArcs()), "Function remove does not support arcs yet!");
  for (int i = k + 1; i < numJobs(); ++i) mVector[i].id = i - 1;
  mVector.erase(job);
  // Without arcs the graph holds nothing but empty sets, whose references
  // removal invalidates anyway.
  mGraph.reset();
}

void JobInstance::append(JobInstance* other) {
  MCJOBS_CHECK(other != nullptr, "other");
  // Copy first: `other` may be this instance, whose vector grows below.
  const std::vector<Job> jobs = other->mVector;
  for (const Job& job : jobs) job.sanity_check();
  MCJOBS_CHECK(!(other->mGraph && other->mGraph->hasArcs()),
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

namespace mcjobs_detail {

long InstanceAccess::insertArcs(JobInstance& instance, const std::vector<Arc>& arcs) {
  return instance.graph().insertAll(arcs, instance.mVector);
}

std::vector<Arc> InstanceAccess::levelArcs(JobInstance& instance, int level) {
  MCJOBS_CHECK(level == CRIT_LO || level == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
  return instance.graph().allArcs(level);
}

const ClosureIndex& InstanceAccess::closure(JobInstance& instance, int level) {
  MCJOBS_CHECK(level == CRIT_LO || level == CRIT_HI, "crit==CRIT_LO || crit == CRIT_HI");
  return instance.graph().closure(level);
}

}  // namespace mcjobs_detail
