#!/usr/bin/env bash
# The headless demo: what Hullwright does when there is no display to show it on.
# Usage: scripts/demo.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
settings="$(mktemp -d)"
trap 'rm -rf "$settings"' EXIT

mkdir -m 700 "$settings/runtime"
echo "Starting the editor off screen with fresh settings..."
shown="$(XDG_CONFIG_HOME="$settings" XDG_RUNTIME_DIR="$settings/runtime" QT_QPA_PLATFORM=offscreen \
  HULLWRIGHT_STARTUP_PROBE="$(date +%s%N)" "$build/bin/hullwright" 2>/dev/null)"
echo "Its first window was shown after ${shown#startup-ms } ms."
echo "It created its installation identifier in $(find "$settings" -name '*.conf' -printf '%P')."
echo "Publishing a sample document to a physics data file is what this demo will show once"
echo "documents and exporters are part of Hullwright; for now it only starts the editor."
