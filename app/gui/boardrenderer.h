#pragma once
// Draws a position into the board picture: textures per square, the line
// style, coordinates, the last-move mark, the squares a tapped piece can
// reach, and the pieces (unless blind).
#include <QImage>
#include <vector>

#include "app/gui/picturesets.h"
#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin::gui {

struct TBoardDrawState {
  TBoard board;
  TGameParams params;
  bool reversed = false;
  std::vector<int> markSquares;  // last-move mark; empty: none
  std::vector<int> reachable;    // squares the tapped piece can reach
  int selected = 0;              // the tapped square, 0 = none
  bool blind = false;
  bool coordinates = false;
  bool turkOneColor = false;
  bool alquerque = false;
};

// The picture is as large as the light texture.
QImage DrawBoard(const TBoardDrawState& state, const TPictureSet& pictures);

}  // namespace quorlin::gui
