#pragma once
// The game panel: a header (players and tournament, or the two clocks in play
// mode), the game tree as flowing text, and the engine status line at its
// foot. A tap on a move asks to show that move.
#include <QFont>
#include <QString>
#include <QWidget>

#include "app/movelist.h"
#include "games/gamerecord.h"

class QScrollBar;

namespace quorlin::gui {

struct TPanelHeader {
  bool clocks = false;  // play mode: left and right are the clock texts
  QString left, right;
  QString gameNumber;  // analysis mode: database game number, or empty
  QString title;       // players, or the problem caption
  QString subtitle;    // tournament [year]
};

class GamePanel : public QWidget {
  Q_OBJECT
 public:
  explicit GamePanel(QWidget* parent = nullptr);

  void SetFontSize(int points);
  // Lays the game out again for the current width.
  void Rebuild(const TGame& game);
  void SetCurrentNode(int node);
  void SetHeader(const TPanelHeader& header);
  void SetStatus(const QString& status);

  const TMoveList& List() const { return list_; }
  const TPanelHeader& Header() const { return header_; }
  const QString& Status() const { return status_; }
  int CurrentNode() const { return current_; }
  // Centre of the item of `node` in control coordinates; (-1, -1) when it is
  // not on screen.
  QPoint ItemCentre(int node) const;
  // Node under a point, -1 when none.
  int NodeAt(const QPoint& pos) const;

 signals:
  void nodeClicked(int node);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;

 private:
  QFont FontFor(int attrib) const;
  int HeaderHeight() const;
  int LineHeight() const;
  int StatusHeight() const;
  int VisibleLines() const;
  int FirstLine() const;
  int UsableWidth() const;
  void UpdateScrollBar();

  QFont font_;
  QScrollBar* scroll_;
  TMoveList list_;
  TPanelHeader header_;
  QString status_;
  int current_ = 0;
  TGame lastGame_;  // laid out again on resize
  bool havePress_ = false;
  bool scrolled_ = false;
  int pressY_ = 0, pressScroll_ = 0;
};

}  // namespace quorlin::gui
