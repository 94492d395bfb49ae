#!/usr/bin/env python3
"""The Python module against the C++ library on the same inputs: the calling
overhead of JobInstance.load() on a 10-job instance, and reading a 100,000-job
instance file. Runs build/bench/python_call_bench for the C++ side.

    PYTHONPATH=build/python python3 bench/python_overhead.py [build/bench/python_call_bench]
"""

import json
import os
import random
import subprocess
import sys
import tempfile
import timeit

import mcjobs


def write_instance(path, jobs, seed):
    rng = random.Random(seed)
    with open(path, "w") as out:
        for _ in range(jobs):
            arrival = rng.randrange(0, 10 * jobs)
            lo = rng.randrange(1, 10)
            out.write(f"{arrival} {arrival + rng.randrange(20, 200)} 1 {lo} {lo}\n")
        for k in range(0, jobs - 2, 2):  # a chain through every other job
            out.write(f"( J{k + 1} J{k + 3} )\n")


SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def best_per_call(statement, number, repeat=5):
    """The fastest of the repetitions: on a shared machine the least disturbed one."""
    return min(timeit.repeat(statement, number=number, repeat=repeat)) / number


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bench/python_call_bench"
    with tempfile.TemporaryDirectory() as directory:
        small, large = os.path.join(directory, "small.txt"), os.path.join(directory, "large.txt")
        write_instance(small, 10, 1)
        write_instance(large, 100_000, 2)
        cpp = {"BM_SmallLoad": [], "BM_ReadLarge": []}
        python_load, python_read = [], []
        instance = mcjobs.read(small)
        for _ in range(3):  # alternating, so that both sides see the same machine load
            report = subprocess.run(
                [bench, "--benchmark_format=json", "--benchmark_repetitions=5"],
                env=dict(os.environ, MCJOBS_BENCH_SMALL=small, MCJOBS_BENCH_LARGE=large),
                check=True, capture_output=True, text=True).stdout
            for run in json.loads(report)["benchmarks"]:
                if run.get("run_type") == "iteration":
                    cpp[run["run_name"]].append(run["real_time"] * SCALE[run["time_unit"]])
            python_load.append(best_per_call(instance.load, 20_000))
            python_read.append(best_per_call(lambda: mcjobs.read(large), 3))
        python_load, python_read = min(python_load), min(python_read)

    cpp_load, cpp_read = min(cpp["BM_SmallLoad"]), min(cpp["BM_ReadLarge"])
    print(f"load() on 10 jobs:   Python {python_load * 1e6:7.2f} us   C++ {cpp_load * 1e6:7.2f} us"
          f"   overhead {(python_load - cpp_load) * 1e6:+.2f} us")
    print(f"read 100,000 jobs:   Python {python_read * 1e3:7.1f} ms   C++ {cpp_read * 1e3:7.1f} ms"
          f"   ratio {python_read / cpp_read:.3f}")


if __name__ == "__main__":
    main()
