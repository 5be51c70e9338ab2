// Whole PDN files: tags, move text, faults, export and the round trip.
#include "games/pdnfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "games/database.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

struct Read {
  std::vector<TGame> games;
  TPdnReadReport report;
};

Read ReadAll(const std::string& text, int variant = kInternational) {
  Read r;
  ReadPdnText(
      text, variant,
      [&](TGame& g, int, std::string&) {
        r.games.push_back(g);
        return true;
      },
      r.report);
  return r;
}

std::vector<std::string> MainLine(const TGame& g) {
  std::vector<std::string> out;
  for (int node = g.Moves[0].next; node; node = g.Moves[node].next)
    out.push_back(MoveText(g.Moves[node], g.Params, kStyleShort, "x"));
  return out;
}

int Child(const TGame& g, int parent, int k) {
  TChildList list;
  const int n = GetChildren(g, parent, list);
  return k < n ? list[k] : -1;
}

TEST(PdnFile, TagPairsFillTheHeader) {
  const Read r = ReadAll(
      "[Event \"Open \\\"A\\\" \\\\ 2009\"]\r\n[Site \"Zürich\"]\r\n[Date \"2009.04.08\"]\r\n[Round "
      "\"3.2\"]\r\n"
      "[White \"Алексей\"]\r\n[Black \"B\"]\r\n[WhiteElo \"2175\"]\r\n[BlackElo \"2313\"]\r\n"
      "[Annotator \"Ann\"]\r\n[GameType \"20,W,10,10,N1,0\"]\r\n[Result \"2-0\"]\r\n\r\n1. 32-28 2-0\r\n"
      "[Event \"E\"][Date \"25.11.2000\"][Result \"1-0\"]\n1. c3-d4 1-0\n"
      "[Event \"E\"][Date \"1841-?\?-?\?\"][Result \"1/2-1/2\"] 1. 32-28 *\n",
      kInternational);
  ASSERT_EQ(r.games.size(), 3u);
  EXPECT_EQ(r.report.gamesWhole, 2);
  const TGame& g = r.games[0];
  EXPECT_EQ(g.Tournament, "Open \"A\" \\ 2009");
  EXPECT_EQ(g.Site, "Zürich");
  EXPECT_EQ(g.WhiteName, "Алексей");
  EXPECT_EQ(g.AnnotatorName, "Ann");
  EXPECT_EQ(g.Header.Date.Year, 2009);
  EXPECT_EQ(g.Header.Date.Month, 4);
  EXPECT_EQ(g.Header.Date.Day, 8);
  EXPECT_EQ(g.Header.Round, 3);
  EXPECT_EQ(g.Header.Subround, 2);
  EXPECT_EQ(g.Header.White.Rating, 2175);
  EXPECT_EQ(g.Header.Black.Rating, 2313);
  EXPECT_EQ(g.Header.TypeOfGame, kInternational);
  EXPECT_EQ(g.Header.Result, kResultWhiteWin);
  // A file without GameType takes the variant given; day-first dates read too.
  EXPECT_EQ(r.games[1].Header.TypeOfGame, kInternational);
  EXPECT_EQ(r.report.gamesStopped, 1);  // c3-d4 is no International move
  EXPECT_EQ(r.games[1].Header.Date.Year, 2000);
  EXPECT_EQ(r.games[1].Header.Date.Day, 25);
  EXPECT_EQ(r.games[2].Header.Date.Year, 1841);
  EXPECT_EQ(r.games[2].Header.Date.Month, 0);
  EXPECT_EQ(r.games[2].Header.Result, kResultDraw);
}

// Date tag forms: what is read, and that writing the game back and reading it
// again keeps every known part (an unknown year is written as "????").
struct DateCase {
  const char* tag;
  int year, month, day;
};

class PdnDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(PdnDate, ReadsAndSurvivesWritingBack) {
  const DateCase& c = GetParam();
  const Read r = ReadAll(std::string("[Date \"") + c.tag + "\"]\n1. 32-28 *\n", kInternational);
  ASSERT_EQ(r.games.size(), 1u);
  for (const TGame& g : {r.games[0], ReadAll(GameToPdn(r.games[0]), kInternational).games.at(0)}) {
    EXPECT_EQ(g.Header.Date.Year, c.year) << c.tag;
    EXPECT_EQ(g.Header.Date.Month, c.month) << c.tag;
    EXPECT_EQ(g.Header.Date.Day, c.day) << c.tag;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PdnDate,
    ::testing::Values(DateCase{"2009.04.08", 2009, 4, 8}, DateCase{"25.11.2000", 2000, 11, 25},
                      DateCase{"1841-?\?-?\?", 1841, 0, 0}, DateCase{"2004.10.27 - 2004.11.01", 2004, 10, 27},
                      DateCase{"????.11.25", 0, 11, 25}, DateCase{"25.11.????", 0, 11, 25},
                      DateCase{"25.11.0000", 0, 11, 25}, DateCase{"2009.13.40", 2009, 0, 0},
                      DateCase{"????.??.??", 0, 0, 0}, DateCase{"tomorrow", 0, 0, 0}));

TEST(PdnFile, FirstMoverCalledBlackInEnglish) {
  const Read r = ReadAll(
      "[Black \"First\"]\n[White \"Second\"]\n[BlackElo \"1800\"]\n[Result \"0-1\"]\n1. 11-15 24-20 0-1\n"
      "[Black \"First\"]\n[White \"Second\"]\n1. 11-15 1-0\n",
      kEnglish);
  ASSERT_EQ(r.games.size(), 2u);
  EXPECT_EQ(r.games[0].WhiteName, "First");
  EXPECT_EQ(r.games[0].BlackName, "Second");
  EXPECT_EQ(r.games[0].Header.White.Rating, 1800);
  EXPECT_EQ(r.games[0].Header.Result, kResultWhiteWin);  // PDN "0-1": the player called Black won
  EXPECT_EQ(r.games[1].Header.Result, kResultBlackWin);
  EXPECT_EQ(MainLine(r.games[0]), (std::vector<std::string>{"11-15", "24-20"}));
}

// A lower-case "k" leading a FEN item: a square of the tenth file where the
// board has one (the writer names Spantsiretti squares that way), else a king.
TEST(PdnFile, FenLowerCaseKIsASquareOfTheTenthFileOrAKing) {
  const TGameParams& spant = VariantTable[kSpantsiretti];
  const Read r =
      ReadAll("[GameType \"41\"][FEN \"B:W18,24,22,21,27,26,25,32,31,30,29:B4,3,2,1,8,7,6,5,12,9,15\"] *\n",
              kSpantsiretti);
  ASSERT_EQ(r.games.size(), 1u);
  ASSERT_TRUE(r.report.stops.empty());
  const std::string pdn = GameToPdn(r.games[0]);
  EXPECT_NE(pdn.find(",k2,"), std::string::npos) << pdn;
  const Read again = ReadAll(pdn, kSpantsiretti);
  ASSERT_EQ(again.games.size(), 1u);
  EXPECT_EQ(GameDifference(r.games[0], again.games[0]), "") << pdn;
  EXPECT_EQ(again.games[0].StartBoard[FindAlphaSquare(spant, "k2")], kWhiteMan);

  const Read russian = ReadAll("[GameType \"25\"][FEN \"W:Wk2:B30\"] *\n", kRussian);
  ASSERT_EQ(russian.games.size(), 1u);
  EXPECT_EQ(russian.games[0].StartBoard[FENNumberToSquare(VariantTable[kRussian], 2)], kWhiteKing);
}

TEST(PdnFile, FenForms) {
  const TGameParams& intl = VariantTable[kInternational];
  const Read r = ReadAll(
      "[FEN \"W:W31-50:B1-20\"] *\n"
      "[FEN \"B:W28,K46:B1,2.\"] 1. ... 1-7 *\n"
      "[FEN \"W:W28:B61\"] 1. 28-23 *\n"
      // A range running far off the board is refused at its first square
      // outside it (it was once spelled out whole first: a billion names).
      "[FEN \"W:W45-999999999:B1\"] 1. 45-40 *\n");
  ASSERT_EQ(r.games.size(), 4u);
  EXPECT_EQ(r.games[0].StartBoard, StartPosition(intl, true));
  EXPECT_EQ(r.games[1].Header.FirstMove, TDColor::black);
  EXPECT_EQ(r.games[1].StartBoard[FENNumberToSquare(intl, 46)], kWhiteKing);
  EXPECT_EQ(r.games[1].Header.LastMove, 1);
  ASSERT_EQ(r.report.stops.size(), 2u);
  EXPECT_EQ(r.report.stops[0].game, 3);
  EXPECT_NE(r.report.stops[0].reason.find("61"), std::string::npos);
  EXPECT_EQ(r.report.stops[1].game, 4);
  EXPECT_NE(r.report.stops[1].reason.find("\"51\" is not on the board"), std::string::npos)
      << r.report.stops[1].reason;
}

TEST(PdnFile, CommentsVariationsAnnotations) {
  const Read r = ReadAll(
      "{before} 1. 32-28 {after a} {and b} 19-23 (18-23 $1 38-32 (37-32? 23-29! { Black wins }) 12-18) "
      "2. 28x19!? 14x23 (!?!!!) 3. 37-32 $14 2-0\n");
  ASSERT_EQ(r.games.size(), 1u);
  EXPECT_TRUE(r.report.stops.empty());
  const TGame& g = r.games[0];
  EXPECT_EQ(g.Comments[0].CommentAft, "before");
  EXPECT_EQ(MainLine(g), (std::vector<std::string>{"32-28", "19-23", "28x19", "14x23", "37-32"}));
  const int m1 = Child(g, 0, 0);
  EXPECT_EQ(g.Comments[m1].CommentAft, "after a and b");
  const int alt = Child(g, m1, 1);  // 18-23
  EXPECT_EQ(g.Moves[alt].comm, 2);
  const int m3 = Child(g, alt, 0);  // 38-32, with 37-32? beside it
  const int alt2 = Child(g, alt, 1);
  EXPECT_EQ(g.Moves[alt2].comm, 5);
  EXPECT_EQ(g.Moves[Child(g, alt2, 0)].comm, 2);
  EXPECT_EQ(g.Comments[Child(g, alt2, 0)].CommentAft, "Black wins");
  EXPECT_EQ(Child(g, m3, 0) > 0, true);  // 12-18 continues after the inner variation
  const int m4 = Child(g, Child(g, m1, 0), 0);
  EXPECT_EQ(g.Moves[m4].comm, 3);               // !?
  EXPECT_EQ(g.Moves[Child(g, m4, 0)].comm, 3);  // (!?!!!) takes its first mark
  EXPECT_EQ(g.Moves[Child(g, Child(g, m4, 0), 0)].comm, 2 << 4);
  EXPECT_EQ(g.Header.Result, kResultWhiteWin);
}

// Empty comments join nothing onto their neighbours, so the game reads back
// the same once written.
TEST(PdnFile, EmptyCommentsAddNothing) {
  const Read r = ReadAll("{before} {} 1. 32-28 {after} { } {x} 19-23 {} (18-23 {} {y}) *\n");
  ASSERT_EQ(r.games.size(), 1u);
  const TGame& g = r.games[0];
  EXPECT_EQ(g.Comments[0].CommentAft, "before");
  const int m1 = Child(g, 0, 0);
  EXPECT_EQ(g.Comments[m1].CommentAft, "after x");
  EXPECT_EQ(g.Comments[Child(g, m1, 0)].CommentAft, "");
  EXPECT_EQ(g.Comments[Child(g, m1, 1)].CommentAft, "y");
  const Read again = ReadAll(GameToPdn(g));
  ASSERT_EQ(again.games.size(), 1u);
  EXPECT_EQ(GameDifference(g, again.games[0]), "");
}

TEST(PdnFile, FaultsStopOneGameAndKeepItsMoves) {
  const Read r = ReadAll(
      "[Event \"one\"]\n1. 32-28 19-23 2. 28x19 14x23\n3. 99-98 4. 35-30 2-0\n\n"
      "[Event \"two\"]\n1. 32-28 { never closed\n\n[Event \"three\"]\n1. 33-29 ) 2-0\n"
      "[Event \"four\"]\n1. 33-29 17-21 2-0\n");
  ASSERT_EQ(r.games.size(), 4u);
  EXPECT_EQ(r.report.gamesWhole, 1);
  EXPECT_EQ(r.report.gamesStopped, 3);
  ASSERT_EQ(r.report.stops.size(), 3u);
  EXPECT_EQ(r.report.stops[0].game, 1);
  EXPECT_EQ(r.report.stops[0].line, 3);
  EXPECT_EQ(r.report.stops[0].token, "99-98");
  EXPECT_EQ(MainLine(r.games[0]).size(), 4u);
  EXPECT_NE(r.games[0].Comments[0].CommentAft.find("Reading stopped at line 3, \"99-98\""),
            std::string::npos);
  EXPECT_EQ(r.report.stops[1].game, 2);
  EXPECT_NE(r.report.stops[1].reason.find("closing brace"), std::string::npos);
  EXPECT_EQ(MainLine(r.games[1]).size(), 1u);
  EXPECT_EQ(r.games[2].Tournament, "three");  // read although the comment before it was broken
  EXPECT_EQ(r.report.stops[2].token, ")");
  EXPECT_EQ(MainLine(r.games[3]).size(), 2u);
}

TEST(PdnFile, UnknownGameTypeReadsNoMoves) {
  const Read r = ReadAll("[GameType \"99\"]\n1. 32-28 *\n[GameType \"25\"]\n1. c3-d4 *\n");
  ASSERT_EQ(r.games.size(), 2u);
  ASSERT_EQ(r.report.stops.size(), 1u);
  EXPECT_EQ(r.report.stops[0].game, 1);
  EXPECT_EQ(r.games[0].Header.LastMove, 0);
  EXPECT_EQ(r.games[1].Header.TypeOfGame, kRussian);
  EXPECT_EQ(MainLine(r.games[1]).size(), 1u);
  // A GameType shared by two variants takes the one asked for.
  EXPECT_EQ(ReadAll("[GameType \"20\"] 1. 32-28 *", kInternationalKiller).games[0].Header.TypeOfGame,
            kInternationalKiller);
  EXPECT_EQ(ReadAll("[GameType \"20\"] 1. 32-28 *", kRussian).games[0].Header.TypeOfGame, kInternational);
}

TEST(PdnFile, ExportReadsBackTheSameGame) {
  const std::string text =
      "[Event \"Cup \\\"x\\\"\"]\n[Site \"S\"]\n[Date \"2009.04.??\"]\n[Round \"2\"]\n[White \"W\"]\n[Black "
      "\"B\"]\n"
      "[WhiteElo \"1500\"]\n[Annotator \"A\"]\n[GameType \"20\"]\n[Result \"0-2\"]\n"
      "{start} 1. 32-28 {a} 19-23 (18-23 $1 38-32 (37-32 $2 23-29 $3 {w}) ({x} 33-29) 12-18) 2. 28x19 $16 "
      "14x23 0-2\n"
      "[GameType \"20\"][FEN \"B:W28,K46:B1,2\"] 1... 1-7 2. 46-37 *\n"
      "[GameType \"25\"][Result \"1-0\"] 1. c3-d4 f6-g5 2. d4-c5 b6xd4 3. e3xc5 1-0\n"
      "[GameType \"20\"][Variant \"International Killer\"] 1. 32-28 *\n";
  const Read first = ReadAll(text);
  ASSERT_EQ(first.games.size(), 4u);
  ASSERT_TRUE(first.report.stops.empty()) << first.report.stops[0].reason;
  EXPECT_EQ(first.games[3].Header.TypeOfGame, kInternationalKiller);
  std::string pdn;
  for (const TGame& g : first.games) pdn += GameToPdn(g);
  EXPECT_NE(pdn.find("[GameType \"20\"]"), std::string::npos);
  EXPECT_NE(pdn.find("1. 32-28 {a} 1... 19-23 ( 1... 18-23 $1"), std::string::npos) << pdn;
  EXPECT_NE(pdn.find("[FEN \"B:W28,K46:B1,2\"]"), std::string::npos) << pdn;
  EXPECT_NE(pdn.find("1. c3-d4 f6-g5 2. d4-c5 b6xd4 3. e3xc5 1-0"), std::string::npos) << pdn;
  EXPECT_EQ(pdn.find("[FEN", pdn.find("[GameType \"25\"]")), std::string::npos);  // usual start: no FEN
  const Read second = ReadAll(pdn, kRussian);
  ASSERT_EQ(second.games.size(), first.games.size());
  EXPECT_TRUE(second.report.stops.empty());
  for (size_t i = 0; i < first.games.size(); ++i)
    EXPECT_EQ(GameDifference(first.games[i], second.games[i]), "") << "game " << i + 1 << "\n" << pdn;
}

TEST(PdnFile, AmbiguousCaptureIsWrittenWithItsPath) {
  // Two capture paths with the same start, destination and captured pieces:
  // the short form names only the first, so the second needs its path.
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[kRussian];
  g.Header.TypeOfGame = kRussian;
  int side = 0;
  // White man e3 takes all four men round the circle, either way.
  ParseFEN(g.Params, "W:We3:Bd4,d6,f4,f6,a7", g.StartBoard, side);
  TBoard board;
  board.b = g.StartBoard;
  TMvs list;
  uint8_t count = 0;
  GenerateMoveList(board, 0, list, count, g.Params, false);
  ASSERT_GE(count, 2);
  std::vector<std::string> texts;
  for (int k = 1; k <= count; ++k) {
    const std::string t = PdnMoveText(g, list[k], board, TDColor::white);
    texts.push_back(t);
    // Reading the text back finds exactly this move.
    Read r = ReadAll("[GameType \"25\"][FEN \"" + WriteFEN(g.Params, g.StartBoard, 0) + "\"] " + t + " *\n");
    ASSERT_EQ(r.games.size(), 1u);
    ASSERT_EQ(r.games[0].Header.LastMove, 1) << t;
    EXPECT_EQ(r.games[0].Moves[1].mv, list[k].mv) << t;
  }
  EXPECT_NE(texts[0], texts[1]);
}

TEST(PdnFile, ImportCreatesDatabase) {
  const auto dir = test::FreshDir("pdnimport");
  const auto pdn = dir / "in.pdn";
  test::WriteFile(pdn, "[Event \"a\"]\n1. 32-28 19-23 2-0\n[Event \"b\"]\n1. 32-28 19-23 2. 99-98 *\n");
  TPdnReadReport report;
  std::string error;
  const std::string db = (dir / "out.abd").string();
  ASSERT_TRUE(ImportPdnFile(pdn.string(), db, kInternational, report, error)) << error;
  EXPECT_EQ(report.gamesWhole, 1);
  EXPECT_EQ(report.gamesStopped, 1);
  EXPECT_EQ(report.gamesStored, 2);
  TQuorlinDB base;
  ASSERT_TRUE(OpenDatabase(db, base, true));
  EXPECT_EQ(base.DBType, kDBVersion38);
  ASSERT_EQ(base.DBSize, 2);
  TGame g;
  ASSERT_TRUE(ReadGame(base, 2, false, -1, g));
  EXPECT_EQ(g.Tournament, "b");
  EXPECT_EQ(MainLineLength(g), 2);
  EXPECT_NE(g.Comments[0].CommentAft.find("99-98"), std::string::npos);
  // Importing again appends.
  CloseDatabase(base);
  TPdnReadReport again;
  ASSERT_TRUE(ImportPdnFile(pdn.string(), db, kInternational, again, error)) << error;
  ASSERT_TRUE(OpenDatabase(db, base, true));
  EXPECT_EQ(base.DBSize, 4);
  EXPECT_FALSE(ImportPdnFile((dir / "missing.pdn").string(), db, kInternational, again, error));
}

}  // namespace
}  // namespace quorlin
