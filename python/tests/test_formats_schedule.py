# The formats and the scheduling tables from Python against the mcjobs tool on
# the same instances: the same text, the same tables, readers that give back
# what the writers wrote, and errors that name the line.
import json
import xml.etree.ElementTree as ElementTree

import pytest

import mcjobs
from conftest import EXAMPLES, cli, random_instance

try:
    import pandas  # noqa: F401
    PANDAS = True
except ImportError:
    PANDAS = False


def test_writers_match_the_tool_and_read_back(example, tmp_path):
    instance = mcjobs.read(example)
    assert instance.to_json() == cli("convert", example, "--to", "json")
    assert instance.to_dot() == cli("dot", example)
    assert str(mcjobs.from_json(instance.to_json())) == str(instance)
    assert str(mcjobs.from_dot(instance.to_dot())) == str(instance)
    jobs, precedence = instance.to_nptest()
    out = tmp_path / "set.csv"
    cli("convert", example, "-o", out)
    assert (jobs, precedence) == (out.read_text(), (tmp_path / "set.prec.csv").read_text())
    lo_only = mcjobs.from_nptest(jobs, precedence)
    assert len(lo_only) == len(instance) and lo_only.arcs() == instance.arcs(mcjobs.LO)


def test_stg_keeps_every_task_cost_and_precedence():
    instance = random_instance(3)
    again = mcjobs.from_stg(instance.to_stg(), deadline=10_000)
    assert [job.lo_wcet for job in again.jobs] == [job.lo_wcet for job in instance.jobs]
    assert again.arcs() == instance.arcs(mcjobs.LO)


def test_bad_input_names_the_line():
    with pytest.raises(mcjobs.CheckError) as error:
        mcjobs.from_json('{"directed": true,\n "nodes": [\n {"id": "J1"}]}', "set.json")
    assert "set.json:3" in str(error.value)


@pytest.mark.parametrize("call, error, words", [
    (lambda text, _: mcjobs.from_stg(text, hi_fraction=float("nan")), ValueError, "hi_fraction"),
    (lambda text, _: mcjobs.from_stg(text, deadline=-5), ValueError, "deadline"),
    (lambda text, _: mcjobs.from_stg(text, deadline_factor=0), ValueError, "deadline_factor"),
    (lambda text, _: mcjobs.from_stg(text, criticality_factor=0.5), ValueError, "criticality"),
    (lambda _, jobs: jobs.to_nptest(bcet_ratio=2), ValueError, "bcet_ratio"),
    (lambda _, jobs: mcjobs.from_nptest(jobs.to_nptest()[0], 5), TypeError, "precedence"),
    (lambda _, jobs: mcjobs.from_dot(jobs.to_dot(), default_window=(1,)), TypeError, "window"),
])
def test_bad_options_name_themselves(call, error, words):
    instance = random_instance(1, jobs=5)
    with pytest.raises(error, match=words):
        call(instance.to_stg(), instance)


SCHEDULE_OPTIONS = [{}, {"policy": "edf"}, {"policy": "llf"}, {"policy": "edzl"},
                    {"hi_policy": "llf"}, {"hi_policy": "edzl", "lo_policy": "llf"}]
# The entries of `mcjobs schedule --json`, in its order.
SCHEDULE_KEYS = ["processors", "schedulable", "policy", "method", "status", "reason", "attempts",
                 "tables", "failure"]


def assert_schedule_matches_the_tool(instance, path, processors, options):
    result = instance.schedule(processors, **options)
    flags = [f"--{name.replace('_', '-')}={value}" for name, value in options.items()]
    expected = json.loads(cli("schedule", path, "-p", processors, *flags, "--json"))
    # The exact method adds its program before the failure; the solver's seconds vary.
    exact = options.get("method") == "exact"
    assert list(result) == SCHEDULE_KEYS[:-1] + ["program"] * exact + SCHEDULE_KEYS[-1:]
    for document in (result, expected):
        if exact and document["program"] is not None:
            assert document["program"].pop("seconds") > 0
    # The verdicts alone are the tool's; the load test rejects what it proves infeasible
    # (the exact method's program proves the rest).
    assert instance.schedulable(processors, **options) == expected["schedulable"]
    proven_by_load = expected["status"] == "infeasible" and not expected.get("program")
    assert instance.load_test(processors) == (not proven_by_load)
    assert_result_reads_as_its_document(result)
    for mode in ("hi", "lo"):
        for row in (result["tables"] or {}).get(mode, []):
            del row["id"]
    if result["failure"]:
        del result["failure"]["message"]
    assert result == expected and expected == result
    return result


