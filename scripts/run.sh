#!/usr/bin/env bash
# Installs what is missing, builds the player and opens it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --parallel "$(nproc)" --target mavu
exec build/default/src/app/mavu
