#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (into
# build-test/) and runs them headless, with settings in a temporary directory.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
hwt_ensure_packages "${HWT_BUILD_PACKAGES[@]}"
hwt_try_packages "${HWT_ENGINE_PACKAGES[@]}"
hwt_install_matter build-test

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DHWT_SANITIZE=ON -DHWT_BUILD_TESTS=ON -DHWT_BUILD_BENCHMARKS=ON
cmake --build build-test -j "$(nproc)"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$scratch/config"
export XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache"
export XDG_RUNTIME_DIR="$scratch/runtime"

cd build-test
ctest --output-on-failure "$@"
