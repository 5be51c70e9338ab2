#include "rules/notation.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

namespace quorlin {
namespace {

TGameParams Custom(int width, int height, bool checkered, int notation = 0) {
  TGameParams p;
  p.Name = "Custom";
  p.TypeOfGame = kCustom;
  p.BoardWidth = static_cast<uint8_t>(width);
  p.BoardHeight = static_cast<uint8_t>(height);
  p.BoardCheckered = checkered;
  p.intface.Notation = static_cast<uint8_t>(notation);
  ComputeBoardGeometry(p);
  return p;
}

TMove Quiet(int from, int to, uint8_t flags = 0) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.mv[1] = static_cast<uint8_t>(to);
  m.flags = flags;
  return m;
}

// Start square, then (captured, landing) pairs.
TMove Capture(std::initializer_list<int> squares, uint8_t flags = 0) {
  TMove m;
  int i = 0;
  for (int s : squares) m.mv[i++] = static_cast<uint8_t>(s);
  m.lt = static_cast<uint8_t>((i - 1) / 2);
  m.flags = flags;
  return m;
}

// Sets the Philippine-names setting for one test and restores it afterwards.
class PhilippineNames {
 public:
  explicit PhilippineNames(bool on) : old_(ForcePhilippinesNotation.exchange(on)) {}
  ~PhilippineNames() { ForcePhilippinesNotation.store(old_); }

