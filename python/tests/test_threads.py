"""Runs and sweeps off the interpreter: the GIL is free while they compute, Ctrl+C stops them,
and progress reports how far they are."""
import _thread
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

from conftest import data

LONG = 100_000_000  # steps no test waits for


def test_another_thread_runs_during_a_run(quobel, three_maps):
    count = 0
    stop = threading.Event()

    def count_on():
        nonlocal count
        while not stop.is_set():
            count += 1

    class Enough(Exception):
        pass

    seen = []

    def report(done, total):
        seen.append(count)
        if len(seen) == 5:
            raise Enough

    counter = threading.Thread(target=count_on)
    counter.start()
    try:
        with pytest.raises(Enough):
            quobel.run(three_maps, steps=LONG, progress=report)
    finally:
        stop.set()
        counter.join()
    # Between the run's reports the other thread counted on: it held the GIL meanwhile.
    assert seen[-1] > seen[0]


def test_progress_counts_up_to_the_total(quobel, three_maps):
    reports = []
    quobel.sweep(three_maps, vary=[("prob(1)", 0, 1, 5)], steps=2000, burn_in=100, threads=2,
                 progress=lambda done, total: reports.append((done, total)))
    assert reports[-1] == (5, 5)
    assert all(total == 5 for _, total in reports)
    assert [done for done, _ in reports] == sorted(done for done, _ in reports)


def test_a_progress_that_raises_stops_the_run(quobel, three_maps):
    reports = []

    def give_up(done, total):
        reports.append(done)
        raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        quobel.run(three_maps, steps=LONG, progress=give_up)
    assert len(reports) == 1 and reports[0] < LONG


def test_interrupt_main_stops_a_sweep(quobel, three_maps):
    calls = []

    def interrupt_once(done, total):
        calls.append(done)
        if len(calls) == 1:
            _thread.interrupt_main()

    with pytest.raises(KeyboardInterrupt):
        quobel.sweep(three_maps, vary=[("la1(1,1)", 0.05, 0.95, 400)], steps=LONG,
                     progress=interrupt_once)
    # Stopped at the next wake-up, no point of a hundred million steps done.
    assert calls == [0]


CHILD = """
import sys, time, quobel
parameters = quobel.load(sys.argv[1])
last = []
def progress(done, total):
    first = not last
    last[:] = [done]  # before Ctrl+C can come
    if first:
        print("running", flush=True)
try:
    quobel.run(parameters, steps=int(sys.argv[2]), progress=progress)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), last[0], flush=True)
"""


def test_ctrl_c_stops_a_run(three_maps):
    child = subprocess.Popen([sys.executable, "-c", CHILD, data("three_maps.txt"), str(LONG)],
                             stdout=subprocess.PIPE, text=True, env=os.environ)
    try:
        assert child.stdout.readline().strip() == "running"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        words = child.stdout.readline().split()
        assert child.wait(timeout=60) == 0
    finally:
        child.kill()
    assert words[0] == "interrupted"
    # How long Ctrl+C took to stop it, for whoever reads the output (-s).
    print(f"interrupted after {1000 * (float(words[1]) - sent):.1f} ms, "
          f"{int(words[2])} of {LONG} steps")
    assert int(words[2]) < LONG
