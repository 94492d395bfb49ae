# What Jupyter shows: the instance's HTML summary and the result's Gantt chart.
import pickle
import shutil
from xml.etree import ElementTree

import pytest

import mcjobs
from conftest import ROOT
from mcjobs import _notebook

AVIONICS = ROOT / "examples" / "avionics.txt"
SVG = "{http://www.w3.org/2000/svg}"


def tables(instance):
    """The summary and job tables of the instance's HTML, as lists of row texts; well-formed
    XML, so that any unescaped text would fail here."""
    div = ElementTree.fromstring(instance._repr_html_())
    return div, [[[cell.text for cell in row] for row in table] for table in div.iter("table")]


def test_the_html_summary_and_job_table_are_the_instance_s(example):
    instance = mcjobs.read(example)
    stats = instance.stats()
    _, (summary, jobs) = tables(instance)
    assert summary[1:] == [
        ["jobs", str(stats["jobs"]["lo"]), str(stats["jobs"]["hi"])],
        ["arcs", str(stats["arcs"]["lo"]), str(stats["arcs"]["hi"])],
        ["utilization", *(f"{stats['utilization'][level]:.3g}" for level in ("lo", "hi"))]]
    frame = instance.to_pandas().head(_notebook.TABLE_ROWS)
    assert jobs[1:] == [[str(value) for value in row] for row in frame.itertuples(index=False)]


def test_a_large_instance_shows_a_page_of_jobs_and_no_drawing():
    instance = mcjobs.generate(seed=3, nodes=2000, deadline=100000)
    div, (_, jobs) = tables(instance)
    assert len(jobs) == 1 + _notebook.TABLE_ROWS
    assert div.findall("p")[-1].text == f"… {2000 - _notebook.TABLE_ROWS} more jobs"
    assert div.find(f"{SVG}svg") is None


@pytest.mark.skipif(shutil.which("dot") is None, reason="Graphviz's dot is not installed")
def test_a_small_instance_is_drawn_only_with_dot(monkeypatch):
    instance = mcjobs.read(AVIONICS)
    drawing = tables(instance)[0].find(f"{SVG}svg")
    # One node per job, titled by its name, as Graphviz writes them.
    nodes = [group.find(f"{SVG}title").text for group in drawing.iter(f"{SVG}g")
             if group.get("class") == "node"]
    assert sorted(nodes) == sorted(job.name for job in instance.jobs)
    monkeypatch.setenv("PATH", "")
    assert tables(instance)[0].find(f"{SVG}svg") is None


def test_the_gantt_chart_has_its_legend_and_a_bar_per_segment(random_case):
    result = random_case.schedule(2)
    if not result.schedulable:
        pytest.skip("no tables to draw")
    svg = ElementTree.fromstring(result._repr_svg_())
    texts = [text.text for text in svg.iter(f"{SVG}text")]
    assert texts[:3] == [result._verdict(), "HI job", "LO job"]
    bars = [rect for rect in svg.iter(f"{SVG}rect") if rect.find(f"{SVG}title") is not None]
    assert len(bars) == len(result["tables"]["hi"]) + len(result["tables"]["lo"])
    assert pickle.loads(pickle.dumps(result))._repr_svg_() == result._repr_svg_()


def test_without_tables_the_text_repr_shows():
    failed = mcjobs.from_text("0 4 2 2 4\n0 4 2 2 4\n").schedule(1, policy="edf")
    infeasible = mcjobs.from_text("0 4 2 2 4\n0 4 2 2 4\n").schedule(1)
    by_hand = mcjobs.ScheduleResult(mcjobs.read(AVIONICS).schedule(2))
    assert [result._repr_svg_() for result in (failed, infeasible, by_hand)] == [None] * 3
