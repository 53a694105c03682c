#!/usr/bin/env python3
"""Times a command against /bin/true, run in turn, as whole processes.

    paired_runs.py RUNS CLEAN_DIR COMMAND [ARG ...]

Each of RUNS rounds starts COMMAND and then /bin/true with posix_spawn and
waits for each; the wall time of a run is a monotonic clock read around the
spawn and the wait, with no shell in between. Before each run of COMMAND the
files of CLEAN_DIR are removed ("-" for none), as every test run writes into
a fresh folder. Prints the medians in microseconds and the median of the
per-round ratios, as
    command_us true_us ratio
(Peak memory is not taken here: a spawned child's figure includes this
interpreter's own memory up to the exec.)
"""
import os
import statistics
import sys
import time


def run_once(argv):
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, os.environ)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter_ns() - start
    return elapsed / 1000.0, os.waitstatus_to_exitcode(status)


def clean(folder):
    if folder == "-":
        return
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            os.remove(path)


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    runs, folder, command = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    true = ["/bin/true"]
    clean(folder)
    run_once(command)  # warm the caches
    run_once(true)
    times, bare, ratios = [], [], []
    for _ in range(runs):
        clean(folder)
        t, code = run_once(command)
        if code != 0:
            print("%s exited with %d" % (command[0], code), file=sys.stderr)
            return 1
        b, _ = run_once(true)
        times.append(t)
        bare.append(b)
        ratios.append(t / b)
    print("%d %d %.2f" % (statistics.median(times), statistics.median(bare), statistics.median(ratios)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
