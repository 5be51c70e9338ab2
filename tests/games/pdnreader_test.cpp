// Move text read into a game: the cases pasted text must handle.
#include "games/pdnreader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "games/gamerecord.h"
#include "rules/fen.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

TGame NewGame(int variant, const std::string& fen = "") {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[variant];
  g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  g.StartBoard = StartPosition(g.Params, true);
  if (!fen.empty()) {
    int side = 0;
    ParseFEN(g.Params, fen, g.StartBoard, side);
    g.Header.FirstMove = side ? TDColor::black : TDColor::white;
  }
  return g;
}

// Texts of the children of a node, in order, in the variant's full style.
std::vector<std::string> Children(const TGame& g, int node) {
  TChildList list;
  const int n = GetChildren(g, node, list);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(MoveText(g.Moves[list[i]], g.Params, kStyleFull, "x"));
  return out;
}

// Main line from the root as texts.
std::vector<std::string> MainLine(const TGame& g) {
  std::vector<std::string> out;
  for (int node = g.Moves[0].next; node; node = g.Moves[node].next)
    out.push_back(MoveText(g.Moves[node], g.Params, kStyleFull, "x"));
  return out;
}

int NodeOf(const TGame& g, int parent, const std::string& text) {
  TChildList list;
  const int n = GetChildren(g, parent, list);
  for (int i = 0; i < n; ++i)
    if (MoveText(g.Moves[list[i]], g.Params, kStyleFull, "x") == text) return list[i];
  return -1;
}

using Strings = std::vector<std::string>;

struct Case {
  const char* name;
  const char* text;
  std::function<void(const TGame&, bool stop)> check;
};

class MoveTextCase : public ::testing::TestWithParam<Case> {};

TEST_P(MoveTextCase, ReadsIntoTheTree) {
  TGame g = NewGame(kRussian);
  std::string text = GetParam().text;
  bool stop = false;
  ReadMoveText(text, g, stop);
  GetParam().check(g, stop);
}

