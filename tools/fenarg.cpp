// The --fen argument of the commands: a FEN as users and files write it, read
// strictly, because a command that quietly works on some other position than the
// one asked for would mislead.
#include <string>

#include "rules/fen.h"
#include "tools/command.h"

namespace quorlin::cli {

void ReadFenArg(const TGameParams& params, const std::string& text, TBoard& board, int& side) {
  TBrd cells{};
  std::string error;
  if (!ReadFEN(params, text, cells, side, error)) throw UsageError{"bad FEN \"" + text + "\": " + error};
  board = TBoard{};
  board.b = cells;
}

}  // namespace quorlin::cli
