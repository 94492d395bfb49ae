# NetworkX and NumPy round trips, and archives read by independent iterators.
import json
import random
import sys
import warnings

import networkx
import numpy
import pytest

import mcjobs
from conftest import cli, cli_run, random_instance


def test_networkx_round_trip(random_case):
    graph = random_case.to_networkx()
    assert sorted(graph.edges) == random_case.arcs()
    job = random_case.job(3)
    assert graph.nodes[3] == {"name": "J4", "arrival": job.arrival, "deadline": job.deadline,
                              "criticality": job.criticality, "lo_wcet": job.lo_wcet,
                              "hi_wcet": job.hi_wcet}
    assert str(mcjobs.from_networkx(graph)) == str(random_case)
    hi = random_case.to_networkx(mcjobs.HI)
    assert all(random_case.job(u).criticality == random_case.job(v).criticality == mcjobs.HI
               for u, v in hi.edges)

    multi = networkx.MultiDiGraph(graph)
    multi.add_edges_from(graph.edges)
    assert str(mcjobs.from_networkx(multi)) == str(random_case)
    with pytest.raises(TypeError, match="directed"):
        mcjobs.from_networkx(graph.to_undirected())
    graph.nodes[2]["deadline"] = 12.5
    with pytest.raises(TypeError, match="node 2: deadline must be an int"):
        mcjobs.from_networkx(graph)


def shuffled(graph, seed):
    """The same graph with its nodes (and so the node-link document's) in another order."""
    nodes = list(graph.nodes(data=True))
    random.Random(seed).shuffle(nodes)
    again = networkx.DiGraph(**graph.graph)
    again.add_nodes_from(nodes)
    again.add_edges_from(graph.edges)
    return again


def node_link_json(graph):
    return json.dumps(networkx.node_link_data(graph))


@pytest.mark.parametrize("jobs", [1, 15, 40])
@pytest.mark.parametrize("seed", range(3))
def test_the_networkx_forms_read_each_other(jobs, seed):
    instance = random_instance(seed, jobs=jobs)
    expected = str(instance)
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # our own ids are never renumbered
        document = json.loads(instance.to_json())
        named = networkx.node_link_graph(document)  # ids J1..Jn, criticality "LO"/"HI"
        numbered = instance.to_networkx()  # ids 0..n-1, criticality 1/2
        for graph in (named, numbered, shuffled(named, seed), shuffled(numbered, seed)):
            assert str(mcjobs.from_networkx(graph)) == expected
            assert str(mcjobs.from_json(node_link_json(graph))) == expected
        random.Random(seed).shuffle(document["nodes"])
        assert str(mcjobs.from_json(json.dumps(document))) == expected


# Nodes J2, J1, J4 whose fields tell them apart, and one arc J2 -> J4.
FOREIGN = [(f"J{k}", {"arrival": 0, "deadline": 10 * k, "criticality": "LO", "lo_wcet": 1,
                      "hi_wcet": 1}) for k in (2, 1, 4)]
RENUMBERED = "node ids are not J1..J3: numbered in the order given, J2 -> J1, J1 -> J2, J4 -> J3"


@pytest.mark.parametrize("ids, words", [
    (["J2", "J1", "J4"], RENUMBERED),
    ([5, 3, 9], "node ids are not 0..2: numbered in the order given, 5 -> J1, 3 -> J2, 9 -> J3"),
    (["start", "J1", "end"], "node ids are not J1..J3: numbered in the order given, J1 -> J2"),
    (["a", "c", "b"], None),
])
def test_foreign_ids_are_read_in_the_order_given_and_a_renumbering_is_named(ids, words, tmp_path):
    graph = networkx.DiGraph()
    graph.add_nodes_from((node, fields) for node, (_, fields) in zip(ids, FOREIGN))
    graph.add_edge(ids[0], ids[2])
    expected = "0 20 1 1 1\n0 10 1 1 1\n0 40 1 1 1\n( J1 J3 )\n"
    path = tmp_path / "foreign.json"
    path.write_text(node_link_json(graph))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert str(mcjobs.from_networkx(graph)) == expected
        assert str(mcjobs.from_json(path.read_text(), str(path))) == expected
    assert [str(w.message) for w in caught] == ([words, f"{path}:1: {words}"] if words else [])
    tool = cli_run("convert", path, "--to", "native")
    assert (tool.returncode, tool.stdout) == (0, expected)
    assert tool.stderr == (f"mcjobs: {path}:1: warning: {words}\n" if words else "")


@pytest.mark.parametrize("node, field, value, error, words", [
    ("J1", "criticality", "MID", ValueError, "node 'J1': criticality must be 1, 2, 'LO' or 'HI', "
                                             "not 'MID'"),
    ("J1", "criticality", 3, ValueError, "node 'J1': criticality must be 1, 2, 'LO' or 'HI', not 3"),
    (0, "lo_wcet", 1, TypeError, "node ids are all ints or all strs, not a mix such as 'J2' and 0"),
])
def test_bad_nodes_are_named(node, field, value, error, words):
    graph = networkx.DiGraph()
    graph.add_nodes_from(FOREIGN[:2])
    graph.add_node(node, **dict(FOREIGN[1][1], **{field: value}))
    with pytest.raises(error) as failure:
        mcjobs.from_networkx(graph)
    assert str(failure.value) == words


