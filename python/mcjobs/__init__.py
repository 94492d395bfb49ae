"""Mixed-criticality job sets with precedence constraints.

The C++ core (mcjobs._mcjobs) does the work; this package adds the NetworkX
conversions. Long calls release the GIL, instances pickle (process pools),
and failed checks raise mcjobs.CheckError, a ValueError.
"""

import collections.abc as _abc
import contextlib as _contextlib
import copyreg as _copyreg
import inspect as _inspect
import numbers as _numbers
import operator as _operator
import re as _re
import secrets as _secrets
import types as _types
import warnings as _warnings

from . import _mcjobs
from ._mcjobs import HI, LO, JobInstance, JobsView, Level
from ._mcjobs import __version__


def _reduce(self):
    # What protocol 2 and later do by default. Below 2, object's own reduction would build
    # the copy through a base class that pybind11 cannot allocate, and the interpreter aborts.
    return _copyreg.__newobj__, (type(self),), self.__getstate__()


def _refuse_pickling(self):
    raise TypeError(f"cannot pickle {type(self).__name__!r} object")


# Everything the extension defines is the package's, whichever binding file adds it;
# tracebacks, reprs and pickles then name mcjobs rather than the extension inside it.
for _name, _value in vars(_mcjobs).items():
    if not _name.startswith("_"):
        globals()[_name] = _value
        if isinstance(_value, type):
            _value.__module__ = __name__
            if type(_value).__name__ == "pybind11_type":
                _picklable = "__setstate__" in vars(_value)
                _value.__reduce__ = _reduce if _picklable else _refuse_pickling

_abc.Sequence.register(JobsView)
# register() lends no methods: index and count come from the Sequence mixins.
JobsView.index = _abc.Sequence.index
JobsView.count = _abc.Sequence.count

_FIELDS = ("arrival", "deadline", "criticality", "lo_wcet", "hi_wcet")


def _to_networkx(self, level=LO):
    """A networkx.DiGraph: one node per job id with the job fields (and its name) as node
    attributes (criticality as a Level), and the arcs of `level`."""
    import networkx

    graph = networkx.DiGraph(level=Level(level) if level in (LO, HI) else level)
    for job in self.jobs:
        graph.add_node(job.id, name=job.name, **{field: getattr(job, field) for field in _FIELDS})
    graph.add_edges_from(self.arcs(level))
    return graph


JobInstance.to_networkx = _to_networkx


# Labels that name a job: J followed by a positive number without leading zeros.
_JOB_NAME = _re.compile(r"J[1-9][0-9]*\Z")
# The renumbered nodes a warning lists before it only counts them.
_RENUMBERED_SHOWN = 5


def _is_int(value):
    return isinstance(value, _numbers.Integral) and not isinstance(value, bool)


def _named_id(node):
    """The 0-based job id a node id names (0 for 0 or 'J1'), or None when it names none."""
    if isinstance(node, str):
        return int(node[1:]) - 1 if _JOB_NAME.match(node) else None
    return node


def _node_order(nodes):
    """The nodes in job id order, as the JSON reader numbers them: by the job each id names
    when the ids are exactly J1..Jn (or 0..n-1), otherwise as given, with a warning naming
    every node whose job is not the one its id names."""
    for node in nodes:
        if not isinstance(node, str) and not _is_int(node):
            raise TypeError(f"node ids must be ints or strs (job names such as 'J1'), not {node!r}")
    names = [isinstance(node, str) for node in nodes]
    if any(names) and not all(names):
        other = nodes[names.index(not names[0])]
        raise TypeError(f"node ids are all ints or all strs, not a mix such as {nodes[0]!r} and "
                        f"{other!r}")
    integers = not all(names)
    named = [_named_id(node) for node in nodes]
    if sorted(id for id in named if id is not None) == list(range(len(nodes))):
        return [node for _, node in sorted(zip(named, nodes))]
    renumbered = [f"{node} -> J{k + 1}" for k, (node, id) in enumerate(zip(nodes, named))
                  if id is not None and id != k]
    if renumbered:
        ids = f"0..{len(nodes) - 1}" if integers else f"J1..J{len(nodes)}"
        shown = renumbered[:_RENUMBERED_SHOWN]
        if len(renumbered) > _RENUMBERED_SHOWN:
            shown.append(f"... ({len(renumbered)} in all)")
        _warnings.warn(f"node ids are not {ids}: numbered in the order given, " + ", ".join(shown),
                       stacklevel=3)
    return list(nodes)


