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


@pytest.mark.parametrize("options, error, message", [
    (dict(edge_prob="often"), mcjobs.CheckError, "edge_prob: 'often' is not a number"),
    (dict(no_such_option=3), TypeError, "generate() got an unexpected keyword argument "
                                        "'no_such_option'"),
    (dict(model="periodic", deadline=50), mcjobs.CheckError,
     "deadline does not apply to model='periodic'"),
    (dict(criticality_factor=3, utilization_hi=0.6), mcjobs.CheckError,
     "criticality_factor does not apply with utilization_hi, which draws the HI budgets to "
     "that utilization instead"),
    (dict(nodes=(5, 6, 7)), ValueError, "nodes: a range is a pair (smallest, largest), not "
                                        "(5, 6, 7)"),
    (dict(nodes=range(5, 9, 2)), ValueError, "nodes: a range gives sizes with step 1 and is "
                                             "not empty, not range(5, 9, 2)"),
    (dict(nodes=range(5, 5)), ValueError, "nodes: a range gives sizes with step 1 and is not "
                                          "empty, not range(5, 5)"),
])
def test_generate_refuses_bad_options_in_python_words(options, error, message):
    with pytest.raises(error) as failure:
        mcjobs.generate(seed=1, **options)
    assert str(failure.value) == message
    if error is mcjobs.CheckError:
        assert failure.value.condition == message


def test_generate_needs_a_seed():
    with pytest.raises(TypeError):
        mcjobs.generate(model="frame")


def test_generate_options_are_python_values_that_generate_takes():
    options = mcjobs.generate_options()
    expected = dict(hi_per_task=False, utilization_hi=None, tasks=4, edge_prob=0.2,
                    deadline_factor=1.0, periods=[10, 20, 25, 50, 100], nodes="10..10")
    assert {name: options[name] for name in expected} == expected
    assert all(type(options[name]) is type(value) for name, value in expected.items())
    # The defaults of the frame model and the gnp shape give the default set.
    elsewhere = {"tasks", "periods", "deadline_factor", "layers", "branching", "depth",
                 "nest_prob"}
    frame = {name: value for name, value in options.items() if name not in elsewhere}
    assert str(mcjobs.generate(seed=3, **frame)) == str(mcjobs.generate(seed=3))


def test_generate_warns_when_budgets_were_raised_to_one_unit_per_job():
    with pytest.warns(RuntimeWarning, match="one unit per job"):
        tight = mcjobs.generate(seed=1, deadline=3, nodes=10, hi_fraction=0)
    assert all(job.lo_wcet == 1 for job in tight.jobs)


def test_generate_warns_with_the_achieved_utilization_when_whole_units_miss_the_target():
    with pytest.warns(RuntimeWarning) as caught:
        mcjobs.generate(seed=1, model="periodic", tasks=1, nodes=1, periods=[3], hi_fraction=0)
    assert [str(warning.message) for warning in caught] == [
        "the LO utilization is 0.666667, 33.3% above the target 0.5: budgets are whole units; "
        "choose longer periods for finer steps"]
