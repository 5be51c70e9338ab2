#include "engine/book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/bookbuild.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

TBoard StartBoard(int variant) {
  TBoard b;
  b.b = StartPosition(VariantTable[variant], false);
  return b;
}

void WriteRecords(const fs::path& path, std::vector<TBookRecord> records, const std::string& comments,
                  bool withComments = true) {
  std::sort(records.begin(), records.end(),
            [](const TBookRecord& a, const TBookRecord& b) { return a.key < b.key; });
  std::string bytes;
  uint8_t buf[kBookRecordSize];
  for (const TBookRecord& r : records) {
    PackBookRecord(r, buf);
    bytes.append(reinterpret_cast<const char*>(buf), sizeof buf);
  }
  test::WriteFile(path, bytes);
  fs::path cbn = path;
  cbn.replace_extension(".cbn");
  if (withComments) test::WriteFile(cbn, comments);
}

TBookRecord Record(const TBoard& board, int side, const TGameParams& p, uint16_t stmWins, uint16_t draws,
                   uint16_t otherWins, int16_t value, uint8_t annotation, uint16_t comment = 0) {
  TBookRecord r;
  r.key = PackBoard(board, side, p);
  r.stmWins = stmWins;
  r.draws = draws;
  r.otherWins = otherWins;
  r.value = value;
  r.annotation = annotation;
  r.comment = comment;
  return r;
}

TEST(BookKey, PacksCellsInBaseFiveAndNormalisesTheSideToMove) {
  const TGameParams& p = VariantTable[kRussian];
  const TBoard start = StartBoard(kRussian);
  const TBookKey key = PackBoard(start, 0, p);
  EXPECT_EQ(key[0], 3 + 3 * 5 + 3 * 25);   // three white men
  EXPECT_EQ(key[4], 2 + 2 * 5 + 2 * 25);   // cells 13..15 empty
  EXPECT_EQ(key[7], 1 + 1 * 5 + 1 * 25);   // cells 22..24 black men
  EXPECT_EQ(key[23], 62);                  // cells 70..72 are no squares
  EXPECT_EQ(PackBoard(start, 1, p), key);  // the start position is its own colour swap
  TBoard b = start;
  b.b[9] = kEmpty;
  b.b[13] = kWhiteKing;
  TBoard swapped = b;
  SwapColours(swapped.b, p);
  EXPECT_EQ(PackBoard(b, 1, p), PackBoard(swapped, 0, p));
  EXPECT_NE(PackBoard(b, 1, p), PackBoard(b, 0, p));
}

TEST(BookKey, MirrorImagesShareOneKeyOnTheOrthogonalBoard) {
  const TGameParams& p = VariantTable[kTurkish];
  TBoard b = StartBoard(kTurkish);
  b.b[9] = kEmpty;
  b.b[25] = kWhiteMan;
  TBrd mirrored;
  ASSERT_TRUE(MirrorBoard(b.b, p, mirrored));
  TBoard m;
  m.b = mirrored;
  ASSERT_NE(m.b, b.b);
  EXPECT_EQ(PackBoard(b, 0, p), PackBoard(m, 0, p));
  EXPECT_EQ(PackBoard(b, 1, p), PackBoard(m, 1, p));
  // On checkered boards a mirror image is a different position.
  const TGameParams& r = VariantTable[kRussian];
  TBoard c = StartBoard(kRussian);
  c.b[12] = kEmpty;
  TBoard c2 = StartBoard(kRussian);
  c2.b[9] = kEmpty;
  EXPECT_NE(PackBoard(c, 0, r), PackBoard(c2, 0, r));
}

TEST(BookRounding, HalvesGoToEven) {
  EXPECT_EQ(RoundHalfEven(350, 4), 88);  // 87.5
  EXPECT_EQ(RoundHalfEven(5, 2), 2);
  EXPECT_EQ(RoundHalfEven(7, 2), 4);
  EXPECT_EQ(RoundHalfEven(1, 3), 0);
  EXPECT_EQ(RoundHalfEven(2, 3), 1);
}

