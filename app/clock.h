#pragma once
// The game clock of play mode: a time per game that counts down, or a time per
// move that only counts the time each side has used, and the clock texts the
// game panel shows.
#include <array>
#include <cstdint>
#include <string>

#include "rules/board.h"

namespace quorlin {

// Time-control kinds (setting GameTime).
constexpr int kTimePerGame = 0;  // TimeControlMin minutes per game
constexpr int kTimePerMove = 1;  // TimeControlMin seconds per move

constexpr int32_t kCentisecondsPerSecond = 100;
constexpr int32_t kCentisecondsPerMinute = 6000;

struct TTime {
  // Centiseconds per side: with a time per game the time left, with a time
  // per move the time used so far.
  std::array<int32_t, 2> TimeElapsed{};
  int32_t MovesCount = 0;                // 0: a time per game; else moves per allotment (1)
  std::array<int32_t, 2> TimeControl{};  // centiseconds: per game, or per move
  std::string WhitePrint;                // clock text of side white as shown
  std::string BlackPrint;                // clock text of side black as shown
};

// The clock at the start of a game for the given time control.
TTime ClockForTimeControl(int gameTime, int timeControlMin);

// True for a time per game (the clock counts down).
inline bool CountsDown(const TTime& t) { return t.MovesCount == 0; }

// Charges `elapsed` centiseconds to `side`. With a time per game the side's
// time goes down and stops at 0; returns true when it ran out with this charge.
bool ChargeClock(TTime& t, TDColor side, int64_t elapsed);

// Centiseconds as H:MM:SS (hours are not wrapped; from 10 hours on H has
// more digits). Negative values show as 0:00:00.
std::string ClockText(int64_t centiseconds);

// Text appended to the game's tournament name for its time control: " 3 min"
// for 3 minutes per game, " 3 s / m" for 3 seconds per move.
std::string TimeControlText(const TTime& t);

// Time budget of an engine move in centiseconds: the time per move, or the
// time left divided by `divisor` (the number of moves the engine plans for).
int64_t MoveBudget(const TTime& t, TDColor side, int divisor);

}  // namespace quorlin
