// PDN move text pasted into the shown game's tree.
#include "app/pdnpaste.h"

#include <gtest/gtest.h>

#include "fen_game.h"

namespace quorlin {
namespace {

TGame Russian() {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[kRussian];
  g.Header.TypeOfGame = kRussian;
  g.StartBoard = StartPosition(g.Params, false);
  g.CurBoard.b = g.StartBoard;
  return g;
}

TEST(PdnPaste, MovesAreAddedAndKnownOnesFoundAgain) {
  TGame g = Russian();
  std::string error;
  ASSERT_EQ(PastePdn(g, "1. c3-d4 f6-g5 2. b2-c3 {quiet}", error), TPdnPaste::Added) << error;
  EXPECT_EQ(MainLineLength(g), 3);
  // The same start again with another second move: a variation, not a new line.
  ASSERT_EQ(PastePdn(g, "1. c3-d4 f6-g5 2. g3-h4", error), TPdnPaste::Added) << error;
  EXPECT_EQ(MainLineLength(g), 3);
  TChildList kids;
  ASSERT_EQ(GetChildren(g, 0, kids), 1);
  ASSERT_EQ(GetChildren(g, kids[0], kids), 1);
  EXPECT_EQ(GetChildren(g, kids[0], kids), 2);
}

struct TRefusal {
  const char* name;
  const char* text;
};

void PrintTo(const TRefusal& c, std::ostream* os) { *os << c.name; }

class PdnRefused : public ::testing::TestWithParam<TRefusal> {};

TEST_P(PdnRefused, LeavesTheGameWhole) {
  TGame g = Russian();
  std::string error;
  ASSERT_EQ(PastePdn(g, "1. c3-d4", error), TPdnPaste::Added);
  const size_t nodes = g.Moves.size();
  const int line = MainLineLength(g);
  EXPECT_EQ(PastePdn(g, GetParam().text, error), TPdnPaste::Refused);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(g.Moves.size(), nodes);
  EXPECT_EQ(MainLineLength(g), line);
}

INSTANTIATE_TEST_SUITE_P(Texts, PdnRefused,
                         ::testing::Values(TRefusal{"IllegalFirstMove", "1. a1-h8"},
                                           TRefusal{"IllegalLaterMove", "1. c3-d4 f6-g5 2. a1-h8"},
                                           TRefusal{"NotAMove", "1. c3-d4 f6-g5 2. hello"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PdnPaste, EmptyTextDoesNothing) {
  TGame g = Russian();
  std::string error;
  EXPECT_EQ(PastePdn(g, "  \n\t ", error), TPdnPaste::Nothing);
  EXPECT_EQ(MainLineLength(g), 0);
}

}  // namespace
}  // namespace quorlin
