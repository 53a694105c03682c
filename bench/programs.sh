#!/usr/bin/env bash
# Start-up time, session time, peak memory and idle CPU of every program.
#
#   bench/programs.sh [BUILD_BIN] [RUNS]
#
# For each program in script mode:
#   idle      - exec to its first wait for input (an empty script: the
#               program draws its screen, finds no event, writes its final
#               dump and exits)
#   session   - a typical session: the guide's worked example
#               docs/examples/PROGRAM.script
#   peak      - the larger resident set of one run of each (GNU time)
# with the median exec of /bin/true, run in turn with the program, and the
# median ratio of the pairs (bench/paired_runs.py). With Xvfb present, the
# CPU a program uses while it idles at its first prompt in a real window
# for five seconds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-20}
programs=(marula linktrav looptrav opentrav radtrav isect2d isect1d isect4p perpfoot
          invchain invradial coordarea cornercut)

[ -x /usr/bin/time ] || { echo "GNU time is needed for the memory figure: apt-get install time" >&2; exit 2; }
out=$(mktemp -d)
scripts=$(mktemp -d)
trap 'rm -rf "$out" "$scripts"' EXIT
export MARULA_HEADLESS=1 MARULA_OUT=$out MARULA_DATE=2026/12/08
: > "$scripts/empty.script"

peak_kb() {
  /usr/bin/time -f '%M' -o "$scripts/time.txt" "$@" > /dev/null 2>&1 || true
  tail -n 1 "$scripts/time.txt"
}

printf '%-10s %11s %9s %6s %12s %6s %9s\n' program "idle(us)" "true(us)" "ratio" "session(us)" "ratio" "peak(KB)"
for p in "${programs[@]}"; do
  [ -x "$bin/$p" ] || { printf '%-10s (not built)\n' "$p"; continue; }
  session=$here/../docs/examples/$p.script
  [ -f "$session" ] || session=$scripts/empty.script
  read -r idle base idle_ratio < <(MARULA_SCRIPT=$scripts/empty.script python3 "$here/paired_runs.py" "$runs" "$out" "$bin/$p")
  read -r whole _ whole_ratio < <(MARULA_SCRIPT=$session python3 "$here/paired_runs.py" "$runs" "$out" "$bin/$p")
  kb1=$(MARULA_SCRIPT=$scripts/empty.script peak_kb "$bin/$p")
  kb2=$(MARULA_SCRIPT=$session peak_kb "$bin/$p")
  printf '%-10s %11d %9d %6.2f %12d %6.2f %9d\n' "$p" "$idle" "$base" "$idle_ratio" "$whole" "$whole_ratio" \
    $(( kb1 > kb2 ? kb1 : kb2 ))
done

# Idle CPU in a real window: ticks used over five seconds at the first prompt.
if command -v Xvfb > /dev/null; then
  unset MARULA_HEADLESS
  Xvfb :97 -screen 0 1400x1000x24 > /dev/null 2>&1 &
  xvfb=$!
  sleep 1
  hz=$(getconf CLK_TCK)
  printf '\n%-10s %14s\n' program "idle CPU (%)"
  for p in "${programs[@]}"; do
    [ -x "$bin/$p" ] || continue
    DISPLAY=:97 SDL_AUDIODRIVER=dummy "$bin/$p" > /dev/null 2>&1 &
    pid=$!
    sleep 3  # past the opening animation
    t0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    sleep 5
    t1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
    printf '%-10s %14.2f\n' "$p" "$(echo "($t1 - $t0) * 100 / $hz / 5" | bc -l)"
  done
  kill "$xvfb" 2> /dev/null || true
fi
