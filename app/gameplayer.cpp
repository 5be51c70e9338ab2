#include "app/gameplayer.h"

#include <algorithm>

namespace quorlin {

namespace {
// Moves assumed left when the period has no move count.
constexpr int kMovesLeftWithoutCount = 40;
}  // namespace

TGameClock::TGameClock(const TTimeControl& tc) : control_(tc) { remaining_[0] = remaining_[1] = tc.periodMs; }

void TGameClock::Charge(TDColor side, int64_t usedMs) {
  const int i = Index(side);
  ++moves_[i];
  if (control_.perMoveMs > 0) return;
  remaining_[i] -= usedMs;
  if (control_.movesPerPeriod > 0 && moves_[i] % control_.movesPerPeriod == 0)
    remaining_[i] += control_.periodMs;
}

int64_t TGameClock::BudgetMs(TDColor side) const {
  if (control_.perMoveMs > 0) return control_.perMoveMs;
  const int i = Index(side);
  const int movesLeft = control_.movesPerPeriod > 0
                            ? control_.movesPerPeriod - moves_[i] % control_.movesPerPeriod
                            : kMovesLeftWithoutCount;
  // Two moves in reserve, so that the last move of a period is not a rush.
  return std::max(remaining_[i] / (movesLeft + 2), kMinMoveMs);
}

int64_t TGameClock::WaitLimitMs(TDColor side, int64_t graceMs) const {
  if (control_.perMoveMs > 0) return control_.perMoveMs + graceMs;
  return std::max<int64_t>(remaining_[Index(side)], 0) + graceMs;
}

}  // namespace quorlin
