#include "engine/evaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "rules/tables.h"

namespace quorlin {
namespace {

uint64_t Sq32(int s) { return uint64_t{1} << SquareToBit32[s]; }
uint64_t Bit(int b) { return uint64_t{1} << b; }

TEvalFuncStatic Weights(int manValue = 100, int kingValue = 300) {
  TEvalFuncStatic f;
  f.ManValue = manValue;
  f.KingValue = kingValue;
  CompileEvf(f);
  return f;
}

float Eval(const TBitBoard64& bd, const TEvalFuncStatic& f, int variant = kRussian, uint8_t dep = 0) {
  return count64bit40(bd, dep, f, TEvalContext{variant, false, nullptr});
}

TEST(SoftClamp, KeepsFiveThenHalvesThenQuarters) {
  struct Case {
    float in, out;
  };
  for (const Case& c : {Case{5, 5}, Case{10, 7.5f}, Case{15, 8.75f}, Case{100, 8.75f}, Case{-3, -3},
                        Case{0, 0}, Case{7, 6}, Case{-12, -8}, Case{0.25f, 0.25f}, Case{INFINITY, 8.75f},
                        Case{-INFINITY, -8.75f}, Case{NAN, 8.75f}}) {
    SCOPED_TRACE(c.in);
    EXPECT_FLOAT_EQ(SoftClamp(c.in), c.out);
  }
}

TEST(BitCount, CountsEverySetBit) {
  EXPECT_EQ(PopCount(0), 0);
  EXPECT_EQ(PopCount(~uint64_t{0}), 64);
  EXPECT_EQ(PopCount(BitBoardMask32), 32);
  EXPECT_EQ(PopCount(BitBoardMask50), 50);
  EXPECT_EQ(PopCount(0x8000000000000001), 2);
}

TEST(Count64bit40, ASideWithoutPiecesHasLost) {
  const TEvalFuncStatic f = Weights();
  for (bool giveaway : {false, true}) {
    const TEvalContext ctx{kRussian, giveaway, nullptr};
    EXPECT_EQ(count64bit40({0, Sq32(32), 0}, 7, f, ctx), giveaway ? 1994 : -1994);
    EXPECT_EQ(count64bit40({0, 0, 0}, 12, f, ctx), giveaway ? 1989 : -1989);
  }
}

TEST(Count64bit40, CountsEveryCallOnTheEngineCounter) {
  const TEvalFuncStatic f = Weights();
  std::atomic<int64_t> counter{5};
  const TEvalContext ctx{kRussian, false, &counter};
  count64bit40({Sq32(1), Sq32(32), 0}, 2, f, ctx);
  count64bit40({0, 0, 0}, 2, f, ctx);
  EXPECT_EQ(counter, 7);
}

TEST(Count64bit40, MaterialInUnitsOfAMan) {
  const TEvalFuncStatic f = Weights(100, 300);
  // Own man and king against one opponent man: (100 + 300 - 100) / 100.
  EXPECT_FLOAT_EQ(Eval({Sq32(1) | Sq32(10), Sq32(32), Sq32(10)}, f), 3);
  EXPECT_FLOAT_EQ(Eval({Sq32(32), Sq32(1) | Sq32(2), 0}, f), -1);
}

TEST(Count64bit40, CompressRoundsHalvesToEven) {
  struct Case {
    int sideToMove;
    float compress, expected;
  };
  // ManValue 8 and balanced men: the score is SideToMove / 8.
  for (const Case& c : {Case{3, 0.25f, 0.5f}, Case{1, 0.25f, 0}, Case{5, 0.25f, 0.5f}, Case{3, 0, 0.375f},
                        Case{-3, 0.25f, -0.5f}, Case{7, 0.5f, 1}}) {
    SCOPED_TRACE(c.sideToMove);
    TEvalFuncStatic f = Weights(8, 24);
    f.SideToMove = c.sideToMove;
    f.Compress = c.compress;
    EXPECT_FLOAT_EQ(Eval({Sq32(1), Sq32(32), 0}, f), c.expected);
  }
}

TEST(Count64bit40, FlankBalance) {
  struct Case {
    const char* name;
    int variant;
    TBitBoard64 bd;
    int main, ext;
    float expected;  // × ManValue 100
  };
  // 32 squares: bit 0 lies in M1 and E1 only, bit 2 in M2 only; an own king
  // gives the side to move a piece that is not a man.
  const Case cases[] = {
      {"own surplus of one in M1 counts once", kRussian, {Bit(0), 0, 0}, 10, 0, 110},
      {"own surplus of one in M2 counts nothing", kRussian, {Bit(2), 0, 0}, 10, 0, 100},
      {"own surplus of two counts twice", kRussian, {Bit(2) | Bit(3), 0, 0}, 10, 0, 220},
      {"opponent surplus of one in M2 counts against it", kRussian, {Sq32(30), Bit(2), Sq32(30)}, 10, 0, 190},
      {"opponent surplus of one in M1 counts nothing", kRussian, {Sq32(30), Bit(0), Sq32(30)}, 10, 0, 200},
      {"second pair of masks", kRussian, {Bit(0), 0, 0}, 0, 5, 105},
      {"Turkish ignores a one-man difference", kTurkish, {Bit(0), 0, 0}, 10, 0, 100},
      {"Turkish counts two", kTurkish, {Bit(0) | Bit(1), 0, 0}, 10, 0, 220},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TEvalFuncStatic f = Weights(100, 300);
    f.SideBalanceMain = c.main;
    f.SideBalanceExt = c.ext;
    EXPECT_NEAR(Eval(c.bd, f, c.variant) * 100, c.expected, 1e-3);
  }
}

TEST(Count64bit40, KingPlacement) {
  struct Case {
    const char* name;
    int variant;
    uint64_t own, opp;  // kings
    float expected;     // raw, ManValue 1000
  };
  const Case cases[] = {
      {"32: one king on the main mask", kRussian, Sq32(1), 0, 307},
      {"32: once whatever the number of kings", kRussian, Sq32(1) | Sq32(5), 0, 607},
      {"32: the opponent's term counts against it", kRussian, Sq32(2), Sq32(1), -7},
      {"no term without flying kings", kEnglish, Sq32(1) | Sq32(5), 0, 600},
      {"64: own kings on row 0 count each", kTurkish, Bit(0) | Bit(1), 0, 614},
      {"64: opponent kings on row 7 count each", kTurkish, Bit(20), Bit(62) | Bit(61), -314},
      {"40 squares: no placement term", kSpantsiretti, Bit(0), 0, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TEvalFuncStatic f = Weights(1000, 300);
    f.KingsMain = 7;
    EXPECT_NEAR(Eval({c.own, c.opp, c.own | c.opp}, f, c.variant) * 1000, c.expected, 1e-2);
  }
}

TEST(Count64bit40, TurkishSecondRowInTheOpening) {
  struct Case {
    uint64_t own;
    float expected;
  };
  const uint64_t opp = 0x00FFFF0000000000;  // 16 men, 8 on row 6
  for (const Case& c : {Case{0x0000000000FFFF00, 0}, Case{0x000000000FFFF000, 7}, Case{0x000000001FFFE000, 3},
                        Case{0x000000001FFFC000, 0}}) {  // the last has 31 pieces
    TEvalFuncStatic f = Weights(1000, 450);
    f.KingsTur2nd4 = 7;
    f.KingsTur2nd35 = 3;
    const float raw = Eval({c.own, opp, 0}, f, kTurkish) * 1000;
    EXPECT_NEAR(raw - (PopCount(c.own) - 16) * 1000, c.expected, 1e-2) << std::hex << c.own;
  }
}

TEST(Count64bit40, PatternsNeedMenAndEmptySquares) {
  TEvalFuncStatic f = Weights(1000, 300);
  AddPattern(f, {{Sq32(1) | Sq32(2), Sq32(31), Sq32(5)}, 40});
  AddPattern(f, {{Sq32(3) | Sq32(4), 0, 0}, 0});  // no value: never tested
  AddPattern(f, {{0, 0, 0}, 9});                  // no bits: matches everything
  CompileEvf(f);
  EXPECT_EQ(f.RealSize, 2);
  struct Case {
    const char* name;
    TBitBoard64 bd;
    float patterns;
  };
  const Case cases[] = {
      {"all present", {Sq32(1) | Sq32(2), Sq32(31), 0}, 49},
      {"a king does not count as a man", {Sq32(1) | Sq32(2), Sq32(31), Sq32(2)}, 9},
      {"the empty square is occupied", {Sq32(1) | Sq32(2), Sq32(31) | Sq32(5), 0}, 9},
      {"opponent man missing", {Sq32(1) | Sq32(2), Sq32(30), 0}, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const float material = 1000.0f * (PopCount(c.bd.w & ~c.bd.k) - PopCount(c.bd.b & ~c.bd.k)) +
                           300.0f * (PopCount(c.bd.w & c.bd.k) - PopCount(c.bd.b & c.bd.k));
    EXPECT_NEAR(Eval(c.bd, f) * 1000 - material, c.patterns, 1e-2);
  }
}

TEST(Count64bit40, PieceCountBonusOnEvenPliesAndSqueeze) {
  struct Case {
    const char* name;
    int type;
    uint8_t dep;
    int sideToMove;
    float expected;  // raw
  };
  // One man each: n = 2, QuantityBonus 3, QuantityMul 0.5.
  const Case cases[] = {
      {"type 1 on an even ply", 1, 2, 0, 6},       {"type 1 on an odd ply", 1, 3, 0, 0},
      {"type 2 only below zero", 2, 2, 0, 0},      {"type 2 below zero", 2, 2, -10, -4},
      {"type 3 scales with the ply", 3, 4, 0, 12}, {"other types add nothing", 7, 2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TEvalFuncStatic f = Weights(1000, 300);
    f.QuantityType = c.type;
    f.QuantityBonus = 3;
    f.QuantityMul = 0.5f;
    f.SideToMove = c.sideToMove;
    EXPECT_NEAR(Eval({Sq32(1), Sq32(32), 0}, f, kRussian, c.dep) * 1000, c.expected, 1e-2);
  }
  // Squeeze divides by the average material per piece: king + man + man is
  // (3 + 1 + 1) / 3 men per piece; raw 3 men becomes 1.8.
  TEvalFuncStatic f = Weights(100, 300);
  f.Squeeze = true;
  EXPECT_FLOAT_EQ(Eval({Sq32(1) | Sq32(10), Sq32(32), Sq32(10)}, f), 1.8f);
}

TEST(Count64bit40, MatchesAPlainSumOverSquaresAndPatterns) {
  std::mt19937_64 gen(11);
  TEvalFuncStatic f = Weights(1000, 300);
  for (int i = 0; i < 300; ++i) {
    const uint64_t bits = (gen() & gen() & gen()) & BitBoardMask32;
    const int part = static_cast<int>(gen() % 3);
    const TBitBoard64 b{part == 0 ? bits : 0, part == 1 ? bits : 0, part == 2 ? bits : 0};
    AddPattern(f, {b, static_cast<int32_t>(gen() % 41) - 20});
  }
  CompileEvf(f);
  for (int i = 0; i < 300; ++i) {
    const uint64_t occ = gen() & gen() & BitBoardMask32, side = gen();
    const TBitBoard64 bd{occ & side, occ & ~side, 0};
    if (!bd.w) continue;
    const uint64_t empty = BitBoardMask32 & ~occ;
    int64_t raw = 0;
    for (int bit = 0; bit < 64; ++bit) {
      if (bd.w & Bit(bit)) raw += f.WhiteFields[bit] + 1000;
      if (bd.b & Bit(bit)) raw += f.BlackFields[bit] - 1000;
      if (empty & Bit(bit)) raw += f.ClearFields[bit];
    }
    for (int p = 0; p < f.Size; ++p) {
      const TPattern& t = f.Patt[p];
      if (PopCount(t.B.w) + PopCount(t.B.b) + PopCount(t.B.k) == 1 || t.value == 0) continue;
      if ((t.B.w & ~bd.w) == 0 && (t.B.b & ~bd.b) == 0 && (t.B.k & ~empty) == 0) raw += t.value;
    }
    ASSERT_FLOAT_EQ(Eval(bd, f, kRussian, 1), SoftClamp(static_cast<float>(raw) / 1000)) << i;
  }
}

TEST(CountArrayBoard, SquareWeightsSideToMoveAndGiveaway) {
  TEvalFuncStatic f = Weights(100, 300);
  f.FieldsWS[1] = 5;
  f.FieldsBK[32] = -7;
  f.FieldsWK[1] = 1000;  // no white king on the board: unused
  f.SideToMove = 10;
  TBoard bd;
  bd.b[1] = kWhiteMan;
  bd.b[32] = kBlackKing;
  bd.b[33] = kWhiteKing;  // beyond the board size: ignored
  const TGameParams& p = VariantTable[kRussian];
  std::atomic<int64_t> counter{0};
  EXPECT_FLOAT_EQ(count(TDColor::white, bd, 0, false, f, p, &counter), -1.78f);
  EXPECT_FLOAT_EQ(count(TDColor::black, bd, 0, false, f, p, &counter), 1.98f);
  EXPECT_FLOAT_EQ(count(TDColor::black, bd, 0, true, f, p, &counter), -1.98f);
  EXPECT_EQ(counter, 3);
}

TEST(Count64bitEb, ClassifiesByTheDrawThresholds) {
  struct Case {
    int sideToMove;
    float minDraw, maxDraw;
    int expected;
  };
  // Score = SideToMove / 100 with one man each.
  for (const Case& c : {Case{-100, -0.5f, 0.5f, -1}, Case{-50, -0.5f, 0.5f, -1}, Case{0, -0.5f, 0.5f, 0},
                        Case{49, -0.5f, 0.5f, 0}, Case{50, -0.5f, 0.5f, 1}, Case{0, NAN, 0.5f, -1}}) {
    TEvalFuncStatic f = Weights(100, 300);
    f.SideToMove = c.sideToMove;
    f.EDMinDraw = c.minDraw;
    f.EDMaxDraw = c.maxDraw;
    EXPECT_EQ(count64bit_eb({Sq32(1), Sq32(32), 0}, f, TEvalContext{kRussian, false, nullptr}), c.expected)
        << c.sideToMove;
  }
}

TEST(CompileEvf, SingleSquarePatternsBecomeTableWeights) {
  TEvalFuncStatic f = Weights(100, 300);
  AddPattern(f, {{Bit(3), 0, 0}, 11});
  AddPattern(f, {{0, Bit(3), 0}, -4});
  AddPattern(f, {{0, 0, Bit(9)}, 6});
  AddPattern(f, {{0, 0, Bit(10)}, 0});  // a k bit with value 0: no pattern
  AddPattern(f, {{Bit(12), 0, 0}, 8});
  CompileEvf(f);
  EXPECT_EQ(f.WhiteFields[3], 11);
  EXPECT_EQ(f.BlackFields[3], -4);
  EXPECT_EQ(f.ClearFields[9], 6);
  EXPECT_EQ(f.ClearFields[10], 0);
  EXPECT_EQ(f.WhiteFields[12], 8);
  EXPECT_EQ(f.RealSize, 0);
  // Byte table 1 covers bits 8..15: value 0b00010010 holds bits 9 and 12.
  EXPECT_EQ(f.w[256 + 0x12], (0 + 100) + (8 + 100));
  EXPECT_EQ(f.b[0x08], -4 - 100);
  EXPECT_EQ(f.c[256 + 0x06], 6);

  // A later single-square pattern for the same bit overwrites: set through Patt directly,
  // since AddPattern refuses an identical bitboard.
  f.Patt[f.Size - 1] = {{Bit(3), 0, 0}, 2};
  CompileEvf(f);
  EXPECT_EQ(f.WhiteFields[3], 2);
  EXPECT_EQ(f.WhiteFields[12], 0);
}

TEST(AddPattern, KeepsTheFirstOfIdenticalPatternsAndGrowsByTen) {
  TEvalFuncStatic f;
  AddPattern(f, {{1, 2, 4}, 5});
  AddPattern(f, {{1, 2, 4}, 9});
  EXPECT_EQ(f.Size, 1);
  EXPECT_EQ(f.Patt[0].value, 5);
  EXPECT_EQ(f.Patt.size(), 11u);
  for (uint64_t i = 2; i <= 11; ++i) AddPattern(f, {{i, 0, 0}, 1});
  EXPECT_EQ(f.Size, 11);
  EXPECT_EQ(f.Patt.size(), 21u);
  AddPattern(f, {{1, 2, 5}, 3});  // differs in k only
  EXPECT_EQ(f.Size, 12);
}

TEST(MirrorRows, ReversesEveryByteAndCanonicalPicksTheSmaller) {
  EXPECT_EQ(MirrorRows({0x01, 0x8000, 0}), (TBitBoard64{0x80, 0x0100, 0}));
  EXPECT_EQ(MirrorRows({0x0F00000000000003, 0, 0x10}), (TBitBoard64{0xF0000000000000C0, 0, 0x08}));
  const TBitBoard64 x{0x123456789ABCDEF0, 0x0FEDCBA987654321, 0x1111};
  EXPECT_EQ(MirrorRows(MirrorRows(x)), x);

  struct Case {
    TBitBoard64 in, out;
  };
  for (const Case& c : {
           Case{{0x80, 0, 0}, {0x01, 0, 0}},        // mirror smaller
           Case{{0x01, 0, 0}, {0x01, 0, 0}},        // input smaller
           Case{{0x81, 0x01, 0}, {0x81, 0x01, 0}},  // w equal: b decides
           Case{{0x81, 0x80, 0}, {0x81, 0x01, 0}}, Case{{0x81, 0x81, 0x80}, {0x81, 0x81, 0x01}},  // then k
           Case{{0x0100000000000000, 0, 0}, {0x8000000000000000, 0, 0}},  // signed: the mirror is negative
           Case{{0x18, 0x24, 0x18}, {0x18, 0x24, 0x18}},                  // symmetric: unchanged
       })
    EXPECT_EQ(CanonicalMirror64(c.in), c.out) << std::hex << c.in.w << " " << c.in.b << " " << c.in.k;
}

}  // namespace
}  // namespace quorlin
