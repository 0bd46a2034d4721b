#!/usr/bin/env bash
# Starts the editor on a virtual X display and saves a screenshot of it.
# Usage: scripts/screenshot.sh [build-dir] [output.png]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
out="${2:-$here/docs/screenshot.png}"

for tool in Xvfb import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (packages xvfb and imagemagick)" >&2; exit 1; }
done

display=":$(( 90 + RANDOM % 100 ))"
settings="$(mktemp -d)"
Xvfb "$display" -screen 0 1024x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$settings"
}
trap cleanup EXIT
sleep 1

DISPLAY="$display" XDG_CONFIG_HOME="$settings" QT_QPA_PLATFORM=xcb "$build/bin/hullwright" >/dev/null 2>&1 &
app=$!
sleep "${SCREENSHOT_DELAY:-3}"
mkdir -p "$(dirname "$out")"
DISPLAY="$display" import -window root "$out"
echo "screenshot: $out"
