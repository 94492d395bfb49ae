// The public reachability queries over the closure index of a level.
#include "reachability.h"

#include "detail/check.h"
#include "detail/closure_index.h"
#include "detail/instance_graph.h"

namespace mcjobs {

namespace {

const mcjobs_detail::ReachRow& row(JobInstance& instance, int id, int level, bool successors) {
  instance.at(id);  // the range check, with the library's own condition
  const mcjobs_detail::ClosureIndex& index =
      mcjobs_detail::InstanceAccess::closure(instance, level);
  return (successors ? index.successors : index.predecessors)[static_cast<size_t>(id)];
}

std::vector<int> ids(const mcjobs_detail::ReachRow& members) {
  std::vector<int> result;
  members.forEach([&result](int id) { result.push_back(id); });
  return result;
}

}  // namespace

bool reaches(JobInstance& instance, int from, int to, int level) {
  instance.at(to);
  return row(instance, from, level, true).test(to);
}

std::vector<int> transitiveSuccessorIds(JobInstance& instance, int id, int level) {
  return ids(row(instance, id, level, true));
}

std::vector<int> transitivePredecessorIds(JobInstance& instance, int id, int level) {
  return ids(row(instance, id, level, false));
}

}  // namespace mcjobs