def _criticality(node, value):
    """LO or HI from 1/2 (to_networkx) or 'LO'/'HI' (to_json)."""
    for level, word in ((LO, "LO"), (HI, "HI")):
        if value == word or (_is_int(value) and value == level):
            return level
    raise ValueError(f"node {node!r}: criticality must be 1, 2, 'LO' or 'HI', not {value!r}")


def from_networkx(graph):
    """An instance from a directed graph whose nodes carry arrival, deadline, criticality
    (1/2 or 'LO'/'HI'), lo_wcet and hi_wcet; every edge becomes an arc. Node ids are all
    ints or all strs: ids exactly J1..Jn (or 0..n-1, as to_networkx writes them) give the
    jobs they name in any order; other ids are numbered in the graph's order, with a warning
    when that moves a node whose id names a job."""
    if not graph.is_directed():
        raise TypeError("from_networkx needs a directed graph: an undirected edge has no order")
    nodes = _node_order(list(graph.nodes))
    ids = {node: index for index, node in enumerate(nodes)}
    instance = JobInstance()
    for node in nodes:
        attributes = graph.nodes[node]
        missing = [field for field in _FIELDS if field not in attributes]
        if missing:
            raise KeyError(f"node {node!r} lacks {', '.join(missing)}")
        values = dict(attributes)
        values["criticality"] = _criticality(node, values["criticality"])
        for field in _FIELDS:
            value = values[field]
            if not _is_int(value):
                raise TypeError(f"node {node!r}: {field} must be an int, not {value!r}")
        instance.add_job(*(values[field].__index__() for field in _FIELDS))
    # edges() without keys: a multigraph's parallel edges are one arc.
    for u, v in sorted((ids[u], ids[v]) for u, v in graph.edges()):
        instance.add_arc(u, v)
    return instance


def _failure_words(failure):
    """JobInstance.schedule's failure message, for the command line's failure without one."""
    kind = failure["kind"]
    missed = "safe switch" if kind == "safe_switch" else str(failure["bound"])
    if kind == "arrival":
        missed = "arrival " + missed
    return f"{failure['mode'].upper()}: {failure['job']} misses {missed} at {failure['time']}"


def plot_gantt(instance, result, ax=None, processors=None):
    """Draws the HI and LO tables of `result` (what JobInstance.schedule returns, or the
    document of `mcjobs schedule --json`) with Matplotlib: one row per mode and processor,
    HI jobs in reds, LO jobs in blues, job names on the bars. Returns the axes."""
    import matplotlib.pyplot as plt

    created = ax is None
    if created:
        _, ax = plt.subplots(figsize=(8, 3))
    processors = processors or result["processors"]
    tables = result["tables"] or {"hi": [], "lo": []}
    jobs = instance.jobs
    labels = []
    failure = result["failure"]
    for panel, mode in enumerate(("hi", "lo")):
        for p in range(processors):
            row = panel * (processors + 1) + p
            labels.append((row, f"{mode.upper()} P{p}"))
            for segment in tables[mode]:
                if segment["processor"] != p:
                    continue
                # The command line's segments name their job only.
                job = segment["id"] if "id" in segment else _named_id(segment["job"])
                critical = jobs[job].criticality == HI
                width = segment["end"] - segment["start"]
                ax.barh(row, width, left=segment["start"], height=0.8,
                        color="#e4846c" if critical else "#7fa7d4", edgecolor="#333333")
                ax.text(segment["start"] + width / 2, row, segment["job"], ha="center",
                        va="center", fontsize=7)
    ax.set_yticks([row for row, _ in labels], [label for _, label in labels])
    ax.invert_yaxis()
    ax.set_xlabel("time")
    if result["schedulable"]:
        ax.set_title("schedulable")
    elif failure is None:  # the load test alone settled it
        ax.set_title("not schedulable: infeasible: " + result["reason"])
    elif result.get("program"):  # the exact method's program gave up or proved it
        ax.set_title(f"not schedulable: {result['status']}: {result['reason']}")
    else:
        ax.set_title("not schedulable: " + failure.get("message", _failure_words(failure)))
    if created:
        ax.figure.tight_layout()
    return ax


