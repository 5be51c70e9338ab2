#pragma once
// Counting the positions of the legal-move tree with the 64-bit generator.
//
// The counts equal those of Perft (perft.h) with dedupe on, except where the
// two generators list the same position differently: two different pieces
// that both take the same pieces and return to their own start squares give
// one position here and two moves there. When 255 moves are listed the two
// may also drop different ones.
#include <cstdint>

#include "rules/board.h"

namespace quorlin {

// Positions exactly `depth` plies below `position` (the side to move in w,
// moving up; see bitmovegen.h). With `bulk` the last ply is counted by the
// length of the list instead of visiting each position. 0 for a variant
// without a 64-bit generator.
uint64_t PerftBitboard64(const TBitBoard64& position, int depth, int variant, bool bulk);

// The same from a square-list board with `side` (0 White, 1 Black) to move.
uint64_t PerftBitboard(const TBoard& board, int side, int depth, int variant, bool bulk);

}  // namespace quorlin
