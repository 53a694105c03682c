#!/usr/bin/env bash
# A job of 50,000 points: import of a SIMA file, its export, and a name
# lookup, each against reading the same file with cat.
#
#   bench/points.sh [BUILD_BIN] [RUNS]      (defaults: build/bin, 11)
#
# Import and export are timed as whole processes of marula-points, in turn
# with `cat` of the 50,000-point file (each import into a fresh job). A
# lookup is timed inside one process by job_lookup_bench (10,000 lookups of
# names spread over the job, the mean printed), and as the difference of two
# whole runs, 10,001 lookups against 1. Targets: import and export within
# 1 s each, a lookup under 1 ms.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-11}
points=$bin/marula-points
lookup=$bin/job_lookup_bench
for p in "$points" "$lookup"; do
  [ -x "$p" ] || { echo "points bench: $p is not built (cmake --build build builds it)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 50,000 points as a CAD writes them (CP932, CRLF, fixed widths), a third
# with heights, names P0 … P49999.
python3 - "$work/big.sim" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write("G00,04,bench,\r\nZ00, /* 座標データ */,\r\nZ01,9,\r\nA00,\r\n".encode("cp932"))
    for i in range(50000):
        x, y = -36000.0 - i * 0.013, -8000.0 + (i % 997) * 0.211
        h = "%11.3f" % (30 + (i % 50) * 0.1) if i % 3 == 0 else ""
        f.write(("A01,%5d,%-20s,%11.3f,%11.3f,%s,\r\n" % (i + 1, "P%d" % i, x, y, h)).encode("cp932"))
    f.write(b"A99,\r\n")
PY

python3 - "$runs" "$work" "$points" <<'PY'
import os, shutil, statistics, subprocess, sys, time
runs, work, points = int(sys.argv[1]), sys.argv[2], sys.argv[3]
big = os.path.join(work, "big.sim")
job = os.path.join(work, "job")
def timed(argv, before=None):
    if before: before()
    with open(os.devnull, "wb") as null:
        start = time.perf_counter_ns()
        code = subprocess.call(argv, stdout=null, stderr=null)
        elapsed = (time.perf_counter_ns() - start) / 1e6
    if code != 0: sys.exit("%s exited with %d" % (" ".join(argv), code))
    return elapsed
fresh = lambda: shutil.rmtree(job, ignore_errors=True)
cat = ["cat", big]
def pair(name, argv, before=None):
    timed(argv, before); timed(cat)
    a, b = [], []
    for _ in range(runs):
        a.append(timed(argv, before)); b.append(timed(cat))
    print("%-28s %8.1f ms   cat %6.2f ms   (medians of %d)" % (name, statistics.median(a), statistics.median(b), runs))
pair("import 50,000 points", [points, "--job", job, "import", big], fresh)
timed([points, "--job", job, "import", big], fresh)
pair("export SIMA 50,000 points", [points, "--job", job, "export", "sima", os.path.join(work, "out.sim")])
pair("export CSV 50,000 points", [points, "--job", job, "export", "csv", os.path.join(work, "out.csv")])
PY

"$lookup" "$work/job" 10000 P | sed 's/^/lookup (in process)          /'
python3 - "$runs" "$lookup" "$work/job" <<'PY'
import statistics, subprocess, sys, time
runs, lookup, job = int(sys.argv[1]), sys.argv[2], sys.argv[3]
def timed(count):
    start = time.perf_counter_ns()
    subprocess.run([lookup, job, str(count), "P"], check=True, stdout=subprocess.DEVNULL)
    return (time.perf_counter_ns() - start) / 1e6
many, one = [], []
for _ in range(runs):
    many.append(timed(10001)); one.append(timed(1))
per = (statistics.median(many) - statistics.median(one)) / 10000 * 1000
print("lookup (whole processes)     %.1f us each (10,001 lookups %.1f ms, 1 lookup %.1f ms)"
      % (per, statistics.median(many), statistics.median(one)))
PY
