#!/usr/bin/env bash
# Builds the benchmarks in Release (into build-bench/) and runs them.
# Usage: bench/run.sh [google-benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
hwt_ensure_packages "${HWT_BUILD_PACKAGES[@]}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DHWT_BUILD_TESTS=OFF -DHWT_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-bench -j "$(nproc)"
for bench in $(find build-bench/bench -maxdepth 1 -name "bench_*" -type f -executable | sort); do
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
