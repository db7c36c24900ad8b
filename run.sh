#!/usr/bin/env bash
# Installs what is missing, builds a release build with the demo data (data/demo) and runs the
# engine on it: headless when there is no display. The demo story ends the run by itself; its
# report is shown at the end. Arguments are passed to the game.
set -euo pipefail
cd "$(dirname "$0")"
./deps/install.sh
jobs=$(nproc)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF >/dev/null
cmake --build build/release -j "$jobs" --target korvane demo_data
# The game's user data (settings aside) goes to the documents folder, as the game defines it.
documents=${XDG_DOCUMENTS_DIR:-${HOME:-.}/Documents}
report="$documents/Korvane/VexaNL/demo-report.txt"
rm -f "$report"
status=0
(cd build/release/demo && exec ../korvane "$@") || status=$?
if [[ -f "$report" ]]; then
  echo "--- $report"
  cat "$report"
fi
echo "--- the game ended with status $status"
exit "$status"
