// The engine controller: texts, root ordering and choice, the worker pool, the
// call's edge cases, stopping, and the analyse and bench commands.
#include "engine/engine.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <sstream>
#include <thread>

#include "rules/movegen.h"
#include "search_fixture.h"

namespace quorlin {
namespace {

using test::GameFromFen;
using test::Sq;
using test::TTestEngine;
using test::TTestEngineOptions;

TEST(EngineTexts, ScoresAndEvaluations) {
  struct Row {
    float x;
    const char* text;
  } rows[] = {{0.25f, "0.25"}, {-1.5f, "-1.50"}, {0, "0.00"},    {1985, "x15"},      {-1490, "-xN(10)"},
              {1500, "xN(0)"}, {2100, "x0"},     {-1999, "-x1"}, {1740, "xN(-240)"}, {1741, "x259"}};
  for (const Row& r : rows) EXPECT_EQ(FormatScore(r.x), r.text) << r.x;
  EXPECT_EQ(FormatEval(TEval{0.25f, 0.25f, 0}), "0.25");
  EXPECT_EQ(FormatEval(TEval{-3000, 3000, 0}), "~-x0");  // nothing known yet
  EXPECT_EQ(FormatEval(TEval{0.5f, 2000, 0}), "~0.50");
  EXPECT_EQ(DepthStrOf(56), "5,6");
  EXPECT_EQ(TimeTextOf(307), "3.07");
  EXPECT_EQ(TimeTextOf(5), "0.05");
}

TEST(EngineOrder, RootBetter) {
  struct Row {
    TEval a;
    int ad;
    TEval b;
    int bd;
    bool better;
  } rows[] = {
      {{1, 1, 0}, 5, {0, 0, 0}, 5, true},
      {{0, 0, 0}, 5, {1, 1, 0}, 5, false},
      {{-2000, 2000, 0}, 3, {0.5f, 0.5f, 0}, 5, false},  // not searched yet
      {{0.5f, 0.5f, 0}, 5, {-2000, 2000, 0}, 3, true},
      {{0.2f, 0.2f, 0.5f}, 5, {0.2f, 0.2f, 0.1f}, 5, true},  // shallow estimate breaks ties
      {{0.2f, 0.2f, 0.1f}, 5, {0.2f, 0.2f, 0.5f}, 5, false},
      {{-1500, -1500, 0}, 7, {-1990, -1990, 0}, 5, true},  // all losses alike: deeper wins
      {{-1500, -1500, 0}, 5, {-1990, -1990, 0}, 7, false},
      {{0.2f, 2000, 0}, 5, {0.1f, 2000, 0}, 5, true},    // two lower bounds
      {{-2000, 0.3f, 0}, 5, {-2000, 0.1f, 0}, 5, true},  // two upper bounds
  };
  for (const Row& r : rows)
    EXPECT_EQ(RootBetter(r.a, static_cast<uint8_t>(r.ad), r.b, static_cast<uint8_t>(r.bd)), r.better)
        << r.a.min << "/" << r.a.max << " vs " << r.b.min << "/" << r.b.max;
}

TEST(EngineOrder, NearEqualMovesShareTheChoice) {
  TAnalysisInfo info;
  info.TotalMoves = 3;
  const float values[] = {0.30f, 0.27f, 0.20f};
  for (int i = 1; i <= 3; ++i) {
    info.Sort[i] = static_cast<uint8_t>(i);
    info.Moves[i].Eval = TEval{values[i - 1], values[i - 1], 0};
  }
  EXPECT_EQ(NearEqualCount(info, 0.05f), 2);
  EXPECT_EQ(NearEqualCount(info, 0), 1);
  EXPECT_EQ(NearEqualCount(info, 0.2f), 3);
}

// The move of `game`'s side from `from` to `to` (quiet).
TMove FindMove(const TGame& game, const std::string& from, const std::string& to) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(game.CurBoard, static_cast<int>(game.SideToMove), list, n, game.Params, true);
  const int variant = game.Header.TypeOfGame;
  for (int i = 1; i <= n; ++i)
    if (list[i].From() == Sq(variant, from) && list[i].To() == Sq(variant, to)) return list[i];
  ADD_FAILURE() << "no move " << from << "-" << to;
  return TMove{};
}

void Play(TGame& game, const TMove& m) {
  const int node = AddMove(game, m, game.CurMovPos);
  ASSERT_NE(node, 0);
  game.CurMovPos = node;
  ApplyMove(m, game.CurBoard, game.Params);
  game.SideToMove = game.SideToMove == TDColor::white ? TDColor::black : TDColor::white;
}

TEST(EngineCall, DepthLimitAndFirstPass) {
  for (int variant : {kRussian, kTurkish}) {
    TTestEngineOptions o;
    o.maxDepth = 5;
    TTestEngine t(variant, o);
    const TGame game = GameFromFen(variant, "");
    TMove best;
    ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0));
    std::lock_guard<std::mutex> g(t.info.Used);
    ASSERT_GT(t.info.TotalMoves, 1);
    // Passes go 3 -> 5 (3 -> 4 -> 5 in Turkish) and stop at MaxDepth.
    for (int i = 1; i <= t.info.TotalMoves; ++i) EXPECT_EQ(t.info.Moves[i].depth, 5) << variant;
    EXPECT_EQ(t.info.DepthStr, "5,0");
    EXPECT_EQ(t.info.EngineNm, "Test");
    EXPECT_EQ(t.info.Edb,
              "ED n/a, Hash=" +
                  std::to_string((t.engine.Hash().CurSize.load() + 1) * 200 / t.engine.Hash().MaxSize) +
                  "%, Lrn=Off\r");
    EXPECT_EQ(t.info.Moves[t.info.Sort[1]].PVs.rfind("1.", 0), 0u) << t.info.Moves[t.info.Sort[1]].PVs;
  }
  // MaxDepth 0 deepens to 49 (here stopped early by a position budget).
  TTestEngine t(kRussian);
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(GameFromFen(kRussian, ""), 100000000, best, false, 20000));
  EXPECT_EQ(t.engine.getmaxdepth(), 49);
  EXPECT_TRUE(t.stop.load());
}

