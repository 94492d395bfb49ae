#!/usr/bin/env python3
"""Acceptance ratios of the load test and of the scheduler against normalized utilization.

For each processor count m and normalized utilization U, generates N frame job
sets with fixed seeds and counts those the load test does not reject (feasible,
and stress on m processors at most m, at LO and at HI) and those the scheduler
schedules (verified HI and LO tables with a safe mode switch). The load test is
necessary and the scheduler sufficient, so a scheduled set is always accepted:
the script checks that for every set. Plots both ratios with Matplotlib. The sets are analysed on a process pool across the cores, or, with
--dask ADDRESS, on a Dask distributed cluster: the same map, one argument apart.

    python3 examples/acceptance.py -o acceptance.png
    python3 examples/acceptance.py --dask tcp://scheduler:8786 -n 1000 -o acceptance.png
"""

import argparse
import concurrent.futures
import sys

import mcjobs

# Frame job sets: 4 random DAGs of 10 to 20 jobs per processor, released together
# in a frame of 100,000 (long enough that even a small share of the utilization
# gives every job a budget of its own); half the jobs are HI, with 1.5 times
# their LO budget.
GENERATOR = dict(model="frame", deadline=100000, shape="gnp", nodes="10..20", edge_prob=0.2,
                 hi_fraction=0.5, criticality_factor=1.5)


def accepted(point):
    """(load test accepts, scheduler schedules) for the set of one (m, U, seed) grid point."""
    processors, utilization, seed = point
    instance = mcjobs.generate(seed=seed, processors=processors, graphs=4 * processors,
                               utilization=utilization, **GENERATOR)
    load_ok = all(instance.load(level, processors=processors) <= processors
                  for level in (mcjobs.LO, mcjobs.HI))
    scheduled = instance.schedule(processors, policy="edf")["schedulable"]
    if scheduled and not load_ok:
        raise AssertionError(f"set {point} is scheduled but the load test rejects it")
    return load_ok, scheduled


def run_map(points, dask_address=None, workers=None):
    """accepted() over every point, in order: on a process pool, or on a Dask cluster."""
    if dask_address:
        from distributed import Client

        with Client(dask_address) as client:
            return client.gather(client.map(accepted, points, pure=False))
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
        return list(pool.map(accepted, points, chunksize=max(1, len(points) // 64)))


def acceptance(processor_counts, utilizations, sets, seed, dask_address=None, workers=None):
    """{m: [(load-test ratio, scheduler ratio) per utilization]}; the k-th set of every point
    uses the same seed."""
    seeds = [mcjobs.batch_seed(seed, k + 1) for k in range(sets)]
    points = [(m, u, s) for m in processor_counts for u in utilizations for s in seeds]
    verdicts = iter(run_map(points, dask_address, workers))
    ratios = {}
    for m in processor_counts:
        ratios[m] = []
        for _ in utilizations:
            point = [next(verdicts) for _ in seeds]
            ratios[m].append((sum(load for load, _ in point) / sets,
                              sum(scheduled for _, scheduled in point) / sets))
    return ratios


def plot(ratios, utilizations, sets, output):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(6, 4), dpi=100)
    for m, values in ratios.items():
        line, = axes.plot(utilizations, [load for load, _ in values], marker="o",
                          label=f"load test, m = {m}")
        axes.plot(utilizations, [scheduled for _, scheduled in values], marker="s",
                  linestyle="--", color=line.get_color(), label=f"scheduled (EDF), m = {m}")
    axes.set_xlabel("normalized utilization U")
    axes.set_ylabel("acceptance ratio")
    axes.set_ylim(-0.03, 1.03)
    axes.set_title(f"Frame DAG job sets, {sets} per point")
    axes.grid(alpha=0.3)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(output)


def numbers(kind):
    return lambda text: [kind(value) for value in text.split(",")]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
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

    ratios = acceptance(args.processors, args.utilizations, args.sets, args.seed, args.dask,
                        args.workers)
    # Per m: the load test's acceptance ratio, then the scheduler's.
    print("U    " + "".join(f"{f'load m={m}':>12}{f'sched m={m}':>12}" for m in ratios))
    for k, u in enumerate(args.utilizations):
        print(f"{u:<5}" + "".join(f"{ratios[m][k][0]:12.3f}{ratios[m][k][1]:12.3f}"
                                  for m in ratios))
    plot(ratios, args.utilizations, args.sets, args.output)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    sys.exit(main())
