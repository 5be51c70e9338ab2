#include "app/movelist.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/analysisdisplay.h"
#include "app/evalgraph.h"
#include "app/gamenavigation.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"

namespace quorlin {
namespace {

constexpr int kCharWidth = 10;

int FixedWidth(const std::string& t, int) {
  int n = 0;
  for (unsigned char c : t) n += (c & 0xC0) != 0x80;
  return n * kCharWidth;
}

// A Russian game built move by move; moves are named "c3-d4" by their start
// and destination.
class GameFixture : public testing::Test {
 protected:
  void SetUp() override {
    game.Params = VariantTable[kRussian];
    game.Header.TypeOfGame = kRussian;
    game.StartBoard = StartPosition(game.Params, true);
    ShowNode(game, 0);
  }

  // Plays `name` from `parent` and returns its node.
  int Add(int parent, const std::string& name) {
    EXPECT_TRUE(ShowNode(game, parent));
    TMvs list;
    uint8_t count = 0;
    GenerateMoves(game.CurBoard, static_cast<int>(game.SideToMove), list, count, game.Params, true);
    for (int i = 1; i <= count; ++i) {
      const std::string text = SquareText(list[i].From(), game.Params, kStyleExtended, true) + "-" +
                               SquareText(list[i].To(), game.Params, kStyleExtended, true);
      if (text == name) return AddMove(game, list[i], parent);
    }
    ADD_FAILURE() << "no move " << name;
    return 0;
  }

  std::vector<std::string> Texts(const TMoveList& l) const {
    std::vector<std::string> out;
    for (const auto& it : l.Items) out.push_back(it.Text);
    return out;
  }

  const TMoveListItem* Find(const TMoveList& l, const std::string& text) const {
    for (const auto& it : l.Items) {
      if (it.Text == text) return &it;
    }
    return nullptr;
  }

  TGame game;
};

TEST_F(GameFixture, MainLineNumbersMarksAndResult) {
  const int a = Add(0, "c3-d4");
  const int b = Add(a, "f6-g5");
  Add(b, "g3-h4");
  SetMoveMark(game, b, kMarkKindMove, 2);
  SetMoveMark(game, b, kMarkKindPosition, 3);
  game.Header.Result = kResultDraw;
  const TMoveList l = BuildMoveList(game, 1000, FixedWidth);
  EXPECT_EQ(Texts(l), (std::vector<std::string>{"[#]", "1.c3-d4", "f6-g5!=", "2.g3-h4", " 1-1"}));
  EXPECT_EQ(l.Lines, 1);
  EXPECT_EQ(l.Items[1].moverel, a);
  EXPECT_EQ(l.Items[1].attrib, kAttribMainLine);
  EXPECT_EQ(ItemAt(l, 0, l.Items[2].posstart + 5), b);
  EXPECT_EQ(ItemAt(l, 0, l.Items.back().posend), 0) << "the result shows the start";
  EXPECT_EQ(ItemAt(l, 3, 5), -1);
}

TEST_F(GameFixture, FirstMoveByBlackIsNumberedWithDots) {
  game.Header.FirstMove = TDColor::black;
  EXPECT_EQ(MoveNumberPrefix(game, 1, true), "1...");
  EXPECT_EQ(MoveNumberPrefix(game, 2, false), "2.");
  game.Header.NumerationFrom = 10;
  EXPECT_EQ(MoveNumberPrefix(game, 1, true), "6...");
}

TEST_F(GameFixture, MainLineBranchesOpenBlocksAndBlockBranchesStayInline) {
  const int a = Add(0, "c3-d4");
  const int b = Add(a, "f6-g5");
  const int alt1 = Add(a, "f6-e5");  // one-move alternatives of the main line
  const int alt2 = Add(a, "h6-g5");
  const int c = Add(alt1, "d4-f6");  // capture in the first block
  Add(b, "g3-h4");
  const TMoveList l = BuildMoveList(game, 1000, FixedWidth);
  const TMoveListItem* blockMove = Find(l, "1...f6-e5");
  ASSERT_NE(blockMove, nullptr);
  EXPECT_EQ(blockMove->attrib, kAttribVariation);
  EXPECT_EQ(blockMove->line, 1);
  EXPECT_EQ(Find(l, "[")->posstart, kVariationIndent);
  const TMoveListItem* second = Find(l, "1...h6-g5");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->line, 2) << "each alternative of the main line gets its own block";
  EXPECT_EQ(second->moverel, alt2);
  EXPECT_EQ(Find(l, "2.g3-h4")->line, 3) << "the main line goes on below the blocks";
  EXPECT_EQ(Find(l, "2.g3-h4")->posstart, 0);

  // Inside a block, one-move side lines are written inline in parentheses.
  Add(c, "g7-e5");
  Add(c, "e7-g5");
  const TMoveList l2 = BuildMoveList(game, 1000, FixedWidth);
  const TMoveListItem* open = Find(l2, "(");
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->attrib, kAttribInline);
  const TMoveListItem* side = Find(l2, "2...e7xg5");
  ASSERT_NE(side, nullptr);
  EXPECT_EQ(side->attrib, kAttribInline);
  EXPECT_EQ(side->line, open->line);
}