// A position budget stops the bitboard search and the square-list search
// alike: the same check runs in both.
class PositionBudget : public testing::TestWithParam<int> {};

TEST_P(PositionBudget, StopsTheSearchOfEitherVersion) {
  TTestEngineOptions o;
  o.version = GetParam();
  TTestEngine t(kRussian, o);
  t.engine.ThreadsCount = 1;
  TMove best;
  // Thirty seconds of clock as a safety net: a search that ignored the budget
  // would fail below instead of running on.
  ASSERT_TRUE(t.engine.LetOpponentMove40(GameFromFen(kRussian, ""), 3000, best, false, 20000));
  EXPECT_TRUE(t.stop.load());
  EXPECT_GT(best.From(), 0);
  // The check runs three plies above the horizon, so the count overshoots by
  // at most a few small subtrees.
  EXPECT_GT(t.engine.PstCnt(), 20000);
  EXPECT_LT(t.engine.PstCnt(), 200000);
  std::lock_guard<std::mutex> g(t.info.Used);
  EXPECT_LT(t.info.Depth, 490) << "the budget did not stop the deepening";
}

INSTANTIATE_TEST_SUITE_P(Versions, PositionBudget, testing::Values(kBitboardVersion, kArrayBoardVersion),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param == kBitboardVersion ? std::string("Bitboard")
                                                                 : std::string("SquareList");
                         });

TEST(EngineCall, WorkerCountFollowsSettingsAndDescription) {
  struct Row {
    int threadsCount, maxThreads, expect;
  } rows[] = {{2, 0, 2}, {0, 0, 7}, {10, 0, 7}, {0, 1, 1}, {3, 2, 2}};
  for (const Row& r : rows) {
    TTestEngineOptions o;
    o.maxDepth = 5;
    o.maxThreads = r.maxThreads;
    TTestEngine t(kRussian, o);
    t.engine.ThreadsCount = r.threadsCount;
    TMove best;
    ASSERT_TRUE(t.engine.LetOpponentMove40(GameFromFen(kRussian, ""), 100000000, best, false, 0));
    EXPECT_EQ(t.engine.LastThreadCount(), r.expect) << r.threadsCount << "/" << r.maxThreads;
    EXPECT_EQ(t.engine.RunningThreadCount(), 0);
    EXPECT_FALSE(t.engine.Analysing());
  }
}

