#pragma once
// Legal moves on the 64-bit board, listed as the positions they lead to.
//
// The side to move is always w and moves towards higher bits; to generate for
// the other side, flip the position first (FlipBitBoard) and flip the results
// back. Each variant with a 64-bit form has its own routine, built from one
// template per family of capture rules, so no rule flag is looked at while
// generating. The rules are those of GenerateMoves (movegen.h); the set of
// positions listed equals the set GenerateMoves + ApplyMove lead to.
//
// Frisian (orthogonal captures and the three-move king rule), Canadian (no
// 64-bit form) and custom variants have no routine: they are refused and must
// use the square-list generator.
//
// All state lives in the call and the caller's list; any number of threads may
// generate at once.
#include <array>
#include <cstdint>

#include "rules/board.h"

namespace quorlin {

// Most positions listed; further ones are dropped.
constexpr int kMaxPositions64 = 255;
using TPositionList64 = std::array<TBitBoard64, kMaxPositions64>;

// One variant's routine: writes the positions after every legal move of w to
// list[0..n-1] (list must hold kMaxPositions64 entries) and returns n.
using TGenerateMoves64Fn = int (*)(const TBitBoard64& position, TBitBoard64* list);

// True for the variants with a routine: 1..8, 10, 12, 13, 14.
bool HasBitboardGenerator(int variant);

// The routine of a variant, for callers that generate in a loop; nullptr when
// the variant has none.
TGenerateMoves64Fn BitboardGenerator(int variant);

// Fills list[0..count-1] with the position after each legal move of the side
// in w, in VariantTable[variant]'s rules. Returns false (count 0) for a variant
// without a routine.
bool GenerateMoves64(const TBitBoard64& position, TPositionList64& list, uint8_t& count, int variant);

// The side-to-move's men / kings that have at least one capture; 0 for a
// variant without a routine.
uint64_t CapturingMen64(const TBitBoard64& position, int variant);
uint64_t CapturingKings64(const TBitBoard64& position, int variant);

// CapturingMen64 when not empty, else CapturingKings64: non-empty means the
// side to move must capture.
uint64_t CapturingPieces64(const TBitBoard64& position, int variant);

// The same for the side not to move (b), as a mask in the position's own
// orientation.
uint64_t OpponentCapturingPieces64(const TBitBoard64& position, int variant);

}  // namespace quorlin
