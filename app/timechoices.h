#pragma once
// The time controls a player picks from (the Time menu and the new-game
// window): minutes per game or seconds per move.
#include <array>

#include "app/clock.h"

namespace quorlin {

struct TTimeChoice {
  const char* name;  // object name of the menu item
  int kind;          // kTimePerGame or kTimePerMove (the setting GameTime)
  int amount;        // the setting TimeControlMin
  const char* text;
};

inline constexpr std::array<TTimeChoice, 6> kTimeChoices{{{"time1m", kTimePerGame, 1, "1 min/game"},
                                                          {"time3m", kTimePerGame, 3, "3 min/game"},
                                                          {"time5m", kTimePerGame, 5, "5 min/game"},
                                                          {"time15m", kTimePerGame, 15, "15 min/game"},
                                                          {"time3s", kTimePerMove, 3, "3 sec/move"},
                                                          {"time10s", kTimePerMove, 10, "10 sec/move"}}};

}  // namespace quorlin
