#pragma once
// The board control: shows the board picture scaled to its size and turns
// pointer presses into taps on squares. A drag from one square to another is
// a tap on each, so it goes through the same matching as taps.
#include <QImage>
#include <QPoint>
#include <QWidget>

#include "app/gui/boardrenderer.h"

namespace quorlin::gui {

class BoardView : public QWidget {
  Q_OBJECT
 public:
  explicit BoardView(QWidget* parent = nullptr);

  void SetPictures(const TPictureSet& pictures);
  const TPictureSet& Pictures() const { return pictures_; }
  // Redraws the board picture from `state`.
  void SetState(const TBoardDrawState& state);
  const TBoardDrawState& State() const { return state_; }
  // The board picture as last drawn (texture-sized, before scaling).
  const QImage& Picture() const { return picture_; }

  // Square under a point of the control, 0 when none.
  int SquareAt(const QPoint& pos) const;
  // Centre of a square in control coordinates.
  QPoint SquareCentre(int square) const;

 signals:
  void squareTapped(int square);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  double Side() const { return std::min(width(), height()); }
  TPictureSet pictures_;
  TBoardDrawState state_;
  QImage picture_;
  // Drag in progress: the square it started on and where the pointer is.
  int dragFrom_ = 0;
  bool dragging_ = false;
  QPoint pressPos_, dragPos_;
  QImage dragPicture_;  // the board without the dragged piece
};

}  // namespace quorlin::gui
