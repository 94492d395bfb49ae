# Shared fixtures of the Python suites: the bundled examples, random instances
# and the built mcjobs tool, whose results are the reference.
import json
import os
import pathlib
import random
import subprocess

import pytest

import mcjobs

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = sorted((ROOT / "examples").glob("*.txt"))


@pytest.fixture(params=EXAMPLES, ids=lambda path: path.stem)
def example(request):
    return request.param


def random_instance(seed, jobs=30, arc_prob=0.15, windows=(150, 300)):
    """Random job windows and a random forward DAG (arcs from lower to higher ids)."""
    rng = random.Random(seed)
    instance = mcjobs.JobInstance()
    for job in range(jobs):
        # Windows drift later with the id, as the arcs do, and by default leave room for
        # propagation.
        arrival = 2 * job + rng.randrange(0, 10)
        length = rng.randrange(*windows)
        lo = rng.randrange(1, 7)
        hi = rng.randrange(lo, 13)
        critical = rng.random() < 0.5
        instance.add_job(arrival, arrival + length, mcjobs.HI if critical else mcjobs.LO, lo,
                         hi if critical else lo)
    for u in range(jobs):
        for v in range(u + 1, jobs):
            if rng.random() < arc_prob:
                instance.add_arc(u, v)
    return instance


@pytest.fixture(params=range(6), ids=lambda seed: f"seed{seed}")
def random_case(request):
    return random_instance(request.param)


def cli_run(*args):
    """Runs the mcjobs tool, whatever its exit status; skips when it was not built."""
    tool = os.environ.get("MCJOBS_CLI")
    if not tool:
        pytest.skip("the mcjobs tool was not built")
    return subprocess.run([tool, *map(str, args)], capture_output=True, text=True)


def cli(*args):
    """The output of a successful run of the mcjobs tool."""
    run = cli_run(*args)
    if run.returncode != 0:
        raise subprocess.CalledProcessError(run.returncode, args, run.stdout, run.stderr)
    return run.stdout


def cli_load(path, level, processors, mixed=False):
    args = ["load", path, "--level", "hi" if level == mcjobs.HI else "lo", "-p", processors,
            "--json"]
    report = json.loads(cli(*args, *(["--mixed"] if mixed else [])))
    return report["load"] if report["feasible"] else float("inf")
