// The user's rating: expected scores from the rating difference and the
// change after a rated game.
#include "app/rating.h"

#include <gtest/gtest.h>

#include "games/gamerecord.h"

namespace quorlin {
namespace {

TEST(Rating, ExpectedScoreFromTheDifference) {
  struct Row {
    int diff, score;
  } rows[] = {{0, 50},   {3, 50},   {4, 51},    {-4, 49},    {-200, 24}, {200, 76},   {500, 96},
              {-500, 4}, {735, 99}, {736, 100}, {3000, 100}, {-3000, 0}, {5000, 100}, {-5000, 0}};
  for (const Row& r : rows) EXPECT_EQ(ExpectedScore(r.diff), r.score) << r.diff;
}

TEST(Rating, ScoreOfTheUserBySide) {
  EXPECT_EQ(UserScore(kResultWhiteWin, TDColor::white), 100);
  EXPECT_EQ(UserScore(kResultWhiteWinTime, TDColor::white), 100);
  EXPECT_EQ(UserScore(kResultBlackWinTime, TDColor::white), 0);
  EXPECT_EQ(UserScore(kResultDraw, TDColor::black), 50);
  EXPECT_EQ(UserScore(kResultBlackWin, TDColor::black), 100);
  EXPECT_EQ(UserScore(kResultWhiteWin, TDColor::black), 0);  // resigning as Black is a loss
  EXPECT_EQ(UserScore(kResultNone, TDColor::white), -1);
}

TEST(Rating, ChangeAfterAGame) {
  struct Row {
    int user, games, engine, score, delta;
  } rows[] = {
      {2000, 0, 2000, 100, 105},                            // first game, equal ratings, a win
      {2000, 5, 2200, 50, 41},                              // K 160, e 24: 41.6 truncated
      {2000, 19, 2000, 100, 10},                            // K stays 20 from 19 games on
      {2000, 40, 2000, 100, 10}, {2003, 30, 2000, 0, -10},  // K 20, e 50... -10
      {2004, 30, 2000, 0, -10},                             // e 51: -10.2 truncated towards zero
  };
  for (const Row& r : rows)
    EXPECT_EQ(RatingDelta(r.user, r.games, r.engine, r.score), r.delta)
        << r.user << " vs " << r.engine << " after " << r.games;
  EXPECT_EQ(RatingFactor(0), 210);
  EXPECT_EQ(RatingFactor(5), 160);
  EXPECT_EQ(RatingFactor(1000000000), 20);
}

}  // namespace
}  // namespace quorlin
