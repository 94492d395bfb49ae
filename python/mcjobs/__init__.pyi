# Type stubs of the mcjobs package: the extension's classes and functions, which the package
# exports, and the package's own Python functions. stubtest checks them against the module.
import enum
import os
from typing import (Any, Dict, Iterable, Iterator, List, Literal, Optional, Sequence,
                    SupportsFloat, SupportsIndex, Tuple, TypedDict, Union, overload)

# Debian's Matplotlib, NetworkX and pandas carry no types: their classes are Any there, and
# typed wherever stubs for them are installed.
import matplotlib.axes  # type: ignore[import]
import matplotlib.figure  # type: ignore[import]
import networkx  # type: ignore[import]
import numpy
import numpy.typing
import pandas  # type: ignore[import]

__version__: str

class Level(enum.IntEnum):
    LO = 1
    HI = 2

LO: Literal[Level.LO]
HI: Literal[Level.HI]

_Path = Union[str, os.PathLike[str]]
# Job ids read straight from the closure index.
_Ids = numpy.typing.NDArray[numpy.int32]
# Ints and anything with __index__ (NumPy integers); reals and NumPy floats.
_Int = SupportsIndex
_Real = Union[SupportsFloat, SupportsIndex]
# A range of sizes: exactly N, a pair (smallest, largest), a Python range (stop excluded), "A..B".
_SizeRange = Union[_Int, Tuple[_Int, _Int], range, str]
# Tables to check or draw: a schedule's result or document, or its two tables alone.
_Tables = Union[ScheduleResult, _ScheduleDocument, _ScheduleTables]

# The words and dicts of results, so that a misspelt policy or result key fails the check.
# At run time results are plain dicts and strs: these types exist only here, hence private
# names (a public name of the stubs must be one of the module's).
_Policy = Literal["edf", "llf", "edzl"]
# One pair of policies, the portfolio of pairs, or an exact search.
_ScheduleMethod = Literal["heuristic", "portfolio", "exact"]
# What schedule() takes: a pair of policies is asked for by naming its policies.
_MethodChoice = Literal["portfolio", "exact"]
# Tables found, proven that none exist, or neither.
_ScheduleStatus = Literal["feasible", "infeasible", "unknown"]
# The key of a table and of the per-level entries of results.
_Mode = Literal["hi", "lo"]
# The rules that verify_schedule names.
_ScheduleRule = Literal["after_deadline", "bad_segment", "before_arrival", "budget_exceeded",
                        "budget_short", "job_overlap", "lo_job_in_hi_table", "precedence",
                        "processor_overlap", "safe_switch"]

class _SchedulePair(TypedDict):
    hi: _Policy
    lo: _Policy

# A job's run on one processor from start to end (excluded).
class _Segment(TypedDict):
    job: str
    id: int
    processor: int
    start: int
    end: int

class _ScheduleTables(TypedDict):
    hi: List[_Segment]
    lo: List[_Segment]

# In the `mode` table, `job` missed `bound` (its deadline, its arrival or the safe switch)
# at `time`.
class _ScheduleFailure(TypedDict):
    mode: _Mode
    job: str
    kind: Literal["deadline", "arrival", "safe_switch"]
    bound: int
    time: int
    message: str

class _ScheduleAttempt(TypedDict):
    policy: _SchedulePair
    failure: Optional[_ScheduleFailure]

# The exact method's integer program: its job-slots and the solver's seconds.
class _ExactProgram(TypedDict):
    slots: int
    seconds: float

class _ScheduleEntries(TypedDict):
    processors: int
    schedulable: bool
    policy: Optional[_SchedulePair]
    method: _ScheduleMethod
    status: _ScheduleStatus
    reason: Optional[str]
    attempts: List[_ScheduleAttempt]
    tables: Optional[_ScheduleTables]
    failure: Optional[_ScheduleFailure]

# The document of `mcjobs schedule --json`, which a ScheduleResult holds; program only with
# the exact method (None when the load test or a pair settled the set first).
class _ScheduleDocument(_ScheduleEntries, total=False):
    program: Optional[_ExactProgram]

