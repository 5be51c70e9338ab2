#include "app/boardgeometry.h"

#include <gtest/gtest.h>

#include <set>

#include "app/windowlayout.h"
#include "rules/notation.h"

namespace quorlin {
namespace {

struct GeometryCase {
  int variant;
  bool reversed;
  bool mirrored;
};

class EveryBoard : public testing::TestWithParam<GeometryCase> {};

// Every square has its own cell inside the playing area, and the point in the
// middle of that cell maps back to the square, however the board is turned.
TEST_P(EveryBoard, SquareCentresMapBackToTheirSquares) {
  TGameParams p = VariantTable[GetParam().variant];
  p.intface.BoardMirrored = GetParam().mirrored;
  const TBoardGeometry g(p, GetParam().reversed);
  std::set<std::pair<int, int>> cells;
  for (int s = 1; s <= p.compute.BoardSize; ++s) {
    const TPixelRect r = g.SquareRect(s);
    EXPECT_GE(r.x, kBoardMargin);
    EXPECT_GE(r.y, kBoardMargin);
    EXPECT_LE(r.x + r.w, kBoardMargin + kBoardPlayArea);
    EXPECT_LE(r.y + r.h, kBoardMargin + kBoardPlayArea);
    EXPECT_EQ(g.SquareAtPicture(r.x + r.w / 2.0, r.y + r.h / 2.0), s);
    EXPECT_EQ(g.SquareAtControl((r.x + r.w / 2.0) / 2, (r.y + r.h / 2.0) / 2, kBoardWorkArea / 2.0), s);
    EXPECT_TRUE(cells.insert({r.x, r.y}).second) << "two squares share a cell";
    const TPixelRect piece = g.PieceRect(s);
    EXPECT_EQ(piece.w, g.Cell() * kPiecePercent / 100);
    EXPECT_EQ(piece.x - r.x, (g.Cell() - piece.w) / 2);
  }
  // The margin holds no square.
  EXPECT_EQ(g.SquareAtPicture(10, 10), 0);
  EXPECT_EQ(g.SquareAtPicture(900, 500), 0);
}

std::vector<GeometryCase> AllBoards() {
  std::vector<GeometryCase> out;
  for (int v = 1; v <= kVariantCount; ++v) {
    for (bool reversed : {false, true}) {
      for (bool mirrored : {false, true}) out.push_back({v, reversed, mirrored});
    }
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(Variants, EveryBoard, testing::ValuesIn(AllBoards()), [](const auto& info) {
  std::string name = VariantTable[info.param.variant].Name;
  std::erase(name, ' ');
  return name + (info.param.reversed ? "Reversed" : "") + (info.param.mirrored ? "Mirrored" : "");
});

// Where a square is, as a player sees it: (column from the left, row from the top).
struct PlaceCase {
  const char* name;
  int variant;
  bool reversed;
  bool mirrored;
  const char* square;  // alphanumeric name
  TScreenCell cell;
};

class SquarePlace : public testing::TestWithParam<PlaceCase> {};

TEST_P(SquarePlace, SquareStandsWhereThePlayerExpectsIt) {
  const PlaceCase& c = GetParam();
  TGameParams p = VariantTable[c.variant];
  p.intface.BoardMirrored = c.mirrored;
  const TBoardGeometry g(p, c.reversed);
  const int s = FindAlphaSquare(p, c.square);
  ASSERT_NE(s, 0);
  EXPECT_EQ(g.CellOf(s), c.cell);
}

INSTANTIATE_TEST_SUITE_P(
    Places, SquarePlace,
    testing::Values(PlaceCase{"RussianA1BottomLeft", kRussian, false, false, "a1", {0, 7}},
                    PlaceCase{"RussianH8TopRight", kRussian, false, false, "h8", {7, 0}},
                    PlaceCase{"RussianReversedA1TopRight", kRussian, true, false, "a1", {7, 0}},
                    PlaceCase{"MirroredSquareOneBottomRight", kPool, false, true, "a1", {7, 7}},
                    PlaceCase{"InternationalA1BottomLeft", kInternational, false, false, "a1", {0, 9}},
                    PlaceCase{"CanadianA1BottomLeft", kCanadian, false, false, "a1", {0, 11}},
                    PlaceCase{"TurkishB1SecondColumn", kTurkish, false, false, "b1", {1, 7}},
                    PlaceCase{"SpantsirettiTopRow", kSpantsiretti, false, false, "k8", {9, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardGeometry, ReversedRussianBottomLeftIsSquare32) {
  const TBoardGeometry g(VariantTable[kRussian], true);
  EXPECT_EQ(g.SquareAtPicture(40 + 50, 40 + 7 * 105 + 50), 32);
  const TBoardGeometry straight(VariantTable[kRussian], false);
  EXPECT_EQ(straight.SquareAtPicture(40 + 50, 40 + 7 * 105 + 50), 1);
  // Light squares accept no tap.
  EXPECT_EQ(straight.SquareAtPicture(40 + 105 + 50, 40 + 7 * 105 + 50), 0);
}

TEST(BoardGeometry, WideBoardIsCentredAndItsBlankStripsReachTheEdgeRows) {
  const TGameParams& p = VariantTable[kSpantsiretti];
  const TBoardGeometry g(p, false);
  EXPECT_EQ(g.Cell(), 84);
  EXPECT_EQ(g.BoardRect(), (TPixelRect{40, 124, 840, 672}));
  const TPixelRect top = g.SquareRect(FindAlphaSquare(p, "k8"));
  EXPECT_EQ(g.SquareAtPicture(top.x + 40, 60), FindAlphaSquare(p, "k8"));
  const TPixelRect bottom = g.SquareRect(FindAlphaSquare(p, "a1"));
  EXPECT_EQ(g.SquareAtPicture(bottom.x + 40, 870), FindAlphaSquare(p, "a1"));
}

TEST(BoardGeometry, CellSizeFollowsTheLongerSide) {
  EXPECT_EQ(TBoardGeometry(VariantTable[kRussian], false).Cell(), 105);
  EXPECT_EQ(TBoardGeometry(VariantTable[kInternational], false).Cell(), 84);
  EXPECT_EQ(TBoardGeometry(VariantTable[kCanadian], false).Cell(), 70);
  // A larger texture centres the working area.
  const TBoardGeometry big(VariantTable[kRussian], false, 1000);
  EXPECT_EQ(big.SquareRect(1).x, 40 + 40);
}

TEST(BoardGeometry, TurkishSquaresAlternateUnlessOneColour) {
  const TGameParams& p = VariantTable[kTurkish];
  const TBoardGeometry g(p, false);
  int dark = 0;
  for (int s = 1; s <= 64; ++s) {
    dark += g.UsesDarkTexture(s, false, false);
    EXPECT_TRUE(g.UsesDarkTexture(s, true, false));
  }
  EXPECT_EQ(dark, 32);
  EXPECT_NE(g.UsesDarkTexture(1, false, false), g.UsesDarkTexture(2, false, false));
}

TEST(BoardGeometry, PlayOnWhiteUsesTheLightTextureOnADarkBackground) {
  TGameParams p = VariantTable[kSpanish];
  p.intface.PlayOnWhite = true;
  const TBoardGeometry g(p, false);
  EXPECT_FALSE(g.UsesDarkTexture(1, false, false));
  EXPECT_TRUE(g.DarkBackground(false));
  EXPECT_TRUE(g.UsesDarkTexture(1, false, true)) << "the line style keeps dark squares";
  EXPECT_FALSE(TBoardGeometry(VariantTable[kRussian], false).DarkBackground(false));
}

TEST(BoardGeometry, LastMoveMarksStartAndLandingSquaresOnly) {
  TMove quiet;
  quiet.mv[0] = 9;
  quiet.mv[1] = 13;
  EXPECT_EQ(LastMoveSquares(quiet), (std::vector<int>{9, 13}));
  TMove capture;
  capture.lt = 2;
  capture.mv = {9, 14, 18, 23, 27};
  EXPECT_EQ(LastMoveSquares(capture), (std::vector<int>{9, 18, 27}));
}

TEST(BoardGeometry, FirstSideDrawnDarkWhenTheVariantCallsItBlack) {
  TGameParams p = VariantTable[kRussian];
  EXPECT_EQ(PictureOfPiece(kWhiteMan, p), TPiecePicture::WhiteMan);
  EXPECT_EQ(PictureOfPiece(kBlackKing, p), TPiecePicture::BlackKing);
  p.intface.WhiteStart = false;
  EXPECT_EQ(PictureOfPiece(kWhiteMan, p), TPiecePicture::BlackMan);
  EXPECT_EQ(PictureOfPiece(kBlackKing, p), TPiecePicture::WhiteKing);
  EXPECT_EQ(PictureOfPiece(kEmpty, p), TPiecePicture::None);
}

TEST(WindowLayout, LandscapeAndPortrait) {
  const TMainLayout land = ComputeMainLayout(1200, 800, 100, false);
  EXPECT_FALSE(land.portrait);
  EXPECT_EQ(land.board, (TPixelRect{0, 0, 800, 800}));
  EXPECT_EQ(land.buttonSize, 100);
  EXPECT_EQ(land.buttons[kButtonPrevious].y, land.buttonSlots[0].y);
  EXPECT_EQ(land.buttons[kButtonMainMenu].y, land.buttonSlots[2].y);
  EXPECT_EQ(land.buttons[kButtonNext].x, 1200 - 100 - 5);
  EXPECT_EQ(land.panelArea, (TPixelRect{805, 5, 1200 - 800 - 15 - 100, 790}));
  EXPECT_FALSE(land.gridVisible);
  EXPECT_EQ(land.gamePanel, land.panelArea);

  const TMainLayout withGrid = ComputeMainLayout(1200, 800, 100, true);
  EXPECT_TRUE(withGrid.gridVisible);
  EXPECT_EQ(withGrid.grid.h, kGridHeight);
  EXPECT_EQ(withGrid.gamePanel.h, 790 - kGridHeight - 5);

  const TMainLayout port = ComputeMainLayout(600, 1000, 90, true);
  EXPECT_TRUE(port.portrait);
  EXPECT_EQ(port.board, (TPixelRect{30, 0, 540, 540}));
  EXPECT_EQ(port.buttons[kButtonMainMenu].y, 1000 - 75 - 5);
  EXPECT_LT(port.buttons[kButtonMainMenu].x, port.buttons[kButtonNext].x);
  EXPECT_EQ(port.panelArea.y, 545);
  EXPECT_EQ(port.panelArea.h, 1000 - 540 - 15 - 75);

  // A low panel area: the grid covers the move list.
  const TMainLayout low = ComputeMainLayout(900, 400, 100, true);
  EXPECT_EQ(low.grid, low.panelArea);
  EXPECT_EQ(low.panelFontSize, 20);
  EXPECT_EQ(ComputeMainLayout(500, 300, 100, false).panelFontSize, 14);
}

}  // namespace
}  // namespace quorlin
