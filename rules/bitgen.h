#pragma once
// The 64-bit generator's building blocks, shared by the generator routines
// (bitmovegen.cpp) and the perft walker (bitperft.cpp), which instantiates
// them per variant so that generation inlines into its loops. Internal to the
// rules library: other code uses bitmovegen.h.
#include <array>
#include <cassert>
#include <cstdint>
#include <type_traits>

#include "common/bits.h"
#include "rules/bitmovegen.h"
#include "rules/board.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin::bitgen {

using U64 = uint64_t;
template <int D>
using Dir = std::integral_constant<int, D>;

// --- Geometry -------------------------------------------------------------------
// Directions 0..3 for the side moving up. Diagonal layouts: 0 = +6
// (forward-right), 1 = +5 (forward-left), 2 = -5 (backward-right), 3 = -6
// (backward-left); a step off the board lands on a bit outside the mask.
// Turkish board: 0 = +8 (forward), 1 = +1 (right), 2 = -1 (left), 3 = -8
// (backward); sideways steps are kept inside the row by masking the start
// square. Direction 3 - d is always the opposite of d, and the two directions
// other than d and 3 - d cross its line.

constexpr U64 LastRow(int squares, int w) {
  U64 m = 0;
  for (int s = squares - w + 1; s <= squares; ++s) m |= U64{1} << LayoutBit(s, w);
  return m;
}

constexpr U64 Reversed(U64 x) {
  U64 r = 0;
  for (int i = 0; i < 64; ++i)
    if (x & (U64{1} << i)) r |= U64{1} << (63 - i);
  return r;
}

template <U64 Mask, U64 Promo, bool Ortho, int RevShift>
struct Geometry {
  static constexpr U64 kMask = Mask;
  static constexpr U64 kPromo = Promo;  // last row: a man landing here is crowned
  static constexpr bool kOrtho = Ortho;
  static constexpr int kRevShift = RevShift;  // 180-degree turn: reverse the bits, shift right
  static constexpr U64 kPromoDown = Reversed(Promo) >> RevShift;  // the first row, where b crowns
  static constexpr int kShift[4] = {Ortho ? 8 : 6, Ortho ? 1 : 5, Ortho ? -1 : -5, Ortho ? -8 : -6};
  static constexpr U64 kFrom[4] = {~U64{0}, Ortho ? 0x7F7F7F7F7F7F7F7FULL : ~U64{0},
                                   Ortho ? 0xFEFEFEFEFEFEFEFEULL : ~U64{0}, ~U64{0}};
};

using Diag32 = Geometry<kBitBoardMask32, LastRow(32, 4), false, 21>;
using Diag40 = Geometry<kBitBoardMask40, LastRow(40, 5), false, 20>;
using Diag50 = Geometry<kBitBoardMask50, LastRow(50, 5), false, 9>;
using Ortho64 = Geometry<~U64{0}, 0xFF00000000000000ULL, true, 0>;

template <class G, int D>
inline U64 Step(U64 x) {
  constexpr int s = G::kShift[D];
  x &= G::kFrom[D];
  if constexpr (s > 0)
    return x << s;
  else
    return x >> -s;
}

// Squares from which a step in direction D lands in y.
template <class G, int D>
inline U64 StepBack(U64 y) {
  constexpr int s = G::kShift[D];
  if constexpr (s > 0)
    return (y >> s) & G::kFrom[D];
  else
    return (y << -s) & G::kFrom[D];
}

// Squares along each direction from each square, up to the edge.
template <class G>
struct Rays {
  static constexpr std::array<std::array<U64, 64>, 4> Build() {
    std::array<std::array<U64, 64>, 4> r{};
    for (int d = 0; d < 4; ++d)
      for (int sq = 0; sq < 64; ++sq) {
        U64 x = U64{1} << sq;
        if (!(x & G::kMask)) continue;
        U64 ray = 0;
        for (;;) {
          x &= G::kFrom[d];
          x = G::kShift[d] > 0 ? x << G::kShift[d] : x >> -G::kShift[d];
          if (!(x & G::kMask)) break;
          ray |= x;
        }
        r[d][sq] = ray;
      }
    return r;
  }
  static constexpr std::array<std::array<U64, 64>, 4> kRay = Build();
};

