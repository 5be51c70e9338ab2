#pragma once
// Builds an opening book from games: every position up to a ply of each game's
// main line, with the game results counted from the side to move's view, kept
// once per key (transpositions meet in one record).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/book.h"
#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// One game as the builder needs it. `result`: 1 or 4 the first mover (side 0)
// won, 3 or 5 the other side won, 2 draw; 0 (unknown) games are skipped.
struct TBookGame {
  TBoard start;
  int firstSide = 0;
  std::vector<TMove> moves;  // main line from the start
  int result = 0;
};

class TBookBuilder {
 public:
  TBookBuilder(const TGameParams& params, int maxPly) : params_(params), maxPly_(maxPly) {}
  // Adds the positions of a game; returns false (nothing added) for a game
  // without a result. Moves that are not legal end the game's line there.
  bool AddGame(const TBookGame& game);
  // Records of the positions seen in at least `minGames` games, sorted by key.
  std::vector<TBookRecord> Records(int minGames) const;
  int64_t GamesUsed() const { return games_; }
  int64_t GamesSkipped() const { return skipped_; }

 private:
  struct TCounts {
    int64_t stmWins = 0, draws = 0, otherWins = 0;
  };
  TGameParams params_;
  int maxPly_;
  std::map<TBookKey, TCounts> positions_;
  int64_t games_ = 0, skipped_ = 0;
};

// Writes the records to `path` and an empty comment file beside it; false with
// `error` set when a file cannot be written.
bool WriteBook(const std::string& path, const std::vector<TBookRecord>& records, std::string& error);

}  // namespace quorlin
