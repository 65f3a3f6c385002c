"""Computations run without the GIL, and Ctrl+C stops them cleanly."""

import signal
import threading
import time

import numpy as np
import pandas as pd
import pytest

import kinvar


def overlapping_generations(generations, size, seed=7):
    """`generations` of `size` animals each; the first half of a generation
    are males. Parents come from the previous generation."""
    rng = np.random.default_rng(seed)
    ids = np.arange(generations * size)
    gen = ids // size
    first = (gen - 1) * size
    sire = first + rng.integers(0, size // 2, ids.size)
    dam = first + size // 2 + rng.integers(0, size // 2, ids.size)
    founder = gen == 0
    return pd.DataFrame({"animal": ids + 1, "sire": np.where(founder, 0, sire + 1),
                         "dam": np.where(founder, 0, dam + 1)})


@pytest.fixture(scope="module")
def big():
    return kinvar.Pedigree.from_frame(overlapping_generations(25, 1000))


def long_call(ped, threads=1):
    """Every pair's relationship, few of them listed: seconds of work."""
    return ped.relationships(range=(1.9, 2.0), threads=threads)


def test_a_second_thread_runs_during_a_computation(big):
    ticks = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    try:
        start = time.perf_counter()
        long_call(big)
        end = time.perf_counter()
    finally:
        stop.set()
        counter.join()
    during = np.array([t for t in ticks if start <= t <= end])
    assert end - start > 0.5, "the computation is too short to tell"
    gaps = np.diff(np.concatenate(([start], during, [end])))
    # Holding the GIL would stop the counter for the whole computation.
    assert gaps.max() < 0.25 * (end - start), f"the second thread stood still for {gaps.max():.2f} s"


@pytest.mark.parametrize("threads", [1, 2])
def test_ctrl_c_stops_a_computation_and_leaves_the_pedigree_usable(big, threads):
    main = threading.get_ident()
    started = time.perf_counter()
    timer = threading.Timer(0.3, signal.pthread_kill, (main, signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            long_call(big, threads)
    finally:
        timer.cancel()
    stopped = time.perf_counter() - started
    full_started = time.perf_counter()
    again = long_call(big, threads)
    full = time.perf_counter() - full_started
    assert stopped < 0.3 + 0.5 * full
    pd.testing.assert_frame_equal(again, long_call(big))
    assert big.relationship("1", "1") == 1.0


def test_one_thread_at_a_time_per_pedigree(big):
    errors = []

    def other():
        try:
            long_call(big)
        except RuntimeError as error:
            errors.append(str(error))

    thread = threading.Thread(target=other)
    thread.start()
    time.sleep(0.1)
    try:
        long_call(big)
    except RuntimeError as error:
        errors.append(str(error))
    thread.join()
    assert len(errors) == 1 and "another thread" in errors[0]