inline int Index(U64 bit) { return __builtin_ctzll(bit); }
inline U64 LowestBit(U64 x) { return x & (0 - x); }
inline U64 HighestBit(U64 x) { return U64{1} << (63 - __builtin_clzll(x)); }

// Of a non-empty set of squares on a line from some square in direction D,
// the one nearest to that square.
template <class G, int D>
inline U64 Nearest(U64 set) {
  if constexpr (G::kShift[D] > 0)
    return LowestBit(set);
  else
    return HighestBit(set);
}
template <class G, int D>
inline U64 NearestOrZero(U64 set) {
  return set ? Nearest<G, D>(set) : 0;
}

// Calls f(Dir<0>{}) .. f(Dir<N-1>{}), each with its direction as a constant.
template <int N, class F>
[[gnu::always_inline]] inline void ForDirs(F&& f) {
  if constexpr (N > 0) f(Dir<0>{});
  if constexpr (N > 1) f(Dir<1>{});
  if constexpr (N > 2) f(Dir<2>{});
  if constexpr (N > 3) f(Dir<3>{});
}

// --- Families of rules -----------------------------------------------------------

enum class Majority { kNone, kPieces, kPiecesKings, kItalian };
enum class Kings {
  kShort,    // one-square kings, 4 diagonals
  kFlying,   // flying kings; captured pieces stay as obstacles until the end
  kThai,     // flying, land directly behind, captured pieces leave at once, may turn back
  kTurkish,  // orthogonal flying, captured pieces leave at once, never straight back
};

template <class G, int ManDirs, bool MenTakeKings, bool CrownsInCapture, Kings KingKind, bool KillerStop,
          Majority M, bool KingsFirst>
struct Rules {
  using Geo = G;
  static constexpr int kManDirs = ManDirs;  // men capture in directions 0..ManDirs-1
  static constexpr bool kMenTakeKings = MenTakeKings;
  static constexpr bool kCrownsInCapture = CrownsInCapture;
  static constexpr Kings kKings = KingKind;
  static constexpr bool kKillerStop = KillerStop;
  static constexpr Majority kMajority = M;
  static constexpr bool kKingsFirst = KingsFirst;
  // A man can never land on or need to pass a square it captured on (landing
  // squares and captured squares differ in parity), and neither can a short
  // king: for them keeping or removing captured pieces is the same.
  static constexpr bool kKeepsCaptured = KingKind == Kings::kFlying || KingKind == Kings::kShort;
  static constexpr bool kKingGoesBack = KingKind == Kings::kThai;
};

// Geometry, men's capture directions, men take kings, crowning during capture,
// kings, Killer landing rule, majority rule, king captures first.
using RussianRules = Rules<Diag32, 4, true, true, Kings::kFlying, false, Majority::kNone, false>;
using EnglishRules = Rules<Diag32, 2, true, false, Kings::kShort, false, Majority::kNone, false>;
using BrazilianRules = Rules<Diag32, 4, true, false, Kings::kFlying, false, Majority::kPieces, false>;
using PoolRules = Rules<Diag32, 4, true, false, Kings::kFlying, false, Majority::kNone, false>;
using ItalianRules = Rules<Diag32, 2, false, false, Kings::kShort, false, Majority::kItalian, false>;
using InternationalRules = Rules<Diag50, 4, true, false, Kings::kFlying, false, Majority::kPieces, false>;
using CzechRules = Rules<Diag32, 2, true, false, Kings::kFlying, false, Majority::kNone, true>;
using SpanishRules = Rules<Diag32, 2, true, false, Kings::kFlying, false, Majority::kPiecesKings, false>;
using SpantsirettiRules = Rules<Diag40, 4, true, true, Kings::kFlying, false, Majority::kNone, false>;
using ThaiRules = Rules<Diag32, 2, true, false, Kings::kThai, false, Majority::kNone, false>;
using TurkishRules = Rules<Ortho64, 3, true, false, Kings::kTurkish, false, Majority::kPieces, false>;
using KillerRules = Rules<Diag50, 4, true, false, Kings::kFlying, true, Majority::kPieces, false>;