 private:
  bool old_;
};

// --- Squares ---------------------------------------------------------------

struct SquareRow {
  int slot;
  int square;
  const char* text[4];  // styles 0..3
};

class SquareTextTest : public testing::TestWithParam<SquareRow> {};

TEST_P(SquareTextTest, EveryStyle) {
  const SquareRow& row = GetParam();
  const TGameParams& p = VariantTable[row.slot];
  for (int style = 0; style < 4; ++style)
    EXPECT_EQ(SquareText(row.square, p, style), row.text[style])
        << p.Name << " square " << row.square << " style " << style;
}

INSTANTIATE_TEST_SUITE_P(
    AllVariants, SquareTextTest,
    testing::Values(
        SquareRow{kRussian, 1, {"a1", "a1", "a1", "a1"}}, SquareRow{kRussian, 5, {"b2", "b2", "b2", "b2"}},
        SquareRow{kRussian, 32, {"h8", "h8", "h8", "h8"}}, SquareRow{kEnglish, 1, {"04", "04", "4", "4"}},
        SquareRow{kEnglish, 4, {"01", "01", "1", "1"}}, SquareRow{kEnglish, 32, {"29", "29", "29", "29"}},
        SquareRow{kBrazilian, 10, {"c3", "c3", "c3", "c3"}}, SquareRow{kPool, 1, {"04", "04", "4", "4"}},
        SquareRow{kPool, 29, {"32", "32", "32", "32"}}, SquareRow{kItalian, 1, {"32", "32", "32", "32"}},
        SquareRow{kItalian, 4, {"29", "29", "29", "29"}}, SquareRow{kItalian, 32, {"01", "01", "1", "1"}},
        SquareRow{kInternational, 1, {"46", "46", "46", "46"}},
        SquareRow{kInternational, 50, {"05", "05", "5", "5"}},
        SquareRow{kInternational, 6, {"41", "41", "41", "41"}},
        SquareRow{kCzech, 32, {"h8", "h8", "h8", "h8"}}, SquareRow{kSpanish, 1, {"01", "01", "1", "1"}},
        SquareRow{kSpanish, 32, {"32", "32", "32", "32"}}, SquareRow{kFrisian, 46, {"01", "01", "1", "1"}},
        SquareRow{kSpantsiretti, 40, {"k8", "k8", "k8", "k8"}},
        SquareRow{kSpantsiretti, 5, {"i1", "i1", "i1", "i1"}},
        SquareRow{kSpantsiretti, 6, {"b2", "b2", "b2", "b2"}},
        SquareRow{kCanadian, 1, {"67", "67", "67", "67"}}, SquareRow{kCanadian, 72, {"06", "06", "6", "6"}},
        SquareRow{kThai, 1, {"29", "29", "29", "29"}}, SquareRow{kThai, 32, {"04", "04", "4", "4"}},
        SquareRow{kTurkish, 1, {"a1", "a1", "a1", "a1"}}, SquareRow{kTurkish, 10, {"b2", "b2", "b2", "b2"}},
        SquareRow{kTurkish, 64, {"h8", "h8", "h8", "h8"}},
        SquareRow{kInternationalKiller, 50, {"05", "05", "5", "5"}}));

TEST(SquareText, ForceAlphaIgnoresTheNumericKind) {
  const TGameParams& intl = VariantTable[kInternational];
  EXPECT_EQ(SquareText(1, intl, kStyleFull, true), "a1");
  EXPECT_EQ(SquareText(6, intl, kStyleShort, true), "b2");
  EXPECT_EQ(SquareText(50, intl, kStyleExtended, true), "k10");
  EXPECT_EQ(SquareText(72, VariantTable[kCanadian], kStyleFull, true), "n12");
  EXPECT_EQ(SquareText(1, VariantTable[kEnglish], kStyleFull, true), "a1");
}

TEST(SquareText, SixteenFilesSkipJAndL) {
  const TGameParams checkered = Custom(16, 16, true);
  ASSERT_EQ(checkered.compute.BoardSize, 128);
  struct Row {
    int square;
    const char* text;
  };
  for (const Row& r :
       {Row{5, "i1"}, Row{6, "m1"}, Row{8, "r1"}, Row{13, "k2"}, Row{16, "s2"}, Row{128, "s16"}})
    EXPECT_EQ(SquareText(r.square, checkered, kStyleFull), r.text) << r.square;
  const TGameParams flat = Custom(16, 8, false);
  ASSERT_EQ(flat.compute.BoardSize, 128);
  for (const Row& r : {Row{9, "i1"}, Row{10, "k1"}, Row{11, "m1"}, Row{12, "n1"}, Row{16, "s1"},
                       Row{17, "a2"}, Row{128, "s8"}})
    EXPECT_EQ(SquareText(r.square, flat, kStyleFull), r.text) << r.square;
}

TEST(SquareText, NumericKindsOnCustomBoards) {
  const TGameParams six = Custom(6, 6, true, 1);  // 3 squares a row, 18 squares
  EXPECT_EQ(SquareText(1, six, kStyleFull), "16");
  EXPECT_EQ(SquareText(18, six, kStyleFull), "03");
  EXPECT_EQ(SquareText(18, six, kStyleShort), "3");
  // Kinds above 4 behave as 4: the internal number.
  const TGameParams odd = Custom(6, 6, true, 9);
  EXPECT_EQ(SquareText(7, odd, kStyleShort), "7");
}

TEST(SquareText, SquaresOffTheBoardGiveErr) {
  const TGameParams& russian = VariantTable[kRussian];
  EXPECT_EQ(SquareText(0, russian, kStyleFull), "ERR");
  EXPECT_EQ(SquareText(33, russian, kStyleFull), "ERR");
  EXPECT_EQ(SquareText(51, VariantTable[kInternational], kStyleShort), "ERR");
  // A record without geometry (the unused slot 0) must not divide by zero.
  EXPECT_EQ(SquareText(1, VariantTable[0], kStyleFull), "ERR");
}

// Every square of every board has its own name, numbers are exactly
// 1..BoardSize, and FindAlphaSquare inverts the alphanumeric names.
TEST(SquareText, NamesAreDistinctAndAlphaNamesReadBack) {
  std::vector<TGameParams> boards(VariantTable.begin() + 1, VariantTable.end());
  boards.push_back(Custom(16, 16, true));
  boards.push_back(Custom(16, 8, false));
  boards.push_back(Custom(6, 6, true, 1));
  boards.push_back(Custom(10, 10, true, 3));
  boards.push_back(Custom(8, 5, true, 2));
  for (const TGameParams& p : boards) {
    std::set<std::string> names, alpha;
    for (int s = 1; s <= p.compute.BoardSize; ++s) {
      const std::string name = SquareText(s, p, kStyleShort);
      names.insert(name);
      if (p.intface.Notation != 0) {
        const int n = std::stoi(name);
        EXPECT_TRUE(n >= 1 && n <= p.compute.BoardSize) << p.Name << " " << s << " " << name;
      }
      const std::string a = SquareText(s, p, kStyleExtended, true);
      alpha.insert(a);
      EXPECT_EQ(FindAlphaSquare(p, a), s) << p.Name << " " << a;
    }
    EXPECT_EQ(names.size(), p.compute.BoardSize) << p.Name;
    EXPECT_EQ(alpha.size(), p.compute.BoardSize) << p.Name;
  }
  const TGameParams& russian = VariantTable[kRussian];
  for (const char* bad : {"", "a2", "i1", "a01", "A1", "a", "j2", "a9"})
    EXPECT_EQ(FindAlphaSquare(russian, bad), 0) << bad;
}

class PhilippineTest : public testing::Test {
 protected:
  PhilippineNames on_{true};
  const TGameParams& brazil_ = VariantTable[kBrazilian];
};

TEST_F(PhilippineTest, SquareNames) {
  EXPECT_EQ(SquareText(10, brazil_, kStyleFull), "1p");
  EXPECT_EQ(SquareText(10, brazil_, kStyleExtraShort), "1");
  EXPECT_EQ(SquareText(23, brazil_, kStyleExtended), "1i");
  EXPECT_EQ(SquareText(1, brazil_, kStyleFull), "9p");
  EXPECT_EQ(SquareText(32, brazil_, kStyleShort), "9");
  EXPECT_EQ(SquareText(16, brazil_, kStyleFull), "13p");
  EXPECT_EQ(SquareText(17, brazil_, kStyleFull), "13i");
  // Both halves are numbered 1..16 once each.
  std::multiset<std::string> names;
  for (int s = 1; s <= 32; ++s) names.insert(SquareText(s, brazil_, kStyleShort));
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(names.count(std::to_string(n)), 2u) << n;
  // forceAlpha and the other variants are unaffected.
  EXPECT_EQ(SquareText(10, brazil_, kStyleFull, true), "c3");
  EXPECT_EQ(SquareText(10, VariantTable[kRussian], kStyleFull), "c3");
}

TEST_F(PhilippineTest, MoveTexts) {
  const TMove m = Quiet(10, 14);  // c3-d4 = 1-15
  EXPECT_EQ(MoveText(m, brazil_, kStyleExtended, "x"), "1p-15p");
  EXPECT_EQ(MoveText(m, brazil_, kStyleFull, "-"), "1p-15p");
  EXPECT_EQ(MoveText(m, brazil_, kStyleShort, "x"), "1-15");
  EXPECT_EQ(MoveText(m, brazil_, kStyleExtraShort, "-"), "1-15");
  EXPECT_EQ(MoveText(Quiet(10, 14, kFlagOnlyToSquare), brazil_, kStyleExtraShort, "-"), "15p");
  EXPECT_EQ(MoveText(m, brazil_, kStyleShort, "x", true), "cd4");
  const TMove c = Capture({10, 14, 19, 23, 28});
  EXPECT_EQ(MoveText(c, brazil_, kStyleExtended, ":"), "1p:15i:5i");
  EXPECT_EQ(MoveText(c, brazil_, kStyleShort, "x"), "1x5");
}

TEST(PhilippineFlag, OffByDefaultAndRestored) {
  EXPECT_FALSE(ForcePhilippinesNotation.load());
  {
    PhilippineNames on(true);
    EXPECT_EQ(SquareText(10, VariantTable[kBrazilian], kStyleFull), "1p");
  }
  EXPECT_FALSE(ForcePhilippinesNotation.load());
  EXPECT_EQ(SquareText(10, VariantTable[kBrazilian], kStyleFull), "c3");
}

// --- Moves -----------------------------------------------------------------

struct MoveRow {
  int slot;
  TMove move;
  int style;
  const char* separator;
  const char* text;
  bool forceAlpha = false;
};

class MoveTextTest : public testing::TestWithParam<MoveRow> {};

TEST_P(MoveTextTest, Text) {
  const MoveRow& row = GetParam();
  const TGameParams& p = VariantTable[row.slot];
  std::string text = "stale";
  MoveToText(row.move, p, row.style, text, row.forceAlpha, row.separator);
  EXPECT_EQ(text, row.text) << p.Name << " style " << row.style << " flags " << int(row.move.flags);
}

// Russian c3-d4 is 10-14; c3:e5:g7 over d4 and f6 is 10,14,19,23,28.
// International 32-28 is 17-23, 1-7 is 46-42, 6x17 over 11 is 41,36,32 and on
// over 22 to 28 is ...,27,23. English 4-8 is 1-5.
INSTANTIATE_TEST_SUITE_P(
    Rows, MoveTextTest,
    testing::Values(
        // Alphanumeric quiet moves.
        MoveRow{kRussian, Quiet(10, 14), 0, "-", "c3-d4"}, MoveRow{kRussian, Quiet(10, 14), 1, "-", "c3-d4"},
        MoveRow{kRussian, Quiet(10, 14), 0, "x", "c3-d4"}, MoveRow{kRussian, Quiet(10, 14), 0, ":", "c3-d4"},
        MoveRow{kRussian, Quiet(10, 14), 0, "", "c3d4"}, MoveRow{kRussian, Quiet(10, 14), 2, "-", "cd4"},
        MoveRow{kRussian, Quiet(10, 14), 2, "x", "cd4"}, MoveRow{kRussian, Quiet(10, 14), 3, "-", "cd4"},
        MoveRow{kRussian, Quiet(10, 14, kFlagOnlyToSquare), 3, "-", "d4"},
        MoveRow{kRussian, Quiet(10, 14, kFlagOnlyToSquare), 2, "-", "cd4"},
        MoveRow{kRussian, Quiet(10, 14, kFlagOnlyMove), 3, "-", ""},
        MoveRow{kRussian, Quiet(10, 14, kFlagNoExtraShort | kFlagOnlyToSquare), 3, "-", ""},
        MoveRow{kRussian, Quiet(10, 14, kFlagOnlyMove), 2, "-", "cd4"},
        MoveRow{kRussian, Quiet(10, 14, kFlagAmbiguousShort), 2, "-", "c3-d4"},
        MoveRow{kRussian, Quiet(10, 14, kFlagAmbiguousShort | kFlagOnlyToSquare), 3, "-", "c3-d4"},
        // Alphanumeric captures.
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}), 0, ":", "c3:e5:g7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}), 0, "x", "c3xe5xg7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}), 1, ":", "c3:g7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}), 2, "x", "cxg7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}), 2, "", "cg7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}), 3, ":", "c:g7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}, kFlagOnlyToSquare), 3, ":", "g7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}, kFlagAmbiguousShort), 2, ":", "c3:g7"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}, kFlagNoExtraShort), 3, ":", ""},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 28}, kFlagNoExtraShort), 0, ":", "c3:e5:g7"},
        MoveRow{kTurkish, Quiet(10, 18), 2, "-", "bb3"},
        MoveRow{kSpantsiretti, Quiet(35, 40), 1, "-", "i7-k8"},
        // Numeric quiet moves.
        MoveRow{kInternational, Quiet(17, 23), 0, "-", "32-28"},
        MoveRow{kInternational, Quiet(17, 23), 1, "x", "32-28"},
        MoveRow{kInternational, Quiet(17, 23), 2, "x", "32-28"},
        MoveRow{kInternational, Quiet(17, 23), 3, "-", "32-28"},
        MoveRow{kInternational, Quiet(17, 23), 2, "", "3228"},
        MoveRow{kInternational, Quiet(17, 23, kFlagOnlyToSquare), 3, "-", "28"},
        MoveRow{kInternational, Quiet(46, 42), 0, "-", "01-07"},
        MoveRow{kInternational, Quiet(46, 42), 1, "-", "01-07"},
        MoveRow{kInternational, Quiet(46, 42), 2, "-", "1-7"},
        MoveRow{kInternational, Quiet(46, 42, kFlagOnlyToSquare), 3, "-", "7"},
        MoveRow{kInternational, Quiet(46, 42, kFlagAmbiguousShort), 2, "-", "01-07"},
        MoveRow{kInternational, Quiet(46, 42, kFlagOnlyMove), 3, "-", ""},
        MoveRow{kInternational, Quiet(46, 42), 2, "-", "b10-c9", true},
        MoveRow{kInternational, Quiet(46, 42, kFlagOnlyToSquare), 3, "-", "c9", true},
        MoveRow{kEnglish, Quiet(1, 5), 0, "-", "04-08"}, MoveRow{kEnglish, Quiet(1, 5), 2, "-", "4-8"},
        MoveRow{kItalian, Quiet(1, 5), 2, "-", "32-28"}, MoveRow{kSpanish, Quiet(1, 5), 1, "-", "01-05"},
        MoveRow{kCanadian, Quiet(1, 7), 2, "-", "67-61"}, MoveRow{kThai, Quiet(1, 5), 2, "-", "29-25"},
        // Numeric captures.
        MoveRow{kInternational, Capture({41, 36, 32}), 0, "x", "06x17"},
        MoveRow{kInternational, Capture({41, 36, 32}), 1, "x", "06x17"},
        MoveRow{kInternational, Capture({41, 36, 32}), 2, "x", "6x17"},
        MoveRow{kInternational, Capture({41, 36, 32, 27, 23}), 0, "x", "06x17x28"},
        MoveRow{kInternational, Capture({41, 36, 32, 27, 23}), 1, ":", "06:28"},
        MoveRow{kInternational, Capture({41, 36, 32, 27, 23}), 3, "x", "6x28"},
        MoveRow{kInternational, Capture({41, 36, 32, 27, 23}, kFlagOnlyToSquare), 3, "x", "28"},
        MoveRow{kEnglish, Capture({1, 5, 10}), 2, "x", "4x11"},
        MoveRow{kEnglish, Capture({1, 5, 10}), 0, "x", "04x11"},
        // Records that do not fit the board.
        MoveRow{kRussian, Quiet(0, 14), 1, "-", "ERR"}, MoveRow{kRussian, Quiet(10, 0), 1, "-", "ERR"},
        MoveRow{kRussian, Quiet(10, 33), 2, "-", "ERR"},
        MoveRow{kRussian, Capture({10, 14, 19, 23, 33}), 0, ":", "ERR"},
        MoveRow{kRussian, Capture({10, 0, 19}), 1, ":", "ERR"},
        MoveRow{kInternational, Capture({46, 41, 51}), 3, "x", "ERR"},
        MoveRow{kInternational, Quiet(17, 23, kFlagOnlyMove), 3, "-", ""}));

