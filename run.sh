#!/usr/bin/env bash
# Builds Hullwright (Release, into build/) and starts the editor. Without a
# display it runs the headless demo instead.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  hwt_ensure_packages "${HWT_BUILD_PACKAGES[@]}" "${HWT_DISPLAY_PACKAGES[@]}"
else
  hwt_ensure_packages "${HWT_BUILD_PACKAGES[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHWT_BUILD_TESTS=OFF
cmake --build build -j "$(nproc)"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the headless demo instead."
  exec scripts/demo.sh build
fi
exec build/bin/hullwright
