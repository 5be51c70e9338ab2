// The database, search, game-information, problem, setup and settings windows
// driven offscreen over a real main window and application. Every check reads
// the data: the database files, the game record, the settings file.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QSpinBox>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/application.h"
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
#include "app/positionsetup.h"
#include "app/settings.h"
#include "app/timechoices.h"
#include "games/database.h"
#include "games/pdnfile.h"
#include "gui_sandbox.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"

using namespace quorlin;
using namespace quorlin::gui;

namespace {

std::string Game(const std::string& white, const std::string& black, const std::string& date,
                 const std::string& moves = "1. c3-d4 f6-g5") {
  return "[Event \"Club\"][White \"" + white + "\"][Black \"" + black + "\"][Date \"" + date +
         "\"][Result \"1-1\"]\n" + moves + " 1-1\n\n";
}

std::string Games(int n) {
  std::string pdn;
  for (int k = 1; k <= n; ++k)
    pdn += Game("Player " + std::to_string(k), "Opponent " + std::to_string(k), std::to_string(1950 + k % 50) + ".01.01");
  return pdn;
}

void WriteText(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

std::string ReadText(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TApplication> app;
  std::unique_ptr<MainWindow> w;
  QTemporaryDir files;
  int made = 0;

  SecondaryWindows* Hub() { return w->Windows(); }
  DatabaseWindow* Db() { return Hub()->Database(); }

  // A database `name`.abd made from `pdn` (Russian unless the games say).
  QString MakeDatabase(const std::string& pdn, int variant = kRussian) {
    const QString base = files.path() + QString("/db%1").arg(++made);
    WriteText(base + ".pdn", pdn);
    TPdnReadReport report;
    std::string error;
    if (!ImportPdnFile((base + ".pdn").toStdString(), (base + ".abd").toStdString(), variant, report, error))
      qFatal("cannot make a database: %s", error.c_str());
    return base + ".abd";
  }

  // Games in the database file and the deleted mark of each, read through a
  // record of the test's own.
  std::vector<TGameHeader> Headers(const QString& path) {
    TQuorlinDB db;
    std::vector<TGameHeader> out;
    if (!OpenDatabase(path.toStdString(), db, true)) return out;
    for (int n = 1; n <= db.DBSize; ++n) {
      TGameHeader h;
      ReadIndexRecord(db, n, h);
      out.push_back(h);
    }
    CloseDatabase(db);
    return out;
  }

  std::string WhiteName(const QString& path, int game) {
    TQuorlinDB db;
    TGame g;
    if (!OpenDatabase(path.toStdString(), db, true) || !ReadGame(db, game, false, -1, g)) return "?";
    CloseDatabase(db);
    return g.WhiteName;
  }

  std::vector<int> Listed() {
    std::vector<int> out;
    for (int i = 1; i <= Db()->Browser().Count(); ++i) out.push_back(Db()->Browser().Entry(i).num);
    return out;
  }

  // Internal square of a square as the move list writes it ("28", "c3").
  int Sq(const char* name) {
    const TGameParams params = Shown().Params;
    for (int s = 1; s <= params.compute.BoardSize; ++s)
      if (SquareText(s, params, kStyleExtended) == name) return s;
    return 0;
  }

  TGame Shown() {
    auto g = app->LockGame();
    return *g;
  }

  void NewGame(int variant) {
    app->StopEngines();
    app->WaitIdle();
    app->SelectVariant(variant, false);
    app->NewGame(kBallotNone);
    app->SetMode(TPlayMode::Analysis);
    app->StartStop();  // analysis stays stopped in these tests
    app->StopEngines();
    app->WaitIdle();
  }

 private slots:
  void initTestCase() {
    TApplicationOptions o;
    o.HashMegabytes = 16;
    o.BookMoveDelayMs = 0;
    o.PrepareEngines = false;
    app = std::make_unique<TApplication>(o);
    TMainWindowOptions wo;
    wo.askBeforeClosing = false;
    wo.modalMessages = false;
    wo.rememberGeometry = false;
    wo.sound = false;
    w = std::make_unique<MainWindow>(*app, wo);
    w->resize(1000, 700);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    app->WaitIdle();
  }

  void cleanupTestCase() {
    app->StopEngines();
    w->close();
    app->Shutdown();
  }

  void init() { NewGame(kRussian); }

  // --- Database window -----------------------------------------------------------------

  void databaseButtonOpensTheWindowWithTheList() {
    const QString path = MakeDatabase(Games(5));
    QToolButton* button = w->Button(kButtonDatabase);
    QVERIFY(button->isEnabled());
    button->click();
    QVERIFY(Db()->isVisible());
    QVERIFY(Db()->OpenDatabase(path));
    QCOMPARE(Db()->Model()->rowCount(), 5);
    QCOMPARE(Db()->Header()->text(), QString("db%1 [5]").arg(made));
    QCOMPARE(Db()->Model()->data(Db()->Model()->index(1, kColPlayers), Qt::DisplayRole).toString(),
             QString("2 Player 2 \u2014 Opponent 2"));
    QCOMPARE(QString::fromStdString(Settings.Database), path);
  }

  void rowsAreReadOnlyWhenShown() {
    QVERIFY(Db()->OpenDatabase(MakeDatabase(Games(400))));
    Db()->show();
    Db()->resize(800, 500);
    QVERIFY(QTest::qWaitForWindowExposed(Db()));
    Db()->Table()->viewport()->repaint();
    QTRY_VERIFY(Db()->Model()->RecordsRead() > 0);
    const int read = Db()->Model()->RecordsRead();
    QVERIFY2(read > 0 && read < 60, qPrintable(QString("%1 records read").arg(read)));
    Db()->ScrollToEnd();
    Db()->Table()->viewport()->repaint();
    QVERIFY(Db()->Model()->RecordsRead() < 120);
    QCOMPARE(Db()->Browser().CurPos(), 400);
  }

  void loadPutsTheChosenGameIntoTheMainWindow() {
    QVERIFY(Db()->OpenDatabase(MakeDatabase(Games(3))));
    Db()->ChooseRow(2);
    QVERIFY(Db()->LoadCurrentGame());
    const TGame g = Shown();
    QCOMPARE(g.WhiteName, std::string("Player 2"));
    QCOMPARE(g.DBGameNo, 2);
    // Next and previous game wrap around the list.
    QVERIFY(Hub()->StepGame(1));
    QCOMPARE(Shown().DBGameNo, 3);
    QVERIFY(Hub()->StepGame(1));
    QCOMPARE(Shown().DBGameNo, 1);
    QVERIFY(Hub()->StepGame(-1));
    QCOMPARE(Shown().DBGameNo, 3);
  }

  void deleteMarksAndUndeleteClearsTheMark() {
    const QString path = MakeDatabase(Games(4));
    QVERIFY(Db()->OpenDatabase(path));
    Db()->ChooseRow(3);
    Db()->DeleteOrUndelete();
    QVERIFY(Headers(path)[2].Flags & kHeaderFlagDeleted);
    QVERIFY(!(Headers(path)[1].Flags & kHeaderFlagDeleted));
    QVERIFY(Db()->Model()->data(Db()->Model()->index(2, kColPlayers), Qt::FontRole).value<QFont>().strikeOut());
    Db()->DeleteOrUndelete();
    QVERIFY(!(Headers(path)[2].Flags & kHeaderFlagDeleted));
    // Ticked rows go together; clean-up then drops them from the file.
    Db()->Model()->setData(Db()->Model()->index(0, kColPlayers), Qt::Checked, Qt::CheckStateRole);
    Db()->Model()->setData(Db()->Model()->index(3, kColPlayers), Qt::Checked, Qt::CheckStateRole);
    Db()->DeleteOrUndelete();
    const auto marked = Headers(path);
    QVERIFY((marked[0].Flags & kHeaderFlagDeleted) && (marked[3].Flags & kHeaderFlagDeleted));
    QVERIFY(Db()->CleanUp());
    QCOMPARE(Headers(path).size(), size_t(2));
    QCOMPARE(Db()->Model()->rowCount(), 2);
  }

  void savedGameAppearsInTheFile() {
    const QString path = MakeDatabase(Games(2));
    QVERIFY(Db()->OpenDatabase(path));
    NewGame(kRussian);
    GameInfoDialog info(*app, w.get());
    QVERIFY(!info.Replace->isVisible() || !info.Replace->isChecked());
    info.White->setText("Anna");
    info.Black->setText("Boris");
    info.Year->setValue(1999);
    info.Result->setCurrentIndex(1);
    QVERIFY2(info.Save(), qPrintable(info.Message()));
    QCOMPARE(Headers(path).size(), size_t(3));
    QCOMPARE(WhiteName(path, 3), std::string("Anna"));
    QCOMPARE(Shown().DBGameNo, 3);
    QCOMPARE(Shown().WhiteName, std::string("Anna"));

    // The same game again, replacing itself.
    GameInfoDialog again(*app, w.get());
    QVERIFY(again.Replace->isChecked());
    again.White->setText("Anna Petrova");
    QVERIFY(again.Save());
    QCOMPARE(Headers(path).size(), size_t(3));
    QCOMPARE(WhiteName(path, 3), std::string("Anna Petrova"));
  }

  void badGameInformationChangesNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("says");
    QTest::newRow("name too long") << "white" << QString(300, 'x') << "White";
    QTest::newRow("rating not a number") << "whiteElo" << "strong" << "elo";
    QTest::newRow("rating too high") << "blackElo" << "99999" << "elo";
    QTest::newRow("round not a number") << "round" << "3a" << "ound";
  }

  void badGameInformationChangesNothing() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, says);
    const QString path = MakeDatabase(Games(2));
    QVERIFY(Db()->OpenDatabase(path));
    NewGame(kRussian);
    const TGame before = Shown();
    GameInfoDialog info(*app, w.get());
    info.White->setText("Anna");
    QLineEdit* edit = field == "white"      ? info.White
                      : field == "whiteElo" ? info.WhiteElo
                      : field == "blackElo" ? info.BlackElo
                                            : info.Round;
    edit->setText(value);
    QVERIFY(!info.Save());
    QVERIFY2(info.Message().contains(says, Qt::CaseInsensitive), qPrintable(info.Message()));
    QCOMPARE(Headers(path).size(), size_t(2));
    QCOMPARE(Shown().WhiteName, before.WhiteName);
    QCOMPARE(Shown().DBGameNo, before.DBGameNo);
  }

  void firstPlayerRowNamesTheSideThatMovesFirst_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("first");
    QTest::newRow("Russian") << int(kRussian) << "White:";
    QTest::newRow("English") << int(kEnglish) << "Black:";
  }

  void firstPlayerRowNamesTheSideThatMovesFirst() {
    QFETCH(int, variant);
    QFETCH(QString, first);
    NewGame(variant);
    GameInfoDialog info(*app, w.get());
    auto* form = info.findChild<QFormLayout*>();
    QVERIFY(form);
    auto* label = qobject_cast<QLabel*>(form->itemAt(0, QFormLayout::LabelRole)->widget());
    QVERIFY(label);
    QCOMPARE(label->text(), first);
  }

  void saveWithoutADatabaseSaysSo() {
    std::string error;
    Db()->Browser().Close(error);
    GameInfoDialog info(*app, w.get());
    QVERIFY(!info.Save());
    QVERIFY(!info.Message().isEmpty());
  }

  // --- Search ----------------------------------------------------------------------------

  void searchListsExactlyTheMatchingGames() {
    const std::string pdn = Game("Anna", "Boris", "1985.01.01") + Game("Carl", "Anna", "1990.01.01") +
                            Game("Dora", "Emil", "1986.01.01") + Game("Anna", "Fred", "2001.01.01");
    QVERIFY(Db()->OpenDatabase(MakeDatabase(pdn)));
    SearchDialog search(*app, [this](TDBList found) { Db()->ShowFound(std::move(found)); }, w.get());
    search.White->setText("anna");
    search.IgnoreColours->setChecked(true);
    search.YearEnd->setValue(1995);
    QVERIFY(search.StartSearch());
    QCOMPARE(Listed(), (std::vector<int>{1, 2}));
    QVERIFY(Db()->Browser().SearchResult());
    QVERIFY(Db()->Header()->text().endsWith("[2/4]"));
    search.IgnoreColours->setChecked(false);
    QVERIFY(search.StartSearch());
    QCOMPARE(Listed(), (std::vector<int>{1}));
    Db()->ShowAll();
    QCOMPARE(Listed(), (std::vector<int>{1, 2, 3, 4}));
  }

  void positionSearchFindsTheShownPosition() {
    const std::string pdn = Game("A", "B", "2000.01.01", "1. c3-d4 f6-g5") +
                            Game("C", "D", "2000.01.01", "1. e3-f4 f6-g5") +
                            Game("E", "F", "2000.01.01", "1. a3-b4 b6-a5 2. c3-d4 f6-g5");
    QVERIFY(Db()->OpenDatabase(MakeDatabase(pdn)));
    QVERIFY(Db()->LoadCurrentGame());
    QVERIFY(app->GoToNode(2, true));  // after 1. c3-d4 f6-g5
    SearchDialog search(*app, [this](TDBList found) { Db()->ShowFound(std::move(found)); }, w.get());
    search.Position->setChecked(true);
    QVERIFY(search.StartSearch());
    QTRY_VERIFY_WITH_TIMEOUT(!search.Searching(), 10000);
    QCOMPARE(Listed(), (std::vector<int>{1}));
    // The game opens at the node found.
    QVERIFY(Db()->LoadCurrentGame());
    QCOMPARE(Shown().CurMovPos, 2);
  }

  void badSearchFieldsChangeNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::newRow("years backwards") << "years";
    QTest::newRow("white rating backwards") << "whiteElo";
    QTest::newRow("moves backwards") << "moves";
  }

  void badSearchFieldsChangeNothing() {
    QFETCH(QString, field);
    QVERIFY(Db()->OpenDatabase(MakeDatabase(Games(3))));
    SearchDialog search(*app, [this](TDBList found) { Db()->ShowFound(std::move(found)); }, w.get());
    QSpinBox* low = field == "years" ? search.YearStart : field == "whiteElo" ? search.WhiteEloMin : search.MoveStart;
    QSpinBox* high = field == "years" ? search.YearEnd : field == "whiteElo" ? search.WhiteEloMax : search.MoveEnd;
    low->setValue(200);
    high->setValue(100);
    QVERIFY(!search.StartSearch());
    QVERIFY(!search.Message().isEmpty());
    QCOMPARE(Listed(), (std::vector<int>{1, 2, 3}));
    QVERIFY(!Db()->Browser().SearchResult());
  }

  // --- PDN files ---------------------------------------------------------------------------

  void importAppendsTheFileAndExportWritesTheList() {
    const QString path = MakeDatabase(Games(2));
    QVERIFY(Db()->OpenDatabase(path));
    const QString pdn = files.path() + "/more.pdn";
    WriteText(pdn, Games(30));
    QVERIFY(Db()->StartImport(pdn));
    QTRY_VERIFY_WITH_TIMEOUT(!Db()->TransferRunning(), 20000);
    QCOMPARE(Headers(path).size(), size_t(32));
    QCOMPARE(Db()->Model()->rowCount(), 32);
    QVERIFY2(Db()->Messages().back().startsWith("30 games imported"), qPrintable(Db()->Messages().back()));

    // Two ticked games out.
    Db()->Model()->setData(Db()->Model()->index(0, kColPlayers), Qt::Checked, Qt::CheckStateRole);
    Db()->Model()->setData(Db()->Model()->index(4, kColPlayers), Qt::Checked, Qt::CheckStateRole);
    const QString out = files.path() + "/out.pdn";
    QVERIFY(Db()->StartExport(out));
    QTRY_VERIFY_WITH_TIMEOUT(!Db()->TransferRunning(), 20000);
    const std::string text = ReadText(out);
    QCOMPARE(Occurrences(text, "[White "), 2);
    QVERIFY(text.find("\"Player 1\"") != std::string::npos);
    QVERIFY(text.find("\"Player 3\"") != std::string::npos);  // row 5: game 3 of the import
  }

  void cancelledImportKeepsTheGamesReadSoFar() {
    const QString path = MakeDatabase(Games(1));
    QVERIFY(Db()->OpenDatabase(path));
    const QString pdn = files.path() + "/big.pdn";
    WriteText(pdn, Games(20000));
    QVERIFY(Db()->StartImport(pdn));
    QVERIFY(Db()->Progress()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(Db()->Progress()->value() > 0, 20000);
    Db()->CancelTransfer();
    QTRY_VERIFY_WITH_TIMEOUT(!Db()->TransferRunning(), 20000);
    const int stored = static_cast<int>(Headers(path).size()) - 1;
    QVERIFY2(stored > 0 && stored < 20000, qPrintable(QString::number(stored)));
    QCOMPARE(Db()->Model()->rowCount(), stored + 1);
    const QString said = Db()->Messages().back();
    QVERIFY2(said.contains("cancelled") && said.contains(QString::number(stored)), qPrintable(said));
  }

  void droppedPdnFileIsImported() {
    const QString path = MakeDatabase(Games(1));
    QVERIFY(Db()->OpenDatabase(path));
    const QString pdn = files.path() + "/dropped.PDN";
    WriteText(pdn, Games(3));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(pdn)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Db(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Db(), &drop);
    QTRY_VERIFY_WITH_TIMEOUT(!Db()->TransferRunning(), 20000);
    QCOMPARE(Headers(path).size(), size_t(4));

    // Anything else is refused.
    QMimeData other;
    other.setUrls({QUrl::fromLocalFile(files.path() + "/notes.txt")});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(Db(), &refused);
    QVERIFY(!refused.isAccepted());
  }

  // --- Problems -------------------------------------------------------------------------------

  void problemSolvedRightAndWrong() {
    // International: 46-41 is the solution; 50-45 is not.
    const std::string pdn = "[GameType \"20\"][FEN \"W:W46,50:B5\"][Result \"*\"]\n1. 46-41 *\n\n";
    QVERIFY(Db()->OpenDatabase(MakeDatabase(pdn, kInternational)));
    ProblemWindow* problems = Hub()->OpenProblemWindow();
    QCOMPARE(problems->Count(), 1);
    QVERIFY(problems->Next());
    QCOMPARE(Shown().CurMovPos, 0);
    QVERIFY(!problems->Solved());
    auto move = [&](const char* from, const char* to) {
      const TGame g = Shown();
      TMvs list;
      uint8_t count = 0;
      GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, count, g.Params, true);
      for (int i = 1; i <= count; ++i)
        if (list[i].mv[0] == Sq(from) && list[i].mv[1] == Sq(to)) return app->UserMove(list[i]);
      return TUserMoveResult{};
    };
    const TUserMoveResult wrong = move("50", "45");
    QVERIFY(wrong.Accepted && wrong.WrongMove);
    QCOMPARE(Shown().CurMovPos, 0);
    QVERIFY(!problems->Solved());
    bool saidWrong = false;
    for (const auto& m : app->Tick().Messages) saidWrong |= m.find("Wrong") != std::string::npos;
    QVERIFY(saidWrong);

    const TUserMoveResult right = move("46", "41");
    QVERIFY(right.Accepted && !right.WrongMove);
    QVERIFY(problems->Solved());
    QTRY_VERIFY(problems->Status().contains("Correct"));
    problems->Restart();
    QCOMPARE(Shown().CurMovPos, 0);
    QVERIFY(problems->Random());
    QCOMPARE(problems->Current(), 1);
    problems->Leave();
    QCOMPARE(Shown().Header.Medals & 1, 0);
    const TUserMoveResult free = move("50", "45");  // an ordinary game again: any legal move stays
    QVERIFY(free.Accepted && !free.WrongMove);
    QVERIFY(Shown().CurMovPos > 0);
    problems->close();
  }

  // --- Position setup, FEN, PDN paste ------------------------------------------------------------

  void setUpPositionEqualsTheFenItExports() {
    NewGame(kInternational);
    SetupDialog setup(*app, w->Board()->Pictures(), w.get());
    setup.Clean();
    setup.Tap(Sq("28"), kSetupPrimary);   // white man
    setup.Tap(Sq("46"), kSetupPrimary);
    setup.Tap(Sq("46"), kSetupPrimary);   // white king
    setup.Tap(Sq("13"), kSetupSecondary);  // backwards from empty: black man
    setup.Tap(Sq("11"), kSetupSecondary);  // black man
    setup.Tap(Sq("11"), kSetupMiddle);     // empty again
    setup.SetSideToMove(TDColor::black);
    QCOMPARE(setup.FenText(), QString("[FEN \"B:W28,K46:B13\"]"));
    setup.Finish();
    const TGame g = Shown();
    TBrd cells{};
    int side = 0;
    std::string error;
    QVERIFY(ReadFEN(g.Params, "B:W28,K46:B13", cells, side, error));
    QVERIFY(g.StartBoard == cells);
    QCOMPARE(g.Header.FirstMove, TDColor::black);
    QCOMPARE(g.CurMovPos, 0);
    // Copy FEN gives the same text.
    Hub()->CopyFen();
    QCOMPARE(QApplication::clipboard()->text(), QString("[FEN \"B:W28,K46:B13\"]"));
  }

  void fenIsReadFromTheClipboard() {
    NewGame(kInternational);
    SetupDialog setup(*app, w->Board()->Pictures(), w.get());
    QVERIFY(setup.ImportFen("[Event \"x\"]\n[Posizione \"W:W31,K40:B19\"]"));
    QCOMPARE(setup.FenText(), QString("[FEN \"W:W31,K40:B19\"]"));
    QVERIFY(Hub()->PasteFen("W:W33:B12,13"));
    TBrd cells{};
    int side = 0;
    std::string error;
    QVERIFY(ReadFEN(Shown().Params, "W:W33:B12,13", cells, side, error));
    QVERIFY(Shown().StartBoard == cells);
  }

  void badFenChangesNothing_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("square off the board") << "W:W51:B1";
    QTest::newRow("no side") << "[FEN \"W28:B1\"]";
    QTest::newRow("letters") << "FEN \"X:Wab:B\"";
  }

  void badFenChangesNothing() {
    QFETCH(QString, text);
    NewGame(kInternational);
    SetupDialog setup(*app, w->Board()->Pictures(), w.get());
    const QString before = setup.FenText();
    QVERIFY(!setup.ImportFen(text));
    QVERIFY(!setup.Message().isEmpty());
    QCOMPARE(setup.FenText(), before);
    const TGame shown = Shown();
    const int said = Hub()->Messages().size();
    QVERIFY(!Hub()->PasteFen(text));
    QCOMPARE(Hub()->Messages().size(), said + 1);
    QVERIFY(Shown().StartBoard == shown.StartBoard);
  }

  void pastedPdnGrowsTheTreeAndAnIllegalMoveIsRefused() {
    NewGame(kRussian);
    QVERIFY(Hub()->PastePdn("1. c3-d4 f6-g5 2. b2-c3"));
    TGame g = Shown();
    int depth = 0;
    for (int n = FirstChildOf(g, 0); n > 0; n = FirstChildOf(g, n)) ++depth;
    QCOMPARE(depth, 3);
    const size_t nodes = g.Moves.size();
    const int said = Hub()->Messages().size();
    QVERIFY(!Hub()->PastePdn("1. c3-d4 f6-g5 2. a1-h8"));
    QCOMPARE(Hub()->Messages().size(), said + 1);
    QVERIFY2(Hub()->Messages().back().contains("a1"), qPrintable(Hub()->Messages().back()));
    QCOMPARE(Shown().Moves.size(), nodes);
  }

  // --- New game -----------------------------------------------------------------------------------

  void newGameWindowSetsTheTimeControl() {
    NewGameDialog dialog(app->EngineFiles(), 2000, w.get());
    auto* time = dialog.findChild<QSpinBox*>();
    auto* kind = dialog.findChildren<QComboBox*>().back();
    QCOMPARE(time->maximum(), 120);
    time->setValue(10);
    kind->setCurrentIndex(1);  // seconds per move
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    ok->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Settings.GameTime.load(), kTimePerMove);
    QCOMPARE(Settings.TimeControlMin.load(), 10);
  }

  // --- Settings ----------------------------------------------------------------------------------

  void settingsChangedAreInTheFileAfterClosing() {
    NewGame(kRussian);
    auto* settings = new SettingsDialog(*app, w.get());
    settings->show();
    settings->Threads->setValue(7);
    settings->Coordinates->setChecked(!Settings.Showcoords.load());
    const bool coords = settings->Coordinates->isChecked();
    settings->PoolStyle->setCurrentIndex(2);
    emit settings->PoolStyle->activated(2);
    settings->GameType->setCurrentIndex(kInternational - 1);
    emit settings->GameType->activated(kInternational - 1);
    QCOMPARE(app->CurrentVariant(), int(kInternational));
    settings->close();
    QTRY_VERIFY(!settings->isVisible() && !settings->ChangesPending());
    // The file may be written in UTF-16: its ASCII keys are read without the zero bytes.
    std::string ini = ReadText(QString::fromStdString(SettingsFilePath()));
    std::erase(ini, '\0');
    QVERIFY2(ini.find("ThreadsCount=7") != std::string::npos, ini.c_str());
    QVERIFY(ini.find(std::string("Showcoords=") + (coords ? "1" : "0")) != std::string::npos ||
            ini.find(std::string("Showcoords=") + (coords ? "true" : "false")) != std::string::npos);
    QVERIFY(ini.find("PoolStyle=2") != std::string::npos);
    delete settings;
  }

 private:
  static int FirstChildOf(const TGame& g, int node) {
    TChildList kids;
    return GetChildren(g, node, kids) > 0 ? kids[0] : 0;
  }
};

int main(int argc, char** argv) {
  QTemporaryDir sandbox;
  test::PointHomeAt(sandbox);
  QApplication qapp(argc, argv);
  WindowsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "windows_test.moc"
