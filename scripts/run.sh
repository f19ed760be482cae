#!/usr/bin/env bash
# Installs what is missing, builds the player and mavu-lab (into build/lab), starts the lab on
# loopback and opens the player with the lab as its device service, so that the start screen
# offers START at once. The lab stops when the player closes.
# Extra arguments go to the lab, e.g.: bash scripts/run.sh --preset large --seed 7
set -euo pipefail
cd "$(dirname "$0")/.."
port=18080 # the lab preset builds the player against http://127.0.0.1:18080

bash scripts/install-deps.sh
cmake --preset lab
cmake --build --preset lab --parallel "$(nproc)"

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
if listening; then
  echo "run.sh: port $port is taken (another mavu-lab?); stop it first" >&2
  exit 1
fi

build/lab/tools/lab/mavu-lab --port "$port" "$@" &
lab=$!
trap 'kill "$lab" 2>/dev/null || true; wait "$lab" 2>/dev/null || true' EXIT

for _ in $(seq 1 300); do
  listening && break
  kill -0 "$lab" 2>/dev/null || { echo "run.sh: mavu-lab did not start" >&2; exit 1; }
  sleep 0.1
done

build/lab/src/app/mavu
