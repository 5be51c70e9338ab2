#pragma once
// Grows an opening book by search, as engine authors build books: from the
// start position the most promising lines are expanded best first. Each
// expanded position is searched; its value is stored, and every move whose
// value lies within a margin of the best leads to a position queued for
// expansion, ranked by how much the line gives away against best play. Moves
// close to the best are marked good ("!") so that play varies among them.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "engine/book.h"

namespace quorlin {

struct TBookExpandOptions {
  int variant = 0;
  std::string engine;      // engine description that searches
  int positions = 200;     // positions to expand
  int nodes = 20000;       // position budget of each search
  float margin = 0.3f;     // moves within this (in men) of the best are followed
  float goodMargin = 0.1f; // and within this marked good
  int maxPly = 16;         // no expansion deeper than this
  std::function<void(int done, int total)> progress;
};

// Adds the values found to `records` (keyed by position): a record that
// already has game counts keeps them and gains the value. Throws
// std::runtime_error when the engine cannot be loaded.
void ExpandBookBySearch(const TBookExpandOptions& options, std::map<TBookKey, TBookRecord>& records);

}  // namespace quorlin