// Men of `men` that can jump a piece of `victims` onto a square of `empty`.
template <class V>
inline U64 MenCapturers(U64 men, U64 victims, U64 empty) {
  using G = typename V::Geo;
  U64 r = 0;
  ForDirs<V::kManDirs>([&](auto dc) {
    constexpr int d = dc;
    r |= men & StepBack<G, d>(victims & StepBack<G, d>(empty));
  });
  return r;
}

// True when a flying king on t has a capture in direction D.
template <class G, int D>
inline bool FlyingCaptureDir(U64 t, U64 victims, U64 empty) {
  const U64 c = NearestOrZero<G, D>(Rays<G>::kRay[D][Index(t)] & ~empty);
  return (c & victims) && (Step<G, D>(c) & empty);
}

template <class V>
inline bool KingCanCapture(U64 x, U64 victims, U64 empty) {
  using G = typename V::Geo;
  bool any = false;
  if constexpr (V::kKings == Kings::kShort) {
    ForDirs<4>([&](auto dc) {
      constexpr int d = dc;
      any |= (Step<G, d>(x) & victims) && (Step<G, d>(Step<G, d>(x)) & empty);
    });
  } else {
    ForDirs<4>([&](auto dc) {
      constexpr int d = dc;
      if (!any) any = FlyingCaptureDir<G, d>(x, victims, empty);
    });
  }
  return any;
}

template <class V>
U64 KingCapturers(U64 kings, U64 victims, U64 empty) {
  using G = typename V::Geo;
  if constexpr (V::kKings == Kings::kShort) {
    U64 r = 0;
    ForDirs<4>([&](auto dc) {
      constexpr int d = dc;
      r |= kings & StepBack<G, d>(victims & StepBack<G, d>(empty));
    });
    return r;
  } else {
    U64 r = 0;
    for (U64 k = kings; k; k &= k - 1)
      if (KingCanCapture<V>(LowestBit(k), victims, empty)) r |= LowestBit(k);
    return r;
  }
}

// --- The generator -----------------------------------------------------------------

template <class V>
class Generator {
  using G = typename V::Geo;

 public:
  Generator(const TBitBoard64& p, TBitBoard64* out)
      : w_(p.w), b_(p.b), k_(p.k), empty_(G::kMask & ~(p.w | p.b)), out_(out) {}

  int Run() {
    // King captures, highest bit first.
    for (U64 kings = w_ & k_; kings;) {
      const U64 x = HighestBit(kings);
      kings ^= x;
      from_ = x;
      e_ = empty_ | x;
      if constexpr (V::kKings == Kings::kShort)
        ShortKingSearch(x, Taken{});
      else
        KingSearch(x, Taken{}, -1);
    }
    if constexpr (V::kKingsFirst)
      if (n_) return n_;
    kingBest_ = best_;
    // Men captures, highest bit first.
    for (U64 men = MenCapturers<V>(w_ & ~k_, ManVictims(), empty_); men;) {
      const U64 x = HighestBit(men);
      men ^= x;
      from_ = x;
      e_ = empty_ | x;
      ManSearch(x, Taken{});
    }
    if (n_) return n_;
    QuietMen();
    QuietKings();
    return n_;
  }

 private:
  U64 ManVictims() const { return V::kMenTakeKings ? b_ : b_ & ~k_; }

  // --- Captures. `x` is the capturing piece's square, `t` what it has taken so
  // far. Each search returns whether the piece had any capture from x; a step
  // that leads to no further capture ends the move there.

  // Pieces taken so far: their squares, how many, how many kings, and the
  // king-order value (Italian only).
  struct Taken {
    U64 cap = 0;
    int count = 0;
    int kings = 0;
    U64 value = 0;
  };

