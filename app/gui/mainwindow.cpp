#include "app/gui/mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/analysisdisplay.h"
#include "app/folders.h"
#include "app/gamenavigation.h"
#include "app/gui/newgamedialog.h"
#include "app/gui/secondarywindows.h"
#include "app/gui/picturesets.h"
#include "app/settings.h"
#include "app/timechoices.h"
#include "app/translations.h"
#include "app/windowsettings.h"
#include "engine/book.h"
#include "rules/movegen.h"

namespace quorlin::gui {

namespace {

constexpr int kTickMs = 25;
constexpr int kGraphHeight = 64;
constexpr int kLongPressMs = 600;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Side to move at `node` of the game.
TDColor SideAt(const TGame& game, int node) {
  const int depth = std::max(0, NodeDepth(game, node));
  const bool black = (depth % 2 == 1) != (game.Header.FirstMove == TDColor::black);
  return black ? TDColor::black : TDColor::white;
}

}  // namespace

QString MainWindow::T(const char* text) const { return Q(Translate(text)); }

MainWindow::MainWindow(TApplication& app, TMainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), app_(app), options_(options) {
  setWindowTitle("Quorlin Draughts");
  setWindowIcon(QIcon(Q(ProgramFolder) + "quorlin-draughts.png"));
  central_ = new QWidget(this);
  setCentralWidget(central_);
  central_->installEventFilter(this);

  board_ = new BoardView(central_);
  builtIn_ = BuiltInPictures();
  TPictureSet pictures = builtIn_;
  LoadBoardPictures(pictures, Q(Settings.BoardName));
  LoadPiecePictures(pictures, Q(Settings.PiecesName), Q(Settings.WhitePiecesName),
                    Q(Settings.BlackPiecesName));
  board_->SetPictures(pictures);
  board_->installEventFilter(this);
  connect(board_, &BoardView::squareTapped, this, &MainWindow::TapSquare);

  panel_ = new GamePanel(central_);
  connect(panel_, &GamePanel::nodeClicked, this, [this](int node) {
    CloseCommentPanel();
    SelectNode(node);
  });

  grid_ = new QTableWidget(central_);
  grid_->setColumnCount(2);
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setColumnWidth(0, 80);
  grid_->horizontalHeader()->setStretchLastSection(true);
  grid_->verticalHeader()->setDefaultSectionSize(20);
  QFont mono("Courier New");
  mono.setStyleHint(QFont::Monospace);
  mono.setPixelSize(14);
  grid_->setFont(mono);
  grid_->setFocusPolicy(Qt::NoFocus);

  graph_ = new EvalGraphView(central_);
  connect(graph_, &EvalGraphView::clicked, this, [this](double share) {
    int node = 0;
    {
      auto game = app_.LockGame();
      node = GraphNodeAt(*game, share * 1000.0, 1000.0);
    }
    SelectNode(node);
  });

  BuildButtons();
  BuildCommentPanel();
  BuildMenus();
  windows_ = new SecondaryWindows(*this, options_.modalMessages);

  if (options_.sound && !app_.MoveSoundPath().empty()) {
    sound_ = std::make_unique<QSoundEffect>();
    sound_->setSource(QUrl::fromLocalFile(Q(app_.MoveSoundPath())));
  }

  if (options_.rememberGeometry) {
    if (const auto g = ReadWindowGeometry(SettingsFilePath())) {
      setGeometry(g->left, g->top, g->width, g->height);
      if (g->maximized) setWindowState(Qt::WindowMaximized);
    } else {
      resize(1180, 760);
    }
  } else {
    resize(1180, 760);
  }

  RefreshModeActions();
  RefreshRatedLayout();
  RedrawBoard();
  RebuildMoveList();
  RefreshEngineOutput();

  tickClock_.start();
  timer_ = new QTimer(this);
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &MainWindow::OnTick);
  timer_->start(kTickMs);
}

MainWindow::~MainWindow() = default;

// --- Building ----------------------------------------------------------------------------

QAction* MainWindow::AddAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key,
                               std::function<void()> run) {
  auto* a = new QAction(text, this);
  a->setObjectName(name);
  if (!key.isEmpty()) a->setShortcut(key);
  a->setShortcutContext(Qt::WindowShortcut);
  connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
  if (menu) menu->addAction(a);
  addAction(a);  // shortcuts work while the menu bar is hidden too
  actions_[name] = a;
  return a;
}

QMenu* MainWindow::Menu(const QString& title) const {
  const auto it = menus_.find(title);
  return it == menus_.end() ? nullptr : it->second;
}

