# Long calls release the GIL: two threads' loads of different instances overlap
# in time and give the results of a serial run; first NumPy views in several
# threads at once do not deadlock.
import os
import random
import subprocess
import sys
import threading
import time

import mcjobs


def big_instance(jobs):
    rng = random.Random(jobs)
    lines = []
    for _ in range(jobs):
        arrival = rng.randrange(0, 1_000_000)
        lines.append(f"{arrival} {arrival + rng.randrange(100, 10_000)} 1 5 5\n")
    return mcjobs.from_text("".join(lines))


def test_two_threads_overlap_on_long_loads():
    instances = [big_instance(100_000), big_instance(100_001)]
    expected = [instance.load() for instance in instances]
    intervals, results = [None, None], [None, None]
    start = threading.Barrier(2)

    def run(k):
        start.wait()
        begin = time.perf_counter()
        results[k] = instances[k].load()
        intervals[k] = (begin, time.perf_counter())

    threads = [threading.Thread(target=run, args=(k,)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected
    overlap = min(end for _, end in intervals) - max(begin for begin, _ in intervals)
    shorter = min(end - begin for begin, end in intervals)
    # Holding the GIL would serialise the calls: the overlap would be a few microseconds.
    assert overlap > 0.5 * shorter, (intervals, overlap)


def test_thread_pool_analyses_match_a_serial_run():
    from concurrent.futures import ThreadPoolExecutor

    from conftest import random_instance

    def analyse(seed):
        instance = random_instance(seed, jobs=120, arc_prob=0.05)
        instance.asap_alap(mcjobs.HI)
        return (str(instance), instance.load(), instance.load(mcjobs.HI, processors=2),
                [instance.transitive_successors(job, mcjobs.LO) for job in range(len(instance))])

    seeds = range(16)
    with ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(analyse, seeds)) == [analyse(seed) for seed in seeds]


def test_first_numpy_views_in_several_threads_do_not_deadlock():
    # In a fresh interpreter: the first to_numpy() of the process is the one at risk.
    script = """if True:
        import threading, mcjobs
        start = threading.Barrier(4)
        def run():
            instance = mcjobs.from_text("0 10 1 1 1\\n")
            start.wait()
            views.extend(instance.to_numpy()["deadline"][0] for _ in range(100))
        views = []
        threads = [threading.Thread(target=run) for _ in range(4)]
        for thread in threads: thread.start()
        for thread in threads: thread.join()
        assert views == [10] * 400
    """
    subprocess.run([sys.executable, "-c", script], check=True, timeout=60, env=os.environ)
