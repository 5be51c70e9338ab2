#include "app/boardgeometry.h"

#include <algorithm>
#include <cmath>

namespace quorlin {

TBoardGeometry::TBoardGeometry(const TGameParams& params, bool reversed, int pictureSize)
    : params_(params), reversed_(reversed), size_(pictureSize) {
  off_ = (size_ - kBoardWorkArea) / 2;
  width_ = std::max<int>(1, params.BoardWidth);
  height_ = std::max<int>(1, params.BoardHeight);
  squares_ = params.compute.BoardSize;
  cell_ = kBoardPlayArea / std::max(width_, height_);
  shiftX_ = (width_ * cell_ - kBoardPlayArea) / 2;
  shiftY_ = (height_ * cell_ - kBoardPlayArea) / 2;
  squareAtCell_.assign(width_ * height_, 0);
  for (int s = 1; s <= squares_; ++s) {
    const TScreenCell c = CellOf(s);
    if (c.column >= 0 && c.column < width_ && c.row >= 0 && c.row < height_) {
      squareAtCell_[c.row * width_ + c.column] = s;
    }
  }
}

TScreenCell TBoardGeometry::CellOf(int square) const {
  const int w = std::max<int>(1, params_.compute.BoardWidthReal);
  int c = (square - 1) % w;
  int r = height_ - (square - 1) / w - 1;
  if (reversed_) {
    r = height_ - r - 1;
    c = w - c - 1;
  }
  const bool mirrored = params_.intface.BoardMirrored;
  if (mirrored) c = w - c - 1;
  if (!params_.BoardCheckered) return {c, r};
  const int fromBottom = height_ - r;
  const bool shifted = (fromBottom % 2 == 0) != mirrored;
  return {shifted ? 2 * c + 1 : 2 * c, r};
}

TPixelRect TBoardGeometry::CellRect(int column, int row) const {
  return {column * cell_ + kBoardMargin + off_ - shiftX_, row * cell_ + kBoardMargin + off_ - shiftY_, cell_,
          cell_};
}

TPixelRect TBoardGeometry::SquareRect(int square) const {
  const TScreenCell c = CellOf(square);
  return CellRect(c.column, c.row);
}

TPixelRect TBoardGeometry::PieceRect(int square) const {
  const TPixelRect r = SquareRect(square);
  const int size = cell_ * kPiecePercent / 100;
  const int inset = (cell_ - size) / 2;
  return {r.x + inset, r.y + inset, size, size};
}

TPixelRect TBoardGeometry::BoardRect() const {
  const TPixelRect first = CellRect(0, 0);
  return {first.x, first.y, width_ * cell_, height_ * cell_};
}

int TBoardGeometry::SquareAtPicture(double x, double y) const {
  const double px = x - kBoardMargin - off_, py = y - kBoardMargin - off_;
  if (px < 0 || py < 0 || px >= kBoardPlayArea || py >= kBoardPlayArea) return 0;
  const TPixelRect board = BoardRect();
  const int column = std::clamp(static_cast<int>(std::floor((x - board.x) / cell_)), 0, width_ - 1);
  const int row = std::clamp(static_cast<int>(std::floor((y - board.y) / cell_)), 0, height_ - 1);
  return squareAtCell_[row * width_ + column];
}

int TBoardGeometry::SquareAtControl(double x, double y, double controlSize) const {
  if (controlSize <= 0) return 0;
  const double scale = size_ / controlSize;
  return SquareAtPicture(x * scale, y * scale);
}

bool TBoardGeometry::DarkBackground(bool alquerque) const { return alquerque || params_.intface.PlayOnWhite; }

bool TBoardGeometry::UsesDarkTexture(int square, bool turkOneColor, bool alquerque) const {
  if (params_.BoardCheckered) return !(params_.intface.PlayOnWhite && !alquerque);
  if (turkOneColor) return true;
  const TScreenCell c = CellOf(square);
  return (height_ + c.column - c.row) % 2 != 0;
}

std::vector<int> LastMoveSquares(const TMove& move) {
  std::vector<int> out{move.mv[0]};
  if (move.lt == 0) {
    out.push_back(move.mv[1]);
  } else {
    for (int i = 1; i <= move.lt; ++i) out.push_back(move.mv[2 * i]);
  }
  return out;
}

TPiecePicture PictureOfPiece(int pieceCode, const TGameParams& params) {
  const int code = params.intface.WhiteStart ? pieceCode : -pieceCode;
  switch (code) {
    case 1:
      return TPiecePicture::WhiteMan;
    case 2:
      return TPiecePicture::WhiteKing;
    case -1:
      return TPiecePicture::BlackMan;
    case -2:
      return TPiecePicture::BlackKing;
    default:
      return TPiecePicture::None;
  }
}

}  // namespace quorlin
