#pragma once
// Shared pieces of the two alpha-beta searches (analysis64ver40 on the 64-bit
// board, analysis on the square list). The searches themselves are methods of
// TEngine (engine.h) because they read its table, limits and counters.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/endgamedb.h"
#include "engine/enginefile.h"
#include "engine/scores.h"
#include "rules/bitmovegen.h"
#include "rules/board.h"

namespace quorlin {

// Deepest ply a search recurses into.
constexpr int kMaxSearchPly = 99;
// Target ply that switches the single-reply extension off.
constexpr int kNoExtensionTarget = 255;

// Position at every ply of the current line, each in the orientation of the
// side to move at that ply; entry 1 is the game position before the root move.
using TPrevDepthPos = std::array<TBitBoard64, 256>;

// Child positions of one node, uninitialised: value-initialising the 255
// entries would clear 6 KB at every node.
struct TChildren {
  union {
    TBitBoard64 c[kMaxPositions64];
  };
  TChildren() {}
};

// One node of the bitboard search as its steps share it.
struct TSearchNode {
  TBitBoard64 brd;  // the position, side to move in w
  int n;            // ply of the node
  int mn;           // target ply (grows by the single-reply extension)
  int typeofgame;
  const TEDPos& ED;
  const TEvalFunc& evF;
  const TEngineStage& st;  // the stage of the node's piece count
  TPrevDepthPos& prevpos;
  bool EBOff;            // no databases, no table
  int m = 0;             // number of children
  int hm1 = 0, hm2 = 0;  // the table's best and previous best move (1-based)
  TChildren children;

  TSearchNode(const TBitBoard64& brd, int n, int mn, int typeofgame, const TEDPos& ED, const TEvalFunc& evF,
              const TEngineStage& st, TPrevDepthPos& prevpos, bool EBOff)
      : brd(brd),
        n(n),
        mn(mn),
        typeofgame(typeofgame),
        ED(ED),
        evF(evF),
        st(st),
        prevpos(prevpos),
        EBOff(EBOff) {}
  bool selfPly() const { return (n & 1) != 0; }  // the engine's own side moves
  int remaining() const { return mn - n + 1; }
};

// Endgame-database lookup as the search uses it: `brd` has the side to move in
// w; true with `ev` set when the position is known. The default asks the
// loaded databases (GetEBevalPlay); tests may put a table of their own here.
using TEdbProbe = std::function<bool(const TBitBoard64& brd, int typeofgame, bool giveaway, const TEDPos& ED,
                                     float& ev, TEdbProbeStats* stats)>;

}  // namespace quorlin
