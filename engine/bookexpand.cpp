#include "engine/bookexpand.h"

#include <atomic>
#include <cmath>
#include <queue>
#include <set>
#include <stdexcept>

#include "engine/engine.h"
#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

// Book values are hundredths of a man, from the side to move's view.
int16_t BookValue(float men) {
  return static_cast<int16_t>(std::lround(std::clamp(men, -300.0f, 300.0f) * 100.0f));
}

struct TNode {
  float cost = 0;  // men given away against the best moves along the line
  int ply = 0;
  TBoard board;
  int side = 0;
  bool operator<(const TNode& o) const { return cost > o.cost; }  // cheapest first
};

}  // namespace

void ExpandBookBySearch(const TBookExpandOptions& o, std::map<TBookKey, TBookRecord>& records) {
  const TGameParams& p = VariantTable[o.variant];
  TAnalysisInfo info;
  std::atomic<bool> stop{false};
  TEngine engine(&info, &stop, 16);
  if (!engine.LoadFromFile(o.engine, o.variant))
    throw std::runtime_error("engine description \"" + o.engine + "\" not found");
  engine.ThreadsCount = 1;
  engine.AnalysisMode = false;

  auto record = [&](const TBoard& b, int side) -> TBookRecord& {
    const TBookKey key = PackBoard(b, side, p);
    TBookRecord& r = records[key];
    r.key = key;
    return r;
  };

  std::priority_queue<TNode> open;
  std::set<TBookKey> expanded;
  TNode root;
  root.board.b = StartPosition(p, false);
  open.push(root);
  int done = 0;
  while (!open.empty() && done < o.positions) {
    const TNode node = open.top();
    open.pop();
    const TBookKey key = PackBoard(node.board, node.side, p);
    if (!expanded.insert(key).second) continue;

    TGame game;
    ClearGame(game);
    game.Params = p;
    game.Header.TypeOfGame = static_cast<uint8_t>(o.variant);
    game.Header.FirstMove = node.side == 0 ? TDColor::white : TDColor::black;
    game.StartBoard = node.board.b;
    game.CurBoard = node.board;
    game.SideToMove = game.Header.FirstMove;
    TMove best;
    if (!engine.LetOpponentMove40(game, 100000, best, false, o.nodes)) continue;
    ++done;
    if (o.progress) o.progress(done, o.positions);

    // The root moves' values from the mover's view, as the search left them.
    TMvs moves;
    int count = 0;
    std::vector<float> value;
    {
      std::lock_guard<std::mutex> g(info.Used);
      count = info.TotalMoves;
      moves = info.moves1;
      for (int i = 1; i <= count; ++i) value.push_back(info.Moves[i].Eval.min);
    }
    if (count == 0) continue;
    float top = -1e9f;
    for (float v : value) top = std::max(top, v);
    if (std::fabs(top) > 1000) continue;  // decided positions need no book
    record(node.board, node.side).value = BookValue(top);
    for (int i = 1; i <= count; ++i) {
      const float v = value[static_cast<size_t>(i - 1)];
      if (v < top - o.margin) continue;
      TNode child;
      child.board = node.board;
      ApplyMove(moves[i], child.board, p);
      child.side = 1 - node.side;
      child.ply = node.ply + 1;
      child.cost = node.cost + (top - v) + 0.02f;  // a little for depth, so that equal lines go broad first
      TBookRecord& r = record(child.board, child.side);
      if (!expanded.count(r.key)) r.value = BookValue(-v);
      if (v >= top - o.goodMargin) r.annotation = 2;  // "!"
      if (child.ply < o.maxPly) open.push(child);
    }
  }
}

}  // namespace quorlin
