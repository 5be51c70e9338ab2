// Move text and move trees nested deeper than the program's stack would hold
// if they were followed by nested calls: read from PDN files and pasted text,
// written as PDN, compared, stored and searched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "games/database.h"
#include "games/dbsearch.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "games/pdnreader.h"
#include "pdn_games.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

constexpr int kNestedParentheses = 20000;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * n);
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::vector<TGame> ReadAll(const std::string& text, TPdnReadReport& report) {
  return test::ReadPdnGames(text, kRussian, report);
}

std::vector<std::string> Children(const TGame& g, int node) {
  TChildList list;
  const int n = GetChildren(g, node, list);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(MoveText(g.Moves[list[i]], g.Params, kStyleFull, "-"));
  return out;
}

TEST(DeepNesting, PdnFileReadsTwentyThousandParentheses) {
  // Each "(" before any move of its variation branches off where the outer
  // line did: every level offers e3-f4 beside c3-d4.
  TPdnReadReport report;
  const std::string closed = "[Event \"Deep\"]\n1. c3-d4 " + Repeat("( ", kNestedParentheses) + "1. e3-f4 " +
                             Repeat(") ", kNestedParentheses) + "1... d6-e5 *\n";
  std::vector<TGame> games = ReadAll(closed, report);
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(report.gamesWhole, 1);
  EXPECT_EQ(Children(games[0], 0), (std::vector<std::string>{"c3-d4", "e3-f4"}));
  EXPECT_EQ(Children(games[0], games[0].Moves[0].next), (std::vector<std::string>{"d6-e5"}));

  // Never closed: the game stops with a message and keeps what was read.
  report = {};
  games = ReadAll("[Event \"Open\"]\n1. c3-d4 " + Repeat("(", kNestedParentheses) + "\n", report);
  ASSERT_EQ(games.size(), 1u);
  ASSERT_EQ(report.stops.size(), 1u);
  EXPECT_EQ(report.stops[0].reason, "variation not closed");
  EXPECT_EQ(Children(games[0], 0), (std::vector<std::string>{"c3-d4"}));
}

TEST(DeepNesting, PastedTextReadsTwentyThousandParentheses) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[kRussian];
  g.Header.TypeOfGame = kRussian;
  g.StartBoard = StartPosition(g.Params, true);
  std::string text =
      "c3-d4 " + Repeat("( ", kNestedParentheses) + "e3-f4 " + Repeat(") ", kNestedParentheses) + "d6-e5";
  bool stop = false;
  ReadMoveText(text, g, stop);
  EXPECT_FALSE(stop);
  EXPECT_EQ(Children(g, 0), (std::vector<std::string>{"c3-d4", "e3-f4"}));
  EXPECT_EQ(Children(g, g.Moves[0].next), (std::vector<std::string>{"d6-e5"}));

  std::string open = "c3-d4 " + Repeat("(", kNestedParentheses) + " e3-f4";
  ReadMoveText(open, g, stop);
  EXPECT_FALSE(stop);
  EXPECT_EQ(Children(g, 0), (std::vector<std::string>{"c3-d4", "e3-f4"}));
}

// Two kings shuffling in corners far apart: at every ply the main move is a
// quiet king move and the alternative goes one ply deeper, so the variations
// are nested `levels` deep, each inside the one before.
struct DeepGame {
  TGame game;
  TBoard deepest;  // the position after the innermost alternative
  TDColor deepestSide = TDColor::white;
  int deepestNode = 0;
};

DeepGame MakeDeepGame(int levels) {
  DeepGame d;
  TPdnReadReport report;
  std::vector<TGame> games = ReadAll("[FEN \"W:WKa1:BKh2\"]\n*\n", report);
  EXPECT_EQ(games.size(), 1u);
  d.game = games[0];
  TGame& g = d.game;
  TBoard board;
  board.b = g.StartBoard;
  TDColor side = TDColor::white;
  int node = 0;
  TMvs list;
  uint8_t count = 0;
  for (int i = 0; i < levels; ++i) {
    const bool white = side == TDColor::white;
    const bool home = (i / 2) % 2 == 0;  // a1 / h2, else b2 / g1
    const char* main = white ? (home ? "a1-c3" : "b2-c3") : (home ? "h2-g3" : "g1-f2");
    const char* alternative = white ? (home ? "a1-b2" : "b2-a1") : (home ? "h2-g1" : "g1-h2");
    const int m = pdn::MatchMove(main, g, board, side, list, count);
    EXPECT_GT(m, 0) << main;
    AddMove(g, list[m], node);
    const int a = pdn::MatchMove(alternative, g, board, side, list, count);
    EXPECT_GT(a, 0) << alternative;
    node = AddMove(g, list[a], node);
    ApplyMove(list[a], board, g.Params);
    side = white ? TDColor::black : TDColor::white;
  }
  d.deepest = board;
  d.deepestSide = side;
  d.deepestNode = node;
  return d;
}

TEST(DeepNesting, TreeTenThousandVariationsDeepIsWrittenStoredComparedAndSearched) {
  constexpr int kLevels = 10000;
  const DeepGame d = MakeDeepGame(kLevels);
  const TGame& g = d.game;
  ASSERT_EQ(g.Header.LastMove, 2 * kLevels);

  // Written as PDN and read back: the same tree.
  const std::string pdn = GameToPdn(g);
  EXPECT_EQ(std::count(pdn.begin(), pdn.end(), '('), kLevels);
  TPdnReadReport report;
  const std::vector<TGame> back = ReadAll(pdn, report);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_TRUE(report.stops.empty()) << report.stops[0].reason;
  EXPECT_EQ(GameDifference(g, back[0]), "");

  // Stored and read again.
  const auto dir = test::FreshDir("deep-tree");
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase((dir / "deep.abd").string(), db)) << db.LastError;
  TGame stored = g;
  ASSERT_TRUE(WriteGame(stored, 0, db, false)) << db.LastError;
  TGame read;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, read)) << db.LastError;
  EXPECT_EQ(GameDifference(g, read), "");

  // A position the game never reaches is sought through the whole tree.
  TSearchInfo criteria;
  const std::vector<TGame> elsewhere = ReadAll("[FEN \"W:WKa1:BKh8\"]\n*\n", report);
  ASSERT_EQ(elsewhere.size(), 1u);
  criteria.brdsearch = elsewhere[0].StartBoard;
  criteria.whitemovechecked = true;
  TPositionSearch walk(criteria, read, g.Params.compute.BoardSize);
  TBoard start;
  start.b = read.StartBoard;
  walk.PositionSearch(0, start, read.Header.FirstMove);
  EXPECT_FALSE(walk.found);
  // The kings come home every four plies: the start position with White to
  // move is found at once, at the root.
  criteria.brdsearch = read.StartBoard;
  TPositionSearch home(criteria, read, g.Params.compute.BoardSize);
  home.PositionSearch(0, start, read.Header.FirstMove);
  EXPECT_TRUE(home.found);
  EXPECT_EQ(home.foundNode, 0);
}

}  // namespace
}  // namespace quorlin
