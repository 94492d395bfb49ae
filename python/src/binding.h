// Internal to the Python module: the wrapped instance, the shared helpers of
// the binding files, and the parts each file adds.
#ifndef MCJOBS_PYTHON_BINDING_H
#define MCJOBS_PYTHON_BINDING_H

#include <mcjobs/generate.h>
#include <mcjobs/job.h>
#include <mcjobs/schedule.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace mcjobs_python {

namespace py = pybind11;

/// @brief What Python's mcjobs.JobInstance holds.
///
/// Every access goes through `mutex`, so two threads that share one instance take turns while
/// the GIL is released; different instances never wait for each other. `exports` counts the
/// NumPy views of the job array alive (raised under `mutex`, lowered when a view dies): while
/// there is one, the job vector must not grow, since growing may move it.
struct Instance {
  Instance() = default;
  explicit Instance(JobInstance&& jobs) : core(std::move(jobs)) {}

  JobInstance core;
  std::mutex mutex;
  std::atomic<int> exports{0};
  /// The seed generate() drew the jobs from, given or drawn (none for other instances).
  std::optional<std::uint64_t> seed;
};

/// @brief A new Python mcjobs.JobInstance owning `jobs` (for every binding that makes instances).
py::object wrap(JobInstance&& jobs);

/// @brief Runs `work(instance.core)` with the GIL released and the instance locked.
///
/// Whatever `work` returns must not refer into the instance: it is converted to Python after
/// the lock is gone.
template <typename Work>
auto withInstance(Instance& instance, Work&& work) {
  py::gil_scoped_release release;
  std::lock_guard<std::mutex> guard(instance.mutex);
  return work(instance.core);
}

/// @brief `level` when it is mcjobs.LO or mcjobs.HI; ValueError otherwise.
int checkLevel(int level);

/// @brief mcjobs.Level.LO or mcjobs.Level.HI for 1 or 2; other values stay plain ints.
py::object levelOf(int level);

/// @brief `value` (an int or any integer with __index__, such as NumPy's) as a 32-bit int;
/// ValueError naming `what` when it does not fit.
int int32Of(const py::handle& value, const char* what);

/// @brief An argument that is any integer (anything with __index__), whatever its size: the
/// binding checks the range itself, so that the error names the parameter.
struct AnyInt {
  py::object value;
};

}  // namespace mcjobs_python

namespace pybind11 {
namespace detail {

/// Signatures and help() show it as "int"; floats and str stay refused, as for int.
template <>
struct type_caster<mcjobs_python::AnyInt> {
  PYBIND11_TYPE_CASTER(mcjobs_python::AnyInt, const_name("int"));
  bool load(handle source, bool) {
    if (!source || !PyIndex_Check(source.ptr())) return false;
    value.value = reinterpret_borrow<object>(source);
    return true;
  }
};

}  // namespace detail
}  // namespace pybind11

namespace mcjobs_python {

/// @brief The file system path of a str or os.PathLike argument (os.fspath).
std::string pathOf(const py::handle& path);

/// @brief Raises the OSError subclass of `error` (FileNotFoundError for ENOENT ...) for `path`.
[[noreturn]] void raiseOSError(int error, const std::string& path);

/// @brief The generator's options from generate()'s keywords (values as the command line's
/// text or Python values, None for a default); OptionError names a bad or inapplicable one.
mcjobs::GenerateOptions generateOptionsOf(const py::dict& given);

/// @brief std::logic_error (RuntimeError) for tables the checker rejects: a fault of the
/// library, never a verdict.
void refuseFaults(const mcjobs::ScheduleAnswer& answer);

/// @brief ValueError naming time_limit unless `seconds` is positive and finite.
void checkTimeLimit(double seconds);

/// @brief The binding files' parts of the module, each defined in its bind_*.cpp; module.cpp
/// calls them in the order the module needs.
void initErrors(py::module_& m);
void initInstance(py::module_& m);
void initArchive(py::module_& m);
void initGenerate(py::module_& m);
void initFormats(py::module_& m);
void initSchedule(py::module_& m);
void initStats(py::module_& m);
void initReachability(py::module_& m);
void initStudy(py::module_& m);

}  // namespace mcjobs_python

#endif  // MCJOBS_PYTHON_BINDING_H
