// mcjobs.generate: seeded random job sets from the options of `mcjobs generate`,
// named as on the command line with '_' for '-', read by the library's own parser.
#include <mcjobs/generate.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "binding.h"

namespace mcjobs_python {
namespace {

// The command line's text of an option value: words and ranges ("30..50") as
// given, flags as true/false, numbers as Python prints them, lists joined by ','.
std::string optionText(const std::string& name, const py::handle& value) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "true" : "false";
  if (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value))
    return py::repr(value).cast<std::string>();
  if (value.is_none()) return "none";
  if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
    std::string text;
    for (const py::handle& item : value) text += (text.empty() ? "" : ",") + optionText(name, item);
    return text;
  }
  throw py::type_error(name + ": expected a str, number, bool or list, not " +
                       std::string(py::str(value.get_type().attr("__name__"))));
}

}  // namespace

void initGenerate(py::module_& m) {
      m.def(
          "generate",
          [](std::uint64_t seed, const py::kwargs& given) {
            mcjobs::GenerateOptions options;
            for (const auto& option : given) {
              const std::string name = option.first.cast<std::string>();
              mcjobs::setGenerateOption(options, name, optionText(name, option.second));
            }
            mcjobs::GeneratedSet set;
            {
              py::gil_scoped_release release;
              mcjobs::validateGenerateOptions(options);
              set = mcjobs::generateJobSet(options, seed);
            }
            // As the command line warns: the set is not quite what was asked for.
            if (set.raisedBudgets > 0 && set.utilizationLo > options.utilization * 1.01) {
              const std::string message =
                  "graphs with fewer budget units than jobs got one unit per job: the LO "
                  "utilization is " +
                  std::to_string(set.utilizationLo) + ", above the target";
              if (PyErr_WarnEx(PyExc_RuntimeWarning, message.c_str(), 1) < 0)
                throw py::error_already_set();
            }
            return wrap(std::move(set.instance));
          },
          py::kw_only(), py::arg("seed"),
          "A seeded random job set: generate(seed=7, model='frame', nodes='30..30', "
          "edge_prob=0.2).\n"
          "Takes the options of `mcjobs generate` with '_' for '-', as text or as Python values\n"
          "(numbers, True/False, lists for periods); the same options and seed give the same set\n"
          "as the command line. ValueError names an unknown option or a bad value; a\n"
          "RuntimeWarning says when graphs had to get one budget unit per job and the LO\n"
          "utilization ends more than 1% above the target.");
      m.def("batch_seed", &mcjobs::batchSeed, py::arg("seed"), py::arg("index"),
            "The seed of entry `index` (from 1) of a batch generated from `seed`.");
      m.def(
          "generate_options",
          []() {
            py::dict defaults;
            for (const auto& option : mcjobs::describeGenerateOptions(mcjobs::GenerateOptions())) {
              std::string name = option.first;
              for (char& c : name) c = c == '-' ? '_' : c;
              defaults[py::str(name)] = option.second;
            }
            return defaults;
          },
          "Every option of generate() with its default, as the command line writes it.");
    }

}  // namespace mcjobs_python
