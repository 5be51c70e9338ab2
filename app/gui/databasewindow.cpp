#include "app/gui/databasewindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>

#include "app/application.h"
#include "app/gui/dblistmodel.h"
#include "app/gui/downloadwindow.h"
#include "app/gui/gameinfodialog.h"
#include "app/gui/searchdialog.h"

namespace quorlin::gui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The local .pdn file of a drop, empty when it holds none.
QString DroppedPdn(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && IsPdnFileName(url.toLocalFile().toStdString())) return url.toLocalFile();
  }
  return {};
}

}  // namespace

DatabaseWindow::DatabaseWindow(TApplication& app, TDatabaseWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window), app_(app), options_(options), browser_(app.Database()) {
  setWindowTitle(tr("Database"));
  setAcceptDrops(true);
  resize(820, 560);
  model_ = new DBListModel(browser_, this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  menuBar_ = new QMenuBar(this);
  layout->setMenuBar(menuBar_);
  BuildMenus();

  header_ = new QLabel(this);
  QFont bold = header_->font();
  bold.setBold(true);
  header_->setFont(bold);
  layout->addWidget(header_);

  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setAlternatingRowColors(true);
  table_->setShowGrid(false);
  table_->setWordWrap(false);
  // Fixed sizes: measuring contents would read every row of the database.
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  QHeaderView* columns = table_->horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setSectionResizeMode(kColEvent, QHeaderView::Stretch);
  const QFontMetrics fm = table_->fontMetrics();
  columns->resizeSection(kColPlayers, 300);
  columns->resizeSection(kColDate, fm.horizontalAdvance("0000.00.00") + 16);
  columns->resizeSection(kColResult, fm.horizontalAdvance("Result") + 16);
  columns->resizeSection(kColLength, fm.horizontalAdvance("Moves") + 16);
  columns->resizeSection(kColFlags, fm.horizontalAdvance("Flags") + 16);
  layout->addWidget(table_, 1);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) browser_.SetCurPos(current.row() + 1);
          });
  connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    ChooseRow(index.row() + 1);
    LoadCurrentGame();
  });

  auto* progressRow = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  cancel_ = new QPushButton(tr("Cancel"), this);
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelTransfer(); });
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(cancel_);
  progress_->hide();
  cancel_->hide();
  layout->addLayout(progressRow);

  auto* bar = new QWidget(this);
  BuildButtons(bar);
  layout->addWidget(bar);

  timer_ = new QTimer(this);
  timer_->setInterval(50);
  connect(timer_, &QTimer::timeout, this, [this] { PollTransfer(); });

  browser_.ShowAll();
  Refresh();
}

DatabaseWindow::~DatabaseWindow() {
  if (job_.Active()) {
    job_.Cancel();
    job_.Join();
    if (importing_) EndTransfer();
  }
}

void DatabaseWindow::BuildMenus() {
  QMenu* db = menuBar_->addMenu(tr("Database"));
  db->addAction(tr("Open..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open database"), Q(BasesFolder()),
                                                      tr("Databases (*.abd)"));
    if (!path.isEmpty()) OpenDatabase(path);
  });
  db->addAction(tr("Create..."), this, [this] {
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("Create database"), tr("Name:"), QLineEdit::Normal, {}, &ok);
    if (ok) CreateDatabase(name);
  });
  db->addAction(tr("Clean up"), this, [this] { CleanUp(); });
  db->addAction(tr("Delete database"), this, [this] { DeleteDatabase(); });
  db->addSeparator();
  db->addAction(tr("Import PDN..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Import PDN"), {}, tr("PDN files (*.pdn *.PDN)"));
    if (!path.isEmpty()) StartImport(path);
  });
  db->addAction(tr("Export PDN..."), this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export PDN"), {}, tr("PDN files (*.pdn)"));
    if (!path.isEmpty()) StartExport(path);
  });
  db->addSeparator();
  db->addAction(tr("Download Bases"), this, [this] { OpenDownloadWindow(); });
  db->addSeparator();
  db->addAction(tr("Close window"), this, [this] { close(); });

  QMenu* game = menuBar_->addMenu(tr("Game"));
  game->addAction(tr("Load"), this, [this] { LoadCurrentGame(); });
  game->addAction(tr("Save..."), this, [this] { SaveGame(); });
  game->addAction(tr("Delete / undelete"), this, [this] { DeleteOrUndelete(); });
  game->addAction(tr("Search..."), this, [this] { OpenSearch(); });
  game->addAction(tr("Show all games"), this, [this] { ShowAll(); });
}

