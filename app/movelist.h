#pragma once
// The game tree as flowing text: the main line in bold, each branch of it in an
// indented block in square brackets, short side lines inside a block inline in
// parentheses, comments as grey words, and the result at the end. The layout
// is computed here from text widths the caller measures, so that the window
// only paints the items and maps taps back to nodes.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "games/gamerecord.h"

namespace quorlin {

// How an item looks.
enum TItemAttrib : uint8_t {
  kAttribMainLine = 0,   // bold
  kAttribVariation = 1,  // regular, in a bracket block
  kAttribInline = 2,     // italic green, in parentheses
  kAttribComment = 3,    // grey, not selectable
};

// Node value of comment words (taps on them do nothing).
constexpr int kCommentNode = -1;
// Indent of each deeper bracket block, in pixels.
constexpr int kVariationIndent = 15;

struct TMoveListItem {
  std::string Text;
  int posstart = 0;  // left x in pixels
  int posend = 0;    // right x
  int line = 0;      // from 0
  int moverel = 0;   // node; 0 for the root marker, brackets and the result; -1 for comment words
  uint8_t attrib = kAttribMainLine;
  uint8_t flags = 0;  // the node's TMove.flags (0x20: struck out)
};

struct TMoveList {
  std::vector<TMoveListItem> Items;
  int Lines = 0;     // number of lines used
  int ShowInit = 0;  // node to underline (Header.ShowFrom)
};

// Width in pixels of a text drawn with the look of `attrib`.
using TTextWidth = std::function<int(const std::string& text, int attrib)>;

// Marks appended to a move text: MoveMarkSymbol and PositionMarkSymbol (games/gamerecord.h).

// Move number prefix for the move at half-move `ply` (1 = first move): "3." for
// a move of the first-moving side, "3..." for the other side when a number is
// needed, else "".
std::string MoveNumberPrefix(const TGame& game, int ply, bool needNumber);

// Lays the game out in lines of `usableWidth` pixels. A problem game
// (Header.Medals bit 0) shows no move beyond CurMovPos.
TMoveList BuildMoveList(const TGame& game, int usableWidth, const TTextWidth& width);

// Node of the first item on `line` whose text spans x; -1 when none (or a
// comment word).
int ItemAt(const TMoveList& list, int line, double x);

}  // namespace quorlin
