#!/usr/bin/env python3
"""Acceptance ratios of the load test and of the scheduler against normalized utilization.

For each processor count m and normalized utilization U, mcjobs.study generates N frame
job sets with fixed seeds and tests each: the load test (it does not prove the set
infeasible) and the EDF pair of the scheduler (verified HI and LO tables with a safe mode
switch). The load test is necessary and the scheduler sufficient, so a scheduled set is
always accepted: the script checks that for every set. Writes one row per set to a CSV
beside the PNG, and plots both ratios with 95% Wilson intervals (mcjobs.plot_acceptance).
The sets are analysed in chunks on a process pool across the cores, or, with --dask
ADDRESS, on a Dask distributed cluster: the same study, one argument apart.

    python3 examples/acceptance.py -o acceptance.png
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

# Frame job sets: 4 random DAGs of 10 to 20 jobs per processor, released together
# in a frame of 100,000 (long enough that even a small share of the utilization
# gives every job a budget of its own); half the jobs are HI, with 1.5 times
# their LO budget.
GENERATOR: Dict[str, Any] = dict(model="frame", deadline=100000, shape="gnp", nodes="10..20",
                                 edge_prob=0.2, hi_fraction=0.5, criticality_factor=1.5)
TESTS = ["load", "edf"]


def acceptance(processor_counts: Sequence[int], utilizations: Sequence[float], sets: int,
               seed: int, dask_address: Optional[str] = None,
               workers: Optional[int] = None) -> pandas.DataFrame:
    """One row per set (mcjobs.study) for every (m, U) point, 4 * m graphs on m processors,
    in chunks on a process pool or on a Dask cluster."""
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
                                            sets, seed, tests=TESTS, graphs=4 * m, **GENERATOR,
                                            **where)
                               for m in processor_counts], ignore_index=True)
    wrong = frame[frame.edf & ~frame.load]
    if len(wrong):
        raise AssertionError(f"set {wrong.seed.iloc[0]} is scheduled but the load test rejects it")
    return frame


def numbers(kind: Callable[[str], Number]) -> Callable[[str], List[Number]]:
    return lambda text: [kind(value) for value in text.split(",")]


def main(argv: Optional[Sequence[str]] = None) -> None:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("-o", "--output", default="acceptance.png", help="PNG to write")
    parser.add_argument("-n", "--sets", type=int, default=200, help="job sets per point")
    parser.add_argument("-m", "--processors", type=numbers(int), default=[2, 4, 8],
                        help="processor counts (default 2,4,8)")
    parser.add_argument("-u", "--utilizations", type=numbers(float),
                        default=[round(0.1 * k, 1) for k in range(1, 11)],
                        help="normalized utilizations (default 0.1,0.2,...,1.0)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the batch of seeds")
    parser.add_argument("--workers", type=int, help="processes of the pool (default: cores)")
    parser.add_argument("--dask", metavar="ADDRESS", help="run on this Dask scheduler")
    args = parser.parse_args(argv)

    frame = acceptance(args.processors, args.utilizations, args.sets, args.seed, args.dask,
                       args.workers)
    ratios = frame.groupby(["utilization", "processors"])[TESTS].mean().unstack("processors")
    # Per m: the load test's acceptance ratio, then the scheduler's.
    print("U    " + "".join(f"{f'load m={m}':>12}{f'sched m={m}':>12}" for m in args.processors))
    for u in args.utilizations:
        print(f"{u:<5}" + "".join(f"{ratios.loc[u, ('load', m)]:12.3f}"
                                  f"{ratios.loc[u, ('edf', m)]:12.3f}" for m in args.processors))
    output = pathlib.Path(args.output)
    table = output.with_suffix(".csv")
    frame.to_csv(table, index=False)
    figure = mcjobs.plot_acceptance(frame, x="utilization", tests=TESTS, by="processors")
    figure.axes[0].set_xlabel("normalized utilization U")
    figure.savefig(output)
    print(f"wrote {output} and {table}")


if __name__ == "__main__":
    main()
