#pragma once
// The game-information window: the shown game's header in editable fields;
// "OK" checks them, copies them into the game and saves it into the open
// database (replacing the game it came from when "Replace" is ticked);
// "Clear" empties them so that the game is saved as a new one.
#include <QDialog>

#include "app/gameinfoform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class GameInfoDialog : public QDialog {
  Q_OBJECT
 public:
  GameInfoDialog(TApplication& app, QWidget* parent = nullptr);

  TGameInfoForm Form() const;
  void SetForm(const TGameInfoForm& form);
  // "OK": true when the game was saved (the window then closes); otherwise
  // the message says why and nothing changed.
  bool Save();
  void Clear();
  QString Message() const;

  QLineEdit *White = nullptr, *Black = nullptr, *WhiteElo = nullptr, *BlackElo = nullptr;
  QComboBox *WhiteTitle = nullptr, *BlackTitle = nullptr;
  QLineEdit *Tournament = nullptr, *Round = nullptr, *Subround = nullptr, *Site = nullptr, *Annotator = nullptr;
  QSpinBox *Day = nullptr, *Month = nullptr, *Year = nullptr;
  QComboBox* Result = nullptr;
  QCheckBox* Replace = nullptr;

 private:
  TApplication& app_;
  QLabel* message_ = nullptr;
  bool replaceShown_ = false;
  std::string replaceText_;
};

}  // namespace quorlin::gui
