#pragma once
// The end-of-game rules: a side without a legal move loses (wins for a
// giveaway engine), a position that recurs three times (four in Italian) is a
// draw, and long runs of king moves without capture are draws by the
// move-count rules of each variant.
//
// The rules are plain functions over a game line (the start position and the
// moves played from it) so that play mode, the match command and tests share
// them; the TGame forms collect the line from the move tree. Nothing here
// shows a message: CheckResult says which numbered text the caller queues.
#include <cstdint>
#include <span>
#include <vector>

#include "games/gamerecord.h"
#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// Numbered interface texts CheckResult asks the caller to queue.
constexpr int kMsgBlackWin = 55;  // "Black win!"
constexpr int kMsgWhiteWin = 56;  // "White win!"
constexpr int kMsgDraw = 148;     // "Draw" (queued silently)

// Occurrences of a position (itself included) that make a repetition draw.
int RepetitionLimit(const TGameParams& params);

// --- Rules over a game line -----------------------------------------------------
// `line` holds the moves played from `start`, first move first; the side to
// move alternates with every move. Null entries are not allowed.

// How often the position at the end of the line (the 128 cells and the side to
// move) occurs in the line, the final position itself included.
int PositionOccurrences(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params);

// The final position occurs RepetitionLimit times.
bool RepetitionDraw(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params);

// Moves at the end of the line that count for the move-count rules: moves back
// to the last capture or man move (in Turkish: the last capture or move that
// leaves its row of eight squares), not counting that move.
int QuietMoveCount(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params);

// The move-count rules for the variant of `params`, given the count of quiet
// moves and the final position.
bool MoveCountRule(const TGameParams& params, int quietMoves, const TBoard& final);

// QuietMoveCount and MoveCountRule on the final position of the line.
bool MoveCountDraw(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params);

// --- Rules over a game ---------------------------------------------------------

// Moves from the root to `node`, root first. False (line cleared) when the node
// is not in the tree or its parent links do not reach the root.
bool CollectGameLine(const TGame& game, int node, std::vector<const TMove*>& line);

// The rules above on the line from the root of `game` to `node`, replayed from
// its StartBoard with its Params. False for a node outside the tree.
bool RepetitionDraw(const TGame& game, int node);
bool MoveCountDraw(const TGame& game, int node);

// Which rule CheckResult applied.
enum class TResultRule : uint8_t {
  None,        // the game goes on
  Recorded,    // the game already had a result; it stands
  NoMove,      // the side to move has no legal move
  Repetition,  // repetition draw
  MoveCount,   // move-count draw
};

struct TResultCheck {
  uint8_t result = kResultNone;  // code 0..5 found (0: the game goes on)
  TResultRule rule = TResultRule::None;
  bool noLegalMove = false;  // the side to move has no legal move
  bool headerSet = false;    // Header.Result was set by this call: rebuild the move list, rate the game
  int message = 0;           // numbered text to queue (kMsg*), 0 = none
  bool messageSilent = false;
};

// Checks the position at CurMovPos of `game` (CurBoard, SideToMove):
// 1. no legal move: the side to move loses, or wins when `giveaway`;
// 2. a result already recorded in the header stands;
// 3. a repetition or move-count draw gives 2, recorded when the header has no
//    result yet, with the silent text kMsgDraw;
// 4. only in play mode, and when nothing is recorded yet, a side without a
//    legal move gets its result recorded, with "White win!" or "Black win!"
//    (named after the side as the variant shows it).
// In analysis mode a side without moves is reported but nothing is recorded.
TResultCheck CheckResult(TGame& game, bool giveaway, bool playMode);

}  // namespace quorlin
