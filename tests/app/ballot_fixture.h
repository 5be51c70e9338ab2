#pragma once
// Small ballot databases for the tests: each line is a list of moves in the
// full notation ("c3-d4") played from the variant's start position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin::test {

// The legal move of the game's side to move written `text` in the full style.
inline bool FindMoveByText(const TGame& g, const std::string& text, TMove& move) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, n, g.Params, true);
  for (int i = 1; i <= n; ++i) {
    if (MoveText(list[i], g.Params, kStyleFull, "x") == text) {
      move = list[i];
      return true;
    }
  }
  return false;
}

inline TGame GameOfLine(int variant, const std::vector<std::string>& line) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[variant];
  g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  g.CurBoard.b = StartPosition(g.Params, false);
  g.StartBoard = g.CurBoard.b;
  for (const std::string& text : line) {
    TMove m;
    EXPECT_TRUE(FindMoveByText(g, text, m)) << text;
    const int node = AddMove(g, m, g.CurMovPos);
    g.CurMovPos = node;
    ApplyMove(m, g.CurBoard, g.Params);
    g.SideToMove = g.SideToMove == TDColor::white ? TDColor::black : TDColor::white;
  }
  return g;
}

inline void WriteBallotDatabase(const std::string& path, int variant,
                                const std::vector<std::vector<std::string>>& lines) {
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(path, db)) << db.LastError;
  for (const auto& line : lines) {
    TGame g = GameOfLine(variant, line);
    g.Tournament = "Ballots";
    ASSERT_TRUE(WriteGame(g, 0, db, true)) << db.LastError;
  }
  ASSERT_TRUE(CloseDatabase(db)) << db.LastError;
}

}  // namespace quorlin::test
