// Ballot databases: which file a variant uses, and reading a random line
// from a small database.
#include "app/ballots.h"

#include <gtest/gtest.h>

#include <vector>

#include "ballot_fixture.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

TEST(Ballots, FileByVariantAndKind) {
  struct Row {
    int variant;
    const char* twoMoves;
    const char* full;
  } rows[] = {
      {kRussian, "2move.abd", "fly.abd"},
      {kEnglish, "2move.abd", "3move.abd"},
      {kBrazilian, "2move.abd", "fly.abd"},
      {kPool, "2move.abd", "fly.abd"},
      {kItalian, "italianA.abd", "italianB.abd"},
      {kInternational, "2move.abd", ""},
      {kCzech, "2move.abd", "3move.abd"},
      {kSpanish, "2move.abd", "3move.abd"},
      {kFrisian, "2move.abd", ""},
      {kSpantsiretti, "2move.abd", ""},
      {kCanadian, "2move.abd", ""},
      {kThai, "2thai.abd", ""},
      {kTurkish, "2move.abd", ""},
      {kInternationalKiller, "2move.abd", ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(BallotFileName(r.variant, 1), r.twoMoves) << r.variant;
    EXPECT_EQ(BallotFileName(r.variant, 2), r.full) << r.variant;
  }
  EXPECT_EQ(BallotFileName(kCustom, 1), "");
  EXPECT_TRUE(BallotsApply(VariantTable[kRussian]));
  EXPECT_FALSE(BallotsApply(VariantTable[kInternational]));
  EXPECT_FALSE(BallotsApply(VariantTable[kTurkish]));  // 64 squares
}

TEST(Ballots, ReadsTheDrawnGameInLinkedForm) {
  const auto dir = test::FreshDir("ballots");
  const std::string path = (dir / "2move.abd").string();
  test::WriteBallotDatabase(path, kRussian, {{"c3-d4", "f6-g5"}, {"a3-b4"}});
  for (uint32_t drawn : {0u, 1u}) {
    TGame game;
    std::string error;
    ASSERT_TRUE(LoadBallotGame(
        path,
        [&](uint32_t n) {
          EXPECT_EQ(n, 2u);
          return drawn;
        },
        game, error))
        << error;
    EXPECT_EQ(game.Version, kTreeLinked);
    EXPECT_EQ(game.DBGameNo, 0);
    EXPECT_EQ(MainLineLength(game), drawn == 0 ? 2 : 1);
  }
  TGame game;
  std::string error;
  EXPECT_FALSE(LoadBallotGame((dir / "fly.abd").string(), [](uint32_t) { return 0u; }, game, error));
  EXPECT_NE(error.find("fly.abd"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorlin
