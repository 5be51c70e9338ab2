#include "app/windowlayout.h"

#include <algorithm>

namespace quorlin {

TMainLayout ComputeMainLayout(int clientWidth, int clientHeight, int brdSizePercent, bool showGrid) {
  TMainLayout l;
  const int s = std::max(1, std::min(clientWidth, clientHeight));
  l.shorterSide = s;
  l.portrait = clientWidth < clientHeight;
  const int d = std::clamp(brdSizePercent, 1, 100) * s / 100;
  l.board = l.portrait ? TPixelRect{(clientWidth - d) / 2, 0, d, d} : TPixelRect{0, 0, d, d};

  const int v = s / 8;
  const int g = (s - 7 * v) / 8;
  l.buttonSize = v;
  for (int i = 0; i < kMainButtonCount; ++i) {
    l.buttonSlots[i] = l.portrait ? TPixelRect{g + i * (v + g), clientHeight - v - 5, v, v}
                                  : TPixelRect{clientWidth - v - 5, g + i * (v + g), v, v};
  }
  // Landscape puts the two navigation buttons first.
  static constexpr std::array<int, kMainButtonCount> kLandscapeSlot = {2, 3, 4, 5, 6, 0, 1};
  for (int b = 0; b < kMainButtonCount; ++b) l.buttons[b] = l.buttonSlots[l.portrait ? b : kLandscapeSlot[b]];

  l.panelArea = l.portrait ? TPixelRect{5, d + 5, s - 10, clientHeight - d - 15 - v}
                           : TPixelRect{d + 5, 5, clientWidth - d - 15 - v, s - 10};
  l.panelArea.w = std::max(0, l.panelArea.w);
  l.panelArea.h = std::max(0, l.panelArea.h);
  l.panelFontSize = std::clamp(std::min(l.panelArea.w, l.panelArea.h) / 15, 14, 20);

  const int a = l.panelArea.h;
  l.gamePanel = l.panelArea;
  l.gridVisible = showGrid;
  if (a > kGridPanelMinHeight) {
    l.grid = {l.panelArea.x, l.panelArea.y + a - kGridHeight, l.panelArea.w, kGridHeight};
    if (l.gridVisible) l.gamePanel.h = a - kGridHeight - 5;
  } else {
    l.grid = l.panelArea;
  }
  return l;
}

}  // namespace quorlin