const Case kCases[] = {
    {"CommentAfterMoveThenNag", "1. c3-d4 d6-e5 2. b2-c3 {a comment} $1",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       EXPECT_EQ(MainLine(g), (Strings{"c3-d4", "d6-e5", "b2-c3"}));
       const int n = NodeOf(g, NodeOf(g, NodeOf(g, 0, "c3-d4"), "d6-e5"), "b2-c3");
       EXPECT_EQ(g.Comments[n].CommentAft, "a comment");
       EXPECT_EQ(g.Moves[n].comm & 0x0F, 2);
     }},
    {"CommentAfterNagGoesBeforeNextMove", "c3-d4 $1 {text} d6-e5",
     [](const TGame& g, bool) {
       const int a = NodeOf(g, 0, "c3-d4");
       const int b = NodeOf(g, a, "d6-e5");
       EXPECT_EQ(g.Moves[a].comm, 2);
       EXPECT_EQ(g.Comments[a].CommentAft, "");
       EXPECT_EQ(g.Comments[b].CommentBef, "text");
     }},
    {"ConsecutiveCommentsJoined", "{A}{B} c3-d4",
     [](const TGame& g, bool) { EXPECT_EQ(g.Comments[NodeOf(g, 0, "c3-d4")].CommentBef, "AB"); }},
    {"VariationIsAlternativeToLastMove", "c3-d4 ( e3-f4 ) d6-e5",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       EXPECT_EQ(Children(g, 0), (Strings{"c3-d4", "e3-f4"}));
       EXPECT_EQ(Children(g, NodeOf(g, 0, "c3-d4")), (Strings{"d6-e5"}));
     }},
    {"OpenParenthesisGluedToMove", "c3-d4 (e3-f4 ) d6-e5",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       EXPECT_EQ(Children(g, 0), (Strings{"c3-d4", "e3-f4"}));
       EXPECT_EQ(Children(g, NodeOf(g, 0, "c3-d4")), (Strings{"d6-e5"}));
     }},
    {"CloseParenthesisGluedToMoveStops", "c3-d4 ( e3-f4) d6-e5",
     [](const TGame& g, bool stop) {
       EXPECT_TRUE(stop);
       EXPECT_EQ(g.Comments[0].CommentAft, "* e3-f4) d6-e5");
       EXPECT_EQ(Children(g, 0), (Strings{"c3-d4"}));
       EXPECT_TRUE(Children(g, NodeOf(g, 0, "c3-d4")).empty());
     }},
    {"ResultSkipped", "c3-d4 d6-e5 2-0",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       EXPECT_EQ(MainLine(g), (Strings{"c3-d4", "d6-e5"}));
       EXPECT_EQ(g.Header.Result, 0);
     }},
    {"OpeningPrefixBothSides", "c3>d4 f6>g5 e3-f4",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       TBrd expected = StartPosition(VariantTable[kRussian], true);
       expected[pdn::SquareByName("c3")] = 0;
       expected[pdn::SquareByName("d4")] = kWhiteMan;
       expected[pdn::SquareByName("f6")] = 0;
       expected[pdn::SquareByName("g5")] = kBlackMan;
       EXPECT_EQ(g.StartBoard, expected);
       EXPECT_EQ(MainLine(g), (Strings{"e3-f4"}));
     }},
    {"OpeningPrefixBlackOnly", "- f6>g5 c3-d4",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       TBrd expected = StartPosition(VariantTable[kRussian], true);
       expected[pdn::SquareByName("f6")] = 0;
       expected[pdn::SquareByName("g5")] = kBlackMan;
       EXPECT_EQ(g.StartBoard, expected);
       EXPECT_EQ(MainLine(g), (Strings{"c3-d4"}));
     }},
    {"PositionMarkFromLastNag", "c3-d4 $13",
     [](const TGame& g, bool) { EXPECT_EQ(g.Moves[NodeOf(g, 0, "c3-d4")].comm, 7 << 4); }},
    {"NagReplacesOnlyItsOwnBits", "c3-d4 $1 $14 $3",
     [](const TGame& g, bool) { EXPECT_EQ(g.Moves[NodeOf(g, 0, "c3-d4")].comm, (2 << 4) | 1); }},
    {"MoveNumbersGluedAndDots", "1.c3-d4 1...d6-e5 2. b2-c3",
     [](const TGame& g, bool) {
       EXPECT_EQ(MainLine(g), (Strings{"c3-d4", "d6-e5", "b2-c3"}));
     }},
    {"OtherClosers", "c3-d4 ( e3-f4 *) d6-e5 ( f6-g5 1-0) b2-c3 ( a3-b4 1-0*) c7-d6",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       EXPECT_EQ(MainLine(g), (Strings{"c3-d4", "d6-e5", "b2-c3", "c7-d6"}));
       EXPECT_EQ(Children(g, NodeOf(g, 0, "c3-d4")), (Strings{"d6-e5", "f6-g5"}));
     }},
    {"TagPairsReadNoMove", "[Event \"x\"] 1. c3-d4",
     [](const TGame& g, bool stop) {
       EXPECT_TRUE(stop);
       EXPECT_EQ(g.Header.LastMove, 0);
       EXPECT_EQ(g.Comments[0].CommentAft, "* [Event \"x\"] 1. c3-d4");
     }},
    // Choices for the open cases.
    {"ParenthesisBeforeAnyMoveBranchesFromLineStart", "( e3-f4 ) c3-d4",
     [](const TGame& g, bool stop) {
       EXPECT_FALSE(stop);
       EXPECT_EQ(Children(g, 0), (Strings{"e3-f4", "c3-d4"}));
     }},
    {"UnknownPrefixSquareChangesNothing", "c9>d4 f6>g5 c3-d4",
     [](const TGame& g, bool stop) {
       EXPECT_TRUE(stop);
       EXPECT_EQ(g.StartBoard, StartPosition(VariantTable[kRussian], true));
       EXPECT_EQ(g.Header.LastMove, 0);
       EXPECT_EQ(g.Comments[0].CommentAft, "* c9>d4 f6>g5 c3-d4");
     }},
    {"IllegalMoveKeepsEarlierMoves", "1. c3-d4 d6-e5 2. c3-b4 b6-a5",
     [](const TGame& g, bool stop) {
       EXPECT_TRUE(stop);
       EXPECT_EQ(MainLine(g), (Strings{"c3-d4", "d6-e5"}));
       const int n = NodeOf(g, NodeOf(g, 0, "c3-d4"), "d6-e5");
       EXPECT_EQ(g.Comments[n].CommentAft, "* c3-b4 b6-a5");
     }},
};

INSTANTIATE_TEST_SUITE_P(Russian, MoveTextCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MoveText, CaptureTokensInEverySpelling) {
  // White c3 captures d4 and f6, landing on e5 and g7.
  for (const char* token : {"c3xe5xg7", "c3:e5:g7", "c3xg7", "c3-g7", "c3:g7", "cg7", "c3xg7xd4xf6"}) {
    TGame g = NewGame(kRussian, "W:Wc3:Bd4,f6,h8");
    std::string text = token;
    bool stop = false;
    ReadMoveText(text, g, stop);
    EXPECT_FALSE(stop) << token;
    ASSERT_EQ(g.Header.LastMove, 1) << token;
    EXPECT_EQ(g.Moves[1].lt, 2) << token;
    EXPECT_EQ(SquareText(g.Moves[1].To(), g.Params, kStyleFull), "g7") << token;
  }
}

