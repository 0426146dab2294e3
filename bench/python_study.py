"""Times zorvi.study of the shipped data through the Python package, as BM_report_study times
it inside zorvi-report: data read, 2000 series, results file written, summary composed; and a
study of 10^6 series streamed to a results file, with the process's peak memory.

usage: python3 bench/python_study.py [RUNS]   (zorvi importable, e.g. PYTHONPATH=<build>/python)
"""

import os
import pathlib
import resource
import statistics
import sys
import tempfile
import time

import zorvi

SOURCE = pathlib.Path(__file__).resolve().parents[1]
DATA = SOURCE / "data" / "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat"


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    with tempfile.TemporaryDirectory(dir="/dev/shm" if os.path.isdir("/dev/shm") else None) as d:
        results = os.path.join(d, "study.dat")
        zorvi.study(DATA, results=results).summary()  # warm up
        wall, cpu = [], []
        for _ in range(runs):
            w, c = time.perf_counter(), time.process_time()
            zorvi.study(DATA, results=results).summary()
            wall.append(time.perf_counter() - w)
            cpu.append(time.process_time() - c)
        print(
            f"2000 series: median wall {statistics.median(wall) * 1e3:.1f} ms "
            f"(fastest {min(wall) * 1e3:.1f} ms), median CPU {statistics.median(cpu) * 1e3:.1f} ms "
            f"over {runs} runs; peak RSS {peak_mb():.1f} MB"
        )
        w = time.perf_counter()
        study = zorvi.study(DATA, series=10**6, results=results)
        study.summary()
        print(
            f"10^6 series streamed: {time.perf_counter() - w:.2f} s wall, "
            f"peak RSS {peak_mb():.1f} MB, results file {os.path.getsize(results) / 1e6:.1f} MB"
        )


if __name__ == "__main__":
    main()
