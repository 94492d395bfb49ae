// The extension module mcjobs._mcjobs: runs the parts that the binding files
// registered, and the helpers they share.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "binding.h"

namespace mcjobs_python {
namespace {

struct Part {
  int order;
  Binding::Define define;
};

// Function-local, so that it exists before the first binding file's static registers.
std::vector<Part>& parts() {
  static std::vector<Part> registered;
  return registered;
}

}  // namespace

Binding::Binding(int order, Define define) {
  parts().push_back({order, define});
}

int checkLevel(int level) {
  if (level != CRIT_LO && level != CRIT_HI)
    throw py::value_error("level must be mcjobs.LO (1) or mcjobs.HI (2), not " +
                          std::to_string(level));
  return level;
}

int int32Of(const py::int_& value, const char* what) {
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
  using mcjobs_python::Part;
  module.doc() = "Mixed-criticality job sets with precedence constraints (the C++ core).";
  auto& all = mcjobs_python::parts();
  std::stable_sort(all.begin(), all.end(),
                   [](const Part& a, const Part& b) { return a.order < b.order; });
  for (const Part& part : all) part.define(module);
}
