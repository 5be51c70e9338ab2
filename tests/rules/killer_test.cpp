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
using movetexts::MoveTexts;
using movetexts::Sorted;

struct KillerCase {
  const char* name;
  const char* fen;                 // International numbering
  std::vector<std::string> moves;  // every legal move
};

void PrintTo(const KillerCase& c, std::ostream* os) { *os << c.name << " " << c.fen; }

class KillerLanding : public testing::TestWithParam<KillerCase> {};

TEST_P(KillerLanding, SquareListGeneratorListsExactlyTheLegalMoves) {
  const KillerCase& c = GetParam();
  const TGameParams& p = VariantTable[kInternationalKiller];
  int side = 0;
  const TBoard board = BoardOf(p, c.fen, side);
  EXPECT_EQ(MoveTexts(p, board, side), Sorted(c.moves)) << c.fen;
}

TEST_P(KillerLanding, BitboardGeneratorListsTheSamePositions) {
  const KillerCase& c = GetParam();
  int side = 0;
  const TBoard board = BoardOf(VariantTable[kInternationalKiller], c.fen, side);
  EXPECT_EQ(bbcheck::CompareGenerators(board, side, kInternationalKiller), "");
  EXPECT_EQ(bbcheck::BitboardChildren(board, side, kInternationalKiller).size(), c.moves.size());
}

INSTANTIATE_TEST_SUITE_P(
    Positions, KillerLanding,
    testing::Values(
        KillerCase{"KingTakenLastLandsDirectlyBehind", "W:WK46:BK28", {"46x23"}},
        // From 19 the king goes on over 24; the man is taken last, so any
        // square behind it will do.
        KillerCase{"KingTakenThenGoesOnFromFartherSquare", "W:WK46:BK28,24", {"46x19x30", "46x19x35"}},
        KillerCase{"ManTakenLastLandsAnywhere", "W:WK46:B28", {"46x23", "46x19", "46x14", "46x10", "46x5"}},
        KillerCase{"ManThenKingLastLandsBehind", "W:WK46:B28,K24", {"46x19x30"}},
        // The king taken first leaves two landing squares that both go on along
        // the same line; the same capture by either is listed once.
        KillerCase{"KingThenManAlongTheSameLine", "W:WK46:BK32,19", {"46x28x14", "46x28x10", "46x28x5"}},
        // Two pieces beat one whatever the landing rule; both two-piece
        // captures stay, each with its own landing squares.
        KillerCase{"MajorityAcrossLandingRules", "W:WK46,15:B28,K24,10", {"46x23x5", "46x19x30"}},
        KillerCase{"TwoKingsEachEndBehindAKing", "W:WK46,K45:BK28,K34", {"46x23x40", "45x23x32"}},
        KillerCase{"BlackToMove", "B:WK23,27:BK5", {"5x32x21", "5x32x16"}}),
    [](const testing::TestParamInfo<KillerCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorlin
