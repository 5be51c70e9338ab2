#pragma once
// The problem window: steps through the games of the open database as
// problems. The chosen one is shown in the main window at its start, where
// each move the user makes is compared with the stored solution (the
// solution's replies are played for the other side); the window says whether
// the problem is solved, and can start it again or show the solution.
#include <QWidget>
#include <vector>

class QLabel;
class QTimer;

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class ProblemWindow : public QWidget {
  Q_OBJECT
 public:
  ProblemWindow(TApplication& app, QWidget* parent = nullptr);

  int Count() const { return static_cast<int>(games_.size()); }
  int Current() const { return current_; }  // 0-based, -1 none
  // Reads the open database's undeleted games as the problem list.
  void Reload();
  // Shows problem `index` (0-based) in the main window; false when there is
  // no such problem or it cannot be read.
  bool ShowProblem(int index);
  bool Next() { return ShowProblem(current_ + 1 < Count() ? current_ + 1 : 0); }
  bool Previous() { return ShowProblem(current_ > 0 ? current_ - 1 : Count() - 1); }
  void Restart();
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
  std::vector<int> games_;  // game numbers in the database
  int current_ = -1;
  QLabel* title_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace quorlin::gui
