#include "app/gui/newgamedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <QVBoxLayout>

#include "app/settings.h"
#include "app/clock.h"
#include "app/translations.h"

namespace quorlin::gui {

namespace {
QString T(const char* text) { return QString::fromStdString(Translate(text)); }
}  // namespace

NewGameDialog::NewGameDialog(const std::vector<std::string>& engines, int userRating, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(T("New Game"));
  auto* form = new QFormLayout;
  play_ = new QRadioButton(T("Play"));
  analysis_ = new QRadioButton(T("Analysis"));
  play_->setChecked(true);
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(play_);
  modeRow->addWidget(analysis_);
  form->addRow(T("Mode"), modeRow);

  ballot_ = new QComboBox;
  ballot_->addItems({T("Default"), "2-moves", "Full"});
  form->addRow(T("Position"), ballot_);

  colour_ = new QComboBox;
  colour_->addItems({T("Random"), T("White"), T("Black")});
  colour_->setCurrentIndex(1);
  form->addRow(T("Color"), colour_);

  randomEngine_ = new QCheckBox(T("Random"));
  engine_ = new QComboBox;
  for (const std::string& e : engines) engine_->addItem(QString::fromStdString(e));
  auto* engineRow = new QHBoxLayout;
  engineRow->addWidget(engine_, 1);
  engineRow->addWidget(randomEngine_);
  form->addRow(T("Engine"), engineRow);
  connect(randomEngine_, &QCheckBox::toggled, engine_, &QWidget::setDisabled);

  time_ = new QSpinBox;
  time_->setRange(1, 120);
  time_->setValue(std::clamp(Settings.TimeControlMin.load(), 1, 120));
  timeKind_ = new QComboBox;
  timeKind_->addItems({"min/game", "sec/move"});
  timeKind_->setCurrentIndex(Settings.GameTime.load() == kTimePerMove ? 1 : 0);
  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(time_);
  timeRow->addWidget(timeKind_, 1);
  form->addRow(T("Time"), timeRow);

  rated_ = new QCheckBox(QString("%1 (%2)").arg(T("Rating")).arg(userRating));
  form->addRow(QString(), rated_);
  connect(analysis_, &QRadioButton::toggled, this, [this](bool on) {
    colour_->setDisabled(on);
    rated_->setDisabled(on);
    randomEngine_->setDisabled(on);
    engine_->setDisabled(on || randomEngine_->isChecked());
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    // The time control chosen becomes the setting the clock is set from.
    Settings.GameTime = timeKind_->currentIndex() == 1 ? kTimePerMove : kTimePerGame;
    Settings.TimeControlMin = time_->value();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

TNewGameChoice NewGameDialog::Choice() const {
  TNewGameChoice c;
  c.Mode = analysis_->isChecked() ? TPlayMode::Analysis : TPlayMode::Play;
  c.Ballot = ballot_->currentIndex();
  c.Colour = colour_->currentIndex();
  c.RandomEngine = randomEngine_->isChecked();
  c.Engine = engine_->currentText().toStdString();
  c.Rated = rated_->isChecked();
  return c;
}

}  // namespace quorlin::gui
