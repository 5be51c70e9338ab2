// The main window driven as a player drives it, offscreen: taps and drags on
// squares, keys, clicks on the move list, the comment panel, menus. Results are
// checked in the game record and in the board's data; where the picture
// matters, single pixels of the rendered board.
#include "app/gui/mainwindow.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <memory>

#include "app/application.h"
#include "app/boardgeometry.h"
#include "app/folders.h"
#include "app/gamenavigation.h"
#include "app/settings.h"
#include "app/translations.h"
#include "gui_sandbox.h"
#include "rules/fen.h"
#include "rules/notation.h"

using namespace quorlin;
using namespace quorlin::gui;

class MainWindowTest : public QObject {
  Q_OBJECT

 public:
  std::atomic<int64_t> now{1'000'000};  // the game clock, in centiseconds

 private:
  std::unique_ptr<TApplication> app;
  std::unique_ptr<MainWindow> w;

  TGameParams Params() { return app->LockGame()->Params; }
  int Sq(const char* name) { return FindAlphaSquare(Params(), name); }

  // Start and landing squares of the shown position's last move: "c3-d4", "c3:e5:c7".
  QString LastMove() {
    auto g = app->LockGame();
    if (g->CurMovPos == 0) return "-";
    const TMove& m = g->Moves[g->CurMovPos];
    std::string out = SquareText(m.mv[0], g->Params, kStyleExtended, true);
    if (m.lt == 0)
      return QString::fromStdString(out + "-" + SquareText(m.mv[1], g->Params, kStyleExtended, true));
    for (int i = 1; i <= m.lt; ++i) {
      out += ':';
      out += SquareText(m.mv[2 * i], g->Params, kStyleExtended, true);
    }
    return QString::fromStdString(out);
  }

  int CurrentNode() { return app->LockGame()->CurMovPos; }

  void Tap(int square) {
    QTest::mouseClick(w->Board(), Qt::LeftButton, {}, w->Board()->SquareCentre(square));
  }

  void Settle() {
    QTRY_VERIFY_WITH_TIMEOUT(!w->Animating(), 5000);
    QTest::qWait(80);  // a few timer ticks
  }

  // An analysis-mode game of `variant`, White to move from the given pieces
  // ("wc3" white man, "Wc3" white king, "bd4", "Bd4") when there are any.
  void Fresh(int variant, const QStringList& pieces = {}) {
    app->StopEngines();
    app->WaitIdle();
    app->SetMode(TPlayMode::Analysis);
    app->SelectVariant(variant, false);
    app->NewGame(kBallotNone);
    app->WaitIdle();
    if (!pieces.isEmpty()) {
      app->EditGame([&](TGame& g) {
        TBrd cells{};
        for (const QString& p : pieces) {
          const int sq = FindAlphaSquare(g.Params, p.mid(1).toStdString());
          const QChar k = p[0];
          cells[sq] = k == 'w' ? kWhiteMan : k == 'W' ? kWhiteKing : k == 'b' ? kBlackMan : kBlackKing;
        }
        const int side = 0;
        const TGameParams params = g.Params;
        const uint8_t type = g.Header.TypeOfGame;
        ClearGame(g);
        g.Params = params;
        g.Header.TypeOfGame = type;
        g.StartBoard = cells;
        g.Header.FirstMove = side ? TDColor::black : TDColor::white;
        ShowNode(g, 0);
      });
    }
    Settle();
  }

  // A Russian game against the engine with the given time control.
  void PlayModeGame(int gameTime, int amount) {
    Fresh(kRussian);
    Settings.GameTime = gameTime;
    Settings.TimeControlMin = amount;
    app->SetMode(TPlayMode::Play);
    app->NewGame(kBallotNone);
    Settle();
  }

  // Plays moves given as "c3-d4" through taps on their start and destination.
  void PlayByTaps(const std::vector<std::pair<const char*, const char*>>& moves) {
    for (auto [from, to] : moves) {
      const int before = CurrentNode();
      Tap(Sq(from));
      if (CurrentNode() == before) Tap(Sq(to));
      Settle();
    }
  }

