# The experiment example on a tiny grid: on the process pool and on a Dask
# cluster on loopback, with the same ratios, and a PNG and its per-set CSV written.
import os
import subprocess
import sys

import pytest

from conftest import ROOT

SCRIPT = ROOT / "examples" / "acceptance.py"
GRID = ["-n", "3", "-m", "2,4", "-u", "0.2,0.9", "--seed", "5"]


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
    assert table[0].split() == ["U", "load", "m=2", "sched", "m=2", "load", "m=4", "sched",
                                "m=4"] and len(table) == 3
    for line in table[1:]:
        ratios = [float(value) for value in line.split()[1:]]
        assert all(0 <= ratio <= 1 for ratio in ratios)
        # The scheduler is sufficient, the load test necessary.
        assert ratios[1] <= ratios[0] and ratios[3] <= ratios[2]
    assert (tmp_path / "pool.png").read_bytes().startswith(b"\x89PNG")
    # One row per set beside the figure: 3 sets at each of the 4 points.
    rows = (tmp_path / "pool.csv").read_text().splitlines()
    assert rows[0] == ("processors,utilization,seed,utilization_lo,utilization_hi,load,edf,"
                       "time_load,time_edf") and len(rows) == 1 + 12

    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  protocol="tcp", host="127.0.0.1",
                                  dashboard_address=None) as cluster:
        on_dask = run_script("--dask", cluster.scheduler_address, "-o", str(tmp_path / "d.png"))
    assert ratio_table(on_dask) == table
    assert (tmp_path / "d.png").stat().st_size > 0
