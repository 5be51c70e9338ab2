#pragma once
// The main window's way into the other windows: the database window (its
// button and menu items, previous and next game of the list), search, game
// information, problems, position setup, FEN and PDN through the clipboard,
// and settings. Owned by the main window.
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class DatabaseWindow;
class MainWindow;
class ProblemWindow;

class SecondaryWindows : public QObject {
  Q_OBJECT
 public:
  // `modal`: messages open message boxes; otherwise they are only recorded.
  SecondaryWindows(MainWindow& main, bool modal);

  // The database window, made on first use (shown by OpenDatabaseWindow).
  DatabaseWindow* Database();
  DatabaseWindow* OpenDatabaseWindow();
  ProblemWindow* OpenProblemWindow();
  // Previous and next game of the database window's list, wrapping around.
  bool StepGame(int delta);
  // The shown game's position as a "FEN" tag line on the clipboard.
  void CopyFen();
  // A FEN from the clipboard starts a new game from that position.
  bool PasteFen(const QString& text);
  // PDN move text from the clipboard into the shown game's tree.
  bool PastePdn(const QString& text);
  const QStringList& Messages() const { return messages_; }

 private:
  void AddMenuItems();
  void Say(const QString& text);

  MainWindow& main_;
  TApplication& app_;
  bool modal_;
  QPointer<DatabaseWindow> database_;
  QPointer<ProblemWindow> problems_;
  QStringList messages_;
};

}  // namespace quorlin::gui
