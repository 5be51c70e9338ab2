// Frisian rules as Frisian players know them: the capture of highest value is
// compulsory (a king counts one and a half men), and a king may make at most
// three quiet moves in a row while its side still has men.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "move_texts.h"
#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using movetexts::BoardOf;
using movetexts::CaseName;
using movetexts::ExpectMoves;
using movetexts::MoveCase;
using movetexts::MoveTexts;

const TGameParams& Frisian() { return VariantTable[kFrisian]; }

// --- Capture by value ------------------------------------------------------------

// Positions in International numbering.
class FrisianCaptureValue : public testing::TestWithParam<MoveCase> {};

TEST_P(FrisianCaptureValue, ListsOnlyTheCapturesOfHighestValue) { ExpectMoves(kFrisian, GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Positions, FrisianCaptureValue,
    testing::Values(
        // The man's capture of a king (value 1.5) beats the king's capture of a
        // man (value 1): what is taken counts before who takes it.
        MoveCase{"ManTakingKingBeatsKingTakingMan", "W:WK3,12:B2,K7", {"12x1"}},
        // Three kings by the king (4.5, three kings) against three men and a
        // king by the man on 45 (4.5, one king): more kings at equal value.
        MoveCase{"MoreKingsAtEqualValue",
                 "W:WK22,45:BK23,K28,K30,35,40,44",
                 {"22x39x25x22", "22x39x25x21", "22x25x39x17", "22x25x39x11", "22x25x39x6", "22x25x48x18",
                  "22x25x48x8"}},
        // One man each: at equal value the king must capture.
        MoveCase{"KingCapturesAtEqualValue", "W:W33,K50:B28,44", {"50x39"}},
        // Equal value, both by men: both stay.
        MoveCase{"EqualMenCapturesBothListed", "W:W33,38:B28,32", {"38x27x29", "33x22x42"}},
        // Two kings (3) outweigh three men (3).
        MoveCase{"TwoKingsOutweighThreeMen", "W:W45,47:B40,29,18,K42,K32", {"47x38x27"}},
        // Three kings (4.5) against four men (4): fewer pieces, more value.
        MoveCase{"FewerPiecesMoreValue", "W:W47,50:BK42,K33,K23,40,20,9,7", {"47x38x29x18"}},
        // The man takes two kings (3), the king three men (3): the kings taken
        // decide before the king's priority does.
        MoveCase{"KingsTakenBeforeKingPriority", "W:WK18,50:B7,20,K24,28,33,K40,K41,45", {"50x30x19"}},
        // One capture along the file, the file again, the row and a diagonal.
        MoveCase{"OrthogonalAndDiagonalInOneCapture", "W:W50,46:B40,20,9,12,41", {"50x30x10x8x17"}},
        MoveCase{"BlackToMove", "B:W49,K44:BK48,39", {"39x50"}}),
    CaseName);

// --- Three-move king rule ------------------------------------------------------------

// Plays moves given as path texts ("50-44") from a FEN, each of which must be
// legal in turn; `board` and `side` get the position after the last one.
void PlayLine(const std::string& fen, const std::vector<std::string>& line, TBoard& board, int& side) {
  const TGameParams& p = Frisian();
  board = BoardOf(p, fen, side);
  for (const std::string& text : line) {
    TMvs list;
    uint8_t count = 0;
    GenerateMoves(board, side, list, count, p, true);
    int found = 0;
    for (int i = 1; i <= count && !found; ++i) {
      std::string t;
      MovePathText(list[i], p, kStyleShort, t, false, "x");
      if (t == text) found = i;
    }
    ASSERT_NE(found, 0) << text << " is not legal after the moves before it";
    ApplyMove(list[found], board, p);
    side = 1 - side;
  }
}

bool Contains(const std::vector<std::string>& moves, const std::string& move) {
  return std::find(moves.begin(), moves.end(), move) != moves.end();
}

TEST(FrisianThreeMoveRule, KingRestsAfterThreeQuietMovesWhileItsSideHasMen) {
  TBoard board;
  int side = 0;
  PlayLine("W:WK50,36:BK5", {"50-44", "5-10", "44-50", "10-5", "50-44", "5-10"}, board, side);
  ASSERT_FALSE(HasFatalFailure());
  // The king on 44 has moved three times in a row: only the man may move.
  EXPECT_EQ(MoveTexts(Frisian(), board, side), (std::vector<std::string>{"36-31"}));

  // A man move starts the count again.
  PlayLine("W:WK50,36:BK5", {"50-44", "5-10", "44-50", "10-5", "50-44", "5-10", "36-31", "10-5"}, board,
           side);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(Contains(MoveTexts(Frisian(), board, side), "44-50"));
}

TEST(FrisianThreeMoveRule, SideWithKingsOnlyMovesTheSameKingFreely) {
  // Two white kings and no men: the king on 50 moves five times in a row.
  TBoard board;
  int side = 0;
  PlayLine("W:WK50,K1:BK5", {"50-44", "5-10", "44-50", "10-5", "50-44", "5-10", "44-50", "10-5", "50-44"},
           board, side);
  ASSERT_FALSE(HasFatalFailure());
  // Nothing is counted for a side without men, so equal positions stay equal.
  EXPECT_EQ(board.nmpiece[0], 0);
  EXPECT_EQ(board.nmcount[0], 0);
}

TEST(FrisianThreeMoveRule, KingMovesAgainOnceItsSideHasLostItsLastMan) {
  // The counters say the king on 44 made three moves, but its side has no man
  // left (the last one was taken meanwhile).
  int side = 0;
  TBoard board = BoardOf(Frisian(), "W:WK44,K1:BK5", side);
  const uint8_t at44 = static_cast<uint8_t>(FENNumberToSquare(Frisian(), 44));
  board.nmpiece[0] = at44;
  board.nmcount[0] = 3;
  EXPECT_TRUE(Contains(MoveTexts(Frisian(), board, side), "44-50"));
  // With a man on the board the same king rests.
  board = BoardOf(Frisian(), "W:WK44,K1,36:BK5", side);
  board.nmpiece[0] = at44;
  board.nmcount[0] = 3;
  EXPECT_FALSE(Contains(MoveTexts(Frisian(), board, side), "44-50"));
}

}  // namespace
}  // namespace quorlin
