#!/usr/bin/env bash
# Start-up time, session time, peak memory and idle CPU of every program.
#
#   bench/programs.sh [BUILD_BIN] [RUNS]
#
# For each program in script mode:
#   first idle  - exec to its first wait for input (an empty script: the
#                 program draws its screen, finds no event and exits)
#   session     - a typical session: the guide's worked example
#                 docs/examples/PROGRAM.script
#   peak RSS    - the largest resident set of either run (GNU time)
# each time also as a ratio to an exec of /bin/true measured in the same
# loop. With Xvfb present, the CPU a program uses while it idles at its
# first prompt in a real window for five seconds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
runs=${2:-20}
programs=(marula linktrav looptrav opentrav radtrav isect2d isect1d isect4p perpfoot
          invchain invradial coordarea cornercut)

[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install time" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export MARULA_HEADLESS=1 MARULA_OUT=$out MARULA_DATE=2026/12/08
: > "$out/empty.script"

# Median wall time in microseconds of RUNS executions of a command.
median_us() {
  local times=() t0 t1
  for ((i = 0; i < runs; i++)); do
    rm -f "$out"/*.txt "$out"/*.color "$out"/*.png "$out"/*.pdf "$out"/events.log
    t0=$(date +%s%N)
    "$@" > /dev/null 2>&1 || true
    t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

peak_kb() {
  /usr/bin/time -f '%M' -o "$out/time.txt" "$@" > /dev/null 2>&1 || true
  tail -n 1 "$out/time.txt"
}

printf '%-10s %12s %8s %12s %8s %10s\n' program "idle(us)" "x true" "session(us)" "x true" "peak(KB)"
for p in "${programs[@]}"; do
  [ -x "$bin/$p" ] || { printf '%-10s (not built)\n' "$p"; continue; }
  session=$here/../docs/examples/$p.script
  [ -f "$session" ] || session=$out/empty.script
  base=$(median_us /bin/true)
  idle=$(MARULA_SCRIPT=$out/empty.script median_us "$bin/$p")
  whole=$(MARULA_SCRIPT=$session median_us "$bin/$p")
  kb1=$(MARULA_SCRIPT=$out/empty.script peak_kb "$bin/$p")
  kb2=$(MARULA_SCRIPT=$session peak_kb "$bin/$p")
  printf '%-10s %12d %8.1f %12d %8.1f %10d\n' "$p" "$idle" "$(echo "$idle / $base" | bc -l)" \
    "$whole" "$(echo "$whole / $base" | bc -l)" $(( kb1 > kb2 ? kb1 : kb2 ))
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
