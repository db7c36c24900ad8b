#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./deps/install.sh
jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON >/dev/null
cmake --build build/test -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export KORVANE_HEADLESS=1 SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy
ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 300
