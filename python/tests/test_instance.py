# The instance API against the mcjobs tool and independent oracles: text,
# loads, dependency sets, copies and pickling.
import copy
import json
import pickle

import networkx
import pytest

import mcjobs
from conftest import cli, cli_load, cli_run, random_instance


def test_examples_read_back_as_the_tool_writes_them(example):
    instance = mcjobs.read(example)
    assert str(instance) == cli("scale", example, 1)
    assert str(mcjobs.from_text(str(instance))) == str(instance)
    assert len(instance) == len(instance.jobs) == len(str(instance).splitlines()) - len(
        instance.arcs())
    assert [job.id for job in instance.jobs] == list(range(len(instance)))
    assert instance.jobs[-1] == instance.job(len(instance) - 1)
    assert str(instance.jobs[0]) == str(instance).splitlines()[0]


@pytest.mark.parametrize("level", [mcjobs.LO, mcjobs.HI])
@pytest.mark.parametrize("processors", [1, 3])
def test_load_matches_the_tool(example, level, processors):
    instance = mcjobs.read(example)
    assert instance.load(level, processors=processors) == cli_load(example, level, processors)
    if level == mcjobs.LO:
        assert instance.load(mixed=True, processors=processors) == cli_load(
            example, level, processors, mixed=True)


def test_random_instances_match_the_tool_and_networkx(random_case, tmp_path):
    path = tmp_path / "random.txt"
    random_case.write(path)
    assert path.read_text() == str(random_case) == cli("scale", path, 1)
    for level in (mcjobs.LO, mcjobs.HI):
        assert random_case.load(level, processors=2) == cli_load(path, level, 2)
        graph = random_case.to_networkx(level)
        for job in range(len(random_case)):
            assert random_case.successors(job, level) == sorted(graph.successors(job))
            assert random_case.predecessors(job, level) == sorted(graph.predecessors(job))
            assert random_case.transitive_successors(job, level) == sorted(
                networkx.descendants(graph, job))
            assert random_case.transitive_predecessors(job, level) == sorted(
                networkx.ancestors(graph, job))
    assert random_case.arcs() == sorted(random_case.arcs())


def test_propagation_tightens_windows_along_the_arcs(random_case):
    tightened = random_case.copy()
    tightened.propagate_arrivals(mcjobs.LO)
    tightened.propagate_deadlines(mcjobs.LO)
    for u, v in tightened.arcs():
        assert tightened.job(v).arrival >= tightened.job(u).arrival
        assert tightened.job(u).deadline <= tightened.job(v).deadline
    for before, after in zip(random_case.jobs, tightened.jobs):
        assert before.arrival <= after.arrival and after.deadline <= before.deadline


def test_asap_alap_refuses_a_collapsed_window_and_changes_nothing():
    text = "0 10 1 6 6\n0 10 1 6 6\n( J1 J2 )\n"
    instance = mcjobs.from_text(text)
    with pytest.raises(mcjobs.CheckError) as failure:
        instance.asap_alap(mcjobs.LO)
    assert str(failure.value) == ("window of J1 collapses at LO: [0, 4] cannot hold budgets 6/6 "
                                  "(density_lo <=1)")
    assert (failure.value.condition, failure.value.file) == ("density_lo <=1", None)
    assert str(instance) == text


@pytest.mark.parametrize("seed", range(8))
def test_asap_alap_agrees_with_the_tool(seed, tmp_path):
    path = tmp_path / "tight.txt"
    instance = random_instance(seed, jobs=12, arc_prob=0.3, windows=(12, 26))
    instance.write(path)
    for level, word in ((mcjobs.LO, "lo"), (mcjobs.HI, "hi")):
        tool = cli_run("windows", path, "--level", word, "--method", "asap-alap")
        tightened = instance.copy()
        try:
            tightened.asap_alap(level)
        except mcjobs.CheckError as error:
            assert tool.stderr == f"mcjobs: {path}: {error}\n"
            assert str(tightened) == str(instance)
        else:
            assert tool.returncode == 0, tool.stderr
            assert str(tightened) == tool.stdout
            assert str(mcjobs.from_text(str(tightened))) == tool.stdout


def test_chosen_jobs_and_infeasible_sets():
    instance = mcjobs.from_text("0 10 1 6 6\n0 10 1 6 6\n")
    assert (instance.load(), instance.load(jobs=[1])) == (1.2, 0.6)
    instance.add_arc(0, 1)
    assert instance.load() == float("inf")
    assert instance.job(0).wcet(mcjobs.HI) == 6 and instance.job(1).name == "J2"


def test_copies_and_pickles_are_independent(random_case):
    for clone in (random_case.copy(), copy.deepcopy(random_case),
                  pickle.loads(pickle.dumps(random_case))):
        assert str(clone) == str(random_case)
        clone.add_job(0, 10, mcjobs.LO, 1, 1)
        assert len(clone) == len(random_case) + 1
    assert str(pickle.loads(pickle.dumps(mcjobs.JobInstance()))) == ""
    for kind, state in ((mcjobs.Job, (1, 2)), (mcjobs.Job, (0,) * 5 + (2**40,)),
                        (mcjobs.JobInstance, (5,))):
        with pytest.raises(TypeError, match="a pickled"):
            kind.__new__(kind).__setstate__(state)


