#pragma once
// The small evaluation graph of analysis mode: the engine's score (from the
// first side's point of view) along the main line of the game; a click jumps
// to the move under the pointer.
#include <QWidget>
#include <vector>

#include "app/evalgraph.h"

namespace quorlin::gui {

class EvalGraphView : public QWidget {
  Q_OBJECT
 public:
  explicit EvalGraphView(QWidget* parent = nullptr);
  // Points of the main line, the number of plies on it and the shown ply (-1
  // when the shown position is off the main line).
  void SetData(std::vector<TGraphPoint> points, int plies, int currentPly);
  const std::vector<TGraphPoint>& Points() const { return points_; }
  int Plies() const { return plies_; }

 signals:
  // x on the graph as a share of its width, 0..1.
  void clicked(double share);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;

 private:
  std::vector<TGraphPoint> points_;
  int plies_ = 0;
  int current_ = -1;
};

}  // namespace quorlin::gui
