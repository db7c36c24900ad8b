#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, runs every test,
# then builds the fuzz targets with clang and runs each one briefly on seeds made by our own
# writers (fixed seed, so a run repeats what was run before).
set -euo pipefail
cd "$(dirname "$0")"
./deps/install.sh
jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON >/dev/null
cmake --build build/test -j "$jobs"
(
  export ASAN_OPTIONS=detect_leaks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export KORVANE_HEADLESS=1 SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null
  ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 300
)
if [[ "${KORVANE_SKIP_FUZZ:-0}" != 1 ]]; then
  KORVANE_FUZZ_SECONDS=${KORVANE_FUZZ_SECONDS:-20} KORVANE_FUZZ_ARGS=${KORVANE_FUZZ_ARGS:--seed=1} ./fuzz/ci.sh
fi
