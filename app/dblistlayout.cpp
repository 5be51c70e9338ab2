#include "app/dblistlayout.h"

#include <algorithm>

#include "app/dbrows.h"

namespace quorlin {

namespace {
constexpr int kColumnRoom = 5;  // added to every measured column
}  // namespace

TDBWindowLayout ComputeDBWindowLayout(int w, int h) {
  TDBWindowLayout l;
  const int shorter = std::max(0, std::min(w, h));
  l.portrait = w < h;
  l.buttonSize = shorter / 8;
  const int size = l.buttonSize;
  const int gap = (shorter - 7 * size) / 8;
  if (l.portrait) {
    l.panel = {0, 0, w, std::max(0, h - (size + 10))};
    for (int k = 0; k < kDBButtonCount; ++k) l.buttons[k] = {gap + k * (size + gap), h - (size + 5), size, size};
  } else {
    l.panel = {0, 0, std::max(0, w - (size + 10)), h};
    for (int k = 0; k < kDBButtonCount; ++k) l.buttons[k] = {w - (size + 5), gap + k * (size + gap), size, size};
  }
  return l;
}

TDBRowsLayout ComputeRowsLayout(int panelWidth, int panelHeight, int textHeight, int smallTextHeight,
                                int count) {
  TDBRowsLayout l;
  l.narrow = panelWidth < kNarrowListWidth;
  l.headerHeight = 2 * textHeight + 5;
  l.rowHeight = l.narrow ? textHeight + smallTextHeight + 12 : textHeight + 10;
  l.rows = l.rowHeight > 0 ? std::max(0, (panelHeight - l.headerHeight) / l.rowHeight) : 0;
  l.rows = std::min(l.rows, kDBMaxRows);
  if (l.rows >= count) {
    l.rows = std::max(0, count);
  } else if (l.rows > 0) {
    l.scrollEnabled = true;
    l.scrollMax = count - l.rows;
    l.pageStep = l.rows;
  }
  return l;
}

TDBColumns ComputeColumns(int width, bool narrow, int dateWidth, int resultWidth, int lengthWidth,
                          int flagsWidth) {
  const int date = dateWidth + kColumnRoom, result = resultWidth + kColumnRoom;
  const int length = lengthWidth + kColumnRoom, flags = flagsWidth + kColumnRoom;
  TDBColumns c;
  if (narrow) {
    c.result = {width - result, result};
    c.length = {c.result.x - length, length};
    c.players = {0, std::max(0, c.length.x)};
    c.flags = {width - flags, flags};
    c.date = {c.flags.x - date, date};
    c.event = {0, std::max(0, c.date.x)};
    return c;
  }
  const int rest = std::max(0, width - date - result - length - flags);
  c.players = {0, rest / 2};
  c.event = {rest / 2, rest - rest / 2};
  c.date = {rest, date};
  c.result = {c.date.x + date, result};
  c.length = {c.result.x + result, length};
  c.flags = {c.length.x + length, flags};
  return c;
}

}  // namespace quorlin
