#pragma once
// Games between engines of this program: the openings they start from
// (random plies, or the main lines of a game database such as the ballots)
// and one game played to its end by the result rules of play mode,
// adjudicated by the endgame databases when the position is in them, or
// stopped at a ply cap. The match and self-play commands share this loop.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "games/gamerecord.h"
#include "rules/board.h"
#include "rules/move.h"

namespace quorlin {

// A start position and the moves played from it before the engines take over.
struct TOpeningLine {
  TBoard start;
  TDColor first = TDColor::white;
  std::vector<TMove> moves;
  std::string label;
};

// `count` openings of `plies` random legal moves from the start position;
// an opening that ends the game early is drawn again. The seed fixes them.
std::vector<TOpeningLine> RandomOpeningLines(int variant, int count, int plies, uint64_t seed);

// The main lines of the database's games of the variant, checked move by
// move. Games that do not replay are skipped and named in `warnings`; games
// of other variants are counted in `otherVariant` and skipped, unless
// `anyVariant`: then their moves are replayed by this variant's rules (ballots
// of the 8x8 board serve several variants). Throws std::runtime_error when the
// database cannot be opened.
std::vector<TOpeningLine> DatabaseOpeningLines(const std::string& path, int variant,
                                               std::vector<std::string>* warnings = nullptr,
                                               int* otherVariant = nullptr, bool anyVariant = false);

// Shuffles the openings with the seed (a short run need not always start
// with the same ones).
void ShuffleOpenings(std::vector<TOpeningLine>& openings, uint64_t seed);

// Adds `plies` random legal moves to each opening; the seed fixes them.
void ExtendOpenings(std::vector<TOpeningLine>& openings, int variant, int plies, uint64_t seed);

enum class TEngineGameEnd { NoMove, Repetition, MoveCount, Adjudicated, PlyCap };

const char* EngineGameEndText(TEngineGameEnd e);

struct TEngineGameOptions {
  int variant = 0;
  int64_t budgetCs = 10;  // time per move in centiseconds
  int nodes = 0;          // position budget per move (0 = none beyond the engine's MaxPos)
  int maxPlies = 400;     // engine plies before the game is stopped and scored as a draw
  bool giveaway = false;  // a side without moves wins
  int round = 0;
  std::string whiteName, blackName, tournament, site;
  // Endgame databases that decide the game once the side to move has no
  // capture and the position is in them (null: none).
  std::shared_ptr<const TEndgameDb> adjudicator;
};

struct TEngineGameOutcome {
  uint8_t result = kResultNone;  // header code; kResultNone at the ply cap
  TEngineGameEnd end = TEngineGameEnd::NoMove;
  int plies = 0;  // engine moves played
  double seconds = 0;
};

// Today's local date for game headers.
TDateRecord TodayRecord();

// Plays one game from `opening` between `white` (side 0) and `black` and
// leaves it in `game` (header, moves and a closing comment). The same engine
// may play both sides. Throws std::runtime_error when an engine gives no
// move or an illegal one.
TEngineGameOutcome PlayEngineGame(TGame& game, const TOpeningLine& opening, TEngine& white, TEngine& black,
                                  const TEngineGameOptions& options);

// Points of side 0 for a result code: 1, 0.5 or 0 (a capped game is a draw).
double WhitePoints(uint8_t result);

}  // namespace quorlin