def test_numpy_view_follows_the_instance_and_pins_its_size(random_case):
    view = random_case.to_numpy()
    assert view.dtype.names == ("id", "arrival", "deadline", "criticality", "lo_wcet", "hi_wcet")
    assert not view.flags.writeable and not view.flags.owndata
    rows = [(j.id, j.arrival, j.deadline, j.criticality, j.lo_wcet, j.hi_wcet)
            for j in random_case.jobs]
    assert view.tolist() == rows
    random_case.propagate_arrivals(mcjobs.LO)
    assert view["arrival"].tolist() == [job.arrival for job in random_case.jobs]
    with pytest.raises(BufferError):
        random_case.add_job(0, 10, mcjobs.LO, 1, 1)
    owned = random_case.to_numpy(copy=True)
    del view
    random_case.add_job(0, 10, mcjobs.LO, 1, 1)
    assert owned.flags.writeable and len(owned) == len(random_case) - 1
    assert numpy.array_equal(random_case.to_numpy()[:-1], owned)


def test_pandas_frame_has_one_row_per_job(random_case):
    pytest.importorskip("pandas")
    empty = mcjobs.JobInstance()
    for instance in (random_case, empty):
        frame = instance.to_pandas()
        assert list(frame.columns) == ["id", "name", "arrival", "deadline", "criticality",
                                       "lo_wcet", "hi_wcet"]
        assert frame.to_dict("records") == [
            {"id": job.id, "name": job.name, "arrival": job.arrival, "deadline": job.deadline,
             "criticality": "HI" if job.criticality == mcjobs.HI else "LO",
             "lo_wcet": job.lo_wcet, "hi_wcet": job.hi_wcet} for job in instance.jobs]
    assert list(frame["criticality"].cat.categories) == ["LO", "HI"]


def test_without_pandas_the_error_names_the_packages(random_case, monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)
    words = ("this needs pandas (Debian: apt-get install python3-pandas; pip: pip install "
             "pandas)")
    for call in (random_case.to_pandas, random_case.schedule(4).to_pandas):
        with pytest.raises(ImportError) as error:
            call()
        assert str(error.value) == words


def test_archive_iterators_walk_independently(tmp_path, random_case):
    path = tmp_path / "runs.jobstar"
    for name in ("set1", "set2", "set10"):
        mcjobs.append_archive(path, name, random_case)
    assert cli("archive", "list", path).split() == ["set1", "set2", "set10"]
    first, second = mcjobs.read_archive(path), mcjobs.read_archive(path, "set1")
    assert next(first)[0] == "set1"
    assert [name for name, _ in second] == ["set1"]
    assert [name for name, _ in first] == ["set2", "set10"]
    assert all(str(entry) == str(random_case) for _, entry in mcjobs.read_archive(path))
    started = mcjobs.read_archive(path)
    mcjobs.append_archive(path, "set11", random_case)
    assert [name for name, _ in started] == ["set1", "set2", "set10"]

    with pytest.raises(FileNotFoundError):
        mcjobs.read_archive(tmp_path / "missing.jobstar")
    with pytest.raises(IsADirectoryError):
        mcjobs.read_archive(tmp_path)
    with pytest.raises(mcjobs.CheckError):
        mcjobs.append_archive(path, "two\nlines", random_case)
    (tmp_path / "broken.jobstar").write_text("------\nok:\n0 5 1 1 1\n------\nbad:\n0 5 1 9 9\n")
    with mcjobs.read_archive(tmp_path / "broken.jobstar") as entries:
        assert next(entries)[0] == "ok"
        with pytest.raises(mcjobs.CheckError) as failure:
            next(entries)
        assert failure.value.line == 6


def test_archive_torn_tail_is_named_after_the_complete_entries(tmp_path):
    path = tmp_path / "runs.jobstar"
    mcjobs.append_archive(path, "first", random_instance(1))
    start = path.stat().st_size
    mcjobs.append_archive(path, "second", random_instance(2, jobs=300))
    whole = path.read_bytes()
    # What an append killed mid-entry leaves: its journal, and its entry cut at a line end.
    cut = whole.index(b"\n", start + 200) + 1
    path.write_bytes(whole[:cut])
    status = path.stat()
    (tmp_path / "runs.jobstar.journal").write_text(
        f"mcjobs archive append journal\n{start} {len(whole)}\nsecond\n"
        f"file {status.st_dev} {status.st_ino}\n")
    line = whole[:start].count(b"\n") + 1
    entries = mcjobs.read_archive(path)
    assert next(entries)[0] == "first"
    with pytest.raises(mcjobs.CheckError) as failure:
        next(entries)
    assert str(failure.value) == (
        f"{path}:{line}: incomplete entry 'second' ({cut - start} bytes) left by an interrupted "
        "append; the next append cuts it off")
    assert (failure.value.file, failure.value.line) == (str(path), line)
    assert list(entries) == []


def test_bulk_append_writes_what_single_appends_write(tmp_path):
    sets = [(f"set{k}", random_instance(k, jobs=5 + k)) for k in range(12)]
    one_by_one, bulk = tmp_path / "single.jobstar", tmp_path / "bulk.jobstar"
    for name, instance in sets:
        mcjobs.append_archive(one_by_one, name, instance)
    mcjobs.append_archive(bulk, sets[:5])
    mcjobs.append_archive(bulk, tuple(sets[5:]))
    assert bulk.read_bytes() == one_by_one.read_bytes()
    before = bulk.read_bytes()
    with pytest.raises(mcjobs.CheckError):  # all or nothing: one bad name refuses the batch
        mcjobs.append_archive(bulk, [("fine", sets[0][1]), ("two\nlines", sets[1][1])])
    with pytest.raises(TypeError):
        mcjobs.append_archive(bulk, [("no instance", None)])
    assert bulk.read_bytes() == before
