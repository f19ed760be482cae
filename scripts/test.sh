#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test through CTest, then every
# fuzz target for 20 s.
# Usage: scripts/test.sh [preset]   (default: "default"; "asan" for the sanitizer build)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

bash scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel "$(nproc)"
ctest --preset "$preset"
# Every fuzz target for a short, fixed time; any finding fails the run.
if [ "$preset" = "default" ]; then
  bash scripts/fuzz.sh 20
fi