  Taken Take(const Taken& t, U64 c) const {
    const bool king = c & k_;
    Taken n{t.cap | c, t.count + 1, t.kings + king, 0};
    if constexpr (V::kMajority == Majority::kItalian) n.value = 2 * t.value + (king ? 2 : 1);
    return n;
  }

  // Out of line: inlined into Run they would load the generator's fast quiet
  // path with their set-up.
  [[gnu::noinline]] bool ManSearch(U64 x, const Taken& t) {
    const U64 victims = ManVictims() & ~t.cap;
    bool any = false;
    ForDirs<V::kManDirs>([&](auto dc) {
      constexpr int d = dc;
      const U64 c = Step<G, d>(x) & victims;
      if (!c) return;
      const U64 l = Step<G, d>(c) & e_;
      if (!l) return;
      any = true;
      const Taken t2 = Take(t, c);
      if constexpr (V::kCrownsInCapture) {
        if (l & G::kPromo) {
          // Crowned on the spot: the capture goes on as a flying king.
          if (!KingSearch(l, t2, d)) End<false>(l, t2, true);
          return;
        }
      }
      // Going on is tested here rather than by the call, which most landing
      // squares would make only to find nothing.
      if (MenCapturers<V>(l, victims & ~c, e_))
        ManSearch(l, t2);
      else
        End<true>(l, t2, false);
    });
    return any;
  }

  [[gnu::noinline]] bool ShortKingSearch(U64 x, const Taken& t) {
    const U64 victims = b_ & ~t.cap;
    bool any = false;
    ForDirs<4>([&](auto dc) {
      constexpr int d = dc;
      const U64 c = Step<G, d>(x) & victims;
      if (!c) return;
      const U64 l = Step<G, d>(c) & e_;
      if (!l) return;
      any = true;
      const Taken t2 = Take(t, c);
      if (!ShortKingSearch(l, t2)) End<false>(l, t2, true);
    });
    return any;
  }

  // Flying kings; `prev` is the direction the king arrived by (-1 at the start).
  [[gnu::noinline]] bool KingSearch(U64 x, const Taken& t, int prev) {
    const U64 e = Empty(t.cap);
    const U64 victims = b_ & ~t.cap;
    const int sq = Index(x);
    bool any = false;
    ForDirs<4>([&](auto dc) {
      constexpr int d = dc;
      // Straight back is forbidden without KingGoesBack; where captured pieces
      // stay, the one just taken blocks that way anyway.
      if constexpr (!V::kKingGoesBack)
        if (prev == 3 - d) return;
      const auto& ray = Rays<G>::kRay[d];
      const U64 c = NearestOrZero<G, d>(ray[sq] & ~e);
      if (!(c & victims)) return;
      const U64 beyond = ray[Index(c)];
      const U64 blocker = NearestOrZero<G, d>(beyond & ~e);
      const U64 land = blocker ? beyond & ~(ray[Index(blocker)] | blocker) : beyond;
      if (!land) return;
      any = true;
      KingLine<d>(c, land, blocker, t);
    });
    return any;
  }

  // The king jumps c in direction D and may land on `land` (the free squares
  // behind c up to `blocker`, the next occupied square or 0).
  template <int D>
  void KingLine(U64 c, U64 land, U64 blocker, const Taken& t) {
    const Taken t2 = Take(t, c);
    if constexpr (V::kKings == Kings::kThai) {
      // Only the square directly behind the captured piece.
      const U64 l = Nearest<G, D>(land);
      if (!KingSearch(l, t2, D)) End<false>(l, t2, true);
      return;
    }
    const U64 e2 = Empty(t2.cap);
    const U64 victims2 = b_ & ~t2.cap;
    // Going on along the same line is possible from every landing square alike.
    const bool ahead = (blocker & victims2) && (Step<G, D>(blocker) & e2);
    // When some landing square lets the capture go on, the king must take one
    // of those (any of them); otherwise every landing square ends the move,
    // except in Killer, where a capture that ends by taking a king ends
    // directly behind it.
    U64 go = land;
    if (!ahead) {
      go = 0;
      for (U64 rest = land; rest; rest &= rest - 1)
        if (CrossCapture<D>(LowestBit(rest), victims2, e2)) go |= LowestBit(rest);
    }
    if (go) {
      while (go) {
        const U64 l = Nearest<G, D>(go);
        go ^= l;
        KingSearch(l, t2, D);
      }
    } else {
      if constexpr (V::kKillerStop)
        if (c & k_) land = Nearest<G, D>(land);
      while (land) {
        const U64 l = Nearest<G, D>(land);
        land ^= l;
        End<false>(l, t2, true);
      }
    }
  }

