"""Acceptance studies: mcjobs.study runs a grid of generator options in chunks of seeds (in
this process, on a process pool or on Dask), mcjobs.plot_acceptance draws the ratios."""

from __future__ import annotations

import itertools
import operator
import sys
# abc.Iterable rather than Iterable: stubtest takes the names a module imports for its own,
# and typing's aliases of the abstract classes are not the classes.
from collections import abc
from typing import TYPE_CHECKING, Any, Callable, Dict, List, Optional, Set, SupportsIndex, Tuple

from . import _mcjobs

if TYPE_CHECKING:
    import numpy.typing

    # pandas carries no types in Debian. A private name, since the module does not export it.
    import pandas as _pandas  # type: ignore[import]

# What a chunk runs on: the generator's options, the seeds of its sets, the tests and the
# exact test's time limit.
_Chunk = Tuple[Dict[str, Any], List[int], List[str], Optional[float]]
# A chunk's result: the columns its sets fill.
_Columns = Dict[str, List[Any]]
# The options of the sets at a point of the grid, as the extension takes them.
_OptionsOf = Callable[[Dict[str, Any]], Dict[str, Any]]

# Sets per chunk: large enough that a pool or Dask task costs little next to the work,
# small enough that two workers share even a one-point study.
CHUNK_SETS = 100
# A study whose bar tqdm shows: only once it has run this many seconds.
PROGRESS_DELAY = 2.0


def _run_chunk(chunk: _Chunk) -> _Columns:
    """The columns of one chunk (options, seeds, tests, time limit); module-level, so pools
    and Dask pickle it by name."""
    options, seeds, tests, time_limit = chunk
    return _mcjobs._study_chunk(options, seeds, tests, time_limit)


def _grid_points(grid: abc.Mapping[str, abc.Iterable[Any]]) -> abc.Iterator[Dict[str, Any]]:
    """Every point of the grid as a dict, the last name varying fastest."""
    names = list(grid)
    for name in names:
        values = grid[name]
        if isinstance(values, (str, bytes)) or not hasattr(values, "__iter__"):
            raise TypeError(f"grid[{name!r}] must be a list of values, not {values!r}")
    for values in itertools.product(*(list(grid[name]) for name in names)):
        yield dict(zip(names, values))


def _chunks(points: abc.Sequence[Dict[str, Any]], count: int, seed: int, tests: List[str],
            time_limit: Optional[float],
            options_of: _OptionsOf) -> abc.Iterator[Tuple[int, _Chunk]]:
    """(point index, chunk) for every chunk of every point; set k of the study (from 1, across
    all points) has the seed batch_seed(seed, k)."""
    k = 0
    for index, point in enumerate(points):
        options = options_of(point)
        seeds = [_mcjobs.batch_seed(seed, k + j + 1) for j in range(count)]
        k += count
        for start in range(0, count, CHUNK_SETS):
            yield index, (options, seeds[start:start + CHUNK_SETS], tests, time_limit)


def _progress(total: int) -> Any:
    """A tqdm bar over `total` sets, shown once the study has run a while, on a terminal or in
    a notebook; None without tqdm or elsewhere (logs and captured output stay clean)."""
    if not (sys.stderr.isatty() or "ipykernel" in sys.modules):
        return None
    try:
        from tqdm.auto import tqdm  # type: ignore[import]
    except ImportError:
        return None
    return tqdm(total=total, unit="set", delay=PROGRESS_DELAY, leave=False)


def _map_chunks(chunks: List[_Chunk], processes: Optional[int], client: Any,
                bar: Any) -> List[_Columns]:
    """_run_chunk over the chunks, results in chunk order."""
    def advance(result: _Columns) -> _Columns:
        if bar is not None:
            bar.update(len(result["seed"]))
        return result

    if client is not None:
        futures = client.map(_run_chunk, chunks, pure=False)
        return [advance(future.result()) for future in futures]
    if processes is not None:
        import concurrent.futures
        import multiprocessing

        context = multiprocessing.get_context("spawn")
        with concurrent.futures.ProcessPoolExecutor(processes, mp_context=context) as pool:
            return [advance(result) for result in pool.map(_run_chunk, chunks)]
    return [advance(_run_chunk(chunk)) for chunk in chunks]