TEST(EngineCall, MoveBackIntoTheGameLineIsSkipped) {
  TTestEngineOptions o;
  o.maxDepth = 5;
  TTestEngine t(kRussian, o);
  TGame game = GameFromFen(kRussian, "W:WKc1:BKf8");
  Play(game, FindMove(game, "c1", "d2"));
  Play(game, FindMove(game, "f8", "e7"));
  Play(game, FindMove(game, "d2", "c1"));
  Play(game, FindMove(game, "e7", "f8"));
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0));
  std::lock_guard<std::mutex> g(t.info.Used);
  int skipped = 0;
  for (int i = 1; i <= t.info.TotalMoves; ++i) {
    const TRootMove& rm = t.info.Moves[i];
    const bool back =
        t.info.moves1[i].From() == Sq(kRussian, "c1") && t.info.moves1[i].To() == Sq(kRussian, "d2");
    EXPECT_EQ(rm.skip, back);
    if (back) {
      ++skipped;
      EXPECT_EQ(rm.Eval.min, 0);
      EXPECT_EQ(rm.Eval.max, 0);
      EXPECT_EQ(rm.depth, 3);  // never searched
    }
  }
  EXPECT_EQ(skipped, 1);
  EXPECT_EQ(t.info.Moves[1].PVs.rfind("3.", 0), 0u) << "numbering goes on from the game";
}

TEST(EngineCall, SingleMoveGetsOnePassOutsideAnalysisMode) {
  TTestEngine t(kRussian);
  const TGame game = GameFromFen(kRussian, "W:Wc3,a1:Bd4,h8");
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0));
  EXPECT_EQ(best.From(), Sq(kRussian, "c3"));
  EXPECT_EQ(best.To(), Sq(kRussian, "e5"));
  std::lock_guard<std::mutex> g(t.info.Used);
  EXPECT_EQ(t.info.TotalMoves, 1);
  EXPECT_EQ(t.info.Moves[1].depth, 5);
}

TEST(EngineCall, NoLegalMoveLeavesTheMoveAlone) {
  TTestEngine t(kRussian);
  TMove best;
  best.lt = 77;
  EXPECT_FALSE(t.engine.LetOpponentMove40(GameFromFen(kRussian, "W:Wa7:Bb8"), 100000000, best, false, 0));
  EXPECT_EQ(best.lt, 77);
  EXPECT_FALSE(t.engine.Analysing());
  std::lock_guard<std::mutex> g(t.info.Used);
  EXPECT_EQ(t.info.TotalMoves, 0);
  EXPECT_EQ(t.info.Eval.min, -2000);
  EXPECT_EQ(t.info.Eval.max, 2000);
}

TEST(EngineCall, AvoidsTheMoveThatLosesItsMan) {
  TTestEngineOptions o;
  o.maxDepth = 7;
  TTestEngine t(kRussian, o);
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(GameFromFen(kRussian, "W:Wc3:Be5"), 100000000, best, false, 0));
  EXPECT_EQ(best.To(), Sq(kRussian, "b4"));
}

TEST(EngineCall, KingCatchesTheLoneMan) {
  TTestEngineOptions o;
  o.maxDepth = 15;
  TTestEngine t(kRussian, o);
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(GameFromFen(kRussian, "W:WKa1:Bc7"), 100000000, best, false, 0));
  std::lock_guard<std::mutex> g(t.info.Used);
  EXPECT_GT(t.info.Eval.min, 1000.0f) << FormatEval(t.info.Eval) << " " << t.info.PV;
  EXPECT_EQ(FormatEval(t.info.Eval)[0], 'x');
}

TEST(EngineCall, PrincipalLineIsPlayable) {
  TTestEngineOptions o;
  o.maxDepth = 9;
  TTestEngine t(kInternational, o);
  TGame game = GameFromFen(kInternational, "");
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0));
  std::lock_guard<std::mutex> g(t.info.Used);
  const TRootMove& top = t.info.Moves[t.info.Sort[1]];
  ASSERT_GT(top.PV.Length, 2) << top.PVs;
  EXPECT_EQ(t.info.PV, top.PVs);
  TBoard b = game.CurBoard;
  int side = 0;
  for (int i = 1; i <= top.PV.Length; ++i) {
    TMvs list;
    uint8_t n = 0;
    GenerateMoves(b, side, list, n, game.Params, true);
    bool legal = false;
    for (int j = 1; j <= n; ++j) legal = legal || SameCapture(list[j], top.PV.Mvs[i]);
    ASSERT_TRUE(legal) << "move " << i << " of " << top.PVs;
    ApplyMove(top.PV.Mvs[i], b, game.Params);
    side = 1 - side;
  }
}

