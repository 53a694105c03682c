#!/usr/bin/env bash
# Regenerates the screen pictures of the user guide from the worked examples.
#
#   docs/make-screens.sh [BUILD_BIN]
#
# Each docs/examples/PROGRAM.script (and PROGRAM-plot.script) is run in
# script mode against BUILD_BIN (default build/bin); the screen the program
# leaves at its key bar is copied to docs/images/NAME.png, and its text to
# docs/images/NAME.txt so the pages can quote the figures exactly. A run that
# does not end waiting at its key bar is reported and makes the script fail.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/bin}
bin=$(cd "$bin" && pwd)
mkdir -p "$here/images"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

status=0
for script in "$here"/examples/*.script; do
  name=$(basename "$script" .script)
  program=${name%%-*}  # linktrav-plot runs linktrav
  if [ ! -x "$bin/$program" ]; then
    echo "$name: $bin/$program is not built, skipped" >&2
    continue
  fi
  rm -rf "${out:?}"/*
  # The point list works on a job: a fresh one for each run, with a home
  # and data folder of its own.
  # An example with points of its own (PROGRAM-NAME.csv beside it) runs in a
  # fresh job that holds them.
  # An example with settings of its own (PROGRAM-NAME.settings, the options
  # of marula-points settings) runs in a fresh job that has them.
  job_env=()
  seed="$here/examples/$name.csv"
  settings="$here/examples/$name.settings"
  if [ "$program" = points ] || [ -f "$seed" ] || [ -f "$settings" ]; then
    job_env=(MARULA_JOB="$out/神南一丁目" HOME="$out" XDG_DATA_HOME="$out/data" XDG_CONFIG_HOME="$out/config")
  fi
  if [ -f "$seed" ] || [ -f "$settings" ]; then
    "$bin/marula-points" --job "$out/神南一丁目" init --name 神南一丁目 --zone 9 > /dev/null
  fi
  if [ -f "$seed" ]; then
    "$bin/marula-points" --job "$out/神南一丁目" import "$seed" > /dev/null
  fi
  if [ -f "$settings" ]; then
    # shellcheck disable=SC2046  # the options are words on one line
    "$bin/marula-points" --job "$out/神南一丁目" settings $(head -n 1 "$settings")
  fi
  if ! env "${job_env[@]}" MARULA_HEADLESS=1 MARULA_SCRIPT="$script" MARULA_OUT="$out" MARULA_DATE=2026/12/08 \
       timeout 60 "$bin/$program" > /dev/null 2> "$out/stderr.txt"; then
    echo "$name: the program did not exit cleanly" >&2
    cat "$out/stderr.txt" >&2
    status=1
    continue
  fi
  if ! grep -qx idle "$out/events.log" 2> /dev/null || [ ! -f "$out/final.png" ]; then
    echo "$name: the run did not end waiting for input" >&2
    status=1
    continue
  fi
  cp "$out/final.png" "$here/images/$name.png"
  cp "$out/final.txt" "$here/images/$name.txt"
  echo "$name: docs/images/$name.png"
done
exit $status
