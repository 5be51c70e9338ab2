#pragma once
// The rules of an engine turn in play mode that do not need the engine
// itself: how many moves the remaining time is spread over, the move number
// of the shown position, and how many of the book's moves are good enough to
// be played.
#include "engine/book.h"
#include "engine/enginefile.h"
#include "games/gamerecord.h"
#include "rules/board.h"

namespace quorlin {

// Moves the engine plans its remaining time for when the description leaves
// it open (MovesCntTot and MovesCntMin give 0), by variant.
int DefaultTimeDivisor(int variant);

// Moves the remaining time is spread over at full move `moveNo`: the stage's
// MovesCntTot - moveNo, at least its MovesCntMin, taken as one byte; 0 gives
// the variant's default.
int TimeDivisor(const TEvalFunc& ef, int stage, int moveNo, int variant);

// Full-move number of the shown position of `game` (half-moves from the
// numbering start, the first move counted as 1, halved).
int MoveNumberOf(const TGame& game);

// Men and kings of both sides.
int PieceCount(const TBoard& board);

// How many leading book moves are candidates at the given book level:
// level 0 the first move when it is good or playable; level 1 the leading
// good moves, or the first when it is playable; level 2 the leading moves
// that are not weak. 0 when none.
int BookCandidateCount(const TOpenMoves& moves, int level);

}  // namespace quorlin
