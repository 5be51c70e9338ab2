#include "app/gui/problemwindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/dbbrowser.h"
#include "app/gamenavigation.h"
#include "app/positionsetup.h"

namespace quorlin::gui {

ProblemWindow::ProblemWindow(TApplication& app, TDatabaseBrowser& list, QWidget* parent)
    : QWidget(parent, Qt::Window), app_(app), list_(list) {
  setWindowTitle(tr("Problems"));
  title_ = new QLabel(this);
  QFont big = title_->font();
  big.setPointSize(big.pointSize() + 2);
  big.setBold(true);
  title_->setFont(big);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  const struct {
    const char* name;
    const char* text;
    std::function<void()> run;
  } kButtons[] = {
      {"previous", "\u25C0", [this] { Previous(); }},
      {"next", "\u25B6", [this] { Next(); }},
      {"random", "Random", [this] { Random(); }},
      {"restart", "Restart", [this] { Restart(); }},
      {"solution", "Solution", [this] { ShowSolution(); }},
      {"leave", "Leave", [this] { Leave(); }},
  };
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(tr(b.text), this);
    button->setObjectName(b.name);
    connect(button, &QPushButton::clicked, this, b.run);
    buttons->addWidget(button);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(status_);
  layout->addStretch();
  layout->addLayout(buttons);
  resize(420, 160);

  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
  timer_->start();
  Reload();
}

int ProblemWindow::Count() const { return list_.Count(); }

void ProblemWindow::Reload() {
  current_ = 0;
  Refresh();
}

bool ProblemWindow::ShowProblem(int pos) {
  if (pos < 1 || pos > Count()) return false;
  list_.SetCurPos(pos);
  TGame game;
  std::string error;
  if (!list_.ReadCurrentGame(game, error)) {
    status_->setText(QString::fromStdString(error));
    return false;
  }
  // Every game shown here is a problem: the moves stored are its solution.
  game.Header.Medals |= 1;
  current_ = pos;
  app_.LoadGame(std::move(game));
  Refresh();
  emit problemShown();
  return true;
}

bool ProblemWindow::Next() { return ShowProblem(current_ >= 1 && current_ < Count() ? current_ + 1 : 1); }

bool ProblemWindow::Previous() { return ShowProblem(current_ > 1 ? current_ - 1 : Count()); }

bool ProblemWindow::Random() {
  if (Count() == 0) return false;
  return ShowProblem(1 + QRandomGenerator::global()->bounded(Count()));
}

void ProblemWindow::Leave() {
  app_.EditGame([](TGame& g) { g.Header.Medals &= ~1; });
  current_ = 0;
  Refresh();
}

void ProblemWindow::Restart() {
  if (current_ > 0) app_.GoToNode(0, true);
  Refresh();
}

void ProblemWindow::ShowSolution() {
  if (current_ == 0) return;
  int last = 0;
  {
    auto game = app_.LockGame();
    for (int next = FirstChild(*game, 0); next > 0; next = FirstChild(*game, next)) last = next;
  }
  app_.GoToNode(last, true);
  Refresh();
}

bool ProblemWindow::Solved() const {
  if (current_ == 0) return false;
  auto game = app_.LockGame();
  TChildList kids;
  return game->CurMovPos > 0 && (game->Header.Medals & 1) && GetChildren(*game, game->CurMovPos, kids) == 0;
}

QString ProblemWindow::Status() const { return status_->text(); }

void ProblemWindow::Refresh() {
  if (Count() == 0) {
    title_->setText(tr("No problems"));
    status_->setText(list_.IsOpen() ? tr("The list of the database window holds no games.")
                                    : tr("Open a database of problems first."));
    return;
  }
  if (current_ == 0) {
    title_->setText(tr("%n problem(s)", nullptr, Count()));
    status_->setText(tr("Press Next to start."));
    return;
  }
  title_->setText(tr("Problem %1 of %2").arg(current_).arg(Count()));
  if (Solved()) {
    status_->setText(tr("Correct! The problem is solved."));
    return;
  }
  std::string side;
  {
    auto game = app_.LockGame();
    const auto names = SetupSideTexts(game->Params);
    side = game->SideToMove == TDColor::white ? names.first : names.second;
  }
  status_->setText(tr("%1 to move and find the solution.").arg(QString::fromStdString(side)));
}

}  // namespace quorlin::gui
