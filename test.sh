#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, runs every test,
# then builds the fuzz targets with clang and runs each one briefly on seeds made by our own
# writers (fixed seed, so a run repeats what was run before). Fuzzing here has a total budget
# (KORVANE_FUZZ_SECONDS per target, default 5, and KORVANE_FUZZ_TOTAL_SECONDS for all, default
# 180); long runs are fuzz/run.sh's. The closing lines say how long each stage took.
set -euo pipefail
cd "$(dirname "$0")"

stage_times=()
stage_start=$SECONDS
# Closes the running stage: its time goes into the summary printed at exit, pass or fail.
end_stage() {
  stage_times+=("$1 $((SECONDS - stage_start)) s")
  stage_start=$SECONDS
}
print_times() {
  local status=$?
  local line
  for line in "${stage_times[@]}"; do echo "test.sh time: $line"; done
  exit "$status"
}
trap print_times EXIT

./deps/install.sh
jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON >/dev/null
cmake --build build/test -j "$jobs"
end_stage build
(
  export ASAN_OPTIONS=detect_leaks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export KORVANE_HEADLESS=1 SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null
  ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 300
) || { end_stage tests; exit 1; }
end_stage tests
if [[ "${KORVANE_SKIP_FUZZ:-0}" != 1 ]]; then
  KORVANE_FUZZ_SECONDS=${KORVANE_FUZZ_SECONDS:-5} KORVANE_FUZZ_TOTAL_SECONDS=${KORVANE_FUZZ_TOTAL_SECONDS:-180} \
    KORVANE_FUZZ_ARGS=${KORVANE_FUZZ_ARGS:--seed=1} ./fuzz/ci.sh || { end_stage fuzzing; exit 1; }
  end_stage fuzzing
fi
