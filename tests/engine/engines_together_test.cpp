// Several engines in one process: each thinks with its own databases, book,
// table and stop flag, while settings change the variant table and other
// engines load databases. These tests also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/bookbuild.h"
#include "engine/egdbgen.h"
#include "engine/engine.h"
#include "search_fixture.h"

namespace quorlin {
namespace {

using test::GameFromFen;
using test::TTestEngine;
using test::TTestEngineOptions;

// Databases of up to two pieces of a variant, written to a fresh folder.
std::filesystem::path SmallDatabases(int variant, TEbType type) {
  const auto dir = test::FreshDir("together-ed");
  TEgdbBuildOptions opt;
  opt.variant = variant;
  opt.maxPieces = 2;
  opt.type = type;
  opt.outFolder = dir.string();
  const TEgdbBuildResult r = BuildEndgameDatabases(opt);
  EXPECT_TRUE(r.ok) << r.error;
  return dir;
}

struct TPlayer {
  int variant;
  const char* fen;
  std::unique_ptr<TTestEngine> t;
  TGame game;
  std::filesystem::path databases;
  float solo = 0;  // the value found alone
};

float Think(TPlayer& p) {
  TMove best;
  EXPECT_TRUE(p.t->engine.LetOpponentMove40(p.game, 100000000, best, false, 0));
  std::lock_guard<std::mutex> g(p.t->info.Used);
  return p.t->info.Eval.min;
}

// Man against man in two variants of the 32-square board (different rules,
// one shared table of men configurations), each a win: every position after
// a root move is in the databases, so each value comes from the engine's own
// set. A third engine keeps loading a Russian set whose win/loss coding gives
// other values, and a settings thread keeps writing the variant table.
TEST(EnginesTogether, TwoVariantsThinkAtOnceWithTheirOwnDatabases) {
  TTestEngineOptions o;
  o.maxDepth = 5;
  o.edMaxDraughts = 8;
  TPlayer players[2] = {{kRussian, "W:Wa5:Bd8", nullptr, {}, {}}, {kEnglish, "W:W30:B3", nullptr, {}, {}}};
  for (TPlayer& p : players) {
    p.t = std::make_unique<TTestEngine>(p.variant, o);
    p.t->engine.ThreadsCount = 1;
    p.databases = SmallDatabases(p.variant, ebMTW);
    p.t->engine.SetEDFolder(p.databases.string());
    p.game = GameFromFen(p.variant, p.fen);
    p.solo = Think(p);
    EXPECT_GT(p.t->engine.GetEdb(), 0);
    // A distance score, which only the engine's own MTW set gives.
    EXPECT_GT(std::fabs(p.solo), 1500.0f) << FormatEval(TEval{p.solo, p.solo, 0});
  }
  const auto otherRussian = SmallDatabases(kRussian, ebWDL);

  std::atomic<bool> done{false};
  std::thread loader([&] {
    TTestEngine other(kRussian, o, "loader");
    other.engine.SetEDFolder(otherRussian.string());
    while (!done.load()) {
      other.engine.Clear();
      other.engine.InitEngine(kRussian);
      EXPECT_GT(other.engine.EndgameDb()->FilesLoaded(), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const auto saved = VariantTable;
  std::thread settings([&] {
    for (uint8_t n = 0; !done.load(); ++n) {
      VariantTable[kRussian].intface.Notation = n % 5;
      VariantTable[kEnglish].intface.BoardMirrored = n % 2;
      VariantTable[kPool].intface.Notation = n % 3;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::vector<std::thread> thinkers;
  for (TPlayer& p : players)
    thinkers.emplace_back([&p] {
      for (int round = 0; round < 4; ++round) EXPECT_EQ(Think(p), p.solo) << p.fen << " round " << round;
    });
  for (std::thread& t : thinkers) t.join();
  done = true;
  loader.join();
  settings.join();
  VariantTable = saved;
  // The two engines hold different sets; a second engine of a variant and
  // folder shares the first one's.
  EXPECT_NE(players[0].t->engine.EndgameDb(), players[1].t->engine.EndgameDb());
  TTestEngine twin(kRussian, o, "twin");
  twin.engine.SetEDFolder(players[0].databases.string());
  twin.engine.InitEngine(kRussian);
  EXPECT_EQ(twin.engine.EndgameDb(), players[0].t->engine.EndgameDb());
}

// Two threads set one fresh engine up at once (the application switching the
// variant while a call starts): one table is allocated, and the engine ends
// set up for one of the two variants with that variant's databases.
TEST(EnginesTogether, SetUpFromTwoThreadsAtOnce) {
  const auto russian = SmallDatabases(kRussian, ebWDL);
  for (int round = 0; round < 3; ++round) {
    TTestEngine t(kRussian, {}, "setup-twice");
    t.engine.SetEDFolder(russian.string());
    std::thread a([&] { t.engine.InitEngine(kRussian); });
    std::thread b([&] { t.engine.InitEngine(kEnglish); });
    a.join();
    b.join();
    EXPECT_GT(t.engine.Hash().MaxSize, 0);
    const int variant = t.engine.TypeOfGame();
    ASSERT_TRUE(variant == kRussian || variant == kEnglish) << variant;
    const std::shared_ptr<const TEndgameDb> db = t.engine.EndgameDb();
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->Variant(), variant);
    EXPECT_EQ(db->FilesLoaded() > 0, variant == kRussian);
  }
}

// A book of one game of a variant whose first move the first mover won.
std::string OneGameBook(int variant) {
  const TGameParams& p = VariantTable[variant];
  TBookGame g;
  g.start.b = StartPosition(p, false);
  TMvs moves;
  uint8_t count = 0;
  GenerateMoves(g.start, 0, moves, count, p, true);
  g.moves = {moves[1]};
  g.result = 1;
  TBookBuilder builder(p, 1);
  builder.AddGame(g);
  const std::string path = (test::FreshDir("together-book") / (p.Name + ".cbk")).string();
  std::string error;
  EXPECT_TRUE(WriteBook(path, builder.Records(1), error)) << error;
  return path;
}

// The number of book moves of the start position.
int BookMoves(TEngine& e, int variant) {
  TOpenMoves om;
  TBoard start;
  start.b = StartPosition(VariantTable[variant], false);
  e.OpeningBook().Lookup(VariantTable[variant], om, start, 0);
  int inBook = 0;
  for (int i = 1; i <= om.Op_moves; ++i) inBook += om.openmoves[i].col != 0;
  return inBook;
}

// Each engine obeys its own stop flag: stopping one analysis leaves the other
// running. Each keeps its own opening book open.
TEST(EnginesTogether, EachEngineStopsOnItsOwnFlagAndKeepsItsBook) {
  TTestEngine a(kRussian, {}, "stop-a"), b(kEnglish, {}, "stop-b");
  for (TTestEngine* t : {&a, &b}) {
    t->engine.AnalysisMode = true;
    t->engine.ThreadsCount = 1;
  }
  ASSERT_TRUE(a.engine.OpenBook(OneGameBook(kRussian)));
  ASSERT_TRUE(b.engine.OpenBook(OneGameBook(kEnglish)));
  EXPECT_EQ(BookMoves(a.engine, kRussian), 1);
  const TGame ga = GameFromFen(kRussian, ""), gb = GameFromFen(kEnglish, "");
  std::atomic<bool> aDone{false}, bDone{false};
  // A stop that comes while a call still sets up ends it without a move; the
  // calls' results do not matter here, only that each ends on its own flag.
  std::thread ta([&] {
    TMove best;
    a.engine.LetOpponentMove40(ga, 100000000, best, true, 0);
    aDone = true;
  });
  std::thread tb([&] {
    TMove best;
    b.engine.LetOpponentMove40(gb, 100000000, best, true, 0);
    bDone = true;
  });
  while (!a.engine.Analysing() || !b.engine.Analysing()) std::this_thread::yield();
  a.stop = true;
  ta.join();
  EXPECT_TRUE(aDone.load());
  EXPECT_FALSE(b.stop.load());
  EXPECT_FALSE(bDone.load()) << "stopping one engine stopped the other";
  b.stop = true;
  tb.join();
  EXPECT_EQ(BookMoves(a.engine, kRussian), 1);
  EXPECT_EQ(BookMoves(b.engine, kEnglish), 1);
}

}  // namespace
}  // namespace quorlin
