#!/usr/bin/env bash
# Start-up of the launcher: the time from exec to its first idle wait, and
# its peak memory.
#
#   bench/startup.sh [BUILD_BIN] [RUNS]      (defaults: build/bin, 21)
#
# In script mode with an empty script the launcher plays its opening on the
# virtual clock, draws the main menu, finds no event at its first wait,
# writes its final screen dump and exits: the process's wall time is its
# time to the first idle wait (the dump included). It is measured RUNS
# times in turn with an exec of /bin/true, whose median is the cost of
# starting any process here (bench/paired_runs.py); the medians and the
# median ratio of the pairs are printed, with the launcher's peak resident
# memory in one more run (GNU time).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-21}
launcher=$bin/marula
[ -x "$launcher" ] || { echo "startup: $launcher is not built (make test builds it)" >&2; exit 2; }

out=$(mktemp -d)
scripts=$(mktemp -d)
trap 'rm -rf "$out" "$scripts"' EXIT
: > "$scripts/empty.script"
export MARULA_HEADLESS=1 MARULA_SCRIPT=$scripts/empty.script MARULA_OUT=$out MARULA_DATE=2026/12/08

read -r l t ratio < <(python3 "$here/paired_runs.py" "$runs" "$out" "$launcher")
[ -n "${l:-}" ] || { echo "startup: the launcher did not run to its idle wait" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "startup: GNU time is needed for the memory figure: apt-get install time" >&2; exit 2; }
/usr/bin/time -f '%M' -o "$scripts/time.txt" "$launcher" > /dev/null 2>&1 || true
kb=$(tail -n 1 "$scripts/time.txt")
grep -qx idle "$out/events.log" || { echo "startup: the launcher did not reach its idle wait" >&2; exit 1; }

printf 'runs                        %d\n' "$runs"
printf 'marula to first idle (us)   %d (median)\n' "$l"
printf '/bin/true (us)              %d (median)\n' "$t"
printf 'ratio                       %s (median of the pairs)\n' "$ratio"
printf 'peak RSS (KB)               %s\n' "$kb"
