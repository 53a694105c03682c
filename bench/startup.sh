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
# starting any process here; the medians and their ratio are printed.
# Peak memory is GNU time's maximum resident set size of one such run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-21}
launcher=$bin/marula
[ -x "$launcher" ] || { echo "startup: $launcher is not built (make test builds it)" >&2; exit 2; }

if [ ! -x /usr/bin/time ]; then
  echo "startup: installing GNU time for the memory figure"
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y time || { apt-get update && apt-get install -y time; }
  else sudo apt-get install -y time || { sudo apt-get update && sudo apt-get install -y time; }; fi
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
: > "$out/empty.script"
export MARULA_HEADLESS=1 MARULA_SCRIPT=$out/empty.script MARULA_OUT=$out MARULA_DATE=2026/12/08

# Wall time of one run of a command, in microseconds.
once_us() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" > /dev/null 2>&1 || true
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

once_us "$launcher" > /dev/null  # warm the caches
launcher_times=() true_times=()
for ((i = 0; i < runs; i++)); do
  # The last run's dumps go first, as every test writes into a fresh folder
  # (rewriting a file in place can make the file system flush it first).
  rm -f "$out"/final.* "$out"/events.log
  launcher_times+=("$(once_us "$launcher")")
  true_times+=("$(once_us /bin/true)")
done
grep -qx idle "$out/events.log" || { echo "startup: the launcher did not reach its idle wait" >&2; exit 1; }

l=$(printf '%s\n' "${launcher_times[@]}" | median)
t=$(printf '%s\n' "${true_times[@]}" | median)
/usr/bin/time -v "$launcher" > /dev/null 2> "$out/time.txt" || true
kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$out/time.txt")

printf 'runs                        %d\n' "$runs"
printf 'marula to first idle (us)   %d (median)\n' "$l"
printf '/bin/true (us)              %d (median)\n' "$t"
printf 'ratio                       %.1f\n' "$(awk -v a="$l" -v b="$t" 'BEGIN {print (b > 0 ? a / b : 0)}')"
printf 'peak RSS (KB)               %s\n' "$kb"
