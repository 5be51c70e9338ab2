#!/usr/bin/env bash
# Installs what is missing, builds the program and opens its window.
# On a machine without a display it says so and shows how to use the command
# line instead (any arguments are then handed to `quorlin`).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build --target quorlin quorlin-draughts
  echo "run.sh: no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open."
  echo "  The command line works without one, for example:"
  echo "    ./build/bin/quorlin variants"
  echo "    ./build/bin/quorlin analyse Russian build/bin/EnginesTest/Russian/Analytic.eng --time 5"
  echo "  A picture of the window can still be drawn offscreen:"
  echo "    ./build/bin/quorlin-draughts --screenshot window.png --variant International"
  echo "  Or start the window under a virtual display: xvfb-run ./build/bin/quorlin-draughts"
  if [ $# -gt 0 ]; then exec ./build/bin/quorlin "$@"; fi
  exit 0
fi
cmake --build build --target quorlin-draughts
exec ./build/bin/quorlin-draughts "$@"
