#pragma once
// The engine's vocabulary of scores and versions.
//
// A score is a Single in units of one man, from the point of view of the side
// to move. Ordinary evaluations stay within ±kMaxEvaluation. Decided games lie
// far outside: a side without moves at ply n has lost, scoring n - kMateBase
// (a later loss is the better one); the endgame databases give either such a
// distance score or, when they know only win, draw or loss, ±kDatabaseWin. A
// decided score found below a node is moved by the distance to that node
// (AdjustDecided), so that a shorter win always scores higher.
#include <cstdint>

namespace quorlin {

// --- Scores ----------------------------------------------------------------------

// Largest ordinary evaluation (what SoftClamp lets through).
constexpr float kMaxEvaluation = 8.75f;
// Bounds of a full search window; also "nothing known yet" for a root move.
constexpr float kFullWindow = 2000.0f;
// A side without moves at ply n scores n - kMateBase.
constexpr float kMateBase = 2001.0f;
// Scores beyond ±kDecidedScore are decided games.
constexpr float kDecidedScore = 1000.0f;
// A win (or, negated, a loss) of a win/draw/loss database.
constexpr float kDatabaseWin = 1500.0f;
// Shown as database results: decided scores up to this size; larger ones are
// wins counted in plies from kFullWindow.
constexpr float kDatabaseResultLimit = 1740.0f;
// A fail-high or fail-low result is stored as this much beyond the window.
constexpr float kBoundMargin = 0.0001f;

// Score at ply n of a side that has no move left (or no piece): a loss, or a
// win for an engine that plays to lose its pieces.
constexpr float NoMoveScore(int n, bool giveaway) {
  return giveaway ? kMateBase - static_cast<float>(n) : static_cast<float>(n) - kMateBase;
}

// Score of a distance-to-end database value: 0 is a draw, an even value a
// win in that many plies, an odd value a loss in that many plies.
constexpr float DistanceScore(int plies) {
  if (plies == 0) return 0.0f;
  return plies % 2 == 0 ? kMateBase - static_cast<float>(plies) : static_cast<float>(plies) - kMateBase;
}

constexpr bool IsDecided(float v) { return v > kDecidedScore || v < -kDecidedScore; }

// A decided score found at a node, counted from ply n: one ply further from
// the root for every ply below ply 1 (ordinary scores stay as they are).
constexpr float AdjustDecided(float v, int n) {
  if (v > kDecidedScore) return v - static_cast<float>(n) + 1;
  if (v < -kDecidedScore) return v + static_cast<float>(n) - 1;
  return v;
}

// --- Versions ------------------------------------------------------------------------

// Engines and weights of Version 211 use the square-list search and the
// per-square evaluation; every other Version (engines use 40) the bitboard
// search and the pattern evaluation.
constexpr int32_t kArrayBoardVersion = 211;
constexpr int32_t kBitboardVersion = 40;

}  // namespace quorlin
