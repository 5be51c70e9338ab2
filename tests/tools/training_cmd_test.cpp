// The training commands: ballots from ballot lists, books grown by search,
// problems proven by the endgame databases, and the errors of selfplay and
// tune.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The position at the end of game n's main line, and its side to move.
std::string FinalFen(const std::string& db, int n) {
  TQuorlinDB d;
  EXPECT_TRUE(OpenDatabase(db, d, true));
  TGame g;
  EXPECT_TRUE(ReadGame(d, n, false, -1, g));
  CloseDatabase(d);
  TBoard b;
  EXPECT_TRUE(ReplayGameLine(g, MainLineLength(g) == 0 ? 0 : [&] {
    TChildList c;
    int node = 0;
    while (GetChildren(g, node, c) > 0) node = c[0];
    return node;
  }(), b));
  const int plies = MainLineLength(g);
  const int side = ((g.Header.FirstMove == TDColor::black ? 1 : 0) + plies) % 2;
  return WriteFEN(VariantTable[g.Header.TypeOfGame], b.b, side);
}

TEST(BallotsCommand, LinesReachTheirPositionsAndRelocationsBecomeSetUps) {
  const fs::path in = test::FreshDir("ballot-lists"), out = test::FreshDir("ballots");
  test::WriteFile(in / "2move_english.json",
                  R"({"all": {"01 9-13 21-17": "B:W17,22,23,24,25,26,27,28,29,30,31,32:B1,10,11,12,13,2,3,4,5,6,7,8",)"
                  R"( "02 9-13 22-17": "B:W17,21,23,24,25,26,27,28,29,30,31,32:B1,10,11,12,13,2,3,4,5,6,7,8"},)"
                  R"( "standard": ["02 9-13 22-17"], "lost": ["01 9-13 21-17"]})");
  test::WriteFile(in / "russian.json",
                  R"({"all": {"I-2: ab4 ba5": "W:Wa1,c3,e3,g3,b4,c1,e1,g1,b2,d2,f2,h2:Ba5,d6,f6,h6,a7,c7,e7,g7,b8,d8,f8,h8",)"
                  R"( "II-1: a1-a5": "B:Wa5,c3,e3,g3,c1,e1,g1,b2,d2,f2,h2,a3:Bb6,d6,f6,h6,a7,c7,e7,g7,b8,d8,f8,h8"}})");
  test::WriteFile(in / "150russian_and_brazilian.json", R"({"all": {}, "standard": []})");
  std::string log;
  ASSERT_EQ(test::RunQuorlin("ballots build " + in.string() + " --out " + out.string(), log), 0) << log;
  EXPECT_TRUE(Has(log, "2move.abd: 1 ballots (0 as set-up positions)")) << log;
  EXPECT_TRUE(Has(log, "fly.abd: 2 ballots (1 as set-up positions)")) << log;
  EXPECT_TRUE(Has(log, "3move.abd: skipped")) << log;
  EXPECT_TRUE(fs::exists(out / "italianA.abd"));  // every pair of opening moves, made without a list
  EXPECT_EQ(FinalFen((out / "2move.abd").string(), 1),
            WriteFEN(VariantTable[kEnglish], [] {
              TBrd c{};
              int s = 0;
              ParseFEN(VariantTable[kEnglish], "B:W17,21,23,24,25,26,27,28,29,30,31,32:B1,10,11,12,13,2,3,4,5,6,7,8", c, s);
              return c;
            }(), 0));
  const std::string fly = (out / "fly.abd").string();
  TBrd c{};
  int s = 0;
  ParseFEN(VariantTable[kRussian], "W:Wa1,c3,e3,g3,b4,c1,e1,g1,b2,d2,f2,h2:Ba5,d6,f6,h6,a7,c7,e7,g7,b8,d8,f8,h8", c, s);
  EXPECT_EQ(FinalFen(fly, 1), WriteFEN(VariantTable[kRussian], c, s));
}

TEST(ProblemsCommand, MadeProblemsPassTheirCheck) {
  const fs::path dir = test::FreshDir("problems");
  std::string log;
  ASSERT_EQ(test::RunQuorlin("egdb build russian --pieces 3 --out " + (dir / "ED").string(), log), 0) << log;
  const std::string db = (dir / "Problems.abd").string();
  ASSERT_EQ(test::RunQuorlin("problems make russian --ed " + (dir / "ED").string() + " --out " + db +
                                 " --count 2 --min-moves 2 --seed 4",
                             log),
            0)
      << log;
  EXPECT_TRUE(Has(log, "2 Russian problems appended")) << log;
  ASSERT_EQ(test::RunQuorlin("problems check " + db + " --ed " + (dir / "ED").string(), log), 0) << log;
  EXPECT_TRUE(Has(log, "2 problems checked, 0 wrong")) << log;
  TQuorlinDB d;
  ASSERT_TRUE(OpenDatabase(db, d, true));
  TGame g;
  ASSERT_TRUE(ReadGame(d, 1, false, -1, g));
  CloseDatabase(d);
  EXPECT_EQ(g.Header.Medals & 1, 1);
  EXPECT_GE(MainLineLength(g), 3);
  // Without databases there is nothing to prove with.
  EXPECT_NE(test::RunQuorlin("problems make russian --ed " + (dir / "none").string() + " --out " + db, log), 0);
  EXPECT_TRUE(Has(log, "no Russian endgame databases")) << log;
}

TEST(BookCommand, ExpandBySearchGivesTheStartPositionGoodMoves) {
  const fs::path dir = test::FreshDir("bookexpand");
  const std::string book = (dir / "Russian.cbk").string();
  std::string log;
  ASSERT_EQ(test::RunQuorlin("book build --variant russian --out " + book +
                                 " --expand 4 --engine Analytic.eng --nodes 400",
                             log),
            0)
      << log;
  EXPECT_TRUE(Has(log, "search expanded 4 positions")) << log;
  ASSERT_EQ(test::RunQuorlin("book show " + book + " russian", log), 0) << log;
  EXPECT_TRUE(Has(log, "class 3")) << log;
  EXPECT_NE(test::RunQuorlin("book build --variant russian --out " + book + " --expand 4", log), 0);
  EXPECT_TRUE(Has(log, "--expand needs --engine")) << log;
}

TEST(TrainingCommands, WrongArgumentsAreNamed) {
  std::string log;
  EXPECT_EQ(test::RunQuorlin("selfplay russian Analytic.eng --games 2", log), 2);
  EXPECT_TRUE(Has(log, "missing --out")) << log;
  EXPECT_EQ(test::RunQuorlin("tune russian --engine Analytic.eng --out x", log), 2);
  EXPECT_TRUE(Has(log, "missing --games")) << log;
  const fs::path dir = test::FreshDir("tune-few");
  const std::string games = (dir / "g.abd").string();
  ASSERT_EQ(test::RunQuorlin("selfplay russian Analytic.eng --games 2 --nodes 200 --threads 2 --out " + games, log), 0)
      << log;
  EXPECT_TRUE(Has(log, "played 2 games")) << log;
  EXPECT_NE(test::RunQuorlin("tune russian --games " + games + " --engine Analytic.eng --out " + (dir / "e").string(), log),
            0);
  EXPECT_TRUE(Has(log, "too few positions")) << log;
}

}  // namespace
}  // namespace quorlin