QAction* MainWindow::Action(const QString& name) const {
  const auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::AddPictureSetItems(QMenu* menu, const QString& prefix, const QStringList& sets,
                                    const QString& current, const std::function<void(const QString&)>& apply) {
  auto* group = new QActionGroup(this);
  for (const QString& set : sets) {
    QAction* a = AddAction(menu, prefix + set, set, {}, [apply, set] { apply(set); });
    a->setCheckable(true);
    a->setChecked(current == set);
    group->addAction(a);
  }
}

void MainWindow::BuildMenus() {
  auto menu = [this](const QString& title, const QString& shown) {
    QMenu* m = menuBar()->addMenu(shown);
    menus_[title] = m;
    return m;
  };
  QMenu* game = menu("Game", tr("&Game"));
  AddAction(game, "newGame", T("New Game") + "...", QKeySequence::New, [this] { ShowNewGameDialog(); });
  AddAction(game, "newStart", tr("New game from the start position"), QKeySequence("Ctrl+Shift+N"), [this] {
    evalHistory_.Clear();
    app_.NewGame(kBallotNone);
  });
  AddAction(game, "newBallot2", T("New (Ballot)") + " 2-moves", {}, [this] {
    evalHistory_.Clear();
    app_.NewGame(kBallotTwoMoves);
  });
  AddAction(game, "newBallotFull", T("New (Ballot)") + " Full", {}, [this] {
    evalHistory_.Clear();
    app_.NewGame(kBallotFull);
  });
  game->addSeparator();
  AddAction(game, "resign", tr("Resign"), {}, [this] { app_.Resign(); });
  AddAction(game, "offerDraw", tr("Offer draw"), {}, [this] { app_.OfferDraw(); });
  game->addSeparator();
  AddAction(game, "exit", tr("Exit"), QKeySequence::Quit, [this] { close(); });

  QMenu* move = menu("Move", tr("&Move"));
  AddAction(move, "startStop", T("Start/stop"), QKeySequence("Ctrl+G"), [this] {
    CloseCommentPanel();
    app_.StartStop();
  });
  AddAction(move, "mode", T("Analysis mode"), QKeySequence("Ctrl+M"), [this] {
    CloseCommentPanel();
    app_.SetMode(app_.Mode() == TPlayMode::Play ? TPlayMode::Analysis : TPlayMode::Play);
    RefreshModeActions();
    LayoutChildren();
  });
  move->addSeparator();
  AddAction(move, "previous", tr("Previous move"), QKeySequence::Undo, [this] { StepBack(); });
  AddAction(move, "next", tr("Next move"), QKeySequence::Redo, [this] {
    StepForward();
  })->setShortcuts({QKeySequence::Redo, QKeySequence("Ctrl+Y")});
  // The arrow keys do the same without a menu entry of their own.
  AddAction(nullptr, "previousArrow", tr("Previous move"), QKeySequence(Qt::Key_Left),
            [this] { StepBack(); });
  AddAction(nullptr, "nextArrow", tr("Next move"), QKeySequence(Qt::Key_Right), [this] { StepForward(); });
  AddAction(move, "first", tr("Start of the game"), QKeySequence(Qt::Key_Home), [this] { GoToFirst(); });
  AddAction(move, "last", tr("End of the line"), QKeySequence(Qt::Key_End), [this] { GoToLast(); });
  QAction* autoplay = AddAction(move, "autoplay", tr("Autoplay"), QKeySequence("Ctrl+P"),
                                [this] { app_.SetAutoplay(!app_.Autoplay()); });
  autoplay->setCheckable(true);
  move->addSeparator();
  AddAction(move, "comment", tr("Comment..."), QKeySequence("Ctrl+K"), [this] { OpenCommentPanel(); });
  QMenu* marks = move->addMenu(tr("Mark"));
  const char* const kMarks[] = {"_", "!!", "!", "!?", "?!", "?", "??"};
  for (int i = 0; i < 7; ++i) {
    AddAction(marks, QString("mark%1").arg(i), kMarks[i], {}, [this, i] { SetMark(kMarkKindMove, i); });
  }
  AddAction(move, "promote", tr("Promote line"), QKeySequence("Ctrl+Up"), [this] { PromoteCurrentLine(); });
  AddAction(move, "delete", tr("Delete line after move"), QKeySequence("Ctrl+Delete"),
            [this] { DeleteCurrentLine(); });

  QMenu* view = menu("View", tr("&View"));
  QAction* reverse = AddAction(view, "reverse", T("Reverse board"), QKeySequence("Ctrl+R"), [this] {
    app_.SetBoardReversed(!app_.BoardReversed());
    RedrawBoard();
  });
  reverse->setCheckable(true);
  QAction* blind =
      AddAction(view, "blind", T("Blind Play"), QKeySequence("Ctrl+B"), [this] { ToggleBlind(); });
  blind->setCheckable(true);
  AddAction(view, "display", tr("Engine output: none, book, analysis"), QKeySequence("Ctrl+D"), [this] {
    app_.CycleDisplayMode();
    LayoutChildren();
    RefreshEngineOutput();
    RefreshBookMoves();
  });
  view->addSeparator();
  auto toggle = [&](const QString& name, const QString& text, std::atomic<bool>& setting) {
    QAction* a = AddAction(view, name, text, {}, [this, &setting] {
      setting = !setting.load();
      RedrawBoard();
    });
    a->setCheckable(true);
    a->setChecked(setting.load());
  };
  toggle("coordinates", T("Coordinates"), Settings.Showcoords);
  toggle("highlight", T("Mark last move"), Settings.Highlightmoves);
  toggle("turkOneColor", T("Turkish Classic Board"), Settings.TurkOneColor);
  toggle("alquerque", tr("Line board"), Settings.AlquerqueBoard);
  view->addSeparator();
  QMenu* boards = view->addMenu(T("Board"));
  QMenu* pieces = view->addMenu(T("Pieces"));
  QStringList boardSets{"Default"}, pieceSets{"Default"};
  for (const QString& root : PictureRoots()) {
    for (const QString& d : QDir(root + "Boards").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      if (!boardSets.contains(d)) boardSets << d;
    }
    for (const QString& d : QDir(root + "Pieces").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      if (!pieceSets.contains(d)) pieceSets << d;
    }
  }
  AddPictureSetItems(boards, "board:", boardSets, Q(Settings.BoardName),
                     [this](const QString& set) { SetBoardPictures(set); });
  AddPictureSetItems(pieces, "pieces:", pieceSets, Q(Settings.PiecesName),
                     [this](const QString& set) { SetPiecePictures(set); });

  QMenu* variant = menu("Variant", tr("V&ariant"));
  variantGroup_ = new QActionGroup(this);
  for (int v = 1; v <= kVariantCount; ++v) {
    QAction* a = AddAction(variant, QString("variant%1").arg(v), T(VariantTable[v].Name.c_str()), {},
                           [this, v] { ChooseVariant(v); });
    a->setCheckable(true);
    a->setChecked(app_.CurrentVariant() == v);
    variantGroup_->addAction(a);
  }

  QMenu* options = menu("Options", tr("&Options"));
  auto option = [&](const QString& name, const QString& text, std::atomic<bool>& setting) {
    QAction* a = AddAction(options, name, text, {}, [&setting] { setting = !setting.load(); });
    a->setCheckable(true);
    a->setChecked(setting.load());
  };
  option("sound", T("Sound"), Settings.SoundOn);
  option("autoCapture", T("Auto capture"), Settings.AutoCapture);
  QMenu* time = options->addMenu(T("Time"));
  auto* timeGroup = new QActionGroup(this);
  for (const TTimeChoice& t : kTimeChoices) {
    QAction* a = AddAction(time, t.name, t.text, {}, [this, kind = t.kind, amount = t.amount] {
      Settings.GameTime = kind;
      Settings.TimeControlMin = amount;
      app_.ResetClock();
    });
    a->setCheckable(true);
    a->setChecked(Settings.GameTime.load() == t.kind && Settings.TimeControlMin.load() == t.amount);
    timeGroup->addAction(a);
  }

  QMenu* help = menu("Help", tr("&Help"));
  AddAction(help, "help", tr("Help"), QKeySequence::HelpContents, [this] { ShowHelp(); });
  AddAction(help, "about", tr("About Quorlin Draughts"), {}, [this] {
    QMessageBox::about(this, tr("About Quorlin Draughts"),
                       tr("Quorlin Draughts: play and study draughts in fourteen variants."));
  });

  // The small menu of the popup-menu button.
  popupMenu_ = new QMenu(this);
  popupMenu_->addAction(Action("startStop"));
  popupMenu_->addAction(Action("reverse"));
  popupMenu_->addAction(Action("mode"));
  popupMenu_->addAction(Action("blind"));
}

void MainWindow::BuildButtons() {
  const char* const kTips[kMainButtonCount] = {
      "Menu",    "Start/stop, board, mode", "Database", "Engine output",
      "Comment", "Previous move",           "Next move"};
  const char* const kLabels[kMainButtonCount] = {"\u2630", "\u22EE", "DB",    "\u2261",
                                                 "\u270E", "\u25C0", "\u25B6"};
  for (int b = 0; b < kMainButtonCount; ++b) {
    auto* button = new QToolButton(central_);
    button->setText(QString::fromUtf8(kLabels[b]));
    button->setToolTip(tr(kTips[b]));
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    buttons_[b] = button;
  }
  connect(buttons_[kButtonMainMenu], &QToolButton::clicked, this, [this] {
    CloseCommentPanel();
    QMenu drawer;
    for (const QString& t : {QString("Game"), QString("Move"), QString("View"), QString("Variant"),
                             QString("Options"), QString("Help")}) {
      drawer.addMenu(Menu(t));
    }
    drawer.exec(buttons_[kButtonMainMenu]->mapToGlobal(QPoint(0, buttons_[kButtonMainMenu]->height())));
  });
  connect(buttons_[kButtonPopupMenu], &QToolButton::clicked, this, [this] {
    CloseCommentPanel();
    popupMenu_->popup(
        buttons_[kButtonPopupMenu]->mapToGlobal(QPoint(buttons_[kButtonPopupMenu]->width(), 0)));
  });
  connect(buttons_[kButtonDisplay], &QToolButton::clicked, this, [this] {
    CloseCommentPanel();
    Action("display")->trigger();
  });
  connect(buttons_[kButtonComment], &QToolButton::clicked, this, [this] { OpenCommentPanel(); });
  connect(buttons_[kButtonPrevious], &QToolButton::clicked, this, [this] {
    CloseCommentPanel();
    StepBack();
  });
  // A long press on the next-move button turns autoplay on: one move every
  // 1.25 s until the line ends or the previous-move button is pressed.
  auto* hold = new QTimer(this);
  hold->setSingleShot(true);
  hold->setInterval(kLongPressMs);
  connect(buttons_[kButtonNext], &QToolButton::pressed, this, [this, hold] {
    if (!animating_ && app_.CanUserMove()) hold->start();
  });
  connect(buttons_[kButtonNext], &QToolButton::released, hold, &QTimer::stop);
  connect(hold, &QTimer::timeout, this, [this] {
    app_.SetAutoplay(true);
    autoplayByHold_ = true;
  });
  connect(buttons_[kButtonNext], &QToolButton::clicked, this, [this] {
    CloseCommentPanel();
    if (autoplayByHold_) {
      autoplayByHold_ = false;
      return;
    }
    StepForward();
  });
  resign_ = new QToolButton(central_);
  resign_->setText(tr("Resign"));
  connect(resign_, &QToolButton::clicked, this, [this] { app_.Resign(); });
  offerDraw_ = new QToolButton(central_);
  offerDraw_->setText(tr("Offer draw"));
  connect(offerDraw_, &QToolButton::clicked, this, [this] { app_.OfferDraw(); });
  resign_->hide();
  offerDraw_->hide();
}

void MainWindow::BuildCommentPanel() {
  commentPanel_ = new QFrame(central_);
  commentPanel_->setFrameShape(QFrame::StyledPanel);
  commentPanel_->setAutoFillBackground(true);
  auto* layout = new QHBoxLayout(commentPanel_);
  layout->setContentsMargins(4, 4, 4, 4);
  const char* const kMarks[] = {"_", "!!", "!", "!?", "?!", "?", "??"};
  for (int i = 0; i < 7; ++i) {
    auto* b = new QPushButton(kMarks[i], commentPanel_);
    b->setObjectName(QString("commentMark%1").arg(i));
    b->setFixedWidth(34);
    connect(b, &QPushButton::clicked, this, [this, i] {
      SetMark(kMarkKindMove, i);
      CloseCommentPanel();
    });
    layout->addWidget(b);
  }
  auto* promote = new QPushButton(QString::fromUtf8("\u2191"), commentPanel_);
  promote->setToolTip(tr("Promote line"));
  connect(promote, &QPushButton::clicked, this, [this] {
    PromoteCurrentLine();
    CloseCommentPanel();
  });
  auto* trash = new QPushButton(QString::fromUtf8("\U0001F5D1"), commentPanel_);
  trash->setToolTip(tr("Delete line after move"));
  connect(trash, &QPushButton::clicked, this, [this] {
    DeleteCurrentLine();
    CloseCommentPanel();
  });
  commentEdit_ = new QLineEdit(commentPanel_);
  commentEdit_->setObjectName("commentEdit");
  commentEdit_->installEventFilter(this);
  auto* store = new QPushButton("OK", commentPanel_);
  connect(store, &QPushButton::clicked, this, [this] { StoreComment(commentEdit_->text()); });
  connect(commentEdit_, &QLineEdit::returnPressed, this, [this] { StoreComment(commentEdit_->text()); });
  layout->addWidget(promote);
  layout->addWidget(trash);
  layout->addWidget(commentEdit_, 1);
  layout->addWidget(store);
  commentPanel_->hide();
}

// --- Layout ------------------------------------------------------------------------------

void MainWindow::LayoutChildren() {
  shownMode_ = app_.Mode();
  shownDisplay_ = app_.DisplayMode();
  const bool analysis = shownMode_ == TPlayMode::Analysis;
  const TMainLayout l = ComputeMainLayout(central_->width(), central_->height(), Settings.BrdSize.load(),
                                          app_.DisplayMode() != kDisplayNone);
  auto geom = [](QWidget* w, const TPixelRect& r) { w->setGeometry(r.x, r.y, r.w, r.h); };
  geom(board_, l.board);
  for (int b = 0; b < kMainButtonCount; ++b) {
    geom(buttons_[b], l.buttons[b]);
    QFont f = buttons_[b]->font();
    f.setPixelSize(std::max(10, l.buttonSize / 3));
    buttons_[b]->setFont(f);
  }
  geom(resign_, l.buttonSlots[0]);
  geom(offerDraw_, l.buttonSlots[1]);
  TPixelRect panel = l.gamePanel;
  graph_->setVisible(analysis && panel.h > 3 * kGraphHeight);
  if (graph_->isVisible()) {
    geom(graph_, {panel.x, panel.y + panel.h - kGraphHeight, panel.w, kGraphHeight});
    panel.h -= kGraphHeight + 4;
  }
  geom(panel_, panel);
  panel_->SetFontSize(l.panelFontSize);
  geom(grid_, l.grid);
  grid_->setVisible(l.gridVisible);
  grid_->raise();
  if (commentPanel_) {
    commentPanel_->setGeometry(l.gamePanel.x, l.gamePanel.y, l.gamePanel.w, 44);
    commentPanel_->raise();
  }
}

void MainWindow::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  LayoutChildren();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == central_ && event->type() == QEvent::Resize) LayoutChildren();
  if (watched == board_ && event->type() == QEvent::Paint && !firstPaintSent_) {
    firstPaintSent_ = true;
    QTimer::singleShot(0, this, [this] { emit firstPaint(); });
  }
  if (watched == commentEdit_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    CloseCommentPanel();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Drawing -----------------------------------------------------------------------------

void MainWindow::RedrawBoard() {
  if (animating_) {
    redrawAfterAnimation_ = true;
    return;
  }
  TBoardDrawState s;
  {
    auto game = app_.LockGame();
    s.board = game->CurBoard;
    s.params = game->Params;
    const int node = game->CurMovPos;
    if (Settings.Highlightmoves.load() && node > 0 && node < static_cast<int>(game->Moves.size())) {
      s.markSquares = LastMoveSquares(game->Moves[node]);
    }
  }
  s.reversed = app_.BoardReversed();
  s.reachable = reachable_;
  s.selected = reachable_.empty() ? 0 : selected_;
  s.blind = blind_;
  s.coordinates = Settings.Showcoords.load();
  s.turkOneColor = Settings.TurkOneColor.load();
  s.alquerque = Settings.AlquerqueBoard.load();
  board_->SetState(s);
  if (QAction* a = Action("reverse")) a->setChecked(s.reversed);
}

void MainWindow::RebuildMoveList() {
  TGame copy;
  {
    auto game = app_.LockGame();
    copy = *game;
  }
  panel_->Rebuild(copy);
  RefreshHeader();
  RefreshGraph();
  if (variantGroup_) {
    const int v = copy.Header.TypeOfGame;
    if (QAction* a = Action(QString("variant%1").arg(v))) a->setChecked(true);
  }
}

void MainWindow::RefreshHeader() {
  TPanelHeader h;
  if (app_.Mode() == TPlayMode::Play) {
    h.clocks = true;
    const auto [white, black] = app_.ClockTexts();
    h.left = Q(white);
    h.right = Q(black);
  } else {
    auto game = app_.LockGame();
    if (game->DBGameNo > 0) h.gameNumber = QString::number(game->DBGameNo);
    h.title = (game->Header.Medals & 1) ? T("Solve the problem")
                                        : Q(game->WhiteName) + " - " + Q(game->BlackName) + " ";
    h.subtitle = Q(game->Tournament);
    if (game->Header.Date.Year != 0) h.subtitle += QString(" [%1]").arg(game->Header.Date.Year);
  }
  panel_->SetHeader(h);
}

void MainWindow::RefreshEngineOutput() {
  const TAnalysisInfo& info = app_.EngineOutput();
  QString status;
  std::vector<TDisplayRow> rows;
  {
    std::lock_guard lock(info.Used);
    status = Q(EngineStatusLine(info));
    if (app_.DisplayMode() == kDisplayAnalysis) rows = AnalysisRows(info, status.toStdString());
  }
  panel_->SetStatus(status);
  if (app_.DisplayMode() == kDisplayAnalysis) {
    grid_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
      for (int c = 0; c < 2; ++c) {
        auto* item = new QTableWidgetItem(Q(c == 0 ? rows[r].first : rows[r].second).trimmed());
        item->setForeground(QColor::fromRgba(rows[r].argb));
        grid_->setItem(r, c, item);
      }
    }
  }
  RecordEvaluation();
}

