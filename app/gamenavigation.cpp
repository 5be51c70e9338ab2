#include "app/gamenavigation.h"

#include <vector>

namespace quorlin {

namespace {
bool InTree(const TGame& game, int node) {
  return node >= 0 && node < static_cast<int>(game.Moves.size()) && !game.Moves[node].free;
}
}  // namespace

int NodeDepth(const TGame& game, int node) {
  if (!InTree(game, node)) return -1;
  int depth = 0;
  for (int n = node; n != 0; n = game.Moves[n].parent) {
    if (!InTree(game, n) || ++depth > static_cast<int>(game.Moves.size())) return -1;
  }
  return depth;
}

bool ShowNode(TGame& game, int node) {
  const int depth = NodeDepth(game, node);
  if (depth < 0) return false;
  TBoard board;
  if (!ReplayGameLine(game, node, board)) return false;
  game.CurMovPos = node;
  game.CurBoard = board;
  const bool flip = depth % 2 == 1;
  const bool firstBlack = game.Header.FirstMove == TDColor::black;
  game.SideToMove = (flip != firstBlack) ? TDColor::black : TDColor::white;
  return true;
}

int ParentNode(const TGame& game, int node) { return InTree(game, node) ? game.Moves[node].parent : 0; }

int FirstChild(const TGame& game, int node) {
  TChildList kids;
  return GetChildren(game, node, kids) > 0 ? kids[0] : 0;
}

void SetMoveMark(TGame& game, int node, int kind, int value) {
  if (!InTree(game, node) || node == 0) return;
  uint16_t& comm = game.Moves[node].comm;
  const int v = value & 0x0F;
  if (kind == kMarkKindMove) {
    comm = static_cast<uint16_t>((comm & 0xFFF0) | v);
  } else if (kind == kMarkKindPosition) {
    comm = static_cast<uint16_t>((comm & 0xFF0F) | (v << 4));
  } else {
    return;
  }
  game.Modified = true;
}

void SetMoveComment(TGame& game, int node, const std::string& text) {
  if (!InTree(game, node)) return;
  if (game.Comments[node].CommentAft == text) return;
  game.Comments[node].CommentAft = text;
  game.Modified = true;
}

bool PromoteLine(TGame& game, int node) {
  if (!InTree(game, node)) return false;
  TChildList kids;
  int n = node;
  while (n != 0) {
    const int parent = game.Moves[n].parent;
    const int count = GetChildren(game, parent, kids);
    if (count > 1) {
      for (int i = 0; i < count; ++i) game.Moves[kids[i]].main = false;
      game.Moves[n].main = true;
      if (kids[0] != n) {
        // Relink: n first, then the others in their order.
        std::vector<int> order{n};
        for (int i = 0; i < count; ++i) {
          if (kids[i] != n) order.push_back(kids[i]);
        }
        game.Moves[parent].next = order[0];
        for (size_t i = 0; i + 1 < order.size(); ++i) game.Moves[order[i]].brother = order[i + 1];
        game.Moves[order.back()].brother = 0;
      }
      game.Modified = true;
      return true;
    }
    n = parent;
  }
  return false;
}

int DeleteLine(TGame& game, int node) {
  if (node <= 0 || !InTree(game, node)) return -1;
  const int parent = game.Moves[node].parent;
  DeleteSubtree(game, node);
  ShowNode(game, parent);
  return parent;
}

std::vector<int> MainLineNodes(const TGame& game) {
  std::vector<int> out;
  for (int n = FirstChild(game, 0); n != 0 && out.size() < game.Moves.size(); n = FirstChild(game, n)) {
    out.push_back(n);
  }
  return out;
}

}  // namespace quorlin