def _pandas():
    """pandas, imported on first use: the package works without it."""
    try:
        import pandas
    except ImportError as error:
        raise ImportError("this needs pandas (Debian: apt-get install python3-pandas; pip: "
                          "pip install pandas)") from error
    return pandas


def _criticality_column(pandas, levels):
    """LO and HI as an ordered categorical column: readable, and LO sorts before HI."""
    return pandas.Categorical.from_codes([int(level) - 1 for level in levels],
                                         categories=["LO", "HI"], ordered=True)


def _to_pandas(self):
    """A pandas.DataFrame with one row per job in id order: id, name, arrival, deadline,
    criticality ('LO' or 'HI', an ordered categorical) and lo_wcet, hi_wcet."""
    pandas = _pandas()
    jobs = self.to_numpy(copy=True)
    frame = pandas.DataFrame({"id": jobs["id"], "name": [job.name for job in self.jobs]})
    for field in _FIELDS:
        frame[field] = jobs[field]
    frame["criticality"] = _criticality_column(pandas, jobs["criticality"])
    return frame


JobInstance.to_pandas = _to_pandas


def _repr_html_(self):
    """What Jupyter shows: the jobs, arcs and utilization per level and the horizon (those of
    stats()), the first jobs as a table, and the DAG as SVG when Graphviz's dot is installed
    and the set is small."""
    from . import _notebook

    return _notebook.instance_html(self)


JobInstance._repr_html_ = _repr_html_

# The segments of a table as a NumPy structured array; times are 64-bit as in the library.
_SEGMENT_FIELDS = (("id", "<i4"), ("processor", "<i4"), ("start", "<i8"), ("end", "<i8"))


def _segment_array(segments):
    import numpy

    width = max((len(segment["job"]) for segment in segments), default=1)
    dtype = [("job", f"<U{width}"), *_SEGMENT_FIELDS]
    return numpy.array([(segment["job"], *(segment[name] for name, _ in _SEGMENT_FIELDS))
                        for segment in segments], dtype=dtype)


class ScheduleResult(dict):
    """What JobInstance.schedule returns: the document of `mcjobs schedule --json` (a dict,
    so result["tables"]["hi"] and json.dumps(result) work as they always did) with its
    entries as attributes. `tables` gives each mode's segments as a NumPy structured array
    (fields job, id, processor, start, end) and to_pandas() as DataFrames. Jupyter shows a
    result with tables as its Gantt chart."""

    # The instance the tables belong to, for the Gantt chart; None for a document built by hand.
    __slots__ = ("_instance",)

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self._instance = None

    @property
    def processors(self):
        return self["processors"]

    @property
    def schedulable(self):
        return self["schedulable"]

    @property
    def status(self):
        """'feasible', 'infeasible' (proven) or 'unknown'."""
        return self["status"]

    @property
    def method(self):
        """'heuristic' (one pair of policies), 'portfolio' or 'exact'."""
        return self["method"]

    @property
    def policy(self):
        """{'hi': ..., 'lo': ...}: the pair that gave the tables or failed first; None when
        the load test alone settled it or the tables come from the exact method's program."""
        return self["policy"]

    @property
    def reason(self):
        """Why there are no tables, when the load test proves the set infeasible or the exact
        method's program gives up or proves it; else None."""
        return self["reason"]

    @property
    def program(self):
        """The exact method's integer program: {'slots', 'seconds'}, or None when the load
        test or a pair settled the set first; None for the other methods, whose documents
        have no 'program'."""
        return self.get("program")

    @property
    def attempts(self):
        return self["attempts"]

    @property
    def failure(self):
        return self["failure"]

    @property
    def tables(self):
        """{'hi': array, 'lo': array} of NumPy structured arrays, None when not schedulable."""
        tables = self["tables"]
        if tables is None:
            return None
        return {mode: _segment_array(tables[mode]) for mode in ("hi", "lo")}

    def to_pandas(self):
        """{'hi': DataFrame, 'lo': DataFrame} with the columns of `tables`, None when not
        schedulable."""
        pandas = _pandas()
        tables = self.tables
        if tables is None:
            return None
        return {mode: pandas.DataFrame(table) for mode, table in tables.items()}

    def to_dict(self):
        """A plain dict of the same entries."""
        return dict(self)

    def _verdict(self):
        """'feasible on 2 processors, hi=edf lo=edf': the status, and the pair that decided."""
        plural = "" if self["processors"] == 1 else "s"
        words = f"{self['status']} on {self['processors']} processor{plural}"
        if self["policy"] is not None:
            words += f", hi={self['policy']['hi']} lo={self['policy']['lo']}"
        elif self["tables"] is not None:
            words += ", integer program"
        return words

    def __repr__(self):
        words = self._verdict()
        if self["tables"] is not None:
            words += (f", {len(self['tables']['hi'])} HI and {len(self['tables']['lo'])} LO "
                      "segments")
        elif self["reason"] is not None:
            words += ": " + self["reason"]
        return f"<mcjobs.ScheduleResult: {words}>"

    def _repr_svg_(self):
        """The Gantt chart of the tables, with its legend, as Jupyter shows it; None without
        tables (or without the instance), so that the text repr shows instead."""
        if self["tables"] is None or self._instance is None:
            return None
        return self._instance.gantt_svg(self, self["processors"], self._verdict())

    def __reduce__(self):
        return ScheduleResult, (dict(self),), self._instance

    def __setstate__(self, instance):
        self._instance = instance


