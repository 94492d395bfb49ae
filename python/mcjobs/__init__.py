"""Mixed-criticality job sets with precedence constraints.

The C++ core (mcjobs._mcjobs) does the work; this package adds the NetworkX
conversions. Long calls release the GIL, instances pickle (process pools),
and failed checks raise mcjobs.CheckError, a ValueError.
"""

import collections.abc as _abc
import copyreg as _copyreg

from . import _mcjobs
from ._mcjobs import HI, LO, JobInstance, JobsView


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
    attributes, and the arcs of `level`."""
    import networkx

    graph = networkx.DiGraph(level=level)
    for job in self.jobs:
        graph.add_node(job.id, name=job.name, **{field: getattr(job, field) for field in _FIELDS})
    graph.add_edges_from(self.arcs(level))
    return graph


JobInstance.to_networkx = _to_networkx


def from_networkx(graph):
    """An instance from a directed graph whose nodes carry arrival, deadline, criticality,
    lo_wcet and hi_wcet. Nodes become jobs in sorted order (the ids of to_networkx come back
    as they were); every edge becomes an arc."""
    if not graph.is_directed():
        raise TypeError("from_networkx needs a directed graph: an undirected edge has no order")
    nodes = sorted(graph.nodes)
    ids = {node: index for index, node in enumerate(nodes)}
    instance = JobInstance()
    for node in nodes:
        attributes = graph.nodes[node]
        missing = [field for field in _FIELDS if field not in attributes]
        if missing:
            raise KeyError(f"node {node!r} lacks {', '.join(missing)}")
        values = [attributes[field] for field in _FIELDS]
        for field, value in zip(_FIELDS, values):
            if isinstance(value, bool) or not hasattr(value, "__index__"):
                raise TypeError(f"node {node!r}: {field} must be an int, not {value!r}")
        instance.add_job(*(value.__index__() for value in values))
    # edges() without keys: a multigraph's parallel edges are one arc.
    for u, v in sorted((ids[u], ids[v]) for u, v in graph.edges()):
        instance.add_arc(u, v)
    return instance



def plot_gantt(instance, result, ax=None, processors=None):
    """Draws the HI and LO tables of `result` (what JobInstance.schedule returns) with
    Matplotlib: one row per mode and processor, HI jobs in reds, LO jobs in blues, job names
    on the bars. Returns the axes."""
    import matplotlib.pyplot as plt

    created = ax is None
    if created:
        _, ax = plt.subplots(figsize=(8, 3))
    processors = processors or result["processors"]
    tables = result["tables"] or {"hi": [], "lo": []}
    jobs = instance.jobs
    labels = []
    for panel, mode in enumerate(("hi", "lo")):
        for p in range(processors):
            row = panel * (processors + 1) + p
            labels.append((row, f"{mode.upper()} P{p}"))
            for segment in tables[mode]:
                if segment["processor"] != p:
                    continue
                critical = jobs[segment["id"]].criticality == HI
                width = segment["end"] - segment["start"]
                ax.barh(row, width, left=segment["start"], height=0.8,
                        color="#e4846c" if critical else "#7fa7d4", edgecolor="#333333")
                ax.text(segment["start"] + width / 2, row, segment["job"], ha="center",
                        va="center", fontsize=7)
    ax.set_yticks([row for row, _ in labels], [label for _, label in labels])
    ax.invert_yaxis()
    ax.set_xlabel("time")
    ax.set_title("schedulable" if result["schedulable"] else
                 "not schedulable: " + result["failure"]["message"])
    if created:
        ax.figure.tight_layout()
    return ax
