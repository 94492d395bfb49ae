# Batches and studies: generate_many and study against per-set calls of generate and
# schedule, the process pool against this process, the Wilson intervals and the figure.
import math

import pytest

import mcjobs

pandas = pytest.importorskip("pandas")

OPTIONS = dict(model="frame", deadline=1000, nodes=(8, 16), edge_prob=0.2, graphs=3,
               criticality_factor=1.5)
GRID = {"processors": [1, 2], "utilization": [0.4, 0.95]}
TESTS = ["load", "edf", "hi=llf,lo=edf", "default"]


def test_generate_many_entries_are_the_batch_seeds_sets():
    batch = mcjobs.generate_many(6, seed=11, **OPTIONS)
    assert len(batch) == 6
    for i, instance in enumerate(batch, start=1):
        seed = mcjobs.batch_seed(11, i)
        assert instance.seed == seed
        assert str(instance) == str(mcjobs.generate(seed=seed, **OPTIONS))


def per_set_verdicts(row):
    """The study's tests redone on the row's set through generate() and schedule()."""
    processors = row["processors"]
    instance = mcjobs.generate(seed=row["seed"], processors=processors,
                               utilization=row["utilization"], **OPTIONS)
    portfolio = instance.schedule(processors)
    # The portfolio runs the load test first and says "infeasible" exactly when it fails.
    return {"load": portfolio["status"] != "infeasible",
            "edf": instance.schedule(processors, policy="edf")["status"] == "feasible",
            "hi=llf,lo=edf": instance.schedule(processors, hi_policy="llf",
                                               lo_policy="edf")["status"] == "feasible",
            "default": portfolio["status"] == "feasible"}


@pytest.fixture(scope="module")
def frame():
    return mcjobs.study(GRID, 6, 3, tests=TESTS, **OPTIONS)


def test_study_rows_regenerate_from_their_seed(frame):
    assert list(frame.columns) == ["processors", "utilization", "seed", "utilization_lo",
                                   "utilization_hi", *TESTS, *("time_" + t for t in TESTS)]
    # Points in nested-loop order, seeds counting across the whole study.
    assert list(frame.processors) == [1] * 12 + [2] * 12
    assert list(frame.utilization) == ([0.4] * 6 + [0.95] * 6) * 2
    assert list(frame.seed) == [mcjobs.batch_seed(3, k) for k in range(1, 25)]
    for row in frame.to_dict("records"):
        assert {test: row[test] for test in TESTS} == per_set_verdicts(row), row["seed"]
    assert frame[TESTS].any().all() and not frame[TESTS].all().all()
    assert (frame[["time_" + t for t in TESTS]] >= 0).all().all()


def test_a_process_pool_gives_the_same_frame(frame):
    pooled = mcjobs.study(GRID, 6, 3, tests=TESTS, processes=2, **OPTIONS)
    times = ["time_" + t for t in TESTS]
    pandas.testing.assert_frame_equal(pooled.drop(columns=times), frame.drop(columns=times))


# Small sets at high utilization, which the exact method decides in about a second; with
# seed 7 one of them is open after the portfolio and has tables.
SMALL = dict(processors=2, graphs=3, nodes=(8, 10), deadline=50)


def test_the_exact_test_is_the_exact_method_s_status():
    tests = ["load", "default", "exact"]
    frame = mcjobs.study({"utilization": [0.9]}, 8, 7, tests=tests, time_limit=60, **SMALL)
    assert list(frame.columns) == ["utilization", "seed", "utilization_lo", "utilization_hi",
                                   *tests, "exact_status", *("time_" + t for t in tests)]
    for row in frame.to_dict("records"):
        instance = mcjobs.generate(seed=row["seed"], utilization=0.9, **SMALL)
        assert row["exact_status"] == instance.schedule(2, method="exact").status
    assert (frame.exact == (frame.exact_status == "feasible")).all()
    # The load test is necessary, the portfolio sufficient: the exact method lies between.
    assert (frame.default <= frame.exact).all() and (frame.exact <= frame.load).all()
    assert (frame.exact & ~frame.default).any() and (frame.exact_status == "infeasible").any()


@pytest.mark.parametrize("tests, grid, options, message", [
    (["lfl"], GRID, {}, "unknown policy 'lfl'"),
    (["hi=edf,lo=xx"], GRID, {}, "unknown policy 'xx'"),
    (["load"], {"edge_prob": [0.5, 2]}, {}, "edge_prob must be a probability"),
    (["load", "edf"], GRID, {"time_limit": 5},
     "^time_limit does not apply without the test 'exact'$"),
    (["exact"], GRID, {"time_limit": -1},
     r"^time_limit must be a positive number of seconds, not -1\.0$"),
])
def test_study_refuses_bad_tests_and_options(tests, grid, options, message):
    with pytest.raises(ValueError, match=message):
        mcjobs.study(grid, 2, 1, tests=tests, **options)


@pytest.mark.parametrize("accepted, count", [(0, 10), (5, 10), (10, 10), (3, 40), (97, 100)])
def test_wilson_interval_is_the_closed_form(accepted, count):
    z = 1.959963984540054
    p = accepted / count
    # The roots in q of (p - q)^2 = z^2 q (1 - q) / count: the Wilson score interval's ends.
    a, b, c = 1 + z * z / count, -(2 * p + z * z / count), p * p
    roots = sorted((-b + sign * math.sqrt(b * b - 4 * a * c)) / (2 * a) for sign in (-1, 1))
    low, high = mcjobs.wilson_interval(accepted, count)
    assert (low, high) == pytest.approx(roots, abs=1e-12)
    if accepted == 5:  # the textbook value for 5 in 10
        assert (round(float(low), 4), round(float(high), 4)) == (0.2366, 0.7634)


def test_plot_acceptance_draws_one_line_per_test(frame):
    matplotlib = pytest.importorskip("matplotlib")
    figure = mcjobs.plot_acceptance(frame[frame.processors == 2], x="utilization",
                                    tests=["load", "edf", "default"])
    assert isinstance(figure, matplotlib.figure.Figure)
    axes, = figure.axes
    assert [line.get_label() for line in axes.get_lines()] == ["load", "edf", "default"]
    # Without groups, each test has a colour of its own.
    assert len({line.get_color() for line in axes.get_lines()}) == 3
    assert "6 sets per point" in axes.get_title()


def test_plot_acceptance_counts_the_exact_test_s_unknowns():
    pytest.importorskip("matplotlib")
    statuses = ["feasible", "unknown", "infeasible", "unknown", "feasible", "feasible"]
    frame = pandas.DataFrame({"utilization": [0.8] * 3 + [0.9] * 3, "m": [2, 4] * 3,
                              "exact": [status == "feasible" for status in statuses],
                              "exact_status": statuses})
    labels = [[line.get_label() for line in mcjobs.plot_acceptance(
        frame, x="utilization", tests=["exact"], by=by).axes[0].get_lines()] for by in (None, "m")]
    assert labels == [["exact (2 unknown)"], ["exact, m = 2", "exact, m = 4 (2 unknown)"]]
