// quorlin play: runs the desktop program's play logic without a window. The
// application object starts as the program does (engines from the program
// folder) but in a throwaway data folder, so the user's settings, log and
// ratings stay untouched. A scripted user plays the first legal move against
// the engine (or the engine analyses the start position), while a 25 ms
// timer calls the tick as the window would; the gaps between ticks show
// whether anything made the timer wait.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/settings.h"
#include "engine/gameresult.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kTickInterval = std::chrono::milliseconds(25);

struct TTickStats {
  std::vector<double> gapsMs;
  double longestTickMs = 0;
  Clock::time_point last{};

  // One timer tick: waits for the next 25 ms mark, then ticks.
  TTickReport Tick(TApplication& app) {
    const Clock::time_point due = last == Clock::time_point{} ? Clock::now() : last + kTickInterval;
    std::this_thread::sleep_until(due);
    const Clock::time_point start = Clock::now();
    if (last != Clock::time_point{})
      gapsMs.push_back(std::chrono::duration<double, std::milli>(start - last).count());
    last = start;
    TTickReport r = app.Tick();
    longestTickMs =
        std::max(longestTickMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    for (const std::string& m : r.Messages) std::printf("message: %s\n", m.c_str());
    for (const std::string& m : r.SilentMessages) std::printf("message (silent): %s\n", m.c_str());
    return r;
  }

  void Print() const {
    if (gapsMs.empty()) return;
    std::vector<double> sorted = gapsMs;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    std::printf("ticks %zu, longest gap %.1f ms, 99th percentile gap %.1f ms, longest tick %.2f ms\n",
                sorted.size() + 1, sorted.back(), p99, longestTickMs);
  }
};

// A data folder of its own: HOME (and with it the Documents folder) points
// into a fresh temporary folder for the run.
fs::path ThrowawayHome() {
  std::string pattern = (fs::temp_directory_path() / "quorlin-play-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  const fs::path home(pattern);
  fs::create_directories(home / "Documents");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  return home;
}

std::string LastMoveText(const TGame& g) {
  if (g.CurMovPos <= 0) return {};
  return MoveText(g.Moves[g.CurMovPos], g.Params, kStyleFull, "x");
}

void PlayGame(TApplication& app, TTickStats& ticks, long long maxPlies) {
  TNewGameChoice choice;
  choice.Colour = 1;  // the scripted user plays the side that moves first
  choice.Rated = false;
  app.StartGame(choice);
  int shownNode = 0;
  for (;;) {
    ticks.Tick(app);
    TMove move;
    bool userTurn = false;
    uint8_t result = 0;
    long long plies = 0;
    {
      auto g = app.LockGame();
      result = g->Header.Result;
      for (int n = g->CurMovPos; n > 0 && plies <= maxPlies; n = g->Moves[n].parent) ++plies;
      if (g->CurMovPos != shownNode) {
        shownNode = g->CurMovPos;
        std::printf("%s ", LastMoveText(*g).c_str());
        std::fflush(stdout);
      }
      if (result == kResultNone && app.CanUserMove()) {
        TMvs list;
        uint8_t n = 0;
        GenerateMoves(g->CurBoard, static_cast<int>(g->SideToMove), list, n, g->Params, true);
        if (n > 0) move = list[1], userTurn = true;
      }
    }
    if (result != kResultNone || plies >= maxPlies) {
      ticks.Tick(app);  // the last messages
      std::printf("\nresult %s after %lld plies\n", ResultText(result), plies);
      return;
    }
    if (userTurn) app.UserMove(move);
  }
}

void Analyse(TApplication& app, TTickStats& ticks, double seconds) {
  app.SetMode(TPlayMode::Analysis);
  app.StartStop();
  const Clock::time_point end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (Clock::now() < end) ticks.Tick(app);
  app.StartStop();
  ticks.Tick(app);
  const TAnalysisInfo& out = app.EngineOutput();
  std::lock_guard<std::mutex> g(out.Used);
  std::printf("engine %s depth %s eval %s line %s\n", out.EngineNm.c_str(), out.DepthStr.c_str(),
              FormatEval(out.Eval).c_str(), out.PV.c_str());
}

int Play(const Args& words) {
  const TArgs args(words, {"--seconds", "--plies", "--threads", "--analyse"}, {"--keep"});
  args.ExpectPositionals(0, 1, "at most a variant");
  const int variant = args.Positionals().empty() ? kRussian : ParseVariantArg(args.Positionals()[0]);
  const long long seconds = std::max(1LL, args.Count("--seconds", 1, 0, 3600));
  const long long maxPlies = args.Count("--plies", 400, 0, 100000);
  const long long threads = args.Count("--threads", 0, 0, 255);
  const double analyse =
      args.Has("--analyse") ? static_cast<double>(std::max(1LL, args.Count("--analyse", 1, 0, 3600))) : 0;
  const bool keep = args.Has("--keep");

  const fs::path home = ThrowawayHome();
  std::printf("data folder %s\n", (home / "Documents" / "Quorlin Draughts").c_str());
  int rc = 0;
  {
    // Start-up returns before the engines are set up (that goes on in the
    // background); both times are shown.
    const Clock::time_point begin = Clock::now();
    TApplication app;
    const Clock::time_point started = Clock::now();
    app.SelectVariant(variant, false);
    app.WaitIdle();
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("started in %.0f ms, engines ready after %.0f ms\n", ms(started - begin),
                ms(Clock::now() - begin));
    Settings.GameTime = kTimePerMove;
    Settings.TimeControlMin = static_cast<int>(seconds);
    Settings.ThreadsCount = static_cast<int>(threads);
    std::printf("variant %s, engine thinks %lld s per move\n", VariantTable[variant].Name.c_str(), seconds);
    TTickStats ticks;
    if (analyse > 0)
      Analyse(app, ticks, analyse);
    else
      PlayGame(app, ticks, maxPlies);
    ticks.Print();
    app.Shutdown();
  }
  std::error_code ec;
  if (!keep) fs::remove_all(home, ec);
  return rc;
}

const Command kPlay("play",
                    "play [VARIANT] [--seconds S] [--plies N] [--threads T] [--analyse SECONDS] [--keep]",
                    "play a game against the engine (or analyse) without a window, with the 25 ms timer",
                    Play);

}  // namespace
}  // namespace quorlin::cli
