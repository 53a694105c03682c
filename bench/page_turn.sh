#!/usr/bin/env bash
# The point list's page turn at 200,000 points: inside one process (the job
# library's read of the 19 points after a key, 2,000 turns forward and
# back, job_page_bench), and the program itself paging 500 times in script
# mode, with its peak resident memory (GNU time).
#
#   bench/page_turn.sh [BUILD_BIN]      (default: build/bin)
#
# Goals: a turn at most 0.5 ms in process; at most 12 MB after paging.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
for p in points marula-points job_page_bench; do
  [ -x "$bin/$p" ] || { echo "page turn bench: $bin/$p is not built (cmake --build build builds it)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "page turn bench: GNU time is needed: apt-get install time" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_jobs.py" "$bin/marula-points" "$work/200k" 200000
"$bin/job_page_bench" "$work/200k/job" 2000

python3 -c 'print("\n".join(["key F6"] * 500 + ["key F5"] * 100))' > "$work/pages.script"
mkdir -p "$work/out"
MARULA_HEADLESS=1 MARULA_SCRIPT="$work/pages.script" MARULA_OUT="$work/out" MARULA_DATE=2026/12/08 \
  HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" MARULA_JOB="$work/200k/job" \
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$bin/points" > /dev/null 2>&1 || true
read -r seconds kb < <(tail -n 1 "$work/time.txt")
grep -q "^idle" "$work/out/events.log" || { echo "page turn bench: points did not reach its idle wait" >&2; exit 1; }
echo "points paging 600 times in script mode: ${seconds} s in all, peak RSS ${kb} KB"
