#!/usr/bin/env bash
# Start-up to the first prompt of the launcher, linktrav and points, with
# no job and with jobs of 0, 1,000, 50,000 and 200,000 points (the largest
# also holding 100,000 journal events), as whole processes.
#
#   bench/startup.sh [BUILD_BIN] [RUNS]      (defaults: build/bin, 11)
#
# In script mode with an empty script a program draws its first screen,
# finds no event at its first wait, writes its final dump and exits: the
# process's wall time is its time to the first prompt. Each job is run in
# turn with its baseline (A B A B …: the empty job, or no job for the empty
# job itself), so the ratio of each pair holds while the machine's speed
# drifts; the median ratio of the pairs is printed with both medians, then
# each program's peak resident memory with the largest job (GNU time).
# Goals: the 200,000-point job at most 1.1× the empty job; the empty job at
# most 1.3× no job.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-11}
for p in marula linktrav points marula-points; do
  [ -x "$bin/$p" ] || { echo "startup: $bin/$p is not built (cmake --build build builds it)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "startup: GNU time is needed for the memory figure: apt-get install time" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_jobs.py" "$bin/marula-points" "$work/0" 0
python3 "$here/make_jobs.py" "$bin/marula-points" "$work/1k" 1000
python3 "$here/make_jobs.py" "$bin/marula-points" "$work/50k" 50000
python3 "$here/make_jobs.py" "$bin/marula-points" "$work/200k" 200000 100000
: > "$work/empty.script"

python3 - "$runs" "$work" "$bin" <<'PY'
import os, shutil, statistics, sys, time
runs, work, bin_dir = int(sys.argv[1]), sys.argv[2], sys.argv[3]
out = os.path.join(work, "out")

def env_for(job):
    env = dict(os.environ, MARULA_HEADLESS="1", MARULA_SCRIPT=os.path.join(work, "empty.script"),
               MARULA_OUT=out, MARULA_DATE="2026/12/08", HOME=os.path.join(work, "home"),
               XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"))
    env.pop("MARULA_JOB", None)
    if job:
        env["MARULA_JOB"] = os.path.join(work, job, "job")
    return env

def once(program, job):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    argv = [os.path.join(bin_dir, program)]
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, env_for(job))
    _, status = os.waitpid(pid, 0)
    elapsed = (time.perf_counter_ns() - start) / 1e6
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s in %s exited with %d" % (program, job, os.waitstatus_to_exitcode(status)))
    return elapsed

print("%-9s %-40s %10s %10s %8s" % ("program", "job against baseline", "ms", "base ms", "ratio"))
for program in ("marula", "linktrav", "points"):
    for job, base in (("0", None), ("1k", "0"), ("50k", "0"), ("200k", "0")):
        once(program, job); once(program, base)  # warm the caches
        a, b, ratios = [], [], []
        for _ in range(runs):
            ta = once(program, job)
            tb = once(program, base)
            a.append(ta); b.append(tb); ratios.append(ta / tb)
        label = {"0": "empty job", "1k": "1,000 points", "50k": "50,000 points",
                 "200k": "200,000 points + 100k events"}[job]
        against = "no job" if base is None else "empty job"
        print("%-9s %-40s %10.1f %10.1f %8.2f" % (program, label + " / " + against, statistics.median(a),
                                                  statistics.median(b), statistics.median(ratios)))
PY

for program in marula linktrav points; do
  rm -rf "$work/out" && mkdir -p "$work/out"
  MARULA_HEADLESS=1 MARULA_SCRIPT="$work/empty.script" MARULA_OUT="$work/out" MARULA_DATE=2026/12/08 \
    HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" MARULA_JOB="$work/200k/job" \
    /usr/bin/time -f '%M' -o "$work/rss.txt" "$bin/$program" > /dev/null 2>&1 || true
  printf '%-9s peak RSS with the 200,000-point job: %s KB\n' "$program" "$(tail -n 1 "$work/rss.txt")"
done
