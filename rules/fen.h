#pragma once
// Reading and writing positions as FEN text.
#include <string>

#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin {

// Reads a FEN ("W:W21,22,K30:B1,2,3") into cells; sideToMove gets 0 (White) or
// 1 (Black) in internal terms. Unreadable items, squares that are not on the
// board and lists led by neither "W" nor "B" are skipped.
void ParseFEN(const TGameParams& params, const std::string& fen, TBrd& cells, int& sideToMove);

// Internal square of a numeric FEN square in the variant's numbering; 0 when
// the number names no square of the board.
int FENNumberToSquare(const TGameParams& params, long long number);

// Writes cells and the side to move (0 or 1, internal) as a FEN that ParseFEN
// reads back to the same position: "W:"/"B:", then the "W" and "B" lists with
// "K" before kings. Squares are numbers where the variant's numbering reads
// back exactly, alphanumeric names otherwise (and always for custom variants).
std::string WriteFEN(const TGameParams& params, const TBrd& cells, int sideToMove);

}  // namespace quorlin
