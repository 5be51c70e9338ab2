// The weights tuner: its linear model agrees with the engine's evaluations
// term by term, quiet leaves play out pending captures, and a fit finds the
// weights that decide the results of a synthetic data set.
#include "engine/tuner.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/evaluation.h"
#include "rules/fen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

// Random weights for every term the tuner fits, on the variant's squares.
TEvalFuncStatic RandomWeights(int variant, bool arrayBoard, TRandom& rng) {
  const TGameParams& p = VariantTable[variant];
  auto r = [&](int range) {
    return static_cast<int32_t>(rng.Below(static_cast<uint32_t>(2 * range + 1))) - range;
  };
  TEvalFuncStatic e;
  e.Version = arrayBoard ? 211 : 40;
  e.ManValue = 1000;
  e.KingValue = 2500 + r(500);
  e.SideToMove = r(50);
  if (arrayBoard) {
    // Colour-symmetric, the only form the model fits: a black piece weighs
    // what a white one does on the colour-swapped square.
    const int S = p.compute.BoardSize;
    for (int s = 1; s <= S; ++s) {
      e.FieldsWS[s] = r(200);
      e.FieldsWK[s] = r(200);
    }
    for (int s = 1; s <= S; ++s) {
      e.FieldsBS[s] = e.FieldsWS[S + 1 - s];
      e.FieldsBK[s] = e.FieldsWK[S + 1 - s];
    }
    return e;
  }
  e.SideBalanceMain = r(100);
  e.SideBalanceExt = r(100);
  e.KingsMain = r(100);
  e.KingsDouble = r(100);
  e.KingsTriple = r(100);
  e.KingsTurAH = r(100);
  e.KingsTur2nd4 = r(100);
  e.KingsTur2nd35 = r(100);
  for (int bit = 0; bit < 64; ++bit) {
    if (!(p.BitBoardGood64 >> bit & 1)) continue;
    const uint64_t b = uint64_t{1} << bit;
    AddPattern(e, {{b, 0, 0}, r(150)});
    AddPattern(e, {{0, b, 0}, r(150)});
    AddPattern(e, {{0, 0, b}, r(150)});
    // A few two-square patterns mixing the three states.
    if (bit % 5 == 0 && bit + 1 < 64 && (p.BitBoardGood64 >> (bit + 1) & 1))
      AddPattern(e, {{b, 0, b << 1}, r(150)});
  }
  CompileEvf(e);
  return e;
}

struct TEvalCase {
  int variant;
  bool arrayBoard;
};

class TunerModelTest : public ::testing::TestWithParam<TEvalCase> {};

