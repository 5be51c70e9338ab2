// The published record: its texts and the order of its root moves.
#include "engine/analysisinfo.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace quorlin {

TAnalysisInfo AnalysisInfo;

namespace {

std::string TwoDigits(int64_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(v));
  return buf;
}

}  // namespace

std::string FormatScore(float x) {
  if (std::isnan(x)) return "?";
  const bool neg = x < 0;
  const float a = std::fabs(x);
  std::string sign = neg ? "-" : "";
  char buf[48];
  if (a <= kDecidedScore) {
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(a));
    return sign + buf;
  }
  if (a <= kDatabaseResultLimit) return sign + "xN(" + std::to_string(std::lround(kDatabaseWin - a)) + ")";
  return sign + "x" + std::to_string(std::lround(kFullWindow - std::min(a, kFullWindow)));
}

std::string FormatEval(const TEval& eval) {
  const float lo = std::max(eval.min, -kFullWindow);
  const float hi = std::min(eval.max, kFullWindow);
  // Bounds that agree (after a finished pass) show the value; an open
  // interval shows its lower bound.
  if (hi - lo < 0.01f) return FormatScore(hi);
  std::string text = "~";
  text += FormatScore(lo);
  return text;
}

std::string DepthStrOf(int avg10) { return std::to_string(avg10 / 10) + "," + std::to_string(avg10 % 10); }

std::string TimeTextOf(int64_t cs) { return std::to_string(cs / 100) + "." + TwoDigits(cs % 100); }

int64_t EngineClockCs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

bool RootBetter(const TEval& a0, uint8_t aDepth, const TEval& b0, uint8_t bDepth) {
  auto floorLoss = [](float v) { return v < -kDecidedScore ? -kFullWindow : v; };
  const TEval a{floorLoss(a0.min), floorLoss(a0.max), a0.v};
  const TEval b{floorLoss(b0.min), floorLoss(b0.max), b0.v};
  if (b.max < a.min) return true;
  if (a.max == kFullWindow && b.max == kFullWindow && b.min < a.min) return true;
  if (a.min == -kFullWindow && b.min == -kFullWindow && b.max < a.max) return true;
  if (b.min < a.min) return true;
  if (std::fabs(a.min - b.min) < 0.005f && b.v < a.v) return true;
  if (std::fabs(a.min - b.min) < 0.005f && std::fabs(a.max - b.max) < 0.005f &&
      std::fabs(a.v - b.v) < 0.001f && bDepth < aDepth)
    return true;
  return false;
}

int NearEqualCount(const TAnalysisInfo& info, float compress) {
  int k = 1;
  if (compress == 0) return k;
  const float top = info.Moves[info.Sort[1]].Eval.min;
  for (int j = 2; j <= info.TotalMoves; ++j) {
    if (top - info.Moves[info.Sort[j]].Eval.min >= compress) break;
    k = j;
  }
  return k;
}

}  // namespace quorlin
