// Endgame databases on demand: default piece counts and the stepwise build
// with progress and a stop.
#include "engine/egdbdefaults.h"

#include <gtest/gtest.h>

#include <atomic>

#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

struct TDefault {
  int variant;
  int pieces;
};
class EgdbDefaultTest : public ::testing::TestWithParam<TDefault> {};

TEST_P(EgdbDefaultTest, PieceCount) { EXPECT_EQ(DefaultEgdbPieces(GetParam().variant), GetParam().pieces); }

INSTANTIATE_TEST_SUITE_P(Variants, EgdbDefaultTest,
                         ::testing::Values(TDefault{kRussian, 4}, TDefault{kEnglish, 4}, TDefault{kInternational, 3},
                                           TDefault{kTurkish, 3}, TDefault{kFrisian, 0}, TDefault{kCanadian, 0},
                                           TDefault{0, 0}));

TEST(EgdbSteps, ProgressReachesTheEndAndAStopIsReported) {
  const std::string folder = test::FreshDir("egdb-steps").string();
  double last = -1;
  bool monotone = true;
  const TEgdbBuildResult r = BuildEndgameDatabasesInSteps(kRussian, folder, 3, [&](const TEgdbJobProgress& p) {
    monotone &= p.fraction >= last;
    last = p.fraction;
  });
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(monotone);
  EXPECT_EQ(last, 1.0);
  std::atomic<bool> stop{true};
  const TEgdbBuildResult s = BuildEndgameDatabasesInSteps(kRussian, folder, 3, {}, &stop);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.error, "stopped");
  EXPECT_FALSE(BuildEndgameDatabasesInSteps(kFrisian, folder, 0, {}).ok);
}

}  // namespace
}  // namespace quorlin
