// Searching a database by header criteria and by position; the commands that
// import, search and export.
#include "games/dbsearch.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "games/pdnfile.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

constexpr const char* kGames =
    "[Event \"Dutch Open\"][Site \"Amsterdam\"][Date \"2001.05.01\"][White \"Anna Smit\"][Black \"Bert "
    "Jansen\"]"
    "[WhiteElo \"1500\"][BlackElo \"1700\"][Annotator \"Kees\"][GameType \"20\"][Result \"0-2\"]\n"
    "1. 34-30 (1. 33-29 18-22 2. 34-30 17-21) 1... 17-21 2. 33-29 18-22 0-2\n"
    "[Event \"Cup\"][Site \"Paris\"][Date \"1999.01.01\"][White \"Bert Jansen\"][Black \"Carl\"]"
    "[GameType \"20\"][Result \"2-0\"]\n1. 31-27 2-0\n"
    "[Event \"Cup final\"][Site \"Paris\"][Date \"2010.01.01\"][White \"Dirk\"][Black \"Anna Smit\"]"
    "[GameType \"20\"][Result \"1-1\"]\n1. 34-30 17-21 2. 33-29 18-22 3. 39-34 12-18 1-1\n";

class DBSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto dir = test::FreshDir("dbsearch");
    pdn_ = (dir / "games.pdn").string();
    db_ = (dir / "games.abd").string();
    test::WriteFile(pdn_, kGames);
    TPdnReadReport report;
    std::string error;
    ASSERT_TRUE(ImportPdnFile(pdn_, db_, kInternational, report, error)) << error;
    ASSERT_EQ(report.gamesWhole, 3);
    ASSERT_TRUE(OpenDatabase(db_, base_, true));
  }

  std::vector<std::pair<int, int>> Run(TSearchInfo& info, bool position = false,
                                       TDColor side = TDColor::white) {
    TDBList list;
    SearchDatabase(base_, info, position, side, VariantTable[kInternational].compute.BoardSize, list);
    EXPECT_GE(static_cast<int>(list.items.size()), base_.DBSize + 2);
    std::vector<std::pair<int, int>> out;
    for (int i = 1; i <= list.count; ++i) out.emplace_back(list.items[i].num, list.items[i].gotomove);
    return out;
  }

  // Position after the given main-line plies of International moves (as board cells).
  static TBrd After(std::initializer_list<std::pair<int, int>> moves) {
    const TGameParams& p = VariantTable[kInternational];
    TBoard b;
    b.b = StartPosition(p, true);
    int side = 0;
    for (auto [from, to] : moves) {
      TMvs list;
      uint8_t count = 0;
      GenerateMoveList(b, side, list, count, p, false);
      bool played = false;
      for (int k = 1; k <= count && !played; ++k) {
        if (NotationNumber(p, list[k].From(), 1) == from && NotationNumber(p, list[k].To(), 1) == to) {
          ApplyMove(list[k], b, p);
          played = true;
        }
      }
      EXPECT_TRUE(played) << from << "-" << to;
      side = 1 - side;
    }
    return b.b;
  }

  std::string pdn_, db_;
  TQuorlinDB base_;
};

using Hits = std::vector<std::pair<int, int>>;

TEST_F(DBSearch, EmptyFiltersListEveryGame) {
  TSearchInfo info;
  EXPECT_EQ(Run(info), (Hits{{1, 0}, {2, 0}, {3, 0}}));
}

TEST_F(DBSearch, HeaderFilters) {
  struct Row {
    const char* what;
    std::function<void(TSearchInfo&)> set;
    Hits expected;
  } rows[] = {
      {"tournament substring, any case", [](TSearchInfo& i) { i.tourn = "cup"; }, {{2, 0}, {3, 0}}},
      {"site", [](TSearchInfo& i) { i.site = "amster"; }, {{1, 0}}},
      {"annotator", [](TSearchInfo& i) { i.annot = "kees"; }, {{1, 0}}},
      {"years", [](TSearchInfo& i) { i.yearstart = 2000, i.yearend = 2005; }, {{1, 0}}},
      {"game length", [](TSearchInfo& i) { i.movestart = 3; }, {{3, 0}}},
      {"first player", [](TSearchInfo& i) { i.name[0] = "bert"; }, {{2, 0}}},
      {"second player rating", [](TSearchInfo& i) { i.name2elomin = 1600; }, {{1, 0}}},
      {"results", [](TSearchInfo& i) { i.rescheck.fill(false), i.rescheck[kResultDraw] = true; }, {{3, 0}}},
  };
  for (auto& row : rows) {
    TSearchInfo info;
    row.set(info);
    EXPECT_EQ(Run(info), row.expected) << row.what;
  }
}

