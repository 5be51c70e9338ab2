// quorlin-draughts: the desktop program.
//
//   quorlin-draughts                        opens the main window
//   quorlin-draughts --screenshot OUT.png [--variant V] [--fen FEN] [--moves "c3-d4 f6-g5 ..."]
//                    [--size WxH] [--analyse SECONDS] [--reversed] [--coordinates]
//                    [--board SET] [--pieces SET]
//                    [--window database|search|gameinfo|problem|setup|newgame|settings [--db FILE.abd]]
//                                           draws the window (or one of the other windows)
//                                           offscreen into OUT.png and exits
//   quorlin-draughts --measure-db FILE.abd  times the database window on that database
//   quorlin-draughts --measure-startup      prints the time until the first picture
//   quorlin-draughts --measure-latency SECONDS [--variant V]
//                                           both engines think with two threads each; prints the
//                                           longest and the 99th-percentile gap between timer ticks
//   quorlin-draughts --check-exports        calls every exported routine through the symbol table
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "app/application.h"
#include "app/folders.h"
#include "app/gamenavigation.h"
#include "app/gui/exportcheck.h"
#include "app/gui/mainwindow.h"
#include "app/gui/windowshots.h"
#include "app/settings.h"
#include "engine/engine.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"

using namespace quorlin;
using namespace quorlin::gui;

namespace {

const auto kMainStart = std::chrono::steady_clock::now();

double MsSinceMain() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - kMainStart).count();
}

// Milliseconds since the process was started by the system (includes loading
// the libraries before main).
double ProcessAgeMs() {
  std::ifstream stat("/proc/self/stat"), uptime("/proc/uptime");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t paren = text.rfind(')');
  if (paren == std::string::npos) return -1;
  std::istringstream fields(text.substr(paren + 2));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  double up = 0;
  uptime >> up;
  const double startSeconds = std::stod(field) / sysconf(_SC_CLK_TCK);
  return (up - startSeconds) * 1000.0;
}

// Engine threads run this much nicer than the window's thread: on a machine
// whose cores the searches fill, the window still gets the processor when its
// timer fires.
constexpr int kEngineNice = 10;

void LowerThisThreadsPriority() {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, tid, std::min(19, getpriority(PRIO_PROCESS, tid) + kEngineNice));
}

// Creates the application object on a helper thread of lower priority: the
// engine thread it starts, and the search workers that thread starts, inherit
// that priority, while the window's thread keeps its own.
std::unique_ptr<TApplication> MakeApplication() {
  std::unique_ptr<TApplication> app;
  std::thread maker([&app] {
    LowerThisThreadsPriority();
    app = std::make_unique<TApplication>();
  });
  maker.join();
  return app;
}

struct TOptions {
  std::string screenshot;
  std::string variant;
  std::string fen;
  std::string moves;
  std::string board, pieces;  // picture sets for this run
  std::string window;         // another window to draw
  std::string db;             // database to open first
  std::string measureDb;
  int width = 1180, height = 760;
  bool sizeGiven = false;
  double analyse = 0;
  bool reversed = false;
  bool coordinates = false;
  bool measureStartup = false;
  double measureLatency = 0;
  bool checkExports = false;
};

void Usage() {
  std::cerr << "usage: quorlin-draughts [--screenshot OUT.png [--variant V] [--fen FEN] [--moves MOVES]\n"
               "                         [--size WxH] [--analyse SECONDS] [--reversed] [--coordinates]\n"
               "                         [--board SET] [--pieces SET]\n"
               "                         [--window database|search|gameinfo|problem|setup|newgame|settings]\n"
               "                         [--db FILE.abd]]\n"
               "                        [--measure-db FILE.abd]\n"
               "                        [--measure-startup] [--measure-latency SECONDS [--variant V]]\n"
               "                        [--check-exports]\n";
}

