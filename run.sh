#!/usr/bin/env bash
# Installs what is missing, builds a release build and runs the engine on its demo content.
set -euo pipefail
cd "$(dirname "$0")"
./deps/install.sh
jobs=$(nproc)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF >/dev/null
cmake --build build/release -j "$jobs"
exec ./build/release/korvane "$@"
