#!/bin/bash
# Rebuilds data/ship/Bases/Example.abd: problems of Russian and International
# whose solutions the endgame databases prove (one winning move at every
# turn), then a few games of several variants (self-play games of the
# training runs and real games of the corpus).
#
#   scripts/make-example.sh
#
# Endgame databases are built into $ED (default ./training-work/ED) unless
# they are there already; self-play games are read from $TRAIN_WORK.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="${QUORLIN:-$here/build/bin/quorlin}"
work="${TRAIN_WORK:-$here/training-work}"
ed="${ED:-$work/ED}"
corpus="${CORPUS:-$here/../shared/corpus}"
out="$here/data/ship/Bases/Example.abd"
mkdir -p "$(dirname "$out")" "$work/example"
rm -f "${out%.abd}".ab?

for v in Russian International; do
  [ -d "$ed/$v/MTW" ] || "$bin" egdb build "$v" --pieces 4 --out "$ed" >/dev/null
done
"$bin" problems make russian --ed "$ed" --out "$out" --count 8 --min-moves 3 --seed 11
"$bin" problems make international --ed "$ed" --out "$out" --count 4 --min-moves 3 --seed 12

# Games: the first of each self-play run, and real games from the corpus.
pdn="$work/example/games.pdn"
: >"$pdn"
for v in Russian Pool Italian Czech Brazilian; do
  db="$work/$v/selfplay.abd"
  [ -f "${db%.abd}.abm" ] && "$bin" pdn export "$db" 1 >>"$pdn" || true
done
"$bin" pdn import "$pdn" "$out" >/dev/null
"$bin" pdn import "$corpus/pdn/international_nk2009-r12.pdn" "$out" --variant international >/dev/null
"$bin" pdn import "$corpus/pdn/english_inferno-gayp.pdn" "$out" --variant english >/dev/null
"$bin" problems check "$out" --ed "$ed"
"$bin" db info "$out"