 private slots:
  void initTestCase() {
    TApplicationOptions o;
    o.HashMegabytes = 16;
    o.Clock = [this] { return now.load(); };
    o.BookMoveDelayMs = 0;
    app = std::make_unique<TApplication>(o);
    Settings.AutoCapture = false;  // each test plays both sides itself
    TMainWindowOptions wo;
    wo.askBeforeClosing = false;
    wo.modalMessages = false;
    wo.rememberGeometry = false;
    wo.sound = false;
    wo.captureStepMs = 5;
    wo.forcedMoveMs = 5;
    w = std::make_unique<MainWindow>(*app, wo);
    w->resize(1100, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    app->WaitIdle();
  }

  void cleanupTestCase() {
    app->StopEngines();
    w->close();
    app->Shutdown();
  }

  // --- Taps become moves ----------------------------------------------------------

  void tapsBecomeMoves_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<QStringList>("taps");
    QTest::addColumn<QString>("played");
    const QStringList start;
    const QStringList twoRoutes{"wc3", "bd4", "bd6", "bb4", "bb6", "bh8"};
    QTest::newRow("Russian quiet move")
        << int(kRussian) << start << false << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("Russian reversed board")
        << int(kRussian) << start << true << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("Russian destination first")
        << int(kRussian) << start << false << QStringList{"d4", "c3"} << "c3-d4";
    QTest::newRow("Russian only move of a piece")
        << int(kRussian) << start << false << QStringList{"a3"} << "a3-b4";
    QTest::newRow("Russian stray tap first")
        << int(kRussian) << start << false << QStringList{"h8", "a3"} << "a3-b4";
    QTest::newRow("Russian capture by its landing square")
        << int(kRussian) << QStringList{"wc3", "bd4", "bh8"} << false << QStringList{"e5"} << "c3:e5";
    QTest::newRow("English two routes, captured piece decides")
        << int(kEnglish) << twoRoutes << false << QStringList{"c3", "c7", "d4"} << "c3:e5:c7";
    QTest::newRow("English two routes, landing square decides")
        << int(kEnglish) << twoRoutes << false << QStringList{"a5"} << "c3:a5:c7";
    QTest::newRow("Brazilian") << int(kBrazilian) << start << false << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("Pool") << int(kPool) << start << false << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("Italian") << int(kItalian) << start << false << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("International") << int(kInternational) << start << false << QStringList{"d4", "e5"}
                                   << "d4-e5";
    QTest::newRow("Czech") << int(kCzech) << start << false << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("Spanish") << int(kSpanish) << start << false << QStringList{"c3", "d4"} << "c3-d4";
    QTest::newRow("Frisian") << int(kFrisian) << start << false << QStringList{"d4", "e5"} << "d4-e5";
    QTest::newRow("Spantsiretti") << int(kSpantsiretti) << start << false << QStringList{"c3", "d4"}
                                  << "c3-d4";
    QTest::newRow("Canadian") << int(kCanadian) << start << false << QStringList{"e5", "f6"} << "e5-f6";
    QTest::newRow("Thai") << int(kThai) << start << false << QStringList{"b2", "c3"} << "b2-c3";
    QTest::newRow("Turkish forward") << int(kTurkish) << start << false << QStringList{"a3"} << "a3-a4";
    QTest::newRow("International Killer")
        << int(kInternationalKiller) << start << false << QStringList{"d4", "e5"} << "d4-e5";
  }

  void tapsBecomeMoves() {
    QFETCH(int, variant);
    QFETCH(QStringList, pieces);
    QFETCH(bool, reversed);
    QFETCH(QStringList, taps);
    QFETCH(QString, played);
    Fresh(variant, pieces);
    app->SetBoardReversed(reversed);
    QTest::qWait(60);
    w->Board()->update();
    for (int i = 0; i < taps.size(); ++i) {
      const int square = Sq(taps[i].toStdString().c_str());
      QVERIFY2(square != 0, qPrintable(taps[i]));
      QCOMPARE(w->Board()->SquareAt(w->Board()->SquareCentre(square)), square);
      if (i + 1 < taps.size()) {
        Tap(square);
        QCOMPARE(CurrentNode(), 0);
      } else {
        Tap(square);
      }
    }
    Settle();
    QCOMPARE(LastMove(), played);
    // The board shows the game's position once the move has been shown.
    QVERIFY(w->Board()->State().board == app->LockGame()->CurBoard);
    app->SetBoardReversed(false);
  }