def assert_result_reads_as_its_document(result):
    document = result.to_dict()
    assert type(document) is dict and document == dict(result) == result
    assert json.loads(json.dumps(result)) == document
    for key in SCHEDULE_KEYS:
        assert key in result
        if key != "tables":
            assert getattr(result, key) == result[key], key
    if result.tables is None:
        assert result["tables"] is None and result.to_pandas() is None
        return
    frames = result.to_pandas() if PANDAS else {}
    for mode, table in result.tables.items():
        assert table.dtype.names == ("job", "id", "processor", "start", "end")
        rows = [dict(zip(table.dtype.names, row.tolist())) for row in table]
        assert rows == result["tables"][mode]
        if frames:
            assert frames[mode].to_dict("records") == rows


@pytest.mark.parametrize("options", SCHEDULE_OPTIONS)
@pytest.mark.parametrize("processors", [1, 2, 3])
def test_schedule_matches_the_tool_and_passes_the_checker(example, options, processors):
    instance = mcjobs.read(example)
    result = assert_schedule_matches_the_tool(instance, example, processors, options)
    if result["schedulable"]:
        assert instance.verify_schedule(instance.schedule(processors, **options), processors) == []
        svg = instance.gantt_svg(instance.schedule(processors, **options), processors, "t")
        assert ElementTree.fromstring(svg).tag.endswith("svg")


@pytest.mark.parametrize("seed", range(4))
def test_schedule_of_generated_sets_matches_the_tool(seed, tmp_path):
    # From light to heavy sets on two processors: feasible on all, some or none of 1..3.
    instance = mcjobs.generate(seed=seed, processors=2, graphs=2, deadline=10_000,
                               utilization=0.2 + 0.25 * seed, nodes=(8, 14))
    path = tmp_path / "set.txt"
    instance.write(path)
    for processors in (1, 2, 3):
        for options in SCHEDULE_OPTIONS[:2]:
            assert_schedule_matches_the_tool(instance, path, processors, options)


# Sets the load test passes and every pair of policies fails on 2 processors: the exact
# method's program finds tables for the first and proves the second infeasible (J3 must wait
# for J1 and run in [2, 4] beside J2 and J4, which the safe switch keeps there too).
def open_set(name):
    if name == "proof":
        return mcjobs.from_text("1 3 1 1 1\n1 3 1 2 2\n2 4 1 2 2\n2 5 2 2 3\n( J1 J3 )\n")
    return mcjobs.generate(processors=2, utilization=0.9, graphs=3, nodes=(8, 10), seed=27,
                           deadline=40)


def test_the_exact_method_schedules_a_set_that_every_pair_fails():
    instance = open_set("tables")
    portfolio = instance.schedule(2)
    assert portfolio.status == "unknown" and portfolio.reason is None
    assert all(attempt["failure"] for attempt in portfolio.attempts)
    result = instance.schedule(2, method="exact", time_limit=60)
    assert (result.status, result.method, result.policy, result.reason, result.failure) == \
        ("feasible", "exact", None, None, None)
    assert result.attempts == portfolio.attempts and result.program["slots"] > 0
    assert instance.verify_schedule(result, 2) == []
    assert repr(result).startswith("<mcjobs.ScheduleResult: feasible on 2 processors, "
                                   "integer program, ")
    assert instance.schedulable(2, method="exact") and not instance.schedulable(2)


@pytest.mark.parametrize("case, processors, options", [
    ("tables", 2, {"method": "exact", "time_limit": 60}),
    ("proof", 2, {"method": "exact"}),
    ("proof", 1, {"method": "exact"}),  # the load test settles it: no program
    ("avionics", 2, {"method": "exact"}),  # the EDF pair settles it
    ("avionics", 2, {"method": "portfolio"}),
])
def test_exact_documents_match_the_tool(case, processors, options, tmp_path):
    if case == "avionics":
        path = next(path for path in EXAMPLES if path.stem == case)
        instance = mcjobs.read(path)
    else:
        instance, path = open_set(case), tmp_path / "set.txt"
        instance.write(path)
    result = assert_schedule_matches_the_tool(instance, path, processors, options)
    assert result.program == result.get("program")
    if case == "proof" and processors == 2:
        assert result.status == "infeasible" and result.policy == {"hi": "edf", "lo": "edf"}
        assert result.reason == "no valid tables exist: the integer program has no solution"


