#!/bin/bash
# Rebuilds the opening books data/ship/Books/<variant>.cbk: from real games
# where the corpus has many (English, International), and for every variant
# grown by search with the variant's strongest shipped engine.
#
#   scripts/make-books.sh [VARIANT...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="${QUORLIN:-$here/build/bin/quorlin}"
work="${TRAIN_WORK:-$here/training-work}"
expand="${EXPAND:-150}"
nodes="${NODES:-20000}"
out="$here/data/ship/Books"
mkdir -p "$out"
variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(Russian English Brazilian Pool Italian International Czech Spanish Frisian \
  Spantsiretti Canadian Thai Turkish "International Killer")
for v in "${variants[@]}"; do
  engine="$here/data/ship/EnginesTest/$v/Trained.eng"
  [ -f "$engine" ] || engine="$here/data/ship/EnginesTest/$v/Analytic.eng"
  games=()
  if [ -f "$work/$v/corpus.abd" ]; then games=("$work/$v/corpus.abd" --min-games 3 --max-ply 16); fi
  "$bin" book build "${games[@]}" --variant "$v" --out "$out/$v.cbk" --expand "$expand" --engine "$engine" \
    --nodes "$nodes" | tail -1
done