# `other` names the second job of a clash.
class _ScheduleViolation(TypedDict):
    rule: _ScheduleRule
    mode: _Mode
    job: str
    time: int
    other: Optional[str]
    message: str

class _LevelCounts(TypedDict):
    hi: int
    lo: int

class _JobCounts(TypedDict):
    total: int
    hi: int
    lo: int

class _LevelRatios(TypedDict):
    hi: float
    lo: float

# "infeasible" when no schedule can exist.
class _LevelLoads(TypedDict):
    hi: Union[float, Literal["infeasible"]]
    lo: Union[float, Literal["infeasible"]]

class _LongestPath(TypedDict):
    jobs: List[str]
    length: int

class _LevelPaths(TypedDict):
    hi: _LongestPath
    lo: _LongestPath

class _Horizon(TypedDict):
    start: int
    end: int

class _StatsEntries(TypedDict):
    jobs: _JobCounts
    arcs: _LevelCounts
    closure_pairs: _LevelCounts
    longest_path: _LevelPaths
    total_budget: _LevelCounts
    load: _LevelLoads
    horizon: Optional[_Horizon]  # None, as utilization, for an empty set
    utilization: Optional[_LevelRatios]

# What `mcjobs stats --json` prints; processors only when not 1.
class _InstanceStats(_StatsEntries, total=False):
    processors: int

class CheckError(ValueError):
    condition: Optional[str]
    file: Optional[str]
    line: Optional[int]
    explanation: Optional[str]

class Job:
    @property
    def id(self) -> int: ...
    @property
    def arrival(self) -> int: ...
    @property
    def deadline(self) -> int: ...
    @property
    def criticality(self) -> Level: ...
    @property
    def lo_wcet(self) -> int: ...
    @property
    def hi_wcet(self) -> int: ...
    @property
    def name(self) -> str: ...
    def wcet(self, level: int) -> int: ...

class JobsView(Sequence[Job]):
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: int) -> Job: ...
    @overload
    def __getitem__(self, index: slice) -> List[Job]: ...
    # Sequence's own index, whose stop is None by default.
    def index(self, value: Any, start: int = 0, stop: Optional[int] = None) -> int: ...

class JobInstance:
    def __init__(self) -> None: ...
    def __len__(self) -> int: ...
    @property
    def jobs(self) -> JobsView: ...
    def job(self, id: int) -> Job: ...
    def add_job(
        self, arrival: _Int, deadline: _Int, criticality: _Int, lo_wcet: _Int, hi_wcet: _Int
    ) -> int: ...
    def add_arc(self, u: _Int, v: _Int) -> None: ...
    @property
    def seed(self) -> Optional[int]: ...
    def __eq__(self, other: object) -> bool: ...
    __hash__: None  # type: ignore[assignment]
    def arcs(self, level: Optional[int] = None) -> List[Tuple[int, int]]: ...
    def successors(self, id: int, level: int) -> List[int]: ...
    def predecessors(self, id: int, level: int) -> List[int]: ...
    def transitive_successors(self, id: int, level: int) -> List[int]: ...
    def transitive_predecessors(self, id: int, level: int) -> List[int]: ...
    def propagate_arrivals(self, level: int) -> bool: ...
    def propagate_deadlines(self, level: int) -> bool: ...
    def asap_alap(self, level: int) -> None: ...
    def load(
        self,
        level: int = ...,
        mixed: bool = False,
        processors: int = 1,
        jobs: Optional[Sequence[int]] = None,
    ) -> float: ...
    def write(self, path: _Path) -> None: ...
    def copy(self) -> JobInstance: ...
    def __copy__(self) -> JobInstance: ...
    def __deepcopy__(self, memo: object) -> JobInstance: ...
    # A structured array with the fields id, arrival, deadline, criticality, lo_wcet, hi_wcet.
    def to_numpy(self, copy: bool = False) -> numpy.typing.NDArray[numpy.void]: ...
    def to_networkx(self, level: int = ...) -> networkx.DiGraph: ...
    def to_json(self) -> str: ...
    def to_dot(self, level: int = ..., reduce: bool = False) -> str: ...
    def to_stg(self, level: int = ...) -> str: ...
    def to_nptest(
        self,
        level: int = ...,
        bcet_ratio: float = 1.0,
        priority: Literal["edf", "alap", "id"] = "edf",
    ) -> Tuple[str, str]: ...
    def schedule(self, processors: _Int, policy: Optional[_Policy] = None,
                 hi_policy: Optional[_Policy] = None, lo_policy: Optional[_Policy] = None,
                 method: Optional[_MethodChoice] = None,
                 time_limit: Optional[_Real] = None) -> ScheduleResult: ...
    def schedulable(self, processors: _Int, policy: Optional[_Policy] = None,
                    hi_policy: Optional[_Policy] = None, lo_policy: Optional[_Policy] = None,
                    method: Optional[_MethodChoice] = None,
                    time_limit: Optional[_Real] = None) -> bool: ...
    def load_test(self, processors: _Int) -> bool: ...
    def to_pandas(self) -> pandas.DataFrame: ...
    def _repr_html_(self) -> str: ...
    def verify_schedule(self, tables: _Tables, processors: int) -> List[_ScheduleViolation]: ...
    def gantt_svg(self, tables: _Tables, processors: int, title: str = "") -> str: ...
    def stats(self, processors: int = 1) -> _InstanceStats: ...
    def reaches(self, from_id: int, to_id: int, level: int) -> bool: ...
    def transitive_successors_array(self, id: int, level: int) -> _Ids: ...
    def transitive_predecessors_array(self, id: int, level: int) -> _Ids: ...

