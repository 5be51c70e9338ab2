#pragma once
// The position-setup window: a board of the shown game's variant on which a
// tap cycles a square through the pieces (left button forwards, right button
// backwards, middle button empties it), the side to move, "Clean",
// "Initial", a FEN read from the clipboard or copied to it, and "OK", which
// makes the position the start of a new game in the main window.
#include <QDialog>

#include "app/gui/boardview.h"
#include "games/gamerecord.h"

class QLabel;
class QRadioButton;

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class SetupDialog : public QDialog {
  Q_OBJECT
 public:
  SetupDialog(TApplication& app, const TPictureSet& pictures, QWidget* parent = nullptr);

  void Tap(int square, int button);
  void Clean();
  void Initial();
  // A FEN (bare or as a "FEN"/"Posizione" tag line): false with the message
  // shown and nothing changed when it does not read.
  bool ImportFen(const QString& text);
  // The clipboard's text through ImportFen.
  bool PasteFen();
  // The tag line of the position being set up.
  QString FenText() const;
  void CopyFen() const;
  // "OK": the position becomes the main window's new game.
  void Finish();

  const TGame& Game() const { return game_; }
  TDColor SideToMove() const;
  void SetSideToMove(TDColor side);
  BoardView* Board() const { return board_; }
  QString Message() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Redraw();

  TApplication& app_;
  TGame game_;
  BoardView* board_ = nullptr;
  QRadioButton* first_ = nullptr;   // the side that moves first
  QRadioButton* second_ = nullptr;
  QLabel* fen_ = nullptr;
  QLabel* message_ = nullptr;
};

}  // namespace quorlin::gui
