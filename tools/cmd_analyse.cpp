// quorlin analyse: lets an engine analyse a position and prints what it
// publishes as it changes (depth, evaluation, line), then the chosen move.
// Standard output holds only these lines; the engine's information lines
// (table set-up, database loading) go to standard error.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/textfile.h"
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

// Ctrl-C stops the search; the chosen move is still printed. A lock-free
// atomic store is safe in a signal handler.
std::atomic<bool> Interrupted{false};
extern "C" void StopOnSignal(int) {
  Interrupted.store(true);
  StopSearch.store(true);
}

struct TShown {
  std::string depth, eval, line, info;
};

// Copies what the display needs under the lock and prints a line when depth,
// evaluation or line changed (or a new information line arrived).
void ShowProgress(TShown& last) {
  TShown now;
  std::string speed, time;
  {
    std::lock_guard<std::mutex> g(AnalysisInfo.Used);
    if (!AnalysisInfo.Updated) return;
    AnalysisInfo.Updated = false;
    now.depth = AnalysisInfo.DepthStr;
    now.eval = FormatEval(AnalysisInfo.Eval);
    now.line = AnalysisInfo.PV;
    now.info = AnalysisInfo.Info;
    speed = AnalysisInfo.Speed;
    time = AnalysisInfo.Time;
  }
  if (!now.info.empty() && now.info != last.info) std::fprintf(stderr, "info %s\n", now.info.c_str());
  last.info = now.info;
  if (now.depth == last.depth && now.eval == last.eval && now.line == last.line) return;
  if (now.line.empty()) return;
  std::printf("depth %s  eval %s  time %s  speed %s  line %s\n", now.depth.c_str(), now.eval.c_str(),
              time.empty() ? "0.00" : time.c_str(), speed.empty() ? "-" : speed.c_str(), now.line.c_str());
  std::fflush(stdout);
  last = now;
}

// The chosen move as a text that names it alone and that the move-text reader
// takes back: the short form, the full path when another legal move starts
// and ends on the same squares, the capture list when even the paths agree.
std::string UnambiguousMoveText(const TGame& game, const TMove& move) {
  const TGameParams& p = game.Params;
  const int style = kStyleFull;
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(game.CurBoard, static_cast<int>(game.SideToMove), list, count, p, true);
  bool sameEnds = false, samePath = false;
  std::string path, otherPath;
  MovePathText(move, p, style, path, false, "x");
  for (int i = 1; i <= count; ++i) {
    const TMove& other = list[i];
    if (other.From() != move.From() || other.To() != move.To() || SameCapture(other, move)) continue;
    sameEnds = true;
    MovePathText(other, p, style, otherPath, false, "x");
    samePath = samePath || otherPath == path;
  }
  if (samePath) {
    std::string captures;
    MoveCaptureListText(move, p, captures, false);
    return captures;
  }
  return sameEnds ? path : MoveText(move, p, style, "x");
}

int Analyse(const Args& words) {
  const TArgs args(words, {"--fen", "--time", "--depth", "--nodes", "--threads", "--ed"});
  args.ExpectPositionals(2, 2, "a variant and an engine description");
  const int limits = args.Has("--time") + args.Has("--depth") + args.Has("--nodes");
  if (limits > 1) throw UsageError{"give one of --time, --depth and --nodes"};
  double seconds = 0;
  if (args.Has("--time")) {
    float s = 0;
    const std::string v = args.Text("--time");
    if (!ParseSingle(v, s) || !(s > 0) || s > 1e6f)
      throw UsageError{"bad --time \"" + v + "\": expected seconds, such as 5 or 0.5"};
    seconds = s;
  }
  const long long depth = args.Count("--depth", 0, 1, kMaxSearchPly);
  const long long nodes = args.Count("--nodes", 0, 1, 2000000000);
  // One worker per hardware thread unless told otherwise; 0 keeps the
  // engine's own meaning, one worker per root move.
  const long long threads =
      args.Count("--threads", std::max(1u, std::thread::hardware_concurrency()), 0, 255);
  const std::string edFolder = args.Text("--ed");
  const std::vector<std::string>& positional = args.Positionals();
  const int variant = ParseVariantArg(positional[0]);
  const TGameParams& params = VariantTable[variant];

  TEngine engine;
  if (!engine.LoadFromFile(positional[1], variant))
    throw std::runtime_error("engine description \"" + positional[1] + "\" not found");
  if (depth > 0) {
    TEvalFunc ef = engine.EvalFunc();
    ef.MaxDepth = static_cast<int32_t>(depth);
    engine.SetEvf(ef);
  }
  engine.ThreadsCount = static_cast<int>(threads);
  engine.AnalysisMode = true;
  if (!edFolder.empty()) engine.SetEDFolder(edFolder);

  TGame game;
  ClearGame(game);
  game.Params = params;
  game.Header.TypeOfGame = static_cast<uint8_t>(variant);
  int side = 0;
  if (args.Has("--fen"))
    ReadFenArg(params, args.Text("--fen"), game.CurBoard, side);
  else
    game.CurBoard.b = StartPosition(params, false);
  game.StartBoard = game.CurBoard.b;
  game.SideToMove = side == 0 ? TDColor::white : TDColor::black;
  game.Header.FirstMove = game.SideToMove;

  // No limit given: five seconds. --depth and --nodes run without a clock.
  int64_t timeCs = int64_t{100000000};
  if (seconds > 0)
    timeCs = static_cast<int64_t>(seconds * 100 + 0.5);
  else if (limits == 0)
    timeCs = 500;

  std::printf("engine: %s\n", engine.GetEngineName().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, StopOnSignal);
  TMove best;
  bool chosen = false;
  std::exception_ptr failure;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      chosen = engine.LetOpponentMove40(game, timeCs, best, true, static_cast<int>(nodes));
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
  });
  TShown last;
  while (!done.load()) {
    ShowProgress(last);
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  worker.join();
  std::signal(SIGINT, SIG_DFL);
  ShowProgress(last);
  if (failure) std::rethrow_exception(failure);
  if (!chosen && Interrupted.load()) {
    // Ctrl-C came while the engine was still setting up, before it had chosen
    // anything: a call without time chooses at once, so a stop still prints a
    // move instead of claiming that the side has none.
    chosen = engine.LetOpponentMove40(game, 1, best, true, 0);
  }

  TEval eval;
  std::string line;
  {
    std::lock_guard<std::mutex> g(AnalysisInfo.Used);
    eval = AnalysisInfo.Eval;
    line = AnalysisInfo.PV;
  }
  std::printf("nodes %lld\n", static_cast<long long>(engine.PstCnt()));
  if (!chosen) {
    std::printf("no move: %s has no legal move\n", side == 0 ? "the first side" : "the second side");
    return 0;
  }
  std::printf("bestmove %s  eval %s  line %s\n", UnambiguousMoveText(game, best).c_str(),
              FormatEval(eval).c_str(), line.c_str());
  return 0;
}

Command analyse("analyse",
                "analyse VARIANT ENGINE.eng [--fen FEN] [--time SEC | --depth N | --nodes N] [--threads N] "
                "[--ed FOLDER]",
                "lets the engine analyse a position and prints its progress and chosen move; "
                "--threads defaults to the hardware threads (0: one per root move)",
                Analyse);

}  // namespace
}  // namespace quorlin::cli
