#include "app/gui/secondarywindows.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

#include "app/application.h"
#include "app/gui/showngame.h"
#include "app/gui/databasewindow.h"
#include "app/gui/gameinfodialog.h"
#include "app/gui/mainwindow.h"
#include "app/gui/problemwindow.h"
#include "app/gui/searchdialog.h"
#include "app/gui/settingsdialog.h"
#include "app/gui/setupdialog.h"
#include "app/pdnpaste.h"
#include "app/positionsetup.h"

namespace quorlin::gui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

SecondaryWindows::SecondaryWindows(MainWindow& main, bool modal)
    : QObject(&main), main_(main), app_(main.App()), modal_(modal) {
  AddMenuItems();
  QToolButton* db = main_.Button(kButtonDatabase);
  db->setEnabled(true);
  connect(db, &QToolButton::clicked, this, [this] { OpenDatabaseWindow(); });
}

void SecondaryWindows::AddMenuItems() {
  auto add = [this](QMenu* menu, const char* name, const QString& text, const QKeySequence& key,
                    std::function<void()> run) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    a->setShortcut(key);
    main_.addAction(a);
    connect(a, &QAction::triggered, this, std::move(run));
    return a;
  };
  QMenu* game = main_.Menu("Game");
  QAction* exit = main_.Action("exit");
  QMenu* db = new QMenu(tr("Database"), game);
  game->insertMenu(exit, db);
  game->insertSeparator(exit);
  add(db, "databaseWindow", tr("Database..."), QKeySequence("Ctrl+Shift+D"), [this] { OpenDatabaseWindow(); });
  add(db, "search", tr("Search..."), QKeySequence::Find, [this] { Database()->OpenSearch(); });
  add(db, "gameInfo", tr("Game information..."), QKeySequence("Ctrl+I"), [this] {
    GameInfoDialog dialog(app_, &main_);
    if (dialog.exec() == QDialog::Accepted && database_) database_->ShowSaved();
  });
  add(db, "previousGame", tr("Previous game"), QKeySequence("Ctrl+PgUp"), [this] { StepGame(-1); });
  add(db, "nextGame", tr("Next game"), QKeySequence("Ctrl+PgDown"), [this] { StepGame(1); });
  add(db, "problems", tr("Problems..."), {}, [this] { OpenProblemWindow(); });

  QMenu* position = new QMenu(tr("Position"), game);
  game->insertMenu(exit, position);
  game->insertSeparator(exit);
  add(position, "setupPosition", tr("Set up position..."), QKeySequence("Ctrl+E"), [this] {
    SetupDialog dialog(app_, main_.Board()->Pictures(), &main_);
    dialog.exec();
  });
  add(position, "copyFen", tr("Copy FEN"), QKeySequence("Ctrl+Shift+C"), [this] { CopyFen(); });
  add(position, "pasteFen", tr("Paste FEN"), QKeySequence("Ctrl+Shift+V"),
      [this] { PasteFen(QApplication::clipboard()->text()); });
  add(position, "pastePdn", tr("Paste PDN"), QKeySequence::Paste,
      [this] { PastePdn(QApplication::clipboard()->text()); });

  QMenu* options = main_.Menu("Options");
  options->addSeparator();
  add(options, "settings", tr("Settings..."), QKeySequence::Preferences, [this] {
    SettingsDialog dialog(app_, &main_);
    dialog.exec();
  });
}

void SecondaryWindows::Say(const QString& text) {
  messages_ << text;
  if (modal_) QMessageBox::information(&main_, main_.windowTitle(), text);
}

DatabaseWindow* SecondaryWindows::Database() {
  if (!database_) {
    TDatabaseWindowOptions options;
    options.modalMessages = modal_;
    database_ = new DatabaseWindow(app_, options, &main_);
  }
  return database_;
}

DatabaseWindow* SecondaryWindows::OpenDatabaseWindow() {
  DatabaseWindow* w = Database();
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}

ProblemWindow* SecondaryWindows::OpenProblemWindow() {
  if (!problems_) problems_ = new ProblemWindow(app_, Database()->Browser(), &main_);
  problems_->Reload();
  problems_->show();
  problems_->raise();
  return problems_;
}

bool SecondaryWindows::StepGame(int delta) {
  DatabaseWindow* w = Database();
  const int pos = w->Browser().Step(delta);
  if (pos == 0) {
    Say(tr("Database not opened!"));
    return false;
  }
  w->ChooseRow(pos);
  return w->LoadCurrentGame();
}

void SecondaryWindows::CopyFen() {
  std::string line;
  {
    auto game = app_.LockGame();
    line = FenTagLine(game->Params, game->CurBoard.b, game->SideToMove);
  }
  QApplication::clipboard()->setText(Q(line));
}

bool SecondaryWindows::PasteFen(const QString& text) {
  TGame copy = CopyOfShownGame(app_);
  BeginSetup(copy);
  std::string error;
  const TFenImport read = SetupImportFEN(copy, text.toStdString(), error);
  if (read == TFenImport::Error) Say(Q(error));
  if (read != TFenImport::Read) return false;
  FinishSetup(copy, copy.SideToMove);
  app_.StopEngines();
  app_.EditGame([&copy](TGame& g) { g = copy; });
  return true;
}

bool SecondaryWindows::PastePdn(const QString& text) {
  TGame copy = CopyOfShownGame(app_);
  std::string error;
  const TPdnPaste pasted = quorlin::PastePdn(copy, text.toStdString(), error);
  if (pasted == TPdnPaste::Refused) Say(Q(error));
  if (pasted != TPdnPaste::Added) return false;
  app_.StopEngines();
  app_.EditGame([&copy](TGame& g) { g = copy; });
  return true;
}

}  // namespace quorlin::gui
