#pragma once
// The players of a game between programs, as the game loop (matchgame.h)
// sees them: our engine, an outside engine behind the Hub protocol, or an
// outside program behind a DXP connection. Each one is asked for its moves,
// is told the other side's moves, and may speak out of turn (a program that
// ends the game or asks to take moves back).
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "games/gamerecord.h"
#include "rules/board.h"
#include "rules/move.h"

namespace quorlin {

// Receives clear messages as they happen (what a program said, what went wrong).
using TLogFn = std::function<void(const std::string&)>;

// Prints a line on standard output at once; lines from several threads never mix.
void PrintLine(const std::string& text);

// Nodes of the game line from its first move to the current position
// (CurMovPos), in playing order.
std::vector<int> GameLineNodes(const TGame& game);
// Moves on that line.
int LinePlies(const TGame& game);

// Milliseconds as seconds for messages: "0.3" below ten seconds, "45" above.
std::string SecondsText(int64_t ms);

// Time control of a game: either a fixed time per move, or a period of time
// for a number of moves (0 = the rest of the game), starting again after each
// period.
struct TTimeControl {
  int64_t perMoveMs = 0;  // > 0: this much per move, nothing else counts
  int64_t periodMs = 0;   // time for `movesPerPeriod` moves
  int movesPerPeriod = 0;
};

// Shortest time our engine is given for a move, whatever the clock says.
constexpr int64_t kMinMoveMs = 100;

// Both sides' clocks of one game; each side may have its own control (our
// engine at a fixed time per move against a program on a game clock).
class TGameClock {
 public:
  explicit TGameClock(const TTimeControl& both = {}) : TGameClock(both, both) {}
  TGameClock(const TTimeControl& white, const TTimeControl& black);
  const TTimeControl& Control(TDColor side) const { return control_[Index(side)]; }
  // Time left in the current period (may be negative after an overrun).
  int64_t RemainingMs(TDColor side) const { return remaining_[Index(side)]; }
  int MovesMade(TDColor side) const { return moves_[Index(side)]; }
  // Charges a move of `usedMs` to `side`; a new period adds its time.
  void Charge(TDColor side, int64_t usedMs);
  // What our engine spends on its next move: the fixed time, or an even share
  // of the time left over the moves left in the period (40 when the period
  // has no move count), then never below kMinMoveMs.
  int64_t BudgetMs(TDColor side) const;
  // How long to wait for a program's move before it counts as lost on time:
  // its time left (or its fixed time per move) plus `graceMs`.
  int64_t WaitLimitMs(TDColor side, int64_t graceMs) const;

 private:
  static int Index(TDColor side) { return side == TDColor::white ? 0 : 1; }
  TTimeControl control_[2];
  int64_t remaining_[2];
  int moves_[2] = {0, 0};
};

// What a player answers.
struct TPlayerReply {
  enum class Kind {
    Ok,           // nothing to report (StartGame, OpponentMoved)
    Move,         // its move
    EndClaim,     // it ends the game (a program's game end)
    TakeBack,     // it asks to go back to an earlier position (already answered)
    Interrupted,  // its thinking was cut short because the other side spoke
    Failed,       // it broke the protocol or went away: the game's result is unknown
    TimeOut,      // it did not answer in time: it loses on time
    Nothing,      // no news after all (a chat, an answered refusal)
  };
  Kind kind = Kind::Ok;
  TMove move;
  // EndClaim: the result the player states, as a header code (kResultNone
  // when it does not know); `resigns` when it states that it loses.
  uint8_t claimedResult = 0;
  bool resigns = false;
  bool endsSession = false;  // EndClaim: no further game follows
  int keepPlies = 0;         // TakeBack: plies of the game line to keep
  int64_t usedMs = 0;        // Move: time it took, as measured by the loop or stated
  std::string message;       // what happened, for the log and the game comment

  static TPlayerReply Ok() { return {}; }
  static TPlayerReply Of(Kind k, std::string msg = {}) {
    TPlayerReply r;
    r.kind = k;
    r.message = std::move(msg);
    return r;
  }
};

// How a game ended, as the loop tells the players.
struct TGameEnd {
  uint8_t result = kResultNone;  // header code
  std::string reason;            // "no legal move", "repetition", ..., or the error
  bool byPlayerClaim = false;    // a player's EndClaim ended it
  bool lastGame = false;         // no game follows in this session
};

// Called while a player thinks; true when the other side has something to say.
using TInterruptCheck = std::function<bool()>;

class TGamePlayer {
 public:
  virtual ~TGamePlayer() = default;
  virtual std::string Name() const = 0;
  // A game begins: `game` holds the start position and any opening moves,
  // `side` is this player's colour. Ok or Failed.
  virtual TPlayerReply StartGame(const TGame& game, TDColor side, const TGameClock& clock) = 0;
  // The player's move in the current position of `game`. Move, EndClaim,
  // TakeBack, Interrupted, Failed or TimeOut.
  virtual TPlayerReply Think(const TGame& game, const TGameClock& clock,
                             const TInterruptCheck& interrupted) = 0;
  // The other side played `move` (not yet in `game`). Ok, or the player's
  // out-of-turn news (EndClaim, TakeBack, Failed), in which case the move does
  // not count.
  virtual TPlayerReply OpponentMoved(const TGame& game, const TMove& move, int64_t usedMs) = 0;
  // True when the player has something to say out of turn.
  virtual bool HasNews() { return false; }
  // The news: EndClaim, TakeBack, Failed, or Nothing. `game` is the game as it stands.
  virtual TPlayerReply TakeNews(const TGame& game) {
    (void)game;
    return TPlayerReply::Of(TPlayerReply::Kind::Nothing);
  }
  // The game is over.
  virtual void GameOver(const TGame& game, const TGameEnd& end) = 0;
};

}  // namespace quorlin
