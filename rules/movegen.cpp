#include "rules/movegen.h"

#include <cstdlib>

namespace quorlin {
namespace {

// Absolute directions. Checkered boards: the four diagonals, then the Frisian
// orthogonals (two rows up or down in the same column, next square in the row).
enum : int { kUpLeft, kUpRight, kDownLeft, kDownRight, kUp2, kDown2, kRowRight, kRowLeft };
// Non-checkered boards: the four orthogonal neighbours.
enum : int { kLeft, kRight, kUp, kDown };
constexpr int kNoDirection = -1;
constexpr int kDirections = 8;

inline bool IsKingCode(int code) { return code >= 2 || code <= -2; }

// One call's worth of generator state. Lives on the caller's stack; nothing is
// shared between calls.
class Generator {
 public:
  Generator(const TBoard& board, int side, TMvs& list, const TGameParams& params, bool dedupe)
      : board_(board),
        side_(side == 0 ? 0 : 1),
        own_(side == 0 ? 1 : -1),
        list_(list),
        p_(params),
        dedupe_(dedupe) {}

  int Run();

 private:
  void BuildGeometry();
  bool IsOpponent(int code) const { return code * own_ < 0; }
  bool OnPromotionRow(int s) const { return own_ > 0 ? s > size_ - w_ : s <= w_; }
  bool ManCanCapture(int s) const;
  bool KingCanCapture(int s, int previous) const;
  void ManSearch(int s, int depth, int kings, uint64_t value);
  void KingSearch(int s, int depth, int kings, uint64_t value, int previous);
  void EndCapture(int depth, int kings, uint64_t value);
  bool FrisianMajority(int depth, int kings);
  void ClearList() {
    count_ = 0;
    ++clears_;
  }
  void AddQuiet(int from, int to);

  const TBoard& board_;
  const int side_;
  const int own_;  // sign of the side's piece codes
  TMvs& list_;
  const TGameParams& p_;
  const bool dedupe_;

  int size_ = 0;
  int w_ = 0;
  int8_t cells_[kMaxSquares + 1] = {};
  // Neighbour of each square per absolute direction; 0 where there is none.
  uint8_t next_[kDirections][kMaxSquares + 1] = {};
  int opposite_[kDirections] = {};
  // Side-relative direction lists translated to absolute directions.
  int manCapture_[kDirections] = {};
  int manCaptureCount_ = 0;
  int kingCapture_[kDirections] = {};
  int kingCaptureCount_ = 0;
  int manQuiet_[3] = {};
  int manQuietCount_ = 0;
  int kingQuiet_[4] = {};

