"""How instances show in Jupyter: JobInstance._repr_html_, a summary with the job table and,
for small sets with Graphviz installed, the DAG as inline SVG."""

import html
import shutil
import subprocess

from ._mcjobs import HI, LO

# Rows of the job table; the rest is counted. A page of rows reads at a glance and keeps a
# 10,000-job set as quick to show as a small one.
TABLE_ROWS = 20
# Jobs up to which the DAG is drawn: beyond, dot takes long and the picture is unreadable.
DRAWN_JOBS = 40
# Seconds dot may take before the drawing is left out.
DOT_TIMEOUT = 10

_COLUMNS = ("id", "name", "arrival", "deadline", "criticality", "C(LO)", "C(HI)")
_LEVEL_WORDS = {int(LO): "LO", int(HI): "HI"}


def _cell(value, tag="td"):
    return f"<{tag}>{html.escape(str(value))}</{tag}>"


def _row(values, tag="td"):
    return "<tr>" + "".join(_cell(value, tag) for value in values) + "</tr>"


def _ratio(value):
    return "–" if value is None else f"{value:.3g}"


def _summary(instance, stats):
    """The counts, utilizations and horizon per level, from inst.stats()."""
    jobs = stats["jobs"]
    utilization = stats["utilization"] or {"lo": None, "hi": None}
    horizon = stats["horizon"]
    lines = [
        _row(("", "LO", "HI"), "th"),
        _row(("jobs", jobs["lo"], jobs["hi"])),
        _row(("arcs", stats["arcs"]["lo"], stats["arcs"]["hi"])),
        _row(("utilization", _ratio(utilization["lo"]), _ratio(utilization["hi"]))),
    ]
    title = f"JobInstance: {jobs['total']} jobs"
    if horizon is not None:
        title += f", horizon [{horizon['start']}, {horizon['end']}]"
    if instance.seed is not None:
        title += f", seed {instance.seed}"
    return f"<p><strong>{html.escape(title)}</strong></p><table>{''.join(lines)}</table>"


def _job_table(instance):
    """The first TABLE_ROWS jobs, and how many more there are; nothing for no jobs."""
    if len(instance) == 0:
        return ""
    jobs = instance.to_numpy(copy=True)[:TABLE_ROWS]
    names = instance.jobs
    lines = [_row(_COLUMNS, "th")]
    for job in jobs:
        identity = int(job["id"])
        lines.append(_row((identity, names[identity].name, job["arrival"], job["deadline"],
                           _LEVEL_WORDS[int(job["criticality"])], job["lo_wcet"],
                           job["hi_wcet"])))
    more = len(instance) - len(jobs)
    table = f"<table>{''.join(lines)}</table>"
    if more > 0:
        table += f"<p>… {more} more job{'s' if more > 1 else ''}</p>"
    return table


def _dag_svg(instance):
    """The DAG drawn by Graphviz as an <svg> element, or '' when it is not drawn: no dot on
    PATH, too many jobs, or dot failing or taking too long."""
    dot = shutil.which("dot")
    if dot is None or not 0 < len(instance) <= DRAWN_JOBS:
        return ""
    try:
        drawn = subprocess.run([dot, "-Tsvg"], input=instance.to_dot(), capture_output=True,
                               text=True, timeout=DOT_TIMEOUT, check=True)
    except (OSError, subprocess.SubprocessError):
        return ""
    # Inline in HTML, the XML declaration and doctype have no place: keep the element alone.
    start = drawn.stdout.find("<svg")
    return drawn.stdout[start:] if start >= 0 else ""


def instance_html(instance):
    """See JobInstance._repr_html_."""
    return ('<div class="mcjobs-instance">' + _summary(instance, instance.stats())
            + _job_table(instance) + _dag_svg(instance) + "</div>")
