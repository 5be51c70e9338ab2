#pragma once
// The evaluation graph of analysis mode: the score the engine published for
// each position of the game's main line that it analysed, from the first
// side's point of view, and the mapping from a click on the graph to a move.
#include <map>
#include <optional>
#include <vector>

#include "games/gamerecord.h"

namespace quorlin {

// Scores beyond this many men are drawn at the edge of the graph.
constexpr float kGraphRange = 5.0f;

class TEvalHistory {
 public:
  // Score of the position at `node` from the point of view of `sideToMove`.
  void Record(int node, float score, TDColor sideToMove);
  // Score of the node for the first side (White), when one was recorded.
  std::optional<float> At(int node) const;
  void Clear() { scores_.clear(); }
  bool Empty() const { return scores_.empty(); }

 private:
  std::map<int, float> scores_;
};

struct TGraphPoint {
  int ply = 0;      // 0 = start position
  int node = 0;     // node of that position on the main line
  float value = 0;  // clamped to +-kGraphRange
};

// Points of the main line (the start position included) that have a score.
std::vector<TGraphPoint> GraphPoints(const TGame& game, const TEvalHistory& history);

// Node of the main-line position nearest to x on a graph `width` wide that
// spans plies 0..plies; 0 (the start) when the line is empty.
int GraphNodeAt(const TGame& game, double x, double width);

}  // namespace quorlin
