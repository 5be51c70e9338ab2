#pragma once
// Where each square of a variant's board lies on the board picture, and which
// square lies under a point of it.
//
// The picture is square (the size of the board textures, 920 pixels by
// default). A 920x920 working area is centred in it; the playing area is the
// 840x840 square 40 pixels inside the working area, and the 40-pixel margin
// holds the coordinates. The cell size is 840 divided by the longer board side
// (105 for 8 columns, 84 for 10, 70 for 12); a board that is not square is
// centred in the playing area.
#include <vector>

#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

constexpr int kBoardWorkArea = 920;
constexpr int kBoardMargin = 40;
constexpr int kBoardPlayArea = 840;
constexpr int kPiecePercent = 70;  // pieces take this share of a cell, centred
constexpr int kCoordBox = 40;      // coordinates are written in this box at a square's top-left

struct TPixelRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
  bool operator==(const TPixelRect&) const = default;
};

// Cell of a square on screen: board column from the left and row from the
// top, after reversing and mirroring.
struct TScreenCell {
  int column = 0;
  int row = 0;
  bool operator==(const TScreenCell&) const = default;
};

class TBoardGeometry {
 public:
  // `reversed`: the board is seen from the other side. Mirroring comes from
  // the variant (BoardMirrored).
  TBoardGeometry(const TGameParams& params, bool reversed, int pictureSize = kBoardWorkArea);

  int PictureSize() const { return size_; }
  int Cell() const { return cell_; }
  int Columns() const { return width_; }
  int Rows() const { return height_; }
  int SquareCount() const { return squares_; }

  TScreenCell CellOf(int square) const;
  TPixelRect SquareRect(int square) const;
  // The piece box: kPiecePercent of the cell, centred.
  TPixelRect PieceRect(int square) const;
  // Rectangle of a screen cell (any cell, playing square or not).
  TPixelRect CellRect(int column, int row) const;
  // The rectangle the board's cells cover.
  TPixelRect BoardRect() const;

  // Square under a point of the picture, 0 when none. Points in the playing
  // area beside a board that is not square belong to the nearest edge row or
  // column, so that a tap on the blank strip above a wide board reaches its
  // top row.
  int SquareAtPicture(double x, double y) const;
  // The same for a point of a control that shows the picture scaled to
  // `controlSize` pixels.
  int SquareAtControl(double x, double y, double controlSize) const;

  // Square drawn in the dark texture (else the light one).
  bool UsesDarkTexture(int square, bool turkOneColor, bool alquerque) const;
  // The picture's background is the dark texture.
  bool DarkBackground(bool alquerque) const;

 private:
  const TGameParams& params_;
  bool reversed_;
  int size_, off_, cell_, width_, height_, squares_;
  int shiftX_, shiftY_;
  std::vector<int> squareAtCell_;  // row * width + column -> square or 0
};

// Squares of the last-move mark: start and destination of a quiet move; start
// and every landing square of a capture (not the captured squares).
std::vector<int> LastMoveSquares(const TMove& move);

// Which picture a cell's piece is drawn with. The variant's first side is
// drawn with the dark pictures when the variant calls it Black.
enum class TPiecePicture { None, WhiteMan, WhiteKing, BlackMan, BlackKing };
TPiecePicture PictureOfPiece(int pieceCode, const TGameParams& params);

}  // namespace quorlin
