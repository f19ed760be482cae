#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test through CTest, then every
# fuzz target for 20 s, then the GUI-free suites (model, client, store, lab) and the end-to-end
# suites (the player against the lab, real libVLC) again under AddressSanitizer and
# UndefinedBehaviorSanitizer (the "asan" preset); with MAVU_SANITIZERS=1 the whole suite instead. Any failure, finding or sanitizer report fails the run. Each step's time is
# printed at the end.
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
  # The sanitizer build has no benchmarks; its suites wait longer (see CMakePresets.json). The
  # fuzz targets above already run under both sanitizers. The whole suite under them doubles the
  # run's time, so by default only the GUI-free and the end-to-end suites are built and run there;
  # MAVU_SANITIZERS=1 asks for all of it.
  if [ "${MAVU_SANITIZERS:-0}" = 1 ]; then
    suites asan
  else
    step "asan configure" cmake --preset asan
    step "asan build (GUI-free, end-to-end)" cmake --build --preset asan --parallel "$(nproc)" \
      --target mavu_gui_free_suites mavu_endtoend_suites
    step "asan suites (GUI-free, end-to-end)" ctest --preset asan -L 'gui-free|endtoend'
  fi
fi
printf '%s\n' "${times[@]}"
