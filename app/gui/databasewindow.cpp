#include "app/gui/databasewindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>

#include "app/application.h"
#include "app/gui/dblistmodel.h"
#include "app/gui/dbrowdelegate.h"
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
  model_ = new DBListModel(browser_, this);

  panel_ = new QWidget(this);
  auto* layout = new QVBoxLayout(panel_);
  layout->setContentsMargins(6, 6, 6, 6);
  header_ = new QLabel(panel_);
  header_->setWordWrap(true);
  QFont font = header_->font();
  font.setPointSize(kDBListFontSize * 3 / 4);  // the list's 15 pixels, in points
  header_->setFont(font);
  layout->addWidget(header_);

  table_ = new QListView(panel_);
  table_->setFont(font);
  table_->setModel(model_);
  table_->setModelColumn(kColPlayers);
  table_->setItemDelegate(new DBRowDelegate(*model_, table_));
  // One height for every row: the view never measures rows it does not show.
  table_->setUniformItemSizes(true);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  table_->viewport()->installEventFilter(this);
  layout->addWidget(table_, 1);
  connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    if (current.isValid()) browser_.SetCurPos(current.row() + 1);
  });
  connect(table_, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
    ChooseRow(index.row() + 1);
    if (LoadCurrentGame()) close();
  });

  auto* progressRow = new QHBoxLayout;
  progress_ = new QProgressBar(panel_);
  cancel_ = new QPushButton(tr("Cancel"), panel_);
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelTransfer(); });
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(cancel_);
  progress_->hide();
  cancel_->hide();
  layout->addLayout(progressRow);

  BuildDrawer();
  BuildButtons();

  timer_ = new QTimer(this);
  timer_->setInterval(50);
  connect(timer_, &QTimer::timeout, this, [this] { PollTransfer(); });

  resize(1000, 600);
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

void DatabaseWindow::BuildDrawer() {
  drawer_ = new QMenu(this);
  drawer_->addAction(tr("Open Database"), this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Database"), Q(BasesFolder()),
                                                      tr("Databases (*.abd)"));
    if (!path.isEmpty()) OpenDatabase(path);
  });
  drawer_->addAction(tr("Create Database"), this, [this] {
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, tr("Create Database"), tr("Name:"), QLineEdit::Normal, {}, &ok);
    if (ok) CreateDatabase(name);
  });
  drawer_->addAction(tr("Clean up Database"), this, [this] { CleanUp(); });
  drawer_->addAction(tr("Delete Database"), this, [this] { DeleteDatabase(); });
  drawer_->addSeparator();
  drawer_->addAction(tr("Import PDN..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Import PDN"), {}, tr("PDN files (*.pdn *.PDN)"));
    if (!path.isEmpty()) StartImport(path);
  });
  drawer_->addAction(tr("Export PDN..."), this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export PDN"), {}, tr("PDN files (*.pdn)"));
    if (!path.isEmpty()) StartExport(path);
  });
  drawer_->addSeparator();
  drawer_->addAction(tr("Download Bases"), this, [this] { OpenDownloadWindow(); });
}

void DatabaseWindow::BuildButtons() {
  const struct {
    const char* name;
    const char* text;
    const char* tip;
  } kButtons[kDBButtonCount] = {
      {"open", "\u2630", "Databases"},     {"load", "Load", "Load the game"},
      {"save", "Save", "Save the game"},   {"search", "Search", "Search"},
      {"delete", "Del", "Delete or undelete"}, {"end", "\u2193", "End of the list"},
      {"all", "All", "Every game"},
  };
  for (int b = 0; b < kDBButtonCount; ++b) {
    auto* button = new QToolButton(this);
    button->setObjectName(kButtons[b].name);
    button->setText(tr(kButtons[b].text));
    button->setToolTip(tr(kButtons[b].tip));
    button->setFocusPolicy(Qt::NoFocus);
    buttons_[b] = button;
  }
  connect(buttons_[kDBOpenButton], &QToolButton::clicked, this, [this] {
    drawer_->popup(buttons_[kDBOpenButton]->mapToGlobal(QPoint(0, 0)));
  });
  connect(buttons_[kDBLoadButton], &QToolButton::clicked, this, [this] {
    if (browser_.IsOpen() && LoadCurrentGame()) close();
  });
  connect(buttons_[kDBSaveButton], &QToolButton::clicked, this, [this] { SaveGame(); });
  connect(buttons_[kDBSearchButton], &QToolButton::clicked, this, [this] { OpenSearch(); });
  connect(buttons_[kDBDelButton], &QToolButton::clicked, this, [this] { DeleteOrUndelete(); });
  connect(buttons_[kDBEndButton], &QToolButton::clicked, this, [this] { ScrollToEnd(); });
  connect(buttons_[kDBAllButton], &QToolButton::clicked, this, [this] { ShowAll(); });
}

void DatabaseWindow::LayoutWindow() {
  const TDBWindowLayout l = ComputeDBWindowLayout(width(), height());
  auto rect = [](const TPixelRect& r) { return QRect(r.x, r.y, r.w, r.h); };
  panel_->setGeometry(rect(l.panel));
  QFont font = buttons_[0]->font();
  font.setPixelSize(std::max(9, l.buttonSize / 4));
  for (int b = 0; b < kDBButtonCount; ++b) {
    buttons_[b]->setGeometry(rect(l.buttons[b]));
    buttons_[b]->setFont(b == kDBOpenButton || b == kDBEndButton ? QFont(font.family(), -1) : font);
    if (b == kDBOpenButton || b == kDBEndButton) {
      QFont symbol = font;
      symbol.setPixelSize(std::max(12, l.buttonSize / 2));
      buttons_[b]->setFont(symbol);
    }
  }
  const bool narrow = l.panel.w < kNarrowListWidth;
  if (narrow != model_->Narrow()) {
    model_->SetNarrow(narrow);
    table_->reset();
    Refresh();
  }
}

void DatabaseWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutWindow();
}

bool DatabaseWindow::eventFilter(QObject* watched, QEvent* event) {
  // The right button ticks or unticks the row under the pointer.
  if (watched == table_->viewport() && event->type() == QEvent::MouseButtonRelease) {
    auto* e = static_cast<QMouseEvent*>(event);
    if (e->button() == Qt::RightButton) {
      const QModelIndex index = table_->indexAt(e->position().toPoint());
      if (index.isValid()) {
        ChooseRow(index.row() + 1);
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model_->setData(index, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void DatabaseWindow::Refresh() {
  model_->Reload();
  header_->setText(Q(browser_.HeaderText()));
  const int pos = browser_.CurPos();
  if (pos >= 1 && pos <= browser_.Count()) {
    const QModelIndex index = model_->index(pos - 1, 0);
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
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
  table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
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
  if (dialog.exec() == QDialog::Accepted) ShowSaved();
}

void DatabaseWindow::DeleteOrUndelete() {
  std::string error;
  if (!browser_.DeleteOrUndelete(error)) Say(Q(error));
  model_->Reload();
}

void DatabaseWindow::ShowSaved() {
  browser_.ShowAll();
  Refresh();
  ScrollToEnd();
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
  ShowTransferRunning();
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
  ShowTransferRunning();
  return true;
}

void DatabaseWindow::ShowTransferRunning() {
  progress_->setRange(0, 0);  // busy until the first progress report
  progress_->show();
  cancel_->show();
  timer_->start();
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
  if (browser_.IsOpen()) SaveNamesIfNeeded(browser_.Db());
  event->accept();
}

}  // namespace quorlin::gui
