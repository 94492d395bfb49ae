// The extension module mcjobs._mcjobs: the binding files' parts in the order
// they depend on each other, and the helpers they share.
#include <cstdint>
#include <string>
#include <vector>

#include "binding.h"

namespace mcjobs_python {

int checkLevel(int level) {
  if (level != CRIT_LO && level != CRIT_HI)
    throw py::value_error("level must be mcjobs.LO (1) or mcjobs.HI (2), not " +
                          std::to_string(level));
  return level;
}

int int32Of(const py::handle& given, const char* what) {
  // operator.index(): ints, NumPy integers and the like, but neither floats nor str.
  const py::object value = py::reinterpret_steal<py::object>(PyNumber_Index(given.ptr()));
  if (!value) throw py::error_already_set();
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow == 0 && number == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || number < INT32_MIN || number > INT32_MAX)
    throw py::value_error(std::string(what) + " " + py::repr(value).cast<std::string>() +
                          " is outside the 32-bit range");
  return static_cast<int>(number);
}

std::string pathOf(const py::handle& path) {
  const py::object text = py::module_::import("os").attr("fspath")(path);
  if (!py::isinstance<py::str>(text)) throw py::type_error("paths must be str, not bytes");
  return text.cast<std::string>();
}

}  // namespace mcjobs_python

PYBIND11_MODULE(_mcjobs, module) {
  using namespace mcjobs_python;
  module.doc() = "Mixed-criticality job sets with precedence constraints (the C++ core).";
  module.attr("__version__") = MCJOBS_VERSION;
  // CheckError first: every later part may raise it. JobInstance and Job next,
  // since the archive, generator and format functions return instances and the
  // schedule, stats and reachability parts add methods to the JobInstance class.
  initErrors(module);
  initInstance(module);
  initArchive(module);
  initGenerate(module);
  initFormats(module);
  initSchedule(module);
  initStats(module);
  initReachability(module);
  initStudy(module);
}