_schedule_document = JobInstance._schedule


def _schedule(self, processors, policy=None, hi_policy=None, lo_policy=None, method=None,
              time_limit=None):
    """Verified HI and LO tables on `processors` processors as a ScheduleResult: the
    command line's JSON {'processors', 'schedulable', 'policy': {'hi', 'lo'} or None,
    'method', 'status', 'reason', 'attempts', 'tables': {'hi': [...], 'lo': [...]} or None,
    'program': {'slots', 'seconds'} or None (method 'exact' only), 'failure': None or
    {'mode', 'job', 'kind', 'bound', 'time', 'message'}}, whose entries are also attributes;
    a segment is {'job', 'id', 'processor', 'start', 'end'}. Policies 'edf', 'llf', 'edzl':
    `policy` for both tables, or `hi_policy` and `lo_policy` (default 'edf'); none of them:
    the load test, then the portfolio of pairs ('method': 'portfolio'). method='exact' hands
    what the pairs leave open to an integer program, which answers 'feasible' with its own
    tables, 'infeasible' (proven) or 'unknown' once `time_limit` seconds (default 60) have
    run out; the GIL is released meanwhile."""
    result = ScheduleResult(_schedule_document(self, processors, policy, hi_policy, lo_policy,
                                               method, time_limit))
    result._instance = self
    return result


_schedule.__name__ = "schedule"
_schedule.__qualname__ = "JobInstance.schedule"
JobInstance.schedule = _schedule


# generate(): a keyword signature built from the C++ option table, so that help(),
# inspect.signature and completion list every option with its default. Only the options the
# caller gives reach the library, which refuses those of another model or shape.
_GENERATE_DEFAULTS = _mcjobs.generate_options()
# Options given as a range "a..b"; they take (a, b) and Python ranges too.
_RANGE_OPTIONS = frozenset(name for name, value in _GENERATE_DEFAULTS.items()
                           if isinstance(value, str) and ".." in value)
_LIST_OPTIONS = frozenset(name for name, value in _GENERATE_DEFAULTS.items()
                          if isinstance(value, list))
_GENERATE_SIGNATURE = _inspect.Signature(
    [_inspect.Parameter("seed", _inspect.Parameter.KEYWORD_ONLY)]
    + [_inspect.Parameter(name, _inspect.Parameter.KEYWORD_ONLY, default=value)
       for name, value in _GENERATE_DEFAULTS.items()])
# The command line's option words in the library's messages, and what a Python caller writes.
# The model and shape are the options the messages quote with their value.
_OPTION_FLAG = _re.compile(r"--(model|shape) ([a-z-]+)|--(%s)\b" % "|".join(
    sorted((name.replace("_", "-") for name in _GENERATE_DEFAULTS), key=len, reverse=True)))


