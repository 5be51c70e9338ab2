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

// Reads a FEN strictly, for text typed or pasted by users and given to the
// commands: true with the cells and the side to move (0 or 1, internal), or
// false with `error` naming what is wrong and where (the column, counted from
// 1, of the offending text) and nothing else changed. Beyond ParseFEN it
// accepts ranges of numbered squares ("W31-35") and refuses:
//   - text that is not "W:" or "B:" followed by piece lists led by W or B;
//   - squares that are no square of the board, with the numbers or the file
//     letters the board uses in the message;
//   - a square listed twice, or for both sides;
//   - a man on the row where its side crowns, and more pieces of a side than
//     the variant's start position holds;
//   - a position without any piece.
// On purpose: a colour may have more than one list ("W:W31:B1:W32" puts White
// on 31 and 32), a list may be empty ("W:W:B1"), each list may end with ".",
// and blanks around items are ignored. The king letter is a capital "K": a
// lower-case "k" starts a square name (the tenth file of the large boards).
bool ReadFEN(const TGameParams& params, const std::string& fen, TBrd& cells, int& sideToMove,
             std::string& error);

// Internal square of a numeric FEN square in the variant's numbering; 0 when
// the number names no square of the board.
int FENNumberToSquare(const TGameParams& params, long long number);

// Writes cells and the side to move (0 or 1, internal) as a FEN that ParseFEN
// reads back to the same position: "W:"/"B:", then the "W" and "B" lists with
// "K" before kings. Squares are numbers where the variant's numbering reads
// back exactly, alphanumeric names otherwise (and always for custom variants).
std::string WriteFEN(const TGameParams& params, const TBrd& cells, int sideToMove);

}  // namespace quorlin
