#include "rules/bitmovegen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "bitboard_check.h"
#include "rules/bitgen.h"
#include "rules/bitperft.h"
#include "rules/perft.h"
#include "rules/position.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using bbcheck::BitboardChildren;
using bbcheck::CompareGenerators;
using bbcheck::Pos;

TBitBoard64 Bits(const TBoard& board, int variant) {
  TBitBoard64 p;
  BoardToBit64(board, p, variant);
  return p;
}

// Positions after White's moves as boards, in list order.
std::vector<TBoard> WhiteResults(const TBoard& board, int variant) {
  auto list = std::make_unique<TPositionList64>();
  uint8_t n = 0;
  EXPECT_TRUE(GenerateMoves64(Bits(board, variant), *list, n, variant));
  std::vector<TBoard> out(n);
  for (int i = 0; i < n; ++i) Bit64toBoard((*list)[i], out[i].b, variant);
  return out;
}

// Walks every node of the tree below `board` down to `depth` plies, comparing
// the generators for the side to move at each; stops at the first difference.
void WalkTree(const TBoard& board, int side, int depth, int variant, long& nodes, std::string& diff) {
  if (!diff.empty()) return;
  ++nodes;
  diff = CompareGenerators(board, side, variant);
  if (!diff.empty() || depth == 0) return;
  for (const TBitBoard64& child : BitboardChildren(board, side, variant)) {
    TBoard next;
    Bit64toBoard(child, next.b, variant);
    WalkTree(next, 1 - side, depth - 1, variant, nodes, diff);
  }
}

TEST(BitMoveGen, MatchesSquareListGeneratorOnEveryNodeOfTheStartTree) {
  for (int variant : bbcheck::BitboardVariants()) {
    const TGameParams& p = VariantTable[variant];
    TBoard start;
    start.b = StartPosition(p, false);
    const int depth = p.compute.BoardSize == 32 ? 6 : 5;
    long nodes = 0;
    std::string diff;
    WalkTree(start, 0, depth, variant, nodes, diff);
    EXPECT_EQ(diff, "") << p.Name;
    EXPECT_GT(nodes, 1000) << p.Name;
  }
}

TEST(BitMoveGen, MatchesSquareListGeneratorOnRandomPositions) {
  TRandom rng(20240601);
  for (int variant : bbcheck::BitboardVariants()) {
    const TGameParams& p = VariantTable[variant];
    int compared = 0;
    for (int i = 0; i < 1500; ++i) {
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
    }
    EXPECT_GT(compared, 2900) << p.Name;
  }
}

// --- Rule cases ---------------------------------------------------------------

TEST(BitMoveGen, InternationalStartHasNineMoves) {
  TBoard start;
  start.b = StartPosition(VariantTable[kInternational], false);
  const auto results = WhiteResults(start, kInternational);
  ASSERT_EQ(results.size(), 9u);
  std::multiset<int> from;
  for (const TBoard& r : results) {
    int moved = 0, arrived = 0;
    for (int s = 1; s <= 50; ++s) {
      if (start.b[s] == kWhiteMan && r.b[s] == kEmpty) moved = s;
      if (start.b[s] == kEmpty && r.b[s] == kWhiteMan) arrived = s;
    }
    EXPECT_GE(arrived, 21);
    EXPECT_LE(arrived, 25);
    from.insert(moved);
  }
  // Square 20 is on the right edge: one move; 16..19 two each.
  EXPECT_EQ(from, (std::multiset<int>{16, 16, 17, 17, 18, 18, 19, 19, 20}));
}

TEST(BitMoveGen, SameCaptureByTwoPathsGivesOnePosition) {
  // The man on 19 goes round the ring 24-33-32-22-23 either way and ends on 28.
  const TBoard board = Pos("w19 b15 b21 b22 b23 b24 b32 b33");
  auto list = std::make_unique<TMvs>();
  uint8_t n = 0;
  GenerateMoves(board, 0, *list, n, VariantTable[kInternational], false);
  ASSERT_EQ(n, 2);  // two paths in the square list without dedupe
  const auto results = WhiteResults(board, kInternational);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].b, Pos("w28 b15 b21").b);
}