  // Capture from t along the two directions crossing direction D's line.
  template <int D>
  static bool CrossCapture(U64 t, U64 victims, U64 e) {
    constexpr int p1 = (D == 0 || D == 3) ? 1 : 0;
    constexpr int p2 = 3 - p1;
    return FlyingCaptureDir<G, p1>(t, victims, e) || FlyingCaptureDir<G, p2>(t, victims, e);
  }

  U64 Empty(U64 cap) const { return V::kKeepsCaptured ? e_ : (e_ | cap); }

  // End of a capture on x having taken `t`: the majority rule of the family,
  // then the resulting position unless it is already listed.
  template <bool Man>
  void End(U64 x, const Taken& t, bool king) {
    const U64 cap = t.cap;
    [[maybe_unused]] const int depth = t.count, kings = t.kings;
    [[maybe_unused]] const U64 value = t.value;
    if constexpr (V::kMajority != Majority::kNone) {
      if (depth < best_) return;
      if (depth > best_) {
        n_ = 0;
      } else {
        if constexpr (V::kMajority == Majority::kItalian)
          if (Man && kingBest_ == depth) return;  // a king's equal capture comes first
        if constexpr (V::kMajority != Majority::kPieces) {
          if (kings < bestKings_) return;
          if (kings > bestKings_) {
            n_ = 0;
          } else if constexpr (V::kMajority == Majority::kItalian) {
            if (value < bestValue_) return;
            if (value > bestValue_) n_ = 0;
          }
        }
      }
    }
    const U64 w = (w_ & ~from_) | x;
    const U64 b = b_ & ~cap;
    const U64 k = (k_ & ~(from_ | cap)) | (king ? x : (x & G::kPromo));
    // Two captures by men lead to the same position only when one man takes
    // the same pieces by two paths, or two men take them and each returns to
    // its start square; either needs a ring of at least four pieces.
    if (!Man || depth >= 4)
      for (int i = 0; i < n_; ++i)
        if (out_[i].w == w && out_[i].b == b && out_[i].k == k) return;
    if constexpr (V::kMajority != Majority::kNone) {
      best_ = depth;
      bestKings_ = kings;
      bestValue_ = value;
    }
    if (n_ < kMaxPositions64) out_[n_++] = TBitBoard64{w, b, k};
  }

  // --- Quiet moves.

  void Add(U64 w, U64 k) {
    if (n_ < kMaxPositions64) out_[n_++] = TBitBoard64{w, b_, k};
  }

  // Men's quiet moves come first into an empty list (any capture ends the
  // generation before them), and there are at most three per man, fewer than
  // the list holds: no need to check for room.
  template <int D>
  void QuietMenDir(U64 men) {
    for (U64 m = men & StepBack<G, D>(empty_); m; m &= m - 1) {
      const U64 x = LowestBit(m);
      const U64 t = Step<G, D>(x);
      out_[n_++] = TBitBoard64{w_ ^ (x | t), b_, k_ | (t & G::kPromo)};
    }
  }

  void QuietMen() {
    const U64 men = w_ & ~k_;
    static_assert(3 * 64 < kMaxPositions64);
    assert(n_ == 0);
    QuietMenDir<0>(men);                           // +6 / +8
    QuietMenDir<1>(men);                           // +5 / +1
    if constexpr (G::kOrtho) QuietMenDir<2>(men);  // -1
  }

