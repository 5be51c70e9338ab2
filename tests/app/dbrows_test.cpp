// The texts of the database window's rows, its header line and its geometry.
#include "app/dbrows.h"

#include <gtest/gtest.h>

#include "app/dblistlayout.h"
#include "db_fixture.h"

namespace quorlin {
namespace {

struct TitleCase {
  int title, rating;
  const char* text;
};

class TitleRating : public testing::TestWithParam<TitleCase> {};

TEST_P(TitleRating, Text) { EXPECT_EQ(TitleRatingText(GetParam().title, GetParam().rating), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Cases, TitleRating,
                         testing::Values(TitleCase{0, 0, ""}, TitleCase{1, 2400, " IG, 2400"},
                                         TitleCase{1, 0, " IG"}, TitleCase{0, 1850, " 1850"},
                                         TitleCase{9, 0, " 4"}, TitleCase{10, 0, ""}));

struct DateCase {
  TDateRecord date;
  bool narrow;
  const char* text;
};

class Dates : public testing::TestWithParam<DateCase> {};

TEST_P(Dates, Text) { EXPECT_EQ(DateText(GetParam().date, GetParam().narrow), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Cases, Dates,
                         testing::Values(DateCase{{7, 3, 1985}, false, "1985.03.07"},
                                         DateCase{{0, 0, 7}, false, "0007"},
                                         DateCase{{0, 0, 999}, false, "0999"},
                                         DateCase{{0, 0, 0}, false, ""},
                                         DateCase{{5, 0, 0}, false, "0000.00.05"},
                                         DateCase{{7, 3, 1985}, true, "1985"},
                                         DateCase{{7, 3, 0}, true, ""}));

TEST(Flags, LettersOfTheSummaryBits) {
  EXPECT_EQ(FlagsText(0), "");
  EXPECT_EQ(FlagsText(kHeaderFlagStartFullSet | kHeaderFlagFewVariations | kHeaderFlagSomeComments), "pvc");
  EXPECT_EQ(FlagsText(kHeaderFlagStartOther | kHeaderFlagManyVariations | kHeaderFlagManyComments), "PVC");
  // The capital letter wins when both bits of a pair are set.
  EXPECT_EQ(FlagsText(kHeaderFlagStartMask | kHeaderFlagDeleted), "P");
}

TEST(DBRows, TextsOfAStoredGame) {
  const std::string pdn =
      test::RussianGame("Anna", "Boris", "2-0", "1985.03.07", "1. c3-d4 f6-g5",
                        "[Site \"Riga\"][Round \"3.2\"][Annotator \"Kees\"][WhiteElo \"2400\"]") +
      test::RussianGame("Carl", "Dora", "0-2", "2001.??.??", "1. c3-d4", "[Event \"Cup, game 12; final\"]");
  const std::string path = test::MakeDatabase("rows", pdn);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(path, db, true));
  TDBRowText row;
  ASSERT_TRUE(ReadDBRow(db, 1, false, row));
  EXPECT_EQ(row.white, "1 Anna");
  EXPECT_EQ(row.whiteTitle, " 2400");
  EXPECT_EQ(row.black, " \u2014 Boris");
  EXPECT_EQ(row.Players(), "1 Anna 2400 \u2014 Boris");
  EXPECT_EQ(row.event, "Club, Riga [3.2] (Kees)");
  EXPECT_EQ(row.date, "1985.03.07");
  EXPECT_EQ(row.result, "2-0");
  EXPECT_EQ(row.length, "1");
  EXPECT_FALSE(row.deleted);

  ASSERT_TRUE(ReadDBRow(db, 2, true, row));
  EXPECT_EQ(row.event, "Cup, game xx; final");  // the game number is masked
  EXPECT_EQ(row.date, "2001");
  EXPECT_EQ(row.result, "0-2");

  EXPECT_FALSE(ReadDBRow(db, 3, false, row));  // no such record
  EXPECT_EQ(row.white, "3");
}

TEST(DBRows, HeaderLine) {
  TQuorlinDB closed;
  EXPECT_EQ(ListHeaderText(closed, 0, false), "n/a");
  const std::string path = test::MakeDatabase("Example", test::NumberedGames(3));
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(path, db, true));
  EXPECT_EQ(ListHeaderText(db, 3, false), "Example [3]");
  EXPECT_EQ(ListHeaderText(db, 2, true), "Example [2/3]");
}

TEST(DBLayout, ButtonsInARowOrAColumn) {
  const TDBWindowLayout portrait = ComputeDBWindowLayout(400, 800);
  EXPECT_TRUE(portrait.portrait);
  EXPECT_EQ(portrait.buttonSize, 50);
  EXPECT_EQ(portrait.panel, (TPixelRect{0, 0, 400, 800 - 60}));
  const int gap = (400 - 7 * 50) / 8;
  for (int k = 0; k < kDBButtonCount; ++k)
    EXPECT_EQ(portrait.buttons[k], (TPixelRect{gap + k * (50 + gap), 800 - 55, 50, 50})) << k;

  const TDBWindowLayout landscape = ComputeDBWindowLayout(900, 640);
  EXPECT_FALSE(landscape.portrait);
  EXPECT_EQ(landscape.buttonSize, 80);
  EXPECT_EQ(landscape.panel, (TPixelRect{0, 0, 900 - 90, 640}));
  EXPECT_EQ(landscape.buttons[kDBOpenButton].x, 900 - 85);
  EXPECT_LT(landscape.buttons[kDBOpenButton].y, landscape.buttons[kDBAllButton].y);
}

TEST(DBLayout, RowsAndScrollBar) {
  // Room for 10 rows of 20 pixels below a 25-pixel header, 3 games: 3 rows, no scrolling.
  TDBRowsLayout l = ComputeRowsLayout(800, 25 + 10 * 20, 10, 9, 3);
  EXPECT_FALSE(l.narrow);
  EXPECT_EQ(l.headerHeight, 25);
  EXPECT_EQ(l.rowHeight, 20);
  EXPECT_EQ(l.rows, 3);
  EXPECT_FALSE(l.scrollEnabled);
  // 50 games: 10 rows, and the scroll bar reaches the last 10.
  l = ComputeRowsLayout(800, 25 + 10 * 20, 10, 9, 50);
  EXPECT_EQ(l.rows, 10);
  EXPECT_TRUE(l.scrollEnabled);
  EXPECT_EQ(l.scrollMax, 40);
  // Narrower than 500: two lines per row.
  l = ComputeRowsLayout(499, 25 + 10 * 31, 10, 9, 50);
  EXPECT_TRUE(l.narrow);
  EXPECT_EQ(l.rowHeight, 10 + 9 + 12);
  EXPECT_EQ(l.rows, 10);
  // Never more than 100 rows.
  EXPECT_EQ(ComputeRowsLayout(800, 100000, 10, 9, 5000).rows, kDBMaxRows);
}

TEST(DBLayout, Columns) {
  const TDBColumns wide = ComputeColumns(1000, false, 80, 25, 30, 35);
  EXPECT_EQ(wide.players.x, 0);
  EXPECT_EQ(wide.players.w + wide.event.w, 1000 - 85 - 30 - 35 - 40);
  EXPECT_EQ(wide.event.x, wide.players.w);
  EXPECT_EQ(wide.flags.x + wide.flags.w, 1000);
  const TDBColumns narrow = ComputeColumns(400, true, 80, 25, 30, 35);
  EXPECT_EQ(narrow.result.x + narrow.result.w, 400);
  EXPECT_EQ(narrow.players.w, narrow.length.x);
  EXPECT_EQ(narrow.flags.x + narrow.flags.w, 400);
  EXPECT_EQ(narrow.event.w, narrow.date.x);
}

}  // namespace
}  // namespace quorlin
