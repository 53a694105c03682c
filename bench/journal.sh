#!/usr/bin/env bash
# The cost of the journal: a 200-event run of the connecting traverse in
# script mode, without a job and in a job (each event then one committed
# row), timed as whole processes in turn; the difference over 200 events is
# the journal's cost per event. Target: under 1 ms per event on average.
#
#   bench/journal.sh [BUILD_BIN] [RUNS]      (defaults: build/bin, 11)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-11}
[ -x "$bin/linktrav" ] || { echo "journal bench: $bin/linktrav is not built" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Backsight, azimuth and station 0 (5 events), 15 legs of 3 events, the
# closing entries (6), then redisplays (F5) up to 200 events.
python3 - "$work/run.txt" <<'PY'
import sys
lines = ["type B", "type 0", "type K0", "type 1000", "type 1000"]
for k in range(1, 16):
    lines += ["type P%d" % k, "type 180", "type 50"]
lines += ["type F", "type 180", "type 0", "type 1000", "type 1750", "type 0"]
while len(lines) < 200:
    lines.append("key F5")
open(sys.argv[1], "w").write("\n".join(lines) + "\n")
PY

python3 - "$runs" "$work" "$bin/linktrav" <<'PY'
import os, shutil, statistics, subprocess, sys, time
runs, work, program = int(sys.argv[1]), sys.argv[2], sys.argv[3]
events = sum(1 for l in open(os.path.join(work, "run.txt")) if l.strip())
def once(job):
    env = dict(os.environ, MARULA_HEADLESS="1", MARULA_SCRIPT=os.path.join(work, "run.txt"),
               MARULA_OUT=os.path.join(work, "out"), MARULA_DATE="2024/01/01")
    env.pop("MARULA_JOB", None)
    if job:
        shutil.rmtree(os.path.join(work, "job"), ignore_errors=True)
        env["MARULA_JOB"] = os.path.join(work, "job")
        # The job exists beforehand, as it does when a program starts in it.
        subprocess.run([os.path.join(os.path.dirname(program), "marula-points"), "--job", env["MARULA_JOB"], "init"],
                       check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(env["MARULA_OUT"], ignore_errors=True)
    start = time.perf_counter()
    subprocess.run([program], env=env, check=True)
    return time.perf_counter() - start
once(False); once(True)  # warm-up
plain, journaled = [], []
for _ in range(runs):
    plain.append(once(False))
    journaled.append(once(True))
p, j = statistics.median(plain), statistics.median(journaled)
print("events per run: %d, runs: %d each, in turn" % (events, runs))
print("without a job: median %.1f ms (min %.1f, max %.1f)" % (p * 1e3, min(plain) * 1e3, max(plain) * 1e3))
print("in a job:      median %.1f ms (min %.1f, max %.1f)" % (j * 1e3, min(journaled) * 1e3, max(journaled) * 1e3))
print("journal cost per event: %.3f ms (target under 1 ms)" % ((j - p) * 1e3 / events))
PY
