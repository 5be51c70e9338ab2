#pragma once
// Where the board, the seven main buttons, the game panel and the engine-output
// grid go in the main window for a given client size. Portrait when the window
// is narrower than high: board on top, buttons in a row at the bottom;
// landscape: board at the top-left, buttons in a column at the right edge.
#include <array>

#include "app/boardgeometry.h"

namespace quorlin {

// The main buttons, in the order they stand in portrait.
enum TMainButton {
  kButtonMainMenu,
  kButtonPopupMenu,
  kButtonDatabase,
  kButtonDisplay,
  kButtonComment,
  kButtonPrevious,
  kButtonNext,
  kMainButtonCount
};

constexpr int kGridHeight = 150;          // engine-output grid when the panel area is high
constexpr int kGridPanelMinHeight = 400;  // above this the grid sits below the move list

struct TMainLayout {
  bool portrait = false;
  int shorterSide = 0;
  TPixelRect board;
  int buttonSize = 0;
  std::array<TPixelRect, kMainButtonCount> buttons;
  // Slot i of the button row or column (the rated-game and problem buttons
  // take slots 0.. instead of the main buttons).
  std::array<TPixelRect, kMainButtonCount> buttonSlots;
  TPixelRect panelArea;  // move list plus grid
  TPixelRect gamePanel;  // the move list
  TPixelRect grid;       // engine output
  bool gridVisible = false;
  int panelFontSize = 14;
};

// brdSizePercent: the board's share of the shorter side (the BrdSize setting);
// showGrid: the engine-output grid is shown (a display mode other than none).
TMainLayout ComputeMainLayout(int clientWidth, int clientHeight, int brdSizePercent, bool showGrid);

}  // namespace quorlin
