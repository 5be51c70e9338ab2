#pragma once
// Rule tables written as players write them: a position as FEN and the legal
// moves as paths in the variant's own notation ("12x1", "46x19x30").
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin::movetexts {

// The position of a FEN read leniently (tables hold well-formed FENs).
inline TBoard BoardOf(const TGameParams& params, const std::string& fen, int& side) {
  TBoard board;
  ParseFEN(params, fen, board.b, side);
  return board;
}

// Every legal move of `side` as start and landing squares joined by "x" (or
// "-" for a quiet move), sorted.
inline std::vector<std::string> MoveTexts(const TGameParams& params, const TBoard& board, int side,
                                          bool dedupe = true) {
  auto list = std::make_unique<TMvs>();
  uint8_t count = 0;
  GenerateMoves(board, side, *list, count, params, dedupe);
  std::vector<std::string> out;
  for (int i = 1; i <= count; ++i) {
    std::string text;
    MovePathText((*list)[i], params, kStyleShort, text, false, "x");
    out.push_back(text);
  }
  std::sort(out.begin(), out.end());
  return out;
}

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// One row of a rule table: a position and every legal move in it.
struct MoveCase {
  const char* name;
  const char* fen;
  std::vector<std::string> moves;
};

inline void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name << " " << c.fen; }

// Test names of a table of MoveCase rows.
inline std::string CaseName(const testing::TestParamInfo<MoveCase>& info) { return info.param.name; }

// Checks that `variant` lists exactly the row's moves.
inline void ExpectMoves(int variant, const MoveCase& c) {
  const TGameParams& p = VariantTable[variant];
  int side = 0;
  const TBoard board = BoardOf(p, c.fen, side);
  EXPECT_EQ(MoveTexts(p, board, side), Sorted(c.moves)) << c.fen;
}

}  // namespace quorlin::movetexts