TEST(MoveText, MoreThanTwentyFiveCapturesIsErr) {
  TMove m = Quiet(1, 2);
  m.lt = 26;
  for (int i = 1; i < 52; ++i) m.mv[i] = 1;
  const TGameParams& p = VariantTable[kInternational];
  std::string text;
  MoveToText(m, p, kStyleFull, text, false, "x");
  EXPECT_EQ(text, "ERR");
  MovePathText(m, p, kStyleFull, text, false, "x");
  EXPECT_EQ(text, "ERR");
  MoveCaptureListText(m, p, text, false);
  EXPECT_EQ(text, "ERR");
  m.lt = 25;  // the most a record holds
  MoveToText(m, p, kStyleShort, text, false, "x");
  EXPECT_EQ(text, "46x46");
}

TEST(MovePathText, LandingSquaresInTheGivenStyle) {
  const TGameParams& intl = VariantTable[kInternational];
  const TMove c = Capture({41, 36, 32, 27, 23});
  std::string text;
  MovePathText(c, intl, kStyleFull, text, false, "x");
  EXPECT_EQ(text, "06x17x28");
  MovePathText(c, intl, kStyleShort, text, false, ":");
  EXPECT_EQ(text, "6:17:28");
  MovePathText(c, intl, kStyleShort, text, true, "x");
  EXPECT_EQ(text, "a9xc7xe5");
  MovePathText(Capture({10, 14, 19, 23, 28}), VariantTable[kRussian], kStyleShort, text, false, "");
  EXPECT_EQ(text, "c3e5g7");
  // A quiet move goes through MoveToText.
  MovePathText(Quiet(10, 14), VariantTable[kRussian], kStyleShort, text, false, "x");
  EXPECT_EQ(text, "cd4");
  MovePathText(Quiet(10, 99), VariantTable[kRussian], kStyleShort, text, false, "x");
  EXPECT_EQ(text, "ERR");
}

