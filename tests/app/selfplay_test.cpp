// Self-play: games on two threads land in the database with results, the
// openings follow the seed, and the endgame databases decide a position they
// know.
#include "app/selfplay.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/egdbgen.h"
#include "games/database.h"
#include "rules/fen.h"
#include "rules/variants.h"
#include "engine/search_fixture.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

TSelfPlayOptions SmallRun(const fs::path& dir) {
  TSelfPlayOptions o;
  o.variant = kRussian;
  o.engine = test::WriteTestEngine(dir, kRussian).string();
  o.games = 4;
  o.nodes = 300;
  o.threads = 2;
  o.maxPlies = 120;
  o.hashMb = 1;
  o.out = (dir / "games.abd").string();
  return o;
}

TEST(SelfPlay, TwoThreadsWriteEveryGameWithItsResult) {
  const fs::path dir = test::FreshDir("selfplay");
  const TSelfPlayOptions o = SmallRun(dir);
  int seen = 0;
  const TSelfPlayResult r = RunSelfPlay(o, [&](const TSelfPlayGame&) { ++seen; });
  EXPECT_EQ(r.played, 4);
  EXPECT_EQ(seen, 4);
  EXPECT_EQ(r.whiteWins + r.blackWins + r.draws, 4);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(o.out, db, true));
  ASSERT_EQ(IndexRecordCount(db), 4);
  for (int n = 1; n <= 4; ++n) {
    TGame g;
    ASSERT_TRUE(ReadGame(db, n, false, -1, g));
    EXPECT_EQ(g.Header.TypeOfGame, kRussian);
    EXPECT_GT(MainLineLength(g), 6);  // the random opening plies and the engine's moves
  }
  CloseDatabase(db);
}

TEST(SelfPlay, OpeningsFollowTheSeedAndBallotsAreVaried) {
  const fs::path dir = test::FreshDir("selfplay-openings");
  TSelfPlayOptions o = SmallRun(dir);
  const auto a = SelfPlayOpenings(o, 6), b = SelfPlayOpenings(o, 6);
  ASSERT_EQ(a.size(), 6u);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].moves.size(), b[i].moves.size());
  EXPECT_EQ(a[0].moves.size(), 6u);
  o.seed = 2;
  const auto c = SelfPlayOpenings(o, 6);
  bool differs = false;
  for (size_t i = 0; i < a.size(); ++i) differs |= !(a[i].moves.back().From() == c[i].moves.back().From() &&
                                                     a[i].moves.back().To() == c[i].moves.back().To());
  EXPECT_TRUE(differs);
  EXPECT_THROW(RunSelfPlay([&] {
                 TSelfPlayOptions bad = SmallRun(dir);
                 bad.engine = (dir / "Missing.eng").string();
                 return bad;
               }()),
               std::runtime_error);
}

TEST(SelfPlay, EndgameDatabasesDecideTheGames) {
  const fs::path dir = test::FreshDir("adjudicate");
  TEgdbBuildOptions eo;
  eo.variant = kRussian;
  eo.maxPieces = 3;
  eo.outFolder = (dir / "ED").string();
  ASSERT_TRUE(TEgdbGenerator(eo).Run().ok);
  auto db = TEndgameDb::Load(kRussian, false, eo.outFolder, TEdbCallbacks{});
  ASSERT_TRUE(db);
  const TGameParams& p = VariantTable[kRussian];
  TBoard b;
  int side = 0;
  // Two white kings against a lone black man, either side to move: won for White.
  ParseFEN(p, "W:WKa1,Kc1:Bh8", b.b, side);
  EXPECT_EQ(AdjudicateByDatabases(*db, b, TDColor::white, kRussian), kResultWhiteWin);
  EXPECT_EQ(AdjudicateByDatabases(*db, b, TDColor::black, kRussian), kResultWhiteWin);
  // A capture pending, or more pieces than the databases hold: no verdict.
  ParseFEN(p, "W:Wc3:Bd4", b.b, side);
  EXPECT_EQ(AdjudicateByDatabases(*db, b, TDColor::white, kRussian), kResultNone);
  ParseFEN(p, "W:Wa1,c1,e1:Bh8,f8", b.b, side);
  EXPECT_EQ(AdjudicateByDatabases(*db, b, TDColor::white, kRussian), kResultNone);

  // A self-play run from such a position ends at once by the databases.
  TSelfPlayOptions o = SmallRun(dir);
  o.edFolder = eo.outFolder;
  o.games = 1;
  o.threads = 1;
  const std::string fen = (dir / "start.abd").string();
  {
    TQuorlinDB start;
    ASSERT_TRUE(OpenOrCreateDatabase(fen, start));
    TGame g;
    ClearGame(g);
    g.Params = p;
    g.Header.TypeOfGame = kRussian;
    ParseFEN(p, "W:WKa1,Kc1:Bh8", g.StartBoard, side);
    ASSERT_TRUE(WriteGame(g, 0, start, false));
    CloseDatabase(start);
  }
  o.openings = fen;
  o.randomPlies = 0;
  const TSelfPlayResult r = RunSelfPlay(o);
  EXPECT_EQ(r.adjudicated, 1);
  EXPECT_EQ(r.whiteWins, 1);
}

}  // namespace
}  // namespace quorlin
