#pragma once
// The database window: the game list of the open database (read on demand,
// so large databases open at once), with buttons to load the chosen game
// into the main window, save the shown game, search, delete or undelete,
// jump to the end and show every game again, and a menu to open, create,
// clean up and delete databases, import and export PDN files (as background
// work with a progress bar and a cancel button) and download databases.
// A .pdn file dropped on the window is imported.
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

#include "app/backgroundjob.h"
#include "app/dbbrowser.h"
#include "app/dblistlayout.h"
#include "app/pdntransfer.h"

class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class DBListModel;

struct TDatabaseWindowOptions {
  bool modalMessages = true;  // false: messages and questions are only recorded (tests, screenshots)
};

class DatabaseWindow : public QWidget {
  Q_OBJECT
 public:
  DatabaseWindow(TApplication& app, TDatabaseWindowOptions options = {}, QWidget* parent = nullptr);
  ~DatabaseWindow() override;

  TDatabaseBrowser& Browser() { return browser_; }
  DBListModel* Model() const { return model_; }
  QListView* Table() const { return table_; }
  QLabel* Header() const { return header_; }
  QMenu* Drawer() const { return drawer_; }
  QToolButton* Button(int button) const { return buttons_[button]; }
  const QStringList& Messages() const { return messages_; }

  // --- What a user does --------------------------------------------------------------
  bool OpenDatabase(const QString& path);
  bool CreateDatabase(const QString& name);
  void ChooseRow(int listIndex);  // 1-based
  // "Load": the current row's game into the main window.
  bool LoadCurrentGame();
  // "Save": the game-information window for the shown game.
  void SaveGame();
  void DeleteOrUndelete();
  void ShowAll();
  // After a save: every game, scrolled to the end.
  void ShowSaved();
  void ScrollToEnd();
  void OpenSearch();
  void ShowFound(TDBList found);
  bool CleanUp();
  // Asks first (answered yes without modal messages).
  bool DeleteDatabase();
  void OpenDownloadWindow();

  // PDN files, as background work.
  bool StartImport(const QString& pdnPath);
  bool StartExport(const QString& pdnPath);
  bool TransferRunning() const { return job_.Active(); }
  void CancelTransfer() { job_.Cancel(); }
  QProgressBar* Progress() const { return progress_; }

 signals:
  // A game of the list was loaded into the main window.
  void gameLoaded();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildDrawer();
  void BuildButtons();
  void LayoutWindow();
  void Refresh();
  void Say(const QString& text);
  bool Ask(const QString& question);
  void ShowTransferRunning();
  void PollTransfer();
  void EndTransfer();

  TApplication& app_;
  TDatabaseWindowOptions options_;
  TDatabaseBrowser browser_;
  DBListModel* model_ = nullptr;
  QMenu* drawer_ = nullptr;
  QWidget* panel_ = nullptr;
  std::array<QToolButton*, kDBButtonCount> buttons_{};
  QLabel* header_ = nullptr;
  QListView* table_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QTimer* timer_ = nullptr;
  QStringList messages_;

  // The transfer running: kind, files, and what the job wrote (read after Join).
  TBackgroundJob job_;
  bool importing_ = false;
  std::string transferPdn_, transferDb_;
  TPdnTransferResult transferResult_;
};

}  // namespace quorlin::gui