void DatabaseWindow::BuildButtons(QWidget* bar) {
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  const struct {
    const char* name;
    const char* text;
    void (DatabaseWindow::*run)();
  } kButtons[] = {
      {"load", "Load", nullptr},
      {"save", "Save", &DatabaseWindow::SaveGame},
      {"search", "Search", &DatabaseWindow::OpenSearch},
      {"delete", "Delete", &DatabaseWindow::DeleteOrUndelete},
      {"end", "End", &DatabaseWindow::ScrollToEnd},
      {"all", "All", &DatabaseWindow::ShowAll},
  };
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(tr(b.text), bar);
    button->setObjectName(b.name);
    if (b.run)
      connect(button, &QPushButton::clicked, this, [this, run = b.run] { (this->*run)(); });
    else
      connect(button, &QPushButton::clicked, this, [this] { LoadCurrentGame(); });
    row->addWidget(button);
  }
}

void DatabaseWindow::Refresh() {
  model_->Reload();
  header_->setText(Q(browser_.HeaderText()));
  const int pos = browser_.CurPos();
  if (pos >= 1 && pos <= browser_.Count()) {
    const QModelIndex index = model_->index(pos - 1, 0);
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
  }
}

void DatabaseWindow::Say(const QString& text) {
  messages_ << text;
  if (options_.modalMessages) QMessageBox::information(this, windowTitle(), text);
}

bool DatabaseWindow::Ask(const QString& question) {
  messages_ << question;
  if (!options_.modalMessages) return true;
  return QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
}

bool DatabaseWindow::OpenDatabase(const QString& path) {
  if (TransferRunning()) return false;
  std::string error;
  const bool ok = browser_.Open(path.toStdString(), error);
  Refresh();
  if (!ok) Say(Q(error));
  return ok;
}

bool DatabaseWindow::CreateDatabase(const QString& name) {
  if (TransferRunning()) return false;
  std::string error;
  const bool ok = browser_.Create(BasesFolder(), name.trimmed().toStdString(), error);
  Refresh();
  if (!ok) Say(Q(error));
  return ok;
}

