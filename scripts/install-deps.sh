#!/usr/bin/env bash
# Installs the Debian packages Marula needs to build, test and run, when
# they are missing. Checks with dpkg-query first; runs apt-get update once
# and apt-get install only for what is missing; uses sudo only when not root.
#
#   scripts/install-deps.sh
set -euo pipefail

required=(cmake g++ make pkg-config libsdl2-dev libfreetype-dev libcairo2-dev zlib1g-dev libsqlite3-dev libgtest-dev libgeographiclib-dev
          fonts-unifont fonts-ipafont-gothic poppler-utils cups-client python3
          desktop-file-utils time bc)
# Only the window tests use these; a build without them still passes its tests.
optional=(xvfb xdotool imagemagick)

if ! command -v dpkg-query > /dev/null; then
  echo "install-deps: no dpkg-query here; install these packages by hand: ${required[*]}" >&2
  exit 0
fi

missing_from() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q 'ok installed' || echo "$p"
  done
}

mapfile -t missing < <(missing_from "${required[@]}")
mapfile -t missing_optional < <(missing_from "${optional[@]}")
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo > /dev/null; then
    echo "install-deps: missing packages: ${missing[*]} ${missing_optional[*]}" >&2
    echo "install-deps: run as root or install sudo, then try again." >&2
    [ ${#missing[@]} -eq 0 ] && exit 0 || exit 1
  fi
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]} ${missing_optional[*]}"
"${as_root[@]}" apt-get update
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get install -y "${missing[@]}"
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get install -y "${missing_optional[@]}" ||
    echo "install-deps: could not install ${missing_optional[*]} (only the window tests need them)" >&2
fi
