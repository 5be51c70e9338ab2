#include "rules/position.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "bitboard_check.h"
#include "rules/movegen.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using bbcheck::Pos;

// --- Bit scans and tables ---------------------------------------------------------

TEST(BitScans, EdgeValuesAndAgreementWithTheTables) {
  EXPECT_EQ(HighBit64(0), 0);
  EXPECT_EQ(HighBit64Table(0), 0);
  EXPECT_EQ(HighBit64(uint64_t{1} << 63), 63);
  EXPECT_EQ(HighBit64Table(uint64_t{1} << 63), 63);
  EXPECT_EQ(LowBit64(0), 0);
  EXPECT_EQ(LowBit64(uint64_t{1} << 63), 63);
  EXPECT_EQ(PopCount(kBitBoardMask32), 32);
  EXPECT_EQ(PopCount64Table(BitBoardMask32), 32);
  EXPECT_EQ(PopCount(kBitBoardMask40), 40);
  EXPECT_EQ(PopCount64Table(BitBoardMask50), 50);
  EXPECT_EQ(PopCount64Table(~uint64_t{0}), 64);
  EXPECT_EQ(BitBoardMask32, kBitBoardMask32);
  EXPECT_EQ(BitBoardMask40, kBitBoardMask40);
  EXPECT_EQ(BitBoardMask50, kBitBoardMask50);
  EXPECT_EQ(Binomial64[63][7], 553270671);
  EXPECT_EQ(Binomial32[7][64], 621216192);

  TRandom rng(1);
  for (int i = 0; i < 10000; ++i) {
    // Sparse and dense values, so that every 16-bit slice is the top one sometimes.
    uint64_t x = rng.Next() >> rng.Below(64);
    if (i % 2) x &= rng.Next();
    ASSERT_EQ(HighBit64(x), HighBit64Table(x)) << x;
    ASSERT_EQ(PopCount(x), PopCount64Table(x)) << x;
    ASSERT_EQ(Reverse64(x), Reverse64Table(x)) << x;
    ASSERT_EQ(Reverse64(Reverse64(x)), x);
  }
  EXPECT_EQ(Reverse64(1), uint64_t{1} << 63);
}

// --- Conversions and rotation ----------------------------------------------------------

TEST(BitBoard64, RoundTripForEveryVariantWithAForm) {
  TRandom rng(2);
  for (int variant = 1; variant <= kVariantCount; ++variant) {
    const TGameParams& p = VariantTable[variant];
    if (variant == kCanadian) continue;
    ASSERT_TRUE(HasBitboardForm(variant)) << p.Name;
    std::vector<TBoard> boards(1);
    boards[0].b = StartPosition(p, false);
    for (int i = 0; i < 200; ++i) {
      TBoard b;
      ASSERT_TRUE(GeneratePosition(rng.Below(8), rng.Below(8), 1 + rng.Below(3), 1 + rng.Below(3), b.b, false,
                                   false, false, p, rng));
      boards.push_back(b);
    }
    for (const TBoard& board : boards) {
      TBitBoard64 bits;
      BoardToBit64(board, bits, variant);
      // Never a bit outside the playing squares (bits 5, 16, 27, 38, 49 on
      // the checkered layouts).
      EXPECT_EQ((bits.w | bits.b | bits.k) & ~p.BitBoardGood64, 0u) << p.Name;
      TBrd back;
      Bit64toBoard(bits, back, variant);
      ASSERT_EQ(back, board.b) << p.Name;
      // Rotation by bits equals rotation by squares with colours swapped.
      TBrd swapped = board.b;
      SwapColours(swapped, p);
      TBoard swappedBoard;
      swappedBoard.b = swapped;
      TBitBoard64 expected, flipped = bits;
      BoardToBit64(swappedBoard, expected, variant);
      FlipBitBoard(flipped, variant);
      ASSERT_EQ(flipped, expected) << p.Name;
      FlipBitBoard(flipped, variant);
      ASSERT_EQ(flipped, bits) << p.Name;
    }
  }
}