# A dict (the document of `mcjobs schedule --json`) whose entries are also attributes. Only
# its keys index it, each with its own type, so that a misspelt key is caught as it would be
# on the TypedDict _ScheduleDocument (which to_dict returns).
class ScheduleResult(Dict[str, Any]):
    @overload  # type: ignore[override]
    def __getitem__(self, key: Literal["processors"]) -> int: ...
    @overload
    def __getitem__(self, key: Literal["schedulable"]) -> bool: ...
    @overload
    def __getitem__(self, key: Literal["policy"]) -> Optional[_SchedulePair]: ...
    @overload
    def __getitem__(self, key: Literal["method"]) -> _ScheduleMethod: ...
    @overload
    def __getitem__(self, key: Literal["status"]) -> _ScheduleStatus: ...
    @overload
    def __getitem__(self, key: Literal["reason"]) -> Optional[str]: ...
    @overload
    def __getitem__(self, key: Literal["attempts"]) -> List[_ScheduleAttempt]: ...
    @overload
    def __getitem__(self, key: Literal["tables"]) -> Optional[_ScheduleTables]: ...
    @overload
    def __getitem__(self, key: Literal["program"]) -> Optional[_ExactProgram]: ...
    @overload
    def __getitem__(self, key: Literal["failure"]) -> Optional[_ScheduleFailure]: ...
    @property
    def processors(self) -> int: ...
    @property
    def schedulable(self) -> bool: ...
    @property
    def status(self) -> _ScheduleStatus: ...
    @property
    def method(self) -> _ScheduleMethod: ...
    @property
    def policy(self) -> Optional[_SchedulePair]: ...
    @property
    def reason(self) -> Optional[str]: ...
    @property
    def attempts(self) -> List[_ScheduleAttempt]: ...
    # Structured arrays with the fields job, id, processor, start and end of a segment.
    @property
    def tables(self) -> Optional[Dict[_Mode, numpy.typing.NDArray[numpy.void]]]: ...
    @property
    def program(self) -> Optional[_ExactProgram]: ...
    @property
    def failure(self) -> Optional[_ScheduleFailure]: ...
    def _repr_svg_(self) -> Optional[str]: ...
    def to_pandas(self) -> Optional[Dict[_Mode, pandas.DataFrame]]: ...
    def to_dict(self) -> _ScheduleDocument: ...

