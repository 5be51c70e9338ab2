// Whole games against a quick engine in every variant, driven without a
// window: the user always plays the first legal move and the engine answers
// until the game has a result.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "engine/gameresult.h"

namespace quorlin {
namespace {

using test::AppTest;
using test::TEngineSpec;

struct GameRow {
  int variant;
  bool giveaway;
};

class WholeGame : public AppTest, public testing::WithParamInterface<GameRow> {};

// The user always plays the first legal move; the engine answers until the
// game has a result. The result must follow from the final position and be
// announced once, under the colour name the variant shows.
TEST_P(WholeGame, EndsWithTheRightResultAndMessage) {
  const GameRow row = GetParam();
  TEngineSpec spec;
  spec.maxDepth = 3;
  spec.giveaway = row.giveaway;
  InstallEngine(row.variant, spec);
  Start();
  app().SelectVariant(row.variant, false);
  app().StartGame(test::PlayAs(test::kAsWhite, false));
  Settle();
  for (int ply = 0; ply < 1000 && Game().Header.Result == kResultNone; ++ply) {
    ASSERT_TRUE(app().CanUserMove());
    const auto m = FirstLegal();
    ASSERT_TRUE(m.has_value()) << "the user has no move but the game goes on";
    ASSERT_TRUE(app().UserMove(*m).Accepted);
    Settle();
  }
  const TGame g = Game();
  ASSERT_NE(g.Header.Result, kResultNone) << "no result after 1000 turns";
  EXPECT_FALSE(app().ClockRunning());
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, n, g.Params, true);
  const std::string white = NumberedText(kMsgWhiteWin), black = NumberedText(kMsgBlackWin);
  if (g.Header.Result == kResultDraw) {
    EXPECT_GT(n, 0);
    EXPECT_TRUE(RepetitionDraw(g, g.CurMovPos) || MoveCountDraw(g, g.CurMovPos));
    EXPECT_EQ(Count(silent_, NumberedText(kMsgDraw)), 1);
    EXPECT_EQ(Count(shown_, white) + Count(shown_, black), 0);
    return;
  }
  ASSERT_EQ(n, 0) << "a win while the side to move still has a move";
  const bool whiteStuck = g.SideToMove == TDColor::white;
  const uint8_t expected = whiteStuck != row.giveaway ? kResultBlackWin : kResultWhiteWin;
  EXPECT_EQ(g.Header.Result, expected);
  // Side white is called Black where the variant starts with Black.
  const bool shownWhiteWins = (expected == kResultWhiteWin) == g.Params.intface.WhiteStart;
  EXPECT_EQ(Count(shown_, shownWhiteWins ? white : black), 1);
  EXPECT_EQ(Count(shown_, shownWhiteWins ? black : white), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, WholeGame,
    testing::Values(GameRow{kRussian, false}, GameRow{kEnglish, false}, GameRow{kBrazilian, false},
                    GameRow{kPool, false}, GameRow{kItalian, false}, GameRow{kInternational, false},
                    GameRow{kCzech, false}, GameRow{kSpanish, false}, GameRow{kFrisian, false},
                    GameRow{kSpantsiretti, false}, GameRow{kCanadian, false}, GameRow{kThai, false},
                    GameRow{kTurkish, false}, GameRow{kInternationalKiller, false}, GameRow{kRussian, true}),
    [](const testing::TestParamInfo<GameRow>& info) {
      std::string n = VariantTable[info.param.variant].Name;
      std::erase(n, ' ');
      return n + (info.param.giveaway ? "Giveaway" : "");
    });

}  // namespace
}  // namespace quorlin