TEST(BitBoard64, CheckeredLayoutBitsOfKnownSquares) {
  TBitBoard64 bits;
  BoardToBit64(Pos("w1 w5 W32 b50 B46"), bits, kInternational);
  EXPECT_EQ(bits.w, (uint64_t{1} << 0) | (uint64_t{1} << 4) | (uint64_t{1} << 34));
  EXPECT_EQ(bits.b, (uint64_t{1} << 54) | (uint64_t{1} << 50));
  EXPECT_EQ(bits.k, (uint64_t{1} << 34) | (uint64_t{1} << 50));
  BoardToBit64(Pos("w1 b32 w5"), bits, kRussian);
  EXPECT_EQ(bits.w, (uint64_t{1} << 0) | (uint64_t{1} << 6));
  EXPECT_EQ(bits.b, uint64_t{1} << 42);
  BoardToBit64(Pos("w9 b64"), bits, kTurkish);
  EXPECT_EQ(bits.w, uint64_t{1} << 8);
  EXPECT_EQ(bits.b, uint64_t{1} << 63);
}

TEST(BitBoard64, VariantsWithoutAFormStayEmpty) {
  TBoard canadian;
  canadian.b = StartPosition(VariantTable[kCanadian], false);
  for (int variant : {int{kCanadian}, int{kCustom}, 15}) {
    TBitBoard64 bits{1, 2, 3};
    BoardToBit64(canadian, bits, variant);
    EXPECT_EQ(bits, TBitBoard64{}) << variant;
    TBrd cells;
    cells.fill(1);
    Bit64toBoard(TBitBoard64{1, 2, 0}, cells, variant);
    EXPECT_EQ(cells, TBrd{}) << variant;
    EXPECT_FALSE(HasBitboardForm(variant));
  }
}

TEST(BitBoard64, InternationalStartIsSymmetric) {
  TBoard start;
  start.b = StartPosition(VariantTable[kInternational], false);
  TBitBoard64 bits;
  BoardToBit64(start, bits, kInternational);
  TBitBoard64 flipped = bits;
  FlipBitBoard(flipped, kInternational);
  EXPECT_EQ(flipped, bits);
  uint64_t white = bits.w;
  FlipBits64(white, kInternational);
  EXPECT_EQ(white, bits.b);
}

// --- removedoublemoves0 ----------------------------------------------------------------

TEST(RemoveDoubleMoves, KeepsTheFirstOfMovesWithTheSameResult) {
  // The man on 19 takes the same five pieces round the ring either way.
  const TGameParams& p = VariantTable[kInternational];
  TBoard board = Pos("w19 b15 b21 b22 b23 b24 b32 b33");
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(board, 0, list, n, p, false);
  ASSERT_EQ(n, 2);
  const TMove first = list[1];
  removedoublemoves0(n, list, board, p);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(list[1].mv, first.mv);

  // Three copies of a move around a different one: the first copy and the
  // other move stay, the last listed fills the freed slot.
  const TBoard start = [] {
    TBoard b;
    b.b = StartPosition(VariantTable[kRussian], false);
    return b;
  }();
  GenerateMoves(start, 0, list, n, VariantTable[kRussian], true);
  ASSERT_EQ(n, 7);
  TMvs mixed;
  mixed[1] = list[1];
  mixed[2] = list[1];
  mixed[3] = list[2];
  mixed[4] = list[1];
  mixed[5] = list[3];
  uint8_t m = 5;
  removedoublemoves0(m, mixed, start, VariantTable[kRussian]);
  ASSERT_EQ(m, 3);
  EXPECT_EQ(mixed[1].mv, list[1].mv);
  EXPECT_EQ(mixed[2].mv, list[3].mv);
  EXPECT_EQ(mixed[3].mv, list[2].mv);

  // A list of different moves is left alone.
  removedoublemoves0(n, list, start, VariantTable[kRussian]);
  EXPECT_EQ(n, 7);
}

// --- GeneratePosition ----------------------------------------------------------------------

int Count(const TBrd& cells, int8_t code) {
  int n = 0;
  for (int8_t c : cells) n += c == code;
  return n;
}

