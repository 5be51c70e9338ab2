#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite,
# the slow suites included (`ctest --test-dir build -LE slow` skips those).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j "$(nproc)"
