#include "app/boardinput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/movegen.h"
#include "rules/notation.h"

namespace quorlin {
namespace {

// Pieces as "wc3" (white man), "Wc3" (white king), "bd4", "Bd4"; squares by
// their alphanumeric names.
TBoard Position(const TGameParams& p, const std::vector<std::string>& pieces) {
  TBoard b;
  for (const std::string& s : pieces) {
    const int sq = FindAlphaSquare(p, s.substr(1));
    EXPECT_NE(sq, 0) << s;
    b.b[sq] = s[0] == 'w' ? kWhiteMan : s[0] == 'W' ? kWhiteKing : s[0] == 'b' ? kBlackMan : kBlackKing;
  }
  return b;
}

TBoard StartBoard(const TGameParams& p) {
  TBoard b;
  b.b = StartPosition(p, true);
  return b;
}

// Start and landing squares: "c3-d4", "c3:e5:c7".
std::string Path(const TGameParams& p, const TMove& m) {
  std::string out = SquareText(m.mv[0], p, kStyleExtended, true);
  if (m.lt == 0) return out + "-" + SquareText(m.mv[1], p, kStyleExtended, true);
  for (int i = 1; i <= m.lt; ++i) out += ":" + SquareText(m.mv[2 * i], p, kStyleExtended, true);
  return out;
}

struct TapCase {
  const char* name;
  int variant;
  std::vector<std::string> pieces;  // empty: the start position
  TDColor side;
  std::vector<std::string> taps;
  std::string played;  // the move the last tap plays; "" when none is played
};

void PrintTo(const TapCase& c, std::ostream* os) { *os << c.name; }

class TapSequence : public testing::TestWithParam<TapCase> {};

TEST_P(TapSequence, PlaysTheOneMoveTheTapsAllow) {
  const TapCase& c = GetParam();
  const TGameParams& p = VariantTable[c.variant];
  const TBoard board = c.pieces.empty() ? StartBoard(p) : Position(p, c.pieces);
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, static_cast<int>(c.side), list, count, p, true);
  TTapRing ring;
  std::optional<TMove> played;
  for (size_t i = 0; i < c.taps.size(); ++i) {
    const int sq = FindAlphaSquare(p, c.taps[i]);
    ASSERT_NE(sq, 0) << c.taps[i];
    played = ring.Tap(sq, list, count);
    if (i + 1 < c.taps.size()) ASSERT_FALSE(played) << "tap " << c.taps[i] << " already played a move";
  }
  if (c.played.empty()) {
    EXPECT_FALSE(played);
  } else {
    ASSERT_TRUE(played);
    EXPECT_EQ(Path(p, *played), c.played);
    EXPECT_EQ(ring.Newest(0), 0) << "the ring is cleared after a move";
  }
}

// Two captures from c3 that both end on c7, over d4/d6 or over b4/b6 (men that
// do not capture backwards, so that neither route goes on around the square).
const std::vector<std::string> kTwoRoutes = {"wc3", "bd4", "bd6", "bb4", "bb6", "bh8"};

INSTANTIATE_TEST_SUITE_P(
    Variants, TapSequence,
    testing::Values(
        TapCase{"RussianStartAndDestination", kRussian, {}, TDColor::white, {"c3", "d4"}, "c3-d4"},
        TapCase{"RussianDestinationThenStart", kRussian, {}, TDColor::white, {"d4", "c3"}, "c3-d4"},
        TapCase{"RussianPieceWithTwoMovesWaits", kRussian, {}, TDColor::white, {"c3"}, ""},
        TapCase{"RussianOnlyMoveOfAPiece", kRussian, {}, TDColor::white, {"a3"}, "a3-b4"},
        TapCase{"RussianStrayTapThenOneMove", kRussian, {}, TDColor::white, {"h8", "a3"}, "a3-b4"},
        TapCase{"EnglishSameLandingTwoRoutesWait", kEnglish, kTwoRoutes, TDColor::white, {"c3", "c7"}, ""},
        TapCase{"EnglishCapturedPieceChoosesRoute",
                kEnglish,
                kTwoRoutes,
                TDColor::white,
                {"c3", "c7", "d4"},
                "c3:e5:c7"},
        TapCase{"EnglishLandingChoosesRoute", kEnglish, kTwoRoutes, TDColor::white, {"a5"}, "c3:a5:c7"},
        TapCase{
            "RussianUniqueCaptureOneTap", kRussian, {"wc3", "bd4", "bh8"}, TDColor::white, {"e5"}, "c3:e5"},
        TapCase{"EnglishBlackMovesFirstSide", kEnglish, {}, TDColor::white, {"c3", "b4"}, "c3-b4"},
        TapCase{"InternationalStart", kInternational, {}, TDColor::white, {"d4", "e5"}, "d4-e5"},
        TapCase{"InternationalKingLongMove",
                kInternational,
                {"Wa1", "bk10"},
                TDColor::white,
                {"a1", "f6"},
                "a1-f6"},
        TapCase{"TurkishSideways", kTurkish, {"wd3", "bh8"}, TDColor::white, {"d3", "e3"}, "d3-e3"},
        TapCase{"TurkishForward", kTurkish, {"wd3", "bh8"}, TDColor::white, {"d4"}, "d3-d4"},
        TapCase{"CanadianStart", kCanadian, {}, TDColor::white, {"e5", "f6"}, "e5-f6"},
        TapCase{"SpantsirettiStart", kSpantsiretti, {}, TDColor::white, {"c3", "d4"}, "c3-d4"}),
    [](const auto& info) { return std::string(info.param.name); });

// Captures whose paths hold the same squares are told apart by the order of
// the taps on start and landing squares.
TEST(TapRing, OrderOfLandingTapsChoosesBetweenCapturesOverTheSameSquares) {
  TMvs list;
  list[1].lt = 2;
  list[1].mv = {1, 5, 10, 14, 19};
  list[2].lt = 2;
  list[2].mv = {1, 14, 19, 5, 10};
  for (auto [taps, expected] :
       std::vector<std::pair<std::vector<int>, int>>{{{1, 10, 19}, 1}, {{1, 19, 10}, 2}}) {
    TTapRing ring;
    std::optional<TMove> played;
    for (int t : taps) played = ring.Tap(t, list, 2);
    ASSERT_TRUE(played);
    EXPECT_EQ(played->mv, list[expected].mv);
  }
}

// The legal moves of the Russian start position.
class RussianStart : public testing::Test {
 protected:
  void SetUp() override { GenerateMoves(StartBoard(p), 0, list, count, p, true); }
  const TGameParams& p = VariantTable[kRussian];
  TMvs list;
  uint8_t count = 0;
};

TEST_F(RussianStart, ReachableSquaresOfTheTappedPiece) {
  TTapRing ring;
  ring.Tap(FindAlphaSquare(p, "c3"), list, count);
  std::vector<std::string> names;
  for (int s : ring.Reachable(list, count)) names.push_back(SquareText(s, p, kStyleExtended, true));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"b4", "d4"}));
  ring.Tap(FindAlphaSquare(p, "h8"), list, count);  // a square no move starts on
  EXPECT_TRUE(ring.Reachable(list, count).empty());
}

