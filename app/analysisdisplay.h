#pragma once
// What the engine-output grid and the status line show, built from what the
// engine published: one row per root move (its score, depth and line) or one
// row per opening-book move (coloured by the book's verdict).
#include <cstdint>
#include <string>
#include <vector>

#include "engine/book.h"
#include "engine/engine.h"

namespace quorlin {

// Row colours (ARGB).
constexpr uint32_t kColourBookNone = 0xFFA9A9A9;  // not in the book: grey
constexpr uint32_t kColourBookWeak = 0xFFFF0000;
constexpr uint32_t kColourBookPlayable = 0xFF000000;
constexpr uint32_t kColourBookGood = 0xFF008000;
constexpr uint32_t kColourText = 0xFF000000;

struct TDisplayRow {
  std::string first;   // score, or the book move
  std::string second;  // depth and line, or the book statistics
  uint32_t argb = kColourText;

  bool operator==(const TDisplayRow&) const = default;
};

uint32_t BookMoveColour(int col);

// The status line: the engine's information line when it has one, otherwise
// name, depth, speed, time and endgame-database state; empty before the
// engine has said anything. The caller holds info.Used.
std::string EngineStatusLine(const TAnalysisInfo& info);

// Analysis rows: row 0 holds only the status line, then one row per root move,
// best first. A move being deepened is marked "* ", a move left out because it
// repeats a position of the game "x ". The caller holds info.Used.
std::vector<TDisplayRow> AnalysisRows(const TAnalysisInfo& info, const std::string& status);

// Book rows: each book move with its statistics, in the book's order.
std::vector<TDisplayRow> BookRows(const TOpenMoves& moves);

// Score of the best root move from the point of view of the side to move,
// with whether the engine has finished a pass on it; false when nothing is
// published yet. The caller holds info.Used.
bool BestScore(const TAnalysisInfo& info, float& score);

}  // namespace quorlin