TEST(BookSearch, FindsEveryKeyByBisection) {
  const fs::path dir = test::FreshDir("booksearch");
  std::mt19937 rng(3);
  for (int n : {0, 1, 2, 7, 100}) {
    std::vector<TBookRecord> records(n);
    for (int i = 0; i < n; ++i) {
      for (auto& byte : records[i].key) byte = static_cast<uint8_t>(rng());
      records[i].key[0] = static_cast<uint8_t>(2 * i);  // distinct, never 255
      records[i].comment = static_cast<uint16_t>(i);
    }
    const fs::path path = dir / ("b" + std::to_string(n) + ".cbk");
    WriteRecords(path, records, "");
    TOpeningBook book;
    ASSERT_TRUE(book.Ini(path.string()));
    for (const TBookRecord& r : records) {
      TBookRecord found;
      ASSERT_TRUE(book.Find(r.key, found));
      EXPECT_EQ(found.comment, r.comment);
    }
    TBookKey absent{};
    absent[0] = 255;
    TBookRecord found;
    EXPECT_FALSE(book.Find(absent, found));
    absent[0] = 1;
    EXPECT_FALSE(book.Find(absent, found));
  }
}

class BookLookupTest : public testing::Test {
 protected:
  void SetUp() override {
    dir = test::FreshDir("booklookup");
    start = StartBoard(kRussian);
    uint8_t count = 0;
    GenerateMoves(start, 0, moves, count, p, true);
    ASSERT_EQ(count, 7);
    for (int i = 1; i <= 3; ++i) {
      after[i] = start;
      ApplyMove(moves[i], after[i], p);
    }
  }
  const TOpenMove* EntryOf(const TOpenMoves& om, int num) {
    for (int i = 1; i <= om.Op_moves; ++i)
      if (om.openmoves[i].num == num) return &om.openmoves[i];
    return nullptr;
  }
  const TGameParams& p = VariantTable[kRussian];
  fs::path dir;
  TBoard start;
  TMvs moves;
  TBoard after[4];
  TOpeningBook book;
};

TEST_F(BookLookupTest, StatisticsMarksClassesAndOrder) {
  const fs::path path = dir / "Russian.cbk";
  // Move 1: the mover won 3 and drew 1, value 30. Move 2: the mover lost 2
  // games, no value. Move 3: marked "!" with 3 games.
  WriteRecords(path,
               {Record(after[1], 1, p, 0, 1, 3, 30, 4), Record(after[2], 1, p, 2, 0, 0, kBookNoValue, 4),
                Record(after[3], 1, p, 1, 1, 1, kBookNoValue, 2), Record(start, 0, p, 0, 0, 0, 0, 4, 1)},
               "\nopening comment\n");
  ASSERT_TRUE(book.Ini(path.string()));
  TOpenMoves om;
  book.Lookup(p, om, start, 0);
  ASSERT_EQ(om.Op_moves, 7);
  EXPECT_EQ(om.openposcomm, "opening comment");

  const TOpenMove* a = EntryOf(om, 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->bl, 3);
  EXPECT_EQ(a->wh, 0);
  EXPECT_EQ(a->dr, 1);
  EXPECT_EQ(a->qual, 88);
  EXPECT_EQ(a->stat, "+3-0=1");
  EXPECT_EQ(a->eval, -30);
  EXPECT_EQ(a->move.substr(a->move.size() - 2), " <");
  EXPECT_EQ(a->freq, 44);  // 4 of 9 games
  EXPECT_EQ(a->col, 3);    // score above 69 with more than 9 percent

  const TOpenMove* b = EntryOf(om, 2);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->qual, 0);
  EXPECT_EQ(b->eval, 0);
  EXPECT_EQ(b->freq, 22);
  EXPECT_EQ(b->col, 1);  // score below 33
  EXPECT_EQ(b->stat, "+0-2=0");
  EXPECT_EQ(b->move.find(' '), std::string::npos);  // no value, no mark

  const TOpenMove* c = EntryOf(om, 3);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->col, 3);
  EXPECT_EQ(c->sign, 2);
  EXPECT_EQ(c->move.back(), '!');
  EXPECT_EQ(c->freq, 33);

  // Order: class, then value, then annotation, then frequency and score.
  EXPECT_EQ(om.openmoves[1].num, 3);
  EXPECT_EQ(om.openmoves[2].num, 1);
  EXPECT_EQ(om.openmoves[3].num, 2);
  for (int i = 4; i <= 7; ++i) {
    EXPECT_EQ(om.openmoves[i].col, 0);
    EXPECT_EQ(om.openmoves[i].sign, kBookNoAnnotation);
    EXPECT_EQ(om.openmoves[i].qual, 0);
    EXPECT_EQ(om.openmoves[i].eb, 1);
    EXPECT_TRUE(om.openmoves[i].stat.empty());
  }
}