def _python_words(message):
    """A message of the generator in Python's names: "--edge-prob" becomes "edge_prob" and
    "--model periodic" "model='periodic'"."""
    def parameter(match):
        if match.group(1):
            return f"{match.group(1)}={match.group(2)!r}"
        return match.group(3).replace("-", "_")
    return _OPTION_FLAG.sub(parameter, message)


def _number(name, value):
    """A NumPy or other numbers.Number scalar as the int or float the library reads."""
    if isinstance(value, bool) or not isinstance(value, _numbers.Number):
        return value
    if isinstance(value, _numbers.Integral):
        return _operator.index(value)
    if type(value).__module__ == "numpy":
        # str() is the shortest text that is this float32 (0.3, not 0.30000001192092896).
        return float(str(value))
    if isinstance(value, _numbers.Real):
        return float(value)
    raise TypeError(f"{name}: expected a real number, not {value!r}")


def _range_text(name, value):
    """'a..b' for a pair (a, b), both ends included, or for range(a, b + 1)."""
    if isinstance(value, range):
        if value.step != 1 or len(value) == 0:
            raise ValueError(f"{name}: a range gives sizes with step 1 and is not empty, "
                             f"not {value!r}")
        return f"{value.start}..{value.stop - 1}"
    if isinstance(value, (tuple, list)):
        if len(value) != 2:
            raise ValueError(f"{name}: a range is a pair (smallest, largest), not {value!r}")
        low, high = (_number(name, end) for end in value)
        return f"{low}..{high}"
    return _number(name, value)


def _option_value(name, value):
    if name in _RANGE_OPTIONS:
        return _range_text(name, value)
    if name in _LIST_OPTIONS and not isinstance(value, (str, bytes)) and \
            isinstance(value, _abc.Iterable):
        return [_number(name, item) for item in value]
    return _number(name, value)


def _generator_options(function, options):
    """The options as the extension reads them; TypeError for a name generate() does not take."""
    unknown = [name for name in options if name not in _GENERATE_DEFAULTS]
    if unknown:
        raise TypeError(f"{function}() got an unexpected keyword argument {unknown[0]!r}")
    return {name: _option_value(name, value) for name, value in options.items()
            if value is not None}


@_contextlib.contextmanager
def _python_words_of_generator(warnings=True):
    """Raises the generator's CheckError in Python's names; with `warnings`, its warnings too
    (issued again at the caller of the public function)."""
    with _warnings.catch_warnings(record=True) as caught:
        _warnings.simplefilter("always" if warnings else "ignore")
        try:
            yield
        except _mcjobs.CheckError as error:
            translated = _mcjobs.CheckError(_python_words(str(error)))
            for attribute in ("file", "line", "explanation"):
                setattr(translated, attribute, getattr(error, attribute))
            translated.condition = error.condition and _python_words(error.condition)
            raise translated from None
    for warning in caught:
        _warnings.warn(_python_words(str(warning.message)), warning.category, stacklevel=4)


def generate(*, seed, **options):
    """A seeded random job set: generate(seed=7, model='frame', nodes=(30, 30), edge_prob=0.2).

    Takes the options of `mcjobs generate`, named with '_' for '-', as Python values (ints,
    floats and NumPy scalars, True/False, a list of periods, a range as a pair (a, b) with
    both ends included or as range(a, b + 1)) or as the command line's text ("30..50"); the
    same options and seed give the same set as the command line. Options left out (or None)
    keep their defaults; an option that does not apply to the model or shape chosen raises
    CheckError, as does a bad value, naming the parameter. seed=None draws a 64-bit seed from
    the system's randomness; `inst.seed` tells the seed of every generated set. A
    RuntimeWarning says when the LO (or, with utilization_hi, the HI) utilization misses its
    target by more than 1%, with the achieved value."""
    given = _generator_options("generate", options)
    if seed is None:
        seed = _secrets.randbits(64)
    with _python_words_of_generator():
        return _mcjobs.generate(seed=_operator.index(seed), **given)


