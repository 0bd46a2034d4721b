#!/usr/bin/env bash
# Takes the README's pictures on a virtual X display: the main window with a
# project made from the sample sprites, the editor zoomed in on a traced concave
# sprite, and the tracer dialog.
# Usage: scripts/screenshot.sh [build-dir] [output-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
out="${2:-$here/docs}"

for tool in Xvfb; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (package xvfb)" >&2; exit 1; }
done

work="$(mktemp -d)"
display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
sleep 1

mkdir -m 700 "$work/runtime"
mapfile -t sprites < <(find "$here/resources/samples" -name '*.png' | sort)
"$build/bin/hullwright-cli" create "$work/samples.hws" --exporter box2d-json --trace "${sprites[@]}" >/dev/null
mkdir -p "$out"
DISPLAY="$display" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  "$build/bin/hwt-shots" "$work/samples.hws" "$out"
