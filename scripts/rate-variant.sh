#!/bin/bash
# Measures the engines of one variant against the fixed reference Analytic
# (the hand-written engine, anchored at ELO 1200) and writes the measured
# ratings into their ELO fields: ELO = 1200 + the match's Elo difference,
# rounded to ten. Colours are swapped on every opening.
#
#   scripts/rate-variant.sh VARIANT [GAMES] [MS-PER-MOVE] [ENGINES...]
#
# Default engines: Trained Amateur Beginner. Logs go to $TRAIN_WORK/VARIANT.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
variant="$1"
games="${2:-200}"
ms="${3:-100}"
shift $(($# < 3 ? $# : 3))
engines=("$@")
[ ${#engines[@]} -gt 0 ] || engines=(Trained Amateur Beginner)
bin="${QUORLIN:-$here/build/bin/quorlin}"
work="${TRAIN_WORK:-$here/training-work}/$variant"
ship="$here/data/ship/EnginesTest/$variant"
mkdir -p "$work"
for e in "${engines[@]}"; do
  [ -f "$ship/$e.eng" ] || continue
  log="$work/match-$e-$games-$ms.log"
  "$bin" match "$variant" "$ship/$e.eng" "$ship/Analytic.eng" --games "$games" --time-per-move "$ms" \
    --seed 2024 --threads 1 >"$log"
  elo=$(sed -n 's/^Elo difference: \([-+][0-9.]*\).*/\1/p' "$log")
  grep -E '^(score|Elo)' "$log"
  if [ -n "$elo" ]; then
    rating=$(awk -v d="$elo" 'BEGIN { printf "%d", 1200 + int((d >= 0 ? d + 5 : d - 5) / 10) * 10 }')
    sed -i "s/^\[ELO \".*\"\]/[ELO \"$rating\"]/" "$ship/$e.eng"
    echo "$variant $e: ELO $rating"
  fi
done
