#!/usr/bin/env bash
# Measures the time from launching the editor to its first window being shown,
# over several runs, on a virtual X display (and off screen), and prints the median.
# Usage: bench/startup.sh [build-dir] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-15}"
binary="$build/bin/hullwright"
[ -x "$binary" ] || { echo "no editor at $binary; run ./run.sh or build Release first" >&2; exit 1; }

settings="$(mktemp -d)"
xvfb=""
cleanup() { [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$settings"; }
trap cleanup EXIT

measure() {  # platform, then env assignments
  local platform="$1"; shift
  local samples=()
  for ((i = 0; i < runs; i++)); do
    local t0 out
    t0="$(date +%s%N)"
    out="$(env "$@" XDG_CONFIG_HOME="$settings" XDG_DATA_HOME="$settings/data" XDG_RUNTIME_DIR="$settings/runtime" \
      QT_QPA_PLATFORM="$platform" QT_LOGGING_RULES='*.debug=false' \
      HULLWRIGHT_STARTUP_PROBE="$t0" "$binary" 2>/dev/null)"
    samples+=("${out#startup-ms }")
  done
  local median
  median="$(printf '%s\n' "${samples[@]}" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}')"
  echo "$platform: median ${median} ms to first window over $runs runs (all: ${samples[*]})"
}

# The first start creates the settings and the desktop registration; measure
# the usual, later starts. Nothing is written outside the temporary directory.
mkdir -m 700 "$settings/runtime"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$settings" XDG_DATA_HOME="$settings/data" XDG_RUNTIME_DIR="$settings/runtime" \
  HULLWRIGHT_STARTUP_PROBE=1 "$binary" >/dev/null 2>&1 || true

measure offscreen
if command -v Xvfb >/dev/null; then
  display=":$(( 150 + RANDOM % 100 ))"
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  measure xcb DISPLAY="$display"
fi