// Variants without a 64-bit board are searched on the square list.
TEST(EngineCall, SquareListEnginesPlayEveryBoard) {
  for (int variant : {kFrisian, kCanadian, kRussian}) {
    TTestEngineOptions o;
    o.maxDepth = 5;
    o.version = kArrayBoardVersion;
    TTestEngine t(variant, o);
    EXPECT_EQ(t.engine.GetEngineName(), "[2.11]");
    const TGame game = GameFromFen(variant, "");
    TMove best;
    ASSERT_TRUE(t.engine.LetOpponentMove40(game, 100000000, best, false, 0)) << variant;
    EXPECT_GT(best.From(), 0);
    EXPECT_GT(t.engine.PstCnt(), 0);
  }
  TTestEngineOptions o;
  o.maxDepth = 7;
  o.version = kArrayBoardVersion;
  TTestEngine t(kRussian, o);
  TMove best;
  ASSERT_TRUE(t.engine.LetOpponentMove40(GameFromFen(kRussian, "W:Wc3:Be5"), 100000000, best, false, 0));
  EXPECT_EQ(best.To(), Sq(kRussian, "b4"));
}

// Stops a long analysis from another thread while a third one reads the
// published texts the way the display does, and measures how fast the call
// comes back.
TEST(EngineCall, StopEndsTheCallPromptly) {
  TTestEngine t(kRussian);
  t.engine.AnalysisMode = true;
  t.engine.ThreadsCount = 2;
  const TGame game = GameFromFen(kRussian, "");
  TMove best;
  bool chosen = false;
  std::atomic<bool> done{false};
  std::chrono::steady_clock::time_point returned;
  std::thread call([&] {
    chosen = t.engine.LetOpponentMove40(game, 100000000, best, true, 0);
    returned = std::chrono::steady_clock::now();
    done = true;
  });
  std::thread reader([&] {
    while (!done.load()) {
      std::string pv, depth, speed;
      {
        std::lock_guard<std::mutex> g(t.info.Used);
        if (t.info.Updated) {
          t.info.Updated = false;
          pv = t.info.PV;
          depth = t.info.DepthStr;
          speed = t.info.Speed;
        }
      }
      (void)t.engine.PstCnt();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  // A second call while one runs comes back at once.
  TMove other;
  other.lt = 55;
  EXPECT_FALSE(t.engine.LetOpponentMove40(game, 100, other, true, 0));
  EXPECT_EQ(other.lt, 55);
  const auto stopAt = std::chrono::steady_clock::now();
  t.stop = true;
  t.engine.SetBreakAnalysis(true);
  call.join();
  reader.join();
  const double ms = std::chrono::duration<double, std::milli>(returned - stopAt).count();
  std::printf("[ stop latency ] %.1f ms\n", ms);
  RecordProperty("stop_latency_ms", static_cast<int>(ms));
  EXPECT_LT(ms, 2000.0);
  ASSERT_TRUE(chosen);
  EXPECT_GT(best.From(), 0);
  std::lock_guard<std::mutex> g(t.info.Used);
  for (int i = 1; i <= t.info.TotalMoves; ++i) EXPECT_FALSE(t.info.Moves[i].analysing);
}

// A worker whose search throws logs the error and gives its root move back;
// the other worker takes that move up and the call still chooses a move.
TEST(EngineCall, AWorkerThatFailsGivesItsMoveBack) {
  TTestEngineOptions o;
  o.maxDepth = 7;
  o.edMaxDraughts = 8;
  TTestEngine t(kRussian, o);
  t.engine.ThreadsCount = 2;
  std::vector<std::string> log;
  std::mutex logLock;
  t.engine.SetLog([&](const std::string& line) {
    std::lock_guard<std::mutex> g(logLock);
    log.push_back(line);
  });
  std::atomic<int> probes{0};
  t.engine.SetEdbProbe([&](const TBitBoard64&, int, bool, const TEDPos&, float&, TEdbProbeStats*) -> bool {
    if (probes.fetch_add(1) == 50) throw std::runtime_error("database file vanished");
    return false;
  });
  TMove best;
  ASSERT_TRUE(
      t.engine.LetOpponentMove40(GameFromFen(kRussian, "W:WKa1,c3:Bh6,f8,b8"), 100000000, best, false, 0));
  EXPECT_GT(best.From(), 0);
  {
    std::lock_guard<std::mutex> g(logLock);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("Engine worker"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("on root move"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("database file vanished"), std::string::npos) << log[0];
  }
  std::lock_guard<std::mutex> g(t.info.Used);
  int finished = 0;
  for (int i = 1; i <= t.info.TotalMoves; ++i) {
    EXPECT_FALSE(t.info.Moves[i].analysing) << i;
    finished += t.info.Moves[i].depth >= 7;
  }
  EXPECT_GE(finished, t.info.TotalMoves - 1);
  EXPECT_EQ(t.engine.RunningThreadCount(), 0);
}

TEST(EngineCommands, AnalysePrintsProgressAndTheMove) {
  const auto dir = test::FreshDir("analyse");
  const auto eng = test::WriteTestEngine(dir, kRussian);
  std::string out;
  ASSERT_EQ(test::RunQuorlin("analyse russian " + eng.string() + " --depth 7 --threads 1", out), 0) << out;
  EXPECT_NE(out.find("depth 7,0"), std::string::npos) << out;
  EXPECT_TRUE(
      std::regex_search(out, std::regex("bestmove [a-h][1-8]-[a-h][1-8]  eval -?[0-9]+\\.[0-9][0-9]")))
      << out;
  ASSERT_EQ(test::RunQuorlin("analyse russian " + eng.string() + " --fen W:Wc3:Be5 --time 0.3", out), 0)
      << out;
  EXPECT_NE(out.find("bestmove c3-b4"), std::string::npos) << out;
  // Wrong arguments are usage errors.
  EXPECT_EQ(test::RunQuorlin("analyse russian " + eng.string() + " --fen W:Wz9", out), 2) << out;
  EXPECT_EQ(test::RunQuorlin("analyse russian " + eng.string() + " --depth 5 --time 1", out), 2) << out;
  EXPECT_NE(test::RunQuorlin("analyse russian " + (dir / "missing.eng").string(), out), 0);
}

// Standard output of a quorlin command alone (standard error dropped).
int RunQuorlinStdout(const std::string& args, std::string& out) {
  const std::string cmd = (test::ProgramDir() / "quorlin").string() + " " + args + " 2>/dev/null";
  out.clear();
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  const int status = pclose(f);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The chosen move names one move: the only two moves here are both b6xh4
// (over c7 and g5, or over c5, e5 and g5), so the full path is printed.
// Standard output holds only the command's own lines.
TEST(EngineCommands, AnalyseNamesOneMoveOnItsOwnLines) {
  const auto dir = test::FreshDir("analyse-path");
  const auto eng = test::WriteTestEngine(dir, kRussian);
  std::string out;
  ASSERT_EQ(RunQuorlinStdout("analyse russian " + eng.string() + " --fen W:Wb6:Bc5,e5,g5,c7 --depth 5", out),
            0)
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("\nbestmove (b6xd8xh4|b6xd4xf6xh4)  "))) << out;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(std::regex_match(line, std::regex("(engine:|depth|nodes|bestmove) .*"))) << line;
}

TEST(EngineCommands, BenchNodeCountIsASignature) {
  std::string a, b;
  ASSERT_EQ(test::RunQuorlin("bench --depth 5", a), 0) << a;
  ASSERT_EQ(test::RunQuorlin("bench --depth 5", b), 0) << b;
  std::smatch ma, mb;
  ASSERT_TRUE(std::regex_search(a, ma, std::regex("\nnodes ([0-9]+)\n"))) << a;
  ASSERT_TRUE(std::regex_search(b, mb, std::regex("\nnodes ([0-9]+)\n"))) << b;
  EXPECT_EQ(ma[1], mb[1]);
  EXPECT_GT(std::stoll(ma[1]), 0);
}

}  // namespace
}  // namespace quorlin
