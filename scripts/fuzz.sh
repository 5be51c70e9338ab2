#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer,
# libFuzzer) and runs each one: first once over every kept seed (fuzz/seeds/,
# the regressions) and the generated seeds, then fuzzing for a bounded time or
# number of runs. Exits non-zero when a target crashes, leaks or breaks one of
# its checks; the input that did it is left in <build>/artifacts/.
#
#   scripts/fuzz.sh                       every target, 10 seconds each (CI)
#   scripts/fuzz.sh --seconds 60 pdn fen  chosen targets, a minute each
#   scripts/fuzz.sh --runs 1000000 body   a long run, by number of executions
#   scripts/fuzz.sh --seed 1              the same mutations on every machine (CI)
#
# Options: --seconds N, --runs N, --seed N, --build DIR (default build-fuzz),
# --jobs N.
# The PDN corpus is ../shared/corpus beside the source folder, or
# $QUORLIN_CORPUS_DIR. Fuzzed inputs that add coverage collect in
# <build>/corpus/<target>/ and are used again by the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)

seconds=10
runs=""
seed=""
build=build-fuzz
jobs=$(nproc)
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
all=(fen variantdef pdn movetext body index names eng evf mynn egdb egdbzip book settings language
  languagetable hub dxp)
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  "${launcher[@]}" -DQUORLIN_FUZZ=ON -DQUORLIN_BUILD_TESTS=OFF -DQUORLIN_BUILD_BENCH=OFF \
  -DQUORLIN_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target quorlin_fuzz_all

# Files the targets write go to memory where it can, and never to the user's folders.
if [ -z "${QUORLIN_FUZZ_TMP:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export QUORLIN_FUZZ_TMP=/dev/shm
fi
corpus=${QUORLIN_CORPUS_DIR:-$src/../shared/corpus}
rm -rf "$build/seeds"
"$build/bin/quorlin_fuzz_seeds" "$build/seeds" "$corpus"
mkdir -p "$build/artifacts"

failed=()
for t in "${targets[@]}"; do
  bin="$build/bin/${t}_fuzz"
  [ -x "$bin" ] || { echo "fuzz.sh: no target $t" >&2; exit 2; }
  dirs=()
  for d in "$src/fuzz/seeds/$t" "$build/seeds/$t"; do [ -d "$d" ] && dirs+=("$d"); done
  mkdir -p "$build/corpus/$t"
  log="$build/artifacts/$t.log"
  opts=(-artifact_prefix="$build/artifacts/$t-" -timeout=20 -rss_limit_mb=2560 -max_len=16384
    -print_final_stats=1)
  # Every kept and generated seed once: the regressions.
  if [ ${#dirs[@]} -gt 0 ] && ! "$bin" -runs=0 "${opts[@]}" "${dirs[@]}" >"$log" 2>&1; then
    echo "FAIL $t: a seed breaks it (see $log)"
    failed+=("$t")
    continue
  fi
  limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  [ -n "$seed" ] && limit+=(-seed="$seed")
  if "$bin" "${limit[@]}" "${opts[@]}" "$build/corpus/$t" "${dirs[@]}" >>"$log" 2>&1; then
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
    echo "ok   $t: ${execs:-?} executions, $cov"
  else
    echo "FAIL $t (see $log):"
    grep -m3 -E 'FUZZ CHECK FAILED|ERROR: |runtime error|Test unit written' "$log" || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: ${#failed[@]} target(s) failed: ${failed[*]}"
  echo "Keep each crashing input as fuzz/seeds/<target>/<name> once it is mended."
  exit 1
fi
echo "fuzz.sh: ${#targets[@]} target(s) passed"
