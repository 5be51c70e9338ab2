#pragma once
// The problem window: steps through the games of the database window's list
// as problems (previous, next, random). The chosen one is shown in the main
// window at its start, where each move the user makes is compared with the
// stored solution (the solution's replies are played for the other side);
// the window says whether the problem is solved, can start it again or show
// the solution, and "Leave" turns the shown game back into an ordinary game.
#include <QWidget>

class QLabel;
class QTimer;

namespace quorlin {
class TApplication;
class TDatabaseBrowser;
}

namespace quorlin::gui {

class ProblemWindow : public QWidget {
  Q_OBJECT
 public:
  // `list`: the database window's list of games.
  ProblemWindow(TApplication& app, TDatabaseBrowser& list, QWidget* parent = nullptr);

  int Count() const;
  int Current() const { return current_; }  // list position shown, 0 none
  // Starts again from the list's current position.
  void Reload();
  // Shows the game at list position `pos` (1-based) as a problem in the main
  // window; false when there is no such position or the game cannot be read.
  bool ShowProblem(int pos);
  bool Next();
  bool Previous();
  bool Random();
  void Restart();
  // The shown game stops being a problem (in memory only).
  void Leave();
  // Plays the stored solution on the board (a look at the answer).
  void ShowSolution();
  // The shown game has reached the end of the stored solution.
  bool Solved() const;
  QString Status() const;

 signals:
  void problemShown();

 private:
  void Refresh();

  TApplication& app_;
  TDatabaseBrowser& list_;
  int current_ = 0;
  QLabel* title_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace quorlin::gui
