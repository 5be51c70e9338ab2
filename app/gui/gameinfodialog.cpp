#include "app/gui/gameinfodialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/gui/showngame.h"
#include "app/dbrows.h"
#include "app/positionsetup.h"

namespace quorlin::gui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QLineEdit* e) { return e->text().trimmed().toStdString(); }

QComboBox* TitleBox(QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->addItem("-");
  for (int t = 1; t <= 9; ++t) box->addItem(TitleText(t));
  return box;
}

QSpinBox* NumberBox(int max, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, max);
  box->setSpecialValueText("-");
  return box;
}

// The header, names and database number of `from`, without its moves.
void CopyGameInfo(const TGame& from, TGame& to) {
  to.Header.White = from.Header.White;
  to.Header.Black = from.Header.Black;
  to.Header.Result = from.Header.Result;
  to.Header.Date = from.Header.Date;
  to.Header.Round = from.Header.Round;
  to.Header.Subround = from.Header.Subround;
  to.WhiteName = from.WhiteName;
  to.BlackName = from.BlackName;
  to.Tournament = from.Tournament;
  to.Site = from.Site;
  to.AnnotatorName = from.AnnotatorName;
  to.DBGameNo = from.DBGameNo;
}

}  // namespace

GameInfoDialog::GameInfoDialog(TApplication& app, QWidget* parent) : QDialog(parent), app_(app) {
  setWindowTitle(tr("Game information"));
  auto* form = new QFormLayout;
  auto player = [&](const QString& label, QLineEdit*& name, QLineEdit*& elo, QComboBox*& title) {
    auto* row = new QHBoxLayout;
    name = new QLineEdit(this);
    elo = new QLineEdit(this);
    elo->setPlaceholderText(tr("rating"));
    elo->setMaximumWidth(70);
    title = TitleBox(this);
    row->addWidget(name, 1);
    row->addWidget(title);
    row->addWidget(elo);
    form->addRow(label, row);
  };
  // The first row names the side that moves first, as the variant calls it.
  std::pair<std::string, std::string> sides;
  {
    auto game = app_.LockGame();
    sides = SetupSideTexts(game->Params);
  }
  player(Q(sides.first) + ":", White, WhiteElo, WhiteTitle);
  player(Q(sides.second) + ":", Black, BlackElo, BlackTitle);
  Tournament = new QLineEdit(this);
  form->addRow(tr("Tournament:"), Tournament);
  auto* roundRow = new QHBoxLayout;
  Round = new QLineEdit(this);
  Subround = new QLineEdit(this);
  roundRow->addWidget(Round);
  roundRow->addWidget(new QLabel(".", this));
  roundRow->addWidget(Subround);
  form->addRow(tr("Round:"), roundRow);
  Site = new QLineEdit(this);
  form->addRow(tr("Site:"), Site);
  auto* dateRow = new QHBoxLayout;
  Year = NumberBox(kMaxYear, this);
  Month = NumberBox(kMaxMonth, this);
  Day = NumberBox(kMaxDay, this);
  dateRow->addWidget(Year);
  dateRow->addWidget(Month);
  dateRow->addWidget(Day);
  form->addRow(tr("Date (year, month, day):"), dateRow);
  Result = new QComboBox(this);
  for (int r = 0; r < kResultCount; ++r) Result->addItem(ResultText(r));
  form->addRow(tr("Result:"), Result);
  Annotator = new QLineEdit(this);
  form->addRow(tr("Annotator:"), Annotator);
  Replace = new QCheckBox(this);
  form->addRow(QString(), Replace);

  message_ = new QLabel(this);
  message_->setWordWrap(true);
  message_->setStyleSheet("color: #b00000");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* clear = buttons->addButton(tr("Clear"), QDialogButtonBox::ResetRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (Save()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(clear, &QPushButton::clicked, this, [this] { Clear(); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(message_);
  layout->addWidget(buttons);

  TGameInfoForm f;
  {
    auto game = app_.LockGame();
    f = GameInfoFromGame(*game, app_.Database());
  }
  SetForm(f);
}

void GameInfoDialog::SetForm(const TGameInfoForm& f) {
  White->setText(Q(f.white));
  Black->setText(Q(f.black));
  WhiteElo->setText(Q(f.whiteElo));
  BlackElo->setText(Q(f.blackElo));
  WhiteTitle->setCurrentIndex(f.whiteTitle >= 0 && f.whiteTitle <= 9 ? f.whiteTitle : 0);
  BlackTitle->setCurrentIndex(f.blackTitle >= 0 && f.blackTitle <= 9 ? f.blackTitle : 0);
  Tournament->setText(Q(f.tournament));
  Round->setText(Q(f.round));
  Subround->setText(Q(f.subround));
  Site->setText(Q(f.site));
  Day->setValue(f.day);
  Month->setValue(f.month);
  Year->setValue(f.year);
  Result->setCurrentIndex(f.result >= 0 && f.result < kResultCount ? f.result : 0);
  Annotator->setText(Q(f.annotator));
  Replace->setVisible(f.replaceShown);
  Replace->setChecked(f.replace);
  Replace->setText(tr("Replace game %1").arg(Q(f.replaceText)));
  replaceShown_ = f.replaceShown;
  replaceText_ = f.replaceText;
}

TGameInfoForm GameInfoDialog::Form() const {
  TGameInfoForm f;
  f.white = S(White);
  f.black = S(Black);
  f.whiteElo = S(WhiteElo);
  f.blackElo = S(BlackElo);
  f.whiteTitle = WhiteTitle->currentIndex();
  f.blackTitle = BlackTitle->currentIndex();
  f.tournament = S(Tournament);
  f.round = S(Round);
  f.subround = S(Subround);
  f.site = S(Site);
  f.day = Day->value();
  f.month = Month->value();
  f.year = Year->value();
  f.result = Result->currentIndex();
  f.annotator = S(Annotator);
  f.replaceShown = replaceShown_;
  f.replace = replaceShown_ && Replace->isChecked();
  f.replaceText = replaceText_;
  return f;
}

bool GameInfoDialog::Save() {
  const TGameInfoForm f = Form();
  std::string error;
  if (!CheckGameInfo(f, error)) {
    message_->setText(Q(error));
    return false;
  }
  TGame copy = CopyOfShownGame(app_);
  if (!SaveGameInfo(f, copy, app_.Database(), error)) {
    message_->setText(Q(error));
    return false;
  }
  // The saved header and database place go into the shown game; its moves
  // and position stay as they are.
  app_.EditGame([&copy](TGame& g) {
    CopyGameInfo(copy, g);
    g.DBName = copy.DBName;
    g.Modified = copy.Modified;
  });
  message_->clear();
  return true;
}

void GameInfoDialog::Clear() {
  TGame copy = CopyOfShownGame(app_);
  ClearGameInfo(copy);
  TQuorlinDB none;
  SetForm(GameInfoFromGame(copy, none));
  app_.EditGame([&copy](TGame& g) {
    CopyGameInfo(copy, g);
  });
}

QString GameInfoDialog::Message() const { return message_->text(); }

}  // namespace quorlin::gui
