#pragma once
// Small helpers around the two board forms: bit scans, conversion between the
// square list and the 64-bit board, 180-degree rotation, colour swap, random
// positions, removal of moves that lead to the same position, left-right
// mirroring and replaying a line of moves. All of them are re-entrant.
#include <cstdint>
#include <span>
#include <string>

#include "common/bits.h"
#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// --- Bit scans -------------------------------------------------------------
// The builtins compile to single instructions; the table forms are kept for
// callers that want the 16-bit lookups and to check the builtins against.
// Population count: PopCount (common/bits.h).

// Index of the highest set bit, 0 for an empty mask.
inline int HighBit64(uint64_t x) { return x ? 63 - __builtin_clzll(x) : 0; }
// Index of the lowest set bit, 0 for an empty mask.
inline int LowBit64(uint64_t x) { return x ? __builtin_ctzll(x) : 0; }

// The same by four 16-bit table lookups (HighBit16, BitCount16).
int HighBit64Table(uint64_t x);
int PopCount64Table(uint64_t x);

// The 64 bits in reverse order.
inline uint64_t Reverse64(uint64_t x) {
  x = __builtin_bswap64(x);
  x = ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
  x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
  x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
  return x;
}
// The same by four Reverse16 lookups.
uint64_t Reverse64Table(uint64_t x);

// --- 64-bit board ------------------------------------------------------------

// True for the built-in variants whose board has a 64-bit form (all but
// Canadian; custom variants never have one).
bool HasBitboardForm(int variant);

// 180-degree rotation of one mask in a layout with the given reversal shift.
inline uint64_t RotateBits64(uint64_t x, int revShift) { return Reverse64(x) >> revShift; }

// The position as seen by the other side: rotated by 180 degrees with w and b
// exchanged; the side to move is then w again.
inline TBitBoard64 FlippedBitBoard(const TBitBoard64& bb, int revShift) {
  return TBitBoard64{RotateBits64(bb.b, revShift), RotateBits64(bb.w, revShift),
                     RotateBits64(bb.k, revShift)};
}

// Rotates one mask of VariantTable[variant] by 180 degrees.
void FlipBits64(uint64_t& x, int variant);
// FlippedBitBoard for VariantTable[variant].
void FlipBitBoard(TBitBoard64& bb, int variant);

// Square list to 64-bit board for VariantTable[variant]; the bitboard stays
// empty for a variant without a 64-bit form.
void BoardToBit64(const TBoard& board, TBitBoard64& bb, int variant);
// 64-bit board to cells 1..128 (all cleared first); all cells stay 0 for a
// variant without a 64-bit form.
void Bit64toBoard(const TBitBoard64& bb, TBrd& cells, int variant);

// --- Move lists ----------------------------------------------------------------

// Drops every move whose resulting cells equal those of an earlier move: the
// earlier one stays, the last listed move takes the dropped one's slot.
void removedoublemoves0(uint8_t& count, TMvs& list, const TBoard& board, const TGameParams& params);

// --- Random positions ------------------------------------------------------------

// Small fast generator (xoshiro256**); one per thread or per caller, never
// shared between threads.
class TRandom {
 public:
  explicit TRandom(uint64_t seed = 0x9E3779B97F4A7C15ULL) { Seed(seed); }
  void Seed(uint64_t seed);
  uint64_t Next();
  // Uniform in 0..n-1 (0 when n is 0).
  uint32_t Below(uint32_t n);

 private:
  uint64_t s_[4];
};

// The calling thread's generator, seeded from the system at first use.
TRandom& ThreadRandom();

// Most attempts GeneratePosition makes before it gives up.
constexpr int kGeneratePositionAttempts = 20000;

// Random position with the given pieces: men never stand on their own
// promotion row (nor, on a non-checkered board, on their own back row); with
// `ownHalf` each side's men stay in its own half. Both sides must have a move;
// with whiteNoCapture / blackNoCapture that side must not have to capture.
// Returns false with `error` set (cells cleared) when the request cannot be
// met: more men than their squares, more pieces than the board, a side
// without pieces, or no fitting position within kGeneratePositionAttempts.
bool GeneratePosition(uint8_t whiteMen, uint8_t blackMen, uint8_t whiteKings, uint8_t blackKings, TBrd& cells,
                      bool ownHalf, bool whiteNoCapture, bool blackNoCapture, const TGameParams& params,
                      TRandom& rng, std::string* error = nullptr);
// The same with the calling thread's generator.
bool GeneratePosition(uint8_t whiteMen, uint8_t blackMen, uint8_t whiteKings, uint8_t blackKings, TBrd& cells,
                      bool ownHalf, bool whiteNoCapture, bool blackNoCapture, const TGameParams& params,
                      std::string* error = nullptr);

// --- Symmetries --------------------------------------------------------------------

// Rotates the cells by 180 degrees and swaps the colours (the middle square of
// a board with an odd number of squares keeps its place and changes colour).
void SwapColours(TBrd& cells, const TGameParams& params);

// Left-right mirror of a full-grid (non-checkered) board. On a checkered board
// a mirror would move pieces onto unplayable squares: `mirrored` gets a copy of
// the cells and the result is false.
bool MirrorBoard(const TBrd& cells, const TGameParams& params, TBrd& mirrored);

// Of the board and its mirror, the one whose cells compare smaller (signed,
// first difference over 1..BoardSize) goes to `result`, with the input's
// Frisian counters. True when the input was chosen (also when equal, and
// always on checkered boards).
bool CanonicalMirror(const TBoard& board, const TGameParams& params, TBoard& result);

// --- Game lines ----------------------------------------------------------------

// Longest line a game tree walk collects.
constexpr int kMaxLineNodes = 4095;

// Position after playing `line` (root first) from `start` with ApplyMove.
// Game records collect their line by following parent links and call this.
TBoard PositionOfLine(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params);
TBoard PositionOfLine(const TBoard& start, std::span<const TMove> line, const TGameParams& params);

}  // namespace quorlin
