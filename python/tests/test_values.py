# Python's own values at the module's edges: Level members, NumPy scalars, tuples
# and ranges, drawn seeds, value equality, and functions that pickle by name.
import functools
import inspect
import json
import multiprocessing
import pickle

import networkx
import numpy
import pytest

import mcjobs
from conftest import random_instance


def test_levels_come_back_as_level_members_and_plain_ints_still_go_in(random_case):
    assert issubclass(mcjobs.Level, int) and list(mcjobs.Level) == [mcjobs.LO, mcjobs.HI]
    assert (mcjobs.LO, mcjobs.HI) == (mcjobs.Level.LO, mcjobs.Level.HI) == (1, 2)
    assert {type(job.criticality) for job in random_case.jobs} == {mcjobs.Level}
    graph = random_case.to_networkx(2)
    assert graph.graph["level"] is mcjobs.HI
    assert all(type(graph.nodes[node]["criticality"]) is mcjobs.Level for node in graph)
    # A Level is an int to JSON and NetworkX's writers, and reads back from them.
    assert json.dumps([mcjobs.HI, mcjobs.LO]) == "[2, 1]"
    back = networkx.node_link_graph(json.loads(json.dumps(networkx.node_link_data(graph))))
    assert mcjobs.from_networkx(back) == mcjobs.from_networkx(graph)
    assert random_case.load(2) == random_case.load(mcjobs.HI)
    assert random_case.arcs(1) == random_case.arcs(mcjobs.Level.LO)


def test_numpy_scalars_go_wherever_ints_and_floats_do():
    plain, scalars = mcjobs.JobInstance(), mcjobs.JobInstance()
    plain.add_job(0, 50, 2, 3, 6), plain.add_job(5, 60, 1, 4, 4), plain.add_arc(0, 1)
    i = numpy.int64
    scalars.add_job(i(0), numpy.int32(50), numpy.uint8(2), i(3), i(6))
    scalars.add_job(i(5), i(60), i(1), numpy.int16(4), i(4))
    scalars.add_arc(i(0), numpy.uint64(1))
    assert scalars == plain
    assert plain.load(level=i(2), processors=i(2)) == plain.load(level=2, processors=2)
    assert plain.successors(i(0), i(1)) == [1]
    assert plain.schedule(i(2), policy="edf") == plain.schedule(2, policy="edf")
    generated = dict(processors=i(2), utilization=numpy.float32(0.3), graphs=numpy.uint16(2),
                     criticality_factor=numpy.float64(1.5), hi_fraction=numpy.float16(0.5))
    python = dict(processors=2, utilization=0.3, graphs=2, criticality_factor=1.5,
                  hi_fraction=0.5)
    assert mcjobs.generate(seed=i(4), **generated) == mcjobs.generate(seed=4, **python)
    assert mcjobs.generate(seed=4, model="periodic", periods=numpy.array([1000, 2000])) == \
        mcjobs.generate(seed=4, model="periodic", periods=[1000, 2000])
    with pytest.raises(TypeError):
        plain.add_arc(0.0, 1)


def test_ranges_are_pairs_with_both_ends_or_python_ranges_without_the_stop():
    text = mcjobs.generate(seed=3, nodes="10..20")
    for nodes in ((10, 20), [10, 20], range(10, 21), (numpy.int64(10), 20)):
        assert mcjobs.generate(seed=3, nodes=nodes) == text, nodes
    assert mcjobs.generate(seed=3, nodes=range(12, 13)) == mcjobs.generate(seed=3, nodes=12)


def test_a_drawn_seed_is_reported_and_regenerates_the_set():
    first, second = (mcjobs.generate(seed=None, nodes=(5, 9)) for _ in range(2))
    assert first.seed != second.seed and 0 <= first.seed < 2**64
    assert mcjobs.generate(seed=first.seed, nodes=(5, 9)) == first
    given = mcjobs.generate(seed=11)
    assert given.seed == given.copy().seed == pickle.loads(pickle.dumps(given, 0)).seed == 11
    assert mcjobs.from_text(str(given)).seed is None and mcjobs.JobInstance().seed is None


def test_generate_lists_every_option_with_its_default():
    parameters = inspect.signature(mcjobs.generate).parameters
    assert list(parameters) == ["seed", *mcjobs.generate_options()]
    assert all(p.kind is inspect.Parameter.KEYWORD_ONLY for p in parameters.values())
    assert parameters["seed"].default is inspect.Parameter.empty
    assert {name: p.default for name, p in list(parameters.items())[1:]} == \
        mcjobs.generate_options()


def test_instances_compare_by_their_jobs_and_arcs():
    # The instance file text is the oracle: it lists exactly the jobs and the arcs.
    instances = [random_instance(seed, jobs=6, arc_prob=0.3) for seed in range(4)]
    for instance in list(instances):
        instances.append(instance.copy())
        instances.append(pickle.loads(pickle.dumps(instance)))
        more = instance.copy()
        more.add_job(0, 400, mcjobs.LO, 1, 1)
        instances.append(more)
        fewer = mcjobs.JobInstance()
        for job in instance.jobs:
            fewer.add_job(job.arrival, job.deadline, job.criticality, job.lo_wcet, job.hi_wcet)
        instances.append(fewer)
    for a in instances:
        for b in instances:
            assert (a == b) == (str(a) == str(b)) and (a != b) == (str(a) != str(b))
    assert instances[0] != str(instances[0]) and instances[0] != None  # noqa: E711
    with pytest.raises(TypeError, match="unhashable"):
        hash(instances[0])


def public_functions():
    """Every public function of the module and every public method of its classes."""
    for name in dir(mcjobs):
        value = getattr(mcjobs, name)
        if name.startswith("_") or isinstance(value, type(mcjobs)):
            continue
        if isinstance(value, type):
            for member in dir(value):
                attribute = getattr(value, member)
                if not member.startswith("_") and callable(attribute) and \
                        not isinstance(attribute, type) and member in vars(value):
                    yield f"{name}.{member}", attribute
        elif callable(value):
            yield name, value


def test_every_function_and_method_pickles_as_itself():
    functions = dict(public_functions())
    assert {"generate", "read", "JobInstance.load", "JobInstance.schedule",
            "from_networkx", "Job.wcet"} <= set(functions)
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        for name, function in functions.items():
            assert pickle.loads(pickle.dumps(function, protocol)) is function, (name, protocol)
    partial = pickle.loads(pickle.dumps(functools.partial(mcjobs.generate, nodes=(5, 8))))
    assert partial(seed=2) == mcjobs.generate(seed=2, nodes=(5, 8))


def test_functions_and_methods_run_in_a_process_pool():
    sets = [mcjobs.generate(seed=seed) for seed in range(1, 5)]
    # spawn: the workers import mcjobs afresh to unpickle what they are sent.
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        assert pool.map(mcjobs.JobInstance.load, sets) == [inst.load() for inst in sets]
        made = pool.starmap(functools.partial(mcjobs.generate, seed=None, nodes=(5, 8)),
                            [(), ()])
    assert [inst == mcjobs.generate(seed=inst.seed, nodes=(5, 8)) for inst in made] == [True] * 2
