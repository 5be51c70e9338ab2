#pragma once
// One move: the generator's output record, which is also one node of a game's
// move tree (the tree fields are set by the game record when the move enters a
// game).
#include <array>
#include <cstdint>

namespace quorlin {

// Most captures one record holds: mv[0] plus a captured and a landing square per
// capture fit in 51 bytes.
constexpr int kMaxCapturesPerMove = 25;

struct TMove {
  uint16_t comm = 0;     // annotation: bits 0..3 move mark, bits 4..7 position mark
  int32_t parent = 0;    // tree: parent node
  int32_t next = 0;      // tree (linked form): first child
  int32_t brother = 0;   // tree (linked form): next sibling
  bool main = false;     // main-continuation mark
  bool free = false;     // the tree slot holds no node
  uint8_t flags = 0;     // notation hints
  uint8_t lt = 0;        // pieces captured; 0 for a quiet move
  // mv[0] start; quiet: mv[1] destination; capture i (1..lt): mv[2i-1] captured
  // square, mv[2i] landing square. Unused bytes are 0.
  std::array<uint8_t, 52> mv{};

  int From() const { return mv[0]; }
  int To() const { return lt ? mv[2 * lt] : mv[1]; }
  bool IsCapture() const { return lt > 0; }
};
static_assert(sizeof(TMove) == 72, "TMove keeps its 72-byte layout");

// Move-list flag bits.
constexpr uint8_t kFlagOnlyFromSquare = 0x01;
constexpr uint8_t kFlagOnlyToSquare = 0x02;
constexpr uint8_t kFlagOnlyMove = 0x04;
constexpr uint8_t kFlagNoExtraShort = 0x08;
constexpr uint8_t kFlagAmbiguousShort = 0x10;
constexpr uint8_t kFlagStruckOut = 0x20;
constexpr uint8_t kFlagFullPath = 0x80;

// At most 255 moves are listed.
constexpr int kMaxMoves = 255;

// Moves 1..count; slot 0 is unused so that indices match the move numbers.
using TMvs = std::array<TMove, kMaxMoves + 1>;

}  // namespace quorlin
