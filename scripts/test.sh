#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite,
# the slow suites included (`ctest --test-dir build -LE slow` skips those),
# then runs the rules tests again in a Debug build and the engine's tests in a
# ThreadSanitizer build, and every fuzz target for a few seconds on its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The rules tests once more with assertions on (a Debug build): the 64-bit
# generator checks its positions there, and its death test runs.
cmake -S . -B build-debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORLIN_BUILD_BENCH=OFF \
  -DQUORLIN_BUILD_GUI=OFF >/dev/null
cmake --build build-debug -j "$jobs" --target rules_tests
./build-debug/bin/rules_tests --gtest_brief=1

# The engine shares state between its worker threads; every access must be
# locked or atomic, which ThreadSanitizer checks at run time.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORLIN_TSAN=ON \
  -DQUORLIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target engine_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ./build-tsan/bin/engine_tests --gtest_brief=1

# Every reader of outside input under libFuzzer (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer): each kept regression seed and generated seed
# once, then a few seconds of fuzzing per target. Long runs are made by hand
# (scripts/fuzz.sh --runs N target). A fixed seed makes every machine try the
# same mutations in the same order, so a run that passes here is the run CI makes.
./scripts/fuzz.sh --seconds "${QUORLIN_FUZZ_SECONDS:-5}" --seed 1 --jobs "$jobs"
