// The strict FEN reader: everything malformed or impossible is refused with a
// message of its own that says what is wrong and where; what it accepts reads
// as ParseFEN reads it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rules/fen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

struct RefusedRow {
  int slot;
  const char* fen;
  std::vector<const char*> message;  // parts the error must contain
};

void PrintTo(const RefusedRow& r, std::ostream* os) {
  *os << VariantTable[r.slot].Name << " \"" << r.fen << "\"";
}

class ReadFENRefuses : public testing::TestWithParam<RefusedRow> {};

TEST_P(ReadFENRefuses, WithItsOwnMessage) {
  const RefusedRow& r = GetParam();
  TBrd cells{};
  cells[1] = 5;  // left alone on failure
  int side = 7;
  std::string error;
  EXPECT_FALSE(ReadFEN(VariantTable[r.slot], r.fen, cells, side, error));
  for (const char* part : r.message) EXPECT_NE(error.find(part), std::string::npos) << error;
  EXPECT_EQ(cells[1], 5);
  EXPECT_EQ(side, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadFENRefuses,
    testing::Values(
        // Nothing after the side to move, or empty lists.
        RefusedRow{kInternational, "W:", {"column 3", "no piece lists after \"W:\""}},
        RefusedRow{kInternational, "B:", {"column 3", "no piece lists after \"B:\""}},
        RefusedRow{kInternational, "W::", {"column 3", "empty piece list"}},
        RefusedRow{kInternational, "", {"column 1", "\"W:\" or \"B:\""}},
        RefusedRow{kInternational, "W", {"column 1", "\"W:\" or \"B:\""}},
        RefusedRow{kInternational, "w:W31:B1", {"column 1", "\"W:\" or \"B:\""}},
        RefusedRow{kInternational, "W:X31:B1", {"column 3", "begins with \"W\" or \"B\""}},
        RefusedRow{kInternational, "W:W31,,32:B1", {"column 7", "square is missing"}},
        RefusedRow{kInternational, "W:W31,:B1", {"column 7", "square is missing"}},
        RefusedRow{kInternational, "W:WK:B1", {"column 4", "\"K\" without a square"}},
        RefusedRow{kInternational, "W:W35-31:B1", {"column 4", "range 35-31 runs backwards"}},
        // Squares the board does not have, with the way it names its squares.
        RefusedRow{kInternational, "W:W31,j10:B1", {"column 7", "\"j10\"", "files a b c d e f g h i k,"}},
        RefusedRow{kInternational, "W:W31:B51", {"column 8", "square 51", "numbers 1..50"}},
        RefusedRow{kInternational, "W:W31:B99999999999", {"column 8", "not on the International board"}},
        RefusedRow{kInternational, "W:Wk31:B1", {"\"k31\"", "capital K"}},
        RefusedRow{kRussian, "W:Wi1:B32", {"column 4", "\"i1\"", "files a b c d e f g h,", "ranks 1..8"}},
        RefusedRow{kCanadian, "W:Wl1:B1", {"\"l1\"", "files a b c d e f g h i k m n,"}},
        // Impossible positions.
        RefusedRow{
            kInternational, "W:W31,32,31:B1", {"column 10", "square 31 is listed twice (first at column 4)"}},
        RefusedRow{kInternational, "W:W31-35:B33", {"column 11", "listed for both White and Black"}},
        RefusedRow{kInternational, "W:W3:B40", {"column 4", "White man cannot stand on 3"}},
        RefusedRow{kInternational, "W:W40:B48", {"column 8", "Black man cannot stand on 48"}},
        RefusedRow{kRussian, "W:Wc3:Bb8,a1", {"Black man cannot stand on a1"}},
        RefusedRow{kEnglish, "B:B32:W12", {"Black man cannot stand on 32"}},
        RefusedRow{kInternational, "W:W6-26:B40", {"White has 21 pieces", "starts with 20"}},
        RefusedRow{kRussian, "B:Wa1,c1,e1,g1,b2,d2,f2,h2,a3,c3,e3,g3,b4:Bh8", {"White has 13 pieces"}},
        RefusedRow{kInternational, "W:W:B", {"no pieces"}}),
    [](const testing::TestParamInfo<RefusedRow>& info) { return "Row" + std::to_string(info.index); });

struct AcceptedRow {
  int slot;
  const char* fen;
  const char* plain;  // the same position as ParseFEN reads it
};

class ReadFENAccepts : public testing::TestWithParam<AcceptedRow> {};

TEST_P(ReadFENAccepts, AsParseFENReadsThePlainForm) {
  const AcceptedRow& r = GetParam();
  const TGameParams& p = VariantTable[r.slot];
  TBrd cells{}, want{};
  int side = 7, wantSide = 7;
  std::string error;
  ASSERT_TRUE(ReadFEN(p, r.fen, cells, side, error)) << error;
  ParseFEN(p, r.plain, want, wantSide);
  EXPECT_EQ(cells, want);
  EXPECT_EQ(side, wantSide);
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadFENAccepts,
                         testing::Values(AcceptedRow{kInternational, "W:W31-33,K46:B1-3",
                                                     "W:W31,32,33,K46:B1,2,3"},
                                         AcceptedRow{kInternational, " B:W31 , K32 :B1. ", "B:W31,K32:B1"},
                                         // A colour with two lists, a side without pieces.
                                         AcceptedRow{kInternational, "W:W31:B1:W32", "W:W31,32:B1"},
                                         AcceptedRow{kInternational, "W:W:B1", "W:B1"},
                                         // The tenth file of the large boards is k, the eleventh m.
                                         AcceptedRow{kInternational, "W:WKk10:BKa1", "W:WK5:BK46"},
                                         AcceptedRow{kCanadian, "W:Wm11,n2:Ba11", "W:Wm11,n2:Ba11"},
                                         AcceptedRow{kRussian, "B:Wa1,Kc3:Bh8.", "B:Wa1,Kc3:Bh8"},
                                         AcceptedRow{kEnglish, "B:B1,2:W32", "B:B1,2:W32"}));

TEST(ReadFEN, ReadsBackEveryStartPosition) {
  for (int slot = 1; slot <= kVariantCount; ++slot) {
    const TGameParams& p = VariantTable[slot];
    const TBrd start = StartPosition(p, false);
    for (int side = 0; side <= 1; ++side) {
      TBrd cells{};
      int got = 7;
      std::string error;
      const std::string fen = WriteFEN(p, start, side);
      ASSERT_TRUE(ReadFEN(p, fen, cells, got, error)) << p.Name << " " << fen << ": " << error;
      EXPECT_EQ(cells, start) << p.Name;
      EXPECT_EQ(got, side) << p.Name;
    }
  }
}

// Any text gets an answer of the reader's own: a position, or a message that
// points at a column. Nothing is thrown.
TEST(ReadFEN, AnyTextGetsItsOwnAnswer) {
  const std::string alphabet = "WBKk0123456789,:-. aj";
  std::mt19937 rng(19);
  for (int slot : {kInternational, kRussian, kEnglish, kCanadian, kTurkish}) {
    const TGameParams& p = VariantTable[slot];
    for (int i = 0; i < 3000; ++i) {
      std::string text = i % 2 ? "W:" : "";
      const size_t length = rng() % 14;
      for (size_t j = 0; j < length; ++j) text += alphabet[rng() % alphabet.size()];
      TBrd cells{};
      int side = 0;
      std::string error;
      bool ok = false;
      ASSERT_NO_THROW(ok = ReadFEN(p, text, cells, side, error)) << text;
      if (!ok) {
        EXPECT_EQ(error.rfind("column ", 0), 0u) << p.Name << " \"" << text << "\": " << error;
      }
    }
  }
}

}  // namespace
}  // namespace quorlin
