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

// Child positions of one node. The union keeps the 255 entries uninitialised:
// value-initialising them would clear 6 KB at every node.
struct TChildren {
  union {
    TBitBoard64 c[kMaxPositions64];
  };
  TChildren() {}
};

// Move list of one node of the square-list search, uninitialised for the
// same reason (18 KB).
struct TMoveBuffer {
  union {
    TMvs list;
  };
  TMoveBuffer() {}
};

}  // namespace

float TEngine::analysis64ver40(TBitBoard64 brd, float alfa, float beta, int n, int mn, TDColor col,
                               const TEDPos& ED, int typeofgame, const TEvalFunc& evF, TPrevDepthPos& prevpos,
                               bool EBOff) {
  std::atomic<bool>& stop = *stop_;
  // 1. Limits.
  const float result = alfa;
  if (n + 3 < mn) LimitCheck();
  if (stop.load(std::memory_order_relaxed)) return result;

  // 2. Piece count, stage, orientation.
  // The rules as the call froze them: no settings change reaches the search.
  const TGameParams& gp = Params;
  const int revShift = gp.BitBoardRevShift;
  const int d = BitCount(brd.w | brd.b);
  const TEngineStage& st = evF.Stages[quorlin::GetStageCnt(evF, d)];
  if (col == TDColor::black) brd = FlippedBitBoard(brd, revShift);
  if (typeofgame == kTurkish) brd = CanonicalMirror64(brd);

  // 3-4. Moves; a side without moves has lost (won in giveaway).
  TChildren ch;
  const TGenerateMoves64Fn gen = BitboardGenerator(typeofgame);
  const int m = gen ? gen(brd, ch.c) : 0;
  if (m == 0) return evF.Giveaway ? kMateBase - n : n - kMateBase;

  // 5. Endgame databases, only in quiet positions with both sides present.
  if (!EBOff && edbActive_ && brd.w != 0 && brd.b != 0 && d <= st.EDMaxDraughts &&
      (d < 9 || (gp.compute.BoardSize == 32 && d < 11)) && CapturingPieces64(brd, typeofgame) == 0) {
    float e = 0;
    if (EdbProbe(brd, typeofgame, ED, e)) {
      if (e == 0) return 0;
      return e > 0 ? e - n + 1 : e + n - 1;
    }
  }

  // 6-7. The line so far, and repetition (only kings, or Turkish men moving
  // sideways, can bring a position back).
  prevpos[n] = brd;
  if (typeofgame == kTurkish || brd.k != 0) {
    for (int i = n - 4; i > 0; i -= 2)
      if (prevpos[i] == brd) return 0;
  }

  // 8. Single-reply extension.
  const bool selfPly = (n & 1) != 0;
  if (m == 1 && mn != kNoExtensionTarget) {
    const float x = static_cast<float>(n) / static_cast<float>(mn);
    if (selfPly ? (st.ExtSelfMin <= x && x <= st.ExtSelfMax) : (st.ExtOppMin <= x && x <= st.ExtOppMax)) ++mn;
  }

  // 9-10. Remaining depth and the table.
  const int r = mn - n + 1;
  int hm1 = 0, hm2 = 0;
  if (!EBOff && n < mn) {
    THashRec64 e;
    if (HashProbe(FHash, brd, e)) {
      if (e.bestmove <= m) hm1 = e.bestmove;
      if (e.bestmove2 <= m) hm2 = e.bestmove2;
      if (e.depth >= r) {
        if (e.minval >= beta) return AdjustDecided(e.minval, n);
        if (e.maxval <= alfa) return AdjustDecided(e.maxval, n);
        if (e.maxval == e.minval) return AdjustDecided(e.minval, n);
      }
    }
  }

  // 11-12. Reduced-depth probes: a null-window search two plies shallower that
  // already lands clearly outside the window settles the node.
  if (mn - n > 1) {
    const float x = static_cast<float>(n) / static_cast<float>(mn);
    if (st.ReductAlphaMin <= x && x <= st.ReductAlphaMax) {
      const float g = selfPly ? st.RangeAlphaSelf : st.RangeAlphaOpp;
      const float v = analysis64ver40(brd, alfa - g - 1, alfa - g, n, mn - 2, TDColor::white, ED, typeofgame,
                                      evF, prevpos, EBOff);
      if (stop.load(std::memory_order_relaxed)) return result;
      if (v < alfa - g) return v;
    }
    if (st.ReductBetaMin <= x && x <= st.ReductBetaMax) {
      const float g = selfPly ? st.RangeBetaSelf : st.RangeBetaOpp;
      const float v = analysis64ver40(brd, beta + g, beta + g + 1, n, mn - 2, TDColor::white, ED, typeofgame,
                                      evF, prevpos, EBOff);
      if (stop.load(std::memory_order_relaxed)) return result;
      if (v > beta + g) return v;
    }
  }

  // 13. Order by a one-ply search of every child (best first, earlier first
  // on equal scores).
  uint8_t order[kMaxPositions64];
  for (int i = 0; i < m; ++i) order[i] = static_cast<uint8_t>(i);
  if (m != 1 && n + 3 < mn) {
    float s[kMaxPositions64];
    for (int i = 0; i < m; ++i) {
      s[i] = -analysis64ver40(ch.c[i], -kFullWindow, kFullWindow, n + 1, n + 1, TDColor::black, ED,
                              typeofgame, evF, prevpos, EBOff);
      if (stop.load(std::memory_order_relaxed)) return result;
    }
    for (int k = 0; k < m; ++k) {
      int pick = 0;
      for (int i = 1; i < m; ++i)
        if (s[i] > s[pick]) pick = i;
      order[k] = static_cast<uint8_t>(pick);
      s[pick] = -32768.0f;
    }
  }

  // 14. The table's best moves first.
  auto bringTo = [&](int move1, int place) {
    for (int p = place; p < m; ++p) {
      if (order[p] != move1 - 1) continue;
      const uint8_t moved = order[p];
      for (int q = p; q > place; --q) order[q] = order[q - 1];
      order[place] = moved;
      return;
    }
  };
  if (hm1 != 0) bringTo(hm1, 0);
  if (hm2 != 0 && hm2 != hm1 && m > 1) bringTo(hm2, 1);

  // 15. Main loop. Past the horizon only captures are searched further (the
  // quiescence); quiet children are scored statically.
  const TEvalContext ctx{typeofgame, evF.Giveaway, &PstCounter(), &Params};
  float best = -kFullWindow;
  int bestIndex = hm1;
  for (int k = 0; k < m; ++k) {
    const int i = order[k];
    const TBitBoard64 child = FlippedBitBoard(ch.c[i], revShift);
    float v;
    if ((n < mn || CapturingPieces64(child, typeofgame) != 0) && n <= kMaxSearchPly - 1) {
      v = -analysis64ver40(child, -beta, -best, n + 1, mn, TDColor::white, ED, typeofgame, evF, prevpos,
                           EBOff);
      if (stop.load(std::memory_order_relaxed)) return result;
    } else {
      v = -count64bit40(child, static_cast<uint8_t>(n), st.Eval, ctx);
    }
    if (v > best) {
      best = v;
      bestIndex = i + 1;
    }
    if (best >= beta) break;
  }

  // 16-17. Store bounds above the horizon.
  if (EBOff || n >= mn || stop.load(std::memory_order_relaxed)) return best;
  THashRec64 e;
  e.pos = brd;
  e.minval = -kFullWindow;
  e.maxval = kFullWindow;
  e.depth = static_cast<uint8_t>(std::min(r, 255));
  e.bestmove = static_cast<uint8_t>(bestIndex);
  e.bestmove2 = 0;
  e.used = 0;
  if (best >= beta) e.minval = beta - 0.0001f;
  if (best <= alfa) e.maxval = alfa + 0.0001f;
  if (alfa < best && best < beta) e.minval = e.maxval = best;
  HashStore(FHash, e);
  return best;
}

