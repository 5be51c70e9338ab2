#include "app/gui/boardview.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/boardgeometry.h"

namespace quorlin::gui {

BoardView::BoardView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(false);
  setMinimumSize(120, 120);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void BoardView::SetPictures(const TPictureSet& pictures) {
  pictures_ = pictures;
  SetState(state_);
}

void BoardView::SetState(const TBoardDrawState& state) {
  state_ = state;
  if (pictures_.light.isNull()) return;
  picture_ = DrawBoard(state_, pictures_);
  update();
}

int BoardView::SquareAt(const QPoint& pos) const {
  if (picture_.isNull()) return 0;
  const TBoardGeometry g(state_.params, state_.reversed, picture_.width());
  return g.SquareAtControl(pos.x(), pos.y(), Side());
}

QPoint BoardView::SquareCentre(int square) const {
  const int size = picture_.isNull() ? kBoardWorkArea : picture_.width();
  const TBoardGeometry g(state_.params, state_.reversed, size);
  const TPixelRect r = g.SquareRect(square);
  const double scale = Side() / size;
  return QPoint(static_cast<int>((r.x + r.w / 2.0) * scale), static_cast<int>((r.y + r.h / 2.0) * scale));
}

void BoardView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  if (picture_.isNull()) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRectF target(0, 0, Side(), Side());
  p.drawImage(target, dragging_ ? dragPicture_ : picture_);
  if (dragging_) {
    const int size = picture_.width();
    const TBoardGeometry g(state_.params, state_.reversed, size);
    const TPiecePicture piece = PictureOfPiece(state_.board.b[dragFrom_], state_.params);
    const double side = g.Cell() * kPiecePercent / 100.0 * Side() / size;
    p.drawImage(QRectF(dragPos_.x() - side / 2, dragPos_.y() - side / 2, side, side), pictures_.Piece(piece));
  }
}

void BoardView::mousePressEvent(QMouseEvent* e) {
  const int s = SquareAt(e->position().toPoint());
  pressPos_ = e->position().toPoint();
  dragFrom_ = 0;
  dragging_ = false;
  if (s == 0) return;
  if (state_.board.b[s] != 0 && !state_.blind) dragFrom_ = s;
  emit squareTapped(s);
}

void BoardView::mouseMoveEvent(QMouseEvent* e) {
  if (dragFrom_ == 0 || !(e->buttons() & Qt::LeftButton)) return;
  // The tap may have played a move already (a piece with one move): then
  // there is nothing left to drag.
  if (state_.board.b[dragFrom_] == 0) {
    dragFrom_ = 0;
    return;
  }
  dragPos_ = e->position().toPoint();
  if (!dragging_ && (dragPos_ - pressPos_).manhattanLength() >= 6) {
    dragging_ = true;
    TBoardDrawState without = state_;
    without.board.b[dragFrom_] = 0;
    dragPicture_ = DrawBoard(without, pictures_);
  }
  if (dragging_) update();
}

void BoardView::mouseReleaseEvent(QMouseEvent* e) {
  const bool wasDragging = dragging_;
  const int from = dragFrom_;
  dragging_ = false;
  dragFrom_ = 0;
  if (!wasDragging) return;
  update();
  const int to = SquareAt(e->position().toPoint());
  if (to != 0 && to != from) emit squareTapped(to);
}

}  // namespace quorlin::gui
