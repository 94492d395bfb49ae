// mcjobs.Job, mcjobs.JobInstance with its analyses, its text and pickling,
// the read-only job sequence and the NumPy view, and mcjobs.read.
#include <mcjobs/interchange.h>
#include <mcjobs/job.h>
#include <mcjobs/propagation.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding.h"

namespace mcjobs_python {

py::object wrap(JobInstance&& jobs) {
  return py::cast(std::make_unique<Instance>(std::move(jobs)));
}

namespace {

// mcjobs.Level, made once when the module is imported. Never destroyed: the interpreter
// may be gone by the time statics are.
py::object* levelType = nullptr;

}  // namespace

py::object levelOf(int level) {
  if (level != CRIT_LO && level != CRIT_HI) return py::int_(level);
  return (*levelType)(level);
}

namespace {

// The NumPy view reads the job vector in place.
static_assert(std::is_standard_layout<Job>::value && sizeof(Job) == 6 * sizeof(std::int32_t),
              "Job is six packed 32-bit fields");

std::string instanceText(JobInstance& jobs) {
  return mcjobs::writeNative(jobs);
}

JobInstance instanceFromText(const std::string& text, const std::string& source) {
  std::istringstream in(text);
  return mcjobs::readNative(in, source);
}

void checkId(const JobInstance& jobs, int id) {
  if (id < 0 || id >= jobs.size())
    throw py::index_error("no job with id " + std::to_string(id) + " (the instance has " +
                          std::to_string(jobs.size()) + " jobs)");
}

// Python indexing: negative positions count from the end.
int position(const JobInstance& jobs, long index) {
  const long size = jobs.size();
  if (index < -size || index >= size)
    throw py::index_error("job index " + std::to_string(index) + " out of range");
  return static_cast<int>(index < 0 ? index + size : index);
}

using IdSet = Util::Set<int>& (JobInstance::*)(int, int);

std::vector<int> dependencySet(Instance& self, int id, int level, IdSet which) {
  checkLevel(level);
  return withInstance(self, [&](JobInstance& jobs) {
    checkId(jobs, id);
    const Util::Set<int>& ids = (jobs.*which)(id, level);
    return std::vector<int>(ids.begin(), ids.end());
  });
}

// One level's analysis, with the level checked and the GIL released.
template <typename Result>
auto atLevel(Result (*analysis)(JobInstance&, int)) {
  return [analysis](Instance& self, int level) {
    checkLevel(level);
    return withInstance(self, [&](JobInstance& jobs) { return analysis(jobs, level); });
  };
}

py::object copyOf(Instance& self) {
  auto copy = withInstance(self, [&](JobInstance& jobs) {
    auto duplicate = std::make_unique<Instance>(JobInstance(jobs));
    duplicate->seed = self.seed;
    return duplicate;
  });
  return py::cast(std::move(copy));
}

std::vector<std::pair<int, int>> sortedArcs(const JobInstance& jobs) {
  std::vector<std::pair<int, int>> arcs;
  for (const Arc& arc : jobs.getAllArcs()) arcs.emplace_back(arc.from_id, arc.to_id);
  std::sort(arcs.begin(), arcs.end());
  return arcs;
}

// Value equality: the same jobs in the same order and the same arcs. Where the jobs came from
// (a seed, a file) is no part of the value.
bool sameJobsAndArcs(Instance& a, Instance& b) {
  if (&a == &b) return true;
  py::gil_scoped_release release;
  // Both locks at once, in an order that cannot deadlock with a == b and b == a in two threads.
  std::scoped_lock guard(a.mutex, b.mutex);
  if (a.core.size() != b.core.size()) return false;
  for (int id = 0; id < a.core.size(); ++id)
    if (std::memcmp(&*a.core.at(id), &*b.core.at(id), sizeof(Job)) != 0) return false;
  return sortedArcs(a.core) == sortedArcs(b.core);
}

// The read-only sequence behind JobInstance.jobs; holds its instance alive.
struct JobsView {
  py::object owner;
  Instance* instance;
};

std::string levelName(int level) {
  return level == CRIT_HI ? "HI" : level == CRIT_LO ? "LO" : std::to_string(level);
}

std::string jobRepr(const Job& job) {
  return "Job(id=" + std::to_string(job.id) + ", arrival=" + std::to_string(job.arrival) +
         ", deadline=" + std::to_string(job.deadline) +
         ", criticality=" + levelName(job.criticality) +
         ", lo_wcet=" + std::to_string(job.lo_wcet) + ", hi_wcet=" + std::to_string(job.hi_wcet) +
         ")";
}

// The fields of a Job: its pickled state and its hash.
const std::array<int Job::*, 6> kJobFields{&Job::id,          &Job::arrival, &Job::deadline,
                                           &Job::criticality, &Job::lo_wcet, &Job::hi_wcet};

py::tuple jobState(const Job& job) {
  py::tuple state(kJobFields.size());
  for (size_t k = 0; k < kJobFields.size(); ++k) state[k] = job.*kJobFields[k];
  return state;
}

// What a NumPy view holds: its instance, alive and counted as exported.
struct ViewBase {
  py::object owner;
};

py::array jobArray(const py::object& owner, Instance& self, bool copy) {
  py::dict layout;
  layout["names"] =
      py::make_tuple("id", "arrival", "deadline", "criticality", "lo_wcet", "hi_wcet");
  layout["formats"] = py::make_tuple("<i4", "<i4", "<i4", "<i4", "<i4", "<i4");
  layout["offsets"] =
      py::make_tuple(offsetof(Job, id), offsetof(Job, arrival), offsetof(Job, deadline),
                     offsetof(Job, criticality), offsetof(Job, lo_wcet), offsetof(Job, hi_wcet));
  layout["itemsize"] = sizeof(Job);
  const py::dtype type = py::dtype::from_args(layout);
  const std::vector<py::ssize_t> stride{static_cast<py::ssize_t>(sizeof(Job))};

  std::lock_guard<std::mutex> guard(self.mutex);
  const std::vector<py::ssize_t> shape{self.core.size()};
  if (copy || self.core.size() == 0) {
    py::array array(type, shape, stride);
    if (self.core.size() > 0)
      std::memcpy(array.mutable_data(), &*self.core.begin(), self.core.size() * sizeof(Job));
    return array;
  }
  py::capsule keeper(new ViewBase{owner}, [](void* pointer) {
    auto* view = static_cast<ViewBase*>(pointer);
    view->owner.cast<Instance&>().exports -= 1;
    delete view;
  });
  self.exports += 1;
  py::array array(type, shape, stride, &*self.core.begin(), keeper);
  array.attr("setflags")(py::arg("write") = false);
  return array;
}

void defineJob(py::module_& m) {
  py::class_<Job>(m, "Job",
                  "One job: release time, absolute deadline, criticality and one WCET per "
                  "level.\n\nA copy: changing the instance afterwards does not change it.")
      .def_readonly("id", &Job::id, "Position in the owning instance (0-based).")
      .def_readonly("arrival", &Job::arrival, "Release time.")
      .def_readonly("deadline", &Job::deadline, "Absolute deadline.")
      .def_property_readonly(
          "criticality", [](const Job& job) { return levelOf(job.criticality); },
          "mcjobs.Level.LO (1) or mcjobs.Level.HI (2).")
      .def_readonly("lo_wcet", &Job::lo_wcet, "Execution time budget at LO.")
      .def_readonly("hi_wcet", &Job::hi_wcet, "Execution time budget at HI.")
      .def_property_readonly("name", &Job::name, "'J' followed by id + 1, as in arc lines.")
      .def(
          "wcet", [](const Job& job, int level) { return job.getWCET(checkLevel(level)); },
          py::arg("level"), "The execution time budget at `level`.")
      .def(
          "__eq__",
          [](const Job& a, const Job& b) { return std::memcmp(&a, &b, sizeof(Job)) == 0; },
          py::is_operator())
      .def("__hash__", [](const Job& job) { return py::hash(jobState(job)); })
      .def("__repr__", &jobRepr)
      .def("__str__", &Job::toString)
      .def(py::pickle(&jobState, [](const py::tuple& state) {
        Job job;
        try {
          if (state.size() != kJobFields.size()) throw py::cast_error();
          for (size_t k = 0; k < kJobFields.size(); ++k) job.*kJobFields[k] = state[k].cast<int>();
        } catch (const py::cast_error&) {
          throw py::type_error("a pickled Job is a tuple of six 32-bit ints");
        }
        return job;
      }));

  py::class_<JobsView>(m, "JobsView", "The jobs of an instance in id order (read-only).")
      .def("__len__",
           [](JobsView& view) {
             return withInstance(*view.instance, [](JobInstance& jobs) { return jobs.size(); });
           })
      .def("__getitem__",
           [](JobsView& view, long index) {
             return withInstance(*view.instance, [&](JobInstance& jobs) {
               return *jobs.at(position(jobs, index));
             });
           })
      .def("__getitem__",
           [](JobsView& view, const py::slice& slice) {
             size_t start = 0, stop = 0, step = 0, length = 0;
             if (!slice.compute(py::len(view.owner), &start, &stop, &step, &length))
               throw py::error_already_set();
             return withInstance(*view.instance, [&](JobInstance& jobs) {
               std::vector<Job> chosen;
               for (size_t k = 0; k < length; ++k, start += step)
                 chosen.push_back(*jobs.at(static_cast<int>(start)));
               return chosen;
             });
           })
      .def("__repr__", [](JobsView& view) {
        return "<mcjobs.JobsView of " + std::to_string(py::len(view.owner)) + " jobs>";
      });
}

void defineConstructionAndJobs(py::class_<Instance>& instance) {
  instance.def(py::init<>(), "An empty instance.")
      .def("__len__",
           [](Instance& self) {
             return withInstance(self, [](JobInstance& jobs) { return jobs.size(); });
           })
      .def_property_readonly(
          "jobs",
          [](py::object self) {
            return JobsView{self, &self.cast<Instance&>()};
          },
          "The jobs in id order: a read-only sequence of mcjobs.Job copies.")
      .def(
          "job",
          [](Instance& self, int id) {
            return withInstance(self, [&](JobInstance& jobs) {
              checkId(jobs, id);
              return *jobs.at(id);
            });
          },
          py::arg("id"), "The job with that id (IndexError when there is none).")
      .def(
          "add_job",
          [](Instance& self, const AnyInt& arrival, const AnyInt& deadline,
             const AnyInt& criticality, const AnyInt& lo_wcet, const AnyInt& hi_wcet) {
            Job job;
            job.arrival = int32Of(arrival.value, "arrival");
            job.deadline = int32Of(deadline.value, "deadline");
            job.criticality = int32Of(criticality.value, "criticality");
            job.lo_wcet = int32Of(lo_wcet.value, "lo_wcet");
            job.hi_wcet = int32Of(hi_wcet.value, "hi_wcet");
            return withInstance(self, [&](JobInstance& jobs) {
              // Under the lock: to_numpy() in another thread counts its view under it too.
              if (self.exports > 0)
                throw py::buffer_error(
                    "cannot add a job while a NumPy view of the jobs (to_numpy()) is alive");
              jobs.insert(job);
              return jobs.size() - 1;
            });
          },
          py::arg("arrival"), py::arg("deadline"), py::arg("criticality"), py::arg("lo_wcet"),
          py::arg("hi_wcet"),
          "Appends a job after checking it (CheckError when invalid); returns its id.")
      .def(
          "add_arc",
          [](Instance& self, const AnyInt& u, const AnyInt& v) {
            const Arc arc(int32Of(u.value, "job id"), int32Of(v.value, "job id"));
            withInstance(self, [&](JobInstance& jobs) { jobs.insert(arc); });
          },
          py::arg("u"), py::arg("v"),
          "Job u precedes job v: at LO, and at HI too when both are HI jobs.\n"
          "CheckError for a job that does not exist or an arc that closes a cycle.");
}

void defineGraphQueries(py::class_<Instance>& instance) {
  instance
      .def(
          "arcs",
          [](Instance& self, std::optional<int> level) {
            if (level) checkLevel(*level);
            return withInstance(self, [&](JobInstance& jobs) {
              std::vector<std::pair<int, int>> arcs;
              if (!level) {
                for (const Arc& arc : jobs.getAllArcs()) arcs.emplace_back(arc.from_id, arc.to_id);
                return arcs;
              }
              for (int id = 0; id < jobs.size(); ++id)
                for (int next : jobs.getSuccessors(id, *level)) arcs.emplace_back(id, next);
              return arcs;
            });
          },
          py::arg("level") = py::none(),
          "The arcs (u, v) by ascending u, then v: all of them, or those of one level.")
      .def(
          "successors",
          [](Instance& self, int id, int level) {
            return dependencySet(self, id, level, &JobInstance::getSuccessors);
          },
          py::arg("id"), py::arg("level"), "Direct successors of a job at a level, sorted.")
      .def(
          "predecessors",
          [](Instance& self, int id, int level) {
            return dependencySet(self, id, level, &JobInstance::getPredecessors);
          },
          py::arg("id"), py::arg("level"), "Direct predecessors of a job at a level, sorted.")
      .def(
          "transitive_successors",
          [](Instance& self, int id, int level) {
            return dependencySet(self, id, level, &JobInstance::getTransitiveSuccessors);
          },
          py::arg("id"), py::arg("level"), "Every job reachable from a job at a level, sorted.")
      .def(
          "transitive_predecessors",
          [](Instance& self, int id, int level) {
            return dependencySet(self, id, level, &JobInstance::getTransitivePredecessors);
          },
          py::arg("id"), py::arg("level"),
          "Every job from which a job is reachable at a level, sorted.");
}

void defineAnalyses(py::class_<Instance>& instance) {
  instance
      .def("propagate_arrivals",
           atLevel(+[](JobInstance& jobs, int level) { return jobs.propagate_arrivals(level); }),
           py::arg("level"),
           "Raises arrivals along the transitive predecessors at a level; True when a job "
           "changed.\nOn CheckError the instance is left unchanged.")
      .def("propagate_deadlines",
           atLevel(+[](JobInstance& jobs, int level) { return jobs.propagate_deadlines(level); }),
           py::arg("level"),
           "Lowers deadlines along the transitive successors at a level; True when a job "
           "changed.\nOn CheckError the instance is left unchanged.")
      .def("asap_alap", atLevel(+[](JobInstance& jobs, int level) {
             mcjobs::propagateAlapAndAsapChecked(jobs, level);
           }),
           py::arg("level"),
           "Every deadline becomes the job's ALAP time, then every arrival its ASAP time, with "
           "the budgets of `level`.\nCheckError when a window can no longer hold its job's "
           "budgets; the instance is then left unchanged.")
      .def(
          "load",
          [](Instance& self, int level, bool mixed, int processors,
             std::optional<std::vector<int>> chosen) {
            checkLevel(level);
            if (processors < 1) throw py::value_error("processors must be at least 1");
            if (mixed && level != CRIT_LO)
              throw py::value_error("the mixed load is defined only at the LO level");
            const double load = withInstance(self, [&](JobInstance& jobs) {
              if (!chosen) return jobs.getStress(level, mixed, processors, nullptr);
              std::set<int> ids;
              for (int id : *chosen) checkId(jobs, id), ids.insert(id);
              return jobs.getStress(level, mixed, processors, &ids);
            });
            return load == DBL_MAX ? std::numeric_limits<double>::infinity() : load;
          },
          py::arg("level") = static_cast<int>(CRIT_LO), py::arg("mixed") = false,
          py::arg("processors") = 1, py::arg("jobs") = py::none(),
          "The largest interval load of the chosen jobs (all by default) at a level on\n"
          "`processors` processors; math.inf when the propagated windows cannot hold the "
          "budgets.");
}

void defineConversions(py::class_<Instance>& instance) {
  instance
      .def(
          "write",
          [](Instance& self, const py::object& path) {
            const std::string file = pathOf(path);
            withInstance(self, [&](JobInstance& jobs) { jobs.write(file.c_str()); });
          },
          py::arg("path"),
          "Writes the instance file atomically (a temporary file renamed over the target).")
      .def("copy", &copyOf, "An independent deep copy.")
      .def(
          "__eq__",
          [](Instance& self, const py::object& other) -> py::object {
            if (!py::isinstance<Instance>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
            return py::bool_(sameJobsAndArcs(self, other.cast<Instance&>()));
          },
          py::is_operator())
      // Mutable, like a list: equal instances may stop being equal, so no hash.
      .attr("__hash__") = py::none();
  instance
      .def_property_readonly(
          "seed", [](Instance& self) { return self.seed; },
          "The seed generate() made the jobs from (the one drawn for seed=None); None for "
          "instances\nnot generated. Copies and pickles keep it; == ignores it.")
      .def("__copy__", &copyOf)
      .def(
          "__deepcopy__", [](Instance& self, const py::object&) { return copyOf(self); },
          py::arg("memo"))
      .def("__str__", [](Instance& self) { return withInstance(self, &instanceText); })
      .def("__repr__",
           [](Instance& self) {
             return withInstance(self, [](JobInstance& jobs) {
               return "<mcjobs.JobInstance: " + std::to_string(jobs.size()) + " jobs, " +
                      std::to_string(jobs.getAllArcs().size()) + " arcs>";
             });
           })
      .def(
          "to_numpy",
          [](py::object self, bool copy) { return jobArray(self, self.cast<Instance&>(), copy); },
          py::arg("copy") = false,
          "The jobs as a NumPy structured array (fields id, arrival, deadline, criticality,\n"
          "lo_wcet, hi_wcet; int32). Without `copy` a read-only view of the instance's own "
          "memory:\nit follows propagations, and add_job raises BufferError while it lives.")
      .def(py::pickle(
          [](Instance& self) {
            py::tuple state = py::make_tuple(withInstance(self, &instanceText));
            if (self.seed) state = py::make_tuple(state[0], *self.seed);
            return state;
          },
          [](const py::tuple& state) {
            if (state.size() < 1 || state.size() > 2 || !py::isinstance<py::str>(state[0]) ||
                (state.size() == 2 && !py::isinstance<py::int_>(state[1])))
              throw py::type_error(
                  "a pickled JobInstance is a tuple of its instance file text (and its seed)");
            const std::string text = state[0].cast<std::string>();
            std::unique_ptr<Instance> restored;
            {
              py::gil_scoped_release release;
              restored = std::make_unique<Instance>(instanceFromText(text, "<pickle>"));
            }
            if (state.size() == 2) restored->seed = state[1].cast<std::uint64_t>();
            return restored;
          }));
}

void defineReaders(py::module_& m) {
  m.def(
      "read",
      [](const py::object& path) {
        const std::string file = pathOf(path);
        int error = 0;
        JobInstance jobs;
        {
          py::gil_scoped_release release;
          if (!jobs.read(file.c_str())) error = errno;
        }
        if (error != 0) raiseOSError(error, file);
        return wrap(std::move(jobs));
      },
      py::arg("path"),
      "Reads an instance file. OSError (FileNotFoundError ...) when it cannot be opened,\n"
      "CheckError naming the file and line when a line is wrong.");
  m.def(
      "from_text",
      [](const std::string& text) {
        py::gil_scoped_release release;
        return std::make_unique<Instance>(instanceFromText(text, "<text>"));
      },
      py::arg("text"), "An instance from the text of an instance file (the inverse of str()).");
}

void defineInstance(py::module_& m) {
  py::class_<Instance> instance(
      m, "JobInstance",
      "A job set with its precedence graph and transitive closure per criticality level.\n\n"
      "Methods that may take long release the GIL; each instance serialises its own calls,\n"
      "so threads may share it, and analyses of different instances run in parallel.");
  defineConstructionAndJobs(instance);
  defineGraphQueries(instance);
  defineAnalyses(instance);
  defineConversions(instance);
  defineReaders(m);
}

}  // namespace

void initInstance(py::module_& m) {
  // An IntEnum rather than a pybind11 enum: a Level is an int, so comparisons with 1 and 2,
  // arithmetic, NumPy and JSON (2, not "Level.HI") all keep working.
  const py::object members = py::make_tuple(py::make_tuple("LO", static_cast<int>(CRIT_LO)),
                                            py::make_tuple("HI", static_cast<int>(CRIT_HI)));
  levelType = new py::object(py::module_::import("enum").attr("IntEnum")(
      "Level", members, py::arg("module") = "mcjobs"));
  levelType->attr("__doc__") = "A criticality level: LO (1) or HI (2). Anything that takes a "
                               "level takes the plain ints too.";
  m.attr("Level") = *levelType;
  m.attr("LO") = levelType->attr("LO");
  m.attr("HI") = levelType->attr("HI");
  defineJob(m);
  defineInstance(m);
  // pybind11 looks NumPy up in a function-local static on first use, and
  // the import inside may let another thread take the GIL: a second
  // thread's first to_numpy() would then wait for the static's guard
  // holding the GIL, forever. Import is single-threaded, so look it up
  // now; without NumPy to_numpy() raises ImportError when called.
  try {
    py::detail::npy_api::get();
  } catch (const py::error_already_set&) {
  }
}

}  // namespace mcjobs_python
