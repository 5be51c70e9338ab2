#include "app/gui/setupdialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/positionsetup.h"
#include "app/settings.h"

namespace quorlin::gui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

SetupDialog::SetupDialog(TApplication& app, const TPictureSet& pictures, QWidget* parent)
    : QDialog(parent), app_(app) {
  setWindowTitle(tr("Set up position"));
  {
    auto game = app_.LockGame();
    game_ = *game;
  }
  BeginSetup(game_);

  board_ = new BoardView(this);
  board_->SetPictures(pictures);
  board_->setMinimumSize(360, 360);
  board_->installEventFilter(this);
  connect(board_, &BoardView::squareTapped, this, [this](int square) { Tap(square, kSetupPrimary); });

  const auto [firstText, secondText] = SetupSideTexts(game_.Params);
  first_ = new QRadioButton(tr("%1 to move").arg(Q(firstText)), this);
  second_ = new QRadioButton(tr("%1 to move").arg(Q(secondText)), this);
  SetSideToMove(game_.SideToMove);
  connect(first_, &QRadioButton::toggled, this, [this] { Redraw(); });

  auto* tools = new QVBoxLayout;
  tools->addWidget(first_);
  tools->addWidget(second_);
  tools->addSpacing(12);
  const struct {
    const char* name;
    const char* text;
    std::function<void()> run;
  } kButtons[] = {
      {"clean", "Clean", [this] { Clean(); }},
      {"initial", "Initial", [this] { Initial(); }},
      {"pasteFen", "Paste FEN", [this] { PasteFen(); }},
      {"copyFen", "Copy FEN", [this] { CopyFen(); }},
  };
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(tr(b.text), this);
    button->setObjectName(b.name);
    connect(button, &QPushButton::clicked, this, b.run);
    tools->addWidget(button);
  }
  auto* hint = new QLabel(tr("Left click: next piece\nRight click: previous piece\nMiddle click: empty"), this);
  hint->setStyleSheet("color: #555");
  tools->addSpacing(12);
  tools->addWidget(hint);
  tools->addStretch();

  auto* row = new QHBoxLayout;
  row->addWidget(board_, 1);
  row->addLayout(tools);

  fen_ = new QLabel(this);
  fen_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  fen_->setWordWrap(true);
  message_ = new QLabel(this);
  message_->setWordWrap(true);
  message_->setStyleSheet("color: #b00000");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Finish();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row, 1);
  layout->addWidget(fen_);
  layout->addWidget(message_);
  layout->addWidget(buttons);
  Redraw();
}

TDColor SetupDialog::SideToMove() const { return second_->isChecked() ? TDColor::black : TDColor::white; }

void SetupDialog::SetSideToMove(TDColor side) {
  (side == TDColor::black ? second_ : first_)->setChecked(true);
}

void SetupDialog::Redraw() {
  TBoardDrawState s;
  s.board = game_.CurBoard;
  s.params = game_.Params;
  s.reversed = app_.BoardReversed();
  s.coordinates = true;
  s.turkOneColor = Settings.TurkOneColor.load();
  s.alquerque = Settings.AlquerqueBoard.load();
  board_->SetState(s);
  fen_->setText(FenText());
}

void SetupDialog::Tap(int square, int button) {
  SetupTap(game_, square, button);
  message_->clear();
  Redraw();
}

void SetupDialog::Clean() {
  SetupClean(game_);
  Redraw();
}

void SetupDialog::Initial() {
  SetupInitial(game_);
  SetSideToMove(TDColor::white);
  Redraw();
}

bool SetupDialog::ImportFen(const QString& text) {
  std::string error;
  switch (SetupImportFEN(game_, text.toStdString(), error)) {
    case TFenImport::Read:
      message_->clear();
      SetSideToMove(game_.SideToMove);
      Redraw();
      return true;
    case TFenImport::Ignored: return false;
    case TFenImport::Error:
      message_->setText(Q(error));
      return false;
  }
  return false;
}

bool SetupDialog::PasteFen() { return ImportFen(QApplication::clipboard()->text()); }

QString SetupDialog::FenText() const { return Q(FenTagLine(game_.Params, game_.CurBoard.b, SideToMove())); }

void SetupDialog::CopyFen() const { QApplication::clipboard()->setText(FenText()); }

void SetupDialog::Finish() {
  TGame done = game_;
  FinishSetup(done, SideToMove());
  app_.StopEngines();
  app_.EditGame([&done](TGame& g) { g = done; });
}

QString SetupDialog::Message() const { return message_->text(); }

bool SetupDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == board_ && event->type() == QEvent::MouseButtonPress) {
    auto* e = static_cast<QMouseEvent*>(event);
    const int button = e->button() == Qt::RightButton    ? kSetupSecondary
                       : e->button() == Qt::MiddleButton ? kSetupMiddle
                                                         : -1;
    if (button >= 0) {
      if (const int square = board_->SquareAt(e->position().toPoint())) Tap(square, button);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quorlin::gui