std::optional<TOptions> ParseOptions(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) {
        std::cerr << "quorlin-draughts: " << a << " needs a value\n";
        return std::nullopt;
      }
      return std::string(argv[++i]);
    };
    std::optional<std::string> v;
    if (a == "--screenshot" || a == "--variant" || a == "--fen" || a == "--moves" || a == "--size" ||
        a == "--board" || a == "--pieces" || a == "--analyse" || a == "--measure-latency" ||
        a == "--window" || a == "--db" || a == "--measure-db") {
      v = value();
      if (!v) return std::nullopt;
    }
    try {
      if (a == "--screenshot") {
        o.screenshot = *v;
      } else if (a == "--variant") {
        o.variant = *v;
      } else if (a == "--fen") {
        o.fen = *v;
      } else if (a == "--moves") {
        o.moves = *v;
      } else if (a == "--window") {
        o.window = *v;
      } else if (a == "--db") {
        o.db = *v;
      } else if (a == "--measure-db") {
        o.measureDb = *v;
      } else if (a == "--board") {
        o.board = *v;
      } else if (a == "--pieces") {
        o.pieces = *v;
      } else if (a == "--size") {
        const size_t x = v->find('x');
        if (x == std::string::npos) throw std::invalid_argument("size");
        o.sizeGiven = true;
        o.width = std::stoi(v->substr(0, x));
        o.height = std::stoi(v->substr(x + 1));
        if (o.width < 200 || o.height < 200 || o.width > 8000 || o.height > 8000)
          throw std::out_of_range("size");
      } else if (a == "--analyse") {
        o.analyse = std::stod(*v);
        if (o.analyse < 0) throw std::out_of_range("analyse");
      } else if (a == "--measure-latency") {
        o.measureLatency = std::stod(*v);
        if (o.measureLatency <= 0) throw std::out_of_range("latency");
      } else if (a == "--reversed") {
        o.reversed = true;
      } else if (a == "--coordinates") {
        o.coordinates = true;
      } else if (a == "--measure-startup") {
        o.measureStartup = true;
      } else if (a == "--check-exports") {
        o.checkExports = true;
      } else if (a == "--help" || a == "-h") {
        Usage();
        std::exit(0);
      } else if (a.size() > 1 && a[0] == '-' && a[1] != '-') {
        // Qt's own options (-platform NAME, -style NAME, ...) are left to Qt.
        if (i + 1 < argc && argv[i + 1][0] != '-') ++i;
      } else {
        std::cerr << "quorlin-draughts: unknown option " << a << "\n";
        return std::nullopt;
      }
    } catch (const std::exception&) {
      std::cerr << "quorlin-draughts: " << a << ": expected "
                << (a == "--size" ? "WIDTHxHEIGHT, each 200..8000" : "a positive number") << ", got \"" << *v
                << "\"\n";
      return std::nullopt;
    }
  }
  return o;
}

// Lets the event loop run for `ms` milliseconds.
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Sets the shown game to the FEN position and plays the listed moves into it
// (each written as the move list writes it, e.g. "c3-d4" or "d4xf6").
bool SetUpPosition(TApplication& app, const TOptions& o) {
  bool ok = true;
  app.StopEngines();
  app.EditGame([&](TGame& g) {
    if (!o.fen.empty()) {
      const TGameParams params = g.Params;
      const int type = g.Header.TypeOfGame;
      ClearGame(g);
      g.Params = params;
      g.Header.TypeOfGame = static_cast<uint8_t>(type);
      int side = 0;
      std::string why;
      if (!ReadFEN(params, o.fen, g.StartBoard, side, why)) {
        std::cerr << "quorlin-draughts: --fen: " << why << "\n";
        ok = false;
        return;
      }
      g.Header.FirstMove = side ? TDColor::black : TDColor::white;
      ShowNode(g, 0);
    }
    std::istringstream tokens(o.moves);
    std::string token;
    while (tokens >> token) {
      if (token.find('.') != std::string::npos) token = token.substr(token.rfind('.') + 1);
      if (token.empty()) continue;
      TMvs list;
      uint8_t count = 0;
      GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, count, g.Params, true);
      int found = 0;
      for (int i = 1; i <= count && !found; ++i) {
        for (int style : {kStyleExtended, kStyleShort, kStyleFull}) {
          if (MoveText(list[i], g.Params, style, "x") == token ||
              MoveText(list[i], g.Params, style, ":") == token) {
            found = i;
          }
        }
      }
      if (!found) {
        std::cerr << "quorlin-draughts: --moves: \"" << token
                  << "\" is not a legal move here; expected one of:";
        for (int i = 1; i <= count; ++i) std::cerr << " " << MoveText(list[i], g.Params, kStyleExtended, "x");
        std::cerr << "\n";
        ok = false;
        return;
      }
      const int node = AddMove(g, list[found], g.CurMovPos);
      ShowNode(g, node);
    }
  });
  return ok;
}

