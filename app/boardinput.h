#pragma once
// Turning taps on board squares into one legal move.
//
// The taps since the last completed move are kept in a ring of 41 squares. Each
// tap narrows the legal moves down to those whose path (start, captured and
// landing squares) holds the newest taps; as soon as exactly one move is left it
// is the move to play, so the user never names more squares than are needed to
// tell the candidates apart. A drag is the same as a tap on the square where it
// starts and one where it ends.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

constexpr int kTapRingSize = 41;

// True when the square is on the move's path: start and destination of a quiet
// move; start, every captured and every landing square of a capture.
bool MovePathContains(const TMove& move, int square);

class TTapRing {
 public:
  // Adds one tap and matches the taps against the legal moves list[1..count].
  // Returns the move to play when exactly one is left; the ring is then
  // cleared (the write position stays). Otherwise the taps stay in the ring
  // and later taps are matched together with them.
  std::optional<TMove> Tap(int square, const TMvs& list, int count);

  // The legal moves the taps so far still allow (1..count indices into the
  // list), as narrowed by the newest taps; empty when none fits.
  std::vector<int> Candidates(const TMvs& list, int count) const;

  // Destinations of the legal moves that start on the newest tap: the squares
  // the tapped piece can reach. Empty when the newest tap holds no piece that
  // can move.
  std::vector<int> Reachable(const TMvs& list, int count) const;

  // Sets all slots to 0; the write position stays where it is.
  void Clear();

  // Slots from the newest tap backwards (0 = empty slot).
  int Newest(int back = 0) const;
  int WritePosition() const { return pos_; }

 private:
  std::array<int, kTapRingSize> ring_{};
  int pos_ = 0;  // slot the next tap is written to
};

// The boards shown while a move is played step by step: one board per capture
// step (the piece on its landing square, the captured piece gone unless the
// variant removes captured pieces only at the end), and last the board after
// the whole move, equal to ApplyMove's. A quiet move has only that last board.
std::vector<TBoard> MoveSteps(const TBoard& board, const TMove& move, const TGameParams& params);

}  // namespace quorlin