void DatabaseWindow::ChooseRow(int listIndex) {
  browser_.SetCurPos(listIndex);
  const QModelIndex index = model_->index(browser_.CurPos() - 1, 0);
  table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool DatabaseWindow::LoadCurrentGame() {
  TGame game;
  std::string error;
  if (!browser_.ReadCurrentGame(game, error)) {
    Say(Q(error));
    return false;
  }
  app_.LoadGame(std::move(game));
  emit gameLoaded();
  return true;
}

void DatabaseWindow::SaveGame() {
  if (!browser_.IsOpen()) {
    Say(tr(kDatabaseNotOpenedText));
    return;
  }
  GameInfoDialog dialog(app_, this);
  if (dialog.exec() == QDialog::Accepted) {
    browser_.ShowAllAt(browser_.Scroll(), browser_.CurPos());
    Refresh();
  }
}

void DatabaseWindow::DeleteOrUndelete() {
  std::string error;
  if (!browser_.DeleteOrUndelete(error)) Say(Q(error));
  model_->Reload();
}

void DatabaseWindow::ShowAll() {
  browser_.ShowAll();
  Refresh();
}

void DatabaseWindow::ScrollToEnd() {
  if (browser_.Count() == 0) return;
  ChooseRow(browser_.Count());
  table_->scrollToBottom();
}

void DatabaseWindow::OpenSearch() {
  if (!browser_.IsOpen()) {
    Say(tr(kDatabaseNotOpenedText));
    return;
  }
  auto* dialog = new SearchDialog(app_, [this](TDBList found) { ShowFound(std::move(found)); }, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

void DatabaseWindow::ShowFound(TDBList found) {
  browser_.ShowFound(std::move(found));
  Refresh();
}

bool DatabaseWindow::CleanUp() {
  std::string error;
  const bool ok = browser_.CleanUp(error);
  Refresh();
  if (!ok) Say(Q(error));
  return ok;
}

bool DatabaseWindow::DeleteDatabase() {
  if (!browser_.IsOpen()) {
    Say(tr(kDatabaseNotOpenedText));
    return false;
  }
  if (!Ask(tr(kDeleteDatabaseQuestion))) return false;
  std::string error;
  const bool ok = browser_.Delete(error);
  Refresh();
  if (!ok) Say(Q(error));
  return ok;
}

void DatabaseWindow::OpenDownloadWindow() {
  auto* window = new TFormDownload(TDownloadWindowSetup::FromSettings(), this);
  window->setWindowFlag(Qt::Window);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

// --- PDN files ----------------------------------------------------------------------------

bool DatabaseWindow::StartImport(const QString& pdnPath) {
  if (TransferRunning()) return false;
  if (!browser_.IsOpen()) {
    Say(tr(kDatabaseNotOpenedText));
    return false;
  }
  // The import writes through a record of its own: the window's record is
  // closed meanwhile and opened again afterwards.
  transferDb_ = browser_.Db().DBNameIdx;
  transferPdn_ = pdnPath.toStdString();
  std::string error;
  if (!browser_.Close(error)) {
    Say(Q(error));
    return false;
  }
  Refresh();
  importing_ = true;
  const int variant = app_.CurrentVariant();
  job_.Start([this, variant](TBackgroundJob& job) {
    transferResult_ = ImportPdn(transferPdn_, transferDb_, variant, &job);
  });
  progress_->setRange(0, 0);
  progress_->show();
  cancel_->show();
  timer_->start();
  return true;
}

bool DatabaseWindow::StartExport(const QString& pdnPath) {
  if (TransferRunning()) return false;
  if (!browser_.IsOpen() || browser_.Count() == 0) {
    Say(browser_.IsOpen() ? tr("The list holds no games to export.") : tr(kDatabaseNotOpenedText));
    return false;
  }
  // The ticked games, or every game of the list when none is ticked.
  std::vector<int> games;
  const bool ticked = browser_.SelectedCount() > 0;
  for (int i = 1; i <= browser_.Count(); ++i)
    if (!ticked || browser_.Entry(i).selected) games.push_back(browser_.Entry(i).num);
  SaveNamesIfNeeded(browser_.Db());
  transferDb_ = browser_.Db().DBNameIdx;
  transferPdn_ = pdnPath.toStdString();
  importing_ = false;
  job_.Start([this, games](TBackgroundJob& job) {
    transferResult_ = ExportPdn(transferDb_, games, transferPdn_, &job);
  });
  progress_->setRange(0, 0);
  progress_->show();
  cancel_->show();
  timer_->start();
  return true;
}

void DatabaseWindow::PollTransfer() {
  if (job_.Total() > 0) {
    progress_->setRange(0, 1000);
    progress_->setValue(static_cast<int>(job_.Done() * 1000 / job_.Total()));
  }
  if (!job_.Finished()) return;
  job_.Join();
  EndTransfer();
}

void DatabaseWindow::EndTransfer() {
  timer_->stop();
  progress_->hide();
  cancel_->hide();
  if (importing_) {
    importing_ = false;
    std::string error;
    if (!browser_.Open(transferDb_, error)) messages_ << Q(error);
    browser_.ShowAllAt(0, browser_.Count());
    Refresh();
    ScrollToEnd();
    Say(Q(ImportMessage(transferResult_, transferPdn_)));
  } else {
    Say(Q(ExportMessage(transferResult_, transferPdn_)));
  }
}

void DatabaseWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPdn(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DatabaseWindow::dropEvent(QDropEvent* event) {
  const QString path = DroppedPdn(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  StartImport(path);
}

void DatabaseWindow::closeEvent(QCloseEvent* event) {
  if (TransferRunning()) {
    job_.Cancel();
    job_.Join();
    EndTransfer();
  }
  event->accept();
}

}  // namespace quorlin::gui
