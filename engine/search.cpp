// The two alpha-beta searches of the engine. Both keep every per-node datum on
// the stack and allocate nothing; both return at once, with a meaningless
// value, once the stop flag is up, and every caller checks the flag after each
// recursive call so that an interrupted value is never used or stored.
#include <algorithm>

#include "engine/engine.h"
#include "engine/evaluation.h"
#include "rules/bitmovegen.h"
#include "rules/movegen.h"
#include "rules/position.h"

namespace quorlin {
namespace {

// Move list of one node of the square-list search, uninitialised: value
// initialising it would clear 18 KB at every node.
struct TMoveBuffer {
  union {
    TMvs list;
  };
  TMoveBuffer() {}
};

// Fills order[0..m-1] with 0..m-1 by falling score, the earlier child first
// on equal scores.
void OrderByScore(float* s, int m, uint8_t* order) {
  // Below every score, so that a chosen child is not chosen again.
  constexpr float kChosen = -32768.0f;
  for (int k = 0; k < m; ++k) {
    int pick = 0;
    for (int i = 1; i < m; ++i)
      if (s[i] > s[pick]) pick = i;
    order[k] = static_cast<uint8_t>(pick);
    s[pick] = kChosen;
  }
}

// Moves child `move1` (1-based) to place `place` of the order, shifting the
// children between down by one.
void BringToPlace(uint8_t* order, int m, int move1, int place) {
  for (int p = place; p < m; ++p) {
    if (order[p] != move1 - 1) continue;
    const uint8_t moved = order[p];
    for (int q = p; q > place; --q) order[q] = order[q - 1];
    order[place] = moved;
    return;
  }
}

}  // namespace

// --- The bitboard search ----------------------------------------------------------------

float TEngine::analysis64ver40(TBitBoard64 brd, float alfa, float beta, int n, int mn, TDColor col,
                               const TEDPos& ED, int typeofgame, const TEvalFunc& evF, TPrevDepthPos& prevpos,
                               bool EBOff) {
  const float result = alfa;
  if (LimitCheck(n, mn)) return result;

  // The side to move becomes w; a Turkish position becomes the smaller of
  // itself and its mirror image, so that both share one table entry.
  const int d = PopCount(brd.w | brd.b);
  const TEngineStage& st = evF.Stages[quorlin::GetStageCnt(evF, d)];
  if (col == TDColor::black) brd = FlippedBitBoard(brd, Params.BitBoardRevShift);
  if (typeofgame == kTurkish) brd = CanonicalMirror64(brd);

  TSearchNode node(brd, n, mn, typeofgame, ED, evF, st, prevpos, EBOff);
  const TGenerateMoves64Fn gen = BitboardGenerator(typeofgame);
  node.m = gen ? gen(brd, node.children.c) : 0;
  if (node.m == 0) return NoMoveScore(n, evF.Giveaway);

  float value;
  if (!EBOff && DatabaseValue(node, d, value)) return value;
  prevpos[n] = brd;
  if (RepeatsLine(node)) return 0;
  ExtendSingleReply(node);
  if (!EBOff && node.n < node.mn && TableSettles(node, alfa, beta, value)) return value;
  if (ReducedProbesSettle(node, alfa, beta, value))
    return stop_->load(std::memory_order_relaxed) ? result : value;

  uint8_t order[kMaxPositions64];
  if (!OrderChildren(node, order)) return result;
  int bestIndex;
  const float best = SearchChildren(node, order, beta, bestIndex);
  if (stop_->load(std::memory_order_relaxed)) return result;
  if (!EBOff && node.n < node.mn) StoreResult(node, alfa, beta, best, bestIndex);
  return best;
}

// Endgame databases, in quiet positions (the side to move has no capture) with
// both sides present and few enough pieces. The value is counted from this
// node.
bool TEngine::DatabaseValue(const TSearchNode& node, int pieces, float& value) {
  const TBitBoard64& brd = node.brd;
  if (!edbActive_ || brd.w == 0 || brd.b == 0 || pieces > node.st.EDMaxDraughts) return false;
  if (!(pieces < 9 || (Params.compute.BoardSize == 32 && pieces < 11))) return false;
  if (CapturingPieces64(brd, node.typeofgame) != 0) return false;
  float e = 0;
  if (!EdbProbe(brd, node.typeofgame, node.ED, e)) return false;
  value = e == 0 ? 0.0f : e > 0 ? e - static_cast<float>(node.n) + 1 : e + static_cast<float>(node.n) - 1;
  return true;
}

// A position that occurred an even number of plies earlier in the line is a
// draw. Only kings, or Turkish men moving sideways, can bring one back.
bool TEngine::RepeatsLine(const TSearchNode& node) const {
  if (node.typeofgame != kTurkish && node.brd.k == 0) return false;
  for (int i = node.n - 4; i > 0; i -= 2)
    if (node.prevpos[i] == node.brd) return true;
  return false;
}

// A node with a single legal move is searched one ply deeper when its place
// in the line (n / mn) lies in the stage's window for its side.
void TEngine::ExtendSingleReply(TSearchNode& node) const {
  if (node.m != 1 || node.mn == kNoExtensionTarget) return;
  const float x = static_cast<float>(node.n) / static_cast<float>(node.mn);
  const TEngineStage& st = node.st;
  if (node.selfPly() ? (st.ExtSelfMin <= x && x <= st.ExtSelfMax) : (st.ExtOppMin <= x && x <= st.ExtOppMax))
    ++node.mn;
}

// The table: its best moves order the children; a bound at least as deep as
// this search settles the node when it lies outside the window (or is exact).
bool TEngine::TableSettles(TSearchNode& node, float alfa, float beta, float& value) {
  THashRec64 e;
  if (!HashProbe(FHash, node.brd, e)) return false;
  if (e.bestmove <= node.m) node.hm1 = e.bestmove;
  if (e.bestmove2 <= node.m) node.hm2 = e.bestmove2;
  if (e.depth < node.remaining()) return false;
  if (e.minval >= beta)
    value = AdjustDecided(e.minval, node.n);
  else if (e.maxval <= alfa)
    value = AdjustDecided(e.maxval, node.n);
  else if (e.maxval == e.minval)
    value = AdjustDecided(e.minval, node.n);
  else
    return false;
  return true;
}

// Reduced-depth probes: a null-window search two plies shallower that already
// lands clearly below alpha (or above beta) settles the node. True with the
// value when one does, or when the search was stopped meanwhile.
bool TEngine::ReducedProbesSettle(const TSearchNode& node, float alfa, float beta, float& value) {
  if (node.mn - node.n <= 1) return false;
  const TEngineStage& st = node.st;
  const float x = static_cast<float>(node.n) / static_cast<float>(node.mn);
  auto probe = [&](float lo, float hi) {
    return analysis64ver40(node.brd, lo, hi, node.n, node.mn - 2, TDColor::white, node.ED, node.typeofgame,
                           node.evF, node.prevpos, node.EBOff);
  };
  if (st.ReductAlphaMin <= x && x <= st.ReductAlphaMax) {
    const float g = node.selfPly() ? st.RangeAlphaSelf : st.RangeAlphaOpp;
    value = probe(alfa - g - 1, alfa - g);
    if (stop_->load(std::memory_order_relaxed) || value < alfa - g) return true;
  }
  if (st.ReductBetaMin <= x && x <= st.ReductBetaMax) {
    const float g = node.selfPly() ? st.RangeBetaSelf : st.RangeBetaOpp;
    value = probe(beta + g, beta + g + 1);
    if (stop_->load(std::memory_order_relaxed) || value > beta + g) return true;
  }
  return false;
}

// The order of the children: by a one-ply search of each (well above the
// horizon), then the table's best move first and its previous best second.
// False when the search was stopped meanwhile.
bool TEngine::OrderChildren(const TSearchNode& node, uint8_t* order) {
  const int m = node.m;
  for (int i = 0; i < m; ++i) order[i] = static_cast<uint8_t>(i);
  if (m != 1 && node.n + 3 < node.mn) {
    float s[kMaxPositions64];
    for (int i = 0; i < m; ++i) {
      s[i] = -analysis64ver40(node.children.c[i], -kFullWindow, kFullWindow, node.n + 1, node.n + 1,
                              TDColor::black, node.ED, node.typeofgame, node.evF, node.prevpos, node.EBOff);
      if (stop_->load(std::memory_order_relaxed)) return false;
    }
    OrderByScore(s, m, order);
  }
  if (node.hm1 != 0) BringToPlace(order, m, node.hm1, 0);
  if (node.hm2 != 0 && node.hm2 != node.hm1 && m > 1) BringToPlace(order, m, node.hm2, 1);
  return true;
}

// The children in order. Each is searched with the window of the best value
// found so far at this node (from -kFullWindow; the node's own alpha narrows
// neither the windows nor the cut-off). Past the horizon only captures are
// searched further (the quiescence); quiet children are scored statically.
// The stop flag may be up on return.
float TEngine::SearchChildren(const TSearchNode& node, const uint8_t* order, float beta, int& bestIndex) {
  const TEvalContext ctx{node.typeofgame, node.evF.Giveaway, &PstCounter(), &Params};
  const int n = node.n;
  float best = -kFullWindow;
  bestIndex = node.hm1;
  for (int k = 0; k < node.m; ++k) {
    const int i = order[k];
    const TBitBoard64 child = FlippedBitBoard(node.children.c[i], Params.BitBoardRevShift);
    float v;
    if ((n < node.mn || CapturingPieces64(child, node.typeofgame) != 0) && n <= kMaxSearchPly - 1) {
      v = -analysis64ver40(child, -beta, -best, n + 1, node.mn, TDColor::white, node.ED, node.typeofgame,
                           node.evF, node.prevpos, node.EBOff);
      if (stop_->load(std::memory_order_relaxed)) return best;
    } else {
      v = -count64bit40(child, static_cast<uint8_t>(n), node.st.Eval, ctx);
    }
    if (v > best) {
      best = v;
      bestIndex = i + 1;
    }
    if (best >= beta) break;
  }
  return best;
}

// The result as bounds for the table: a fail-high is a lower bound just below
// beta, a fail-low an upper bound just above alpha, anything between exact.
void TEngine::StoreResult(const TSearchNode& node, float alfa, float beta, float best, int bestIndex) {
  THashRec64 e;
  e.pos = node.brd;
  e.minval = -kFullWindow;
  e.maxval = kFullWindow;
  e.depth = static_cast<uint8_t>(std::min(node.remaining(), 255));
  e.bestmove = static_cast<uint8_t>(bestIndex);
  e.bestmove2 = 0;
  e.used = 0;
  if (best >= beta) e.minval = beta - kBoundMargin;
  if (best <= alfa) e.maxval = alfa + kBoundMargin;
  if (alfa < best && best < beta) e.minval = e.maxval = best;
  HashStore(FHash, e);
}

// --- The square-list search --------------------------------------------------------------

float TEngine::analysis(const TBoard& brd, float alfa, float beta, int n, int mn, TDColor col,
                        const TGameParams& GameParams, const TEvalFunc& F) {
  std::atomic<bool>& stop = *stop_;
  if (LimitCheck(n, mn)) return alfa;
  const int side = static_cast<int>(col);
  const TDColor other = Opponent(col);

  // The moves; none is a loss (a win in giveaway).
  TMoveBuffer buf;
  TMvs& list = buf.list;
  uint8_t cnt = 0;
  GenerateMoves(brd, side, list, cnt, GameParams, true);
  if (cnt == 0) return NoMoveScore(n, F.Giveaway);

  // Well above the horizon the moves are ordered by a one-ply search, by a
  // selection sort that swaps the chosen move into place.
  uint8_t order[kMaxMoves + 1];
  for (int i = 1; i <= cnt; ++i) order[i] = static_cast<uint8_t>(i);
  if (n + 3 < mn) {
    float s[kMaxMoves + 1];
    for (int i = 1; i <= cnt; ++i) {
      TBoard after = brd;
      ApplyMove(list[i], after, GameParams);
      s[i] = -analysis(after, -kFullWindow, kFullWindow, n + 1, n + 1, other, GameParams, F);
      if (stop.load(std::memory_order_relaxed)) return alfa;
    }
    for (int p = 1; p <= cnt; ++p) {
      int pick = p;
      for (int j = p + 1; j <= cnt; ++j)
        if (s[j] > s[pick]) pick = j;
      std::swap(s[p], s[pick]);
      std::swap(order[p], order[pick]);
    }
  }

  // The moves in order; captures go on past the horizon where capturing is
  // compulsory, quiet positions there are scored statically.
  const bool captures = list[1].lt > 0;
  float a = alfa;
  for (int k = 1; k <= cnt; ++k) {
    TBoard after = brd;
    ApplyMove(list[order[k]], after, GameParams);
    float v;
    if ((n < mn || (captures && GameParams.MustCapture)) && n <= kMaxSearchPly - 1)
      v = -analysis(after, -beta, -a, n + 1, mn, other, GameParams, F);
    else
      v = -count(other, after, static_cast<uint8_t>(n), F.Giveaway, F.Stages[0].Eval, GameParams,
                 &PstCounter());
    a = std::max(a, v);
    if (stop.load(std::memory_order_relaxed)) return a;
    if (a >= beta) break;
  }
  return a;
}

}  // namespace quorlin
