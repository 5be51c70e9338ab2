#pragma once
// Geometry of the database window: where its seven buttons and its list panel
// go, how many rows the panel shows, the scroll bar's range and the columns of
// a row. Text sizes come from the window (they depend on its fonts).
#include <array>

#include "app/boardgeometry.h"

namespace quorlin {

// The window's buttons in their order along the row (portrait) or column
// (landscape).
enum TDBButton {
  kDBOpenButton,  // opens the menu drawer
  kDBLoadButton,
  kDBSaveButton,
  kDBSearchButton,
  kDBDelButton,
  kDBEndButton,  // scrolls to the end of the list
  kDBAllButton,  // every game again after a search
  kDBButtonCount
};

constexpr int kDBListFontSize = 15;
constexpr int kDBMaxRows = 100;

struct TDBWindowLayout {
  bool portrait = false;
  int buttonSize = 0;
  TPixelRect panel;
  std::array<TPixelRect, kDBButtonCount> buttons;
};

// Button size min(width, height) / 8, equal gaps; portrait (narrower than
// high): the buttons in a row along the bottom; landscape: in a column along
// the right edge; the panel takes the rest.
TDBWindowLayout ComputeDBWindowLayout(int clientWidth, int clientHeight);

struct TDBRowsLayout {
  bool narrow = false;    // two text lines per row
  int headerHeight = 0;   // the line with the database name and count
  int rowHeight = 0;
  int rows = 0;           // rows shown
  bool scrollEnabled = false;
  int scrollMax = 0;      // highest scroll value: the first row shown is value + 1
  int pageStep = 0;
};

// textHeight: height of a line of list text; smallTextHeight: of the text one
// point smaller (the second line of a narrow row).
TDBRowsLayout ComputeRowsLayout(int panelWidth, int panelHeight, int textHeight, int smallTextHeight,
                                int count);

// One column: left edge and width.
struct TDBColumn {
  int x = 0, w = 0;
};

// Columns of a row. Wide rows: players, event, date, result, length, flags
// from left to right, the players and event sharing what the four measured
// columns leave. Narrow rows: the players with the length and result at the
// right on the first line; the event with the year and flags at the right on
// the second.
struct TDBColumns {
  TDBColumn players, event, date, result, length, flags;
};

// Widths measured on the sample texts "0000.00.00", "1-0", "000" and "PVC"
// (the caller adds nothing; 5 pixels of room are added here).
TDBColumns ComputeColumns(int width, bool narrow, int dateWidth, int resultWidth, int lengthWidth,
                          int flagsWidth);

}  // namespace quorlin