def study(grid: abc.Mapping[str, abc.Iterable[Any]], count: SupportsIndex, seed: SupportsIndex,
          tests: abc.Iterable[str], time_limit: Optional[float], processes: Optional[int],
          client: Any, options: abc.Mapping[str, Any],
          options_of: _OptionsOf) -> _pandas.DataFrame:
    """See mcjobs.study."""
    import pandas

    tests = list(tests)
    if not tests:
        raise ValueError("tests: give at least one of 'load', 'default', 'exact', a policy or "
                         "a pair")
    if len(set(tests)) != len(tests):
        raise ValueError(f"tests: each test once, not {tests!r}")
    count = operator.index(count)
    if count < 1:
        raise ValueError(f"count must be at least 1, not {count}")
    seed = operator.index(seed)
    clash = [name for name in grid if name in options]
    if clash:
        raise TypeError(f"{clash[0]!r} is given both in the grid and as an option")
    points = list(_grid_points(grid))
    # Refuses bad tests and options before any work leaves the process.
    for point in points:
        _mcjobs._study_chunk(options_of(point), [], tests, time_limit)
    indexed = list(_chunks(points, count, seed, tests, time_limit, options_of))
    bar = _progress(len(points) * count)
    try:
        results = _map_chunks([chunk for _, chunk in indexed], processes, client, bar)
    finally:
        if bar is not None:
            bar.close()

    columns: _Columns = {name: [] for name in grid}
    statuses = [test + "_status" for test in tests if test == "exact"]
    for name in ("seed", "utilization_lo", "utilization_hi", *tests, *statuses,
                 *("time_" + test for test in tests)):
        columns[name] = []
    for (index, _), result in zip(indexed, results):
        rows = len(result["seed"])
        for name, value in points[index].items():
            columns[name].extend([value] * rows)
        for name, values in result.items():
            columns[name].extend(values)
    frame = pandas.DataFrame(columns)
    frame["seed"] = frame["seed"].astype("uint64")
    return frame


def wilson_interval(
    accepted: Any, count: Any, z: float = 1.959963984540054
) -> Tuple[numpy.typing.NDArray[numpy.float64], numpy.typing.NDArray[numpy.float64]]:
    """The Wilson score interval (low, high) of a ratio of `accepted` in `count` trials;
    NumPy arrays work element-wise. The default z gives 95%."""
    import numpy

    accepted = numpy.asarray(accepted, dtype=float)
    count = numpy.asarray(count, dtype=float)
    ratio = accepted / count
    denominator = 1 + z * z / count
    centre = (ratio + z * z / (2 * count)) / denominator
    half = z * numpy.sqrt(ratio * (1 - ratio) / count + z * z / (4 * count * count)) / denominator
    return centre - half, centre + half


def _unknown_words(frame: _pandas.DataFrame, test: str) -> str:
    """' (3 unknown)' when the test's status column counts sets it left undecided (the exact
    method at its time limit), so that a ratio is not read as the optimum's; '' otherwise."""
    column = test + "_status"
    unknown = int((frame[column] == "unknown").sum()) if column in frame.columns else 0
    return f" ({unknown} unknown)" if unknown else ""


def plot_acceptance(frame: _pandas.DataFrame, x: str, tests: abc.Iterable[str], by: Optional[str],
                    ax: Any) -> Any:
    """See mcjobs.plot_acceptance."""
    from matplotlib.figure import Figure  # type: ignore[import]

    tests = list(tests)
    missing = [name for name in [x, *tests, *([by] if by else [])] if name not in frame.columns]
    if missing:
        raise KeyError(f"the study has no column {missing[0]!r}")
    if ax is None:
        # Outside pyplot: no backend is chosen or changed, and the figure is not kept open.
        figure = Figure(figsize=(6, 4), dpi=100)
        ax = figure.subplots()
    else:
        figure = ax.figure
    groups = frame.groupby(by, sort=True) if by else [(None, frame)]
    # A marker per test. With groups, a colour per group: the tests of a group share its
    # colour, the first one solid, the others dashed; without, a colour per test.
    markers = "osD^v<>"
    counts: Set[int] = set()
    for key, group in groups:
        color = None
        for index, test in enumerate(tests):
            if by is None:
                color = f"C{index % 10}"
            marker = markers[index % len(markers)]
            verdicts = group.groupby(x, sort=True)[test]
            accepted, totals = verdicts.sum(), verdicts.count()
            counts.update(int(total) for total in totals)
            low, high = wilson_interval(accepted.to_numpy(), totals.to_numpy())
            ratio = accepted / totals
            label = test if by is None else f"{test}, {by} = {key}"
            label += _unknown_words(group, test)
            dashed = by is not None and index > 0
            line, = ax.plot(ratio.index, ratio.to_numpy(), marker=marker, color=color,
                            linestyle="--" if dashed else "-", label=label)
            color = line.get_color()
            ax.fill_between(ratio.index, low, high, color=color, alpha=0.15, linewidth=0)
    per_point = (f"{counts.pop()} sets per point" if len(counts) == 1 else
                 f"{min(counts)} to {max(counts)} sets per point")
    ax.set_title(f"acceptance ratio, 95% Wilson intervals, {per_point}")
    ax.set_xlabel(x)
    ax.set_ylabel("acceptance ratio")
    ax.set_ylim(-0.03, 1.03)
    ax.grid(alpha=0.3)
    ax.legend(fontsize=8)
    figure.tight_layout()
    return figure