void MainWindow::RefreshBookMoves() {
  if (app_.DisplayMode() != kDisplayBook) return;
  TOpenMoves moves;
  app_.LookupBookMoves(moves);
  const std::vector<TDisplayRow> rows = BookRows(moves);
  grid_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    for (int c = 0; c < 2; ++c) {
      auto* item = new QTableWidgetItem(Q(c == 0 ? rows[r].first : rows[r].second));
      item->setForeground(QColor::fromRgba(rows[r].argb));
      grid_->setItem(r, c, item);
    }
  }
  if (!moves.openposcomm.empty()) panel_->SetStatus(Q(moves.openposcomm));
}

void MainWindow::RecordEvaluation() {
  const TAnalysisInfo& info = app_.EngineOutput();
  float score = 0;
  int node = 0;
  {
    std::lock_guard lock(info.Used);
    if (!BestScore(info, score)) return;
    node = info.CurrentGamePos;
  }
  {
    auto game = app_.LockGame();
    if (node < 0 || node >= static_cast<int>(game->Moves.size()) || game->Moves[node].free) return;
    evalHistory_.Record(node, score, SideAt(*game, node));
  }
  RefreshGraph();
}

void MainWindow::RefreshGraph() {
  if (!graph_->isVisible() && app_.Mode() != TPlayMode::Analysis) return;
  std::vector<TGraphPoint> points;
  int plies = 0, current = -1;
  {
    auto game = app_.LockGame();
    points = GraphPoints(*game, evalHistory_);
    const std::vector<int> line = MainLineNodes(*game);
    plies = static_cast<int>(line.size());
    if (game->CurMovPos == 0) {
      current = 0;
    } else {
      for (int i = 0; i < plies; ++i) {
        if (line[i] == game->CurMovPos) current = i + 1;
      }
    }
  }
  graph_->SetData(std::move(points), plies, current);
}

