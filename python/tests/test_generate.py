# mcjobs.generate against `mcjobs generate`: the same options and seed give the
# same job set, whether the values come as text or as Python values.
import pytest

import mcjobs
from conftest import cli

CASES = [
    dict(model="frame", shape="gnp", nodes="30..30", edge_prob=0.2),
    dict(model="frame", shape="fork-join", graphs=3, utilization="0.8", processors=2),
    dict(model="periodic", tasks=3, periods=[10, 20, 40], hi_per_task=True, shape="layers"),
]


@pytest.mark.parametrize("options", CASES, ids=["gnp", "fork-join", "periodic"])
@pytest.mark.parametrize("seed", [1, 7])
def test_generate_matches_the_tool(options, seed):
    args = []
    for name, value in options.items():
        flag = "--" + name.replace("_", "-")
        if value is True:
            args.append(flag)
        else:
            args += [flag, ",".join(map(str, value)) if isinstance(value, list) else str(value)]
    assert str(mcjobs.generate(seed=seed, **options)) == cli("generate", *args, "--seed", seed)


def test_generate_rejects_unknown_options_and_bad_values():
    with pytest.raises(ValueError, match="edge"):
        mcjobs.generate(seed=1, edge_prob="often")
    with pytest.raises(ValueError):
        mcjobs.generate(seed=1, no_such_option=3)
    with pytest.raises(TypeError):
        mcjobs.generate(model="frame")
    assert mcjobs.generate_options()["edge_prob"] == "0.2"


def test_generate_warns_when_budgets_were_raised_to_one_unit_per_job():
    with pytest.warns(RuntimeWarning, match="one unit per job"):
        tight = mcjobs.generate(seed=1, deadline=3, nodes=10, hi_fraction=0)
    assert all(job.lo_wcet == 1 for job in tight.jobs)
