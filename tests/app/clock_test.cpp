// The game clock: texts, counting down and up, time-control texts and the
// engine's share of the remaining time.
#include "app/clock.h"

#include <gtest/gtest.h>

namespace quorlin {
namespace {

TEST(ClockText, HoursMinutesSeconds) {
  struct Row {
    int64_t cs;
    const char* text;
  } rows[] = {{0, "0:00:00"},          {99, "0:00:00"},     {100, "0:00:01"},    {6000, "0:01:00"},
              {18000, "0:03:00"},      {359999, "0:59:59"}, {360000, "1:00:00"}, {3600000, "10:00:00"},
              {36000000, "100:00:00"}, {-500, "0:00:00"}};
  for (const Row& r : rows) EXPECT_EQ(ClockText(r.cs), r.text) << r.cs;
}

TEST(Clock, TimePerGameCountsDownAndRunsOutOnce) {
  TTime t = ClockForTimeControl(kTimePerGame, 1);
  EXPECT_EQ(t.MovesCount, 0);
  EXPECT_EQ(t.TimeControl[0], 6000);
  EXPECT_EQ(t.TimeElapsed[1], 6000);
  EXPECT_EQ(TimeControlText(t), " 1 min");
  EXPECT_FALSE(ChargeClock(t, TDColor::white, 5999));
  EXPECT_EQ(t.TimeElapsed[0], 1);
  EXPECT_EQ(t.TimeElapsed[1], 6000);                // only the side charged loses time
  EXPECT_FALSE(ChargeClock(t, TDColor::white, 1));  // exactly 0 left is not yet out
  EXPECT_TRUE(ChargeClock(t, TDColor::white, 1));
  EXPECT_EQ(t.TimeElapsed[0], 0);
  EXPECT_EQ(MoveBudget(t, TDColor::black, 40), 150);
}

TEST(Clock, TimePerMoveCountsUpAndGivesTheEngineItsMove) {
  TTime t = ClockForTimeControl(kTimePerMove, 5);
  EXPECT_EQ(t.MovesCount, 1);
  EXPECT_EQ(t.TimeElapsed[0], 0);
  EXPECT_EQ(TimeControlText(t), " 5 s / m");
  EXPECT_FALSE(ChargeClock(t, TDColor::black, 12345));
  EXPECT_EQ(t.TimeElapsed[1], 12345);
  EXPECT_EQ(MoveBudget(t, TDColor::black, 40), 500);  // the per-move time, whatever was used
}

}  // namespace
}  // namespace quorlin
