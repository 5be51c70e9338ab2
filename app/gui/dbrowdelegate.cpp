#include "app/gui/dbrowdelegate.h"

#include <QPainter>
#include <QPainterPath>

#include "app/dblistlayout.h"
#include "app/gui/dblistmodel.h"

namespace quorlin::gui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFont Smaller(QFont f) {
  f.setPointSizeF(std::max(1.0, f.pointSizeF() - 1));
  return f;
}

// Draws `text` in `font` from x within width w, elided at the right.
int DrawText(QPainter* p, const QFont& font, int x, int y, int w, int h, const QString& text,
             Qt::Alignment align = Qt::AlignLeft) {
  p->setFont(font);
  const QFontMetrics fm(font);
  const QString shown = fm.elidedText(text, Qt::ElideRight, std::max(0, w));
  p->drawText(QRect(x, y, w, h), align | Qt::AlignVCenter, shown);
  return fm.horizontalAdvance(shown);
}

}  // namespace

int DBRowDelegate::RowHeight(const QFont& font, bool narrow) {
  const int text = QFontMetrics(font).height();
  return narrow ? text + QFontMetrics(Smaller(font)).height() + 12 : text + 10;
}

QSize DBRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.rect.width(), RowHeight(option.font, model_.Narrow())};
}

void DBRowDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const TDBRowText& row = model_.RowAt(index.row());
  const bool narrow = model_.Narrow();
  const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  const QRect r = option.rect.adjusted(2, 1, -2, -1);
  p->save();
  p->setRenderHint(QPainter::Antialiasing);
  if (option.state & QStyle::State_Selected) {
    QPainterPath path;
    path.addRoundedRect(r, 6, 6);
    p->fillPath(path, QColor(0xA9, 0xA9, 0xA9));
  }
  const QColor colour = row.deleted ? QColor(0x80, 0x80, 0x80) : ticked ? QColor(0xFF, 0, 0) : QColor(Qt::black);
  p->setPen(colour);
  QFont base = option.font;
  base.setStrikeOut(row.deleted);
  QFont bold = base, italic = base, small = Smaller(base);
  bold.setBold(true);
  italic.setItalic(true);

  const QFontMetrics fm(base);
  const int pad = 6;
  const int width = r.width() - 2 * pad;
  const TDBColumns c = ComputeColumns(width, narrow, fm.horizontalAdvance("0000.00.00"), fm.horizontalAdvance("1-0"),
                                      fm.horizontalAdvance("000"), fm.horizontalAdvance("PVC"));
  const int x0 = r.x() + pad;
  const int lineH = narrow ? fm.height() + 4 : r.height();
  const int y1 = r.y() + (narrow ? 3 : 0);
  // Players: bold names, titles and ratings one point smaller.
  int x = x0 + c.players.x;
  const int end = x0 + c.players.x + c.players.w - 4;
  const QString parts[4] = {Q(row.white), Q(row.whiteTitle), Q(row.black), Q(row.blackTitle)};
  for (int i = 0; i < 4 && x < end; ++i) x += DrawText(p, i % 2 ? small : bold, x, y1, end - x, lineH, parts[i]);
  if (narrow) {
    const int y2 = y1 + lineH;
    const int h2 = QFontMetrics(small).height() + 4;
    DrawText(p, base, x0 + c.length.x, y1, c.length.w, lineH, Q(row.length), Qt::AlignRight);
    DrawText(p, base, x0 + c.result.x, y1, c.result.w, lineH, Q(row.result), Qt::AlignRight);
    QFont smallItalic = small;
    smallItalic.setItalic(true);
    DrawText(p, smallItalic, x0 + c.event.x, y2, c.event.w - 4, h2, Q(row.event));
    DrawText(p, small, x0 + c.date.x, y2, c.date.w, h2, Q(row.date), Qt::AlignRight);
    DrawText(p, small, x0 + c.flags.x, y2, c.flags.w, h2, Q(row.flags), Qt::AlignRight);
  } else {
    DrawText(p, italic, x0 + c.event.x, y1, c.event.w - 4, lineH, Q(row.event));
    DrawText(p, base, x0 + c.date.x, y1, c.date.w, lineH, Q(row.date));
    DrawText(p, base, x0 + c.result.x, y1, c.result.w, lineH, Q(row.result));
    DrawText(p, base, x0 + c.length.x, y1, c.length.w, lineH, Q(row.length), Qt::AlignRight);
    DrawText(p, base, x0 + c.flags.x + 4, y1, c.flags.w, lineH, Q(row.flags));
  }
  p->restore();
}

}  // namespace quorlin::gui
