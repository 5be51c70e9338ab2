// The engines shipped in EnginesTest: every one loads, plays its variant with
// the right search, and scores positions the same for both colours.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/enginefile.h"
#include "engine/evaluation.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

std::filesystem::path Shipped(int variant, const std::string& file) {
  return test::ProgramDir() / "EnginesTest" / VariantTable[variant].Name / file;
}

// The evaluation the engine's search uses, for `side` to move.
float Evaluate(const TEvalFunc& ef, int variant, const TBoard& board, int side) {
  const TGameParams& p = VariantTable[variant];
  if (ef.Version == kArrayBoardVersion)
    return count(side == 0 ? TDColor::white : TDColor::black, board, 0, ef.Giveaway, ef.Stages[0].Eval, p);
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  if (side == 1) FlipBitBoard(bb, variant);
  if (variant == kTurkish) bb = CanonicalMirror64(bb);
  int pieces = 0;
  for (int s = 1; s <= p.compute.BoardSize; ++s) pieces += board.b[s] != kEmpty;
  return count64bit40(bb, 0, ef.Stages[GetStageCnt(ef, pieces)].Eval,
                      TEvalContext{variant, ef.Giveaway, nullptr});
}

TEvalFunc Load(int variant, const std::string& file) {
  TEvalFunc ef;
  TEngineLoadNotes notes;
  EXPECT_TRUE(LoadEngine(Shipped(variant, file), ef, variant, &notes)) << Shipped(variant, file);
  for (size_t i = 0; i < notes.WeightsFound.size(); ++i)
    EXPECT_TRUE(notes.WeightsFound[i]) << file << " stage " << i << ": " << notes.WeightsFile[i];
  return ef;
}

class ShippedEngine : public ::testing::TestWithParam<int> {};

std::string RowName(const ::testing::TestParamInfo<int>& info) {
  std::string n = VariantTable[info.param].Name;
  std::erase(n, ' ');
  return n;
}

TEST_P(ShippedEngine, LoadsWithTheSearchItsVariantAllows) {
  const int v = GetParam();
  const TEvalFunc ef = Load(v, "Analytic.eng");
  EXPECT_EQ(ef.Name, "Analytic");
  const bool arrayBoard = v == kFrisian || v == kCanadian;
  EXPECT_EQ(ef.Version, arrayBoard ? kArrayBoardVersion : 40);
  EXPECT_EQ(EngineVersionProblem(ef.Version, v), "");
  EXPECT_FALSE(ef.Giveaway);
  ASSERT_EQ(ef.Stages.size(), 1u);
  EXPECT_EQ(ef.Stages[0].Eval.ManValue, 100);
  EXPECT_GT(ef.Stages[0].Eval.KingValue, ef.Stages[0].Eval.ManValue);
}

TEST_P(ShippedEngine, PrefersMaterialThenAdvancedMen) {
  const int v = GetParam();
  const TGameParams& p = VariantTable[v];
  const TEvalFunc ef = Load(v, "Analytic.eng");
  const int h = p.BoardHeight;
  // One man each on the second row from its own side, then White's man a row
  // further, then White a man up.
  auto square = [&](int row) {
    for (int c = 1; c <= p.BoardWidth; ++c)
      if (const int s = SquareAt(p, row, c)) return s;
    return 0;
  };
  auto squareFromRight = [&](int row) {
    for (int c = p.BoardWidth; c >= 1; --c)
      if (const int s = SquareAt(p, row, c)) return s;
    return 0;
  };
  TBoard even;
  even.b[square(1)] = kWhiteMan;
  even.b[squareFromRight(h - 2)] = kBlackMan;
  EXPECT_EQ(Evaluate(ef, v, even, 0), 0.0f);
  TBoard ahead;
  ahead.b[square(2)] = kWhiteMan;
  ahead.b[squareFromRight(h - 2)] = kBlackMan;
  const float advance = Evaluate(ef, v, ahead, 0);
  EXPECT_GT(advance, 0.0f);
  EXPECT_LT(advance, 0.5f);
  EXPECT_FLOAT_EQ(Evaluate(ef, v, ahead, 1), -advance);
  TBoard manUp = even;
  manUp.b[squareFromRight(1)] = kWhiteMan;
  EXPECT_GT(Evaluate(ef, v, manUp, 0), 0.9f);
  EXPECT_LT(Evaluate(ef, v, manUp, 1), -0.9f);
  // A king is worth more than a man.
  TBoard king = even;
  king.b[square(1)] = kWhiteKing;
  EXPECT_GT(Evaluate(ef, v, king, 0), 0.9f);
}