TEST(BitMoveGen, CzechKingCaptureExcludesLongerMenCaptures) {
  // The man on 1 could take 5 and 14; the king on 31 takes 27.
  const TBoard board = Pos("w1 b5 b14 W31 b27 b3");
  const auto results = WhiteResults(board, kCzech);
  ASSERT_FALSE(results.empty());
  for (const TBoard& r : results) {
    EXPECT_EQ(r.b[1], kWhiteMan);
    EXPECT_EQ(r.b[27], kEmpty);
    EXPECT_EQ(r.b[31], kEmpty);
  }
  // Russian has no such priority: its men's capture is listed too.
  EXPECT_GT(WhiteResults(board, kRussian).size(), results.size());
  EXPECT_EQ(CompareGenerators(board, 0, kCzech), "");
}

TEST(BitMoveGen, ItalianMenNeverTakeKings) {
  // Man on 10, enemy on 14 with 19 free behind it.
  const auto withKing = WhiteResults(Pos("w10 B14 b32"), kItalian);
  EXPECT_EQ(withKing.size(), 1u);  // only the quiet step to 13
  for (const TBoard& r : withKing) EXPECT_EQ(r.b[14], kBlackKing);
  const auto withMan = WhiteResults(Pos("w10 b14 b32"), kItalian);
  ASSERT_EQ(withMan.size(), 1u);
  EXPECT_EQ(withMan[0].b, Pos("w19 b32").b);
}

TEST(BitMoveGen, ItalianKingPriorityAndKingOrder) {
  // The king on 29 takes 26 and 19 (to 15), the man on 1 takes 5 and 13 (to
  // 17): equally long, so only the king's capture is listed.
  const TBoard equal = Pos("W29 b26 b19 w1 b5 b13 b32");
  const auto r1 = WhiteResults(equal, kItalian);
  ASSERT_EQ(r1.size(), 1u);
  EXPECT_EQ(r1[0].b, Pos("W15 w1 b5 b13 b32").b);
  EXPECT_EQ(WhiteResults(equal, kEnglish).size(), 2u);
  // The king on 10 takes the king on 14 then the man on 23 (to 28), or the man
  // on 13 then the king on 21 (to 26): the one taking a king first wins.
  const TBoard order = Pos("W10 B14 b23 b13 B21 b32");
  const auto r2 = WhiteResults(order, kItalian);
  ASSERT_EQ(r2.size(), 1u);
  EXPECT_EQ(r2[0].b, Pos("W28 b13 B21 b32").b);
  EXPECT_EQ(WhiteResults(order, kEnglish).size(), 2u);
}

TEST(BitMoveGen, TurkishManCrownsOnTheLastRow) {
  // White man on square 49 (row 7 of 8): forward to 57 crowns, right to 50 not.
  const auto results = WhiteResults(Pos("w49 b8"), kTurkish);
  ASSERT_EQ(results.size(), 2u);
  std::set<std::pair<int, int>> got;
  for (const TBoard& r : results)
    for (int s = 1; s <= 64; ++s)
      if (r.b[s] > 0) got.insert({s, r.b[s]});
  EXPECT_EQ(got, (std::set<std::pair<int, int>>{{57, kWhiteKing}, {50, kWhiteMan}}));
}

TEST(BitMoveGen, ThaiKingLandsDirectlyBehindOnly) {
  // King on 1, enemy man on 10 (c3), the diagonal beyond it free.
  const TBoard board = Pos("W1 b10 b29");
  const auto thai = WhiteResults(board, kThai);
  ASSERT_EQ(thai.size(), 1u);
  EXPECT_EQ(thai[0].b, Pos("W14 b29").b);
  // A Pool king may land on any free square behind: 14, 19, 23, 28, 32.
  EXPECT_EQ(WhiteResults(board, kPool).size(), 5u);
}

