#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures beside a baseline of the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --parallel "$(nproc)"
for bench in build/default/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$bench"
done
