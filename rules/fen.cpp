#include "rules/fen.h"

namespace quorlin {

// Placeholder until the FEN reader lands: an empty board, White to move.
void ParseFEN(const TGameParams&, const std::string&, TBrd& cells, int& sideToMove) {
  cells.fill(0);
  sideToMove = 0;
}

}  // namespace quorlin
