// The 64-bit generator against the square-list generator on many positions:
// deeper start trees and 100 000 random positions per variant.
#include <gtest/gtest.h>

#include <string>

#include "bitboard_check.h"
#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using bbcheck::CompareGenerators;

class BitMoveGenSlow : public testing::TestWithParam<int> {};

std::string VariantName(const testing::TestParamInfo<int>& info) {
  std::string name = VariantTable[info.param].Name;
  std::erase(name, ' ');
  return name;
}

void WalkTree(const TBoard& board, int side, int depth, int variant, long& nodes, std::string& diff) {
  if (!diff.empty()) return;
  ++nodes;
  diff = CompareGenerators(board, side, variant);
  if (!diff.empty() || depth == 0) return;
  for (const TBitBoard64& child : bbcheck::BitboardChildren(board, side, variant)) {
    TBoard next;
    Bit64toBoard(child, next.b, variant);
    WalkTree(next, 1 - side, depth - 1, variant, nodes, diff);
  }
}

TEST_P(BitMoveGenSlow, StartTree) {
  const int variant = GetParam();
  const TGameParams& p = VariantTable[variant];
  TBoard start;
  start.b = StartPosition(p, false);
  const int depth = p.compute.BoardSize == 32 ? 7 : 6;
  long nodes = 0;
  std::string diff;
  WalkTree(start, 0, depth, variant, nodes, diff);
  EXPECT_EQ(diff, "");
}

TEST_P(BitMoveGenSlow, RandomPositions) {
  const int variant = GetParam();
  const TGameParams& p = VariantTable[variant];
  TRandom rng(0x5EED0000u + variant);
  int compared = 0, captures = 0;
  for (int i = 0; i < 100000; ++i) {
    uint8_t wm, bm, wk, bk;
    bbcheck::RandomComposition(rng, p, i, wm, bm, wk, bk);
    TBoard board;
    std::string error;
    ASSERT_TRUE(GeneratePosition(wm, bm, wk, bk, board.b, false, false, false, p, rng, &error)) << error;
    for (int side = 0; side < 2; ++side) {
      bool full = false;
      const std::string diff = CompareGenerators(board, side, variant, &full);
      ASSERT_EQ(diff, "");
      compared += !full;
    }
    TBitBoard64 bits;
    BoardToBit64(board, bits, variant);
    captures += CapturingPieces64(bits, variant) != 0;
  }
  EXPECT_GT(compared, 199000);
  EXPECT_GT(captures, 10000);  // the captures, not only quiet moves, were exercised
}

INSTANTIATE_TEST_SUITE_P(Variants, BitMoveGenSlow, testing::ValuesIn(bbcheck::BitboardVariants()),
                         VariantName);

}  // namespace
}  // namespace quorlin