int Screenshot(TApplication& app, MainWindow& w, const TOptions& o) {
  const TPlayMode savedMode = app.Mode();
  const bool savedCoords = Settings.Showcoords.load();
  const std::string savedBoard = Settings.BoardName, savedPieces = Settings.PiecesName;
  if (!o.board.empty()) w.SetBoardPictures(QString::fromStdString(o.board));
  if (!o.pieces.empty()) w.SetPiecePictures(QString::fromStdString(o.pieces));
  if (o.coordinates) Settings.Showcoords = true;
  if (!SetUpPosition(app, o)) return 2;
  if (o.reversed) app.SetBoardReversed(true);
  w.resize(o.width, o.height);
  w.show();
  if (o.analyse > 0) {
    app.SetMode(TPlayMode::Analysis);
    RunFor(100);
    app.StartStop();
    RunFor(static_cast<int>(o.analyse * 1000));
  } else {
    RunFor(400);
  }
  const bool saved = w.grab().save(QString::fromStdString(o.screenshot));
  app.StopEngines();
  app.SetMode(savedMode);
  Settings.Showcoords = savedCoords;
  Settings.BoardName = savedBoard;
  Settings.PiecesName = savedPieces;
  if (!saved) std::cerr << "quorlin-draughts: cannot write " << o.screenshot << "\n";
  return saved ? 0 : 1;
}

// Gap statistics in milliseconds: mean, 99th percentile, maximum.
struct TGapStats {
  size_t ticks = 0;
  double mean = 0, p99 = 0, max = 0;
};

TGapStats Stats(std::vector<int64_t> gaps) {
  TGapStats s;
  if (gaps.empty()) return s;
  std::sort(gaps.begin(), gaps.end());
  s.ticks = gaps.size();
  double sum = 0;
  for (int64_t g : gaps) sum += g;
  s.mean = sum / gaps.size() / 1000.0;
  s.p99 = gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)] / 1000.0;
  s.max = gaps.back() / 1000.0;
  return s;
}

