#include "app/gameplayer.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace quorlin {

namespace {
// Moves assumed left when the period has no move count.
constexpr int kMovesLeftWithoutCount = 40;
// Moves kept in reserve, so that the last move of a period is not a rush.
constexpr int kReserveMoves = 2;
}  // namespace

void PrintLine(const std::string& text) {
  static std::mutex lock;
  std::lock_guard<std::mutex> g(lock);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::vector<int> GameLineNodes(const TGame& game) {
  std::vector<int> line;
  const int n = static_cast<int>(game.Moves.size());
  for (int node = game.CurMovPos; node > 0 && node < n && static_cast<int>(line.size()) < n;
       node = game.Moves[node].parent)
    line.push_back(node);
  return std::vector<int>(line.rbegin(), line.rend());
}

int LinePlies(const TGame& game) { return static_cast<int>(GameLineNodes(game).size()); }

std::string SecondsText(int64_t ms) {
  if (ms < 0) ms = 0;
  if (ms >= 10000) return std::to_string(ms / 1000);
  return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
}

TGameClock::TGameClock(const TTimeControl& white, const TTimeControl& black) : control_{white, black} {
  remaining_[0] = white.periodMs;
  remaining_[1] = black.periodMs;
}

void TGameClock::Charge(TDColor side, int64_t usedMs) {
  const int i = Index(side);
  const TTimeControl& c = control_[i];
  ++moves_[i];
  if (c.perMoveMs > 0) return;
  remaining_[i] -= usedMs;
  if (c.movesPerPeriod > 0 && moves_[i] % c.movesPerPeriod == 0) remaining_[i] += c.periodMs;
}

int64_t TGameClock::BudgetMs(TDColor side) const {
  const int i = Index(side);
  const TTimeControl& c = control_[i];
  if (c.perMoveMs > 0) return c.perMoveMs;
  const int movesLeft =
      c.movesPerPeriod > 0 ? c.movesPerPeriod - moves_[i] % c.movesPerPeriod : kMovesLeftWithoutCount;
  return std::max(remaining_[i] / (movesLeft + kReserveMoves), kMinMoveMs);
}

int64_t TGameClock::WaitLimitMs(TDColor side, int64_t graceMs) const {
  const int i = Index(side);
  if (control_[i].perMoveMs > 0) return control_[i].perMoveMs + graceMs;
  return std::max<int64_t>(remaining_[i], 0) + graceMs;
}

}  // namespace quorlin
