// Moves as the protocols carry them: standard numbers, texts, and finding the
// legal move a received from/to/captured set names.
#include "app/wiremove.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

TBoard FromFen(int variant, const std::string& fen, TDColor& side) {
  TBoard b;
  int s = 0;
  ParseFEN(VariantTable[variant], fen, b.b, s);
  side = s == 0 ? TDColor::white : TDColor::black;
  return b;
}

std::vector<TMove> Legal(const TBoard& b, TDColor side, const TGameParams& p) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(b, static_cast<int>(side), list, n, p, true);
  return std::vector<TMove>(list.begin() + 1, list.begin() + 1 + n);
}

TEST(WireMove, SquaresFollowTheStandardNumbering) {
  for (int variant : {kInternational, kFrisian, kInternationalKiller}) {
    const TGameParams& p = VariantTable[variant];
    for (int n = 1; n <= 50; ++n) {
      SCOPED_TRACE(n);
      const int sq = InternalSquare(p, n);
      ASSERT_NE(sq, 0);
      EXPECT_EQ(WireSquare(p, sq), n);
    }
    EXPECT_EQ(InternalSquare(p, 0), 0);
    EXPECT_EQ(InternalSquare(p, 51), 0);
  }
  // White starts on 31..50: internal squares 1..20.
  EXPECT_EQ(WireSquare(VariantTable[kInternational], 1), 46);
}

struct TextCase {
  std::string text;
  bool ok;
  TWireMove move;
};

class WireMoveTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(WireMoveTextTest, Reads) {
  const TextCase& c = GetParam();
  TWireMove m;
  std::string error;
  ASSERT_EQ(ParseWireMoveText(c.text, m, error), c.ok) << error;
  if (c.ok) {
    EXPECT_EQ(m, c.move);
  } else {
    EXPECT_NE(error.find(c.text), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, WireMoveTextTest,
                         testing::Values(TextCase{"32-28", true, {32, 28, {}}},
                                         TextCase{"28x19x23", true, {28, 19, {23}}},
                                         TextCase{"28x19", true, {28, 19, {}}},
                                         TextCase{"16x16x11x13x29", true, {16, 16, {11, 13, 29}}},
                                         TextCase{"46X5x41", true, {46, 5, {41}}}, TextCase{"32", false, {}},
                                         TextCase{"32-", false, {}}, TextCase{"a3-b4", false, {}},
                                         TextCase{"32-28 ", false, {}}, TextCase{"1234-5", false, {}}));

TEST(WireMove, EveryLegalMoveSurvivesTheRoundTrip) {
  struct Pos {
    int variant;
    const char* fen;
  };
  const Pos positions[] = {
      {kInternational,
       "W:W31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50:B1,2,3,4,5,6,7,8,9,10,"
       "11,12,13,14,15,16,17,18,19,20"},
      {kInternational, "W:W14,K16,39,48:B11,13,21,23,29,36"},
      {kInternational, "B:W28,32,33,K45:B12,18,19,23,K5"},
      {kFrisian, "W:W28,33,K40:B18,22,23,K3"},
      {kInternationalKiller, "W:WK46,28:BK10,23,19"},
  };
  for (const Pos& pos : positions) {
    SCOPED_TRACE(pos.fen);
    const TGameParams& p = VariantTable[pos.variant];
    TDColor side;
    const TBoard b = FromFen(pos.variant, pos.fen, side);
    const std::vector<TMove> legal = Legal(b, side, p);
    ASSERT_FALSE(legal.empty());
    for (const TMove& m : legal) {
      const TWireMove w = ToWireMove(m, p);
      TWireMove back;
      std::string error;
      ASSERT_TRUE(ParseWireMoveText(WireMoveText(w), back, error)) << error;
      const TWireMatch found = MatchWireMove(back, b, side, p);
      ASSERT_EQ(found.kind, TWireMatchKind::Found) << WireMoveText(w);
      EXPECT_EQ(found.move.From(), m.From());
      EXPECT_EQ(found.move.To(), m.To());
      EXPECT_TRUE(SameCapture(found.move, m)) << WireMoveText(w);
      // The captured squares may come in any order.
      std::reverse(back.captured.begin(), back.captured.end());
      EXPECT_EQ(MatchWireMove(back, b, side, p).kind, TWireMatchKind::Found) << WireMoveText(back);
    }
  }
}

// A king that can take three pieces in two different loops back to its own
// square: from/to alone cannot tell the two captures apart.
TEST(WireMove, CapturedSetsDecideBetweenCapturesWithTheSameSquares) {
  const TGameParams& p = VariantTable[kInternational];
  TDColor side;
  const TBoard b = FromFen(kInternational, "W:W14,K16,39,48:B11,13,21,23,29,36", side);
  const std::vector<TMove> legal = Legal(b, side, p);
  ASSERT_EQ(legal.size(), 2u);
  const TWireMove a = ToWireMove(legal[0], p), c = ToWireMove(legal[1], p);
  ASSERT_EQ(a.from, 16);
  ASSERT_EQ(a.to, 16);
  ASSERT_EQ(c.to, 16);

  // Each full set finds its own move.
  TWireMatch m = MatchWireMove(a, b, side, p);
  ASSERT_EQ(m.kind, TWireMatchKind::Found);
  EXPECT_TRUE(SameCapture(m.move, legal[0]));
  m = MatchWireMove(c, b, side, p);
  ASSERT_EQ(m.kind, TWireMatchKind::Found);
  EXPECT_TRUE(SameCapture(m.move, legal[1]));

  // Without captured squares, or with only the ones both take: ambiguous.
  std::vector<int> common;
  for (int x : a.captured)
    if (std::find(c.captured.begin(), c.captured.end(), x) != c.captured.end()) common.push_back(x);
  for (const std::vector<int>& given : {std::vector<int>{}, common}) {
    const TWireMove partial{16, 16, given};
    m = MatchWireMove(partial, b, side, p);
    EXPECT_EQ(m.kind, TWireMatchKind::Ambiguous) << WireMoveText(partial);
    EXPECT_EQ(m.candidates.size(), 2u);
    const std::string problem = WireMatchProblem(m, partial, p);
    EXPECT_NE(problem.find("ambiguous move 16x16"), std::string::npos) << problem;
    EXPECT_NE(problem.find(WireMoveText(a)), std::string::npos) << problem;
    EXPECT_NE(problem.find(WireMoveText(c)), std::string::npos) << problem;
  }
  // A square only one of them takes settles it.
  for (int x : a.captured) {
    if (std::find(common.begin(), common.end(), x) != common.end()) continue;
    m = MatchWireMove(TWireMove{16, 16, {x}}, b, side, p);
    ASSERT_EQ(m.kind, TWireMatchKind::Found);
    EXPECT_TRUE(SameCapture(m.move, legal[0]));
  }
}

TEST(WireMove, WhatFitsNoLegalMoveIsIllegal) {
  const TGameParams& p = VariantTable[kInternational];
  TDColor side;
  const TBoard b = FromFen(kInternational, "W:W14,K16,39,48:B11,13,21,23,29,36", side);
  const TWireMove full = ToWireMove(Legal(b, side, p)[0], p);
  std::vector<TWireMove> wrong = {
      {39, 33, {}},                // a quiet move while a capture is due
      {16, 16, {11, 13, 29, 36}},  // one piece too many
      {16, 16, {full.captured[0], full.captured[0], full.captured[1]}},  // a square twice
      {16, 16, {full.captured[0], full.captured[1], 0}},                 // off the board
      {60, 16, full.captured},                                           // start off the board
      {14, 16, full.captured},                                           // another piece
  };
  for (const TWireMove& w : wrong) {
    const TWireMatch m = MatchWireMove(w, b, side, p);
    EXPECT_EQ(m.kind, TWireMatchKind::NotLegal) << WireMoveText(w);
    EXPECT_EQ(WireMatchProblem(m, w, p), "illegal move " + WireMoveText(w));
  }
}

}  // namespace
}  // namespace quorlin
