#pragma once
// The new-game window: play against the engine or analyse, the start position
// (the variant's, or a random ballot), the user's colour, the engine, the
// time control and whether the game is rated.
#include <QDialog>
#include <string>
#include <vector>

#include "app/application.h"

class QComboBox;
class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace quorlin::gui {

class NewGameDialog : public QDialog {
  Q_OBJECT
 public:
  NewGameDialog(const std::vector<std::string>& engines, int userRating, QWidget* parent = nullptr);
  TNewGameChoice Choice() const;

 private:
  QRadioButton* play_;
  QRadioButton* analysis_;
  QComboBox* ballot_;
  QComboBox* colour_;
  QCheckBox* randomEngine_;
  QComboBox* engine_;
  QCheckBox* rated_;
  QSpinBox* time_;        // 1..120
  QComboBox* timeKind_;   // minutes per game, seconds per move
};

}  // namespace quorlin::gui