  template <int D>
  void ShortKingsDir(U64 kings) {
    for (U64 m = kings & StepBack<G, D>(empty_); m; m &= m - 1) {
      const U64 x = LowestBit(m);
      const U64 t = Step<G, D>(x);
      Add(w_ ^ (x | t), k_ ^ (x | t));
    }
  }

  template <int D>
  void Slide(U64 x) {
    for (U64 t = Step<G, D>(x) & empty_; t; t = Step<G, D>(t) & empty_) Add(w_ ^ (x | t), k_ ^ (x | t));
  }

  void QuietKings() {
    const U64 kings = w_ & k_;
    if (!kings) return;
    if constexpr (V::kKings == Kings::kShort) {
      ShortKingsDir<1>(kings);  // +5
      ShortKingsDir<0>(kings);  // +6
      ShortKingsDir<2>(kings);  // -5
      ShortKingsDir<3>(kings);  // -6
    } else if constexpr (G::kOrtho) {
      for (U64 m = kings; m;) {  // highest bit first: +8, -8, +1, -1
        const U64 x = HighestBit(m);
        m ^= x;
        Slide<0>(x);
        Slide<3>(x);
        Slide<1>(x);
        Slide<2>(x);
      }
    } else {
      for (U64 m = kings; m; m &= m - 1) {  // lowest bit first: +6, -6, +5, -5
        const U64 x = LowestBit(m);
        Slide<0>(x);
        Slide<3>(x);
        Slide<1>(x);
        Slide<2>(x);
      }
    }
  }

  const U64 w_, b_, k_;
  const U64 empty_;  // free playing squares of the position
  TBitBoard64* const out_;
  int n_ = 0;
  int best_ = 0, bestKings_ = 0, kingBest_ = 0;
  U64 bestValue_ = 0;
  U64 from_ = 0;  // start square of the capturing piece
  U64 e_ = 0;     // free squares during its capture (its start square included)
};

// Debug builds check that a position only uses the layout's playing squares,
// that no square is both white and black, and that every king is a piece.
inline bool WellFormed(const TBitBoard64& p, U64 mask) {
  return ((p.w | p.b | p.k) & ~mask) == 0 && (p.w & p.b) == 0 && (p.k & ~(p.w | p.b)) == 0;
}

template <class V>
int Generate(const TBitBoard64& p, TBitBoard64* out) {
  assert(WellFormed(p, V::Geo::kMask));
  const int n = Generator<V>(p, out).Run();
#ifndef NDEBUG
  for (int i = 0; i < n; ++i) assert(WellFormed(out[i], V::Geo::kMask));
#endif
  return n;
}

// --- Counting moves without listing them ---------------------------------------------
// For perft's last ply. The side to move is w moving up, or with Down b moving
// down (the children of a generated list, not yet turned round): a direction d
// for the side moving down is direction 3 - d of the side moving up.

template <class G>
[[gnu::always_inline]] inline TBitBoard64 TurnedRound(const TBitBoard64& p) {
  auto turn = [](U64 x) {
    x = __builtin_bswap64(x);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
    x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
    x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
    return x >> G::kRevShift;
  };
  return TBitBoard64{turn(p.b), turn(p.w), p.k ? turn(p.k) : 0};
}

// Population count. With Hw the popcnt instruction: only for code inlined
// into a function compiled for it (see bitperft.cpp); otherwise a few shifts
// and adds, as the builtin would call a slower library routine.
template <bool Hw>
[[gnu::always_inline]] inline int Bits(U64 x) {
  if constexpr (Hw)
    return PopCountHw(x);
  else
    return PopCount(x);
}

template <class G, bool Down, int D>
inline U64 StepBackFor(U64 y) {
  return StepBack < G, Down ? 3 - D : D > (y);
}

