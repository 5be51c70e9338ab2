#pragma once
// Reading and writing positions as FEN text.
#include <string>

#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin {

// Reads a FEN ("W:W21,22,K30:B1,2,3") into cells; sideToMove gets 0 (White) or
// 1 (Black) in internal terms. Unreadable items are skipped.
void ParseFEN(const TGameParams& params, const std::string& fen, TBrd& cells, int& sideToMove);

}  // namespace quorlin