TEST(GeneratePosition, PlacesThePiecesWhereTheyMayStand) {
  TRandom rng(3);
  for (int variant : {int{kRussian}, int{kInternational}, int{kTurkish}, int{kCanadian}, int{kFrisian}}) {
    const TGameParams& p = VariantTable[variant];
    const int size = p.compute.BoardSize, w = p.compute.BoardWidthReal;
    for (bool ownHalf : {false, true})
      for (int i = 0; i < 100; ++i) {
        TBrd cells;
        std::string error;
        ASSERT_TRUE(GeneratePosition(5, 6, 1, 2, cells, ownHalf, false, false, p, rng, &error)) << error;
        EXPECT_EQ(Count(cells, kWhiteMan), 5);
        EXPECT_EQ(Count(cells, kBlackMan), 6);
        EXPECT_EQ(Count(cells, kWhiteKing), 1);
        EXPECT_EQ(Count(cells, kBlackKing), 2);
        for (int s = 1; s <= kMaxSquares; ++s) {
          if (s > size) {
            ASSERT_EQ(cells[s], 0);
            continue;
          }
          if (cells[s] == kWhiteMan) {
            EXPECT_LE(s, size - w) << p.Name << " white man on its promotion row";
            if (!p.BoardCheckered) EXPECT_GT(s, w) << "white man on its back row";
            if (ownHalf) EXPECT_LE(s, size / 2);
          }
          if (cells[s] == kBlackMan) {
            EXPECT_GT(s, w) << p.Name << " black man on its promotion row";
            if (!p.BoardCheckered) EXPECT_LE(s, size - w) << "black man on its back row";
            if (ownHalf) EXPECT_GT(s, size / 2);
          }
        }
        TBoard board;
        board.b = cells;
        TMvs list;
        uint8_t n = 0;
        GenerateMoves(board, 0, list, n, p, true);
        EXPECT_GT(n, 0);
        GenerateMoves(board, 1, list, n, p, true);
        EXPECT_GT(n, 0);
      }
  }
}

TEST(GeneratePosition, HonoursNoCaptureAndIsReproducible) {
  const TGameParams& p = VariantTable[kRussian];
  TRandom a(77), b(77);
  for (int i = 0; i < 100; ++i) {
    TBrd x, y;
    ASSERT_TRUE(GeneratePosition(8, 8, 1, 1, x, false, true, true, p, a));
    ASSERT_TRUE(GeneratePosition(8, 8, 1, 1, y, false, true, true, p, b));
    ASSERT_EQ(x, y);
    TBoard board;
    board.b = x;
    TMvs list;
    uint8_t n = 0;
    for (int side = 0; side < 2; ++side) {
      GenerateMoves(board, side, list, n, p, true);
      ASSERT_GT(n, 0);
      EXPECT_EQ(list[1].lt, 0) << "side " << side << " must capture";
    }
  }
  // The thread's own generator serves callers that pass none.
  TBrd cells;
  EXPECT_TRUE(GeneratePosition(3, 3, 0, 0, cells, false, false, false, p));
}

TEST(GeneratePosition, RefusesRequestsItCannotMeet) {
  struct Row {
    int variant;
    int wm, bm, wk, bk;
    bool ownHalf, wNoCapture, bNoCapture;
    const char* expect;  // part of the error text
  };
  const Row rows[] = {
      {kRussian, 0, 0, 0, 0, false, false, false, "at least one piece"},
      {kRussian, 3, 0, 0, 0, false, false, false, "at least one piece"},
      {kRussian, 0, 0, 0, 2, false, false, false, "at least one piece"},
      {kRussian, 29, 1, 0, 0, false, false, false, "white men do not fit on the 28"},
      {kRussian, 1, 17, 0, 0, true, false, false, "black men do not fit on the 16"},
      {kRussian, 20, 20, 0, 0, false, false, false, "men do not fit on the 32"},
      {kTurkish, 49, 1, 0, 0, false, false, false, "white men do not fit on the 48"},
      {kRussian, 12, 12, 5, 5, false, false, false, "pieces do not fit on the 32"},
      // A full board: nobody can move, so no attempt can succeed.
      {kRussian, 12, 12, 4, 4, false, false, false, "was found in 20000 tries"},
  };
  for (const Row& r : rows) {
    TBrd cells;
    cells.fill(5);
    std::string error;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(GeneratePosition(r.wm, r.bm, r.wk, r.bk, cells, r.ownHalf, r.wNoCapture, r.bNoCapture,
                                  VariantTable[r.variant], &error));
    EXPECT_NE(error.find(r.expect), std::string::npos) << error;
    EXPECT_EQ(cells, TBrd{});
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
  }
}

