"""The Python module's speed (make bench-python): medians of interleaved
rounds, on the same random pencils for every contender.

  throughput  pencils a second for a stack at N = 25, 50, 100, 200:
              geneig.eigh on 1 and on 2 workers, and scipy.linalg.eigh in a
              loop in this process; the ratios between them; and the
              process's CPU time on 2 workers over that on 1 (1.00: the
              second thread does no extra work, so that on two idle cores
              2 workers take half the time; the measure that a busy machine
              leaves intact)
  overhead    one call of geneig.eigh on one pencil of order 10, against
              the time per pencil of the same pencil in a stack of 1,000 on
              one worker (the bare solve, with its copy in and out)

Stacks hold 1,000 pencils at N <= 50 and fewer above (--full: 1,000
everywhere); pencils a second do not depend on the size of a stack once
each worker has a few dozen.

usage: bench_python.py [--rounds R] [--full]
"""

import argparse
import os
import platform
import statistics
import sys
import time

import numpy as np
import scipy.linalg

import geneig


def pencils(n, count, seed=1):
    rng = np.random.default_rng(seed)
    x = rng.standard_normal((count, n, n)) + 1j * rng.standard_normal((count, n, n))
    a = (x + x.conj().swapaxes(-1, -2)) / 2
    y = rng.standard_normal((count, n, n)) + 1j * rng.standard_normal((count, n, n))
    b = y @ y.conj().swapaxes(-1, -2) / n + np.eye(n)
    return a, b


def seconds(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def cpu_seconds(call):
    """Wall and CPU time (all threads of the process) of one call."""
    start, cpu = time.perf_counter(), time.process_time()
    call()
    return time.perf_counter() - start, time.process_time() - cpu


def cpu_name():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--full", action="store_true", help="stacks of 1,000 at every order")
    args = parser.parse_args()
    print(f"CPU: {cpu_name()}, {os.cpu_count()} logical cores; load average "
          f"{os.getloadavg()[0]:.2f}; geneig {geneig.__version__}, NumPy {np.__version__}, "
          f"SciPy {scipy.__version__}, Python {platform.python_version()}")
    print(f"medians of {args.rounds} interleaved rounds\n")
    print(f"{'N':>4} {'stack':>6} {'geneig 1 worker':>16} {'geneig 2 workers':>17} "
          f"{'SciPy loop':>11} {'2w/1w':>6} {'1w/SciPy':>9} {'2w/SciPy':>9} {'CPU 2w/1w':>10}"
          "   (pencils/s)")
    for n in (25, 50, 100, 200):
        count = 1000 if args.full or n <= 50 else {100: 200, 200: 50}[n]
        a, b = pencils(n, count)
        times = {"1": [], "2": [], "scipy": []}
        cpu = {"1": [], "2": []}
        for _ in range(args.rounds):
            for workers in ("1", "2"):
                wall, used = cpu_seconds(lambda: geneig.eigh(a, b, workers=int(workers)))
                times[workers].append(wall)
                cpu[workers].append(used)
            times["scipy"].append(seconds(lambda: [scipy.linalg.eigh(a[k], b[k])
                                                   for k in range(count)]))
        rate = {k: count / statistics.median(v) for k, v in times.items()}
        cpu_ratio = statistics.median(cpu["2"]) / statistics.median(cpu["1"])
        print(f"{n:>4} {count:>6} {rate['1']:>16.0f} {rate['2']:>17.0f} {rate['scipy']:>11.0f} "
              f"{rate['2'] / rate['1']:>6.2f} {rate['1'] / rate['scipy']:>9.2f} "
              f"{rate['2'] / rate['scipy']:>9.2f} {cpu_ratio:>10.2f}")
        sys.stdout.flush()

    n, count, calls = 10, 1000, 1000
    a, b = pencils(n, count)
    one_a, one_b = a[0].copy(), b[0].copy()
    same_a = np.broadcast_to(one_a, (count, n, n))
    single, stacked = [], []
    for _ in range(args.rounds):
        single.append(seconds(lambda: [geneig.eigh(one_a, one_b) for _ in range(calls)]) / calls)
        stacked.append(seconds(lambda: geneig.eigh(same_a, one_b, workers=1)) / count)
    t1, tb = statistics.median(single), statistics.median(stacked)
    print(f"\none call at N = {n}: {t1 * 1e6:.1f} us; the same pencil in a stack: "
          f"{tb * 1e6:.1f} us each; overhead of a call {(t1 - tb) * 1e6:.1f} us")


if __name__ == "__main__":
    main()
