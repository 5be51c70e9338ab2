#pragma once
// One game between two players (our engines or outside programs), played to
// its end by the result rules of play mode, by a player ending it, by an
// error, or at a ply cap. Every move is checked against the legal moves
// before it counts; whatever a player does wrong ends the game with a clear
// reason instead of stopping the program.
#include <functional>
#include <string>

#include "app/gameplayer.h"
#include "games/gamerecord.h"

namespace quorlin {

enum class TGameEndKind {
  NoMove,      // the side to move had no legal move
  Repetition,  // repetition draw
  MoveCount,   // move-count draw
  PlyCap,      // stopped at the ply cap
  Claim,       // a player ended the game and its result stands (a player that gives up)
  Unknown,     // the result is unknown: an error, a lost connection, a result the rules do not confirm
  Time,        // a player did not answer in time and loses
  Adjudicated, // decided by the endgame databases
};

// Short text of an end kind ("no legal move", ..., "lost on time").
const char* GameEndText(TGameEndKind kind);

struct TMatchGameOptions {
  int maxPlies = 400;           // plies after the opening before the game is stopped; 0 = none
  bool capIsDraw = true;        // a game stopped at the cap counts as a draw (else its result is unknown)
  bool giveaway = false;        // a side without moves wins
  TTimeControl timeControl[2];  // White's and Black's
  bool lastGame = false;        // told to the players, so that a session can end with the game
  std::function<void(const std::string&)> log;  // what happens, as it happens
  // Decides the game before a move when it returns a result (the endgame
  // databases know the position); empty = no adjudication.
  std::function<uint8_t(const TGame&)> adjudicate;
};

struct TMatchGameOutcome {
  uint8_t result = kResultNone;  // header code; kResultNone when unknown or capped
  TGameEndKind end = TGameEndKind::NoMove;
  int plies = 0;                // moves played by the players (not the opening)
  int64_t thinkMs[2] = {0, 0};  // time White's and Black's moves took, as measured here
  int moves[2] = {0, 0};        // moves White and Black made
  double seconds = 0;
  std::string reason;        // why it ended, one line
  bool started = false;      // both players took up the game
  bool fault = false;        // a player broke the protocol, failed or did not answer
  bool sessionOver = false;  // a player ended the session or can play no further game
};

// Plays a game from the position `game` stands at (start position and
// opening moves already in it, CurMovPos at the end of the line). The moves
// and the final comment end up in `game`, the result in its header.
TMatchGameOutcome PlayMatchGame(TGame& game, TGamePlayer& white, TGamePlayer& black,
                                const TMatchGameOptions& options);

// Today's local date, for game headers.
TDateRecord TodayDate();

// Cuts the game line back to its first `keepPlies` moves: the later moves
// leave the tree, the current position is the one after them. False when the
// line is shorter.
bool TakeBackTo(TGame& game, int keepPlies);

}  // namespace quorlin
