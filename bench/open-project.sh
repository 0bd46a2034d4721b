#!/usr/bin/env bash
# Opens a project of 2,500 real sprites (the first PNGs under 2 MB of Debian's
# hedgewars-data and pingus-data, sorted by path): hullwright-cli dump and
# publish, and the editor until its body list shows the bodies, each with its
# time and peak memory (median of the runs).
# Usage: bench/open-project.sh [build-dir] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-3}"
source "$here/scripts/deps.sh"
hwt_ensure_packages hedgewars-data pingus-data time

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
mapfile -t sprites < <(find /usr/share/games/hedgewars /usr/share/games/pingus -name '*.png' -size -2000000c \
  | LC_ALL=C sort | head -n 2500)
project="$work/sprites.hws"
QT_QPA_PLATFORM=offscreen "$build/bin/hullwright-cli" create "$project" --exporter box2d-json "${sprites[@]}" >/dev/null
echo "${#sprites[@]} bodies"

# Prints "<seconds> <peak KB>" of one run of the command.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>/dev/null || true
  cat "$work/time"
}

median() {  # label, then the runs' "<value> <peak KB>" lines on standard input
  sort -g | awk -v label="$1" '{t[NR]=$1; m[NR]=$2} END {i=int((NR+1)/2); printf "%s: median %s, peak %.0f MB (%d runs)\n", label, t[i], m[i]/1024, NR}'
}

export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_RUNTIME_DIR="$work/runtime" QT_LOGGING_RULES='*.debug=false'
for ((i = 0; i < runs; i++)); do measure "$build/bin/hullwright-cli" dump "$project"; done | median "dump (s)"
for ((i = 0; i < runs; i++)); do
  measure "$build/bin/hullwright-cli" publish "$project" --output "$work/published.json"
done | median "publish (s)"
for ((i = 0; i < runs; i++)); do
  HULLWRIGHT_STARTUP_PROBE="$(date +%s%N)" HULLWRIGHT_STARTUP_PROBE_LIST=1 \
    /usr/bin/time -f '%M' -o "$work/time" "$build/bin/hullwright" "$project" >"$work/out" 2>/dev/null || true
  echo "$(sed -n 's/^startup-ms //p' "$work/out") $(cat "$work/time")"
done | median "editor, launch to the body list showing the project (ms)"
