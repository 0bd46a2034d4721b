#!/usr/bin/env bash
# The headless demo: what Hullwright does when there is no display to show it on.
# It starts the editor off screen, then builds a project from the sample sprites
# with the command-line tool and publishes it through every shipped exporter.
# Usage: scripts/demo.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
cli="$build/bin/hullwright-cli"
out="$build/demo"
settings="$(mktemp -d)"
trap 'rm -rf "$settings"' EXIT
mkdir -m 700 "$settings/runtime"
mkdir -p "$out"

echo "Starting the editor off screen with fresh settings..."
shown="$(XDG_CONFIG_HOME="$settings" XDG_RUNTIME_DIR="$settings/runtime" QT_QPA_PLATFORM=offscreen \
  HULLWRIGHT_STARTUP_PROBE="$(date +%s%N)" "$build/bin/hullwright" 2>/dev/null)"
echo "  its first window was shown after ${shown#startup-ms } ms."

mapfile -t sprites < <(find "$here/resources/samples" -name '*.png' | sort)
mapfile -t exporters < <("$cli" exporters | grep -o '"name": "[^"]*"' | sed 's/"name": "\(.*\)"/\1/')
if [ "${#exporters[@]}" -eq 0 ]; then
  echo "No exporters were found beside $cli." >&2
  exit 1
fi

trace=()
if "$cli" create "$out/probe.hws" --exporter "${exporters[0]}" --trace "${sprites[0]}" >/dev/null 2>&1; then
  trace=(--trace)
fi
rm -f "$out/probe.hws"
echo "Creating $out/demo.hws from ${#sprites[@]} sample sprites${trace:+, tracing their outlines}..."
"$cli" create "$out/demo.hws" --exporter "${exporters[0]}" "${trace[@]}" "${sprites[@]}"
[ ${#trace[@]} -gt 0 ] || echo "  (outline tracing is not part of this version yet: the bodies have no shapes)"

for exporter in "${exporters[@]}"; do
  extension="$("$cli" exporters | tr -d '\n' | grep -o "\"fileExtension\": \"[^\"]*\"[^}]*\"name\": \"$exporter\"" \
    | sed 's/"fileExtension": "\([^"]*\)".*/\1/' || true)"
  file="$out/demo-$exporter.${extension:-txt}"
  "$cli" publish "$out/demo.hws" --exporter "$exporter" --output "$file"
  echo "Published through $exporter: $file"
done
