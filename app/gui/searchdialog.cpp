#include "app/gui/searchdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/headersearch.h"
#include "rules/variants.h"

namespace quorlin::gui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QLineEdit* e) { return e->text().trimmed().toStdString(); }

QSpinBox* NumberBox(int max, int value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, max);
  box->setValue(value);
  return box;
}

// "min - max" boxes on one row.
QHBoxLayout* Range(QSpinBox* from, QSpinBox* to, QWidget* parent) {
  auto* row = new QHBoxLayout;
  row->addWidget(from);
  row->addWidget(new QLabel("-", parent));
  row->addWidget(to);
  row->addStretch();
  return row;
}

}  // namespace

SearchDialog::SearchDialog(TApplication& app, std::function<void(TDBList)> found, QWidget* parent)
    : QDialog(parent), app_(app), found_(std::move(found)) {
  setWindowTitle(tr("Search"));
  const TSearchForm defaults;
  auto* form = new QFormLayout;
  White = new QLineEdit(this);
  Black = new QLineEdit(this);
  WhiteEloMin = NumberBox(kSearchMaxElo, defaults.whiteEloMin, this);
  WhiteEloMax = NumberBox(kSearchMaxElo, defaults.whiteEloMax, this);
  BlackEloMin = NumberBox(kSearchMaxElo, defaults.blackEloMin, this);
  BlackEloMax = NumberBox(kSearchMaxElo, defaults.blackEloMax, this);
  form->addRow(tr("White:"), White);
  form->addRow(tr("White rating:"), Range(WhiteEloMin, WhiteEloMax, this));
  form->addRow(tr("Black:"), Black);
  form->addRow(tr("Black rating:"), Range(BlackEloMin, BlackEloMax, this));
  IgnoreColours = new QCheckBox(tr("Ignore colours"), this);
  IgnoreColours->setChecked(defaults.ignoreColours);
  form->addRow(QString(), IgnoreColours);
  YearStart = NumberBox(kSearchMaxYear, defaults.yearStart, this);
  YearEnd = NumberBox(kSearchMaxYear, defaults.yearEnd, this);
  form->addRow(tr("Years:"), Range(YearStart, YearEnd, this));
  MoveStart = NumberBox(kSearchMaxMoves, defaults.moveStart, this);
  MoveEnd = NumberBox(kSearchMaxMoves, defaults.moveEnd, this);
  form->addRow(tr("Moves:"), Range(MoveStart, MoveEnd, this));
  auto* results = new QGridLayout;
  for (int r = 0; r < kResultCount; ++r) {
    Results[r] = new QCheckBox(ResultText(r), this);
    Results[r]->setChecked(defaults.results[r]);
    results->addWidget(Results[r], r / 3, r % 3);
  }
  form->addRow(tr("Results:"), results);
  Tournament = new QLineEdit(this);
  Annotator = new QLineEdit(this);
  Site = new QLineEdit(this);
  form->addRow(tr("Tournament:"), Tournament);
  form->addRow(tr("Annotator:"), Annotator);
  form->addRow(tr("Site:"), Site);
  Position = new QCheckBox(tr("The position on the board"), this);
  form->addRow(QString(), Position);

  message_ = new QLabel(this);
  message_->setWordWrap(true);
  progress_ = new QProgressBar(this);
  progress_->hide();
  auto* buttons = new QDialogButtonBox(this);
  search_ = buttons->addButton(tr("Search"), QDialogButtonBox::AcceptRole);
  cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
  connect(search_, &QPushButton::clicked, this, [this] { StartSearch(); });
  connect(cancel_, &QPushButton::clicked, this, [this] {
    if (Searching())
      CancelSearch();
    else
      reject();
  });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(message_);
  layout->addWidget(progress_);
  layout->addWidget(buttons);
  timer_ = new QTimer(this);
  timer_->setInterval(50);
  connect(timer_, &QTimer::timeout, this, [this] { Poll(); });
}

SearchDialog::~SearchDialog() {
  job_.Cancel();
  if (job_.Active()) job_.Join();
}

TSearchForm SearchDialog::Form() const {
  TSearchForm f;
  f.white = S(White);
  f.black = S(Black);
  f.whiteEloMin = WhiteEloMin->value();
  f.whiteEloMax = WhiteEloMax->value();
  f.blackEloMin = BlackEloMin->value();
  f.blackEloMax = BlackEloMax->value();
  f.ignoreColours = IgnoreColours->isChecked();
  f.yearStart = YearStart->value();
  f.yearEnd = YearEnd->value();
  f.moveStart = MoveStart->value();
  f.moveEnd = MoveEnd->value();
  for (int r = 0; r < kResultCount; ++r) f.results[r] = Results[r]->isChecked();
  f.tournament = S(Tournament);
  f.annotator = S(Annotator);
  f.site = S(Site);
  f.position = Position->isChecked();
  return f;
}

bool SearchDialog::StartSearch() {
  if (Searching()) return false;
  TSearchInfo criteria;
  std::string error;
  if (!BuildSearchInfo(Form(), criteria, error)) {
    message_->setText(Q(error));
    return false;
  }
  TQuorlinDB& db = app_.Database();
  if (!db.DBOpened) {
    message_->setText(tr("Database not opened!"));
    return false;
  }
  message_->clear();
  // The header pass reads index records only and is quick.
  TDBList candidates;
  if (!HeaderPass(db, criteria, candidates)) {
    message_->setText(Q(db.LastError));
    return false;
  }
  if (!Position->isChecked()) {
    Finish(std::move(candidates));
    return true;
  }
  TDColor side;
  int boardSize;
  {
    auto game = app_.LockGame();
    criteria.brdsearch = game->CurBoard.b;
    side = game->SideToMove;
    boardSize = game->Params.compute.BoardSize;
  }
  const std::string path = db.DBNameIdx;
  progress_->setRange(0, std::max(1, candidates.count));
  progress_->setValue(0);
  progress_->show();
  search_->setEnabled(false);
  job_.Start([this, path, candidates, criteria, side, boardSize](TBackgroundJob& job) {
    PositionPass(path, candidates, criteria, side, boardSize, jobFound_, jobError_, job.CancelFlag(),
                 [&job](int done, int total) { job.SetProgress(done, total); });
  });
  timer_->start();
  return true;
}

void SearchDialog::Poll() {
  if (job_.Total() > 0) {
    progress_->setRange(0, static_cast<int>(job_.Total()));
    progress_->setValue(static_cast<int>(job_.Done()));
  }
  if (!job_.Finished()) return;
  job_.Join();
  timer_->stop();
  progress_->hide();
  search_->setEnabled(true);
  if (!jobError_.empty()) {
    message_->setText(Q(jobError_));
    return;
  }
  const bool cancelled = job_.Cancelled();
  Finish(std::move(jobFound_));
  if (cancelled) message_->setText(tr("Search cancelled; the games found so far are listed."));
}

void SearchDialog::Finish(TDBList list) {
  const int count = list.count;
  if (found_) found_(std::move(list));
  message_->setText(tr("%n game(s) found.", nullptr, count));
  // The found games are in the database window's list: the search window closes.
  if (isVisible()) accept();
}

QString SearchDialog::Message() const { return message_->text(); }

}  // namespace quorlin::gui