TEST(BitMoveGen, KillerKingTakingAKingLandsDirectlyBehind) {
  // Long diagonal 1-6-12-17-23-28-34-39-45-50.
  EXPECT_EQ(WhiteResults(Pos("W1 B12"), kInternationalKiller).size(), 1u);
  EXPECT_EQ(WhiteResults(Pos("W1 B12"), kInternationalKiller)[0].b, Pos("W17").b);
  EXPECT_EQ(WhiteResults(Pos("W1 b12"), kInternationalKiller).size(), 7u);
  EXPECT_EQ(WhiteResults(Pos("W1 B12"), kInternational).size(), 7u);
}

TEST(BitMoveGen, FlyingKingMustLandWhereTheCaptureGoesOn) {
  // Only from 28 can the king go on (over 33); it then lands on 37, 42 or 46.
  const TBoard board = Pos("W1 b12 b33");
  const auto results = WhiteResults(board, kInternational);
  std::set<int> ends;
  for (const TBoard& r : results) {
    EXPECT_EQ(r.b[12], kEmpty);
    EXPECT_EQ(r.b[33], kEmpty);
    for (int s = 1; s <= 50; ++s)
      if (r.b[s] == kWhiteKing) ends.insert(s);
  }
  EXPECT_EQ(ends, (std::set<int>{37, 42, 46}));
  EXPECT_EQ(results.size(), 3u);
}

TEST(BitMoveGen, CrowningDuringCapture) {
  // The man on 23 takes 27 and reaches 30 on the last row. In Russian it goes on
  // as a king over 21 to 17; in Pool it stays a man until the capture ends.
  const TBoard board = Pos("w23 b27 b21");
  const auto russian = WhiteResults(board, kRussian);
  ASSERT_EQ(russian.size(), 1u);
  EXPECT_EQ(russian[0].b, Pos("W17").b);
  const auto pool = WhiteResults(board, kPool);
  ASSERT_EQ(pool.size(), 1u);
  EXPECT_EQ(pool[0].b, Pos("W30 b21").b);
}

TEST(BitMoveGen, NoLegalMoveGivesAnEmptyList) {
  // The man on 1 is blocked by 5 with 10 occupied behind it.
  EXPECT_TRUE(WhiteResults(Pos("w1 b5 b10"), kRussian).empty());
  EXPECT_TRUE(WhiteResults(Pos("b5"), kInternational).empty());
}

TEST(BitMoveGen, RefusesVariantsWithoutARoutine) {
  TBoard start;
  start.b = StartPosition(VariantTable[kInternational], false);
  const TBitBoard64 p = Bits(start, kInternational);
  for (int variant : {int{kCustom}, int{kFrisian}, int{kCanadian}, 15, -1}) {
    TPositionList64 list;
    uint8_t n = 7;
    EXPECT_FALSE(GenerateMoves64(p, list, n, variant)) << variant;
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(HasBitboardGenerator(variant));
    EXPECT_EQ(BitboardGenerator(variant), nullptr);
    EXPECT_EQ(CapturingPieces64(p, variant), 0u);
  }
  for (int variant : bbcheck::BitboardVariants()) EXPECT_NE(BitboardGenerator(variant), nullptr);
  EXPECT_EQ(bbcheck::BitboardVariants().size(), 12u);
}

#ifndef NDEBUG
TEST(BitMoveGenDeathTest, DebugBuildsRefuseBitsOutsideThePlayingSquares) {
  TPositionList64 list;
  uint8_t n = 0;
  // Bit 5 is no square of the checkered layouts; bit 43 is beyond the 8 x 8 board.
  EXPECT_DEATH(GenerateMoves64(TBitBoard64{uint64_t{1} << 5, 0, 0}, list, n, kRussian), "");
  EXPECT_DEATH(GenerateMoves64(TBitBoard64{1, uint64_t{1} << 43, 0}, list, n, kRussian), "");
  EXPECT_DEATH(GenerateMoves64(TBitBoard64{1, 1, 0}, list, n, kInternational), "");
}
#endif

