#pragma once
// Legal moves on the square-list board for any rule record, and playing them.
//
// This generator is the reference statement of the rules: it serves every
// variant, Canadian and custom boards up to 128 squares included, and works on
// a copy of the board with explicit neighbour arithmetic. All state lives in the
// call, so any number of threads may generate at once.
#include <cstdint>

#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// Fills list[1..count] with every legal move of `side` (0 = White, 1 = Black).
// With `dedupe` a capture that SameCapture finds already listed is dropped; the
// game database passes false so that every capture path stays available.
// Moves carry flags 0. At most 255 moves are listed.
//
// A capture sequence is not continued past 25 captures (the most a TMove
// holds): the 25th capture ends the move. Such sequences need a board of more
// than 50 squares crowded in a way no real game reaches; ending them keeps the
// move listed and playable instead of silently losing the side's only moves,
// and never writes past the record.
void GenerateMoves(const TBoard& board, int side, TMvs& list, uint8_t& count, const TGameParams& params,
                   bool dedupe);

// GenerateMoves, then the notation hints on every listed move: bit 1 only move
// from its start square, bit 2 only move to its destination, bit 4 the only
// legal move (set on the single move of every one-move list), bit 16 (only for
// alphanumeric notation) another listed move reaches the same destination from
// a start square on the same file.
void GenerateMoveList(const TBoard& board, int side, TMvs& list, uint8_t& count, const TGameParams& params,
                      bool dedupe);

// True when every square the move uses is on the board and it holds at most
// 25 captures.
bool IsMoveValid(const TMove& move, const TGameParams& params);

// Plays the move on the board, crowning and updating the three-move king
// counters. Does nothing when IsMoveValid fails or the start square is empty.
void ApplyMove(const TMove& move, TBoard& board, const TGameParams& params);

// Quiet moves: same start and destination. Captures: same length (non-zero),
// start and destination, and the same captured squares in any order. A quiet
// move never equals a capture.
bool SameCapture(const TMove& a, const TMove& b);

}  // namespace quorlin