INSTANTIATE_TEST_SUITE_P(Variants, ShippedEngine, ::testing::Range(1, kVariantCount + 1), RowName);

// Every description in EnginesTest, whatever its name: it loads with all its
// weights, its search suits the variant of its folder, and it scores a
// position and its colour-swapped image alike.
TEST(ShippedEngines, EveryOneLoadsAndScoresBothColoursAlike) {
  const std::filesystem::path root = test::ProgramDir() / "EnginesTest";
  int engines = 0;
  for (const auto& folder : std::filesystem::directory_iterator(root)) {
    const int v = FindVariant(folder.path().filename().string());
    ASSERT_NE(v, 0) << "folder not named after a variant: " << folder.path();
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Analytic.eng")) << folder.path();
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
      if (entry.path().extension() != ".eng") continue;
      SCOPED_TRACE(entry.path().string());
      ++engines;
      const TEvalFunc ef = Load(v, entry.path().filename().string());
      EXPECT_EQ(EngineVersionProblem(ef.Version, v), "");
      const TGameParams& p = VariantTable[v];
      TBoard start;
      start.b = StartPosition(p, false);
      EXPECT_EQ(Evaluate(ef, v, start, 0), Evaluate(ef, v, start, 1));
      // Positions along random games: a position and its colour-swapped image
      // score the same for the side to move.
      TRandom rng(1234 + v);
      for (int game = 0; game < 4; ++game) {
        TBoard b = start;
        int side = 0;
        for (int ply = 0; ply < 60; ++ply) {
          TMvs list;
          uint8_t n = 0;
          GenerateMoves(b, side, list, n, p, true);
          if (n == 0) break;
          ApplyMove(list[1 + rng.Below(n)], b, p);
          side = 1 - side;
          TBoard swapped = b;
          SwapColours(swapped.b, p);
          const float mine = Evaluate(ef, v, b, side);
          ASSERT_FLOAT_EQ(mine, Evaluate(ef, v, swapped, 1 - side)) << "game " << game << " ply " << ply;
          // Without a bonus for the side to move (in the stage that scores
          // this position) the two views are opposite.
          int pieces = 0;
          for (int s = 1; s <= p.compute.BoardSize; ++s) pieces += b.b[s] != kEmpty;
          const int stage = ef.Version == kArrayBoardVersion ? 0 : GetStageCnt(ef, pieces);
          if (ef.Stages[stage].Eval.SideToMove == 0 && std::fabs(mine) < 1000) {
            ASSERT_FLOAT_EQ(mine, -Evaluate(ef, v, b, 1 - side)) << "game " << game << " ply " << ply;
          }
        }
      }
    }
  }
  EXPECT_GE(engines, kVariantCount + 1);
}

// Russian has a second engine for matches: material only, so it differs from
// Analytic exactly by the advancement terms.
TEST(ShippedEngines, RussianMaterialIgnoresAdvancement) {
  const TEvalFunc analytic = Load(kRussian, "Analytic.eng");
  const TEvalFunc material = Load(kRussian, "Material.eng");
  EXPECT_EQ(material.Name, "Material");
  EXPECT_EQ(material.Version, 40);
  const TGameParams& p = VariantTable[kRussian];
  TBoard b;
  b.b[SquareAt(p, 5, 2)] = kWhiteMan;  // b6: far advanced
  b.b[SquareAt(p, 6, 1)] = kBlackMan;  // a7: at home
  EXPECT_GT(Evaluate(analytic, kRussian, b, 0), 0.0f);
  EXPECT_EQ(Evaluate(material, kRussian, b, 0), 0.0f);
  b.b[SquareAt(p, 0, 1)] = kWhiteKing;
  EXPECT_FLOAT_EQ(Evaluate(material, kRussian, b, 0),
                  static_cast<float>(material.Stages[0].Eval.KingValue) / 100.0f);
  EXPECT_NE(material.Stages[0].Eval.KingValue, analytic.Stages[0].Eval.KingValue);
}

}  // namespace
}  // namespace quorlin