TEST_F(BookLookupTest, ValueMarks) {
  struct Case {
    int16_t value;
    const char* mark;
  };
  for (const Case& c : {Case{71, " -"}, Case{70, " <"}, Case{26, " <"}, Case{25, ""}, Case{-25, ""},
                        Case{-26, " >"}, Case{-70, " >"}, Case{-71, " +"}, Case{kBookNoValue, ""}}) {
    const fs::path path = dir / ("marks" + std::to_string(c.value) + ".cbk");
    WriteRecords(path, {Record(after[1], 1, p, 1, 1, 1, c.value, 4)}, "");
    ASSERT_TRUE(book.Ini(path.string()));
    TOpenMoves om;
    book.Lookup(p, om, start, 0);
    const TOpenMove* a = EntryOf(om, 1);
    ASSERT_NE(a, nullptr);
    TOpenMove plain;
    MoveToText(moves[1], p, 2, plain.move, false, "x");
    EXPECT_EQ(a->move, plain.move + c.mark) << c.value;
    EXPECT_EQ(a->eval, c.value == kBookNoValue ? 0 : -c.value);
  }
}

TEST_F(BookLookupTest, CommentsAndMissingFiles) {
  // Comment number 0: no text. A number beyond the comment lines, or any number
  // without a comment file: "CBN file not exists!".
  const fs::path zero = dir / "zero.cbk";
  WriteRecords(zero, {Record(start, 0, p, 1, 0, 0, 0, 4, 0)}, "\nfirst\n");
  ASSERT_TRUE(book.Ini(zero.string()));
  TOpenMoves om;
  book.Lookup(p, om, start, 0);
  EXPECT_EQ(om.openposcomm, "");
  const fs::path beyond = dir / "beyond.cbk";
  WriteRecords(beyond, {Record(start, 0, p, 1, 0, 0, 0, 4, 5)}, "\nfirst\n");
  ASSERT_TRUE(book.Ini(beyond.string()));
  book.Lookup(p, om, start, 0);
  EXPECT_EQ(om.openposcomm, "CBN file not exists!");
  const fs::path none = dir / "nocomments.cbk";
  WriteRecords(none, {Record(start, 0, p, 1, 0, 0, 0, 4, 1)}, "", false);
  ASSERT_TRUE(book.Ini(none.string()));
  book.Lookup(p, om, start, 0);
  EXPECT_EQ(om.openposcomm, "CBN file not exists!");

  EXPECT_FALSE(book.Ini((dir / "missing.cbk").string()));
  EXPECT_FALSE(book.IsOpen());
  book.Lookup(p, om, start, 0);
  EXPECT_EQ(om.openposcomm, "<NO BOOK>");
  ASSERT_EQ(om.Op_moves, 7);
  for (int i = 1; i <= 7; ++i) {
    EXPECT_EQ(om.openmoves[i].col, 0);
    EXPECT_EQ(om.openmoves[i].freq, 0);
  }
}