// --- Capture sets -----------------------------------------------------------------

// Bits of the start squares of the listed captures of `side`, in White's
// orientation, by the square-list generator without dedupe.
uint64_t CaptureStarts(const TBoard& board, int side, int variant, bool kings) {
  auto list = std::make_unique<TMvs>();
  uint8_t n = 0;
  GenerateMoves(board, side, *list, n, VariantTable[variant], false);
  TBoard only;
  for (int i = 1; i <= n; ++i) {
    const TMove& m = (*list)[i];
    const int8_t code = board.b[m.mv[0]];
    if (m.lt > 0 && (code == kWhiteKing || code == kBlackKing) == kings) only.b[m.mv[0]] = code;
  }
  TBitBoard64 p = Bits(only, variant);
  return p.w | p.b;
}

TEST(BitMoveGen, CapturingSetsMatchTheCapturesListed) {
  TRandom rng(99);
  // Without majority rules and king priority every piece that can capture has
  // its captures listed.
  for (int variant : {kRussian, kEnglish, kPool, kSpantsiretti, kThai}) {
    const TGameParams& p = VariantTable[variant];
    for (int i = 0; i < 400; ++i) {
      TBoard board;
      ASSERT_TRUE(GeneratePosition(rng.Below(9), rng.Below(9), 1 + rng.Below(3), 1 + rng.Below(3), board.b,
                                   false, false, false, p, rng));
      const TBitBoard64 white = Bits(board, variant);
      TBitBoard64 black = white;
      FlipBitBoard(black, variant);
      const uint64_t men = CaptureStarts(board, 0, variant, false);
      const uint64_t kings = CaptureStarts(board, 0, variant, true);
      EXPECT_EQ(CapturingMen64(white, variant), men) << p.Name;
      EXPECT_EQ(CapturingKings64(white, variant), kings) << p.Name;
      EXPECT_EQ(CapturingPieces64(white, variant), men ? men : kings) << p.Name;
      const uint64_t blackMen = CaptureStarts(board, 1, variant, false);
      const uint64_t blackKings = CaptureStarts(board, 1, variant, true);
      EXPECT_EQ(OpponentCapturingPieces64(white, variant), blackMen ? blackMen : blackKings) << p.Name;
      uint64_t flippedMen = CapturingMen64(black, variant);
      FlipBits64(flippedMen, variant);
      EXPECT_EQ(flippedMen, blackMen) << p.Name;
    }
  }
  // With majority rules: a non-empty set exactly when captures are compulsory.
  for (int variant : bbcheck::BitboardVariants()) {
    const TGameParams& p = VariantTable[variant];
    for (int i = 0; i < 200; ++i) {
      TBoard board;
      ASSERT_TRUE(GeneratePosition(1 + rng.Below(8), rng.Below(9), rng.Below(3), 1 + rng.Below(3), board.b,
                                   false, false, false, p, rng));
      auto list = std::make_unique<TMvs>();
      uint8_t n = 0;
      GenerateMoves(board, 0, *list, n, p, true);
      EXPECT_EQ(CapturingPieces64(Bits(board, variant), variant) != 0, n > 0 && (*list)[1].lt > 0) << p.Name;
    }
  }
}

TEST(BitMoveGen, ItalianMenCaptureOnlyMen) {
  EXPECT_EQ(CapturingMen64(Bits(Pos("w10 B14"), kItalian), kItalian), 0u);
  EXPECT_NE(CapturingMen64(Bits(Pos("w10 b14"), kItalian), kItalian), 0u);
  EXPECT_NE(CapturingMen64(Bits(Pos("w10 B14"), kEnglish), kEnglish), 0u);
}

