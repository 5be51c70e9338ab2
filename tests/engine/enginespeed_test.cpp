// Engine speed measurement: the position walk is fixed and varied, and every
// position is searched and its nodes counted.
#include "engine/enginespeed.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

std::string Analytic(int variant) {
  return (test::ProgramDir() / "EnginesTest" / VariantTable[variant].Name / "Analytic.eng").string();
}

class EngineSpeed : public ::testing::TestWithParam<int> {};

TEST_P(EngineSpeed, WalkGivesDistinctPositionsFromTheStart) {
  const int v = GetParam();
  const std::vector<TSpeedPosition> a = SpeedPositions(v, 6);
  ASSERT_EQ(a.size(), 6u);
  EXPECT_EQ(a[0].board.b, StartPosition(VariantTable[v], false));
  EXPECT_EQ(a[0].side, 0);
  std::set<std::pair<std::vector<int>, int>> seen;
  for (const TSpeedPosition& p : a)
    seen.insert({std::vector<int>(p.board.b.begin(), p.board.b.end()), p.side});
  EXPECT_EQ(seen.size(), a.size());
  const std::vector<TSpeedPosition> b = SpeedPositions(v, 6);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].board.b, b[i].board.b) << i;
}

TEST_P(EngineSpeed, EveryPositionIsSearchedAndCounted) {
  const int v = GetParam();
  const std::vector<TSpeedPosition> positions = SpeedPositions(v, 3);
  const TEngineSpeed s = MeasureEngineSpeed(Analytic(v), v, positions, 3000);
  EXPECT_EQ(s.positions, 3);
  // Each search stops near its budget: the total lies above one budget and
  // within a few budgets per position (the budget is checked between nodes
  // near the root, so a search overshoots it a little).
  EXPECT_GT(s.nodes, 3000);
  EXPECT_LT(s.nodes, 3 * 3000 * 10);
  EXPECT_GT(s.cpuSeconds, 0);
  EXPECT_GT(s.NodesPerSecond(), 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, EngineSpeed,
                         ::testing::Values(kRussian, kInternational, kFrisian, kTurkish),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(VariantTable[i.param].Name);
                         });

TEST(EngineSpeedErrors, MissingEngineThrows) {
  EXPECT_THROW(MeasureEngineSpeed("/nonexistent/None.eng", kRussian, SpeedPositions(kRussian, 1), 100),
               std::runtime_error);
}

}  // namespace
}  // namespace quorlin
