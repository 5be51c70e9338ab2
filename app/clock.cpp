#include "app/clock.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace quorlin {

TTime ClockForTimeControl(int gameTime, int timeControlMin) {
  TTime t;
  if (gameTime == kTimePerMove) {
    t.TimeControl.fill(timeControlMin * kCentisecondsPerSecond);
    t.TimeElapsed.fill(0);
    t.MovesCount = 1;
  } else {
    t.TimeControl.fill(timeControlMin * kCentisecondsPerMinute);
    t.TimeElapsed = t.TimeControl;
    t.MovesCount = 0;
  }
  t.WhitePrint = ClockText(t.TimeElapsed[0]);
  t.BlackPrint = ClockText(t.TimeElapsed[1]);
  return t;
}

bool ChargeClock(TTime& t, TDColor side, int64_t elapsed) {
  int32_t& left = t.TimeElapsed[static_cast<int>(side)];
  if (!CountsDown(t)) {
    left = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, left + std::max<int64_t>(0, elapsed)));
    return false;
  }
  const int64_t after = int64_t{left} - std::max<int64_t>(0, elapsed);
  if (after >= 0) {
    left = static_cast<int32_t>(after);
    return false;
  }
  left = 0;
  return true;
}

std::string ClockText(int64_t centiseconds) {
  const int64_t s = std::max<int64_t>(0, centiseconds) / kCentisecondsPerSecond;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return buf;
}

std::string TimeControlText(const TTime& t) {
  std::string text(1, ' ');
  if (CountsDown(t)) {
    text.append(std::to_string(t.TimeControl[0] / kCentisecondsPerMinute)).append(" min");
    return text;
  }
  text.append(std::to_string(t.TimeControl[0] / kCentisecondsPerSecond)).append(" s / ");
  if (t.MovesCount != 1) text.append(std::to_string(t.MovesCount));
  return text.append("m");
}

int64_t MoveBudget(const TTime& t, TDColor side, int divisor) {
  const int i = static_cast<int>(side);
  if (!CountsDown(t)) return t.TimeControl[i] / t.MovesCount;
  return divisor > 0 ? t.TimeElapsed[i] / divisor : t.TimeElapsed[i];
}

}  // namespace quorlin
