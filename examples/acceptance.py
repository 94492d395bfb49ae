#!/usr/bin/env python3
"""Acceptance ratios of the load test, the policy pairs, the portfolio and the exact method.

For each processor count m and normalized utilization U, mcjobs.study generates N frame
job sets with fixed seeds and tests each: the load test (it does not prove the set
infeasible), the EDF, LLF and EDZL pairs and the pair HI EDZL / LO LLF (verified HI and LO
tables with a safe mode switch), the portfolio of all pairs ("default") and the exact
method (the portfolio, then an integer program for what the pairs leave open). The load
test is necessary and the exact method decides, so the gap between a heuristic's curve and
the exact one is what the heuristic loses, and the gap between the exact curve and the load
test's is what the load test cannot prove; a set the exact method leaves "unknown" at its
time limit is counted as not accepted and reported. The script checks the order of the
tests on every set (each pair <= portfolio <= exact <= load test), writes one row per set to
a CSV beside the PNG and plots every ratio with 95% Wilson intervals
(mcjobs.plot_acceptance). The sets are analysed in chunks on a process pool across the
cores, or, with --dask ADDRESS, on a Dask distributed cluster.

The sets are small, since the exact method's cost grows with the jobs times the lengths of
their windows: 1.5 DAGs of 8 to 10 jobs per processor in a frame of 40.

    python3 examples/acceptance.py -o acceptance.png
    python3 examples/acceptance.py -n 200 -m 2,4 --exact-time-limit 120 -o acceptance.png
    python3 examples/acceptance.py --dask tcp://scheduler:8786 -n 1000 -o acceptance.png
"""

import argparse
import contextlib
import os
import pathlib
from typing import Any, Callable, ContextManager, Dict, List, Optional, Sequence, TypeVar

# Debian's pandas carries no types; its objects are Any here.
import pandas  # type: ignore[import]

import mcjobs

# What the comma-separated options hold.
Number = TypeVar("Number", int, float)

# The policy pairs, the portfolio and the exact method, after the load test.
PAIRS = ["edf", "llf", "edzl", "hi=edzl,lo=llf"]
TESTS = ["load", *PAIRS, "default", "exact"]
# Column headings of the printed table.
HEADINGS = {"hi=edzl,lo=llf": "edzl/llf"}


def generator(nodes: str, deadline: int) -> Dict[str, Any]:
    """Frame job sets: random DAGs released together in a frame of `deadline`; half the jobs
    are HI, with 1.5 times their LO budget."""
    return dict(model="frame", deadline=deadline, shape="gnp", nodes=nodes, edge_prob=0.2,
                hi_fraction=0.5, criticality_factor=1.5)


def graphs_on(processors: int, per_processor: float) -> int:
    return max(1, round(per_processor * processors))


def check_order(frame: pandas.DataFrame) -> None:
    """Every pair schedules less than the portfolio, the portfolio less than the exact method,
    and the exact method accepts only what the load test does not refute."""
    for weaker, stronger in [*((pair, "default") for pair in PAIRS), ("default", "exact"),
                             ("exact", "load")]:
        wrong = frame[frame[weaker] & ~frame[stronger]]
        if len(wrong):
            raise AssertionError(f"set {wrong.seed.iloc[0]} is accepted by {weaker} but not by "
                                 f"{stronger}")


def acceptance(processor_counts: Sequence[int], utilizations: Sequence[float], sets: int,
               seed: int, options: Dict[str, Any], graphs_per_processor: float,
               time_limit: float, dask_address: Optional[str] = None,
               workers: Optional[int] = None) -> pandas.DataFrame:
    """One row per set (mcjobs.study) for every (m, U) point, in chunks on a process pool or
    on a Dask cluster."""
    runner: ContextManager[Any]
    if dask_address:
        from distributed import Client

        runner = Client(dask_address)  # type: ignore[no-untyped-call]
        where: Dict[str, Any] = dict(client=runner)
    else:
        runner = contextlib.nullcontext()
        where = dict(processes=workers or os.cpu_count())
    # One study per m, since the graph count follows m; a row's processors, utilization and
    # seed regenerate its set.
    with runner:
        frame = pandas.concat([mcjobs.study({"processors": [m], "utilization": utilizations},
                                            sets, seed, tests=TESTS, time_limit=time_limit,
                                            graphs=graphs_on(m, graphs_per_processor),
                                            **options, **where)
                               for m in processor_counts], ignore_index=True)
    check_order(frame)
    return frame


def ratio_table(frame: pandas.DataFrame, processor_counts: Sequence[int],
                utilizations: Sequence[float]) -> List[str]:
    """Per m, a line per U: each test's acceptance ratio and the sets the exact method left
    unknown."""
    ratios = frame.groupby(["processors", "utilization"])[TESTS].mean()
    unknown = (frame.exact_status == "unknown").groupby(
        [frame.processors, frame.utilization]).sum()
    lines = []
    for m in processor_counts:
        lines.append(f"m={m}  " + "".join(f"{HEADINGS.get(t, t):>9}" for t in TESTS)
                     + f"{'unknown':>9}")
        for u in utilizations:
            lines.append(f"{u:<5}" + "".join(f"{ratios.loc[(m, u), t]:9.3f}" for t in TESTS)
                         + f"{unknown.loc[(m, u)]:9d}")
    return lines


def numbers(kind: Callable[[str], Number]) -> Callable[[str], List[Number]]:
    return lambda text: [kind(value) for value in text.split(",")]


def main(argv: Optional[Sequence[str]] = None) -> None:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("-o", "--output", default="acceptance.png", help="PNG to write")
    parser.add_argument("-n", "--sets", type=int, default=20, help="job sets per point")
    parser.add_argument("-m", "--processors", type=numbers(int), default=[2],
                        help="processor counts (default 2)")
    parser.add_argument("-u", "--utilizations", type=numbers(float),
                        default=[round(0.1 * k, 1) for k in range(6, 11)],
                        help="normalized utilizations (default 0.6,0.7,...,1.0)")
    parser.add_argument("--graphs-per-processor", type=float, default=1.5,
                        help="DAGs per processor, rounded (default 1.5)")
    parser.add_argument("--nodes", default="8..10", help="jobs per DAG, A..B (default 8..10)")
    parser.add_argument("--deadline", type=int, default=40,
                        help="the frame, every job's deadline (default 40)")
    parser.add_argument("--exact-time-limit", type=float, default=60, metavar="S",
                        help="seconds of the exact method's solver per set before it answers "
                             "unknown (default 60)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the batch of seeds")
    parser.add_argument("--workers", type=int, help="processes of the pool (default: cores)")
    parser.add_argument("--dask", metavar="ADDRESS", help="run on this Dask scheduler")
    args = parser.parse_args(argv)

    frame = acceptance(args.processors, args.utilizations, args.sets, args.seed,
                       generator(args.nodes, args.deadline), args.graphs_per_processor,
                       args.exact_time_limit, args.dask, args.workers)
    print("\n".join(ratio_table(frame, args.processors, args.utilizations)))
    output = pathlib.Path(args.output)
    table = output.with_suffix(".csv")
    frame.to_csv(table, index=False)
    figure = mcjobs.plot_acceptance(frame, x="utilization", tests=TESTS,
                                    by="processors" if len(args.processors) > 1 else None)
    figure.set_size_inches(8, 5)
    on = "" if len(args.processors) > 1 else f" on m = {args.processors[0]} processors"
    figure.axes[0].set_xlabel("normalized utilization U" + on)
    figure.tight_layout()
    figure.savefig(output)
    print(f"wrote {output} and {table}")


if __name__ == "__main__":
    main()
