# The experiment example on a tiny grid: on the process pool and on a Dask
# cluster on loopback, with the same ratios, and a PNG and its per-set CSV written.
import csv
import os
import subprocess
import sys

import pytest

from conftest import ROOT

SCRIPT = ROOT / "examples" / "acceptance.py"
# Seed 1 gives a set that only the exact method's program schedules, in about a second.
GRID = ["-n", "3", "-m", "2,3", "-u", "0.6,0.9", "--seed", "1"]


def run_script(*args):
    result = subprocess.run([sys.executable, str(SCRIPT), *GRID, *args], check=True,
                            capture_output=True, text=True, env=dict(os.environ), timeout=120)
    return result.stdout


def ratio_table(output):
    return [line for line in output.splitlines() if not line.startswith("wrote")]


# Debian's distributed still calls a Tornado API that Tornado deprecates.
@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")
def test_pool_and_dask_give_the_same_ratios(tmp_path):
    distributed = pytest.importorskip("distributed")
    pooled = run_script("--workers", "2", "-o", str(tmp_path / "pool.png"))
    table = ratio_table(pooled)
    tests = ["load", "edf", "llf", "edzl", "edzl/llf", "default", "exact", "unknown"]
    assert [line.split() for line in table[::3]] == [["m=2", *tests], ["m=3", *tests]]
    assert len(table) == 6
    for line in table[1:3] + table[4:6]:
        ratios = [float(value) for value in line.split()[1:-1]]
        assert all(0 <= ratio <= 1 for ratio in ratios)
        # The load test is necessary, the exact method decides, the portfolio takes every pair.
        assert max(ratios[1:5]) <= ratios[5] <= ratios[6] <= ratios[0]
    assert (tmp_path / "pool.png").read_bytes().startswith(b"\x89PNG")
    # One row per set beside the figure: 3 sets at each of the 4 points.
    rows = (tmp_path / "pool.csv").read_text().splitlines()
    assert rows[0] == ("processors,utilization,seed,utilization_lo,utilization_hi,load,edf,llf,"
                       "edzl,\"hi=edzl,lo=llf\",default,exact,exact_status,time_load,time_edf,"
                       "time_llf,time_edzl,\"time_hi=edzl,lo=llf\",time_default,time_exact")
    assert len(rows) == 1 + 12
    sets = list(csv.DictReader(rows))
    assert any(row["exact"] == "True" and row["default"] == "False" for row in sets)

    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  protocol="tcp", host="127.0.0.1",
                                  dashboard_address=None) as cluster:
        on_dask = run_script("--dask", cluster.scheduler_address, "-o", str(tmp_path / "d.png"))
    assert ratio_table(on_dask) == table
    assert (tmp_path / "d.png").stat().st_size > 0
