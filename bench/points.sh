#!/usr/bin/env bash
# Import of 200,000 points, SIMA and CSV, each against sqlite3's .import of
# the same file into a plain table; the peak memory of each, and job.db's
# bytes a point (history included); then a name lookup among them.
#
#   bench/points.sh [BUILD_BIN] [RUNS]      (defaults: build/bin, 7)
#
# Each import goes into a fresh job (marula-points --job DIR import FILE),
# each .import into a fresh database file holding one plain table with as
# many columns as the file's lines have fields (seven for SIMA, four for
# the CSV), so sqlite3 never fills or complains about a row; the two run in turn, A B A B …, and the median of the pairs'
# ratios is printed with both medians, as whole processes. Peak memory is
# the largest resident set of the runs (from wait4). Goals: an import at
# most 5× .import, at most 30 MB, at most 100 bytes a point.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-7}
points=$bin/marula-points
lookup=$bin/job_lookup_bench
for p in "$points" "$lookup"; do
  [ -x "$p" ] || { echo "points bench: $p is not built (cmake --build build builds it)" >&2; exit 2; }
done
command -v sqlite3 > /dev/null || { echo "points bench: the sqlite3 shell is needed: apt-get install sqlite3" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The same 200,000 points as SIMA (as a CAD writes it: CP932, CRLF, fixed
# widths) and as CSV (UTF-8, a header), a third with heights.
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
rows = []
for i in range(200000):
    x, y = -36000.0 - i * 0.013, -8000.0 + (i % 997) * 0.211
    h = "%.3f" % (30 + (i % 50) * 0.1) if i % 3 == 0 else ""
    rows.append(("P%d" % i, x, y, h))
with open(os.path.join(work, "big.sim"), "wb") as f:
    f.write("G00,04,bench,\r\nZ00, /* 座標データ */,\r\nZ01,9,\r\nA00,\r\n".encode("cp932"))
    for i, (name, x, y, h) in enumerate(rows):
        f.write(("A01,%5d,%-20s,%11.3f,%11.3f,%11s,\r\n" % (i + 1, name, x, y, h)).encode("cp932"))
    f.write(b"A99,\r\n")
with open(os.path.join(work, "big.csv"), "wb") as f:
    f.write("点名,X,Y,H\r\n".encode("utf-8"))
    for name, x, y, h in rows:
        f.write(("%s,%.3f,%.3f,%s\r\n" % (name, x, y, h)).encode("utf-8"))
PY

python3 - "$runs" "$work" "$points" <<'PY'
import os, shutil, statistics, sys, time
runs, work, points = int(sys.argv[1]), sys.argv[2], sys.argv[3]
job, plain = os.path.join(work, "job"), os.path.join(work, "plain.db")
sqlite3 = shutil.which("sqlite3")

def once(argv, before):
    before()
    with open(os.devnull, "wb") as null:
        actions = [(os.POSIX_SPAWN_DUP2, null.fileno(), 1), (os.POSIX_SPAWN_DUP2, null.fileno(), 2)]
        start = time.perf_counter_ns()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        elapsed = (time.perf_counter_ns() - start) / 1e6
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s exited with %d" % (" ".join(argv), os.waitstatus_to_exitcode(status)))
    return elapsed, usage.ru_maxrss

def fresh_job():
    shutil.rmtree(job, ignore_errors=True)

def fresh_plain():
    if os.path.exists(plain):
        os.remove(plain)

def job_bytes():
    return sum(os.path.getsize(os.path.join(job, n)) for n in os.listdir(job) if n.startswith("job.db"))

# A01,number,name,X,Y,H, has seven fields; name,X,Y,H four.
for kind, columns in (("sim", "a, b, c, d, e, f, g"), ("csv", "a, b, c, d")):
    data = os.path.join(work, "big." + kind)
    ours = [points, "--job", job, "import", data]
    anchor = [sqlite3, plain, "CREATE TABLE t (%s)" % columns, ".import --csv %s t" % data]
    once(ours, fresh_job); once(anchor, fresh_plain)  # warm the caches
    a, b, ratios, rss_a, rss_b = [], [], [], [], []
    for _ in range(runs):
        ta, ra = once(ours, fresh_job)
        tb, rb = once(anchor, fresh_plain)
        a.append(ta); b.append(tb); ratios.append(ta / tb); rss_a.append(ra); rss_b.append(rb)
    print("import 200,000 points (%s): %.0f ms, sqlite3 .import %.0f ms, ratio %.2f (median of %d pairs)"
          % (kind.upper() if kind == "csv" else "SIMA", statistics.median(a), statistics.median(b),
             statistics.median(ratios), runs))
    print("  peak RSS: import %d KB, sqlite3 .import %d KB" % (max(rss_a), max(rss_b)))
    print("  job.db: %.1f bytes a point (history included); the %s file %.1f bytes a point"
          % (job_bytes() / 200000.0, kind.upper() if kind == "csv" else "SIMA", os.path.getsize(data) / 200000.0))
PY

"$lookup" "$work/job" 10000 P | sed 's/^/lookup (in process)          /'
