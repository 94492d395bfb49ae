// Reachability from Python without lists of sets: inst.reaches(a, b, level) and
// the transitive successors or predecessors of one job as a NumPy array of ids,
// read straight from the closure index.
#include <mcjobs/reachability.h>
#include <pybind11/numpy.h>

#include <vector>

#include "binding.h"

namespace mcjobs_python {
namespace {

py::array_t<int> idArray(const std::vector<int>& ids) {
  return py::array_t<int>(static_cast<py::ssize_t>(ids.size()), ids.data());
}

// A method giving the ids `query` finds for one job, as a NumPy array.
auto idsOf(std::vector<int> (*query)(JobInstance&, int, int)) {
  return [query](Instance& self, int id, int level) {
    checkLevel(level);
    return idArray(withInstance(self, [&](JobInstance& core) { return query(core, id, level); }));
  };
}

}  // namespace

void initReachability(py::module_& m) {
  auto instance = py::reinterpret_borrow<py::class_<Instance>>(m.attr("JobInstance"));
  instance
      .def(
          "reaches",
          [](Instance& self, int from, int to, int level) {
            checkLevel(level);
            return withInstance(
                self, [&](JobInstance& core) { return mcjobs::reaches(core, from, to, level); });
          },
          py::arg("from_id"), py::arg("to_id"), py::arg("level"),
          "Whether a path of arcs of `level` leads from job `from_id` to job `to_id`.\n"
          "Reads the closure index (built on the first question); no set is built.")
      .def("transitive_successors_array", idsOf(mcjobs::transitiveSuccessorIds), py::arg("id"),
           py::arg("level"),
           "The ids reachable from job `id` at `level`, ascending, as a NumPy int array.")
      .def("transitive_predecessors_array", idsOf(mcjobs::transitivePredecessorIds), py::arg("id"),
           py::arg("level"),
           "The ids that reach job `id` at `level`, ascending, as a NumPy int array.");
}

}  // namespace mcjobs_python
