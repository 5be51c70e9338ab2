#pragma once
// Walking and editing the shown game: jumping to a node, stepping, marks,
// comments, promoting a variation and deleting a line. These work on the game
// record only; stopping the engines and redrawing are the caller's part.
#include <string>

#include "games/gamerecord.h"

namespace quorlin {

// Annotation kinds of SetMoveMark.
constexpr int kMarkKindMove = 1;      // bits 0..3 of comm: "!!", "!", ...
constexpr int kMarkKindPosition = 2;  // bits 4..7: "+-", "=", ...

// Makes `node` the shown position: CurMovPos, CurBoard replayed from the start
// position, SideToMove from the first mover toggled per move. False, and
// nothing changed, for a node that is not in the tree.
bool ShowNode(TGame& game, int node);

// Number of moves from the root to `node` (0 for the root); -1 outside the tree.
int NodeDepth(const TGame& game, int node);

// Parent of the shown node (the root stays the root).
int ParentNode(const TGame& game, int node);

// First child of the node, 0 when it has none.
int FirstChild(const TGame& game, int node);

// Replaces one annotation of the node and marks the game modified.
void SetMoveMark(TGame& game, int node, int kind, int value);

// Stores the comment after the node's move.
void SetMoveComment(TGame& game, int node, const std::string& text);

// Makes the variation holding `node` the main continuation at the nearest
// branching above it: the branch becomes the first child and the only one
// marked main. False when the node lies on no variation.
bool PromoteLine(TGame& game, int node);

// Deletes the node and everything after it and shows its parent. Returns the
// parent, or -1 when nothing was deleted (the root).
int DeleteLine(TGame& game, int node);

// Nodes of the main line from the root: first children, root excluded.
std::vector<int> MainLineNodes(const TGame& game);

}  // namespace quorlin
