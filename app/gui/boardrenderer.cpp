#include "app/gui/boardrenderer.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <algorithm>

#include "app/boardgeometry.h"
#include "rules/notation.h"

namespace quorlin::gui {

namespace {

QRect ToQRect(const TPixelRect& r) { return QRect(r.x, r.y, r.w, r.h); }

bool Contains(const std::vector<int>& v, int s) { return std::find(v.begin(), v.end(), s) != v.end(); }

// Lines of the line style: from the centre towards each corner that has a
// diagonal neighbour on the board.
void DrawAlquerqueLines(QPainter& p, const TBoardGeometry& g, int square, const QColor& colour) {
  const TScreenCell c = g.CellOf(square);
  const QRect r = ToQRect(g.SquareRect(square));
  p.setPen(QPen(colour, 5, Qt::SolidLine, Qt::RoundCap));
  for (int dx : {-1, 1}) {
    for (int dy : {-1, 1}) {
      const int nc = c.column + dx, nr = c.row + dy;
      if (nc < 0 || nr < 0 || nc >= g.Columns() || nr >= g.Rows()) continue;
      const QPointF corner(dx < 0 ? r.left() : r.left() + r.width(), dy < 0 ? r.top() : r.top() + r.height());
      p.drawLine(QPointF(r.center()) + QPointF(0.5, 0.5), corner);
    }
  }
}

}  // namespace

QImage DrawBoard(const TBoardDrawState& state, const TPictureSet& pictures) {
  const int size = pictures.light.width();
  const QImage light = pictures.light;
  const QImage dark =
      pictures.dark.size() == light.size()
          ? pictures.dark
          : pictures.dark.scaled(light.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const TBoardGeometry g(state.params, state.reversed, size);
  QImage out = (g.DarkBackground(state.alquerque) ? dark : light).convertToFormat(QImage::Format_ARGB32);

  const int off = (size - kBoardWorkArea) / 2;
  const QColor lightColour = light.pixelColor(off + kBoardMargin, off + kBoardMargin);
  const QColor darkColour = dark.pixelColor(off + kBoardMargin, off + kBoardMargin);

  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  QFont coordFont("DejaVu Sans");
  coordFont.setBold(true);
  coordFont.setPixelSize(22);
  p.setFont(coordFont);

  for (int s = 1; s <= g.SquareCount(); ++s) {
    const QRect r = ToQRect(g.SquareRect(s));
    const bool darkSquare = g.UsesDarkTexture(s, state.turkOneColor, state.alquerque);
    p.drawImage(r, darkSquare ? dark : light, r);
    const QColor contrast = darkSquare ? lightColour : darkColour;
    if (!state.params.BoardCheckered && state.turkOneColor) {
      p.setPen(QPen(contrast, 2));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(r).adjusted(1, 1, -1, -1));
    }
    if (state.params.BoardCheckered && state.alquerque) DrawAlquerqueLines(p, g, s, contrast);
    if (state.coordinates) {
      std::string name;
      SquareToText(s, state.params, kStyleFull, name, false);
      p.setPen(contrast);
      p.drawText(QRect(r.left() + 2, r.top(), kCoordBox, kCoordBox), Qt::AlignLeft | Qt::AlignTop,
                 QString::fromStdString(name));
    }
    if (Contains(state.markSquares, s)) p.drawImage(r, pictures.sel);
    if (s == state.selected) {
      p.setPen(QPen(QColor(255, 220, 60, 230), std::max(3, g.Cell() / 18)));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(r).adjusted(3, 3, -3, -3));
    }
    const TPiecePicture piece = PictureOfPiece(state.board.b[s], state.params);
    if (!state.blind && piece != TPiecePicture::None) {
      p.drawImage(ToQRect(g.PieceRect(s)), pictures.Piece(piece));
    }
    if (Contains(state.reachable, s)) {
      const double radius = g.Cell() * 0.16;
      p.setPen(QPen(QColor(20, 20, 20, 160), 2));
      p.setBrush(QColor(255, 220, 60, 200));
      p.drawEllipse(QPointF(r.center()) + QPointF(0.5, 0.5), radius, radius);
    }
  }
  // A thin frame in the dark colour shows where the board ends, also where
  // light corner squares meet the light margin.
  const TPixelRect b = g.BoardRect();
  p.setPen(QPen(darkColour.darker(130), 3));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(b.x - 2.5, b.y - 2.5, b.w + 5, b.h + 5));
  return out;
}

}  // namespace quorlin::gui
