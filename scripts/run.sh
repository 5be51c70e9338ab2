#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
# Until the windows exist the main job is the command line: `quorlin variants`.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target quorlin
exec ./build/bin/quorlin "${@:-variants}"
