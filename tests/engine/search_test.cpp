// The alpha-beta searches: terminal scores, repetitions, database and table
// values, the single-reply extension, stores, the stop flag, and small forced
// results.
#include "engine/search.h"

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "search_fixture.h"

namespace quorlin {
namespace {

using test::GameFromFen;
using test::Oriented;
using test::TTestEngine;
using test::TTestEngineOptions;

// Runs analysis64ver40 on an oriented position with a fresh line.
float Search(TTestEngine& t, int variant, const std::string& fen, float alfa, float beta, int n, int mn,
             bool EBOff = false, TPrevDepthPos* line = nullptr) {
  const TGame g = GameFromFen(variant, fen);
  t.engine.PrepareSearch(variant, g.CurBoard, g.SideToMove);
  TPrevDepthPos own{};
  TPrevDepthPos& prev = line ? *line : own;
  return t.engine.analysis64ver40(Oriented(variant, fen), alfa, beta, n, mn, TDColor::white, TEDPos{},
                                  variant, t.engine.EvalFunc(), prev, EBOff);
}

// A white man on a7 under a black man on b8 cannot move.
constexpr const char* kBlocked = "W:Wa7:Bb8";

TEST(Search, SideWithoutMovesLosesLaterIsBetter) {
  TTestEngine t(kRussian);
  EXPECT_FLOAT_EQ(Search(t, kRussian, kBlocked, -2000, 2000, 4, 8), 4 - 2001.0f);
  EXPECT_FLOAT_EQ(Search(t, kRussian, kBlocked, -2000, 2000, 7, 8), 7 - 2001.0f);
  TTestEngineOptions ga;
  ga.giveaway = true;
  TTestEngine g(kRussian, ga);
  EXPECT_FLOAT_EQ(Search(g, kRussian, kBlocked, -2000, 2000, 4, 8), 2001.0f - 4);
}

TEST(Search, ArrayBoardSearchScoresNoMoveAndMatchesMaterial) {
  TTestEngineOptions o;
  o.version = kArrayBoardVersion;
  TTestEngine t(kRussian, o);
  const TGame g = GameFromFen(kRussian, kBlocked);
  t.engine.PrepareSearch(kRussian, g.CurBoard, g.SideToMove);
  EXPECT_FLOAT_EQ(t.engine.analysis(g.CurBoard, -2000, 2000, 5, 8, TDColor::white, VariantTable[kRussian],
                                    t.engine.EvalFunc()),
                  5 - 2001.0f);
  // White to move must capture and then the lone black man is gone: a won game.
  const TGame w = GameFromFen(kRussian, "W:Wc3:Bd4");
  EXPECT_GT(t.engine.analysis(w.CurBoard, -2000, 2000, 2, 6, TDColor::white, VariantTable[kRussian],
                              t.engine.EvalFunc()),
            1000.0f);
}

TEST(Search, RepetitionNeedsAKingOrTurkish) {
  TTestEngine t(kRussian);
  struct Row {
    int variant;
    const char* fen;
    bool draw;
  } rows[] = {
      {kRussian, "W:WKa1,c3:Bh8,f8", true},
      {kRussian, "W:Wa1,c3:Bh6,f8", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fen);
    TPrevDepthPos line{};
    line[2] = Oriented(r.variant, r.fen);  // the same position four plies earlier
    const float v = Search(t, r.variant, r.fen, -2000, 2000, 6, 8, false, &line);
    if (r.draw)
      EXPECT_EQ(v, 0.0f);
    else
      EXPECT_NE(v, 0.0f);
  }
  // Turkish men move sideways, so repetitions count without kings too.
  TTestEngine tur(kTurkish);
  const std::string fen = "W:Wa2,h2:Ba7,h7";
  TPrevDepthPos line{};
  const TGame g = GameFromFen(kTurkish, fen);
  ASSERT_EQ(PopCount(Oriented(kTurkish, fen).w), 2) << "FEN squares did not land";
  line[3] = CanonicalMirror64(Oriented(kTurkish, fen));
  EXPECT_EQ(Search(tur, kTurkish, fen, -2000, 2000, 7, 9, false, &line), 0.0f);
}

TEST(Search, DatabaseValuesCountFromTheNode) {
  TTestEngineOptions o;
  o.edMaxDraughts = 8;
  TTestEngine t(kRussian, o);
  float stored = 0;
  int probes = 0;
  t.engine.SetEdbProbe([&](const TBitBoard64&, int, bool, const TEDPos&, float& ev, TEdbProbeStats*) {
    ++probes;
    ev = stored;
    return true;
  });
  const char* fen = "W:WKa1:Bh6";
  struct Row {
    float e;
    int n;
    float expect;
  } rows[] = {{0, 4, 0}, {1990, 4, 1987}, {-1990, 5, -1986}, {1500, 2, 1499}};
  for (const Row& r : rows) {
    stored = r.e;
    EXPECT_FLOAT_EQ(Search(t, kRussian, fen, -2000, 2000, r.n, 8), r.expect) << r.e;
  }
  EXPECT_GT(probes, 0);
  // Databases off: the probe is not asked.
  probes = 0;
  Search(t, kRussian, fen, -2000, 2000, 2, 4, true);
  EXPECT_EQ(probes, 0);
  // A side that must capture is never looked up.
  Search(t, kRussian, "W:WKa1:Bb2,h6", -2000, 2000, 6, 6);
  EXPECT_EQ(probes, 0);
}

TEST(Search, TableBoundsAreUsedWithDistanceAdjusted) {
  TTestEngine t(kRussian);
  const char* fen = "W:Wc3,e3:Bf6,h6";
  struct Row {
    float minval, maxval, alfa, beta, expect;
  } rows[] = {
      {1500, 2000, -1999, 1000, 1495}, {0.3f, 0.3f, -1999, 2000, 0.3f}, {-2000, -1600, -1500, 2000, -1595}};
  for (const Row& r : rows) {
    const TGame g = GameFromFen(kRussian, fen);
    t.engine.PrepareSearch(kRussian, g.CurBoard, g.SideToMove);
    THashRec64 e;
    e.pos = Oriented(kRussian, fen);
    e.minval = r.minval;
    e.maxval = r.maxval;
    e.depth = 10;
    HashStore(t.engine.Hash(), e);
    TPrevDepthPos line{};
    const float v = t.engine.analysis64ver40(e.pos, r.alfa, r.beta, 6, 8, TDColor::white, TEDPos{}, kRussian,
                                             t.engine.EvalFunc(), line, false);
    EXPECT_FLOAT_EQ(v, r.expect) << r.minval;
  }
}

TEST(Search, FailHighStoresTheBoundNotTheValue) {
  TTestEngine t(kRussian);
  const char* fen = "W:Wc3,e3,g3:Bf6,h6";
  const float beta = -1500;
  const float v = Search(t, kRussian, fen, -1600, beta, 2, 5);
  EXPECT_GE(v, beta);
  THashRec64 e;
  ASSERT_TRUE(HashProbe(t.engine.Hash(), Oriented(kRussian, fen), e));
  EXPECT_FLOAT_EQ(e.minval, beta - 0.0001f);
  EXPECT_FLOAT_EQ(e.maxval, 2000.0f);
  EXPECT_EQ(e.depth, 5 - 2 + 1);
  EXPECT_NE(e.bestmove, 0);
  // An exact value inside the window is stored as both bounds.
  const float exact = Search(t, kRussian, fen, -2000, 2000, 2, 5);
  ASSERT_TRUE(HashProbe(t.engine.Hash(), Oriented(kRussian, fen), e));
  EXPECT_FLOAT_EQ(e.minval, exact);
  EXPECT_FLOAT_EQ(e.maxval, exact);
}

TEST(Search, SingleReplyExtendsTheTarget) {
  // White must capture c3xe5: one legal move at an odd ply.
  const char* fen = "W:Wc3,a1:Bd4,h8,f8";
  for (bool on : {false, true}) {
    TTestEngineOptions o;
    if (on) o.extMin = 0, o.extMax = 1;
    TTestEngine t(kRussian, o);
    Search(t, kRussian, fen, -2000, 2000, 3, 6);
    THashRec64 e;
    ASSERT_TRUE(HashProbe(t.engine.Hash(), Oriented(kRussian, fen), e));
    EXPECT_EQ(e.depth, on ? 5 : 4) << "extension " << on;
  }
}

TEST(Search, StoppedSearchStoresNothingMore) {
  TTestEngineOptions o;
  o.edMaxDraughts = 8;
  TTestEngine t(kRussian, o);
  const char* fen = "W:Wc3,e3,g3,Ka1:Bf6,h6,b8,d8";
  const TGame g = GameFromFen(kRussian, fen);
  // The database lookup raises the stop flag in the middle of the search and
  // notes how full the table was then.
  int probes = 0, filledAtStop = -1;
  t.engine.SetEdbProbe([&](const TBitBoard64&, int, bool, const TEDPos&, float&, TEdbProbeStats*) {
    if (++probes == 300) {
      filledAtStop = t.engine.Hash().CurSize.load();
      t.stop = true;
    }
    return false;
  });
  t.engine.PrepareSearch(kRussian, g.CurBoard, g.SideToMove);
  TPrevDepthPos line{};
  t.engine.analysis64ver40(Oriented(kRussian, fen), -2000, 2000, 2, 13, TDColor::white, TEDPos{}, kRussian,
                           t.engine.EvalFunc(), line, false);
  ASSERT_TRUE(t.stop.load()) << "the search ended before the 300th probe";
  EXPECT_GT(filledAtStop, 0);
  EXPECT_EQ(t.engine.Hash().CurSize.load(), filledAtStop);
  // Raised before the call: it returns at once.
  t.engine.PrepareSearch(kRussian, g.CurBoard, g.SideToMove);
  t.stop = true;
  t.engine.analysis64ver40(Oriented(kRussian, fen), -2000, 2000, 2, 13, TDColor::white, TEDPos{}, kRussian,
                           t.engine.EvalFunc(), line, false);
  EXPECT_EQ(t.engine.Hash().CurSize.load(), 0);
}

TEST(Search, ReducedProbesKeepForcedResults) {
  // With the reduced probes on, a won capture is still seen as won.
  TTestEngineOptions o;
  o.reductMin = 0;
  o.reductMax = 1;
  o.extMin = 0;
  o.extMax = 1;
  TTestEngine t(kRussian, o);
  EXPECT_GT(Search(t, kRussian, "W:Wc3:Bd4", -2000, 2000, 2, 8), 1000.0f);
  EXPECT_LT(Search(t, kRussian, kBlocked, -2000, 2000, 2, 8), -1000.0f);
}

}  // namespace
}  // namespace quorlin

// --- Against generated endgame databases (the full run over several variants
// is in search_slow_test.cpp) ---------------------------------------------------------

namespace quorlin {
namespace {

TEST(SearchEndgames, RussianWinsAreFoundAndKept) {
  test::CheckEndgameWins(kRussian, /*maxDepth=*/9, /*maxPlies=*/7, /*perDistance=*/1);
}

}  // namespace
}  // namespace quorlin
