#pragma once
// The main window: a thin adapter over the application object. It shows the
// board, the game panel, the engine output and the evaluation graph, turns
// taps, drags, buttons, menus and keys into the application's operations, and
// every 25 ms calls the application's tick, the only place where what the
// engine threads did reaches the screen.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/boardinput.h"
#include "app/evalgraph.h"
#include "app/gui/boardview.h"
#include "app/gui/evalgraphview.h"
#include "app/gui/gamepanel.h"
#include "app/windowlayout.h"

class QAction;
class QActionGroup;
class QFrame;
class QLineEdit;
class QMenu;
class QSoundEffect;
class QTableWidget;
class QTimer;
class QToolButton;

namespace quorlin::gui {

class SecondaryWindows;

struct TMainWindowOptions {
  bool askBeforeClosing = true;  // "Close the program?"
  bool modalMessages = true;     // false: messages are only recorded (tests, screenshots)
  bool rememberGeometry = true;  // window size and position in the settings
  bool sound = true;             // play the move sound (when the setting allows)
  int captureStepMs = 150;       // pause between the steps of a capture
  int forcedMoveMs = 200;        // pause before a forced reply is shown
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(TApplication& app, TMainWindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- Parts, for tests and for windows added later -------------------------------
  BoardView* Board() const { return board_; }
  GamePanel* Panel() const { return panel_; }
  QTableWidget* Grid() const { return grid_; }
  EvalGraphView* Graph() const { return graph_; }
  QToolButton* Button(TMainButton b) const { return buttons_[b]; }
  QToolButton* ResignButton() const { return resign_; }
  QToolButton* DrawButton() const { return offerDraw_; }
  // Menus of the menu bar by their English title ("Game", "Move", "View",
  // "Variant", "Options", "Help"); other windows add their items here.
  QMenu* Menu(const QString& title) const;
  QAction* Action(const QString& name) const;  // by objectName
  TApplication& App() const { return app_; }
  // Database, search, game information, problems, setup, settings.
  SecondaryWindows* Windows() const { return windows_; }

  // --- What a player does -----------------------------------------------------------
  void TapSquare(int square);  // a tap on a square of the board
  void StepBack();
  void StepForward();
  void GoToFirst();
  void GoToLast();
  void SelectNode(int node);
  void SetMark(int kind, int value);
  void StoreComment(const QString& text);
  void PromoteCurrentLine();
  void DeleteCurrentLine();
  void ToggleBlind();
  void OpenCommentPanel();
  void CloseCommentPanel();
  bool CommentPanelOpen() const;
  void SetBoardPictures(const QString& name);
  void SetPiecePictures(const QString& name);

  bool Animating() const { return animating_; }
  bool Blind() const { return blind_; }
  // Messages shown (or recorded) so far, oldest first.
  const QStringList& Messages() const { return messages_; }
  // Gaps between consecutive timer ticks in microseconds, since the last reset.
  std::vector<int64_t> TickGaps() const { return tickGaps_; }
  // Longest time one tick took, in microseconds, since the last reset.
  int64_t LongestTickWork() const { return longestTickUs_; }
  void ResetTickGaps();
  TEvalHistory& EvalHistory() { return evalHistory_; }

 public slots:
  void OnTick();

 signals:
  void firstPaint();

 protected:
  void resizeEvent(QResizeEvent*) override;
  void closeEvent(QCloseEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildButtons();
  void BuildCommentPanel();
  QAction* AddAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key,
                     std::function<void()> run);
  // One checkable item per picture set; the current one is checked.
  void AddPictureSetItems(QMenu* menu, const QString& prefix, const QStringList& sets, const QString& current,
                          const std::function<void(const QString&)>& apply);
  // Changes the board view's pictures and redraws.
  void ChangePictures(const std::function<void(TPictureSet&)>& change);
  void LayoutChildren();
  void RedrawBoard();
  void RebuildMoveList();
  void RefreshHeader();
  void RefreshEngineOutput();
  void RefreshBookMoves();
  void RecordEvaluation();
  void RefreshGraph();
  void RefreshRatedLayout();
  void RefreshModeActions();
  void ShowMessage(const QString& text);
  void ShowMoves(const TMovesToShow& shown);
  void NextAnimationStep();
  void PlayMoveSound();
  void ShowNewGameDialog();
  void ChooseVariant(int variant);
  void ShowHelp();
  QString T(const char* text) const;

  TApplication& app_;
  TMainWindowOptions options_;
  QWidget* central_;
  BoardView* board_;
  GamePanel* panel_;
  QTableWidget* grid_;
  EvalGraphView* graph_;
  std::array<QToolButton*, kMainButtonCount> buttons_{};
  QToolButton* resign_;
  QToolButton* offerDraw_;
  QFrame* commentPanel_ = nullptr;
  QLineEdit* commentEdit_ = nullptr;
  QMenu* popupMenu_ = nullptr;
  QTimer* timer_;
  std::map<QString, QMenu*> menus_;
  std::map<QString, QAction*> actions_;
  QActionGroup* variantGroup_ = nullptr;
  std::unique_ptr<QSoundEffect> sound_;
  SecondaryWindows* windows_ = nullptr;

  TPictureSet builtIn_;  // the program's own pictures, for sets that lack one
  TTapRing ring_;
  std::vector<int> reachable_;
  int selected_ = 0;
  bool blind_ = false;
  bool ticking_ = false;
  bool firstPaintSent_ = false;
  bool autoplayByHold_ = false;            // the press that turned autoplay on is not also a step
  TPlayMode shownMode_ = TPlayMode::Play;  // mode and display mode the layout was made for
  int shownDisplay_ = -1;

  // Step-by-step display: the boards still to show, each with its pause.
  struct TAnimationStep {
    TBoard board;
    int pauseMs;
    bool sound;
  };
  std::deque<TAnimationStep> animation_;
  TGameParams animationParams_;
  bool animating_ = false;
  bool redrawAfterAnimation_ = false;

  TEvalHistory evalHistory_;
  QStringList messages_;
  QElapsedTimer tickClock_;
  int64_t lastTickUs_ = -1;
  std::vector<int64_t> tickGaps_;
  int64_t longestTickUs_ = 0;
};

}  // namespace quorlin::gui