TEST(MoveCaptureListText, StartDestinationThenCapturedSquares) {
  const TGameParams& intl = VariantTable[kInternational];
  std::string text;
  MoveCaptureListText(Capture({41, 36, 32}), intl, text, false);
  EXPECT_EQ(text, "06x17x11");
  MoveCaptureListText(Capture({41, 36, 32, 27, 23}), intl, text, false);
  EXPECT_EQ(text, "06x28x11x22");
  MoveCaptureListText(Capture({10, 14, 19, 23, 28}), VariantTable[kRussian], text, false);
  EXPECT_EQ(text, "c3xg7xd4xf6");
  MoveCaptureListText(Quiet(46, 42), intl, text, false);
  EXPECT_EQ(text, "01-07");
  MoveCaptureListText(Quiet(10, 14), VariantTable[kRussian], text, false);
  EXPECT_EQ(text, "c3-d4");
  MoveCaptureListText(Capture({41, 36, 52}), intl, text, false);
  EXPECT_EQ(text, "ERR");
}

TEST(MoveNumberText, Cases) {
  struct Row {
    int ply, offset;
    bool sideFlag, showDots;
    const char* text;
  };
  const Row rows[] = {
      {0, 1, false, true, "1."},   {0, 1, false, false, "1."},  {1, 1, false, true, "1..."},
      {1, 1, false, false, ""},    {0, 0, true, false, "1."},   {2, 1, false, false, "2."},
      {5, 0, true, true, "3..."},  {40, 1, false, true, "21."}, {3, 0, false, true, "2."},
      {0, 2, false, true, "1..."},
  };
  for (const Row& r : rows) {
    std::string text = "stale";
    MoveNumberText(r.ply, r.offset, r.sideFlag, text, r.showDots);
    EXPECT_EQ(text, r.text) << r.ply << " " << r.offset << " " << r.sideFlag << " " << r.showDots;
  }
}