void MainWindow::RefreshRatedLayout() {
  const bool rated = app_.RatedLayout();
  for (int b : {kButtonMainMenu, kButtonPopupMenu, kButtonDatabase, kButtonDisplay, kButtonComment,
                kButtonPrevious, kButtonNext}) {
    buttons_[b]->setVisible(!rated);
  }
  resign_->setVisible(rated);
  offerDraw_->setVisible(rated);
  LayoutChildren();
}

void MainWindow::RefreshModeActions() {
  const bool analysis = app_.Mode() == TPlayMode::Analysis;
  if (QAction* a = Action("mode")) a->setText(analysis ? T("Play mode") : T("Analysis mode"));
  RefreshHeader();
}

// --- Timer -------------------------------------------------------------------------------

void MainWindow::ResetTickGaps() {
  tickGaps_.clear();
  longestTickUs_ = 0;
  lastTickUs_ = -1;
}

void MainWindow::OnTick() {
  const int64_t nowUs = tickClock_.nsecsElapsed() / 1000;
  if (lastTickUs_ >= 0) tickGaps_.push_back(nowUs - lastTickUs_);
  lastTickUs_ = nowUs;
  if (ticking_) return;
  ticking_ = true;
  const TTickReport r = app_.Tick();
  if (r.LayoutChanged) RefreshRatedLayout();
  if (app_.Mode() != shownMode_ || app_.DisplayMode() != shownDisplay_) {
    // The mode changed (menu, new-game window or a game loaded elsewhere).
    RefreshModeActions();
    LayoutChildren();
    RefreshGraph();
  }
  if (r.Autoplay) ShowMoves(*r.Autoplay);
  if (r.RedrawBoard) RedrawBoard();
  if (r.RebuildMoveList) {
    RebuildMoveList();
  } else if (r.RepaintPanel) {
    {
      auto game = app_.LockGame();
      panel_->SetCurrentNode(game->CurMovPos);
    }
    RefreshHeader();
  }
  if (r.PlayMoveSound) PlayMoveSound();
  if (r.EngineOutputChanged) RefreshEngineOutput();
  if (r.BookMovesChanged) RefreshBookMoves();
  const bool autoplay = app_.Autoplay();
  if (QAction* a = Action("autoplay")) a->setChecked(autoplay);
  buttons_[kButtonNext]->setText(QString::fromUtf8(autoplay ? "\u23E9" : "\u25B6"));
  for (const std::string& m : r.Messages) ShowMessage(Q(m));
  longestTickUs_ = std::max<int64_t>(longestTickUs_, tickClock_.nsecsElapsed() / 1000 - nowUs);
  ticking_ = false;
}

