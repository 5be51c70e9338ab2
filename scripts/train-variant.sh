#!/bin/bash
# Rebuilds the trained engines of one variant from scratch with fixed seeds:
# self-play games of the hand-written Analytic engine, a tuner fit on them
# (and on real games where the corpus has them), then the graded weaker
# engines that share the fitted weights. Writes into data/ship/EnginesTest.
#
#   scripts/train-variant.sh VARIANT [GAMES] [NODES]
#
# VARIANT is the folder name under EnginesTest ("Russian", "International
# Killer", ...). Work files go to $TRAIN_WORK (default ./training-work).
# The ELO fields are measured afterwards by scripts/rate-variant.sh.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
variant="$1"
# The sizes the shipped engines were trained with (GAMES and NODES override).
case "$variant" in
  Russian | Pool | Italian) games_default=300 nodes_default=6000 ;;
  Spantsiretti) games_default=1000 nodes_default=4000 ;;
  *) games_default=150 nodes_default=4000 ;;
esac
games="${2:-$games_default}"
nodes="${3:-$nodes_default}"
# Canadian's square weights learn the shallow self-play's accidents unless
# held close to zero (default regularisation 2e-4: 5-15 against Analytic;
# 0.02: 12.5-7.5).
tune_extra=()
[ "$variant" = "Canadian" ] && tune_extra=(--l2 0.02)
bin="${QUORLIN:-$here/build/bin/quorlin}"
work="${TRAIN_WORK:-$here/training-work}/$variant"
ship="$here/data/ship/EnginesTest/$variant"
corpus="${CORPUS:-$here/../shared/corpus}"
mkdir -p "$work"
start=$(date +%s)

# 1. Self-play of the start engine from ballots or random openings (kept when
# a finished run of the same size is there).
if ! grep -q "^played $games games" "$work/selfplay.log" 2>/dev/null; then
  rm -f "$work"/selfplay.ab?
  "$bin" selfplay "$variant" "$ship/Analytic.eng" --games "$games" --nodes "$nodes" --threads 2 \
    --seed 1001 --out "$work/selfplay.abd" >"$work/selfplay.log"
fi
tail -2 "$work/selfplay.log"

# 2. Real games where the corpus has many of them. (The English archive is
# left out: its results, read as stored, do not agree with its positions.)
dbs=("$work/selfplay.abd")
if [ "$variant" = "International" ] && [ -d "$corpus/pdn/international_engine-book" ]; then
  if [ ! -f "$work/corpus.abd" ]; then
    for f in "$corpus"/pdn/international_engine-book/*.pdn; do
      "$bin" pdn import "$f" "$work/corpus.abd" --variant international >>"$work/import.log" 2>&1 || true
    done
  fi
  dbs+=("$work/corpus.abd")
fi

# 3. The fit.
"$bin" tune "$variant" --games "${dbs[@]}" --engine "$ship/Analytic.eng" --out "$work/engine" --name Trained "${tune_extra[@]}" \
  --seed 7 >"$work/tune.log"
grep -E '^stage .*patterns$|^games used' "$work/tune.log"
cp "$work/engine/"Trained* "$ship/"

# 4. Search settings: the reduced-depth probes of the bitboard search.
"$here/scripts/with-probes.sh" "$ship/Trained.eng" "$ship/Trained.eng"

# 5. Graded engines: the fitted weights with a shallower search.
grade() {  # name depth
  sed -e "s/^\[Name \".*\"\]/[Name \"$1\"]/" -e "s/^\[MaxDepth \".*\"\]/[MaxDepth \"$2\"]/" \
    -e "s/^\[EvalFNC \"Traineds\([0-9]*\).evf\"\]/[EvalFNC \"Traineds\1.evf\"]/" \
    "$ship/Trained.eng" >"$ship/$1.eng"
}
grade Beginner 5
grade Amateur 7
echo "$variant trained in $(($(date +%s) - start)) s"
