#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite,
# the slow suites included (`ctest --test-dir build -LE slow` skips those),
# then runs the engine's tests again in a ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The engine shares state between its worker threads; every access must be
# locked or atomic, which ThreadSanitizer checks at run time.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORLIN_TSAN=ON \
  -DQUORLIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target engine_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ./build-tsan/bin/engine_tests --gtest_brief=1
