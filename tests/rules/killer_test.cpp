// International Killer: a capture that ends by taking a king ends on the
// square directly behind it. A king that takes a king and can go on capturing
// from a farther landing square goes on as in International draughts; only
// the last capture of the sequence is restricted. Both generators are checked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitboard_check.h"
#include "move_texts.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using movetexts::BoardOf;
using movetexts::CaseName;
using movetexts::ExpectMoves;
using movetexts::MoveCase;

// Positions in International numbering.
class KillerLanding : public testing::TestWithParam<MoveCase> {};

TEST_P(KillerLanding, SquareListGeneratorListsExactlyTheLegalMoves) {
  ExpectMoves(kInternationalKiller, GetParam());
}

TEST_P(KillerLanding, BitboardGeneratorListsTheSamePositions) {
  const MoveCase& c = GetParam();
  int side = 0;
  const TBoard board = BoardOf(VariantTable[kInternationalKiller], c.fen, side);
  EXPECT_EQ(bbcheck::CompareGenerators(board, side, kInternationalKiller), "");
  EXPECT_EQ(bbcheck::BitboardChildren(board, side, kInternationalKiller).size(), c.moves.size());
}

INSTANTIATE_TEST_SUITE_P(
    Positions, KillerLanding,
    testing::Values(
        MoveCase{"KingTakenLastLandsDirectlyBehind", "W:WK46:BK28", {"46x23"}},
        // From 19 the king goes on over 24; the man is taken last, so any
        // square behind it will do.
        MoveCase{"KingTakenThenGoesOnFromFartherSquare", "W:WK46:BK28,24", {"46x19x30", "46x19x35"}},
        MoveCase{"ManTakenLastLandsAnywhere", "W:WK46:B28", {"46x23", "46x19", "46x14", "46x10", "46x5"}},
        MoveCase{"ManThenKingLastLandsBehind", "W:WK46:B28,K24", {"46x19x30"}},
        // The king taken first leaves two landing squares that both go on along
        // the same line; the same capture by either is listed once.
        MoveCase{"KingThenManAlongTheSameLine", "W:WK46:BK32,19", {"46x28x14", "46x28x10", "46x28x5"}},
        // Two pieces beat one whatever the landing rule; both two-piece
        // captures stay, each with its own landing squares.
        MoveCase{"MajorityAcrossLandingRules", "W:WK46,15:B28,K24,10", {"46x23x5", "46x19x30"}},
        MoveCase{"TwoKingsEachEndBehindAKing", "W:WK46,K45:BK28,K34", {"46x23x40", "45x23x32"}},
        MoveCase{"BlackToMove", "B:WK23,27:BK5", {"5x32x21", "5x32x16"}}),
    CaseName);

}  // namespace
}  // namespace quorlin
