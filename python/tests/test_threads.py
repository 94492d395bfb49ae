# Long calls release the GIL: another thread runs on time while one lasts, and
# analyses in a thread pool give the results of a serial run; first NumPy views
# in several threads at once do not deadlock.
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


def test_a_long_load_lets_a_napping_thread_wake_up_on_time():
    # A thread that naps in a loop wakes up on time during the load only if the load released
    # the GIL: held, the GIL would keep its first wake-up waiting until the load returns.
    # Delays are measured against the load's own duration, so a busy machine (no free core
    # for the napper) stretches both alike.
    instance = big_instance(200_000)
    begin = time.perf_counter()
    expected = instance.load()
    nap = (time.perf_counter() - begin) / 40
    delays, napping, done = [], threading.Event(), threading.Event()

    def nap_in_a_loop():
        while not done.is_set():
            asleep = time.perf_counter()
            napping.set()
            time.sleep(nap)
            delays.append(time.perf_counter() - asleep - nap)

    napper = threading.Thread(target=nap_in_a_loop)
    napper.start()
    napping.wait()
    begin = time.perf_counter()
    result = instance.load()
    duration = time.perf_counter() - begin
    done.set()
    napper.join()
    assert result == expected
    # Held, the GIL would delay one wake-up by nearly the whole load, and the napper would
    # wake up once or twice instead of about 40 times.
    assert len(delays) >= 5, (duration, nap, delays)
    assert max(delays) < duration / 2, (duration, nap, sorted(delays)[-5:])


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
