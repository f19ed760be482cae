#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test through CTest, then every
# fuzz target for 20 s, then (with MAVU_SANITIZERS=1) the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer (the "asan" preset). Any failure, finding or sanitizer report
# fails the run. Each step's time is printed at the end.
# Usage: scripts/test.sh           everything, as CI runs it
#        scripts/test.sh PRESET    that preset's build and suites alone ("default", "asan", …)
set -euo pipefail
cd "$(dirname "$0")/.."

times=()
step() {
  local name="$1" started=$SECONDS
  shift
  "$@"
  times+=("$name: $((SECONDS - started)) s")
}
suites() {
  step "$1 configure" cmake --preset "$1"
  step "$1 build" cmake --build --preset "$1" --parallel "$(nproc)"
  step "$1 suites" ctest --preset "$1"
}

bash scripts/install-deps.sh
if [ $# -gt 0 ]; then
  suites "$1"
else
  suites default
  # Every fuzz target for a short, fixed time; any finding fails the run.
  step "fuzz" bash scripts/fuzz.sh 20
  # The sanitizer build has no benchmarks; its suites wait longer (see CMakePresets.json).
  # It doubles the run's time, so it is asked for: MAVU_SANITIZERS=1.
  if [ "${MAVU_SANITIZERS:-0}" = 1 ]; then
    suites asan
  fi
fi
printf '%s\n' "${times[@]}"