void MainWindow::ShowMessage(const QString& text) {
  messages_ << text;
  if (!options_.modalMessages) return;
  auto* box = new QMessageBox(QMessageBox::Information, "Quorlin Draughts", text, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();  // never blocks the timer
}

// --- Moves -------------------------------------------------------------------------------

void MainWindow::TapSquare(int square) {
  CloseCommentPanel();
  if (animating_ || square <= 0) return;
  if (!app_.CanUserMove()) return;
  TMvs list;
  uint8_t count = 0;
  {
    auto game = app_.LockGame();
    GenerateMoves(game->CurBoard, static_cast<int>(game->SideToMove), list, count, game->Params, true);
  }
  const std::optional<TMove> move = ring_.Tap(square, list, count);
  reachable_ = move ? std::vector<int>{} : ring_.Reachable(list, count);
  selected_ = square;
  if (!move) {
    RedrawBoard();
    return;
  }
  const TUserMoveResult result = app_.UserMove(*move);
  if (!result.Accepted) {
    RedrawBoard();
    return;
  }
  ShowMoves(result.Shown);
}

void MainWindow::ShowMoves(const TMovesToShow& shown) {
  if (shown.Moves.empty()) {
    RedrawBoard();
    return;
  }
  animationParams_ = shown.Params;
  TBoard board = shown.Before;
  bool first = true;
  for (const TMove& m : shown.Moves) {
    const std::vector<TBoard> steps = MoveSteps(board, m, shown.Params);
    for (size_t i = 0; i < steps.size(); ++i) {
      const int pause = i == 0 ? (first ? 0 : options_.forcedMoveMs) : options_.captureStepMs;
      animation_.push_back({steps[i], pause, true});
    }
    board = steps.back();
    first = false;
  }
  if (!animating_) {
    animating_ = true;
    redrawAfterAnimation_ = true;
    NextAnimationStep();
  }
}

void MainWindow::NextAnimationStep() {
  if (animation_.empty()) {
    animating_ = false;
    if (redrawAfterAnimation_) {
      redrawAfterAnimation_ = false;
      RedrawBoard();
    }
    return;
  }
  const TAnimationStep step = animation_.front();
  auto show = [this, step] {
    animation_.pop_front();
    TBoardDrawState s = board_->State();
    s.board = step.board;
    s.params = animationParams_;
    s.markSquares.clear();
    s.reachable.clear();
    s.selected = 0;
    board_->SetState(s);
    if (step.sound) PlayMoveSound();
    NextAnimationStep();
  };
  if (step.pauseMs <= 0) {
    show();
  } else {
    QTimer::singleShot(step.pauseMs, this, show);
  }
}

void MainWindow::PlayMoveSound() {
  if (sound_ && Settings.SoundOn.load()) sound_->play();
}

// --- Navigation and editing ----------------------------------------------------------------

void MainWindow::StepBack() {
  if (animating_) return;
  app_.SetAutoplay(false);
  app_.StepBack();
}

void MainWindow::StepForward() {
  if (animating_) return;
  if (const auto shown = app_.StepForward()) ShowMoves(*shown);
}

void MainWindow::GoToFirst() {
  if (animating_) return;
  app_.SetAutoplay(false);
  app_.GoToNode(0, true);
}

void MainWindow::GoToLast() {
  if (animating_) return;
  int node = 0;
  {
    auto game = app_.LockGame();
    node = game->CurMovPos;
    for (int next = FirstChild(*game, node); next != 0; next = FirstChild(*game, next)) node = next;
  }
  app_.SetAutoplay(false);
  app_.GoToNode(node, true);
}

void MainWindow::SelectNode(int node) {
  if (animating_ || node < 0) return;
  app_.SelectNode(node);
}

void MainWindow::SetMark(int kind, int value) {
  app_.EditGame([&](TGame& g) { SetMoveMark(g, g.CurMovPos, kind, value); });
}

void MainWindow::StoreComment(const QString& text) {
  const std::string t = text.toStdString();
  app_.EditGame([&](TGame& g) { SetMoveComment(g, g.CurMovPos, t); });
  CloseCommentPanel();
}

void MainWindow::PromoteCurrentLine() {
  app_.EditGame([](TGame& g) { PromoteLine(g, g.CurMovPos); });
}

void MainWindow::DeleteCurrentLine() {
  int parent = -1;
  {
    auto game = app_.LockGame();
    if (game->CurMovPos > 0) parent = game->Moves[game->CurMovPos].parent;
  }
  if (parent < 0) return;
  app_.StopEngines();
  app_.EditGame([](TGame& g) { DeleteSubtree(g, g.CurMovPos); });
  app_.GoToNode(parent, true);
}

void MainWindow::ToggleBlind() {
  blind_ = !blind_;
  if (QAction* a = Action("blind")) a->setChecked(blind_);
  RedrawBoard();
}

void MainWindow::OpenCommentPanel() {
  if (popupMenu_) popupMenu_->hide();
  {
    auto game = app_.LockGame();
    commentEdit_->setText(Q(game->Comments[game->CurMovPos].CommentAft));
  }
  commentPanel_->show();
  commentPanel_->raise();
  commentEdit_->setFocus();
}

void MainWindow::CloseCommentPanel() {
  if (commentPanel_) commentPanel_->hide();
  if (popupMenu_) popupMenu_->hide();
}

bool MainWindow::CommentPanelOpen() const { return commentPanel_ && commentPanel_->isVisible(); }

void MainWindow::ChangePictures(const std::function<void(TPictureSet&)>& change) {
  TPictureSet pictures = board_->Pictures();
  change(pictures);
  board_->SetPictures(pictures);
  RedrawBoard();
}

void MainWindow::SetBoardPictures(const QString& name) {
  Settings.BoardName = name.toStdString();
  ChangePictures([&](TPictureSet& p) {
    p.light = builtIn_.light;
    p.dark = builtIn_.dark;
    LoadBoardPictures(p, name);
  });
}

void MainWindow::SetPiecePictures(const QString& name) {
  Settings.PiecesName = name.toStdString();
  ChangePictures([&](TPictureSet& p) {
    p.ws = builtIn_.ws;
    p.wk = builtIn_.wk;
    p.bs = builtIn_.bs;
    p.bk = builtIn_.bk;
    LoadPiecePictures(p, name, Q(Settings.WhitePiecesName), Q(Settings.BlackPiecesName));
  });
}

void MainWindow::ChooseVariant(int variant) {
  CloseCommentPanel();
  evalHistory_.Clear();
  bool noMoves = false;
  {
    auto game = app_.LockGame();
    noMoves = FirstChild(*game, 0) == 0;
  }
  app_.SelectVariant(variant, false);
  // Moves already played stay when the board keeps its shape; a game without
  // moves starts in the chosen variant's own start position.
  if (noMoves) app_.NewGame(kBallotNone);
  ring_.Clear();
  reachable_.clear();
  RedrawBoard();
  RebuildMoveList();
}

void MainWindow::ShowNewGameDialog() {
  CloseCommentPanel();
  const int variant = app_.CurrentVariant();
  NewGameDialog dialog(app_.EngineFiles(),
                       EngineOpts[std::clamp(variant, 0, kVariantCount)].UserRating.load(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  for (const TTimeChoice& t : kTimeChoices) {
    if (QAction* a = Action(t.name))
      a->setChecked(Settings.GameTime.load() == t.kind && Settings.TimeControlMin.load() == t.amount);
  }
  evalHistory_.Clear();
  app_.StartGame(dialog.Choice());
  RefreshModeActions();
  LayoutChildren();
}

void MainWindow::ShowHelp() {
  QMessageBox::information(
      this, tr("Help"),
      tr("<b>Moving</b>: tap (click) the piece and then its destination, or drag the piece. When several "
         "captures are possible, tap more squares of the capture you mean (a captured piece or a landing "
         "square) until only one fits. After the first tap the squares the piece can reach are "
         "marked.<br><br>"
         "<b>Modes</b>: in play mode the engine answers your moves; in analysis mode you move both sides and "
         "Start/stop (Ctrl+G) lets the engine analyse the position.<br><br>"
         "<b>Keys</b>: Ctrl+N new game, Ctrl+Z / Left previous move, Ctrl+Y / Right next move, Home / End "
         "start and end of the line, Ctrl+R reverse board, Ctrl+M switch mode, Ctrl+D engine output, "
         "Ctrl+K comment, Ctrl+Q quit."));
}

// --- Closing -------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* e) {
  if (options_.askBeforeClosing &&
      QMessageBox::question(this, "Quorlin Draughts", T("Close the program?"),
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    e->ignore();
    return;
  }
  timer_->stop();
  app_.StopEngines();
  const bool maximized = isMaximized();
  const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
  app_.Shutdown();
  if (options_.rememberGeometry) {
    WriteWindowGeometry(SettingsFilePath(), {g.x(), g.y(), g.width(), g.height(), maximized});
  }
  e->accept();
}

}  // namespace quorlin::gui
