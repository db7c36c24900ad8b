#!/usr/bin/env bash
# Installs what is missing, builds a release build with the demo data (data/demo) and runs the
# engine on it: headless when there is no display. The demo story ends the run by itself; its
# report is shown at the end, then the screenshots the run took (converted to PNG next to them).
# Arguments are passed to the game.
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
shots="$documents/Korvane/VexaNL/screenshots"
# The engine numbers its screenshots after the highest one already there; only this run's are listed.
started=$(mktemp)
trap 'rm -f "$started"' EXIT
# Without a display the game waits on windows nobody sees; it runs on SDL's offscreen driver.
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then export KORVANE_HEADLESS=1; fi
status=0
(cd build/release/demo && exec ../korvane "$@") || status=$?
if [[ -f "$report" ]]; then
  echo "--- $report"
  cat "$report"
fi
mapfile -t taken < <(find "$shots" -maxdepth 1 -name 'vexascreen*.bmp' -newer "$started" 2>/dev/null | sort)
if ((${#taken[@]})); then
  echo "--- screenshots of this run in $shots (each also as PNG)"
  python3 tools/images/bmp_to_png.py "${taken[@]}" || true
fi
echo "--- the game ended with status $status"
exit "$status"
