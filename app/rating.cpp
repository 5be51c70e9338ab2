#include "app/rating.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "games/gamerecord.h"

namespace quorlin {

namespace {

// Largest rating difference (absolute) that still gives an expected score of
// 50 + i percent; the thresholds of the usual table of expected scores.
constexpr std::array<int, 51> kScoreThresholds = {
    3,   10,  17,  25,  32,  39,  46,  53,  61,  68,  76,  83,  91,  98,  106, 113, 121,
    129, 137, 145, 153, 162, 170, 179, 188, 197, 206, 215, 225, 235, 245, 256, 267, 278,
    290, 302, 315, 328, 344, 357, 374, 391, 411, 432, 456, 484, 517, 559, 619, 735, 3000};

}  // namespace

int ExpectedScore(int diff) {
  const int a = std::abs(diff);
  int i = 0;
  while (i < static_cast<int>(kScoreThresholds.size()) - 1 && a > kScoreThresholds[i]) ++i;
  return diff > 0 ? 50 + i : 50 - i;
}

int UserScore(uint8_t result, TDColor userSide) {
  const bool whiteWon = result == kResultWhiteWin || result == kResultWhiteWinTime;
  const bool blackWon = result == kResultBlackWin || result == kResultBlackWinTime;
  if (result == kResultDraw) return 50;
  if (!whiteWon && !blackWon) return -1;
  return whiteWon == (userSide == TDColor::white) ? 100 : 0;
}

int RatingFactor(int gamesPlayed) { return std::max(20, 210 - 10 * std::clamp(gamesPlayed, 0, 100)); }

int RatingDelta(int userRating, int gamesPlayed, int engineElo, int score) {
  const int e = ExpectedScore(userRating - engineElo);
  return RatingFactor(gamesPlayed) * (score - e) / 100;  // C++ division truncates towards zero
}

}  // namespace quorlin