TEST_F(GameFixture, VariationsNestedTenThousandDeepAreLaidOut) {
  // Two kings shuffling in opposite corners: at every ply the main move ends
  // its line and the alternative branches again, so each block holds the next.
  constexpr int kLevels = 10000;
  int side = 0;
  std::string error;
  ASSERT_TRUE(ReadFEN(game.Params, "W:WKa1:BKh2", game.StartBoard, side, error)) << error;
  ShowNode(game, 0);
  int node = 0;
  for (int i = 0; i < kLevels; ++i) {
    const bool white = i % 2 == 0;
    const bool home = (i / 2) % 2 == 0;
    Add(node, white ? (home ? "a1-c3" : "b2-c3") : (home ? "h2-g3" : "g1-f2"));
    node = Add(node, white ? (home ? "a1-b2" : "b2-a1") : (home ? "h2-g1" : "g1-h2"));
  }
  const TMoveList l = BuildMoveList(game, 1000, FixedWidth);
  EXPECT_EQ(std::count_if(l.Items.begin(), l.Items.end(), [](const auto& it) { return it.Text == "["; }),
            kLevels - 1);
  EXPECT_EQ(std::count_if(l.Items.begin(), l.Items.end(), [](const auto& it) { return it.Text == "]"; }),
            kLevels - 1);
  const TMoveListItem* deepest = nullptr;
  for (const auto& it : l.Items)
    if (it.moverel == node) deepest = &it;
  ASSERT_NE(deepest, nullptr);
  EXPECT_GE(deepest->posstart, (kLevels - 1) * kVariationIndent) << "the innermost move sits in the innermost block";
}

TEST_F(GameFixture, LongCommentWrapsAtBlanksAndIsNotSelectable) {
  const int a = Add(0, "c3-d4");
  SetMoveComment(game, a, "the best opening move, according to everybody who ever played it");
  EXPECT_TRUE(game.Modified);
  const TMoveList l = BuildMoveList(game, 200, FixedWidth);
  std::vector<std::string> words;
  for (const auto& it : l.Items) {
    if (it.attrib == kAttribComment) {
      words.push_back(it.Text);
      EXPECT_LE(it.posend, 200);
      EXPECT_EQ(it.moverel, kCommentNode);
      EXPECT_EQ(ItemAt(l, it.line, it.posstart + 1), -1);
    }
  }
  ASSERT_GE(words.size(), 3u);
  for (const std::string& w : words) EXPECT_NE(w.back(), ' ');
  EXPECT_EQ(words.front().rfind("the", 0), 0u);
  std::string joined;
  for (const std::string& w : words) joined += (joined.empty() ? "" : " ") + w;
  EXPECT_EQ(joined, "the best opening move, according to everybody who ever played it");
}

TEST_F(GameFixture, ProblemListStopsAtTheCurrentMove) {
  const int a = Add(0, "c3-d4");
  const int b = Add(a, "f6-g5");
  Add(b, "g3-h4");
  game.Header.Medals = 1;
  ShowNode(game, a);
  const TMoveList l = BuildMoveList(game, 1000, FixedWidth);
  EXPECT_EQ(Texts(l), (std::vector<std::string>{"[#]", "1.c3-d4", " *"}));
}

TEST_F(GameFixture, NavigationReplaysThePosition) {
  const int a = Add(0, "c3-d4");
  const int b = Add(a, "f6-g5");
  ASSERT_TRUE(ShowNode(game, b));
  EXPECT_EQ(game.SideToMove, TDColor::white);
  EXPECT_EQ(game.CurBoard.b[FindAlphaSquare(game.Params, "d4")], kWhiteMan);
  EXPECT_EQ(game.CurBoard.b[FindAlphaSquare(game.Params, "g5")], kBlackMan);
  ASSERT_TRUE(ShowNode(game, a));
  EXPECT_EQ(game.SideToMove, TDColor::black);
  EXPECT_EQ(FirstChild(game, a), b);
  EXPECT_EQ(ParentNode(game, b), a);
  EXPECT_EQ(NodeDepth(game, b), 2);
  EXPECT_FALSE(ShowNode(game, 999));
  EXPECT_EQ(game.CurMovPos, a);
}

TEST_F(GameFixture, PromoteMakesTheVariationTheMainLine) {
  const int a = Add(0, "c3-d4");
  const int main1 = Add(a, "f6-g5");
  const int alt = Add(a, "f6-e5");
  const int deep = Add(alt, "d4-f6");
  game.Modified = false;
  ASSERT_TRUE(PromoteLine(game, deep));
  EXPECT_TRUE(game.Modified);
  TChildList kids;
  ASSERT_EQ(GetChildren(game, a, kids), 2);
  EXPECT_EQ(kids[0], alt);
  EXPECT_EQ(kids[1], main1);
  EXPECT_TRUE(game.Moves[alt].main);
  EXPECT_FALSE(game.Moves[main1].main);
  EXPECT_EQ(MainLineNodes(game), (std::vector<int>{a, alt, deep}));
  EXPECT_FALSE(PromoteLine(game, a)) << "the main line has nothing to promote";
}

