#pragma once
// Shared pieces of the two alpha-beta searches (analysis64ver40 on the 64-bit
// board, analysis on the square list). The searches themselves are methods of
// TEngine (engine.h) because they read its table, limits and counters.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/endgamedb.h"
#include "engine/scores.h"
#include "rules/board.h"

namespace quorlin {

// Deepest ply a search recurses into.
constexpr int kMaxSearchPly = 99;
// Target ply that switches the single-reply extension off.
constexpr int kNoExtensionTarget = 255;

// Position at every ply of the current line, each in the orientation of the
// side to move at that ply; entry 1 is the game position before the root move.
using TPrevDepthPos = std::array<TBitBoard64, 256>;

// Endgame-database lookup as the search uses it: `brd` has the side to move in
// w; true with `ev` set when the position is known. The default asks the
// loaded databases (GetEBevalPlay); tests may put a table of their own here.
using TEdbProbe = std::function<bool(const TBitBoard64& brd, int typeofgame, bool giveaway, const TEDPos& ED,
                                     float& ev, TEdbProbeStats* stats)>;

}  // namespace quorlin
