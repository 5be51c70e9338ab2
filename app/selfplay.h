#pragma once
// Self-play: one engine description plays itself from varied openings, one
// game per worker thread, and every finished game is appended to a game
// database (so the games can be browsed, exported as PDN and fed to the
// tuner). Each worker owns its engine objects: nothing is shared between
// workers but the game counter (an atomic) and the database (behind a lock).
// The games are played by the match loop (matchgame.h).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/matchgame.h"
#include "engine/openinglines.h"

namespace quorlin {

struct TSelfPlayOptions {
  int variant = 0;
  std::string engine;    // engine description
  int games = 100;
  std::string out;       // game database, appended to (created when missing)
  int msPerMove = 100;   // time per move
  int nodes = 0;         // position budget per move instead of time (0 = use the time)
  int randomPlies = -1;  // random plies after the opening (-1: 2 after ballots, 6 without)
  int threads = 2;       // games played at the same time
  uint64_t seed = 1;
  int maxPlies = 300;
  int hashMb = 16;       // table of each engine
  std::string openings;  // ballots or other openings database; empty = random plies only
  std::string edFolder;  // endgame databases: probed by the engine and deciding games
};

struct TSelfPlayGame {
  int number = 0;  // 1-based, in the order the games were dealt out
  TMatchGameOutcome outcome;
  std::string opening;
};

struct TSelfPlayResult {
  int played = 0;
  int whiteWins = 0, blackWins = 0, draws = 0;
  int noMove = 0, repetition = 0, moveCount = 0, adjudicated = 0, capped = 0;  // how games ended
  double seconds = 0;
};

// The openings of a run: the database's main lines (games of any variant whose
// moves are legal here, as ballots of 8x8 boards serve several variants) with
// `randomPlies` random moves added, or random openings when there is no
// database. Deterministic for a seed.
std::vector<TOpeningLine> SelfPlayOpenings(const TSelfPlayOptions& options, int count,
                                           std::vector<std::string>* warnings = nullptr);

// Plays the games and appends them to options.out; `onGame` is called (under
// the run's lock, in finishing order) after each game is written. Throws
// std::runtime_error for an engine that cannot be loaded, a database that
// cannot be written, or a game an engine spoilt.
TSelfPlayResult RunSelfPlay(const TSelfPlayOptions& options,
                            const std::function<void(const TSelfPlayGame&)>& onGame = {});

}  // namespace quorlin