def test_every_type_pickles_in_every_protocol(tmp_path, random_case):
    archive = tmp_path / "runs.jobstar"
    mcjobs.append_archive(archive, "run1", random_case)
    with pytest.raises(mcjobs.CheckError) as failure:
        mcjobs.from_text("0 10 1 2 2\n0 5 1 9 9\n")
    # What must come back equal, per type; None: the type refuses pickling.
    samples = {
        mcjobs.JobInstance: (random_case, str),
        mcjobs.Job: (random_case.job(3), lambda job: job),
        mcjobs.CheckError: (failure.value, lambda error: (
            type(error), str(error), error.condition, error.file, error.line, error.explanation)),
        mcjobs.JobsView: (random_case.jobs, None),
        mcjobs.Level: (mcjobs.HI, lambda level: (type(level), level)),
        mcjobs.ArchiveIterator: (mcjobs.read_archive(archive), None),
        mcjobs.ScheduleResult: (random_case.schedule(2), lambda result: (type(result), result)),
    }
    types = {value for value in vars(mcjobs).values() if isinstance(value, type)}
    assert types == set(samples), "every type of the module needs a row here"
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        for kind, (sample, key) in samples.items():
            if key is None:
                with pytest.raises(TypeError, match="cannot pickle"):
                    pickle.dumps(sample, protocol)
                continue
            assert key(pickle.loads(pickle.dumps(sample, protocol))) == key(sample), (kind, protocol)
            assert key(pickle.loads(pickle.dumps([sample] * 2, protocol))[1]) == key(sample)
    rebuild, arguments, state = random_case.__reduce__()
    again = rebuild(*arguments)
    again.__setstate__(state)
    assert str(again) == str(random_case) == str(copy.copy(random_case))


def test_failed_checks_and_system_errors(tmp_path):
    bad = tmp_path / "bad.txt"
    bad.write_text("0 10 1 2 2\n0 5 1 9 9\n")
    with pytest.raises(mcjobs.CheckError) as failure:
        mcjobs.read(bad)
    assert isinstance(failure.value, ValueError)
    assert (failure.value.file, failure.value.line) == (str(bad), 2)
    assert failure.value.condition == "density_lo <=1"
    assert str(failure.value).startswith(f"{bad}:2: J2: the LO execution time 9 does not fit")

    with pytest.raises(FileNotFoundError) as missing:
        mcjobs.read(tmp_path / "missing.txt")
    assert missing.value.errno == 2 and missing.value.filename == str(tmp_path / "missing.txt")
    with pytest.raises(FileNotFoundError):
        mcjobs.JobInstance().write(tmp_path / "no" / "such" / "dir.txt")

    instance = mcjobs.from_text("0 10 1 2 2\n0 10 1 2 2\n( J1 J2 )\n")
    with pytest.raises(mcjobs.CheckError, match="cycle") as cycle:
        instance.add_arc(1, 0)
    assert cycle.value.file is None and cycle.value.line is None
    with pytest.raises(mcjobs.CheckError):
        instance.add_job(5, 4, mcjobs.LO, 1, 1)
    with pytest.raises(IndexError):
        instance.job(2)
    with pytest.raises(IndexError):
        instance.successors(-1, mcjobs.LO)
    with pytest.raises(ValueError):
        instance.load(level=3)
    with pytest.raises(ValueError):
        instance.load(mcjobs.HI, mixed=True)
    assert str(instance) == "0 10 1 2 2\n0 10 1 2 2\n( J1 J2 )\n"


def test_out_of_range_ints_and_foreign_comparisons():
    instance = mcjobs.from_text("0 10 1 2 2\n")
    for field, args in (("arrival", (2**40, 10, 1, 1, 1)), ("hi_wcet", (0, 10, 1, 1, -2**70))):
        with pytest.raises(ValueError, match=f"{field} .* outside the 32-bit range"):
            instance.add_job(*args)
    with pytest.raises(ValueError, match="outside the 32-bit range"):
        instance.add_arc(0, 2**32)
    assert str(instance) == "0 10 1 2 2\n"
    job = instance.job(0)
    assert job != 5 and job != None and job in [None, job]  # noqa: E711
    assert instance.jobs.index(job) == 0 and instance.jobs.count(job) == 1


@pytest.mark.parametrize("processors", [1, 3])
def test_stats_equal_the_tool_and_networkx(random_case, example, processors, tmp_path):
    path = tmp_path / "random.txt"
    random_case.write(path)
    for source in (path, example):
        instance = mcjobs.read(source)
        assert instance.stats(processors) == json.loads(
            cli("stats", source, "--json", "--processors", processors))
    # The heaviest path, weighting each job with its budget at the level, from NetworkX.
    for level, key in ((mcjobs.LO, "lo"), (mcjobs.HI, "hi")):
        graph = random_case.to_networkx(level)
        members = [job for job in graph if random_case.job(job).criticality >= level]
        weight = {job: random_case.job(job).wcet(level) for job in members}
        best = {}
        for job in networkx.topological_sort(graph.subgraph(members)):
            best[job] = weight[job] + max((best[p] for p in graph.predecessors(job)), default=0)
        assert random_case.stats()["longest_path"][key]["length"] == max(best.values(), default=0)


def test_reachability_arrays_match_networkx(random_case):
    for level in (mcjobs.LO, mcjobs.HI):
        graph = random_case.to_networkx(level)
        for job in range(len(random_case)):
            after = random_case.transitive_successors_array(job, level)
            assert after.tolist() == sorted(networkx.descendants(graph, job))
            before = random_case.transitive_predecessors_array(job, level)
            assert before.tolist() == sorted(networkx.ancestors(graph, job))
            assert [random_case.reaches(job, other, level) for other in range(len(random_case))] \
                == [other in set(after.tolist()) for other in range(len(random_case))]
    with pytest.raises(mcjobs.CheckError):
        random_case.reaches(0, len(random_case), mcjobs.LO)
    with pytest.raises(ValueError):
        random_case.transitive_successors_array(0, 3)