TEST_F(GameFixture, DeleteRemovesTheLineAndShowsTheParent) {
  const int a = Add(0, "c3-d4");
  const int b = Add(a, "f6-g5");
  Add(b, "g3-h4");
  ShowNode(game, b);
  EXPECT_EQ(DeleteLine(game, b), a);
  EXPECT_EQ(game.CurMovPos, a);
  EXPECT_EQ(FirstChild(game, a), 0);
  EXPECT_EQ(game.SideToMove, TDColor::black);
  EXPECT_EQ(DeleteLine(game, 0), -1);
}

TEST_F(GameFixture, EvaluationGraphFollowsTheMainLine) {
  const int a = Add(0, "c3-d4");
  const int b = Add(a, "f6-g5");
  Add(a, "f6-e5");
  TEvalHistory h;
  h.Record(0, 0.25f, TDColor::white);
  h.Record(a, 0.5f, TDColor::black);  // black to move: stored for White as -0.5
  h.Record(b, 40.0f, TDColor::white);
  const std::vector<TGraphPoint> pts = GraphPoints(game, h);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_FLOAT_EQ(pts[0].value, 0.25f);
  EXPECT_FLOAT_EQ(pts[1].value, -0.5f);
  EXPECT_FLOAT_EQ(pts[2].value, kGraphRange);
  EXPECT_EQ(pts[2].ply, 2);
  EXPECT_EQ(GraphNodeAt(game, 0, 100), 0);
  EXPECT_EQ(GraphNodeAt(game, 45, 100), a);
  EXPECT_EQ(GraphNodeAt(game, 100, 100), b);
}

TEST(AnalysisDisplay, RowsAndStatusLine) {
  TAnalysisInfo info;
  EXPECT_EQ(EngineStatusLine(info), "");
  info.EngineNm = "[2.11]";
  info.DepthStr = "5,6";
  info.Speed = "100kN/s@2";
  info.Time = "3.07";
  info.Edb = "ED: 4";
  EXPECT_EQ(EngineStatusLine(info), "[2.11]: 5,6, 100kN/s@2,  3.07,  ED: 4\r");
  info.TotalMoves = 3;
  info.Sort[1] = 2;
  info.Sort[2] = 1;
  info.Sort[3] = 3;
  info.Moves[2] = {7, "1.cd4 fg5", {0.25f, 0.25f, 0}};
  info.Moves[1] = {5, "1.ab4 ba5", {-1.5f, -1.5f, 0}};
  info.Moves[1].analysing = true;
  info.Moves[3] = {0, "1.gh4", {0, 0, 0}};
  info.Moves[3].skip = true;
  const auto rows = AnalysisRows(info, "status");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (TDisplayRow{"", "status", kColourText}));
  EXPECT_EQ(rows[1], (TDisplayRow{"0.25", "[7] 1.cd4 fg5", kColourText}));
  EXPECT_EQ(rows[2], (TDisplayRow{"* -1.50", "[5] 1.ab4 ba5", kColourText}));
  EXPECT_EQ(rows[3], (TDisplayRow{"x 0.00", "1.gh4", kColourText}));
  float best = 0;
  ASSERT_TRUE(BestScore(info, best));
  EXPECT_FLOAT_EQ(best, 0.25f);
  info.Info = "Init Memory";
  EXPECT_EQ(EngineStatusLine(info), "Init Memory");
}

TEST(AnalysisDisplay, BookRowsColouredByVerdict) {
  TOpenMoves m;
  m.Op_moves = 2;
  m.openmoves[1].move = "c3-d4 !";
  m.openmoves[1].stat = "+5-2=3";
  m.openmoves[1].col = 3;
  m.openmoves[2].move = "a3-b4";
  m.openmoves[2].col = 0;
  const auto rows = BookRows(m);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (TDisplayRow{"c3-d4 !", "+5-2=3", kColourBookGood}));
  EXPECT_EQ(rows[1].argb, kColourBookNone);
  EXPECT_EQ(BookMoveColour(1), kColourBookWeak);
  EXPECT_EQ(BookMoveColour(2), kColourBookPlayable);
}

TEST(AnalysisDisplay, ScoreTexts) {
  EXPECT_EQ(FormatScore(0.25f), "0.25");
  EXPECT_EQ(FormatScore(-1.5f), "-1.50");
  EXPECT_EQ(FormatScore(1985.0f), "x15");
  EXPECT_EQ(FormatScore(-1490.0f), "-xN(10)");
  EXPECT_EQ(FormatScore(2100.0f), "x0");
}

}  // namespace
}  // namespace quorlin