def test_schedule_methods_are_checked_before_the_work():
    instance = mcjobs.from_text("0 10 1 3 3\n")
    for options, words in (
            ({"method": "heuristic"}, "method must be 'portfolio' or 'exact', not 'heuristic'"),
            ({"method": 2}, "method must be 'portfolio' or 'exact', not 2"),
            ({"method": "exact", "hi_policy": "llf"},
             "method='exact' tries every pair of policies and conflicts with policy, hi_policy "
             "and lo_policy; give one or the other"),
            ({"time_limit": 5}, "time_limit does not apply without method='exact'"),
            ({"method": "portfolio", "time_limit": 5},
             "time_limit does not apply without method='exact'"),
            ({"method": "exact", "time_limit": 0},
             "time_limit must be a positive number of seconds, not 0.0"),
            ({"method": "exact", "time_limit": float("nan")},
             "time_limit must be a positive number of seconds, not nan")):
        for call in (instance.schedule, instance.schedulable):
            with pytest.raises(ValueError) as failure:
                call(1, **options)
            assert str(failure.value) == words


def test_schedule_policies_are_checked_before_the_work():
    instance = mcjobs.from_text("0 45 2 1 42\n10 45 2 1 18\n10 45 2 1 18\n")
    assert instance.schedule(2)["policy"] == {"hi": "edzl", "lo": "llf"}
    assert instance.schedule(2, "edf")["status"] == "unknown"
    for options, words in (
            ({"policy": "rm"}, "policy must be 'edf', 'llf' or 'edzl', not 'rm'"),
            ({"lo_policy": 3}, "lo_policy must be 'edf', 'llf' or 'edzl', not 3"),
            ({"policy": "llf", "hi_policy": "edf"},
             "policy sets both tables and conflicts with hi_policy; "
             "give policy alone, or hi_policy and lo_policy")):
        with pytest.raises(ValueError) as failure:
            instance.schedule(2, **options)
        assert str(failure.value) == words


def test_checker_names_a_broken_rule():
    instance = mcjobs.from_text("0 10 1 3 3\n")
    tables = {"hi": [], "lo": [{"job": "J1", "processor": 0, "start": 0, "end": 2}]}
    assert [v["rule"] for v in instance.verify_schedule(tables, 1)] == ["budget_short"]
    tables["lo"][0]["end"] = 2.5
    with pytest.raises(TypeError, match="LO table, segment 0"):
        instance.verify_schedule(tables, 1)
    with pytest.raises(TypeError, match="tables must be"):
        instance.gantt_svg(None, 1)
    tables["lo"][0]["end"] = 2
    shape = "tables must be a schedule() result or a dict {'hi': [...], 'lo': [...]}"
    for broken, words in (
            ({}, f"{shape}; this one has no 'hi'"),
            ({"tables": {"hi": []}}, f"{shape}; this one has no 'lo'"),
            ({"hi": [], "lo": [[0, 0, 2]]}, "LO table, segment 0: must be a dict {'job' or 'id', "
                                            "'processor', 'start', 'end'}, not [0, 0, 2]"),
            ({"hi": [{"processor": 0}], "lo": []}, "HI table, segment 0: neither 'id' nor 'job'"),
            ({"hi": [], "lo": [{"job": "J1", "start": 0, "end": 2}]},
             "LO table, segment 0: no 'processor'")):
        with pytest.raises(TypeError) as failure:
            instance.verify_schedule(broken, 2)
        assert str(failure.value) == words


def test_gantt_titles_are_valid_xml():
    instance = mcjobs.from_text("0 10 1 3 3\n")
    svg = instance.gantt_svg(instance.schedule(1), 1, "run\x01 <1> & \x1b[31m")
    texts = [node.text for node in ElementTree.fromstring(svg).iter("{http://www.w3.org/2000/svg}text")]
    assert "run\\x01 <1> & \\x1b[31m" in texts


def test_gantt_plot_draws_the_tool_s_tables_as_its_own(tmp_path):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    unschedulable = tmp_path / "two.txt"
    unschedulable.write_text("0 4 2 2 4\n0 4 2 2 4\n")
    for path in (*EXAMPLES, unschedulable):
        instance = mcjobs.read(path)
        for processors in (1, 2):
            result = instance.schedule(processors)
            document = json.loads(cli("schedule", path, "-p", processors, "--json"))
            drawn = []
            for tables in (result, document):
                axes = mcjobs.plot_gantt(instance, tables)
                drawn.append((axes.get_title(), [(bar.get_x(), bar.get_y(), bar.get_width())
                                                 for bar in axes.patches]))
                plt.close(axes.figure)
            segments = sum(map(len, result["tables"].values())) if result["tables"] else 0
            assert drawn[0] == drawn[1] and len(drawn[0][1]) == segments, (path, processors)


def test_gantt_plot_titles_the_program_s_verdict():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    instance = open_set("proof")
    axes = mcjobs.plot_gantt(instance, instance.schedule(2, method="exact"))
    plt.close(axes.figure)
    # As the tool's first line, without the pair it names.
    assert axes.get_title() == ("not schedulable: infeasible: no valid tables exist: the integer "
                                "program has no solution")
