#!/usr/bin/env python3
"""mcjobs.study against a hand-written loop, and the same study on a local process pool and on
a local Dask cluster of 1 and 2 single-threaded workers (chunks of sets, one task per chunk).
Every run studies the same sets and must give the same verdicts. Wall times, best of 3.

    PYTHONPATH=build/python /usr/bin/python3 bench/study_bench.py [SETS]
"""

import sys
import time

import mcjobs

GRID = {"utilization": [0.6, 0.7, 0.8, 0.9]}
OPTIONS = {"processors": 2, "graphs": 2, "nodes": (10, 20)}
TESTS = ["load", "edf", "default"]


def best_of(runs, action):
    times, result = [], None
    for _ in range(runs):
        started = time.perf_counter()
        result = action()
        times.append(time.perf_counter() - started)
    return min(times), result


def hand_loop(count):
    """What a study looked like before mcjobs.study: generate, test, collect rows."""
    rows, k = [], 0
    for utilization in GRID["utilization"]:
        for _ in range(count):
            k += 1
            inst = mcjobs.generate(seed=mcjobs.batch_seed(1, k), utilization=utilization, **OPTIONS)
            rows.append((inst.load_test(2), inst.schedulable(2, policy="edf"), inst.schedulable(2)))
    return rows


def verdicts(frame):
    return list(zip(frame["load"], frame["edf"], frame["default"]))


def main():
    sets = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    count = sets // len(GRID["utilization"])
    study = lambda **how: mcjobs.study(GRID, count, 1, tests=TESTS, **OPTIONS, **how)
    reference = None
    for label, action in [("hand-written loop", lambda: hand_loop(count)),
                          ("study, one process", lambda: verdicts(study())),
                          ("study, processes=2", lambda: verdicts(study(processes=2)))]:
        seconds, result = best_of(3, action)
        reference = reference or result
        assert result == reference, label
        print(f"{label:28s} {seconds:7.2f} s")
    from dask.distributed import Client, LocalCluster
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            seconds, result = best_of(3, lambda: verdicts(study(client=client)))
            assert result == reference, workers
            label = f"study, Dask {workers} worker" + ("s" if workers > 1 else "")
            print(f"{label:28s} {seconds:7.2f} s")


if __name__ == "__main__":
    main()
