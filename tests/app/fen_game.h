#pragma once
// A game record starting from a FEN position, for the protocol tests.
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/variants.h"

namespace quorlin::test {

inline TGame GameFromFen(const char* fen, int variant = kInternational) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[variant];
  g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  int side = 0;
  ParseFEN(g.Params, fen, g.CurBoard.b, side);
  g.StartBoard = g.CurBoard.b;
  g.SideToMove = side == 0 ? TDColor::white : TDColor::black;
  g.Header.FirstMove = g.SideToMove;
  return g;
}

}  // namespace quorlin::test
