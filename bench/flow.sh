#!/usr/bin/env bash
# What a job of 50,000 points costs a program: a lookup at a prompt and the
# store of a traverse's sixteen stations, timed inside one process by
# flow_bench (medians and maxima over ROUNDS), then a whole connecting
# traverse whose known stations and azimuths come from that job against the
# same traverse typed without a job (medians of whole runs). Target: each
# lookup and each store under 5 ms.
#
#   bench/flow.sh [BUILD_BIN] [ROUNDS]      (defaults: build/bin, 200)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
rounds=${2:-200}
for p in "$bin/flow_bench" "$bin/linktrav"; do
  [ -x "$p" ] || { echo "flow bench: $p is not built (cmake --build build builds it)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/flow_bench" "$work/job" "$rounds"

# The traverse of the tests, its given points added to the big job.
python3 - "$work" "$bin" <<'PY'
import os, statistics, subprocess, sys, time
work, bin_ = sys.argv[1], sys.argv[2]
job = os.path.join(work, "job")
with open(os.path.join(work, "given.csv"), "w") as f:
    f.write("点名,X,Y\nB,1100,1000\nK1,1000,1000\nK2,900.010,1099.995\nF,900.010,1199.995\n")
subprocess.check_call([os.path.join(bin_, "marula-points"), "--job", job, "import", os.path.join(work, "given.csv")],
                      stdout=subprocess.DEVNULL)
legs = ["type P1", "type 90", "type 100", "type K2", "type 270", "type 100", "type F", "type 90.0010", "type 0"]
typed = ["type B", "type 0", "type K1", "type 1000", "type 1000"] + legs + ["type 900.010", "type 1099.995", "type 90"]
named = ["type B", "key Enter", "type K1", "key Enter", "key Enter"] + legs + ["key Enter"] * 3
def script(name, lines):
    path = os.path.join(work, name)
    with open(path, "w") as f: f.write("\n".join(lines) + "\n")
    return path
def run(lines_file, with_job):
    env = dict(os.environ, MARULA_HEADLESS="1", MARULA_SCRIPT=lines_file, MARULA_OUT=os.path.join(work, "out"),
               MARULA_DATE="2026/04/01")
    env.pop("MARULA_JOB", None)
    if with_job: env["MARULA_JOB"] = job
    os.makedirs(env["MARULA_OUT"], exist_ok=True)
    start = time.perf_counter()
    subprocess.check_call([os.path.join(bin_, "linktrav")], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.perf_counter() - start) * 1000
a, b = script("named.txt", named), script("typed.txt", typed)
run(a, True); run(b, False)
with_job, without = [], []
for _ in range(11):
    with_job.append(run(a, True)); without.append(run(b, False))
print("%-44s median %7.1f ms" % ("linktrav by name, job of 50,000 points", statistics.median(with_job)))
print("%-44s median %7.1f ms" % ("linktrav typed, no job", statistics.median(without)))
PY
