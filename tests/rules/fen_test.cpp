#include "rules/fen.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "rules/notation.h"

namespace quorlin {
namespace {

TGameParams Custom(int width, int height, bool checkered, int notation = 0, bool whiteStart = true) {
  TGameParams p;
  p.Name = "Custom " + std::to_string(width) + "x" + std::to_string(height) + (checkered ? "" : " flat");
  p.TypeOfGame = kCustom;
  p.BoardWidth = static_cast<uint8_t>(width);
  p.BoardHeight = static_cast<uint8_t>(height);
  p.BoardCheckered = checkered;
  p.intface.Notation = static_cast<uint8_t>(notation);
  p.intface.WhiteStart = whiteStart;
  ComputeBoardGeometry(p);
  return p;
}

using Pieces = std::map<int, int>;  // square -> piece code

TBrd Cells(const Pieces& pieces) {
  TBrd cells{};
  for (const auto& [s, code] : pieces) cells[s] = static_cast<int8_t>(code);
  return cells;
}

Pieces Occupied(const TBrd& cells) {
  Pieces out;
  for (int s = 0; s <= kMaxSquares; ++s)
    if (cells[s] != 0) out[s] = cells[s];
  return out;
}

// Parses into a board full of leftovers, so that clearing is checked too.
Pieces Parse(const TGameParams& p, const std::string& fen, int& side) {
  TBrd cells;
  cells.fill(7);
  side = 7;
  ParseFEN(p, fen, cells, side);
  return Occupied(cells);
}

struct ReadRow {
  int slot;
  const char* fen;
  int side;
  Pieces pieces;
};

class ParseFENTest : public testing::TestWithParam<ReadRow> {};

TEST_P(ParseFENTest, Reads) {
  const ReadRow& row = GetParam();
  int side;
  EXPECT_EQ(Parse(VariantTable[row.slot], row.fen, side), row.pieces) << row.fen;
  EXPECT_EQ(side, row.side) << row.fen;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseFENTest,
    testing::Values(
        // The documented examples.
        ReadRow{kInternational, "W:W31,32,K46:B1,2", 0, {{16, 1}, {17, 1}, {1, 2}, {46, -1}, {47, -1}}},
        ReadRow{kEnglish, "W:W31,32:B1,2", 1, {{30, -1}, {29, -1}, {4, 1}, {3, 1}}},
        ReadRow{kRussian, "B:Wa1,Kc3:Bh8.", 1, {{1, 1}, {10, 2}, {32, -1}}},
        // Numeric numbering of each variant family.
        ReadRow{kCanadian, "W:W67:BK6", 0, {{1, 1}, {72, -2}}},
        ReadRow{kFrisian, "W:W50:B1", 0, {{5, 1}, {46, -1}}},
        ReadRow{kInternationalKiller, "B:W46:B5", 1, {{1, 1}, {50, -1}}},
        ReadRow{kPool, "B:B1,2:W32", 0, {{4, 1}, {3, 1}, {29, -1}}},
        ReadRow{kItalian, "B:W32:B1", 1, {{1, 1}, {32, -1}}},
        ReadRow{kThai, "W:W29:B4", 0, {{1, 1}, {32, -1}}},
        // Spanish, Brazilian and others read numbers by the 8x8 rule.
        ReadRow{kSpanish, "W:W29:B4", 0, {{1, 1}, {32, -1}}}, ReadRow{kBrazilian, "W:W32", 0, {{4, 1}}},
        // Alphanumeric squares in every geometry.
        ReadRow{kSpanish, "B:Wa1:Bh8", 1, {{1, 1}, {32, -1}}},
        ReadRow{kTurkish, "W:Wa2,h7:BKb7", 0, {{9, 1}, {56, 1}, {50, -2}}},
        ReadRow{kSpantsiretti, "W:Wk8:Ba1", 0, {{40, 1}, {1, -1}}},
        ReadRow{kInternational, "W:Wa1,k10", 0, {{1, 1}, {50, 1}}},
        ReadRow{kCanadian, "W:Wn12", 0, {{72, 1}}},
        // Unreadable items are skipped, the rest is read.
        ReadRow{
            kInternational, "W:W31,x9,,K,32,zz,-5,+3,3 1, 33 : B1", 0, {{16, 1}, {17, 1}, {18, 1}, {46, -1}}},
        ReadRow{kInternational, "W:X1,2:W31:w32:B1:", 0, {{16, 1}, {46, -1}}},
        ReadRow{kInternational,
                "W:W0,51,55,99,128,129,300,256,99999999999999999999,31:B1",
                0,
                {{16, 1}, {46, -1}}},
        ReadRow{kEnglish, "B:W33,0:B1,32", 0, {{4, 1}, {29, 1}}},
        ReadRow{kRussian, "W:Wi1,a9,a2,b1,A1,a01", 0, {}}, ReadRow{kSpantsiretti, "W:Wm1,a9", 0, {}},
        // Later items overwrite earlier ones; one trailing "." per list.
        ReadRow{kInternational, "W:W31,K31:B31", 0, {{16, -1}}},
        ReadRow{kInternational, "W:W31..:B1.", 0, {{46, -1}}},
        // Side to move and odd texts.
        ReadRow{kRussian, "", 0, {}}, ReadRow{kRussian, "B", 0, {}}, ReadRow{kRussian, "B:", 1, {}},
        ReadRow{kRussian, "X:Wa1", 0, {{1, 1}}}, ReadRow{kRussian, "w:Wa1", 0, {{1, 1}}},
        ReadRow{kRussian, "  B:Wa1  ", 1, {{1, 1}}}, ReadRow{kEnglish, "", 0, {}},
        ReadRow{kEnglish, "W:", 1, {}}, ReadRow{kEnglish, "B:", 0, {}}));

// The numeric rules invert the numbering of each numeric notation kind.
TEST(FENNumberToSquare, InvertsTheVariantNumbering) {
  for (int slot :
       {kEnglish, kPool, kItalian, kInternational, kFrisian, kCanadian, kThai, kInternationalKiller}) {
    const TGameParams& p = VariantTable[slot];
    for (int s = 1; s <= p.compute.BoardSize; ++s)
      EXPECT_EQ(FENNumberToSquare(p, NotationNumber(p, s, p.intface.Notation)), s) << p.Name << " " << s;
    EXPECT_EQ(FENNumberToSquare(p, 0), 0) << p.Name;
    EXPECT_EQ(FENNumberToSquare(p, p.compute.BoardSize + 1), 0) << p.Name;
  }
  EXPECT_EQ(FENNumberToSquare(VariantTable[kCanadian], 67), 1);
  // Byte wrap-around must not turn a large number into a square.
  EXPECT_EQ(FENNumberToSquare(VariantTable[kInternational], 307), 0);
  EXPECT_EQ(FENNumberToSquare(VariantTable[kRussian], 289), 0);
}

TEST(ParseFEN, CustomVariantStartPosition) {
  TGameParams six = Custom(6, 6, true);
  six.FEN = "W:Wa1,Kc3:Bf6";
  EXPECT_EQ(Occupied(StartPosition(six, false)), (Pieces{{1, 1}, {8, 2}, {18, -1}}));
  // Numeric squares of a custom variant follow the 8x8 rule.
  TGameParams eight = Custom(8, 8, true, 1);
  eight.FEN = "B:W32:BK1";
  EXPECT_EQ(Occupied(StartPosition(eight, false)), (Pieces{{4, 1}, {29, -2}}));
  // A FEN with nothing readable gives an empty board, not the generated one.
  six.FEN = "W:Wz9";
  EXPECT_EQ(Occupied(StartPosition(six, false)), Pieces{});
}

// --- Writing ---------------------------------------------------------------

TEST(WriteFEN, Texts) {
  struct Row {
    int slot;
    Pieces pieces;
    int side;
    const char* fen;
  };
  const Row rows[] = {
      {kInternational, {{16, 1}, {17, 1}, {1, 2}, {46, -1}, {47, -1}}, 0, "W:W31,32,K46:B1,2"},
      {kEnglish, {{30, -1}, {29, -1}, {4, 1}, {3, 1}}, 1, "W:W31,32:B1,2"},
      {kEnglish, {{4, 1}}, 0, "B:W:B1"},
      {kRussian, {{1, 1}, {10, 2}, {32, -1}}, 1, "B:Wa1,Kc3:Bh8"},
      {kRussian, {}, 0, "W:W:B"},
      {kCanadian, {{1, 1}, {72, -2}}, 0, "W:W67:BK6"},
      {kItalian, {{1, 1}, {2, 1}, {32, -2}}, 1, "B:W31,32:BK1"},
      {kThai, {{1, 1}, {32, -1}}, 0, "W:W29:B4"},
      {kSpanish, {{1, 1}, {32, -1}}, 0, "W:Wa1:Bh8"},
      {kTurkish, {{9, 1}, {56, 2}, {50, -1}}, 1, "B:Wa2,Kh7:Bb7"},
      {kSpantsiretti, {{40, 2}, {1, -1}}, 0, "W:WKk8:Ba1"},
  };
  for (const Row& r : rows) EXPECT_EQ(WriteFEN(VariantTable[r.slot], Cells(r.pieces), r.side), r.fen);
  // Custom variants always get alphanumeric squares.
  EXPECT_EQ(WriteFEN(Custom(8, 8, true, 1), Cells({{1, 1}, {32, -1}}), 0), "W:Wa1:Bh8");
  // Cells that hold no piece code are not written.
  EXPECT_EQ(WriteFEN(VariantTable[kRussian], Cells({{1, 5}, {2, -3}, {3, 1}}), 0), "W:We1:B");
}

void ExpectRoundTrip(const TGameParams& p, const TBrd& cells, int side) {
  const std::string fen = WriteFEN(p, cells, side);
  TBrd back;
  back.fill(9);
  int backSide = 9;
  ParseFEN(p, fen, back, backSide);
  EXPECT_EQ(back, cells) << p.Name << ": " << fen;
  EXPECT_EQ(backSide, side) << p.Name << ": " << fen;
}

// Random positions of every density, men and kings of both colours.
std::vector<TBrd> SamplePositions(const TGameParams& p, std::mt19937& rng) {
  std::vector<TBrd> out;
  out.push_back(TBrd{});
  out.push_back(StartPosition(p, false));
  const int n = p.compute.BoardSize;
  for (int i = 0; i < 30; ++i) {
    TBrd cells{};
    const int fill = static_cast<int>(rng() % 101);
    for (int s = 1; s <= n; ++s) {
      if (static_cast<int>(rng() % 100) >= fill) continue;
      static constexpr int8_t kCodes[4] = {1, 2, -1, -2};
      cells[s] = kCodes[rng() % 4];
    }
    out.push_back(cells);
  }
  TBrd all{};  // every square a king, alternating colours
  for (int s = 1; s <= n; ++s) all[s] = s % 2 ? 2 : -2;
  out.push_back(all);
  return out;
}

std::vector<TGameParams> RoundTripBoards() {
  std::vector<TGameParams> boards(VariantTable.begin() + 1, VariantTable.end());
  // Pool under its other presentation settings.
  TGameParams pool = VariantTable[kPool];
  pool.intface.BoardMirrored = true;
  boards.push_back(pool);
  pool.intface.WhiteStart = true;
  pool.intface.Notation = 0;
  pool.Name = "Pool as White";
  boards.push_back(pool);
  boards.push_back(Custom(4, 4, true));
  boards.push_back(Custom(6, 6, true));
  boards.push_back(Custom(8, 5, true));
  boards.push_back(Custom(8, 8, true, 1));
  boards.push_back(Custom(10, 10, true, 2, false));
  boards.push_back(Custom(12, 16, true, 3));
  boards.push_back(Custom(16, 16, true));
  boards.push_back(Custom(16, 8, false));
  boards.push_back(Custom(7, 9, false, 4));
  return boards;
}

TEST(WriteFEN, RoundTripsInEveryVariant) {
  std::mt19937 rng(20240611);
  for (const TGameParams& p : RoundTripBoards())
    for (const TBrd& cells : SamplePositions(p, rng))
      for (int side = 0; side <= 1; ++side) ExpectRoundTrip(p, cells, side);
}

TEST(WriteFEN, PhilippineNamesDoNotLeakIntoFEN) {
  const bool old = ForcePhilippinesNotation.exchange(true);
  const TGameParams& brazil = VariantTable[kBrazilian];
  const TBrd cells = Cells({{10, 1}, {23, -2}});
  EXPECT_EQ(WriteFEN(brazil, cells, 0), "W:Wc3:BKf6");
  ExpectRoundTrip(brazil, StartPosition(brazil, false), 1);
  ForcePhilippinesNotation.store(old);
}

TEST(WriteFEN, CustomStartPositionFromWrittenFEN) {
  std::mt19937 rng(7);
  for (TGameParams p : {Custom(6, 6, true), Custom(16, 8, false), Custom(10, 10, true, 1, false)}) {
    for (const TBrd& cells : SamplePositions(p, rng)) {
      p.FEN = WriteFEN(p, cells, 0);
      EXPECT_EQ(StartPosition(p, false), cells) << p.Name << ": " << p.FEN;
    }
  }
}

}  // namespace
}  // namespace quorlin
