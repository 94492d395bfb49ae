// mcjobs.generate: seeded random job sets from the options of `mcjobs generate`,
// named as on the command line with '_' for '-', read by the library's own parser.
#include <mcjobs/generate.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// An option's text as the Python value generate() takes: None for "none", booleans, ints,
// floats, a list of ints for the periods, and text for words and ranges ("10..10").
py::object optionValue(const mcjobs::GenerateOptionInfo& info, const std::string& text) {
  const std::string name = info.name;
  if (text == "none") return py::none();
  if (info.real) return py::float_(std::stod(text));
  if (text == "true" || text == "false") return py::bool_(text == "true");
  if (name == "periods") {
    py::list periods;
    for (size_t start = 0; start <= text.size();) {
      const size_t comma = std::min(text.find(',', start), text.size());
      periods.append(py::int_(std::stoll(text.substr(start, comma - start))));
      start = comma + 1;
    }
    return std::move(periods);
  }
  if (!text.empty() && text.find_first_not_of("-0123456789") == std::string::npos)
    return py::int_(std::stoll(text));
  return py::str(text);
}

// The set as generate() returns it, after the command line's warnings that it is not quite
// what was asked for.
py::object generatedInstance(mcjobs::GeneratedSet&& set, std::uint64_t seed) {
  for (const std::string& warning : set.warnings)
    if (PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1) < 0) throw py::error_already_set();
  py::object instance = wrap(std::move(set.instance));
  instance.cast<Instance&>().seed = seed;
  return instance;
}

}  // namespace

mcjobs::GenerateOptions generateOptionsOf(const py::dict& given) {
  mcjobs::GenerateOptions options;
  std::vector<std::string> names;
  for (const auto& option : given) {
    // None is an option left at its default, as generate_options() lists it.
    if (option.second.is_none()) continue;
    const std::string name = option.first.cast<std::string>();
    mcjobs::setGenerateOption(options, name, optionText(name, option.second));
    names.push_back(name);
  }
  mcjobs::checkGivenGenerateOptions(options, names);
  return options;
}

void initGenerate(py::module_& m) {
  m.def(
      "generate",
      [](std::uint64_t seed, const py::kwargs& given) {
        const mcjobs::GenerateOptions options = generateOptionsOf(given);
        mcjobs::GeneratedSet set;
        {
          py::gil_scoped_release release;
          mcjobs::validateGenerateOptions(options);
          set = mcjobs::generateJobSet(options, seed);
        }
        return generatedInstance(std::move(set), seed);
      },
      py::kw_only(), py::arg("seed"),
      "A seeded random job set: generate(seed=7, model='frame', nodes='30..30', "
      "edge_prob=0.2).\n"
      "Takes the options of `mcjobs generate` with '_' for '-', as text or as Python values\n"
      "(numbers, True/False, lists for periods, None for the default); the same options and\n"
      "seed give the same set as the command line. ValueError names an unknown option, a bad\n"
      "value or an option that does not apply to the model or shape; a RuntimeWarning says\n"
      "when the LO (or, with utilization_hi, the HI) utilization misses its target by more\n"
      "than 1%, with the achieved value.");
  m.def(
      "generate_many",
      [](std::size_t count, std::uint64_t seed, const py::kwargs& given) {
        const mcjobs::GenerateOptions options = generateOptionsOf(given);
        std::vector<mcjobs::GeneratedSet> sets;
        {
          py::gil_scoped_release release;
          sets = mcjobs::generateBatch(options, seed, count);
        }
        py::list instances;
        for (std::size_t index = 0; index < sets.size(); ++index)
          instances.append(generatedInstance(std::move(sets[index]), mcjobs::batchSeed(seed, index + 1)));
        return instances;
      },
      py::arg("n"), py::kw_only(), py::arg("seed"),
      "Entries 1..n of a batch: entry i is generate(seed=batch_seed(seed, i), **options),\n"
      "all generated with the GIL released.");
  m.def("batch_seed", &mcjobs::batchSeed, py::arg("seed"), py::arg("index"),
        "The seed of entry `index` (from 1) of a batch generated from `seed`.");
  m.def(
      "generate_options",
      []() {
        py::dict defaults;
        const auto values = mcjobs::describeGenerateOptions(mcjobs::GenerateOptions());
        const auto& infos = mcjobs::generateOptionList();
        for (size_t i = 0; i < infos.size(); ++i) {
          std::string name = values[i].first;
          for (char& c : name) c = c == '-' ? '_' : c;
          defaults[py::str(name)] = optionValue(infos[i], values[i].second);
        }
        return defaults;
      },
      "Every option of generate() with its default as a Python value (None: not given).\n"
      "Options of another model or shape than the one chosen do not apply to generate().");
}

}  // namespace mcjobs_python
