#include "app/gui/gamepanel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace quorlin::gui {

namespace {
const QColor kInlineGreen(0xFF008000);
const QColor kCommentGrey(0xFFA9A9A9);
}  // namespace

GamePanel::GamePanel(QWidget* parent) : QWidget(parent), scroll_(new QScrollBar(Qt::Vertical, this)) {
  font_ = QFont("DejaVu Sans");
  font_.setPixelSize(14);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  scroll_->hide();
  connect(scroll_, &QScrollBar::valueChanged, this, [this] { update(); });
}

void GamePanel::SetFontSize(int points) {
  if (font_.pixelSize() == points) return;
  font_.setPixelSize(points);
  Rebuild(lastGame_);
}

QFont GamePanel::FontFor(int attrib) const {
  QFont f = font_;
  f.setBold(attrib == kAttribMainLine);
  f.setItalic(attrib == kAttribInline);
  return f;
}

int GamePanel::LineHeight() const { return QFontMetrics(font_).boundingRect("O").height() + 2; }

int GamePanel::HeaderHeight() const {
  QFont bigger = font_;
  bigger.setPixelSize(font_.pixelSize() + 1);
  return QFontMetrics(font_).height() + QFontMetrics(bigger).height();
}

int GamePanel::StatusHeight() const {
  QFont small = font_;
  small.setItalic(true);
  small.setPixelSize(std::max(6, font_.pixelSize() - 2));
  const int h = QFontMetrics(small).height() + 2;
  return height() > 400 ? 2 * h : h;
}

int GamePanel::VisibleLines() const {
  return std::max(0, (height() - HeaderHeight() - StatusHeight()) / std::max(1, LineHeight()));
}

int GamePanel::UsableWidth() const { return std::max(40, width() - scroll_->sizeHint().width() - 4); }

int GamePanel::FirstLine() const { return scroll_->isVisible() ? scroll_->value() : 0; }

void GamePanel::Rebuild(const TGame& game) {
  lastGame_ = game;
  current_ = game.CurMovPos;
  std::array<QFontMetrics, 4> metrics{QFontMetrics(FontFor(0)), QFontMetrics(FontFor(1)),
                                      QFontMetrics(FontFor(2)), QFontMetrics(FontFor(3))};
  list_ = BuildMoveList(game, UsableWidth(), [&](const std::string& t, int attrib) {
    return metrics[std::clamp(attrib, 0, 3)].horizontalAdvance(QString::fromStdString(t));
  });
  UpdateScrollBar();
  update();
}

void GamePanel::UpdateScrollBar() {
  const int visible = VisibleLines();
  scroll_->setGeometry(width() - scroll_->sizeHint().width(), HeaderHeight(), scroll_->sizeHint().width(),
                       std::max(0, height() - HeaderHeight() - StatusHeight()));
  if (list_.Lines < visible || visible == 0) {
    scroll_->hide();
    return;
  }
  scroll_->setRange(0, list_.Lines - visible + 1);
  scroll_->setPageStep(visible);
  scroll_->setSingleStep(1);
  scroll_->show();
}

void GamePanel::SetCurrentNode(int node) {
  current_ = node;
  update();
}

void GamePanel::SetHeader(const TPanelHeader& header) {
  header_ = header;
  update();
}

void GamePanel::SetStatus(const QString& status) {
  if (status_ == status) return;
  status_ = status;
  update();
}

QPoint GamePanel::ItemCentre(int node) const {
  const int first = FirstLine();
  for (const TMoveListItem& it : list_.Items) {
    if (it.moverel != node) continue;
    if (it.line < first || it.line >= first + VisibleLines()) return {-1, -1};
    return {(it.posstart + it.posend) / 2,
            HeaderHeight() + (it.line - first) * LineHeight() + LineHeight() / 2};
  }
  return {-1, -1};
}

int GamePanel::NodeAt(const QPoint& pos) const {
  if (pos.y() < HeaderHeight()) return -1;
  const int line = (pos.y() - HeaderHeight()) / std::max(1, LineHeight()) + FirstLine();
  return ItemAt(list_, line, pos.x());
}

void GamePanel::resizeEvent(QResizeEvent*) { Rebuild(lastGame_); }

void GamePanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  const int w = width();
  const int headerH = HeaderHeight();

  // Header.
  if (header_.clocks) {
    QFont big = font_;
    big.setPixelSize(font_.pixelSize() + 4);
    big.setBold(true);
    p.setFont(big);
    p.setPen(Qt::black);
    p.drawText(QRect(6, 0, w / 2 - 6, headerH), Qt::AlignLeft | Qt::AlignVCenter, header_.left);
    p.drawText(QRect(w / 2, 0, w / 2 - 6, headerH), Qt::AlignRight | Qt::AlignVCenter, header_.right);
  } else {
    const int top = QFontMetrics(font_).height();
    if (!header_.gameNumber.isEmpty()) {
      QFont small = font_;
      small.setPixelSize(std::max(6, font_.pixelSize() - 3));
      p.setFont(small);
      p.setPen(Qt::darkGray);
      p.drawText(QRect(4, 0, w, top), Qt::AlignLeft | Qt::AlignVCenter, header_.gameNumber);
    }
    p.setFont(font_);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, w, top), Qt::AlignHCenter | Qt::AlignVCenter, header_.title);
    QFont sub = font_;
    sub.setItalic(true);
    sub.setPixelSize(std::max(6, font_.pixelSize() - 2));
    p.setFont(sub);
    p.drawText(QRect(0, top, w, headerH - top), Qt::AlignHCenter | Qt::AlignVCenter, header_.subtitle);
  }
  p.setPen(QColor(220, 220, 220));
  p.drawLine(0, headerH - 1, w, headerH - 1);

  // Move list.
  const int first = FirstLine();
  const int visible = VisibleLines();
  const int lineH = LineHeight();
  p.save();
  p.setClipRect(QRect(0, headerH, UsableWidth() + 4, visible * lineH));
  for (const TMoveListItem& it : list_.Items) {
    if (it.line < first || it.line >= first + visible) continue;
    const QFont f = FontFor(it.attrib);
    QFont drawn = f;
    drawn.setUnderline(list_.ShowInit != 0 && it.moverel == list_.ShowInit);
    drawn.setStrikeOut((it.flags & 0x20) != 0);
    p.setFont(drawn);
    const QRect box(it.posstart, headerH + (it.line - first) * lineH, it.posend - it.posstart, lineH);
    if (it.moverel != 0 && it.moverel == current_) p.fillRect(box.adjusted(-2, 0, 2, 0), kCommentGrey);
    p.setPen(it.attrib == kAttribInline    ? kInlineGreen
             : it.attrib == kAttribComment ? kCommentGrey
                                           : Qt::black);
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(it.Text));
  }
  p.restore();

  // Status line.
  QFont status = font_;
  status.setItalic(true);
  status.setPixelSize(std::max(6, font_.pixelSize() - 2));
  p.setFont(status);
  p.setPen(Qt::black);
  const QRect box(4, height() - StatusHeight(), w - 8, StatusHeight());
  p.fillRect(QRect(0, box.top(), w, box.height()), QColor(245, 245, 240));
  if (height() > 400) {
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, status_.trimmed());
  } else {
    const QString line = QFontMetrics(status).elidedText(status_.trimmed(), Qt::ElideRight, box.width());
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, line);
  }
}

void GamePanel::mousePressEvent(QMouseEvent* e) {
  havePress_ = true;
  scrolled_ = false;
  pressY_ = e->position().toPoint().y();
  pressScroll_ = scroll_->value();
}

void GamePanel::mouseMoveEvent(QMouseEvent* e) {
  if (!havePress_ || !scroll_->isVisible()) return;
  const int lines = (pressY_ - e->position().toPoint().y()) / std::max(1, QFontMetrics(font_).height());
  if (lines != 0) {
    scrolled_ = true;
    scroll_->setValue(pressScroll_ + lines);
  }
}

void GamePanel::mouseReleaseEvent(QMouseEvent* e) {
  const bool tap = havePress_ && !scrolled_;
  havePress_ = false;
  if (!tap) return;
  const int node = NodeAt(e->position().toPoint());
  if (node != -1) emit nodeClicked(node);
}

void GamePanel::wheelEvent(QWheelEvent* e) {
  if (!scroll_->isVisible()) return;
  scroll_->setValue(scroll_->value() - e->angleDelta().y() / 120 * 3);
}

}  // namespace quorlin::gui
