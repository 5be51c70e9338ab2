#include "app/evalgraph.h"

#include <algorithm>
#include <cmath>

#include "app/gamenavigation.h"

namespace quorlin {

void TEvalHistory::Record(int node, float score, TDColor sideToMove) {
  scores_[node] = sideToMove == TDColor::white ? score : -score;
}

std::optional<float> TEvalHistory::At(int node) const {
  const auto it = scores_.find(node);
  if (it == scores_.end()) return std::nullopt;
  return it->second;
}

std::vector<TGraphPoint> GraphPoints(const TGame& game, const TEvalHistory& history) {
  std::vector<int> nodes{0};
  const std::vector<int> line = MainLineNodes(game);
  nodes.insert(nodes.end(), line.begin(), line.end());
  std::vector<TGraphPoint> out;
  for (size_t ply = 0; ply < nodes.size(); ++ply) {
    if (const auto v = history.At(nodes[ply])) {
      out.push_back({static_cast<int>(ply), nodes[ply], std::clamp(*v, -kGraphRange, kGraphRange)});
    }
  }
  return out;
}

int GraphNodeAt(const TGame& game, double x, double width) {
  const std::vector<int> line = MainLineNodes(game);
  if (line.empty() || width <= 0) return 0;
  const int plies = static_cast<int>(line.size());
  const int ply = std::clamp(static_cast<int>(std::lround(x / width * plies)), 0, plies);
  return ply == 0 ? 0 : line[ply - 1];
}

}  // namespace quorlin