TEST(BookBuild, CountsResultsFromTheSideToMove) {
  const TGameParams& p = VariantTable[kRussian];
  const TBoard start = StartBoard(kRussian);
  TMvs moves;
  uint8_t count = 0;
  GenerateMoves(start, 0, moves, count, p, true);
  TBookBuilder builder(p, 1);
  TBookGame g;
  g.start = start;
  g.moves = {moves[1]};
  g.result = 1;  // first mover won
  EXPECT_TRUE(builder.AddGame(g));
  g.result = 2;
  EXPECT_TRUE(builder.AddGame(g));
  g.moves = {moves[2]};
  g.result = 3;
  EXPECT_TRUE(builder.AddGame(g));
  g.result = 0;
  EXPECT_FALSE(builder.AddGame(g));
  // An illegal move ends the line: only the start position counts.
  TMove bogus = moves[1];
  bogus.mv[1] = 30;
  g.moves = {bogus};
  g.result = 2;
  EXPECT_TRUE(builder.AddGame(g));
  EXPECT_EQ(builder.GamesUsed(), 4);
  EXPECT_EQ(builder.GamesSkipped(), 1);

  std::vector<TBookRecord> records = builder.Records(1);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(std::is_sorted(records.begin(), records.end(),
                             [](const TBookRecord& a, const TBookRecord& b) { return a.key < b.key; }));
  auto find = [&](const TBoard& b, int side) -> const TBookRecord* {
    const TBookKey k = PackBoard(b, side, p);
    for (const TBookRecord& r : records)
      if (r.key == k) return &r;
    return nullptr;
  };
  const TBookRecord* s = find(start, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->stmWins, 1);
  EXPECT_EQ(s->draws, 2);
  EXPECT_EQ(s->otherWins, 1);
  TBoard a1 = start;
  ApplyMove(moves[1], a1, p);
  const TBookRecord* r1 = find(a1, 1);
  ASSERT_NE(r1, nullptr);
  EXPECT_EQ(r1->stmWins, 0);
  EXPECT_EQ(r1->draws, 1);
  EXPECT_EQ(r1->otherWins, 1);
  EXPECT_EQ(r1->value, kBookNoValue);
  EXPECT_EQ(r1->annotation, kBookNoAnnotation);
  EXPECT_EQ(builder.Records(3).size(), 1u);

  const fs::path dir = test::FreshDir("bookbuild");
  std::string error;
  ASSERT_TRUE(WriteBook((dir / "r.cbk").string(), records, error)) << error;
  EXPECT_EQ(fs::file_size(dir / "r.cbk"), 3u * kBookRecordSize);
  EXPECT_TRUE(fs::exists(dir / "r.cbn"));
  EXPECT_EQ(fs::file_size(dir / "r.cbn"), 0u);
  TOpeningBook book;
  ASSERT_TRUE(book.Ini((dir / "r.cbk").string()));
  TOpenMoves om;
  book.Lookup(p, om, start, 0);
  const TOpenMove* e = nullptr;
  for (int i = 1; i <= om.Op_moves; ++i)
    if (om.openmoves[i].num == 1) e = &om.openmoves[i];
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->stat, "+1-0=1");
}

TEST(BookCommand, BuildsFromAnImportedDatabaseAndShows) {
  const fs::path dir = test::FreshDir("bookcmd");
  test::WriteFile(dir / "g.pdn",
                  "[Result \"1-0\"]\n1. 11-15 23-19 2. 8-11 1-0\n\n"
                  "[Result \"0-1\"]\n1. 11-15 22-18 0-1\n\n"
                  "[Result \"1/2-1/2\"]\n1. 9-13 22-18 1/2-1/2\n\n");
  std::string out;
  ASSERT_EQ(test::RunQuorlin("pdn import " + (dir / "g.pdn").string() + " " + (dir / "g.abd").string() +
                                 " --variant English",
                             out),
            0)
      << out;
  ASSERT_EQ(test::RunQuorlin("book build " + (dir / "g.abd").string() + " --variant English --out " +
                                 (dir / "English.cbk").string() + " --max-ply 4",
                             out),
            0)
      << out;
  EXPECT_NE(out.find("3 games used"), std::string::npos) << out;
  ASSERT_EQ(test::RunQuorlin("book show " + (dir / "English.cbk").string() + " English", out), 0) << out;
  // 11-15 was played twice (one win for each side), 9-13 once (a draw).
  EXPECT_EQ(out.rfind("11-15", 0), 0u) << out;
  EXPECT_NE(out.find("+1-1=0"), std::string::npos) << out;
  EXPECT_NE(out.find("+0-0=1"), std::string::npos) << out;
  EXPECT_NE(test::RunQuorlin("book build " + (dir / "g.abd").string() + " --out x.cbk", out), 0);
}

}  // namespace
}  // namespace quorlin