class ArchiveIterator(Iterator[Tuple[str, JobInstance]]):
    def __iter__(self) -> ArchiveIterator: ...
    def __next__(self) -> Tuple[str, JobInstance]: ...
    def close(self) -> None: ...
    def __enter__(self) -> ArchiveIterator: ...
    def __exit__(self, *args: object) -> None: ...

def read(path: _Path) -> JobInstance: ...
def from_text(text: str) -> JobInstance: ...
def read_archive(path: _Path, expr: str = ".*") -> ArchiveIterator: ...
@overload
def append_archive(path: _Path, name: str, instance: JobInstance) -> None: ...
@overload
def append_archive(path: _Path, entries: Sequence[Tuple[str, JobInstance]]) -> None: ...
def from_networkx(graph: networkx.DiGraph) -> JobInstance: ...
def generate(
    *,
    seed: Optional[_Int],
    model: Optional[Literal["frame", "periodic"]] = "frame",
    processors: Optional[_Int] = 1,
    utilization: Optional[_Real] = 0.5,
    graphs: Optional[_Int] = 1,
    deadline: Optional[_Int] = 100,
    tasks: Optional[_Int] = 4,
    periods: Optional[Union[Iterable[_Int], str]] = [10, 20, 25, 50, 100],
    deadline_factor: Optional[_Real] = 1.0,
    hi_fraction: Optional[_Real] = 0.5,
    hi_per_task: Optional[bool] = False,
    criticality_factor: Optional[_Real] = 2.0,
    utilization_hi: Optional[_Real] = None,
    shape: Optional[Literal["gnp", "layers", "fork-join"]] = "gnp",
    nodes: Optional[_SizeRange] = "10..10",
    edge_prob: Optional[_Real] = 0.2,
    layers: Optional[_Int] = 3,
    branching: Optional[_Int] = 3,
    depth: Optional[_Int] = 2,
    nest_prob: Optional[_Real] = 0.5,
    split: Optional[Literal["uunifast", "cfs"]] = "uunifast",
    max_task_utilization: Optional[_Real] = 1.0,
) -> JobInstance: ...
def generate_many(n: _Int, *, seed: Optional[_Int], **options: Any) -> List[JobInstance]: ...
def batch_seed(seed: int, index: int) -> int: ...
_StudyTest = Union[Literal["load", "default", "exact", "edf", "llf", "edzl"], str]
def study(
    grid: Dict[str, Sequence[Any]],
    count: _Int,
    seed: _Int,
    tests: Sequence[_StudyTest] = ("load", "default"),
    processes: Optional[int] = None,
    client: Any = None,
    time_limit: Optional[_Real] = None,
    **options: Any,
) -> pandas.DataFrame: ...
def plot_acceptance(
    df: pandas.DataFrame,
    x: str,
    tests: Sequence[str],
    by: Optional[str] = None,
    ax: Optional[matplotlib.axes.Axes] = None,
) -> matplotlib.figure.Figure: ...
def wilson_interval(
    accepted: Any, count: Any, z: float = 1.959963984540054
) -> Tuple[numpy.typing.NDArray[numpy.float64], numpy.typing.NDArray[numpy.float64]]: ...
def generate_options() -> Dict[str, Any]: ...
def from_json(text: str, name: str = "<string>") -> JobInstance: ...
def from_dot(
    text: str,
    name: str = "<string>",
    *,
    default_window: Optional[Tuple[int, int]] = None,
    default_wcet: int = 0,
) -> JobInstance: ...
def from_stg(
    text: str,
    name: str = "<string>",
    *,
    deadline: int = 0,
    deadline_factor: float = 1.0,
    hi_fraction: float = 0.0,
    seed: int = 1,
    criticality_factor: float = 2.0,
) -> JobInstance: ...
def from_nptest(
    jobs: str, precedence: Optional[str] = None, *, level: int = ..., release: str = "exact"
) -> JobInstance: ...
def plot_gantt(
    instance: JobInstance,
    result: Union[ScheduleResult, _ScheduleDocument],
    ax: Optional[matplotlib.axes.Axes] = None,
    processors: Optional[int] = None,
) -> matplotlib.axes.Axes: ...