float TEngine::analysis(const TBoard& brd, float alfa, float beta, int n, int mn, TDColor col,
                        const TGameParams& GameParams, const TEvalFunc& F) {
  std::atomic<bool>& stop = *stop_;
  const int side = static_cast<int>(col);
  const TDColor other = col == TDColor::white ? TDColor::black : TDColor::white;

  // 1. Moves; none is a loss (a win in giveaway).
  TMoveBuffer buf;
  TMvs& list = buf.list;
  uint8_t cnt = 0;
  GenerateMoves(brd, side, list, cnt, GameParams, true);
  if (cnt == 0) return F.Giveaway ? kMateBase - n : n - kMateBase;

  // 2. Limits (time and position budget) and ordering by a one-ply search.
  uint8_t order[kMaxMoves + 1];
  for (int i = 1; i <= cnt; ++i) order[i] = static_cast<uint8_t>(i);
  if (n + 3 < mn) {
    LimitCheck();
    float s[kMaxMoves + 1];
    for (int i = 1; i <= cnt; ++i) {
      TBoard after = brd;
      ApplyMove(list[i], after, GameParams);
      s[i] = -analysis(after, -kFullWindow, kFullWindow, n + 1, n + 1, other, GameParams, F);
      if (stop.load(std::memory_order_relaxed)) return alfa;
    }
    // Selection sort that swaps the chosen entry into place (not stable).
    for (int p = 1; p <= cnt; ++p) {
      int pick = p;
      for (int j = p + 1; j <= cnt; ++j)
        if (s[j] > s[pick]) pick = j;
      std::swap(s[p], s[pick]);
      std::swap(order[p], order[pick]);
    }
  }

  // 3. Main loop; captures go on past the horizon where capturing is compulsory.
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