  void tappedPieceShowsWhereItCanGo() {
    Fresh(kRussian);
    Tap(Sq("c3"));
    std::vector<int> reach = w->Board()->State().reachable;
    std::sort(reach.begin(), reach.end());
    std::vector<int> expected{Sq("b4"), Sq("d4")};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(reach, expected);
    QCOMPARE(w->Board()->State().selected, Sq("c3"));
    Tap(Sq("d4"));
    Settle();
    QVERIFY(w->Board()->State().reachable.empty());
  }

  void dragPlaysTheMove() {
    Fresh(kRussian);
    BoardView* b = w->Board();
    const QPoint from = b->SquareCentre(Sq("e3")), to = b->SquareCentre(Sq("f4"));
    QTest::mousePress(b, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF((from + to) / 2), b->mapToGlobal(QPointF((from + to) / 2)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    QMouseEvent move2(QEvent::MouseMove, QPointF(to), b->mapToGlobal(QPointF(to)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move2);
    QTest::mouseRelease(b, Qt::LeftButton, {}, to);
    Settle();
    QCOMPARE(LastMove(), QString("e3-f4"));
  }

  // --- Play against the engine ----------------------------------------------------

  void engineRepliesAndClocksRun() {
    PlayModeGame(kTimePerMove, 1);
    QVERIFY(w->Panel()->Header().clocks);
    PlayByTaps({{"c3", "d4"}});
    QTRY_VERIFY_WITH_TIMEOUT(NodeDepth(*app->LockGame(), CurrentNode()) == 2, 20000);
    Settle();
    QVERIFY(w->Board()->State().board == app->LockGame()->CurBoard);
    QVERIFY(!w->Panel()->List().Items.empty());
    now += 500;  // five seconds on the user's clock (time per move counts up)
    QTest::qWait(80);
    QCOMPARE(w->Panel()->Header().left, QString("0:00:05"));
  }

  void ratedGameShowsResignAndOfferDraw() {
    Fresh(kRussian);
    Settings.GameTime = kTimePerMove;
    Settings.TimeControlMin = 1;
    TNewGameChoice c;
    c.Mode = TPlayMode::Play;
    c.Colour = 1;  // the user moves first
    c.RandomEngine = false;
    c.Rated = true;
    app->StartGame(c);
    app->WaitIdle();
    QTRY_VERIFY_WITH_TIMEOUT(w->ResignButton()->isVisible(), 3000);
    QVERIFY(w->DrawButton()->isVisible());
    QVERIFY(!w->Button(kButtonPrevious)->isVisible());
    QVERIFY(!w->Button(kButtonMainMenu)->isVisible());
    const int messagesBefore = w->Messages().size();
    QTest::mouseClick(w->DrawButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->Messages().size() > messagesBefore, 3000);
    QCOMPARE(w->Messages().last(), QString::fromStdString(Translate("No")));
    QTest::mouseClick(w->ResignButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(int(app->LockGame()->Header.Result), int(kResultBlackWin), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!w->ResignButton()->isVisible(), 3000);
    QVERIFY(w->Button(kButtonPrevious)->isVisible());
  }

  void timeRunsOut() {
    PlayModeGame(kTimePerGame, 1);
    const int messagesBefore = w->Messages().size();
    PlayByTaps({{"c3", "d4"}});
    QTRY_VERIFY_WITH_TIMEOUT(NodeDepth(*app->LockGame(), CurrentNode()) == 2, 60000);
    Settle();
    now += 6100;  // 61 s: the user's minute is over
    QTRY_VERIFY_WITH_TIMEOUT(w->Messages().size() > messagesBefore, 3000);
    QCOMPARE(w->Messages().last(), QString::fromStdString(Translate("Time!")));
    QCOMPARE(int(app->LockGame()->Header.Result), int(kResultBlackWinTime));
    QCOMPARE(w->Panel()->Header().left, QString("0:00:00"));
    now += 6100;
    QTest::qWait(100);
    QCOMPARE(w->Messages().size(), messagesBefore + 1);  // shown once
    QVERIFY(w->Panel()->List().Items.back().Text.find("0-2t") != std::string::npos);
  }

  void resultMessageAppears() {
    Fresh(kRussian, {"wc3", "bd4"});
    Settings.GameTime = kTimePerMove;
    Settings.TimeControlMin = 1;
    app->SetMode(TPlayMode::Play);
    app->WaitIdle();
    const int messagesBefore = w->Messages().size();
    Tap(Sq("e5"));
    QTRY_VERIFY_WITH_TIMEOUT(w->Messages().size() > messagesBefore, 20000);
    QCOMPARE(w->Messages().last(), QString("White win!"));
    QCOMPARE(int(app->LockGame()->Header.Result), int(kResultWhiteWin));
  }

  // --- The move list ------------------------------------------------------------------

  void navigationKeysAndClicksWalkTheTree() {
    Fresh(kRussian);
    PlayByTaps({{"c3", "d4"}, {"f6", "g5"}, {"g3", "h4"}});
    const int third = CurrentNode();
    const int second = ParentNode(*app->LockGame(), third);
    const int first = ParentNode(*app->LockGame(), second);
    QTest::keyClick(w.get(), Qt::Key_Left);
    Settle();
    QCOMPARE(CurrentNode(), second);
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    Settle();
    QCOMPARE(CurrentNode(), first);
    QTest::keyClick(w.get(), Qt::Key_Right);
    Settle();
    QCOMPARE(CurrentNode(), second);
    QTest::keyClick(w.get(), Qt::Key_Home);
    Settle();
    QCOMPARE(CurrentNode(), 0);
    {
      auto g = app->LockGame();
      QVERIFY(g->CurBoard.b == g->StartBoard);
    }
    QTest::keyClick(w.get(), Qt::Key_End);
    Settle();
    QCOMPARE(CurrentNode(), third);

    // A click on a move in the list shows it.
    const QPoint at = w->Panel()->ItemCentre(first);
    QVERIFY(at.x() >= 0);
    QTest::mouseClick(w->Panel(), Qt::LeftButton, {}, at);
    Settle();
    QCOMPARE(CurrentNode(), first);
    QCOMPARE(w->Panel()->CurrentNode(), first);
    // Another reply from there opens a variation, shown on a line of its own.
    PlayByTaps({{"h6", "g5"}});
    const int variation = CurrentNode();
    QVERIFY(variation != second);
    QVERIFY(w->Panel()->List().Lines >= 2);
    // Previous and next buttons; next follows the main line.
    QTest::mouseClick(w->Button(kButtonPrevious), Qt::LeftButton);
    Settle();
    QCOMPARE(CurrentNode(), first);
    QTest::mouseClick(w->Button(kButtonNext), Qt::LeftButton);
    Settle();
    QCOMPARE(CurrentNode(), second);
    // A click on the variation's move.
    QTest::mouseClick(w->Panel(), Qt::LeftButton, {}, w->Panel()->ItemCentre(variation));
    Settle();
    QCOMPARE(CurrentNode(), variation);
  }

  void longPressOnNextPlaysTheLine() {
    Fresh(kRussian);
    PlayByTaps({{"c3", "d4"}, {"f6", "g5"}});
    const int last = CurrentNode();
    QTest::keyClick(w.get(), Qt::Key_Home);
    Settle();
    QTest::mousePress(w->Button(kButtonNext), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(app->Autoplay(), 3000);
    QTest::mouseRelease(w->Button(kButtonNext), Qt::LeftButton);
    QCOMPARE(CurrentNode(), 0);  // the press itself was not a step
    QTRY_COMPARE_WITH_TIMEOUT(CurrentNode(), last, 8000);
    QTRY_VERIFY_WITH_TIMEOUT(!app->Autoplay(), 4000);  // off at the end of the line
  }

  void commentsAndMarksAreStored() {
    Fresh(kRussian);
    PlayByTaps({{"c3", "d4"}});
    const int node = CurrentNode();
    QTest::mouseClick(w->Button(kButtonComment), Qt::LeftButton);
    QVERIFY(w->CommentPanelOpen());
    auto* edit = w->findChild<QLineEdit*>("commentEdit");
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, "a strong start");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!w->CommentPanelOpen());
    Settle();
    QCOMPARE(QString::fromStdString(app->LockGame()->Comments[node].CommentAft), QString("a strong start"));
    bool shown = false;
    for (const auto& it : w->Panel()->List().Items) {
      shown |= it.attrib == kAttribComment && it.Text.find("strong") != std::string::npos;
    }
    QVERIFY(shown);

    QTest::mouseClick(w->Button(kButtonComment), Qt::LeftButton);
    auto* good = w->findChild<QPushButton*>("commentMark2");
    QVERIFY(good);
    QTest::mouseClick(good, Qt::LeftButton);
    Settle();
    QCOMPARE(app->LockGame()->Moves[node].comm & 0x0F, 2);
    bool marked = false;
    for (const auto& it : w->Panel()->List().Items) marked |= it.moverel == node && it.Text.ends_with("!");
    QVERIFY(marked);

    // Escape leaves the comment as it was.
    QTest::mouseClick(w->Button(kButtonComment), Qt::LeftButton);
    QTest::keyClicks(edit, " and more");
    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!w->CommentPanelOpen());
    QCOMPARE(QString::fromStdString(app->LockGame()->Comments[node].CommentAft), QString("a strong start"));
  }

  void promoteAndDelete() {
    Fresh(kRussian);
    PlayByTaps({{"c3", "d4"}, {"f6", "g5"}});
    const int mainReply = CurrentNode();
    const int first = ParentNode(*app->LockGame(), mainReply);
    QTest::keyClick(w.get(), Qt::Key_Left);
    Settle();
    PlayByTaps({{"h6", "g5"}, {"g3", "h4"}});
    const int deep = CurrentNode();
    const int alternative = ParentNode(*app->LockGame(), deep);
    QCOMPARE(FirstChild(*app->LockGame(), first), mainReply);
    w->Action("promote")->trigger();
    Settle();
    QCOMPARE(FirstChild(*app->LockGame(), first), alternative);
    QCOMPARE(MainLineNodes(*app->LockGame()), (std::vector<int>{first, alternative, deep}));

    // Delete the line from the alternative on: back to its parent, subtree gone.
    w->SelectNode(alternative);
    Settle();
    w->Action("delete")->trigger();
    Settle();
    QCOMPARE(CurrentNode(), first);
    QCOMPARE(FirstChild(*app->LockGame(), first), mainReply);
    QVERIFY(app->LockGame()->Moves[deep].free);
  }

  // --- The board picture ------------------------------------------------------------------

  void variantSwitchRedrawsTheRightBoard_data() {
    QTest::addColumn<int>("variant");
    for (int v = 1; v <= kVariantCount; ++v) QTest::newRow(VariantTable[v].Name.c_str()) << v;
  }

  void variantSwitchRedrawsTheRightBoard() {
    QFETCH(int, variant);
    Fresh(kRussian);
    w->Action(QString("variant%1").arg(variant))->trigger();
    Settle();
    const TBoardDrawState& s = w->Board()->State();
    QCOMPARE(int(s.params.TypeOfGame), variant);
    QCOMPARE(int(s.params.BoardWidth), int(VariantTable[variant].BoardWidth));
    // A game without moves starts again in the new variant's start position.
    QCOMPARE(s.board.b, StartPosition(VariantTable[variant], false));
    QCOMPARE(app->LockGame()->CurBoard.b, s.board.b);
    // Every square of the picture shows what the data says: a piece (its
    // centre differs from the texture) or the bare texture.
    const QImage& pic = w->Board()->Picture();
    const TPictureSet& pics = w->Board()->Pictures();
    const TBoardGeometry g(s.params, s.reversed, pic.width());
    int pieces = 0;
    for (int sq = 1; sq <= s.params.compute.BoardSize; ++sq) {
      const TPixelRect r = g.SquareRect(sq);
      const int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
      const bool dark = g.UsesDarkTexture(sq, s.turkOneColor, s.alquerque);
      const QImage& tex = dark ? pics.dark : pics.light;
      const bool bare = pic.pixel(cx, cy) == tex.pixel(cx, cy);
      QCOMPARE(bare, s.board.b[sq] == 0);
      pieces += s.board.b[sq] != 0;
    }
    QVERIFY(pieces > 0);
  }

  void blindModeHidesPiecesTapsStillWork() {
    Fresh(kRussian);
    w->ToggleBlind();
    QVERIFY(w->Blind());
    const QImage& pic = w->Board()->Picture();
    const TBoardGeometry g(Params(), false, pic.width());
    const TPixelRect r = g.SquareRect(Sq("c3"));
    QCOMPARE(pic.pixel(r.x + r.w / 2, r.y + r.h / 2),
             w->Board()->Pictures().dark.pixel(r.x + r.w / 2, r.y + r.h / 2));
    PlayByTaps({{"c3", "d4"}});
    QCOMPARE(LastMove(), QString("c3-d4"));
    w->ToggleBlind();
  }

  void lastMoveIsMarked() {
    Fresh(kRussian);
    PlayByTaps({{"c3", "d4"}});
    std::vector<int> mark = w->Board()->State().markSquares;
    std::sort(mark.begin(), mark.end());
    std::vector<int> expected{Sq("c3"), Sq("d4")};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(mark, expected);
    const QImage& pic = w->Board()->Picture();
    const TBoardGeometry g(Params(), false, pic.width());
    const TPixelRect r = g.SquareRect(Sq("c3"));
    QVERIFY(pic.pixel(r.x + 3, r.y + 3) != w->Board()->Pictures().dark.pixel(r.x + 3, r.y + 3));
  }

  // --- The program ---------------------------------------------------------------------------

  void exportedRoutinesAnswerThroughTheSymbolTable() {
    QProcess p;
    p.start(QString::fromStdString(ProgramFolder) + "quorlin-draughts", {"--check-exports"});
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* name :
         {"ReadLanguage", "GenerateHashKeys", "Bit64toBoard", "BoardToBit64", "GeneratePosition",
          "removedoublemoves0", "initC", "revinit", "inicntnum", "BookIni", "SaveEngine", "LoadEngine",
          "SaveDBNames", "OpenOrCreateDatabase", "GetMemoryTotalPhys"}) {
      QVERIFY2(out.contains(QString("%1 ok\n").arg(name)), qPrintable(out));
    }
    QCOMPARE(p.exitCode(), 0);
  }

  void screenshotModeWritesThePicture() {
    QTemporaryDir dir;
    const QString out = dir.filePath("shot.png");
    QProcess p;
    p.start(QString::fromStdString(ProgramFolder) + "quorlin-draughts",
            {"--screenshot", out, "--variant", "International", "--size", "640x480"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QImage img(out);
    QCOMPARE(img.size(), QSize(640, 480));
    QProcess bad;
    bad.start(QString::fromStdString(ProgramFolder) + "quorlin-draughts",
              {"--screenshot", out, "--size", "huge"});
    QVERIFY(bad.waitForFinished(30000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(QString::fromUtf8(bad.readAllStandardError()).contains("WIDTHxHEIGHT"));
    // A malformed position is refused with the FEN reader's own message.
    QFile::remove(out);
    QProcess badFen;
    badFen.start(QString::fromStdString(ProgramFolder) + "quorlin-draughts",
                 {"--screenshot", out, "--fen", "W:W99"});
    QVERIFY(badFen.waitForFinished(30000));
    QCOMPARE(badFen.exitCode(), 2);
    QVERIFY(QString::fromUtf8(badFen.readAllStandardError()).contains("--fen: column 4"));
    QVERIFY(!QFile::exists(out));
  }
};

int main(int argc, char** argv) {
  // Everything the program writes goes to a private folder.
  QTemporaryDir sandbox;
  test::PointHomeAt(sandbox);
  QApplication qapp(argc, argv);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "mainwindow_test.moc"
