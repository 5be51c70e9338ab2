#!/usr/bin/env bash
# Soak: plays engine games without a break in several variants under a
# sanitizer while, beside them, analyses are started and stopped (Ctrl-C) at
# random moments, for a given time. Reports the games played, the analyses
# stopped, every sanitizer report, and the resident size of the game and
# analysis processes at their start and end.
#
#   scripts/soak.sh --minutes 60                      AddressSanitizer + UBSan
#   scripts/soak.sh --minutes 10 --sanitizer thread   ThreadSanitizer
#
# Options: --minutes N (default 10), --sanitizer address|thread, --variants
# "russian international ..." (default: six variants of four board sizes),
# --build DIR (default build-asan or build-tsan), --log DIR (default
# <build>/soak), --jobs N. Exits non-zero when a sanitizer reported anything
# or a game process failed.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=10
sanitizer=address
variants="russian international english turkish spantsiretti brazilian"
build=""
logdir=""
jobs=$(nproc)
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes=$2; shift 2 ;;
    --sanitizer) sanitizer=$2; shift 2 ;;
    --variants) variants=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --log) logdir=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "soak.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
case "$sanitizer" in
  address) option=-DQUORLIN_ASAN=ON; build=${build:-build-asan} ;;
  thread) option=-DQUORLIN_TSAN=ON; build=${build:-build-tsan} ;;
  *) echo "soak.sh: --sanitizer address or thread" >&2; exit 2 ;;
esac
logdir=${logdir:-$build/soak}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$option" \
  -DQUORLIN_BUILD_BENCH=OFF -DQUORLIN_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target quorlin
quorlin=$(pwd)/$build/bin/quorlin
engines=$(pwd)/$build/bin/EnginesTest  # analyse takes the description's path

rm -rf "$logdir"
mkdir -p "$logdir/reports" "$logdir/home/Documents" "$logdir/tmp"
logdir=$(cd "$logdir" && pwd)
# Never the user's folders.
export HOME=$logdir/home XDG_CONFIG_HOME=$logdir/home/.config XDG_DATA_HOME=$logdir/home/.local/share
export XDG_CACHE_HOME=$logdir/home/.cache TMPDIR=$logdir/tmp
export ASAN_OPTIONS="log_path=$logdir/reports/asan:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="log_path=$logdir/reports/ubsan:print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="log_path=$logdir/reports/tsan:second_deadlock_stack=1:halt_on_error=0"

end=$(($(date +%s) + minutes * 60))
rss="$logdir/rss.txt"  # pid kind kB, one line per sample
: >"$rss"

# Samples the resident size of a process every second until it ends.
sample() {
  local pid=$1 kind=$2 kb
  while kill -0 "$pid" 2>/dev/null; do
    kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$kb" ] && echo "$pid $kind $kb" >>"$rss"
    sleep 1
  done
}

# Games: one short match after another, each variant in turn, with random
# openings, thinking times and seeds.
games_loop() {
  local i=0 v engines ms rc
  read -ra vs <<<"$variants"
  while [ "$(date +%s)" -lt "$end" ]; do
    v=${vs[$((i % ${#vs[@]}))]}
    engines=(Analytic.eng Analytic.eng)
    [ "$v" = russian ] && engines=(Analytic.eng Material.eng)
    ms=$((20 + RANDOM % 180))
    "$quorlin" match "$v" "${engines[@]}" --games 2 --time-per-move "$ms" --random-plies 6 \
      --seed "$RANDOM" --threads 2 --hash 16 >"$logdir/match-$i.txt" 2>&1 &
    local pid=$!
    sample "$pid" match &
    rc=0
    wait "$pid" || rc=$?
    [ "$rc" -ne 0 ] && echo "match $i ($v) exited with $rc" >>"$logdir/failures.txt"
    i=$((i + 1))
  done
}

# Analyses: started on the start position of a variant and stopped by Ctrl-C
# a random 0.1 to 3 seconds after the search began; the command must still
# print its move.
analysis_loop() {
  local i=0 v rc
  read -ra vs <<<"$variants"
  while [ "$(date +%s)" -lt "$end" ]; do
    v=${vs[$(((i * 7 + 3) % ${#vs[@]}))]}
    "$quorlin" analyse "$v" "$engines/${v^}/Analytic.eng" --time 60 --threads 2 >"$logdir/analyse-$i.txt" 2>&1 &
    local pid=$!
    sample "$pid" analyse &
    # Ctrl-C stops the search only once it runs: wait for its first line.
    local waited=0
    while [ ! -s "$logdir/analyse-$i.txt" ] && [ "$waited" -lt 300 ] && kill -0 "$pid" 2>/dev/null; do
      sleep 0.2
      waited=$((waited + 1))
    done
    sleep "$((RANDOM % 30 / 10)).$((RANDOM % 10))"
    kill -INT "$pid" 2>/dev/null || true
    rc=0
    wait "$pid" || rc=$?
    [ "$rc" -ne 0 ] && echo "analysis $i ($v) exited with $rc" >>"$logdir/failures.txt"
    i=$((i + 1))
  done
}

echo "soak: $sanitizer sanitizer, $minutes minutes, variants: $variants; logs in $logdir"
games_loop &
gpid=$!
analysis_loop &
apid=$!
wait "$gpid" "$apid"
wait

games=$(cat "$logdir"/match-*.txt 2>/dev/null | grep -cE '^game [0-9]+/' || true)
matches=$(ls "$logdir"/match-*.txt 2>/dev/null | wc -l)
analyses=$(ls "$logdir"/analyse-*.txt 2>/dev/null | wc -l)
reports=$(ls "$logdir"/reports/ 2>/dev/null | wc -l)
failures=0
[ -f "$logdir/failures.txt" ] && failures=$(wc -l <"$logdir/failures.txt")
# Resident size (MB) of a kind of process: the first sample of the first
# process and the last sample of the last process, and the largest seen.
rss_of() {
  awk -v k="$1" '$2 == k { if (!first) first = $3; last = $3; if ($3 > max) max = $3 }
    END { printf "start %.1f MB, end %.1f MB, largest %.1f MB", first / 1024, last / 1024, max / 1024 }' "$rss"
}
echo "soak: $games games in $matches matches, $analyses analyses stopped at random moments"
echo "soak: resident size of the game processes: $(rss_of match)"
echo "soak: resident size of the analysis processes: $(rss_of analyse)"
echo "soak: $reports sanitizer report(s), $failures failed process(es)"
if [ "$reports" -gt 0 ] || [ "$failures" -gt 0 ]; then
  ls "$logdir/reports"
  [ -f "$logdir/failures.txt" ] && cat "$logdir/failures.txt"
  exit 1
fi