  int count_ = 0;
  int best_ = 0;
  int bestKings_ = 0;
  uint64_t bestValue_ = 0;
  int kingBest_ = 0;
  // Frisian: rank of the best accepted capture, and of the best king capture
  // (taken before the men pass).
  int bestRank_ = 0;
  int kingBestRank_ = 0;
  bool menPass_ = false;
  int clears_ = 0;  // times the list was emptied for a better capture
  TMove cur_;
};

void Generator::BuildGeometry() {
  const bool checkered = p_.BoardCheckered;
  const bool frisian = p_.FrisianCapture && checkered;
  int row = 0, slot = 0;
  for (int s = 1; s <= size_; ++s) {
    auto keep = [&](int n) { return static_cast<uint8_t>(n >= 1 && n <= size_ ? n : 0); };
    if (checkered) {
      const int odd = row & 1;
      const bool leftEdge = !odd && slot == 0;
      const bool rightEdge = odd && slot == w_ - 1;
      next_[kUpLeft][s] = leftEdge ? 0 : keep(s + w_ - 1 + odd);
      next_[kUpRight][s] = rightEdge ? 0 : keep(s + w_ + odd);
      next_[kDownLeft][s] = leftEdge ? 0 : keep(s - w_ - (1 - odd));
      next_[kDownRight][s] = rightEdge ? 0 : keep(s - w_ + 1 - (1 - odd));
      if (frisian) {
        next_[kUp2][s] = keep(s + 2 * w_);
        next_[kDown2][s] = keep(s - 2 * w_);
        next_[kRowRight][s] = slot < w_ - 1 ? keep(s + 1) : 0;
        next_[kRowLeft][s] = slot > 0 ? keep(s - 1) : 0;
      }
    } else {
      next_[kLeft][s] = slot > 0 ? keep(s - 1) : 0;
      next_[kRight][s] = slot < w_ - 1 ? keep(s + 1) : 0;
      next_[kUp][s] = keep(s + w_);
      next_[kDown][s] = keep(s - w_);
    }
    if (++slot == w_) {
      slot = 0;
      ++row;
    }
  }

  // Side-relative directions 0..7 as absolute ones: forward-left,
  // forward-right, backward-left, backward-right, then the Frisian
  // orthogonals; on a non-checkered board left, right, forward, backward.
  // Left and right are White's left and right for both sides.
  int relative[kDirections];
  int available;
  if (checkered) {
    const bool white = own_ > 0;
    relative[0] = white ? kUpLeft : kDownLeft;
    relative[1] = white ? kUpRight : kDownRight;
    relative[2] = white ? kDownLeft : kUpLeft;
    relative[3] = white ? kDownRight : kUpRight;
    relative[4] = kUp2;
    relative[5] = kDown2;
    relative[6] = kRowRight;
    relative[7] = kRowLeft;
    available = frisian ? 8 : 4;
    opposite_[kUpLeft] = kDownRight;
    opposite_[kDownRight] = kUpLeft;
    opposite_[kUpRight] = kDownLeft;
    opposite_[kDownLeft] = kUpRight;
    opposite_[kUp2] = kDown2;
    opposite_[kDown2] = kUp2;
    opposite_[kRowRight] = kRowLeft;
    opposite_[kRowLeft] = kRowRight;
  } else {
    relative[0] = kLeft;
    relative[1] = kRight;
    relative[2] = own_ > 0 ? kUp : kDown;
    relative[3] = own_ > 0 ? kDown : kUp;
    available = 4;
    opposite_[kLeft] = kRight;
    opposite_[kRight] = kLeft;
    opposite_[kUp] = kDown;
    opposite_[kDown] = kUp;
  }

  int menCapture = p_.FrisianCapture ? 8 : p_.MenTakeBackWards ? 4 : checkered ? 2 : 3;
  if (menCapture > available) menCapture = available;
  manCaptureCount_ = menCapture;
  for (int i = 0; i < menCapture; ++i) manCapture_[i] = relative[i];
  kingCaptureCount_ = p_.FrisianCapture ? available : 4;
  for (int i = 0; i < kingCaptureCount_; ++i) kingCapture_[i] = relative[i];
  manQuietCount_ = checkered ? 2 : 3;
  for (int i = 0; i < manQuietCount_; ++i) manQuiet_[i] = relative[i];
  for (int i = 0; i < 4; ++i) kingQuiet_[i] = relative[i];
}

bool Generator::ManCanCapture(int s) const {
  for (int i = 0; i < manCaptureCount_; ++i) {
    const int d = manCapture_[i];
    const int m = next_[d][s];
    if (m == 0 || !IsOpponent(cells_[m])) continue;
    if (!p_.MenTakeKings && IsKingCode(cells_[m])) continue;
    const int t = next_[d][m];
    if (t != 0 && cells_[t] == kEmpty) return true;
  }
  return false;
}

bool Generator::KingCanCapture(int s, int previous) const {
  for (int i = 0; i < kingCaptureCount_; ++i) {
    const int d = kingCapture_[i];
    if (previous != kNoDirection && !p_.KingGoesBack && d == opposite_[previous]) continue;
    int m = next_[d][s];
    if (p_.FlyingKing)
      while (m != 0 && cells_[m] == kEmpty) m = next_[d][m];
    if (m == 0 || !IsOpponent(cells_[m])) continue;
    const int t = next_[d][m];
    if (t != 0 && cells_[t] == kEmpty) return true;
  }
  return false;
}

void Generator::ManSearch(int s, int depth, int kings, uint64_t value) {
  const int8_t piece = cells_[s];
  for (int i = 0; i < manCaptureCount_; ++i) {
    const int d = manCapture_[i];
    const int m = next_[d][s];
    if (m == 0 || !IsOpponent(cells_[m])) continue;
    const int8_t taken = cells_[m];
    if (!p_.MenTakeKings && IsKingCode(taken)) continue;
    const int t = next_[d][m];
    if (t == 0 || cells_[t] != kEmpty) continue;

    // A captured piece either stays as an obstacle (sign inverted: it then
    // counts as the mover's own, so it blocks and cannot be taken twice) or
    // leaves the board at once.
    cells_[s] = kEmpty;
    cells_[m] = p_.TurkishCapture ? static_cast<int8_t>(-taken) : kEmpty;
    int8_t moved = piece;
    if (p_.CrowningOnCapture && OnPromotionRow(t)) moved = static_cast<int8_t>(2 * own_);
    cells_[t] = moved;
    cur_.mv[2 * depth - 1] = static_cast<uint8_t>(m);
    cur_.mv[2 * depth] = static_cast<uint8_t>(t);
    const bool king = IsKingCode(taken);
    const int kings2 = kings + (king ? 1 : 0);
    const uint64_t value2 = 2 * value + (king ? 2 : 1);

    const bool crowned = IsKingCode(moved);
    const bool more =
        depth < kMaxCapturesPerMove && (crowned ? KingCanCapture(t, kNoDirection) : ManCanCapture(t));
    if (!more)
      EndCapture(depth, kings2, value2);
    else if (crowned)
      KingSearch(t, depth + 1, kings2, value2, kNoDirection);
    else
      ManSearch(t, depth + 1, kings2, value2);

    cur_.mv[2 * depth - 1] = 0;
    cur_.mv[2 * depth] = 0;
    cells_[t] = kEmpty;
    cells_[m] = taken;
    cells_[s] = piece;
  }
}

void Generator::KingSearch(int s, int depth, int kings, uint64_t value, int previous) {
  const int8_t piece = cells_[s];
  for (int i = 0; i < kingCaptureCount_; ++i) {
    const int d = kingCapture_[i];
    if (previous != kNoDirection && !p_.KingGoesBack && d == opposite_[previous]) continue;
    int m = next_[d][s];
    if (p_.FlyingKing)
      while (m != 0 && cells_[m] == kEmpty) m = next_[d][m];
    if (m == 0 || !IsOpponent(cells_[m])) continue;
    int t = next_[d][m];
    if (t == 0 || cells_[t] != kEmpty) continue;

    const int8_t taken = cells_[m];
    const bool king = IsKingCode(taken);
    const int kings2 = kings + (king ? 1 : 0);
    const uint64_t value2 = 2 * value + (king ? 2 : 1);
    // Ends on nearer landing squares are withdrawn once a farther square lets
    // the capture go on. Only ends of this line were added since c0, so when
    // the list was emptied meanwhile all of it is this line's.
    const int c0 = count_;
    const int clears0 = clears_;
    bool first = true;
    // Killer: a capture that ends by taking a king ends directly behind it;
    // farther squares count only where the capture goes on from them.
    const bool behindOnly = p_.FlyingKingStop == 2 && king;
    const int behind = t;

    cells_[s] = kEmpty;
    cells_[m] = p_.TurkishCapture ? static_cast<int8_t>(-taken) : kEmpty;
    cur_.mv[2 * depth - 1] = static_cast<uint8_t>(m);
    while (t != 0 && cells_[t] == kEmpty) {
      cells_[t] = piece;
      cur_.mv[2 * depth] = static_cast<uint8_t>(t);
      if (depth < kMaxCapturesPerMove && KingCanCapture(t, d)) {
        if (first) {
          first = false;
          count_ = clears_ == clears0 ? c0 : 0;
        }
        KingSearch(t, depth + 1, kings2, value2, d);
      } else if (first && (!behindOnly || t == behind)) {
        EndCapture(depth, kings2, value2);
      }
      cells_[t] = kEmpty;
      if (!p_.FlyingKing || p_.FlyingKingStop == 1) break;
      t = next_[d][t];
    }
    cur_.mv[2 * depth - 1] = 0;
    cur_.mv[2 * depth] = 0;
    cells_[m] = taken;
    cells_[s] = piece;
  }
}

// Frisian players must take the capture of highest value: a man counts 1 and
// a king one and a half, so the value in half-men is 2 * men + 3 * kings =
// 2 * pieces + kings. At equal value the capture that takes more kings is
// worth more (two kings outweigh three men), and only between captures of
// equal worth must a king capture rather than a man. The number of pieces
// alone decides nothing. False when the capture is discarded.
bool Generator::FrisianMajority(int depth, int kings) {
  // kings <= 25 < 32: the rank orders by value first, then by kings taken.
  const int rank = (2 * depth + kings) * 32 + kings;
  if (rank < bestRank_) return false;
  if (rank > bestRank_) {
    ClearList();
  } else if (p_.KingEqualPriority && menPass_ && kingBestRank_ == rank) {
    return false;
  }
  bestRank_ = rank;
  return true;
}

void Generator::EndCapture(int depth, int kings, uint64_t value) {
  if (p_.FrisianCapture && p_.TakeMax) {
    if (!FrisianMajority(depth, kings)) return;
  } else if (p_.TakeMax) {
    if (depth < best_) return;
    if (depth > best_) {
      ClearList();
    } else {
      if (p_.KingEqualPriority && menPass_ && kingBest_ == depth) return;
      if (p_.TakeKingsMax) {
        if (kings < bestKings_) return;
        if (kings > bestKings_) {
          ClearList();
        } else if (p_.ItalianCapture) {
          if (value < bestValue_) return;
          if (value > bestValue_) ClearList();
        }
      }
    }
  }
  cur_.lt = static_cast<uint8_t>(depth);
  if (dedupe_)
    for (int i = 1; i <= count_; ++i)
      if (SameCapture(list_[i], cur_)) return;
  best_ = depth;
  bestKings_ = kings;
  bestValue_ = value;
  if (count_ >= kMaxMoves) return;
  list_[++count_] = cur_;
}

void Generator::AddQuiet(int from, int to) {
  if (count_ >= kMaxMoves) return;
  TMove& m = list_[++count_];
  m = TMove{};
  m.mv[0] = static_cast<uint8_t>(from);
  m.mv[1] = static_cast<uint8_t>(to);
}

int Generator::Run() {
  size_ = p_.compute.BoardSize;
  w_ = p_.compute.BoardWidthReal;
  if (size_ < 1 || size_ > kMaxSquares || w_ < 1) return 0;
  for (int s = 1; s <= size_; ++s) cells_[s] = board_.b[s];
  BuildGeometry();

  const int8_t man = static_cast<int8_t>(own_);
  const int8_t king = static_cast<int8_t>(2 * own_);
  int men = 0;

  for (int s = 1; s <= size_; ++s) {
    if (cells_[s] != king) continue;
    if (KingCanCapture(s, kNoDirection)) {
      cur_.mv[0] = static_cast<uint8_t>(s);
      KingSearch(s, 1, 0, 0, kNoDirection);
    }
  }
  if (count_ > 0 && p_.KingsTakeFirst) return count_;

  menPass_ = true;
  kingBest_ = best_;
  kingBestRank_ = bestRank_;
  for (int s = 1; s <= size_; ++s) {
    if (cells_[s] != man) continue;
    ++men;
    if (ManCanCapture(s)) {
      cur_.mv[0] = static_cast<uint8_t>(s);
      ManSearch(s, 1, 0, 0);
    }
  }
  if (count_ > 0 && p_.MustCapture) return count_;

  for (int s = 1; s <= size_ && count_ < kMaxMoves; ++s) {
    const int8_t code = cells_[s];
    if (code == man) {
      for (int i = 0; i < manQuietCount_; ++i) {
        const int t = next_[manQuiet_[i]][s];
        if (t != 0 && cells_[t] == kEmpty) AddQuiet(s, t);
      }
    } else if (code == king) {
      // Frisian: while the side still has men, a king that made the side's
      // last three quiet moves rests; a side with kings only moves them freely.
      if (p_.FrisianCapture && men > 0 && board_.nmcount[side_] >= 3 && board_.nmpiece[side_] == s) continue;
      for (int i = 0; i < 4; ++i) {
        const int d = kingQuiet_[i];
        for (int t = next_[d][s]; t != 0 && cells_[t] == kEmpty; t = next_[d][t]) {
          AddQuiet(s, t);
          if (!p_.FlyingKing) break;
        }
      }
    }
  }
  return count_;
}

int DestinationOf(const TMove& m) { return m.lt ? m.mv[2 * m.lt] : m.mv[1]; }

bool SideHasMen(const TBoard& board, int side, int size) {
  const int8_t man = side == 0 ? kWhiteMan : kBlackMan;
  for (int s = 1; s <= size && s <= kMaxSquares; ++s)
    if (board.b[s] == man) return true;
  return false;
}

}  // namespace

void GenerateMoves(const TBoard& board, int side, TMvs& list, uint8_t& count, const TGameParams& params,
                   bool dedupe) {
  Generator gen(board, side, list, params, dedupe);
  count = static_cast<uint8_t>(gen.Run());
}

void GenerateMoveList(const TBoard& board, int side, TMvs& list, uint8_t& count, const TGameParams& params,
                      bool dedupe) {
  GenerateMoves(board, side, list, count, params, dedupe);
  const bool alphanumeric = params.intface.Notation == 0;
  for (int i = 1; i <= count; ++i) {
    TMove& m = list[i];
    const int from = m.mv[0];
    const int to = DestinationOf(m);
    const int file = alphanumeric ? SquareColumn(params, from) : 0;
    bool onlyFrom = true;
    int sameTo = 0, sameToSameFile = 0;
    for (int j = 1; j <= count; ++j) {
      const TMove& o = list[j];
      if (j != i && o.mv[0] == from) onlyFrom = false;
      if (DestinationOf(o) != to) continue;
      ++sameTo;
      if (alphanumeric && SquareColumn(params, o.mv[0]) == file) ++sameToSameFile;
    }
    uint8_t flags = onlyFrom ? kFlagOnlyFromSquare : 0;
    if (sameTo == 1) flags |= kFlagOnlyToSquare;
    if (sameToSameFile > 1) flags |= kFlagAmbiguousShort;
    if (count == 1) flags |= kFlagOnlyMove;
    m.flags = flags;
  }
}

bool IsMoveValid(const TMove& move, const TGameParams& params) {
  const int size = params.compute.BoardSize;
  auto on = [size](int s) { return s >= 1 && s <= size; };
  if (!on(move.mv[0]) || move.lt > kMaxCapturesPerMove) return false;
  if (move.lt == 0) return on(move.mv[1]);
  for (int i = 1; i <= 2 * move.lt; ++i)
    if (!on(move.mv[i])) return false;
  return true;
}

void ApplyMove(const TMove& move, TBoard& board, const TGameParams& params) {
  if (!IsMoveValid(move, params)) return;
  const int8_t piece = board.b[move.mv[0]];
  // A move from an empty square is no move of either side; playing it would
  // only empty the squares it names.
  if (piece == kEmpty) return;
  const int side = piece > 0 ? 0 : 1;
  const int size = params.compute.BoardSize;
  const int w = params.compute.BoardWidthReal;
  auto crown = [&](int s) {
    int8_t& c = board.b[s];
    if (c > 0 && s > size - w) c = kWhiteKing;
    if (c < 0 && s <= w) c = kBlackKing;
  };

  if (move.lt > 0) {
    board.nmpiece[side] = 0;
    int at = move.mv[0];
    for (int i = 1; i <= move.lt; ++i) {
      const int8_t code = board.b[at];
      const int to = move.mv[2 * i];
      board.b[at] = kEmpty;
      board.b[move.mv[2 * i - 1]] = kEmpty;
      board.b[to] = code;
      at = to;
      if (i == move.lt || params.CrowningOnCapture) crown(to);
    }
    return;
  }

  const int from = move.mv[0], to = move.mv[1];
  board.b[from] = kEmpty;
  board.b[to] = piece;
  if (params.FrisianCapture) {
    if (IsKingCode(piece) && SideHasMen(board, side, size)) {
      const bool same = board.nmpiece[side] == from;
      board.nmcount[side] =
          same ? static_cast<uint8_t>(board.nmcount[side] < 255 ? board.nmcount[side] + 1 : 255) : uint8_t{1};
      board.nmpiece[side] = static_cast<uint8_t>(to);
    } else if (IsKingCode(piece)) {
      // A side with kings only may move the same king as often as it likes:
      // nothing to count, and equal positions keep equal counters.
      board.nmpiece[side] = 0;
      board.nmcount[side] = 0;
    } else {
      board.nmpiece[side] = 0;
    }
  }
  crown(to);
}

bool SameCapture(const TMove& a, const TMove& b) {
  if (a.lt != b.lt) return false;
  if (a.lt == 0) return a.mv[0] == b.mv[0] && a.mv[1] == b.mv[1];
  const int lt = a.lt > kMaxCapturesPerMove ? kMaxCapturesPerMove : a.lt;
  if (a.mv[0] != b.mv[0] || a.mv[2 * lt] != b.mv[2 * lt]) return false;
  for (int i = 1; i <= lt; ++i) {
    const uint8_t taken = a.mv[2 * i - 1];
    bool found = false;
    for (int j = 1; j <= lt && !found; ++j) found = b.mv[2 * j - 1] == taken;
    if (!found) return false;
  }
  return true;
}

}  // namespace quorlin