// Quiet moves of flying kings: the free squares along each line up to the
// first occupied one.
template <class G, bool Hw>
[[gnu::always_inline]] inline int FlyingKingMoves(U64 kings, U64 empty) {
  int n = 0;
  for (; kings; kings &= kings - 1) {
    const int sq = Index(LowestBit(kings));
    ForDirs<4>([&](auto dc) {
      constexpr int d = dc;
      const auto& ray = Rays<G>::kRay[d];
      U64 r = ray[sq];
      const U64 occupied = r & ~empty;
      if (occupied) {
        const U64 blocker = Nearest<G, d>(occupied);
        r &= ~(ray[Index(blocker)] | blocker);
      }
      n += Bits<Hw>(r);
    });
  }
  return n;
}

// Captures by men counted without listing them, for the families whose
// majority rule looks at pieces (and kings) taken only. Captures of fewer than
// four pieces by men never lead to the same position twice (see End), so they
// can be counted; Count gives -1 where the listing generator must decide: a
// capture of four or more pieces, or a man crowned during a capture.
template <class V, bool Down>
class ManCaptureCounter {
  using G = typename V::Geo;

 public:
  static constexpr bool kUsable = V::kMajority != Majority::kItalian;

  ManCaptureCounter(U64 victims, U64 kings, U64 empty) : victims_(victims), kings_(kings), empty_(empty) {}

  int Count(U64 men) {
    for (; men; men &= men - 1) {
      const U64 x = LowestBit(men);
      e_ = empty_ | x;
      Search(x, 0, 0, 0);
      if (fallback_) return -1;
    }
    return n_ < kMaxPositions64 ? n_ : kMaxPositions64;
  }

 private:
  template <int D>
  static U64 StepOn(U64 x) {
    return Step < G, Down ? 3 - D : D > (x);
  }

  bool CanGoOn(U64 l, U64 victims) const {
    U64 any = 0;
    ForDirs<V::kManDirs>([&](auto dc) {
      constexpr int d = dc;
      any |= StepOn<d>(StepOn<d>(l) & victims) & e_;
    });
    return any != 0;
  }

  void Search(U64 x, U64 cap, int taken, int kings) {
    const U64 victims = victims_ & ~cap;
    ForDirs<V::kManDirs>([&](auto dc) {
      constexpr int d = dc;
      if (fallback_) return;
      const U64 c = StepOn<d>(x) & victims;
      if (!c) return;
      const U64 l = StepOn<d>(c) & e_;
      if (!l) return;
      const int kings2 = kings + ((c & kings_) ? 1 : 0);
      if (taken + 1 >= 4 || (V::kCrownsInCapture && (l & (Down ? G::kPromoDown : G::kPromo)))) {
        fallback_ = true;
      } else if (CanGoOn(l, victims & ~c)) {
        Search(l, cap | c, taken + 1, kings2);
      } else {
        Tally(taken + 1, kings2);
      }
    });
  }

  void Tally(int taken, int kings) {
    if constexpr (V::kMajority != Majority::kNone) {
      if (taken < best_) return;
      if (taken > best_) {
        best_ = taken;
        bestKings_ = kings;
        n_ = 0;
      } else if constexpr (V::kMajority == Majority::kPiecesKings) {
        if (kings < bestKings_) return;
        if (kings > bestKings_) {
          bestKings_ = kings;
          n_ = 0;
        }
      }
    }
    ++n_;
  }

  const U64 victims_, kings_, empty_;
  U64 e_ = 0;  // free squares during one man's capture (its start square included)
  int n_ = 0, best_ = 0, bestKings_ = 0;
  bool fallback_ = false;
};

// Captures of the side to move counted: by ManCaptureCounter where it can,
// else by listing them into `scratch`. Out of line, so that the quiet path of
// CountMoves stays small.
template <class V, bool Down>
[[gnu::noinline]] int CountCaptures(const TBitBoard64& p, U64 capturingMen, TBitBoard64* scratch) {
  using G = typename V::Geo;
  if constexpr (ManCaptureCounter<V, Down>::kUsable) {
    const U64 own = Down ? p.b : p.w, other = Down ? p.w : p.b;
    const U64 empty = G::kMask & ~(p.w | p.b);
    const U64 kings = own & p.k;
    // Men's captures alone, when no king of the side can capture.
    if (capturingMen && !(kings && KingCapturers<V>(kings, other, empty))) {
      const U64 victims = V::kMenTakeKings ? other : other & ~p.k;
      const int n = ManCaptureCounter<V, Down>(victims, p.k, empty).Count(capturingMen);
      if (n >= 0) return n;
    }
  }
  if constexpr (Down)
    return Generator<V>(TurnedRound<G>(p), scratch).Run();
  else
    return Generator<V>(p, scratch).Run();
}

