#pragma once
// Counting the positions of the legal-move tree (perft), the standard check of a
// move generator against published figures.
#include <cstdint>
#include <vector>

#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// Positions at exactly `depth` plies below `board` with `side` to move (1 for
// depth 0). No draw rules apply; `dedupe` is passed to GenerateMoves.
uint64_t Perft(const TBoard& board, int side, int depth, const TGameParams& params, bool dedupe);

struct PerftRootCount {
  TMove move;
  uint64_t count = 0;
};

// The root moves in list order, each with the positions at `depth` plies below
// the root (depth >= 1) that it leads to.
std::vector<PerftRootCount> PerftDivide(const TBoard& board, int side, int depth, const TGameParams& params,
                                        bool dedupe);

}  // namespace quorlin
