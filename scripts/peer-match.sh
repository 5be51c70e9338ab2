#!/bin/bash
# Plays one of our International engines against the two open DXP programs
# whose source archives lie in ../shared/peers (Scan 2.0 and Moby Dam), each
# built in a scratch folder and started as a DXP server on a free port of
# 127.0.0.1. They are test opponents only: nothing of them is kept.
#
#   scripts/peer-match.sh [ENGINE.eng] [GAMES] [MS-PER-MOVE] [scan|moby ...]
#
# Defaults: the shipped International AnalyticPlus.eng, 20 games, 1000 ms.
# Our engine thinks MS-PER-MOVE on one thread. Scan plans its own time from
# the game request (one minute for 150 moves, close to a second a move in
# these games); Moby Dam gets three minutes and a hard limit of MS-PER-MOVE a
# move typed on its console. Logs and PDN go to $PEER_WORK (default
# training-work/peers).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
engine="${1:-$here/data/ship/EnginesTest/International/AnalyticPlus.eng}"
games="${2:-20}"
ms="${3:-1000}"
shift $(($# < 3 ? $# : 3))
peers=("$@")
[ ${#peers[@]} -gt 0 ] || peers=(scan moby)
bin="${QUORLIN:-$here/build/bin/quorlin}"
archives="${QUORLIN_PEERS_DIR:-$here/../shared/peers}"
work="${PEER_WORK:-$here/training-work/peers}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/peers.XXXXXX")"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "peer-match: $*" >&2
  exit 1
}

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# Waits until a file holds a text (a program announcing that it listens).
wait_for() {
  for _ in $(seq 1 600); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  cat "$1" >&2
  fail "$1 never said \"$2\""
}

# Our side of a match against a DXP server on a port; extra options follow.
play() {
  local name=$1 port=$2
  shift 2
  "$bin" match international "$engine" "dxp:127.0.0.1:$port" --games "$games" --time-per-move "$ms" \
    --threads 1 --seed 2024 --pdn-out "$work/$name-$games.pdn" "$@" >"$work/$name-$games.log"
  grep -E '^(score|Elo|time per move)' "$work/$name-$games.log"
}

for peer in "${peers[@]}"; do
  case "$peer" in
    scan)
      tar xzf "$archives/scan-2.0.tar.gz" -C "$scratch"
      home="$scratch/scan-2.0"
      make -C "$home/src" -j2 >"$work/scan-build.log" 2>&1 || fail "Scan did not build: see $work/scan-build.log"
      cp "$home/src/scan" "$home/scan"
      port=$(free_port)
      sed -i -e "s/^threads = .*/threads = 1/" -e "s/^tt-size = .*/tt-size = 22/" \
        -e "s/^dxp-server = .*/dxp-server = true/" -e "s/^dxp-port = .*/dxp-port = $port/" \
        -e "s/^dxp-initiator = .*/dxp-initiator = false/" -e "s/^dxp-board = .*/dxp-board = false/" \
        -e "s/^dxp-search = .*/dxp-search = false/" "$home/scan.ini"
      (cd "$home" && exec ./scan dxp >"$work/scan-server.out" 2>&1) &
      pids+=($!)
      wait_for "$work/scan-server.out" "waiting for a connection"
      # Scan ends a game after the requested number of moves: ask for 150.
      play scan "$port" --dxp-time 1 --dxp-moves 150
      ;;
    moby)
      tar xzf "$archives/mobydam.tar.gz" -C "$scratch"
      home="$scratch/mobydam/main"
      # Its makefile may need a second run once its dependency file exists.
      make -C "$home" -j2 >"$work/moby-build.log" 2>&1 || make -C "$home" >>"$work/moby-build.log" 2>&1 ||
        fail "Moby Dam did not build: see $work/moby-build.log"
      port=$(free_port)
      mkfifo "$scratch/moby.in"
      (cd "$home" && exec ./mobydam -b ../book/book.opn -t 20 -p "$port" <"$scratch/moby.in" \
        >"$work/moby-server.out" 2>&1) &
      pids+=($!)
      # Holds its console open and sets the hard limit per move.
      (exec 3>"$scratch/moby.in"; echo "time $ms" >&3; sleep 1000000) &
      pids+=($!)
      wait_for "$work/moby-server.out" "listening on port"
      play moby "$port" --dxp-time 3 --dxp-moves 0
      ;;
    *)
      echo "peer-match: unknown peer \"$peer\" (scan or moby)" >&2
      exit 2
      ;;
  esac
done
