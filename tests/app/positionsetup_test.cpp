// Setting up a position by hand and through FEN text.
#include "app/positionsetup.h"

#include <gtest/gtest.h>

#include "fen_game.h"
#include "rules/fen.h"
#include "rules/notation.h"

namespace quorlin {
namespace {

TGame Editor(int variant) {
  TGame g = test::GameFromFen("W:W31,32:B19,20", variant == kInternational ? kInternational : variant);
  if (variant != kInternational) {
    ClearGame(g);
    g.Params = VariantTable[variant];
    g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  }
  BeginSetup(g);
  return g;
}

int Square(const TGame& g, const std::string& name) {
  for (int s = 1; s <= g.Params.compute.BoardSize; ++s)
    if (const std::string text = SquareText(s, g.Params, kStyleExtended); text == name || text == "0" + name)
      return s;
  return 0;
}

TEST(PositionSetup, TapsCycleThroughThePiecesBothWays) {
  TGame g = Editor(kInternational);
  SetupClean(g);
  const int s = Square(g, "28");
  std::vector<int> forward;
  for (int i = 0; i < 5; ++i) {
    SetupTap(g, s, kSetupPrimary);
    forward.push_back(g.CurBoard.b[s]);
  }
  EXPECT_EQ(forward, (std::vector<int>{1, 2, -2, -1, 0}));
  SetupTap(g, s, kSetupSecondary);
  EXPECT_EQ(g.CurBoard.b[s], -1);
  SetupTap(g, s, kSetupMiddle);
  EXPECT_EQ(g.CurBoard.b[s], 0);
}

TEST(PositionSetup, NoManStaysWhereItsSideCrowns) {
  TGame g = Editor(kInternational);
  SetupClean(g);
  const int whiteCrown = Square(g, "3");
  const int blackCrown = Square(g, "48");
  ASSERT_NE(whiteCrown, 0);
  SetupTap(g, whiteCrown, kSetupPrimary);  // a white man would stand on its crowning row
  EXPECT_EQ(g.CurBoard.b[whiteCrown], 2);
  SetupTap(g, blackCrown, kSetupSecondary);  // likewise a black man
  EXPECT_EQ(g.CurBoard.b[blackCrown], -2);
}

struct TFenCase {
  const char* name;
  const char* text;
  TFenImport expected;
  const char* fen;  // the position afterwards, as a tag line
};

void PrintTo(const TFenCase& c, std::ostream* os) { *os << c.name; }

class FenImport : public ::testing::TestWithParam<TFenCase> {};

TEST_P(FenImport, ReadsOrLeavesTheBoard) {
  TGame g = Editor(kInternational);
  const std::string before = FenTagLine(g.Params, g.CurBoard.b, g.SideToMove);
  std::string error;
  EXPECT_EQ(SetupImportFEN(g, GetParam().text, error), GetParam().expected);
  const std::string after = FenTagLine(g.Params, g.CurBoard.b, g.SideToMove);
  if (GetParam().expected == TFenImport::Read) {
    EXPECT_EQ(after, GetParam().fen);
  } else {
    EXPECT_EQ(after, before);
    EXPECT_EQ(error.empty(), GetParam().expected == TFenImport::Ignored) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FenImport,
    ::testing::Values(TFenCase{"Bare", "B:W28,K46:B13", TFenImport::Read, "[FEN \"B:W28,K46:B13\"]"},
                      TFenCase{"TagAmongOthers", "[Event \"x\"]\n[FEN \"W:W33:B12\"]\n1. 33-28 *",
                               TFenImport::Read, "[FEN \"W:W33:B12\"]"},
                      TFenCase{"ItalianTagName", "[Posizione \"W:W40:B5\"]", TFenImport::Read,
                               "[FEN \"W:W40:B5\"]"},
                      TFenCase{"OtherTagsOnly", "[Event \"x\"]", TFenImport::Ignored, ""},
                      TFenCase{"SquareOffTheBoard", "W:W51:B1", TFenImport::Error, ""},
                      TFenCase{"EmptyTag", "[FEN \"\"]", TFenImport::Error, ""},
                      TFenCase{"NotAFen", "hello", TFenImport::Error, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PositionSetup, FinishedPositionStartsANewGame) {
  TGame g = Editor(kInternational);
  std::string error;
  ASSERT_EQ(SetupImportFEN(g, "W:W28:B13", error), TFenImport::Read);
  FinishSetup(g, TDColor::black);
  TBrd cells{};
  int side = 0;
  ASSERT_TRUE(ReadFEN(g.Params, "B:W28:B13", cells, side, error)) << error;
  EXPECT_EQ(g.StartBoard, cells);
  EXPECT_EQ(g.Header.FirstMove, TDColor::black);
  EXPECT_EQ(g.SideToMove, TDColor::black);
  EXPECT_EQ(g.CurMovPos, 0);
  TChildList kids;
  EXPECT_EQ(GetChildren(g, 0, kids), 0);
}

}  // namespace
}  // namespace quorlin
