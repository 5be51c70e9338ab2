#include "app/gui/evalgraphview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace quorlin::gui {

EvalGraphView::EvalGraphView(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(40);
  setToolTip(tr("Engine evaluation along the game; click to go to a move"));
}

void EvalGraphView::SetData(std::vector<TGraphPoint> points, int plies, int currentPly) {
  points_ = std::move(points);
  plies_ = plies;
  current_ = currentPly;
  update();
}

void EvalGraphView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
  p.fillRect(r, QColor(250, 248, 240));
  p.setPen(QColor(200, 200, 200));
  p.drawRect(r);
  const double mid = r.center().y();
  p.drawLine(QPointF(r.left(), mid), QPointF(r.right(), mid));
  const int span = std::max(1, plies_);
  const QRectF inner = r.adjusted(6, 0, -6, 0);
  auto xOf = [&](int ply) { return inner.left() + inner.width() * ply / span; };
  auto yOf = [&](float v) { return mid - (r.height() / 2 - 2) * v / kGraphRange; };
  if (current_ >= 0) {
    p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    p.drawLine(QPointF(xOf(current_), r.top()), QPointF(xOf(current_), r.bottom()));
  }
  if (points_.empty()) {
    p.setPen(QColor(150, 150, 150));
    p.drawText(r, Qt::AlignCenter, tr("Evaluation graph: analyse moves of the game"));
    return;
  }
  QPainterPath path;
  for (size_t i = 0; i < points_.size(); ++i) {
    const QPointF pt(xOf(points_[i].ply), yOf(points_[i].value));
    if (i == 0) {
      path.moveTo(pt);
    } else {
      path.lineTo(pt);
    }
  }
  p.setPen(QPen(QColor(30, 90, 160), 2));
  p.drawPath(path);
  p.setBrush(QColor(30, 90, 160));
  for (const TGraphPoint& pt : points_) p.drawEllipse(QPointF(xOf(pt.ply), yOf(pt.value)), 2.5, 2.5);
}

void EvalGraphView::mousePressEvent(QMouseEvent* e) {
  if (width() <= 0) return;
  emit clicked(std::clamp(e->position().x() / width(), 0.0, 1.0));
}

}  // namespace quorlin::gui
