#!/usr/bin/env bash
# The fuzz targets in CI: builds every target once with clang, then runs each on its fresh seeds
# for a bounded time (KORVANE_FUZZ_SECONDS per target, default 20). KORVANE_FUZZ_TOTAL_SECONDS,
# when set, bounds the runs of all targets together: each target gets the smaller of its own
# seconds and an even share of what is left, at least 1 s, so the stage stays within budget as
# targets are added. Any crash, hang, leak or sanitizer report fails the run; the crash inputs
# stay in fuzz/corpus-work/TARGET/.
#   fuzz/ci.sh [TARGET...]   (default: every fuzz/*_fuzz.cpp)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVANE_FUZZ_BUILD_DIR:-$root/build/fuzz}
export KORVANE_FUZZ_BUILD_DIR=$build

if (($#)); then
  targets=("$@")
else
  targets=()
  for source in "$root"/fuzz/*_fuzz.cpp; do
    name=$(basename "$source")
    targets+=("${name%_fuzz.cpp}")
  done
fi

flags="-O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DKORVANE_FUZZ=ON \
    -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null || exit 1
fi
build_targets=(korvane-fuzz-seeds)
for target in "${targets[@]}"; do build_targets+=("${target}_fuzz"); done
cmake --build "$build" -j "$(nproc)" --target "${build_targets[@]}" >/dev/null || {
  echo "fuzz: the fuzz targets do not build" >&2
  exit 1
}

passed=0
failed=0
failures=()
total=${KORVANE_FUZZ_TOTAL_SECONDS:-0}
runs_start=$SECONDS
left=${#targets[@]}
for target in "${targets[@]}"; do
  seconds=${KORVANE_FUZZ_SECONDS:-20}
  if ((total > 0)); then
    share=$(((total - (SECONDS - runs_start)) / left))
    ((share < seconds)) && seconds=$share
    ((seconds < 1)) && seconds=1
  fi
  left=$((left - 1))
  log="$build/fuzz-$target.log"
  # KORVANE_FUZZ_ARGS: further libFuzzer options for every target (test.sh fixes the seed).
  # shellcheck disable=SC2086
  if KORVANE_FUZZ_NO_BUILD=1 "$root/fuzz/run.sh" "$target" "$seconds" ${KORVANE_FUZZ_ARGS:-} >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
    echo "fuzz $target: ok, ${runs:-?} runs in ${seconds}s"
    passed=$((passed + 1))
  else
    echo "fuzz $target: FAILED (log $log)"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
    failed=$((failed + 1))
    failures+=("$target")
  fi
done
echo "fuzz targets: $passed clean, $failed with findings, $((SECONDS - runs_start)) s of runs"
((failed == 0))