TEST_P(TunerModelTest, LinearModelIsTheEnginesEvaluation) {
  const auto [variant, arrayBoard] = GetParam();
  const TGameParams& p = VariantTable[variant];
  TRandom rng(77 + variant);
  const TEvalFuncStatic e = RandomWeights(variant, arrayBoard, rng);
  // The Turkish opening term needs all 32 pieces on the board.
  const int men = variant == kTurkish ? 16 : 6;
  for (int i = 0; i < 60; ++i) {
    TTuneSample s;
    const uint8_t kings = i % 3 == 0 ? 0 : 2;
    ASSERT_TRUE(GeneratePosition(static_cast<uint8_t>(men - (i % 4)), static_cast<uint8_t>(men - (i % 3)),
                                 i % 3 == 0 ? 0 : kings, i % 2 == 0 ? 0 : 1, s.board.b, false, false, false,
                                 p, rng));
    s.side = i % 2 ? TDColor::black : TDColor::white;
    const double model = LinearEvaluation(s, variant, arrayBoard, e);
    float engine;
    if (arrayBoard) {
      engine = count(s.side, s.board, 0, false, e, p);
    } else {
      TBitBoard64 bb;
      BoardToBit64(s.board, bb, variant);
      if (s.side == TDColor::black) FlipBitBoard(bb, variant);
      engine = count64bit40(bb, 0, e, TEvalContext{variant, false, nullptr, nullptr});
    }
    ASSERT_NEAR(SoftClamp(static_cast<float>(model)), engine, 1e-4)
        << "position " << i << " " << WriteFEN(p, s.board.b, s.side == TDColor::black);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, TunerModelTest,
                         ::testing::Values(TEvalCase{kRussian, false}, TEvalCase{kInternational, false},
                                           TEvalCase{kTurkish, false}, TEvalCase{kSpantsiretti, false},
                                           TEvalCase{kFrisian, true}, TEvalCase{kCanadian, true}),
                         [](const auto& info) {
                           return VariantTable[info.param.variant].Name.substr(0, 5) +
                                  (info.param.arrayBoard ? "Array" : "Bits");
                         });

TEST(QuietLeaf, PlaysOutThePendingCapture) {
  const TGameParams& p = VariantTable[kRussian];
  TBoard b;
  int side = 0;
  // White c3 must take d4; Black then has no capture.
  ParseFEN(p, "W:Wc3,a1:Bd4,h8", b.b, side);
  TDColor s = TDColor::white;
  const TBoard leaf = QuietLeaf(b, s, kRussian);
  EXPECT_EQ(s, TDColor::black);
  int pieces = 0;
  for (int8_t v : leaf.b) pieces += v != 0;
  EXPECT_EQ(pieces, 3);
  // A quiet position is its own leaf.
  TDColor s2 = TDColor::black;
  EXPECT_EQ(QuietLeaf(leaf, s2, kRussian), leaf);
  EXPECT_EQ(s2, TDColor::black);
}

// Russian positions whose results are decided by material and by one square
// (square 14 helps its owner).
// Results decided by material and by a white man on `bonusSquare` (and, when
// `blackSquare` is given, as much against White for a black man there).
std::vector<TTuneSample> MaterialAndSquareSamples(int variant = kRussian, int bonusSquare = 14,
                                                  int blackSquare = 0) {
  const TGameParams& p = VariantTable[variant];
  TRandom rng(5);
  std::vector<TTuneSample> samples;
  for (int i = 0; i < 4000; ++i) {
    TTuneSample s;
    EXPECT_TRUE(GeneratePosition(static_cast<uint8_t>(4 + rng.Below(5)),
                                 static_cast<uint8_t>(4 + rng.Below(5)), 0, 0, s.board.b, false, false, false,
                                 p, rng));
    s.side = TDColor::white;
    int own = 0, opp = 0;
    for (int q = 1; q <= p.compute.BoardSize; ++q) own += s.board.b[q] == 1, opp += s.board.b[q] == -1;
    const double z = 0.8 * (own - opp) + (s.board.b[bonusSquare] == 1 ? 1.5 : 0.0) -
                     (blackSquare != 0 && s.board.b[blackSquare] == -1 ? 1.5 : 0.0);
    const double pr = 1 / (1 + std::exp(-z));
    s.target = rng.Below(1000) < pr * 1000 ? 1.0f : 0.0f;
    s.pieces = static_cast<uint8_t>(own + opp);
    s.validation = i % 10 == 0;
    samples.push_back(s);
  }
  return samples;
}

// One stage over every piece count, without patterns.
TTuneStageReport FitWholeRange(const std::vector<TTuneSample>& samples, int variant, bool arrayBoard,
                               TEvalFuncStatic& e) {
  TTuneOptions o;
  o.variant = variant;
  o.passes = 300;
  o.maxPatterns = 0;
  e.Version = arrayBoard ? kArrayBoardVersion : kBitboardVersion;
  return FitStage(samples, 1, 128, o, arrayBoard, e);
}

// The fit gives material its unit and the deciding square the largest men
// weight.
TEST(FitStage, FindsTheTermsThatDecideTheResults) {
  const int variant = kRussian;
  const TGameParams& p = VariantTable[variant];
  TBoard one;
  one.b[14] = 1;
  TBitBoard64 oneBB;
  BoardToBit64(one, oneBB, variant);
  const int bonusBit = __builtin_ctzll(oneBB.w);
  TEvalFuncStatic e;
  const TTuneStageReport r = FitWholeRange(MaterialAndSquareSamples(), variant, false, e);
  EXPECT_EQ(e.ManValue, 1000);
  EXPECT_LT(r.validationLoss, r.materialValidationLoss);
  int best = -1;
  for (int bit = 0; bit < 64; ++bit)
    if (p.BitBoardGood64 >> bit & 1)
      if (best < 0 || e.WhiteFields[bit] > e.WhiteFields[best]) best = bit;
  EXPECT_EQ(best, bonusBit);
  EXPECT_GT(e.WhiteFields[bonusBit], 500);  // 1.5 / 0.8 of a man, shrunk by the regularisation
}

// The array-board fit (Frisian, Canadian) writes black tables that mirror the
// white ones, so the engine scores a position and its colour-swapped image
// alike; the deciding square still gets the largest man weight.
TEST(FitStage, ArrayBoardWeightsAreColourSymmetric) {
  const int variant = kFrisian;
  const int S = VariantTable[variant].compute.BoardSize;
  TEvalFuncStatic e;
  const TTuneStageReport r =
      FitWholeRange(MaterialAndSquareSamples(variant, 28, S + 1 - 28), variant, true, e);
  EXPECT_LT(r.validationLoss, r.materialValidationLoss);
  int best = 1;
  for (int s = 1; s <= S; ++s) {
    EXPECT_EQ(e.FieldsBS[s], e.FieldsWS[S + 1 - s]) << s;
    EXPECT_EQ(e.FieldsBK[s], e.FieldsWK[S + 1 - s]) << s;
    if (e.FieldsWS[s] > e.FieldsWS[best]) best = s;
  }
  EXPECT_EQ(best, 28);
}

// Opening and endgame get a stage each where the search reads stages (with
// positions enough in both); the array-board search reads only the first
// stage, which then covers every piece count.
TEST(TuneStageRanges, SplitsOnlyForTheBitboardSearch) {
  std::vector<TTuneSample> samples(8000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i].pieces = static_cast<uint8_t>(i % 2 ? 30 : 6);
  using R = std::vector<std::pair<int, int>>;
  EXPECT_EQ(TuneStageRanges(samples, kRussian, 2, false), (R{{9, 128}, {1, 8}}));
  EXPECT_EQ(TuneStageRanges(samples, kRussian, 1, false), (R{{1, 128}}));
  EXPECT_EQ(TuneStageRanges(samples, kFrisian, 2, true), (R{{1, 128}}));
  EXPECT_EQ(TuneStageRanges(samples, kCanadian, 2, true), (R{{1, 128}}));
  samples.resize(4000);  // 2,000 endgame positions: too few for a stage of their own
  EXPECT_EQ(TuneStageRanges(samples, kRussian, 2, false), (R{{1, 128}}));
}

// A start engine whose square terms are noise of several men and a
// regularisation strong enough to hold the fit near them: the fit lets them
// go and ends at least as good on the held-out positions as material alone.
TEST(FitStage, DropsAMisleadingStartEngine) {
  const TGameParams& p = VariantTable[kRussian];
  const std::vector<TTuneSample> samples = MaterialAndSquareSamples();
  TEvalFuncStatic start;
  start.Version = 40;
  start.ManValue = 1000;
  start.KingValue = 3000;
  TRandom rng(11);
  for (int bit = 0; bit < 64; ++bit) {
    if (!(p.BitBoardGood64 >> bit & 1)) continue;
    start.WhiteFields[bit] = static_cast<int32_t>(rng.Below(6001)) - 3000;
    start.BlackFields[bit] = static_cast<int32_t>(rng.Below(6001)) - 3000;
  }
  TTuneOptions o;
  o.variant = kRussian;
  o.passes = 300;
  o.maxPatterns = 0;
  o.l2 = 1.0;
  TEvalFuncStatic e;
  e.Version = 40;
  const TTuneStageReport r = FitStage(samples, 1, 128, o, false, e, &start);
  EXPECT_GT(r.startValidationLoss, r.materialValidationLoss);
  EXPECT_LE(r.validationLoss, r.materialValidationLoss + 1e-9);
}

}  // namespace
}  // namespace quorlin