def generate_many(n, *, seed, **options):
    """Entries 1..n of a batch from `seed`: entry i is generate(seed=batch_seed(seed, i),
    **options), so any entry regenerates alone. The whole batch is generated in C++ with the
    GIL released; options and warnings as for generate()."""
    given = _generator_options("generate_many", options)
    if seed is None:
        seed = _secrets.randbits(64)
    with _python_words_of_generator():
        return _mcjobs.generate_many(_operator.index(n), seed=_operator.index(seed), **given)


generate.__signature__ = _GENERATE_SIGNATURE


def study(grid, count, seed, tests=("load", "default"), processes=None, client=None,
          time_limit=None, **options):
    """An acceptance study as a pandas DataFrame with one row per job set.

    `grid` maps generate() options to lists of values; its points are all their combinations,
    the last option varying fastest (as nested loops over the options in the grid's order).
    Each point gets `count` sets; set k of the study (from 1, counting across the points in
    order) is generate(seed=batch_seed(seed, k), **options, **point), so every row is unique
    and regenerates from its `seed`. `tests` are 'load' (the load test does not prove the set
    infeasible), a policy for both tables ('edf', 'llf', 'edzl') or a pair such as
    'hi=llf,lo=edf' (checked tables found), 'default' (the portfolio finds checked tables) and
    'exact' (the exact method finds checked tables, within `time_limit` seconds per set,
    default 60).

    Columns: the grid's options, seed, utilization_lo and utilization_hi (achieved), one bool
    per test, exact_status with the exact test ('feasible', 'infeasible' or 'unknown': an
    unknown set is not accepted) and time_TEST per test (seconds). The sets are generated and
    tested in C++ in chunks, the GIL released for a whole chunk; processes=N runs the chunks
    on a pool of N processes, client= on a Dask client. A tqdm bar shows once a study has run
    a while, when tqdm is installed."""
    from . import _study

    with _python_words_of_generator(warnings=False):
        return _study.study(grid, count, seed, tests, time_limit, processes, client, options,
                            lambda point: _generator_options("study", {**options, **point}))


def plot_acceptance(df, x, tests, by=None, ax=None):
    """The acceptance ratio of each of `tests` (bool columns of a study) against column `x`,
    with 95% Wilson score intervals as bands and the sets per point in the title; `by` draws
    one line per test and value of that column. Draws on `ax`, or on a new figure made
    outside pyplot (it saves with Agg and leaves pyplot's backend alone). Returns the figure."""
    from . import _study

    return _study.plot_acceptance(df, x, tests, by, ax)


def wilson_interval(accepted, count, z=1.959963984540054):
    """The Wilson score interval (low, high) of `accepted` successes in `count` trials (NumPy
    arrays element-wise); the default z gives 95%."""
    from . import _study

    return _study.wilson_interval(accepted, count, z)


# Pickling functions and methods of the extension by name, so that process pools and Dask
# take mcjobs.read, mcjobs.JobInstance.load and partials of them. pybind11 binds them to a
# capsule, which pickle cannot save; they are looked up again by their owner and name.
_NAMED_FUNCTIONS = {}
for _name, _value in vars(_mcjobs).items():
    if isinstance(_value, _types.BuiltinFunctionType):
        _NAMED_FUNCTIONS[_value] = (_mcjobs.__name__, None, _name)
    elif isinstance(_value, type) and type(_value).__name__ == "pybind11_type":
        for _member, _attribute in vars(_value).items():
            _function = getattr(_attribute, "__func__", _attribute)
            if isinstance(_function, _types.BuiltinFunctionType):
                _NAMED_FUNCTIONS[_function] = (__name__, _name, _member)


def _named_function(module, owner, name):
    """What a pickled function of the extension names (its module's own, a class's method)."""
    import importlib

    scope = importlib.import_module(module)
    return getattr(getattr(scope, owner) if owner else scope, name)


def _reduce_function(function):
    # A method as the class holds it (instancemethod) wraps the function pybind11 made.
    function = getattr(function, "__func__", function)
    name = _NAMED_FUNCTIONS.get(function)
    if name is None:
        # Not one of ours: what pickle does for builtins anyway.
        return function.__reduce__()
    return _named_function, name


_copyreg.pickle(_types.BuiltinFunctionType, _reduce_function)
_copyreg.pickle(type(vars(JobInstance)["load"]), _reduce_function)
del _function, _attribute, _member
