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
# Without a display the game waits on windows nobody sees; it runs on SDL's offscreen driver (the
# launcher then answers "start" by itself). With one, "-noabout" leaves the launcher dialog out,
# so the demo runs unattended until its story ends or its window is closed.
# A first run under a display has no settings yet: they are seeded with the windowed bit of
# "VideoFlags" (0x8000000, besides the default 0x100), so the game opens a window at the default
# video size rather than asking the screen for a full-screen mode it may not have. Settings the
# user has are left as they are.
launcher=()
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  export KORVANE_HEADLESS=1
else
  launcher=(-noabout)
  registry="${XDG_CONFIG_HOME:-${HOME:-.}/.config}/korvane/registry.xml"
  if [[ ! -e "$registry" ]]; then
    mkdir -p "$(dirname "$registry")"
    cat > "$registry" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<registry>
  <key name="Software">
    <key name="KORVANE">
      <key name="VexaNL">
        <value name="VideoFlags" type="binary" hex="08000100"/>
      </key>
    </key>
  </key>
</registry>
XML
  fi
fi
status=0
(cd build/release/demo && exec ../korvane "${launcher[@]}" "$@") || status=$?
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
