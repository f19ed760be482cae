#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset) and runs each for a fixed time.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target…]
# Exits non-zero on the first finding; the input that found it is kept under
# build/fuzz/findings/<target>/ (add it as a regression row to the target's test suite).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_decode fuzz_jsonread fuzz_addresses fuzz_guide_text fuzz_lab_wire fuzz_m3u)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel "$(nproc)"

declare -A dictionary=(
  [fuzz_decode]=decode.dict [fuzz_jsonread]=jsonread.dict [fuzz_addresses]=addresses.dict
  [fuzz_guide_text]=guide_text.dict [fuzz_lab_wire]=lab_wire.dict [fuzz_m3u]=m3u.dict
)
summary=()
for target in "${targets[@]}"; do
  # The committed seeds stay as they are; what a run learns goes into the build folder.
  work="build/fuzz/corpus/$target"
  findings="build/fuzz/findings/$target"
  mkdir -p "$work" "$findings"
  log="build/fuzz/$target.log"
  echo "== $target: ${seconds} s"
  status=0
  ASAN_OPTIONS="detect_leaks=0:${ASAN_OPTIONS:-}" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "build/fuzz/tests/fuzz/$target" "$work" "tests/fuzz/corpus/$target" \
      -dict="tests/fuzz/${dictionary[$target]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  summary+=("$target: $runs executions in ${seconds} s")
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    echo "FINDING in $target (exit $status); inputs kept in $findings/" >&2
    printf '%s\n' "${summary[@]}"
    exit 1
  fi
done
printf '%s\n' "${summary[@]}"
