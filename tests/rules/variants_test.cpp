#include <gtest/gtest.h>

#include <set>

#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

struct StartRow {
  int slot;
  bool standard;
  int whiteFrom, whiteTo, blackFrom, blackTo;
};

class StartPositionTest : public testing::TestWithParam<StartRow> {};

TEST_P(StartPositionTest, MenStandExactlyOnTheTableSquares) {
  const StartRow& row = GetParam();
  const TGameParams& p = VariantTable[row.slot];
  const TBrd cells = StartPosition(p, row.standard);
  for (int s = 1; s <= kMaxSquares; ++s) {
    int8_t want = kEmpty;
    if (s >= row.whiteFrom && s <= row.whiteTo) want = kWhiteMan;
    if (s >= row.blackFrom && s <= row.blackTo) want = kBlackMan;
    EXPECT_EQ(cells[s], want) << p.Name << " square " << s;
  }
  EXPECT_EQ(cells[0], 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllVariants, StartPositionTest,
    testing::Values(StartRow{kRussian, false, 1, 12, 21, 32}, StartRow{kEnglish, false, 1, 12, 21, 32},
                    StartRow{kBrazilian, false, 1, 12, 21, 32}, StartRow{kPool, false, 1, 12, 21, 32},
                    StartRow{kItalian, false, 1, 12, 21, 32},
                    StartRow{kInternational, false, 1, 20, 31, 50}, StartRow{kCzech, false, 1, 12, 21, 32},
                    StartRow{kSpanish, false, 1, 12, 21, 32}, StartRow{kFrisian, false, 1, 20, 31, 50},
                    StartRow{kSpantsiretti, false, 1, 15, 26, 40}, StartRow{kCanadian, false, 1, 30, 43, 72},
                    StartRow{kThai, false, 1, 8, 25, 32}, StartRow{kThai, true, 1, 12, 21, 32},
                    StartRow{kTurkish, false, 9, 24, 41, 56},
                    StartRow{kInternationalKiller, false, 1, 20, 31, 50}),
    [](const testing::TestParamInfo<StartRow>& info) {
      std::string name = VariantTable[info.param.slot].Name + (info.param.standard ? "Standard" : "");
      std::erase(name, ' ');
      return name;
    });

TEST(VariantTable, GeometryAndIdentity) {
  struct Row {
    int slot;
    const char* name;
    int pdn, size, w;
  };
  const Row rows[] = {
      {1, "Russian", 25, 32, 4},        {2, "English", 21, 32, 4},      {3, "Brazilian", 26, 32, 4},
      {4, "Pool", 23, 32, 4},           {5, "Italian", 22, 32, 4},      {6, "International", 20, 50, 5},
      {7, "Czech", 29, 32, 4},          {8, "Spanish", 24, 32, 4},      {9, "Frisian", 40, 50, 5},
      {10, "Spantsiretti", 41, 40, 5},  {11, "Canadian", 27, 72, 6},    {12, "Thai", 31, 32, 4},
      {13, "Turkish", 30, 64, 8},       {14, "International Killer", 20, 50, 5},
  };
  for (const Row& r : rows) {
    const TGameParams& p = VariantTable[r.slot];
    EXPECT_EQ(p.Name, r.name);
    EXPECT_EQ(p.TypeOfGame, r.slot);
    EXPECT_EQ(p.PDNGameType, r.pdn) << r.name;
    EXPECT_EQ(p.compute.BoardSize, r.size) << r.name;
    EXPECT_EQ(p.compute.BoardWidthReal, r.w) << r.name;
    EXPECT_TRUE(p.FEN.empty());
  }
  EXPECT_FALSE(VariantTable[kEnglish].intface.WhiteStart);
  EXPECT_FALSE(VariantTable[kPool].intface.WhiteStart);
  EXPECT_TRUE(VariantTable[kItalian].intface.BoardMirrored);
  EXPECT_TRUE(VariantTable[kSpanish].intface.PlayOnWhite);
  EXPECT_EQ(VariantTable[0].compute.BoardSize, 0);
  EXPECT_EQ(VariantTable[0].Name, "");
  EXPECT_EQ(VariantTable[kThai].FlyingKingStop, 1);
  EXPECT_EQ(VariantTable[kInternationalKiller].FlyingKingStop, 2);
  EXPECT_TRUE(VariantTable[kFrisian].FrisianCapture);
  EXPECT_FALSE(VariantTable[kTurkish].BoardCheckered);
  EXPECT_FALSE(VariantTable[kTurkish].TurkishCapture);
}

TEST(VariantTable, MasksAndShifts) {
  struct Row {
    int slot;
    uint64_t mask;
    int shift, highest, count;
  };
  const Row rows[] = {
      {kRussian, 0x79EF3DE7BCFULL, 21, 42, 32},
      {kSpantsiretti, 0xFBFF7FEFFDFULL, 20, 43, 40},
      {kInternational, 0x7DFFBFF7FEFFDFULL, 9, 54, 50},
      {kTurkish, ~0ULL, 0, 63, 64},
  };
  for (const Row& r : rows) {
    const TGameParams& p = VariantTable[r.slot];
    EXPECT_EQ(p.BitBoardGood64, r.mask) << p.Name;
    EXPECT_EQ(p.BitBoardRevShift, r.shift) << p.Name;
    EXPECT_EQ(63 - __builtin_clzll(p.BitBoardGood64), r.highest) << p.Name;
    EXPECT_EQ(__builtin_popcountll(p.BitBoardGood64), r.count) << p.Name;
  }
  for (int slot : {1, 2, 3, 4, 5, 7, 8, 12}) EXPECT_EQ(VariantTable[slot].BitBoardGood64, 0x79EF3DE7BCFULL);
  EXPECT_EQ(VariantTable[kCanadian].BitBoardRevShift, 28);
  // The gap bits between row pairs are never playing squares.
  for (int bit : {5, 16, 27, 38, 49}) {
    EXPECT_EQ(BitBoardMask50 & Pow2_64[bit], 0u) << bit;
    EXPECT_EQ(BitBoardMask40 & Pow2_64[bit], 0u) << bit;
    EXPECT_EQ(BitBoardMask32 & Pow2_64[bit], 0u) << bit;
  }
  const uint8_t expected32[] = {0,  1,  2,  3,  6,  7,  8,  9,  11, 12, 13, 14, 17, 18, 19, 20,
                                22, 23, 24, 25, 28, 29, 30, 31, 33, 34, 35, 36, 39, 40, 41, 42};
  for (int s = 1; s <= 32; ++s) {
    EXPECT_EQ(SquareToBit32[s], expected32[s - 1]) << s;
    EXPECT_EQ(BitToSquare32[expected32[s - 1]], s);
  }
}

TEST(Tables, BinomialsBitCountsAndReversal) {
  EXPECT_EQ(Binomial64[63][7], 553270671);
  EXPECT_EQ(Binomial32[7][64], 621216192);
  EXPECT_EQ(Binomial64[3][7], 0);
  EXPECT_EQ(Binomial64[10][3], 120);
  EXPECT_EQ(Binomial32[3][10], 120);
  EXPECT_EQ(HighBit16[0], 0);
  EXPECT_EQ(HighBit16[0x8001], 15);
  EXPECT_EQ(BitCount16[0xffff], 16);
  EXPECT_EQ(Reverse8[1], 128);
  EXPECT_EQ(Reverse16[0x0003], 0xC000);
}

TEST(Geometry, SquareColumnsRowsAndNames) {
  const TGameParams& ru = VariantTable[kRussian];
  EXPECT_EQ(SquareRow(ru, 1), 0);
  EXPECT_EQ(SquareColumn(ru, 1), 1);  // a1
  EXPECT_EQ(SquareRow(ru, 5), 1);
  EXPECT_EQ(SquareColumn(ru, 5), 2);  // b2
  EXPECT_EQ(SquareRow(ru, 32), 7);
  EXPECT_EQ(SquareColumn(ru, 32), 8);  // h8
  for (int slot = 1; slot <= kVariantCount; ++slot) {
    const TGameParams& p = VariantTable[slot];
    if (!p.BoardCheckered) continue;
    EXPECT_EQ(SquareColumn(p, 1), 1) << p.Name;
    // SquareAt inverts row/column for every playing square.
    for (int s = 1; s <= p.compute.BoardSize; ++s)
      EXPECT_EQ(SquareAt(p, SquareRow(p, s), SquareColumn(p, s)), s) << p.Name << " " << s;
  }
  const TGameParams& tr = VariantTable[kTurkish];
  EXPECT_EQ(SquareColumn(tr, 9), 1);
  EXPECT_EQ(SquareColumn(tr, 16), 8);
  EXPECT_EQ(SquareAt(tr, 1, 1), 9);
}

TEST(Geometry, DiagonalNeighboursFollowTheBoard) {
  const TGameParams& ru = VariantTable[kRussian];
  // c3 = 10 (row 2, even): up-left b4 = 13, up-right d4 = 14, down-left b2 = 5, down-right d2 = 6.
  EXPECT_EQ(DiagonalNeighbour(ru, 10, true, false), 13);
  EXPECT_EQ(DiagonalNeighbour(ru, 10, true, true), 14);
  EXPECT_EQ(DiagonalNeighbour(ru, 10, false, false), 5);
  EXPECT_EQ(DiagonalNeighbour(ru, 10, false, true), 6);
  // a1 has only up-right; h2 (8, odd row, last slot) has no right neighbours.
  EXPECT_EQ(DiagonalNeighbour(ru, 1, true, false), 0);
  EXPECT_EQ(DiagonalNeighbour(ru, 1, true, true), 5);
  EXPECT_EQ(DiagonalNeighbour(ru, 1, false, true), 0);
  EXPECT_EQ(DiagonalNeighbour(ru, 8, true, true), 0);
  EXPECT_EQ(DiagonalNeighbour(ru, 8, false, true), 0);
  EXPECT_EQ(DiagonalNeighbour(ru, 8, true, false), 12);
  EXPECT_EQ(DiagonalNeighbour(ru, 32, true, false), 0);
  // Every neighbour is one row away and one column to the side, on every board.
  for (int slot = 1; slot <= kVariantCount; ++slot) {
    const TGameParams& p = VariantTable[slot];
    if (!p.BoardCheckered) continue;
    for (int s = 1; s <= p.compute.BoardSize; ++s)
      for (bool up : {false, true})
        for (bool right : {false, true}) {
          const int n = DiagonalNeighbour(p, s, up, right);
          const int row = SquareRow(p, s) + (up ? 1 : -1);
          const int col = SquareColumn(p, s) + (right ? 1 : -1);
          EXPECT_EQ(n, SquareAt(p, row, col)) << p.Name << " " << s;
        }
  }
}

TEST(StartPosition, GeneratedCustomBoards) {
  struct Row {
    int width, height;
    bool checkered;
    int whiteFrom, whiteTo, blackFrom, blackTo;
  };
  const Row rows[] = {
      {10, 10, true, 1, 20, 31, 50},
      {6, 6, true, 1, 6, 13, 18},
      {8, 8, false, 9, 24, 41, 56},
      {12, 12, true, 1, 30, 43, 72},
      {16, 16, true, 1, 56, 73, 128},
  };
  for (const Row& r : rows) {
    TGameParams p;
    p.TypeOfGame = 0;
    p.BoardWidth = static_cast<uint8_t>(r.width);
    p.BoardHeight = static_cast<uint8_t>(r.height);
    p.BoardCheckered = r.checkered;
    ComputeBoardGeometry(p);
    const TBrd cells = StartPosition(p, false);
    for (int s = 1; s <= kMaxSquares; ++s) {
      int8_t want = kEmpty;
      if (s >= r.whiteFrom && s <= r.whiteTo) want = kWhiteMan;
      if (s >= r.blackFrom && s <= r.blackTo) want = kBlackMan;
      EXPECT_EQ(cells[s], want) << r.width << "x" << r.height << " square " << s;
    }
  }
}

TEST(StartPosition, RotatingTheInternationalStartSwapsColours) {
  const TGameParams& p = VariantTable[kInternational];
  const TBrd cells = StartPosition(p, false);
  TBrd rotated{};
  for (int s = 1; s <= 50; ++s) rotated[51 - s] = static_cast<int8_t>(-cells[s]);
  EXPECT_EQ(rotated, cells);
}

TEST(FindVariant, ByNumberOrNameInAnyCase) {
  EXPECT_EQ(FindVariant("6"), kInternational);
  EXPECT_EQ(FindVariant("international KILLER"), kInternationalKiller);
  EXPECT_EQ(FindVariant("russian"), kRussian);
  EXPECT_EQ(FindVariant("0"), 0);
  EXPECT_EQ(FindVariant("15"), 0);
  EXPECT_EQ(FindVariant("chess"), 0);
  EXPECT_EQ(FindVariant(""), 0);
}

}  // namespace
}  // namespace quorlin
