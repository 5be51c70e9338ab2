#include "app/gui/windowshots.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QSpinBox>
#include <QPixmap>
#include <QScrollBar>
#include <QListView>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "app/application.h"
#include "app/headersearch.h"
#include "app/gui/databasewindow.h"
#include "app/gui/dblistmodel.h"
#include "app/gui/gameinfodialog.h"
#include "app/gui/mainwindow.h"
#include "app/gui/newgamedialog.h"
#include "app/gui/problemwindow.h"
#include "app/gui/searchdialog.h"
#include "app/gui/secondarywindows.h"
#include "app/gui/settingsdialog.h"
#include "app/gui/setupdialog.h"
#include "app/searchform.h"
#include "app/settings.h"
#include "games/dbsearch.h"

namespace quorlin::gui {

namespace {

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Opens `db` in the database window; the setting it changes is put back.
bool OpenForTool(DatabaseWindow* window, const std::string& db) {
  const std::string saved = Settings.Database;
  const bool ok = window->OpenDatabase(QString::fromStdString(db));
  Settings.Database = saved;
  if (!ok) {
    std::cerr << "quorlin-draughts: --db: " << db << ": "
              << (window->Messages().isEmpty() ? std::string("cannot open") : window->Messages().back().toStdString())
              << "\n";
  }
  return ok;
}

}  // namespace

int WindowScreenshot(MainWindow& main, const std::string& name, const std::string& db, const std::string& out,
                     int width, int height) {
  TApplication& app = main.App();
  SecondaryWindows* hub = main.Windows();
  main.show();
  if (!db.empty() && !OpenForTool(hub->Database(), db)) return 2;

  std::unique_ptr<QWidget> owned;
  QWidget* shown = nullptr;
  if (name == "database") {
    shown = hub->OpenDatabaseWindow();
  } else if (name == "search") {
    auto* search = new SearchDialog(app, {}, &main);
    search->White->setText("Anna");
    search->YearStart->setValue(1980);
    owned.reset(search);
  } else if (name == "gameinfo") {
    if (hub->Database()->Browser().Count() > 0) hub->Database()->LoadCurrentGame();
    owned = std::make_unique<GameInfoDialog>(app, &main);
  } else if (name == "problem") {
    ProblemWindow* problems = hub->OpenProblemWindow();
    problems->Next();
    shown = problems;
  } else if (name == "setup") {
    owned = std::make_unique<SetupDialog>(app, main.Board()->Pictures(), &main);
  } else if (name == "newgame") {
    owned = std::make_unique<NewGameDialog>(app.EngineFiles(), 2000, &main);
  } else if (name == "settings") {
    owned = std::make_unique<SettingsDialog>(app, &main);
  } else {
    std::cerr << "quorlin-draughts: --window: no window \"" << name << "\" (expected " << kWindowNames << ")\n";
    return 2;
  }
  if (owned) shown = owned.get();
  // The windows keep the size they open with; a size asked for replaces it.
  if (width > 0 && height > 0) shown->resize(width, height);
  shown->show();
  Settle(400);
  const bool saved = shown->grab().save(QString::fromStdString(out));
  shown->hide();
  if (!saved) std::cerr << "quorlin-draughts: cannot write " << out << "\n";
  return saved ? 0 : 1;
}

int MeasureDatabaseWindow(MainWindow& main, const std::string& db) {
  DatabaseWindow* window = main.Windows()->OpenDatabaseWindow();
  window->resize(900, 700);
  Settle(200);
  QListView* table = window->Table();
  auto t0 = std::chrono::steady_clock::now();
  if (!OpenForTool(window, db)) return 2;
  table->viewport()->repaint();
  const double firstRows = MsSince(t0);
  const int count = window->Browser().Count();
  const int rowsRead = window->Model()->RecordsRead();

  t0 = std::chrono::steady_clock::now();
  table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum() / 2);
  table->viewport()->repaint();
  const double middle = MsSince(t0);
  t0 = std::chrono::steady_clock::now();
  window->ScrollToEnd();
  table->viewport()->repaint();
  const double end = MsSince(t0);

  TSearchForm form;
  form.white = "smith";
  TSearchInfo criteria;
  std::string error;
  BuildSearchInfo(form, criteria, error);
  TDBList found;
  t0 = std::chrono::steady_clock::now();
  HeaderPass(window->Browser().Db(), criteria, found);
  const double search = MsSince(t0);
  t0 = std::chrono::steady_clock::now();
  window->ShowFound(found);
  table->viewport()->repaint();
  const double foundShown = MsSince(t0);

  std::printf("games %d\n", count);
  std::printf("open to first rows drawn %.1f ms (%d index records read)\n", firstRows, rowsRead);
  std::printf("scroll to the middle %.1f ms, to the end %.1f ms\n", middle, end);
  std::printf("header search \"%s\": %d games found in %.1f ms, listed in %.1f ms\n", form.white.c_str(),
              found.count, search, foundShown);
  std::fflush(stdout);
  return 0;
}

}  // namespace quorlin::gui
