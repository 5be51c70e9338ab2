// The game-information fields: checked, copied into the game and saved.
#include "app/gameinfoform.h"

#include <gtest/gtest.h>

#include "db_fixture.h"

namespace quorlin {
namespace {

struct TBadInfo {
  const char* name;
  void (*edit)(TGameInfoForm&);
  const char* says;
};

void PrintTo(const TBadInfo& c, std::ostream* os) { *os << c.name; }

class BadGameInfo : public ::testing::TestWithParam<TBadInfo> {};

TEST_P(BadGameInfo, IsRefusedWithTheFieldNamed) {
  TGameInfoForm form;
  form.white = "Anna";
  GetParam().edit(form);
  std::string error;
  EXPECT_FALSE(CheckGameInfo(form, error));
  EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadGameInfo,
    ::testing::Values(
        TBadInfo{"NameTooLong", [](TGameInfoForm& f) { f.black = std::string(kMaxNameLength + 1, 'b'); }, "Black"},
        TBadInfo{"TournamentTooLong", [](TGameInfoForm& f) { f.tournament = std::string(300, 't'); }, "Tournament"},
        TBadInfo{"RatingWords", [](TGameInfoForm& f) { f.whiteElo = "2400a"; }, "White elo"},
        TBadInfo{"RatingTooHigh", [](TGameInfoForm& f) { f.blackElo = "3001"; }, "Black elo"},
        TBadInfo{"RoundNegative", [](TGameInfoForm& f) { f.round = "-2"; }, "Round"},
        TBadInfo{"MonthThirteen", [](TGameInfoForm& f) { f.month = 13; }, "Month"},
        TBadInfo{"ResultOutOfList", [](TGameInfoForm& f) { f.result = kResultCount; }, "Result"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GameInfo, LongNameOfManyBytesButFewCharactersIsAccepted) {
  TGameInfoForm form;
  form.white.clear();
  for (int i = 0; i < kMaxNameLength; ++i) form.white += "\u00e9";  // two bytes each
  std::string error;
  EXPECT_TRUE(CheckGameInfo(form, error)) << error;
}

TEST(GameInfo, SaveAppendsThenReplaces) {
  const std::string path = test::MakeDatabase("info", test::NumberedGames(2));
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(path, db, false));
  TGame game;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, game));
  game.DBGameNo = 0;  // a game of no database yet
  TGameInfoForm form = GameInfoFromGame(game, db);
  EXPECT_FALSE(form.replaceShown);
  form.white = "Anna";
  form.whiteElo = "2350";
  form.year = 1999;
  std::string error;
  ASSERT_TRUE(SaveGameInfo(form, game, db, error)) << error;
  EXPECT_EQ(db.DBSize, 3);
  EXPECT_EQ(game.DBGameNo, 3);
  EXPECT_FALSE(game.Modified);

  form = GameInfoFromGame(game, db);
  EXPECT_TRUE(form.replaceShown);
  EXPECT_EQ(form.whiteElo, "2350");
  form.white = "Anna K";
  form.replace = true;
  ASSERT_TRUE(SaveGameInfo(form, game, db, error)) << error;
  EXPECT_EQ(db.DBSize, 3);
  ASSERT_TRUE(CloseDatabase(db));

  TQuorlinDB again;
  ASSERT_TRUE(OpenDatabase(path, again, true));
  TGame read;
  ASSERT_TRUE(ReadGame(again, 3, false, -1, read));
  EXPECT_EQ(read.WhiteName, "Anna K");
  EXPECT_EQ(read.Header.White.Rating, 2350);
  EXPECT_EQ(read.Header.Date.Year, 1999);
}

TEST(GameInfo, BadFormOrNoDatabaseWritesNothing) {
  TQuorlinDB closed;
  TGame game;
  ClearGame(game);
  TGameInfoForm form;
  form.white = "Anna";
  std::string error;
  EXPECT_FALSE(SaveGameInfo(form, game, closed, error));
  EXPECT_FALSE(error.empty());

  const std::string path = test::MakeDatabase("infobad", test::NumberedGames(1));
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(path, db, false));
  form.whiteElo = "lots";
  const TGame before = game;
  EXPECT_FALSE(SaveGameInfo(form, game, db, error));
  EXPECT_EQ(db.DBSize, 1);
  EXPECT_EQ(game.WhiteName, before.WhiteName);
}

}  // namespace
}  // namespace quorlin