// --- Perft ---------------------------------------------------------------------------

TEST(BitPerft, InternationalFigures) {
  TBoard start;
  start.b = StartPosition(VariantTable[kInternational], false);
  const uint64_t expected[] = {1, 9, 81, 658, 4265, 27117, 167140};
  for (int d = 0; d <= 6; ++d) {
    EXPECT_EQ(PerftBitboard(start, 0, d, kInternational, true), expected[d]) << d;
    if (d <= 5) {
      EXPECT_EQ(PerftBitboard(start, 0, d, kInternational, false), expected[d]) << d;
    }
  }
}

TEST(BitPerft, EqualsTheSquareListCountForEveryVariant) {
  for (int variant : bbcheck::BitboardVariants()) {
    const TGameParams& p = VariantTable[variant];
    TBoard start;
    start.b = StartPosition(p, false);
    const int depth = p.compute.BoardSize == 32 ? 5 : 4;
    EXPECT_EQ(PerftBitboard(start, 0, depth, variant, true), Perft(start, 0, depth, p, true)) << p.Name;
    // Black to move from the start position.
    EXPECT_EQ(PerftBitboard(start, 1, 3, variant, false), Perft(start, 1, 3, p, true)) << p.Name;
  }
  TBoard start;
  start.b = StartPosition(VariantTable[kFrisian], false);
  EXPECT_EQ(PerftBitboard(start, 0, 3, kFrisian, true), 0u);
}

// Bulk counting counts the last ply from masks and counts men's captures
// without listing them; on positions with kings, long captures and promotions
// it must give what listing gives, in every variant and for both sides.
TEST(BitPerft, BulkCountingEqualsListingOnRandomPositions) {
  for (int variant : bbcheck::BitboardVariants()) {
    const TGameParams& p = VariantTable[variant];
    TRandom rng(static_cast<uint32_t>(77 + variant));
    int checked = 0;
    for (int i = 0; i < 300; ++i) {
      uint8_t wm, bm, wk, bk;
      bbcheck::RandomComposition(rng, p, i, wm, bm, wk, bk);
      TBoard board;
      if (!GeneratePosition(wm, bm, wk, bk, board.b, false, false, false, p, rng)) continue;
      for (int side = 0; side <= 1; ++side) {
        const uint64_t listed = PerftBitboard(board, side, 2, variant, false);
        ASSERT_EQ(PerftBitboard(board, side, 2, variant, true), listed)
            << p.Name << " " << WriteFEN(p, board.b, side);
        if (i % 10 == 0) {
          EXPECT_EQ(listed, Perft(board, side, 2, p, true)) << p.Name << " " << WriteFEN(p, board.b, side);
        }
        ++checked;
      }
    }
    EXPECT_GT(checked, 400) << p.Name;
  }
}

TEST(BitPerft, PlainPopulationCountMatchesTheBuiltin) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 1000; ++i) {
    const uint64_t x = rng() & rng();
    EXPECT_EQ(bitgen::Bits<false>(x), __builtin_popcountll(x)) << x;
  }
  EXPECT_EQ(bitgen::Bits<false>(~uint64_t{0}), 64);
  EXPECT_EQ(bitgen::Bits<false>(0), 0);
}

TEST(BitMoveGen, ThreadsGenerateIndependently) {
  std::vector<TBoard> boards;
  TRandom rng(5);
  for (int i = 0; i < 200; ++i) {
    TBoard b;
    ASSERT_TRUE(GeneratePosition(10, 10, 2, 2, b.b, false, false, false, VariantTable[kInternational], rng));
    boards.push_back(b);
  }
  std::vector<std::vector<TBitBoard64>> expected;
  for (const TBoard& b : boards) expected.push_back(BitboardChildren(b, 0, kInternational));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round)
        for (size_t i = 0; i < boards.size(); ++i)
          if (BitboardChildren(boards[i], 0, kInternational) != expected[i]) ++mismatches;
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace quorlin