int MeasureLatency(TApplication& app, MainWindow& w, const TOptions& o) {
  const TPlayMode savedMode = app.Mode();
  const int savedThreads = Settings.ThreadsCount.load();
  Settings.ThreadsCount = 2;
  w.show();
  RunFor(300);
  // The same measurement with no engine running shows what the machine
  // itself costs.
  w.ResetTickGaps();
  RunFor(static_cast<int>(std::min(5.0, o.measureLatency) * 1000));
  const TGapStats idle = Stats(w.TickGaps());

  app.SetMode(TPlayMode::Analysis);
  app.StartStop();  // the analysis engine, two threads

  // The second engine thinks at the same time, as the play engine does while
  // the user's opponent moves: its own record, its own stop flag, the same
  // lower priority.
  TAnalysisInfo info;
  std::atomic<bool> stop{false};
  TEngine second(&info, &stop, 64);
  TGame game;
  {
    auto g = app.LockGame();
    game = *g;
  }
  const std::string description = ProgramFolder + "EnginesTest/" + VariantTable[game.Header.TypeOfGame].Name +
                                  "/" + EngineOpts[game.Header.TypeOfGame].EngineName;
  try {
    second.LoadFromFile(description, game.Header.TypeOfGame);
  } catch (const std::exception& e) {
    std::cerr << "quorlin-draughts: " << e.what() << "\n";
  }
  second.ThreadsCount = 2;
  second.AnalysisMode = true;
  std::thread thinker([&] {
    LowerThisThreadsPriority();
    while (!stop.load()) {
      TMove best;
      second.LetOpponentMove40(game, static_cast<int64_t>(o.measureLatency * 100) + 100, best, true, 0);
    }
  });
  RunFor(1000);
  w.ResetTickGaps();
  RunFor(static_cast<int>(o.measureLatency * 1000));
  const TGapStats busy = Stats(w.TickGaps());
  const double longestWork = w.LongestTickWork() / 1000.0;
  const int searching = app.EngineOutput().TotalMoves;
  stop = true;
  thinker.join();
  app.StopEngines();
  app.SetMode(savedMode);
  Settings.ThreadsCount = savedThreads;
  if (busy.ticks == 0) {
    std::cout << "no ticks measured\n";
    return 1;
  }
  std::printf("engines idle:     %zu ticks, gap mean %.1f ms, 99th percentile %.1f ms, max %.1f ms\n",
              idle.ticks, idle.mean, idle.p99, idle.max);
  std::printf("engines thinking: %zu ticks, gap mean %.1f ms, 99th percentile %.1f ms, max %.1f ms\n",
              busy.ticks, busy.mean, busy.p99, busy.max);
  std::printf("longest tick %.1f ms; %u cores; root moves %d\n", longestWork,
              std::thread::hardware_concurrency(), searching);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<TOptions> options = ParseOptions(argc, argv);
  if (!options) {
    Usage();
    return 2;
  }
  const TOptions& o = *options;
  const bool tool = !o.screenshot.empty() || o.measureLatency > 0 || o.checkExports || o.measureStartup ||
                    !o.measureDb.empty();
  const bool offscreen =
      !o.screenshot.empty() || o.measureLatency > 0 || o.checkExports || !o.measureDb.empty();
  if (offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (o.checkExports) {
    InitRules();
    return CheckExports(std::cout) ? 0 : 1;
  }

  QApplication qapp(argc, argv);
  QApplication::setApplicationName("quorlin-draughts");
  QApplication::setDesktopFileName("quorlin-draughts");
  const std::unique_ptr<TApplication> appObject = MakeApplication();
  TApplication& app = *appObject;
  // The tools leave the user's settings as they found them.
  const int savedVariant = Settings.DefTypeOfGame.load();
  if (!o.variant.empty()) {
    const int v = FindVariant(o.variant);
    if (v == 0) {
      std::cerr << "quorlin-draughts: --variant: no variant \"" << o.variant
                << "\" (expected a number 1..14 or a name such as International)\n";
      return 2;
    }
    app.SelectVariant(v, false);
  }

  TMainWindowOptions windowOptions;
  if (tool) {
    windowOptions.askBeforeClosing = false;
    windowOptions.modalMessages = false;
    windowOptions.rememberGeometry = false;
    windowOptions.sound = false;
  }
  MainWindow w(app, windowOptions);
  int rc = 0;
  if (!o.screenshot.empty() && !o.window.empty()) {
    rc = SetUpPosition(app, o) ? WindowScreenshot(w, o.window, o.db, o.screenshot, o.sizeGiven ? o.width : 0,
                                                  o.sizeGiven ? o.height : 0)
                               : 2;
  } else if (!o.screenshot.empty()) {
    rc = Screenshot(app, w, o);
  } else if (!o.measureDb.empty()) {
    rc = MeasureDatabaseWindow(w, o.measureDb);
  } else if (o.measureLatency > 0) {
    rc = MeasureLatency(app, w, o);
  } else {
    if (o.measureStartup) {
      QObject::connect(&w, &MainWindow::firstPaint, &w, [&w] {
        std::printf("first picture %.0f ms after main, %.0f ms after process start\n", MsSinceMain(),
                    ProcessAgeMs());
        std::fflush(stdout);
        w.close();
      });
    }
    w.show();
    rc = qapp.exec();
  }
  if (tool) {
    Settings.DefTypeOfGame = savedVariant;
    w.close();
  }
  app.Shutdown();
  return rc;
}
