// Archives: mcjobs.read_archive, an iterator with its own reader (never the
// process-wide one of read_jobstar), and mcjobs.append_archive, the locked append.
#include <mcjobs/archive_file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <utility>

#include "binding.h"

namespace mcjobs_python {
namespace {

struct FileCloser {
  void operator()(FILE* stream) const { std::fclose(stream); }
};

class ArchiveIterator {
 public:
  ArchiveIterator(std::string path, const std::string& expression) : mPath(std::move(path)) {
    mStream.reset(std::fopen(mPath.c_str(), "r"));
    if (!mStream) raiseOSError(errno, mPath);
    struct stat status {};
    // fopen opens a directory for reading; only the first read would fail.
    if (::fstat(::fileno(mStream.get()), &status) == 0 && S_ISDIR(status.st_mode))
      raiseOSError(EISDIR, mPath);
    // The walk ends where the complete entries ended when it began: entries
    // appended meanwhile, an append still being written and the torn tail of
    // one that was killed stay out of it.
    {
      py::gil_scoped_release release;  // an append under way is waited for
      mExtent = mcjobs::archiveExtent(mStream.get(), mPath);
    }
    mReader =
        std::make_unique<mcjobs::ArchiveReader>(mStream.get(), expression, mPath, mExtent.end);
  }

  py::tuple next() {
    std::string name;
    std::unique_ptr<JobInstance> entry;
    {
      py::gil_scoped_release release;
      std::lock_guard<std::mutex> guard(mMutex);
      const bool walking = mReader != nullptr;
      if (walking) entry = mReader->next(name);
      if (!entry) closeLocked();
      // Once, after the last complete entry.
      if (walking && !entry) mExtent.checkComplete();
    }
    if (!entry) throw py::stop_iteration();
    return py::make_tuple(name, wrap(std::move(*entry)));
  }

  void close() {
    std::lock_guard<std::mutex> guard(mMutex);
    closeLocked();
  }

 private:
  void closeLocked() {
    mReader.reset();
    mStream.reset();
  }

  std::string mPath;
  std::unique_ptr<FILE, FileCloser> mStream;
  mcjobs::ArchiveExtent mExtent;
  std::unique_ptr<mcjobs::ArchiveReader> mReader;
  std::mutex mMutex;
};

}  // namespace

void initArchive(py::module_& m) {
  py::class_<ArchiveIterator>(m, "ArchiveIterator",
                              "The matching entries of an archive as (name, JobInstance) pairs.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &ArchiveIterator::next)
      .def("close", &ArchiveIterator::close, "Closes the archive; iteration then ends.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](ArchiveIterator& self, const py::args&) { self.close(); });

  m.def(
      "read_archive",
      [](const py::object& path, const std::string& expression) {
        return std::make_unique<ArchiveIterator>(pathOf(path), expression);
      },
      py::arg("path"), py::arg("expr") = ".*",
      "Iterates over the entries of an archive whose names match `expr`, a POSIX basic\n"
      "regular expression tied to the end of the name, as (name, JobInstance) pairs in file\n"
      "order. Each iterator walks on its own; a faulty entry raises CheckError naming the\n"
      "file and line, and the next step goes on after it. An incomplete entry left by an\n"
      "interrupted append is never yielded: after the complete entries, CheckError names\n"
      "it and the line where it starts, and the iteration ends.");
  m.def(
      "append_archive",
      [](const py::object& path, const std::string& name, Instance& instance) {
        const std::string file = pathOf(path);
        const mcjobs::AppendReport report = withInstance(
            instance, [&](JobInstance& jobs) { return mcjobs::appendToArchive(file, name, jobs); });
        if (!report.repaired.empty())
          if (PyErr_WarnEx(PyExc_RuntimeWarning, report.repaired.c_str(), 1) < 0)
            throw py::error_already_set();
      },
      py::arg("path"), py::arg("name"), py::arg("instance"),
      "Appends `instance` as the entry `name`, under an exclusive lock, synced, and undone\n"
      "on any failure; creates the archive when missing. An incomplete entry left by an\n"
      "interrupted append is cut off first, with a RuntimeWarning saying so.");
  m.def(
      "append_archive",
      [](const py::object& path, const py::sequence& entries) {
        const std::string file = pathOf(path);
        std::vector<std::pair<std::string, Instance*>> pending;
        for (const py::handle entry : entries) {
          const auto pair = entry.cast<std::pair<std::string, Instance*>>();
          if (pair.second == nullptr) throw py::type_error("an entry's instance cannot be None");
          pending.push_back(pair);
        }
        mcjobs::AppendReport report;
        {
          py::gil_scoped_release release;
          size_t next = 0;
          report = mcjobs::appendToArchive(file, [&](std::string& name, JobInstance& jobs) {
            if (next == pending.size()) return false;
            name = pending[next].first;
            Instance& source = *pending[next++].second;
            std::lock_guard<std::mutex> guard(source.mutex);
            jobs = source.core;
            return true;
          });
        }
        if (!report.repaired.empty())
          if (PyErr_WarnEx(PyExc_RuntimeWarning, report.repaired.c_str(), 1) < 0)
            throw py::error_already_set();
      },
      py::arg("path"), py::arg("entries"),
      "Appends every (name, instance) pair of `entries` in one locked append: all of them or,\n"
      "on any failure, none, with the guarantees of the single append. Much faster than one\n"
      "call per entry, which locks and syncs the archive each time.");
}

}  // namespace mcjobs_python