// --- Tag lines -------------------------------------------------------------

TEST(SplitTagLine, Cases) {
  struct Row {
    const char* line;
    const char* name;
    const char* value;
  };
  const Row rows[] = {
      {"[FEN \"W:W31,32,K46:B1,2\"]", "FEN", "W:W31,32,K46:B1,2"},
      {"  [Posizione \"B:Wa1:Bh8\"]\r\n", "Posizione", "B:Wa1:Bh8"},
      {"[Name   \"  Spaced out  \" ]", "Name", "Spaced out"},
      {"[Event \"a \"quoted\" word\"]", "Event", "a \"quoted\" word"},
      {"[Stage \"1\"]", "Stage", "1"},
      {"[Empty \"\"]", "Empty", ""},
      {"[FEN W:W31:B1]", "FEN", "W:W31:B1"},
      {"[MaxDepth 30]", "MaxDepth", "30"},
      {"[a ]", "a", ""},
      {"[FEN]", "", ""},
      {"", "", ""},
      {"[FEN \"W:W31", "FEN", ""},
      {"\"quoted\"", "", "quoted"},
  };
  for (const Row& r : rows) {
    std::string name = "stale", value = "stale";
    SplitTagLine(r.line, name, value);
    EXPECT_EQ(name, r.name) << r.line;
    EXPECT_EQ(value, r.value) << r.line;
  }
}

}  // namespace
}  // namespace quorlin
