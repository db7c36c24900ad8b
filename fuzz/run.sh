#!/usr/bin/env bash
# Builds one fuzz target with clang and runs it for a bounded time on its seeds.
#   fuzz/run.sh TARGET SECONDS [libFuzzer options...]
# TARGET is the name of fuzz/TARGET_fuzz.cpp (e.g. catalog). The seeds are made fresh by the
# project's own writers (korvane-fuzz-seeds) into fuzz/corpus-work/TARGET/seeds; the growing corpus
# stays in fuzz/corpus-work/TARGET/corpus and a crash input is written beside it. Exits non-zero on
# any crash, hang, leak or sanitizer report.
# Environment: KORVANE_FUZZ_BUILD_DIR (default build/fuzz), KORVANE_FUZZ_WORK (default
# fuzz/corpus-work), KORVANE_FUZZ_NO_BUILD=1 to skip the build step (ci.sh builds once),
# KORVANE_FUZZ_TIMEOUT (seconds one input may take, default 30: the pattern matcher's step budget
# alone takes several seconds under the sanitizers before it gives up).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if (($# < 2)); then
  echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
if [[ ! -f "$root/fuzz/${target}_fuzz.cpp" ]]; then
  echo "no such fuzz target: $target (targets: $(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/_fuzz\.cpp//' | tr '\n' ' '))" >&2
  exit 2
fi
build=${KORVANE_FUZZ_BUILD_DIR:-$root/build/fuzz}
work=${KORVANE_FUZZ_WORK:-$root/fuzz/corpus-work}/$target

if [[ "${KORVANE_FUZZ_NO_BUILD:-0}" != 1 ]]; then
  flags="-O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DKORVANE_FUZZ=ON \
      -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target "${target}_fuzz" korvane-fuzz-seeds >/dev/null
fi

mkdir -p "$work/corpus"
rm -rf "$work/seeds" "$work/tmp"
mkdir -p "$work/seeds" "$work/tmp"
# The target's private game folder lives under its own work folder, so one left by a crash is
# cleared by the next run of the same target and never mixes with anything else in /tmp.
export KORVANE_FUZZ_TMP="$work/tmp"
( cd "$work" && "$build/fuzz/korvane-fuzz-seeds" "$target" "$work/seeds" )

# The run's own sanitizer settings, whatever the caller (test.sh) exported for the unit tests.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export KORVANE_HEADLESS=1 SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy ALSOFT_DRIVERS=null
# -close_fd_mask=1: the readers' own stdout notes ("File not found.") would drown the report.
exec "$build/fuzz/${target}_fuzz" "$work/corpus" "$work/seeds" \
  -max_total_time="$seconds" -timeout="${KORVANE_FUZZ_TIMEOUT:-30}" -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$work/" -close_fd_mask=1 -print_final_stats=1 "$@"