// --- Symmetries ---------------------------------------------------------------------------------

TEST(SwapColours, RotatesAndSwapsAndIsItsOwnInverse) {
  const TGameParams& p = VariantTable[kRussian];
  TBrd cells = Pos("w1 W2 b31").b;
  SwapColours(cells, p);
  EXPECT_EQ(cells, Pos("b32 B31 w2").b);
  SwapColours(cells, p);
  EXPECT_EQ(cells, Pos("w1 W2 b31").b);

  // An odd number of squares: the middle one changes colour in place.
  TGameParams odd = VariantTable[kTurkish];
  odd.TypeOfGame = 0;
  odd.BoardWidth = odd.BoardHeight = 5;
  ComputeBoardGeometry(odd);
  ASSERT_EQ(odd.compute.BoardSize, 25);
  TBrd c = Pos("w13 b1").b;
  SwapColours(c, odd);
  EXPECT_EQ(c, Pos("b13 w25").b);
}

TEST(MirrorBoard, MirrorsFullGridRowsAndRefusesCheckeredBoards) {
  const TGameParams& turkish = VariantTable[kTurkish];
  TBrd mirrored;
  ASSERT_TRUE(MirrorBoard(Pos("w9 w18 b64 B57").b, turkish, mirrored));
  EXPECT_EQ(mirrored, Pos("w16 w23 b57 B64").b);

  const TBrd russian = Pos("w1 b32").b;
  EXPECT_FALSE(MirrorBoard(russian, VariantTable[kRussian], mirrored));
  EXPECT_EQ(mirrored, russian);
}

TEST(CanonicalMirror, PicksTheSmallerOfBoardAndMirror) {
  const TGameParams& p = VariantTable[kTurkish];
  TBoard board = Pos("w16 b41");
  board.nmpiece = {3, 4};
  TBoard result;
  // Cell 9 of the mirror holds 1 where the board has 0 first: the board wins.
  EXPECT_TRUE(CanonicalMirror(board, p, result));
  EXPECT_EQ(result, board);
  // Its mirror has the man on 9 first, so the mirror loses.
  TBoard mirror = Pos("w9 b48");
  mirror.nmpiece = {3, 4};
  EXPECT_FALSE(CanonicalMirror(mirror, p, result));
  EXPECT_EQ(result.b, Pos("w16 b41").b);
  EXPECT_EQ(result.nmpiece, mirror.nmpiece);
  // A symmetric board keeps the input.
  EXPECT_TRUE(CanonicalMirror(Pos("w12 w13"), p, result));
  // Checkered boards have no mirror.
  EXPECT_TRUE(CanonicalMirror(Pos("w1"), VariantTable[kRussian], result));
  EXPECT_EQ(result.b, Pos("w1").b);
}

// --- Game lines --------------------------------------------------------------------------------

TEST(PositionOfLine, ReplaysTheMovesFromTheStart) {
  const TGameParams& p = VariantTable[kRussian];
  TBoard board;
  board.b = StartPosition(p, false);
  const TBoard start = board;
  std::vector<TMove> moves;
  TMvs list;
  uint8_t n = 0;
  for (int ply = 0; ply < 12; ++ply) {
    GenerateMoves(board, ply % 2, list, n, p, true);
    ASSERT_GT(n, 0);
    moves.push_back(list[1 + ply % n]);
    ApplyMove(moves.back(), board, p);
  }
  EXPECT_EQ(PositionOfLine(start, std::span<const TMove>(moves), p), board);
  std::vector<const TMove*> pointers;
  for (const TMove& m : moves) pointers.push_back(&m);
  EXPECT_EQ(PositionOfLine(start, std::span<const TMove* const>(pointers), p), board);
  EXPECT_EQ(PositionOfLine(start, std::span<const TMove>(), p), start);
}

}  // namespace
}  // namespace quorlin