TEST(MoveText, PoolReadsRussianNotation) {
  TGame g = NewGame(kPool);
  std::string text = "1. c3-d4";
  bool stop = false;
  ReadMoveText(text, g, stop);
  ASSERT_FALSE(stop);
  ASSERT_EQ(g.Header.LastMove, 1);
  EXPECT_EQ(SquareText(g.Moves[1].From(), VariantTable[kRussian], kStyleFull), "c3");
  EXPECT_EQ(SquareText(g.Moves[1].To(), VariantTable[kRussian], kStyleFull), "d4");
}

TEST(MoveText, ReadingTwiceAddsNothingAndReplacesTexts) {
  TGame g = NewGame(kRussian);
  std::string first = "c3-d4 {old} $1 d6-e5 ( f6-g5 ) b2-c3";
  bool stop = false;
  ReadMoveText(first, g, stop);
  const int last = g.Header.LastMove;
  std::string second = "c3-d4 d6-e5 {new} ( f6-g5 ) b2-c3";
  ReadMoveText(second, g, stop);
  EXPECT_FALSE(stop);
  EXPECT_EQ(g.Header.LastMove, last);
  const int a = NodeOf(g, 0, "c3-d4");
  EXPECT_EQ(g.Comments[a].CommentAft, "");
  EXPECT_EQ(g.Moves[a].comm, 0);
  EXPECT_EQ(g.Comments[NodeOf(g, a, "d6-e5")].CommentAft, "new");
}

TEST(MoveText, NoRoomLeftStopsAtTheMove) {
  TGame g = NewGame(kRussian);
  g.Moves.resize(kMaxGameNodes + 2);
  g.Comments.resize(kMaxGameNodes + 2);
  g.Header.LastMove = kMaxGameNodes + 1;
  std::string text = "c3-d4 d6-e5";
  bool stop = false;
  ReadMoveText(text, g, stop);
  EXPECT_TRUE(stop);
  EXPECT_EQ(g.Moves[0].next, 0);
  EXPECT_EQ(g.Comments[0].CommentAft, "* c3-d4 d6-e5");
}

TEST(MoveTextSteps, Tokens) {
  std::string t = "  (e3-f4 ) x";
  EXPECT_EQ(pdn::NextToken(t), "(");
  EXPECT_EQ(pdn::NextToken(t), "e3-f4");
  EXPECT_EQ(pdn::NextToken(t), ")");
  EXPECT_EQ(pdn::NextToken(t), "x");
  EXPECT_EQ(t, "");

  struct {
    const char* in;
    bool number;
    const char* out;
  } numbers[] = {{"12.", true, "12."},         {"1...", true, "1..."},         {"", true, ""},
                 {"12.c3-d4", false, "c3-d4"}, {"12...c3-d4", false, "c3-d4"}, {"c3-d4", false, "c3-d4"}};
  for (const auto& n : numbers) {
    std::string tok = n.in;
    EXPECT_EQ(pdn::IsMoveNumber(tok), n.number) << n.in;
    EXPECT_EQ(tok, n.out) << n.in;
  }
  EXPECT_EQ(pdn::ShortenCapture("c3xe5xg7"), "c3-g7");
  EXPECT_EQ(pdn::ShortenCapture("11x18x25"), "11-25");
  EXPECT_EQ(pdn::ShortenCapture("c3xd4"), "c3-d4");
  EXPECT_EQ(pdn::ShortenCapture("c3d4"), "c3d4");
  for (const char* r : {"1:0", "1/2-1/2", "0-2t", "*", "2-0"}) EXPECT_TRUE(pdn::IsResultToken(r)) << r;
  for (const char* r : {"1-0*)", "1/2", "3-0", "1-0 "}) EXPECT_FALSE(pdn::IsResultToken(r)) << r;

  std::string c = " {a {b} c} {d} x";
  EXPECT_EQ(pdn::ReadComments(c), "a {b} cd");
  EXPECT_EQ(c, "x");
  std::string open = "{never closed";
  EXPECT_EQ(pdn::ReadComments(open), "never closed");
  std::string nags = "$2 $abc $16 c3-d4";
  EXPECT_EQ(pdn::ReadNAGs(nags), (1 << 4) | 5);
  EXPECT_EQ(nags, "c3-d4");

  EXPECT_EQ(pdn::SquareByName("A1"), 1);
  EXPECT_EQ(pdn::SquareByName("h8"), 32);
  EXPECT_EQ(pdn::SquareByName("a2"), 0);
}

}  // namespace
}  // namespace quorlin
