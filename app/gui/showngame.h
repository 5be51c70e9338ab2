#pragma once
// A copy of the main window's shown game, taken under its lock, for windows
// that edit it on the side and hand the result back through EditGame.
#include "app/application.h"

namespace quorlin::gui {

inline TGame CopyOfShownGame(const TApplication& app) {
  auto game = app.LockGame();
  return *game;
}

}  // namespace quorlin::gui
