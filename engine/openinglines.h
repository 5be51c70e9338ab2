#pragma once
// Openings of engine games (matches, self-play): random plies from the start
// position, or the main lines of a game database such as the ballots; and
// the verdict of the endgame databases on a game's position.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/endgamedb.h"
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

// Result of a position for side 0 as the endgame databases know it (a
// header code), or kResultNone when they do not know it or a capture is
// pending (a win/draw/loss file does not cover those).
uint8_t AdjudicateByDatabases(const TEndgameDb& db, const TBoard& board, TDColor side, int variant);

}  // namespace quorlin
