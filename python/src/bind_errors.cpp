// Failed checks as mcjobs.CheckError (a ValueError with the condition, file
// and line), and failed system calls as the matching OSError subclass.
#include <mcjobs/explain.h>

#include <cstring>
#include <string>

#include "binding.h"

namespace mcjobs_python {

[[noreturn]] void raiseOSError(int error, const std::string& path) {
  // OSError(errno, text, filename) builds the subclass that errno calls for.
  const py::object exception =
      py::handle(PyExc_OSError)(error, std::strerror(error), py::str(path));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
  throw py::error_already_set();
}

namespace {

void raiseCheckError(const py::object& type, const CheckError& failure) {
  if (failure.systemError() != 0) {
    // The condition already ends in the system's words ("cannot create file: ...").
    const py::object exception = py::handle(PyExc_OSError)(
        failure.systemError(), failure.condition(), py::str(failure.inputFile()));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
    return;
  }
  const py::object exception = type(mcjobs::describeFailure(failure));
  exception.attr("condition") = failure.condition();
  exception.attr("file") = failure.inputFile().empty() ? py::object(py::none())
                                                       : py::object(py::str(failure.inputFile()));
  exception.attr("line") =
      failure.inputLine() > 0 ? py::object(py::int_(failure.inputLine())) : py::object(py::none());
  exception.attr("explanation") = mcjobs::explanationOf(failure.condition());
  PyErr_SetObject(type.ptr(), exception.ptr());
}

}  // namespace

void initErrors(py::module_& m) {
  // Never destroyed: the interpreter may be gone by the time statics are.
  static auto& checkError = *new py::exception<CheckError>(m, "CheckError", PyExc_ValueError);
  checkError.doc() =
      "A failed check of the library: invalid input or a violated precondition.\n\n"
      "str() is the message in plain words; `condition` is the library's condition text,\n"
      "`file` and `line` the input position (None when the check did not fire while a file\n"
      "was read), `explanation` the words alone.";
  for (const char* attribute : {"condition", "file", "line", "explanation"})
    checkError.attr(attribute) = py::none();
  py::register_exception_translator([](std::exception_ptr pending) {
    try {
      if (pending) std::rethrow_exception(pending);
    } catch (const CheckError& failure) {
      raiseCheckError(checkError, failure);
    }
  });
}

}  // namespace mcjobs_python