TEST_F(RussianStart, WrapsAroundAfterFortyOneTaps) {
  TTapRing ring;
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(ring.Tap(FindAlphaSquare(p, "h8"), list, count));
  const auto played = ring.Tap(FindAlphaSquare(p, "a3"), list, count);
  ASSERT_TRUE(played);
  EXPECT_EQ(Path(p, *played), "a3-b4");
}

TEST(MoveSteps, CaptureShownStepByStepEndsOnTheAppliedBoard) {
  const TGameParams& p = VariantTable[kEnglish];
  const TBoard board = Position(p, kTwoRoutes);
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, 0, list, count, p, true);
  ASSERT_GE(count, 1);
  const TMove& m = list[1];
  ASSERT_EQ(m.lt, 2);
  const std::vector<TBoard> steps = MoveSteps(board, m, p);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].b[m.mv[2]], kWhiteMan);
  EXPECT_EQ(steps[0].b[m.mv[0]], kEmpty);
  EXPECT_EQ(steps[0].b[m.mv[1]], kBlackMan) << "captured pieces leave the board when the move ends";
  EXPECT_EQ(steps[0].b[m.mv[3]], kBlackMan);
  TBoard applied = board;
  ApplyMove(m, applied, p);
  EXPECT_EQ(steps.back(), applied);
}

TEST(MoveSteps, TurkishRemovesEachCapturedPieceAtOnce) {
  const TGameParams& p = VariantTable[kTurkish];
  const TBoard board = Position(p, {"wd2", "bd3", "bd5", "bh8"});
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, 0, list, count, p, true);
  ASSERT_EQ(count, 1);
  ASSERT_EQ(list[1].lt, 2);
  const std::vector<TBoard> steps = MoveSteps(board, list[1], p);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].b[FindAlphaSquare(p, "d3")], kEmpty);
  EXPECT_EQ(steps[0].b[FindAlphaSquare(p, "d5")], kBlackMan);
  EXPECT_EQ(steps[1].b[FindAlphaSquare(p, "d5")], kEmpty);
}

}  // namespace
}  // namespace quorlin