TEST_F(DBSearch, IgnoreColorsTakesTheResultFromTheOtherSide) {
  // Game 1: Bert Jansen had Black and won (0-2).
  TSearchInfo info;
  info.name[0] = "bert";
  info.ignorecol = true;
  info.rescheck.fill(false);
  info.rescheck[kResultWhiteWin] = true;
  EXPECT_EQ(Run(info), (Hits{{1, 0}, {2, 0}}));
  info.rescheck.fill(false);
  info.rescheck[kResultBlackWin] = true;
  EXPECT_EQ(Run(info), Hits{});
}

TEST_F(DBSearch, PositionFoundLastVisitedWithSideToMove) {
  TSearchInfo info;
  info.brdsearch = After({{34, 30}, {17, 21}, {33, 29}, {18, 22}});
  const Hits hits = Run(info, true, TDColor::white);
  ASSERT_EQ(hits.size(), 2u);
  // Game 1: the variation (visited after the main line) reaches it too.
  TGame g;
  ASSERT_TRUE(ReadGame(base_, 1, false, -1, g));
  TChildList children;
  ASSERT_EQ(GetChildren(g, 0, children), 2);
  int node = children[1];
  for (int i = 0; i < 3; ++i) node = g.Moves[node].next;
  EXPECT_EQ(hits[0], (std::pair<int, int>{1, node}));
  EXPECT_EQ(hits[1].first, 3);
  EXPECT_EQ(hits[1].second, 4);
  // The same cells with Black to move are no match.
  EXPECT_TRUE(Run(info, true, TDColor::black).empty());
  // The start position with White to move is in every game, at the root.
  info.brdsearch = After({});
  EXPECT_EQ(Run(info, true, TDColor::white), (Hits{{1, 0}, {2, 0}, {3, 0}}));
}

TEST(DBSearchTurkish, MirrorImageMatches) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[kTurkish];
  g.Header.TypeOfGame = kTurkish;
  g.StartBoard = StartPosition(g.Params, true);
  TBoard b;
  b.b = g.StartBoard;
  TMvs list;
  uint8_t count = 0;
  GenerateMoveList(b, 0, list, count, g.Params, false);
  ASSERT_GT(count, 0);
  // A move off the middle of the board, so that its mirror image differs.
  int k = 1;
  while (k < count && (list[k].From() - 1) % 8 == 3) ++k;
  AddMove(g, list[k], 0);
  ApplyMove(list[k], b, g.Params);
  TSearchInfo info;
  for (int s = 1; s <= 64; ++s) info.brdsearch[8 * ((s - 1) / 8) + (7 - (s - 1) % 8) + 1] = b.b[s];
  ASSERT_NE(info.brdsearch, b.b);
  info.blackmovechecked = true;
  TPositionSearch walk(info, g, 64);
  TBoard start;
  start.b = g.StartBoard;
  walk.PositionSearch(0, start, TDColor::white);
  EXPECT_TRUE(walk.found);
  EXPECT_EQ(walk.foundNode, 1);
  // A Russian game is compared square by square only.
  TGame russian = g;
  russian.Header.TypeOfGame = kRussian;
  TPositionSearch plain(info, russian, 64);
  EXPECT_FALSE(plain.BoardMatches(b));
}

TEST(PdnCommands, ImportSearchExport) {
  const auto dir = test::FreshDir("pdncmd");
  const auto pdn = dir / "in.pdn";
  test::WriteFile(pdn, std::string(kGames) + "[GameType \"20\"] 1. 32-28 77-66 *\n");
  const std::string db = (dir / "g.abd").string();
  std::string out;
  EXPECT_EQ(test::RunQuorlin("pdn import " + pdn.string() + " " + db, out), 0) << out;
  EXPECT_NE(out.find("3 games read whole, 1 games stopped, 4 stored"), std::string::npos) << out;
  EXPECT_NE(out.find("game 4, line 7, \"77-66\""), std::string::npos) << out;

  EXPECT_EQ(test::RunQuorlin("db search " + db + " --white anna --ignore-colors --result 1-1,0-2", out), 0)
      << out;
  EXPECT_NE(out.find("2 of 4 games match"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("db search " + db + " --fen W:W31-50:B1-20 --year 2005-", out), 0) << out;
  EXPECT_NE(out.find("1 of 4 games match"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("db search " + db + " --result 7", out), 2) << out;

  const auto exported = dir / "out.pdn";
  EXPECT_EQ(test::RunQuorlin("pdn export " + db + " 1 3 -o " + exported.string(), out), 0) << out;
  EXPECT_NE(out.find("2 games written"), std::string::npos) << out;
  const std::string text = test::ReadFile(exported);
  EXPECT_NE(text.find("[White \"Dirk\"]"), std::string::npos);
  EXPECT_EQ(text.find("Carl"), std::string::npos);
  EXPECT_EQ(test::RunQuorlin("pdn export " + db + " 9", out), 1) << out;
}

}  // namespace
}  // namespace quorlin
