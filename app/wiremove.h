#pragma once
// Moves as the 10x10 draughts protocols carry them: a start square, a
// destination and the set of captured squares, all in the standard numbering
// of the board (International 1..50; Frisian and International Killer share
// it). Landing squares in between are not carried, so a received move is
// found by comparing it with the legal moves of the position.
#include <string>
#include <vector>

#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

struct TWireMove {
  int from = 0;
  int to = 0;
  std::vector<int> captured;  // in the order the sender gave them

  bool operator==(const TWireMove&) const = default;
};

// Standard number of an internal square (1..BoardSize), and back (0 when the
// number names no square of the board).
int WireSquare(const TGameParams& params, int square);
int InternalSquare(const TGameParams& params, int number);

// The move in standard numbers; captured squares in capture order.
TWireMove ToWireMove(const TMove& move, const TGameParams& params);

// "32-28" for a quiet move; "28x19x23" (from, to, then every captured square)
// for a capture.
std::string WireMoveText(const TWireMove& move);

// Reads "32-28", "28x19", "28x19x23x..." (a capture may also be written with
// '-' between its squares). False with `error` saying what was expected.
bool ParseWireMoveText(const std::string& text, TWireMove& move, std::string& error);

enum class TWireMatchKind {
  Found,      // exactly one legal move fits
  NotLegal,   // no legal move fits
  Ambiguous,  // several legal moves fit the incomplete captured set given
};

struct TWireMatch {
  TWireMatchKind kind = TWireMatchKind::NotLegal;
  TMove move;                     // the move found
  std::vector<TMove> candidates;  // the fitting moves when ambiguous
};

// Finds the legal move of `side` in `board` that the wire move names. A legal
// move fits when start and destination agree and its captured squares are the
// given ones as a set; paths that take the same pieces between the same
// squares are one move. When no move fits exactly, a capture given with only
// part of its captured squares (or none) is accepted when exactly one legal
// move contains them; several such moves make the move ambiguous. A captured
// square given twice or off the board fits nothing.
TWireMatch MatchWireMove(const TWireMove& wire, const TBoard& board, TDColor side, const TGameParams& params);

// One line describing the result for a message: "illegal move 32-27" or
// "ambiguous move 28x19: it fits 28x19x23 and 28x19x24".
std::string WireMatchProblem(const TWireMatch& match, const TWireMove& wire, const TGameParams& params);

}  // namespace quorlin
