#!/usr/bin/env bash
# Builds the Debian package from a configured build folder, installs it with
# apt, and checks the installed suite from a folder outside the build tree:
# the launcher starts, its menu leads into a program, and the desktop entry
# is valid.
#
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

(cd "$build" && cpack -G DEB > /dev/null)
deb=$(ls -t "$build"/marula_*.deb | head -n 1)
echo "package-check: built $deb"
dpkg-deb --info "$deb" | grep -E 'Depends|Recommends'
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall "$(realpath "$deb")" > /dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'snap menu\nkey F1\nkey F1\nsnap program\n' > s.script
# A glyph cache of its own, empty: the installed font module renders them.
MARULA_HEADLESS=1 MARULA_SCRIPT=s.script MARULA_OUT="$work" XDG_CACHE_HOME="$work/cache" marula
fail=0
grep -qx 'start marula' events.log || { echo "package-check: the launcher did not start"; fail=1; }
grep -qx 'run linktrav' events.log || { echo "package-check: the menu did not start linktrav"; fail=1; }
grep -qx 'start linktrav' events.log || { echo "package-check: linktrav did not start"; fail=1; }
grep -q 'error bitmap' events.log && { echo "package-check: the launcher's pictures were not found"; fail=1; }
grep -q '結合ﾄﾗﾊﾞ-ｽ' program.txt || { echo "package-check: linktrav's title is missing"; fail=1; }
[ -s "$work/cache/marula/glyphs.bin" ] || { echo "package-check: the rendered glyphs were not kept"; fail=1; }
# A connecting traverse entered whole and printed: the installed PDF module.
printf 'type %s\n' B 0 K1 1000 1000 P1 90 100 K2 270 100 F 90.0010 0 900.010 1099.995 90 > p.script
echo 'key F4' >> p.script
MARULA_HEADLESS=1 MARULA_SCRIPT=p.script MARULA_OUT="$work" /usr/libexec/marula/linktrav
grep -qx 'print print-1.pdf' events.log && [ -s print-1.pdf ] || { echo "package-check: linktrav did not print"; fail=1; }
# The stake-out, installed with the others: a station, a backsight, one point, printed.
printf 'type %s\n' S 0 0 B 10 0 P 5 5 '*' > k.script
echo 'key F4' >> k.script
MARULA_HEADLESS=1 MARULA_SCRIPT=k.script MARULA_OUT="$work" /usr/libexec/marula/stakeout
grep -qx 'print print-2.pdf' events.log && [ -s print-2.pdf ] || { echo "package-check: stakeout did not print"; fail=1; }
# The command for jobs, on the PATH beside marula: a job made, a point file
# read into it and listed back.
printf 'A01,1,T1,-36012.345,-8123.456,35.12\r\n' > p.sim
marula-points --job "$work/job" init --name 検査 --zone 9 &&
  marula-points --job "$work/job" import p.sim > /dev/null &&
  [ "$(marula-points --job "$work/job" list)" = "$(printf 'T1\t-36012.345\t-8123.456\t35.120')" ] ||
  { echo "package-check: marula-points did not keep a point"; fail=1; }
desktop-file-validate /usr/share/applications/marula.desktop || fail=1
if [ "$fail" -ne 0 ]; then
  cat events.log
  exit 1
fi
echo "package-check: installed marula runs from $work and starts its programs"