// The number of positions Generate<V> lists for the side to move: counted
// from masks when there is no capture (quiet moves never lead to the same
// position twice), by CountCaptures when there is one.
template <class V, bool Down, bool Hw = false>
[[gnu::always_inline]] inline int CountMoves(const TBitBoard64& p, TBitBoard64* scratch) {
  using G = typename V::Geo;
  const U64 own = Down ? p.b : p.w, other = Down ? p.w : p.b;
  const U64 empty = G::kMask & ~(p.w | p.b);
  const U64 men = own & ~p.k, kings = own & p.k;
  const U64 victims = V::kMenTakeKings ? other : other & ~p.k;
  U64 capturing = 0;
  ForDirs<V::kManDirs>([&](auto dc) {
    constexpr int d = dc;
    capturing |= men & StepBackFor<G, Down, d>(victims & StepBackFor<G, Down, d>(empty));
  });
  if (capturing || (kings && KingCapturers<V>(kings, other, empty)))
    return CountCaptures<V, Down>(p, capturing, scratch);
  int n = Bits<Hw>(men & StepBackFor<G, Down, 0>(empty)) + Bits<Hw>(men & StepBackFor<G, Down, 1>(empty));
  if constexpr (G::kOrtho) n += Bits<Hw>(men & StepBackFor<G, Down, 2>(empty));
  if (kings) {
    if constexpr (V::kKings == Kings::kShort) {
      ForDirs<4>([&](auto dc) {
        constexpr int d = dc;
        n += Bits<Hw>(kings & StepBack<G, d>(empty));
      });
    } else {
      n += FlyingKingMoves<G, Hw>(kings, empty);
    }
  }
  return n < kMaxPositions64 ? n : kMaxPositions64;
}

// --- Variants --------------------------------------------------------------------------

// f.template operator()<Rules>() for the family of rules of a VariantTable
// slot, or R{} for a slot without a routine (Frisian, Canadian, custom).
template <class R, class F>
constexpr R WithRules(int variant, F&& f) {
  switch (variant) {
    case kRussian:
      return f.template operator()<RussianRules>();
    case kEnglish:
      return f.template operator()<EnglishRules>();
    case kBrazilian:
      return f.template operator()<BrazilianRules>();
    case kPool:
      return f.template operator()<PoolRules>();
    case kItalian:
      return f.template operator()<ItalianRules>();
    case kInternational:
      return f.template operator()<InternationalRules>();
    case kCzech:
      return f.template operator()<CzechRules>();
    case kSpanish:
      return f.template operator()<SpanishRules>();
    case kSpantsiretti:
      return f.template operator()<SpantsirettiRules>();
    case kThai:
      return f.template operator()<ThaiRules>();
    case kTurkish:
      return f.template operator()<TurkishRules>();
    case kInternationalKiller:
      return f.template operator()<KillerRules>();
    default:
      return R{};
  }
}

template <class V>
U64 MenCapturing(const TBitBoard64& p) {
  const U64 empty = V::Geo::kMask & ~(p.w | p.b);
  return MenCapturers<V>(p.w & ~p.k, V::kMenTakeKings ? p.b : p.b & ~p.k, empty);
}

template <class V>
U64 KingsCapturing(const TBitBoard64& p) {
  const U64 empty = V::Geo::kMask & ~(p.w | p.b);
  return KingCapturers<V>(p.w & p.k, p.b, empty);
}

}  // namespace quorlin::bitgen
