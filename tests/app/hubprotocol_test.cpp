// Hub lines: splitting and writing them, positions and search limits.
#include "app/hubprotocol.h"

#include <gtest/gtest.h>

#include "app/wiremove.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

THubArg Arg(const std::string& n, const std::string& v) { return THubArg{n, v, false}; }
THubArg Flag(const std::string& n) { return THubArg{n, "", true}; }

struct LineCase {
  const char* label;
  std::string text;
  THubLine line;
};

class HubLineRead : public testing::TestWithParam<LineCase> {};

TEST_P(HubLineRead, Splits) {
  const LineCase& c = GetParam();
  THubLine line;
  std::string error;
  ASSERT_TRUE(ParseHubLine(c.text, line, error)) << error;
  EXPECT_EQ(line, c.line);
  // Written back and read again, the line is the same.
  THubLine again;
  ASSERT_TRUE(ParseHubLine(FormatHubLine(line), again, error)) << error;
  EXPECT_EQ(again, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HubLineRead,
    testing::Values(
        LineCase{"Bare", "hub", {"hub", {}}}, LineCase{"Blank", "   ", {"", {}}},
        LineCase{"Id",
                 "id name=Scan version=3.1 author=\"Fabien Letouzey\" country=France",
                 {"id",
                  {Arg("name", "Scan"), Arg("version", "3.1"), Arg("author", "Fabien Letouzey"),
                   Arg("country", "France")}}},
        LineCase{"Param",
                 "param name=variant value=normal type=enum values=\"normal killer bt frisian losing\"",
                 {"param",
                  {Arg("name", "variant"), Arg("value", "normal"), Arg("type", "enum"),
                   Arg("values", "normal killer bt frisian losing")}}},
        LineCase{"Pos",
                 "pos pos=Wbbbbbbbbbbbbbbbbbbbbeeeeeeeeeewwwwwwwwwwwwwwwwwwww moves=\"32-28 19-23 28x19\"",
                 {"pos",
                  {Arg("pos", "Wbbbbbbbbbbbbbbbbbbbbeeeeeeeeeewwwwwwwwwwwwwwwwwwww"),
                   Arg("moves", "32-28 19-23 28x19")}}},
        LineCase{"GoFlag", "go think", {"go", {Flag("think")}}},
        LineCase{"EmptyValue",
                 "set-param name=book value=\"\"",
                 {"set-param", {Arg("name", "book"), Arg("value", "")}}},
        LineCase{"EqualsInQuotes",
                 "error message=\"a=b and \\\"c\\\"\"",
                 {"error", {Arg("message", "a=b and \"c\"")}}},
        LineCase{"ExtraBlanks", "  level   move-time=1.5\t  ", {"level", {Arg("move-time", "1.5")}}},
        LineCase{
            "Info",
            "info depth=12 mean-depth=10.4 score=0.25 nodes=123456 time=1.20 nps=0.10 pv=\"32-28 18-23\"",
            {"info",
             {Arg("depth", "12"), Arg("mean-depth", "10.4"), Arg("score", "0.25"), Arg("nodes", "123456"),
              Arg("time", "1.20"), Arg("nps", "0.10"), Arg("pv", "32-28 18-23")}}},
        LineCase{"CarriageReturn", "ping\r", {"ping", {}}},
        LineCase{"QuotedNameAndCommand",
                 "\"a b\" \"p3=v2 28x1\" depth=5",
                 {"a b", {Flag("p3=v2 28x1"), Arg("depth", "5")}}}),
    [](const testing::TestParamInfo<LineCase>& i) { return std::string(i.param.label); });

TEST(HubLine, MalformedLinesAreRefused) {
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"pos pos=\"Wbbb", "unterminated quote starting at column 9"},
      {"set-param =5", "argument without a name at column 11"},
      {"error message=\"abc\\\"", "unterminated quote"},
  };
  for (const Case& c : cases) {
    THubLine line;
    std::string error;
    EXPECT_FALSE(ParseHubLine(c.text, line, error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(HubLine, WritingQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(FormatHubLine(HubLine("done", {{"move", "32x21x27"}, {"ponder", "16-21"}})),
            "done move=32x21x27 ponder=16-21");
  EXPECT_EQ(FormatHubLine(HubLine("error", {{"message", "no position"}})), "error message=\"no position\"");
  EXPECT_EQ(FormatHubLine(HubLine("param", {{"value", ""}})), "param value=\"\"");
}

TEST(HubPosition, ReadsAndWritesEveryPiece) {
  const TGameParams& p = VariantTable[kInternational];
  const std::string start = "W" + std::string(20, 'b') + std::string(10, 'e') + std::string(20, 'w');
  TBoard b;
  TDColor side = TDColor::black;
  std::string error;
  ASSERT_TRUE(ParseHubPosition(start, p, b, side, error)) << error;
  EXPECT_EQ(b.b, StartPosition(p, false));
  EXPECT_EQ(side, TDColor::white);
  EXPECT_EQ(HubPositionText(b, side, p), start);

  std::string kings = "B" + std::string(50, 'e');
  kings[1] = 'W';
  kings[50] = 'B';
  kings[23] = 'w';
  kings[28] = 'b';
  ASSERT_TRUE(ParseHubPosition(kings, p, b, side, error)) << error;
  EXPECT_EQ(side, TDColor::black);
  EXPECT_EQ(b.b[InternalSquare(p, 1)], kWhiteKing);
  EXPECT_EQ(b.b[InternalSquare(p, 50)], kBlackKing);
  EXPECT_EQ(b.b[InternalSquare(p, 23)], kWhiteMan);
  EXPECT_EQ(b.b[InternalSquare(p, 28)], kBlackMan);
  EXPECT_EQ(HubPositionText(b, side, p), kings);
}

TEST(HubPosition, MalformedPositionsAreRefused) {
  const TGameParams& p = VariantTable[kInternational];
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"W" + std::string(49, 'e'), "has 50 characters: expected 51"},
      {"W" + std::string(51, 'e'), "has 52 characters"},
      {"X" + std::string(50, 'e'), "side to move is 'X'"},
      {"W" + std::string(9, 'e') + "z" + std::string(40, 'e'), "square 10 holds 'z'"},
  };
  for (const Case& c : cases) {
    TBoard b;
    TDColor side;
    std::string error;
    EXPECT_FALSE(ParseHubPosition(c.text, p, b, side, error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(HubLevel, EveryForm) {
  struct Case {
    std::string text;
    THubLevel level;
  };
  THubLevel depth, nodes, moveTime, game, infinite;
  depth.depth = 9;
  nodes.nodes = 500000;
  moveTime.moveTime = 0.5;
  game.moves = 20;
  game.time = 61.5;
  game.increment = 1;
  infinite.infinite = true;
  const Case cases[] = {{"level depth=9", depth},
                        {"level nodes=500000", nodes},
                        {"level move-time=0.5", moveTime},
                        {"level moves=20 time=61.5 inc=1", game},
                        {"level infinite", infinite}};
  for (const Case& c : cases) {
    THubLine line;
    std::string error;
    ASSERT_TRUE(ParseHubLine(c.text, line, error));
    THubLevel level;
    ASSERT_TRUE(ParseHubLevel(line, level, error)) << c.text << ": " << error;
    EXPECT_EQ(level, c.level) << c.text;
  }
  const char* bad[] = {"level",          "level depth=0",  "level depth=x",  "level move-time=-1",
                       "level time=abc", "level moves=20", "level nodes=1.5"};
  for (const char* text : bad) {
    THubLine line;
    std::string error;
    ASSERT_TRUE(ParseHubLine(text, line, error));
    THubLevel level;
    EXPECT_FALSE(ParseHubLevel(line, level, error)) << text;
    EXPECT_NE(error.find("level"), std::string::npos) << error;
  }
}

TEST(HubVariants, Names) {
  EXPECT_EQ(HubVariantSlot("normal"), kInternational);
  EXPECT_EQ(HubVariantSlot("killer"), kInternationalKiller);
  EXPECT_EQ(HubVariantSlot("frisian"), kFrisian);
  EXPECT_EQ(HubVariantSlot("bt"), 0);
  EXPECT_EQ(HubVariantSlot("losing"), 0);
  for (int slot : {kInternational, kInternationalKiller, kFrisian})
    EXPECT_EQ(HubVariantSlot(HubVariantName(slot)), slot);
  EXPECT_EQ(HubVariantName(kRussian), "");
}

}  // namespace
}  // namespace quorlin
