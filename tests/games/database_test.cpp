#include "games/database.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "games/gamerecord.h"
#include "rules/variantdef.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::ReadFile;
using test::WriteFile;

// ---------------------------------------------------------------------------
// Helpers

TMove Quiet(int from, int to) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.mv[1] = static_cast<uint8_t>(to);
  return m;
}

// A capture from `from` over the (captured, landing) pairs.
TMove Capture(int from, std::initializer_list<std::pair<int, int>> steps) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  int i = 1;
  for (auto [cap, land] : steps) {
    m.mv[i++] = static_cast<uint8_t>(cap);
    m.mv[i++] = static_cast<uint8_t>(land);
  }
  m.lt = static_cast<uint8_t>(steps.size());
  m.flags = 0x80;
  return m;
}

// A Russian game with a main line, a variation, a free slot left by a deleted
// variation, annotations and comments. `wide` texts use letters beyond Latin-1,
// which only version-38 bodies hold.
TGame MakeGame(int seed, bool wide) {
  TGame g;
  ClearGame(g);
  g.Header.TypeOfGame = kRussian;
  g.Params = VariantTable[kRussian];
  g.StartBoard = StartPosition(g.Params, true);
  g.WhiteName = seed % 2 ? "Иванов Пётр" : "Müller";
  g.BlackName = "Ørsted " + std::to_string(seed);
  g.AnnotatorName = seed == 1 ? "" : "Léa";
  g.Tournament = "Кубок мира";
  g.Site = "São Paulo";
  g.Header.White = {0, 2, 2450, 7};
  g.Header.Black = {0, 9, 0, 255};
  g.Header.Round = seed;
  g.Header.Subround = 2;
  g.Header.Date = {31, 12, 2024};
  g.Header.Result = static_cast<uint8_t>(seed % 6);
  g.Header.NumerationFrom = 1;
  g.Header.Opening = 7;
  g.Header.Medals = 1 | 0x40;

  int node = 0;
  const int quiet[][2] = {{9, 13}, {22, 18}, {13, 17}, {21, 14}, {10, 13}, {25, 21}, {5, 9}, {29, 25}};
  const int length = 3 + seed;
  std::vector<int> line;
  for (int i = 0; i < length && i < 8; ++i) {
    node = AddMove(g, Quiet(quiet[i][0], quiet[i][1]), node);
    line.push_back(node);
  }
  node = AddMove(g, Capture(11, {{15, 18}, {23, 26}, {30, 21}}), node);
  g.Moves[node].comm = 0x12;
  const int dropped = AddMove(g, Quiet(12, 16), line[0]);  // becomes a free slot
  const int variation = AddMove(g, Quiet(24, 19), line[0]);
  AddMove(g, Quiet(11, 15), variation);
  DeleteSubtree(g, dropped);
  g.Moves[line[1]].comm = 0x35;
  g.Moves[line[1]].flags = 0x1B;
  g.Comments[0].CommentAft = wide ? "Партия №" + std::to_string(seed) : "Très bien " + std::to_string(seed);
  g.Comments[line[1]].CommentBef = wide ? "до хода" : "avant";
  g.Comments[variation].CommentAft = "after\twith tab";
  if (wide) g.Comments[variation].CommentAdd = "extra ✓";
  g.Header.ShowFrom = line[1];
  return g;
}

void ExpectSameNode(const TGame& a, const TGame& b, int i, bool linked) {
  const TMove& x = a.Moves[i];
  const TMove& y = b.Moves[i];
  EXPECT_EQ(x.free, y.free) << "node " << i;
  if (x.free && y.free) return;
  EXPECT_EQ(x.comm, y.comm) << "node " << i;
  EXPECT_EQ(x.parent, y.parent) << "node " << i;
  EXPECT_EQ(x.main, y.main) << "node " << i;
  EXPECT_EQ(x.flags, y.flags) << "node " << i;
  EXPECT_EQ(x.lt, y.lt) << "node " << i;
  EXPECT_EQ(x.mv, y.mv) << "node " << i;
  if (linked) {
    EXPECT_EQ(x.next, y.next) << "node " << i;
    EXPECT_EQ(x.brother, y.brother) << "node " << i;
  }
  EXPECT_EQ(a.Comments[i], b.Comments[i]) << "node " << i;
}

// `read` is `written` as it came back from a database of the given version.
void ExpectSameGame(const TGame& written, const TGame& read, int version) {
  EXPECT_EQ(written.Header, read.Header);
  EXPECT_EQ(written.WhiteName, read.WhiteName);
  EXPECT_EQ(written.BlackName, read.BlackName);
  EXPECT_EQ(written.AnnotatorName, read.AnnotatorName);
  EXPECT_EQ(written.Tournament, read.Tournament);
  EXPECT_EQ(written.Site, read.Site);
  EXPECT_EQ(written.StartBoard, read.StartBoard);
  EXPECT_EQ(read.Version, version);
  const int last = written.Header.LastMove;
  ASSERT_GE(static_cast<int>(read.Moves.size()), last + 1);
  for (int i = 1; i <= last; ++i) ExpectSameNode(written, read, i, version == kDBVersion38);
  if (version == kDBVersion38) {
    ExpectSameNode(written, read, 0, true);
  } else {
    EXPECT_EQ(written.Comments[0].CommentAft, read.Comments[0].CommentAft);
  }
  for (int i = 0; i <= last; ++i) {
    TChildList x, y;
    const int cx = GetChildren(written, i, x);
    ASSERT_EQ(cx, GetChildren(read, i, y)) << "children of " << i;
    for (int k = 0; k < cx; ++k) EXPECT_EQ(x[k], y[k]) << "child " << k << " of " << i;
  }
}

std::string Base(const fs::path& dir, const std::string& name = "games") { return (dir / name).string(); }

int64_t SizeOf(const std::string& path) { return static_cast<int64_t>(fs::file_size(path)); }

// Overwrites bytes of a file in place.
void Patch(const std::string& path, int64_t at, const std::string& bytes) {
  std::string all = ReadFile(path);
  ASSERT_LE(at + static_cast<int64_t>(bytes.size()), static_cast<int64_t>(all.size()));
  all.replace(static_cast<size_t>(at), bytes.size(), bytes);
  WriteFile(path, all);
}

// Sets 4 little-endian bytes inside a string.
void SetLe32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (8 * k));
}

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(v >> (8 * k));
  return s;
}

// A database with `count` games written and closed; returns the written games.
std::vector<TGame> MakeDatabase(const std::string& base, int count, uint8_t version = kDBVersion38) {
  std::vector<TGame> games;
  TQuorlinDB db;
  EXPECT_TRUE(CreateDatabase(base, db, version)) << db.LastError;
  for (int i = 0; i < count; ++i) {
    games.push_back(MakeGame(i, version == kDBVersion38));
    EXPECT_TRUE(WriteGame(games.back(), 0, db, false)) << db.LastError;
  }
  EXPECT_TRUE(CloseDatabase(db)) << db.LastError;
  return games;
}

// ---------------------------------------------------------------------------
// Index records

TEST(IndexRecord, FieldsSitAtTheirOffsetsLittleEndian) {
  TGameHeader h;
  h.White = {-2, 3, 0x1234, 4};
  h.Black = {0x01020304, 5, 0xBEEF, 6};
  h.AnnotatorIndex = 0x11121314;
  h.TournamentIndex = 0x21222324;
  h.SiteIndex = 0x31323334;
  h.Round = 0x41424344;
  h.Subround = 0x51525354;
  h.Date = {28, 2, 0x07E8};
  h.Flags = 0x9D;
  h.ShowFrom = 0x61626364;
  h.FirstMove = TDColor::black;
  h.TypeOfGame = 13;
  h.Result = 5;
  h.NumerationFrom = 3;
  h.LastMove = 0x71727374;
  h.GameLength = 0x0999;
  h.Offset = 0x01A2A3A4;
  h.Length = 0x01B2B3B4;
  h.Opening = 0x01C2C3C4;
  h.Medals = -1;
  h.Crc = 0xCA6598D0;
  uint8_t r[kIndexRecordSize];
  std::memset(r, 0xEE, sizeof r);
  PackIndexRecord(h, r);

  struct Field {
    int offset, size;
    uint32_t value;
  };
  const Field fields[] = {
      {0, 4, 0xFFFFFFFE},  {4, 1, 3},           {5, 1, 0},           {6, 2, 0x1234},      {8, 1, 4},
      {9, 3, 0},           {12, 4, 0x01020304}, {16, 1, 5},          {17, 1, 0},          {18, 2, 0xBEEF},
      {20, 1, 6},          {21, 3, 0},          {24, 4, 0x11121314}, {28, 4, 0x21222324}, {32, 4, 0x31323334},
      {36, 4, 0x41424344}, {40, 4, 0x51525354}, {44, 1, 28},         {45, 1, 2},          {46, 2, 0x07E8},
      {48, 1, 0x9D},       {49, 3, 0},          {52, 4, 0x61626364}, {56, 1, 1},          {57, 1, 13},
      {58, 1, 5},          {59, 1, 3},          {60, 4, 0x71727374}, {64, 2, 0x0999},     {66, 2, 0},
      {68, 4, 0x01A2A3A4}, {72, 4, 0x01B2B3B4}, {76, 4, 0x01C2C3C4}, {80, 4, 0xFFFFFFFF}, {84, 4, 0xCA6598D0},
  };
  int covered = 0;
  for (const Field& f : fields) {
    uint32_t v = 0;
    for (int k = 0; k < f.size; ++k) v |= uint32_t{r[f.offset + k]} << (8 * k);
    EXPECT_EQ(v, f.value) << "offset " << f.offset;
    EXPECT_EQ(f.offset, covered) << "table gap";
    covered = f.offset + f.size;
  }
  EXPECT_EQ(covered, kIndexRecordSize);

  TGameHeader back;
  UnpackIndexRecord(r, back);
  EXPECT_EQ(back, h);
}

TEST(IndexRecord, CustomVariantIsStoredAs255) {
  TGameHeader h;
  h.TypeOfGame = 0;
  uint8_t r[kIndexRecordSize];
  PackIndexRecord(h, r);
  EXPECT_EQ(r[57], 255);
  TGameHeader back;
  back.TypeOfGame = 9;
  UnpackIndexRecord(r, back);
  EXPECT_EQ(back.TypeOfGame, 0);
}

TEST(IndexRecord, Version20RecordIsWidened) {
  uint8_t r[kIndexRecordSize20];
  for (int i = 0; i < kIndexRecordSize20; ++i) r[i] = static_cast<uint8_t>(0xF0 + i % 16);
  auto put16 = [&](int at, uint16_t v) {
    r[at] = static_cast<uint8_t>(v);
    r[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  put16(0, 0xFFFE);  // zero-extended, not sign-extended
  r[2] = 4;
  put16(4, 2100);
  r[6] = 9;
  put16(8, 3);
  r[10] = 1;
  put16(12, 0);
  r[14] = 2;
  put16(16, 5);
  put16(18, 6);
  put16(20, 7);
  r[22] = 200;
  r[23] = 8;
  r[24] = 15;
  r[25] = 6;
  put16(26, 1999);
  r[28] = 0x85;
  put16(30, 12);
  r[32] = 1;
  r[33] = 1;
  r[34] = 2;
  r[35] = 0;
  put16(36, 40);
  r[38] = 20;
  for (int k = 0; k < 4; ++k) r[40 + k] = static_cast<uint8_t>(0x01020304 >> (8 * k));
  for (int k = 0; k < 4; ++k) r[44 + k] = static_cast<uint8_t>(321 >> (8 * k));
  put16(48, 0x8001);
  r[50] = 1;

  TGameHeader h;
  h.Crc = 77;
  UnpackIndexRecord20(r, h);
  EXPECT_EQ(h.White.NameIndex, 0xFFFE);
  EXPECT_EQ(h.White.Title, 4);
  EXPECT_EQ(h.White.Rating, 2100);
  EXPECT_EQ(h.White.Country, 9);
  EXPECT_EQ(h.Black.NameIndex, 3);
  EXPECT_EQ(h.Black.Title, 1);
  EXPECT_EQ(h.Black.Rating, 0);
  EXPECT_EQ(h.Black.Country, 2);
  EXPECT_EQ(h.AnnotatorIndex, 5);
  EXPECT_EQ(h.TournamentIndex, 6);
  EXPECT_EQ(h.SiteIndex, 7);
  EXPECT_EQ(h.Round, 200);
  EXPECT_EQ(h.Subround, 8);
  EXPECT_EQ(h.Date, (TDateRecord{15, 6, 1999}));
  EXPECT_EQ(h.Flags, 0x85);
  EXPECT_EQ(h.ShowFrom, 12);
  EXPECT_EQ(h.FirstMove, TDColor::black);
  EXPECT_EQ(h.TypeOfGame, 1);
  EXPECT_EQ(h.Result, 2);
  EXPECT_EQ(h.NumerationFrom, 0);
  EXPECT_EQ(h.LastMove, 40);
  EXPECT_EQ(h.GameLength, 20);
  EXPECT_EQ(h.Offset, 0x01020304);
  EXPECT_EQ(h.Length, 321);
  EXPECT_EQ(h.Opening, 0x8001);
  EXPECT_EQ(h.Medals, 1);
  EXPECT_EQ(h.Crc, 0u);
}

TEST(Checksum, ReflectedCrc32FromZeroWithoutInversion) {
  EXPECT_EQ(BodyChecksum(reinterpret_cast<const uint8_t*>("abc"), 3), 0xCA6598D0u);
  EXPECT_EQ(BodyChecksum(nullptr, 0), 0u);
  const uint8_t zero = 0;
  EXPECT_EQ(BodyChecksum(&zero, 1), 0u);  // starting from 0, a zero byte leaves 0
}

// ---------------------------------------------------------------------------
// Names lists

TEST(NameList, LooksUpIgnoringLetterCaseAndKeepsOrder) {
  TNameList list;
  EXPECT_EQ(list.Add("Smith"), 0);
  EXPECT_EQ(list.Add("Иванов"), 1);
  EXPECT_EQ(list.Add("Ørsted"), 2);
  EXPECT_EQ(list.Add(""), 3);
  EXPECT_EQ(list.Add("smith"), 4);  // a file may hold both; the first one is found
  EXPECT_EQ(list.IndexOf("SMITH"), 0);
  EXPECT_EQ(list.IndexOf("иВАНОВ"), 1);
  EXPECT_EQ(list.IndexOf("øRSTED"), 2);
  EXPECT_EQ(list.IndexOf(""), 3);
  EXPECT_EQ(list.IndexOf("Smyth"), -1);
  EXPECT_EQ(list[4], "smith");
  EXPECT_EQ(list.Count(), 5);
}

TEST(NameList, TournamentGameNumberIsMasked) {
  const std::pair<const char*, const char*> rows[] = {
      {"Cup, game 12; final", "Cup, game xx; final"},
      {"Open, game 3", "Open, game x"},
      {"A; B, game 5", "A; B, game 5"},
      {"Cup, game ; x", "Cup, game ; x"},
      {"Кубок, game №7", "Кубок, game xx"},
      {"No game here", "No game here"},
      {"", ""},
  };
  for (auto [in, out] : rows) EXPECT_EQ(MaskTournamentGameNumber(in), out) << in;
}

TEST(NameList, IndexOutsideTheListReadsError) {
  TQuorlinDB db;
  db.DBNames.Add("Smith");
  db.DBTourn.Add("Open, game 3");
  db.DBSites.Add("Moscow");
  EXPECT_EQ(NameAt(0, db), "Smith");
  EXPECT_EQ(NameAt(1, db), "ERROR!!!");
  EXPECT_EQ(NameAt(-1, db), "ERROR!!!");
  EXPECT_EQ(TournamentAt(0, db), "Open, game x");
  EXPECT_EQ(TournamentAt(5, db), "ERROR!!!");
  EXPECT_EQ(SiteAt(0, db), "Moscow");
  EXPECT_EQ(SiteAt(1, db), "ERROR!!!");
}

// ---------------------------------------------------------------------------
// Creating, opening, closing

TEST(DatabaseFiles, NewDatabaseHasTheVersionByteAndAnEmptyIndex) {
  const auto dir = FreshDir("db-new");
  const std::string base = Base(dir);
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base + ".abd", db, kDBVersion38)) << db.LastError;
  EXPECT_TRUE(db.DBOpened);
  EXPECT_EQ(db.DBSize, 0);
  EXPECT_EQ(db.DBNameMain, base + ".abm");
  EXPECT_EQ(ReadFile(base + ".abm"), std::string(1, '\x26'));
  EXPECT_EQ(SizeOf(base + ".abd"), 0);
  // Whole from its first moment: the names file is there before the database is closed.
  EXPECT_EQ(ReadFile(base + ".abn"), "\xEF\xBB\xBF");
  EXPECT_TRUE(DatabaseFilesExist(base));
  EXPECT_FALSE(db.DBChanged);
  ASSERT_TRUE(CloseDatabase(db));
  EXPECT_EQ(ReadFile(base + ".abn"), "\xEF\xBB\xBF");
  EXPECT_TRUE(DatabaseFilesExist(base + ".abm"));

  ASSERT_TRUE(OpenDatabase(base + ".abn", db, false)) << db.LastError;
  EXPECT_EQ(db.DBType, 38);
  EXPECT_EQ(db.DBSize, 0);
  EXPECT_EQ(db.DBCurPos, 1);
  EXPECT_FALSE(db.DBChanged);
  EXPECT_TRUE(DeleteDatabaseFiles(db));
  EXPECT_FALSE(db.DBOpened);
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST(DatabaseFiles, CreatingNeverOverwritesExistingFilesUnlessAsked) {
  const auto dir = FreshDir("db-exists");
  const std::string base = Base(dir);
  MakeDatabase(base, 2);
  const std::string idx = ReadFile(base + ".abd"), main = ReadFile(base + ".abm"),
                    names = ReadFile(base + ".abn");
  TQuorlinDB db;
  EXPECT_FALSE(CreateDatabase(base, db, kDBVersion38));
  EXPECT_NE(db.LastError.find("exists"), std::string::npos) << db.LastError;
  EXPECT_FALSE(db.DBOpened);

  // A names file gone missing must not make OpenOrCreateDatabase start afresh:
  // the games stay, and their lost names show as "?".
  fs::rename(base + ".abn", base + ".abn.away");
  ASSERT_TRUE(OpenOrCreateDatabase(base, db)) << db.LastError;
  EXPECT_EQ(db.DBSize, 2);
  EXPECT_NE(db.Warning.find(".abn: the names file is missing"), std::string::npos) << db.Warning;
  EXPECT_TRUE(CloseDatabase(db));
  EXPECT_EQ(ReadFile(base + ".abd"), idx);
  EXPECT_EQ(ReadFile(base + ".abm"), main);
  fs::rename(base + ".abn.away", base + ".abn");
  EXPECT_EQ(ReadFile(base + ".abn"), names);

  ASSERT_TRUE(CreateDatabase(base, db, kDBVersion38, /*replaceExisting=*/true)) << db.LastError;
  EXPECT_EQ(SizeOf(base + ".abd"), 0);
  EXPECT_EQ(SizeOf(base + ".abm"), 1);
  EXPECT_EQ(ReadFile(base + ".abn"), "\xEF\xBB\xBF");  // the old names went with the old games
  CloseDatabase(db);
}

TEST(DatabaseFiles, OpenOrCreateCreatesOnlyWhenNothingExists) {
  const auto dir = FreshDir("db-openorcreate");
  const std::string base = Base(dir, "fresh");
  TQuorlinDB db;
  ASSERT_TRUE(OpenOrCreateDatabase(base + ".abm", db)) << db.LastError;
  TGame g = MakeGame(1, true);
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  ASSERT_TRUE(CloseDatabase(db));
  ASSERT_TRUE(OpenOrCreateDatabase(base + ".abm", db)) << db.LastError;
  EXPECT_EQ(db.DBSize, 1);
}

TEST(DatabaseFiles, OpeningAndClosingWithoutChangesWritesNothing) {
  const auto dir = FreshDir("db-untouched");
  const std::string base = Base(dir);
  MakeDatabase(base, 3);
  std::vector<std::pair<std::string, fs::file_time_type>> before;
  for (const char* ext : {".abd", ".abm", ".abn"})
    before.emplace_back(ReadFile(base + ext), fs::last_write_time(base + ext));
  for (bool readOnly : {false, true}) {
    TQuorlinDB db;
    ASSERT_TRUE(OpenDatabase(base, db, readOnly)) << db.LastError;
    TGame g;
    for (int n = 1; n <= db.DBSize; ++n) ASSERT_TRUE(ReadGame(db, n, false, -1, g)) << db.LastError;
    ASSERT_TRUE(CloseDatabase(db));
  }
  int i = 0;
  for (const char* ext : {".abd", ".abm", ".abn"}) {
    EXPECT_EQ(ReadFile(base + ext), before[i].first) << ext;
    EXPECT_EQ(fs::last_write_time(base + ext), before[i].second) << ext;
    ++i;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

TEST(DatabaseFiles, OpenFailsCleanly) {
  const auto dir = FreshDir("db-openfail");
  const std::string base = Base(dir);
  TQuorlinDB db;
  EXPECT_FALSE(OpenDatabase(base, db, false));  // nothing there
  EXPECT_FALSE(db.DBOpened);

  EXPECT_FALSE(OpenDatabase(base + ".PDN", db, false));
  EXPECT_EQ(db.DBNameMain, base + ".PDN");
  EXPECT_EQ(db.DBType, 0);

  WriteFile(base + ".abd", "");
  WriteFile(base + ".abn", "");
  WriteFile(base + ".abm", std::string(1, '\x07'));
  EXPECT_FALSE(OpenDatabase(base, db, false));
  EXPECT_EQ(db.LastError, "Wrong database type:7");
  EXPECT_FALSE(db.DBOpened);

  WriteFile(base + ".abm", "");  // no version byte
  EXPECT_FALSE(OpenDatabase(base, db, true));
  EXPECT_NE(db.LastError.find(".abm"), std::string::npos) << db.LastError;

  WriteFile(base + ".abm", std::string(1, '\x26'));
  WriteFile(base + ".abn", "\xEF\xBB\xBFName\t0\tA\r\nName\tx\tB\r\n");
  EXPECT_FALSE(OpenDatabase(base, db, true));
  EXPECT_NE(db.LastError.find(".abn: line 2"), std::string::npos) << db.LastError;
  EXPECT_FALSE(db.DBOpened);
}

TEST(DatabaseFiles, OneWriterAtATime) {
  const auto dir = FreshDir("db-lock");
  const std::string base = Base(dir);
  MakeDatabase(base, 1);
  TQuorlinDB writer, second, reader;
  ASSERT_TRUE(OpenDatabase(base, writer, false)) << writer.LastError;
  EXPECT_FALSE(OpenDatabase(base, second, false));
  EXPECT_NE(second.LastError.find("another writer"), std::string::npos) << second.LastError;
  ASSERT_TRUE(OpenDatabase(base, reader, true)) << reader.LastError;
  TGame g;
  EXPECT_TRUE(ReadGame(reader, 1, false, -1, g)) << reader.LastError;
  CloseDatabase(writer);
  EXPECT_TRUE(OpenDatabase(base, second, false)) << second.LastError;
}

// ---------------------------------------------------------------------------
// Names file

TEST(NamesFile, Version38TabFormWrittenAndRead) {
  const auto dir = FreshDir("db-names38");
  const std::string base = Base(dir);
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db, kDBVersion38));
  TGame g = MakeGame(2, true);
  g.WhiteName = "Smith";
  g.BlackName = "smith";             // same entry
  g.AnnotatorName = "Ann\r\nOther";  // a line break would split the file's line
  g.Tournament = "Cup\twith tab";
  g.Site = "";
  ASSERT_TRUE(WriteGame(g, 0, db, /*saveNames=*/true)) << db.LastError;
  EXPECT_FALSE(db.DBChanged);
  EXPECT_EQ(g.Header.White.NameIndex, 0);
  EXPECT_EQ(g.Header.Black.NameIndex, 0);
  EXPECT_EQ(g.Header.AnnotatorIndex, 1);
  EXPECT_EQ(
      ReadFile(base + ".abn"),
      "\xEF\xBB\xBFName\t0\tSmith\r\nName\t1\tAnn  Other\r\nTournament\t0\tCup\twith tab\r\nSite\t0\t\r\n");
  CloseDatabase(db);

  // Read back: kinds found by the word they contain, position not used for
  // placement, text may hold tabs, a missing text is empty, other kinds and
  // blank lines are skipped; no byte-order mark means the system code page.
  WriteFile(base + ".abn",
            "Name\t5\tFirst\nMyName\t0\tSecond\tpart\r\n\r\nOther\t1\tskipped\nSite\t0\nTournament\t3\tT\n");
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  ASSERT_EQ(db.DBNames.Count(), 2);
  EXPECT_EQ(db.DBNames[0], "First");
  EXPECT_EQ(db.DBNames[1], "Second\tpart");
  ASSERT_EQ(db.DBSites.Count(), 1);
  EXPECT_EQ(db.DBSites[0], "");
  ASSERT_EQ(db.DBTourn.Count(), 1);
  EXPECT_EQ(db.DBTourn[0], "T");
}

TEST(NamesFile, Version30TextFormWrittenAndRead) {
  const auto dir = FreshDir("db-names30");
  const std::string base = Base(dir);
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db, kDBVersion30));
  TGame g = MakeGame(3, false);
  g.WhiteName = "Müller";
  g.BlackName = "Smith";
  g.AnnotatorName = "";
  g.Tournament = "Open";
  g.Site = "Paris";
  ASSERT_TRUE(WriteGame(g, 0, db, true)) << db.LastError;
  EXPECT_EQ(ReadFile(base + ".abn"), "^Müller\r\n^Smith\r\n^\r\n*Open\r\n@Paris\r\n");
  CloseDatabase(db);

  WriteFile(base + ".abn", "^A\n# comment\n*T1\n\n@S1\n^B\r\n*T2\n^C\n");
  ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
  EXPECT_EQ(db.Warning, "");
  EXPECT_EQ(db.DBNames.Items(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(db.DBTourn.Items(), (std::vector<std::string>{"T1", "T2"}));
  EXPECT_EQ(db.DBSites.Items(), (std::vector<std::string>{"S1"}));
  CloseDatabase(db);

  // An 8-bit file from another program is read as Windows-1252 and rewritten so.
  WriteFile(base + ".abn", "^M\xFCller\r\n^\x80uro\r\n^\r\n*Open\r\n@Paris\r\n");
  ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
  EXPECT_EQ(db.DBNames.Items(), (std::vector<std::string>{"Müller", "€uro", ""}));
  g.WhiteName = "Zoë";
  ASSERT_TRUE(WriteGame(g, 0, db, true)) << db.LastError;
  EXPECT_EQ(ReadFile(base + ".abn"),
            "^M\xFCller\r\n^\x80uro\r\n^\r\n^Zo\xEB\r\n^Smith\r\n*Open\r\n@Paris\r\n");
}

// ---------------------------------------------------------------------------
// Games

class GamesRoundTrip : public testing::TestWithParam<int> {};

TEST_P(GamesRoundTrip, WrittenGamesReadBackIdentical) {
  const uint8_t version = static_cast<uint8_t>(GetParam());
  const auto dir = FreshDir("db-roundtrip");
  const std::string base = Base(dir);
  std::vector<TGame> games = MakeDatabase(base, 5, version);
  EXPECT_EQ(games[0].Header.Offset, 1);  // first body right after the version byte
  EXPECT_FALSE(games[0].Modified);
  EXPECT_EQ(SizeOf(base + ".abd"), 5 * kIndexRecordSize);
  if (version == kDBVersion30) {
    EXPECT_EQ(games[0].Header.Crc, 0u);
  }

  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  EXPECT_EQ(db.DBType, version);
  ASSERT_EQ(db.DBSize, 5);
  for (int n = 5; n >= 1; --n) {   // any order
    TGame g = MakeGame(0, false);  // leftovers must not survive the read
    ASSERT_TRUE(ReadGame(db, n, false, -1, g)) << db.LastError;
    EXPECT_EQ(g.DBGameNo, n);
    EXPECT_EQ(g.DBName, base + ".abm");
    SCOPED_TRACE("game " + std::to_string(n));
    ExpectSameGame(games[n - 1], g, version);
  }
  TGame g;
  ASSERT_TRUE(ReadGame(db, 2, false, 0, g));
  EXPECT_EQ(g.Header.ShowFrom, 0);
  EXPECT_FALSE(ReadGame(db, 6, false, -1, g));
  EXPECT_FALSE(ReadGame(db, 0, false, -1, g));
}

INSTANTIATE_TEST_SUITE_P(Versions, GamesRoundTrip, testing::Values(30, 38));

TEST(Games, CustomVariantRoundTrip) {
  const auto dir = FreshDir("db-custom");
  const std::string base = Base(dir);
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[kRussian];
  g.Params.TypeOfGame = 0;
  g.Params.Name = "Mini";
  g.Params.BoardWidth = 6;
  g.Params.BoardHeight = 6;
  g.Params.TurkishCapture = true;
  ComputeBoardGeometry(g.Params);
  g.Header.TypeOfGame = 0;
  g.StartBoard = TBrd{};
  g.StartBoard[1] = kWhiteMan;
  g.StartBoard[2] = kWhiteKing;
  g.StartBoard[18] = kBlackMan;
  AddMove(g, Quiet(1, 4), 0);
  g.WhiteName = "A";

  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db));
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  EXPECT_EQ(static_cast<uint8_t>(ReadFile(base + ".abd")[57]), 255);
  TGame r;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, r)) << db.LastError;
  EXPECT_EQ(r.Header.TypeOfGame, 0);
  EXPECT_EQ(r.Params.Name, "Mini");
  EXPECT_EQ(r.Params.BoardWidth, 6);
  EXPECT_EQ(r.Params.compute.BoardSize, 18);
  EXPECT_TRUE(r.Params.TurkishCapture);
  EXPECT_EQ(r.StartBoard, g.StartBoard);
  EXPECT_EQ(r.Comments[0].CommentAdd, g.Comments[0].CommentAdd);
  EXPECT_EQ(r.Moves[1].mv, g.Moves[1].mv);
}

// A replaced game's new body goes to the end of the games file, shorter or not:
// overwritten in place, the old body would be lost to a crash before the new
// index record is written.
TEST(Games, ReplaceAppendsTheNewBodyAndLeavesTheOldOneWhole) {
  const auto dir = FreshDir("db-replace");
  const std::string base = Base(dir);
  std::vector<TGame> games = MakeDatabase(base, 3);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));

  for (const bool shorter : {true, false}) {
    TGame g;
    if (shorter) {
      ASSERT_TRUE(ReadGame(db, 2, false, -1, g));
      DeleteSubtree(g, g.Moves[g.Moves[0].next].next);
      g.BlackName = "Replacement";
    } else {
      g = MakeGame(7, true);
    }
    TGameHeader old;
    ASSERT_TRUE(ReadIndexRecord(db, 2, old));
    const std::string oldBody = ReadFile(base + ".abm").substr(old.Offset, old.Length);
    const int64_t mainSize = SizeOf(base + ".abm");
    ASSERT_TRUE(WriteGame(g, 2, db, false)) << db.LastError;
    EXPECT_EQ(g.Header.Offset, mainSize) << shorter;
    EXPECT_EQ(SizeOf(base + ".abm"), mainSize + g.Header.Length) << shorter;
    EXPECT_EQ(ReadFile(base + ".abm").substr(old.Offset, old.Length), oldBody) << shorter;
    EXPECT_EQ(db.DBSize, 3);
    EXPECT_EQ(SizeOf(base + ".abd"), 3 * kIndexRecordSize);
    TGame r;
    ASSERT_TRUE(ReadGame(db, 2, false, -1, r)) << db.LastError;
    ExpectSameGame(g, r, kDBVersion38);
  }

  // The neighbours are untouched.
  TGame r;
  for (int n : {1, 3}) {
    ASSERT_TRUE(ReadGame(db, n, false, -1, r)) << db.LastError;
    ExpectSameGame(games[n - 1], r, kDBVersion38);
  }

  // A game number that does not exist is not created.
  TGame longer = MakeGame(7, true);
  EXPECT_FALSE(WriteGame(longer, 5, db, false));
  EXPECT_EQ(SizeOf(base + ".abd"), 3 * kIndexRecordSize);
}

TEST(Games, DeletedMarkModes) {
  const auto dir = FreshDir("db-delmark");
  const std::string base = Base(dir);
  MakeDatabase(base, 2);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));
  const std::string before = ReadFile(base + ".abd");
  TGameHeader h;
  struct Step {
    int mode;
    bool deleted;
  };
  for (Step s :
       {Step{2, true}, Step{2, true}, Step{3, false}, Step{3, true}, Step{1, false}, Step{1, false}}) {
    ASSERT_TRUE(SetDeletedMark(db, 2, s.mode)) << db.LastError;
    ASSERT_TRUE(ReadIndexRecord(db, 2, h));
    EXPECT_EQ((h.Flags & kDeletedFlag) != 0, s.deleted) << "mode " << s.mode;
  }
  ASSERT_TRUE(SetDeletedMark(db, 2, 2));
  std::string after = ReadFile(base + ".abd");
  EXPECT_EQ(static_cast<uint8_t>(after[kIndexRecordSize + 48]) & 0x80, 0x80);
  after[kIndexRecordSize + 48] = before[kIndexRecordSize + 48];
  EXPECT_EQ(after, before);  // nothing else changed
  EXPECT_FALSE(SetDeletedMark(db, 3, 2));
  EXPECT_FALSE(SetDeletedMark(db, 1, 4));
}

TEST(Games, CompactRemovesDeletedRecordsAndKeepsTheRest) {
  const auto dir = FreshDir("db-compact");
  const std::string base = Base(dir);
  std::vector<TGame> games = MakeDatabase(base, 5);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));
  ASSERT_TRUE(SetDeletedMark(db, 2, 2));
  ASSERT_TRUE(SetDeletedMark(db, 4, 2));
  const std::string idx = ReadFile(base + ".abd");
  const std::string main = ReadFile(base + ".abm");
  const std::string names = ReadFile(base + ".abn");
  db.DBCurPos = 5;
  ASSERT_TRUE(CompactIndex(db)) << db.LastError;
  EXPECT_EQ(db.DBSize, 3);
  EXPECT_EQ(db.DBCurPos, 3);
  const auto rec = [&](int n) { return idx.substr((n - 1) * kIndexRecordSize, kIndexRecordSize); };
  EXPECT_EQ(ReadFile(base + ".abd"), rec(1) + rec(3) + rec(5));
  EXPECT_EQ(ReadFile(base + ".abm"), main);
  EXPECT_EQ(ReadFile(base + ".abn"), names);
  EXPECT_FALSE(fs::exists(base + ".abd.new"));
  TGame r;
  int n = 1;
  for (int old : {1, 3, 5}) {
    ASSERT_TRUE(ReadGame(db, n++, false, -1, r)) << db.LastError;
    ExpectSameGame(games[old - 1], r, kDBVersion38);
  }
  // Writing goes on in the compacted index.
  TGame g = MakeGame(1, true);
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  EXPECT_EQ(db.DBSize, 4);
  CloseDatabase(db);
  ASSERT_TRUE(OpenDatabase(base, db, true));
  EXPECT_EQ(db.DBSize, 4);
  ASSERT_TRUE(ReadGame(db, 4, false, -1, r)) << db.LastError;
  ExpectSameGame(g, r, kDBVersion38);
}

TEST(Games, Version30DatabaseIsNotCompacted) {
  const auto dir = FreshDir("db-compact30");
  const std::string base = Base(dir);
  MakeDatabase(base, 2, kDBVersion30);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));
  ASSERT_TRUE(SetDeletedMark(db, 1, 2));
  EXPECT_FALSE(CompactIndex(db));
  EXPECT_EQ(SizeOf(base + ".abd"), 2 * kIndexRecordSize);
}

TEST(Games, UnknownVariantIsRefusedBothWays) {
  const auto dir = FreshDir("db-variant15");
  const std::string base = Base(dir);
  MakeDatabase(base, 1);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));
  const std::string idx = ReadFile(base + ".abd"), main = ReadFile(base + ".abm");
  TGame g = MakeGame(1, true);
  g.Header.TypeOfGame = 15;
  EXPECT_FALSE(WriteGame(g, 0, db, true));
  EXPECT_FALSE(WriteGame(g, 1, db, true));
  EXPECT_EQ(ReadFile(base + ".abd"), idx);
  EXPECT_EQ(ReadFile(base + ".abm"), main);
  CloseDatabase(db);

  Patch(base + ".abd", 57, std::string(1, '\x0F'));
  ASSERT_TRUE(OpenDatabase(base, db, true));
  TGame r;
  EXPECT_FALSE(ReadGame(db, 1, false, -1, r));
  EXPECT_NE(db.LastError.find("Unsupported GameType"), std::string::npos) << db.LastError;
  EXPECT_EQ(r.Header.LastMove, 0);
}

TEST(Games, WritesRefusedWhereTheyDoNotBelong) {
  const auto dir = FreshDir("db-refuse");
  const std::string base = Base(dir);
  MakeDatabase(base, 1);
  const std::string idx = ReadFile(base + ".abd"), main = ReadFile(base + ".abm");
  TQuorlinDB db;
  TGame g = MakeGame(1, true);
  EXPECT_FALSE(WriteGame(g, 0, db, true));  // closed
  ASSERT_TRUE(OpenDatabase(base, db, true));
  EXPECT_FALSE(WriteGame(g, 0, db, true));
  EXPECT_FALSE(SetDeletedMark(db, 1, 2));
  EXPECT_FALSE(CompactIndex(db));
  EXPECT_TRUE(g.Modified);
  CloseDatabase(db);
  EXPECT_EQ(ReadFile(base + ".abd"), idx);
  EXPECT_EQ(ReadFile(base + ".abm"), main);
}

// A version-20 database, built byte by byte: read, never written.
TEST(Games, Version20DatabaseIsReadOnly) {
  const auto dir = FreshDir("db-v20");
  const std::string base = Base(dir);
  // Body: template start, one node (main, short parent, no capture): parent 0, 9-13.
  const std::string body = std::string("\x00\x98\x00\x09\x0D", 5);
  std::string rec(kIndexRecordSize20, '\0');
  rec[0] = 1;   // white: name 1
  rec[8] = 0;   // black: name 0
  rec[18] = 0;  // tournament 0
  rec[33] = 1;  // Russian
  rec[34] = 2;  // draw
  rec[36] = 1;  // last node
  SetLe32(rec, 40, 1);
  SetLe32(rec, 44, static_cast<uint32_t>(body.size()));
  WriteFile(base + ".abm", std::string(1, '\x14') + body);
  WriteFile(base + ".abd", rec);
  WriteFile(base + ".abn", "^Black Player\r\n^White Player\r\n*Old Cup\r\n");
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
  EXPECT_EQ(db.DBType, 20);
  EXPECT_EQ(db.DBSize, 1);
  TGame g;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, g)) << db.LastError;
  EXPECT_EQ(g.Version, 30);
  EXPECT_EQ(g.WhiteName, "White Player");
  EXPECT_EQ(g.BlackName, "Black Player");
  EXPECT_EQ(g.Tournament, "Old Cup");
  EXPECT_EQ(g.Header.Result, 2);
  EXPECT_EQ(g.Moves[1].mv[0], 9);
  EXPECT_EQ(g.Moves[1].mv[1], 13);
  EXPECT_EQ(g.StartBoard, StartPosition(VariantTable[kRussian], true));
  const std::string before = ReadFile(base + ".abd") + ReadFile(base + ".abm") + ReadFile(base + ".abn");
  EXPECT_FALSE(WriteGame(g, 0, db, true));
  EXPECT_FALSE(WriteGame(g, 1, db, true));
  CloseDatabase(db);
  EXPECT_EQ(ReadFile(base + ".abd") + ReadFile(base + ".abm") + ReadFile(base + ".abn"), before);
}

// ---------------------------------------------------------------------------
// Damaged files

struct Damage {
  const char* name;
  void (*apply)(const std::string& base);
  int game;              // the game that must fail
  const char* mentions;  // in the error
};

const Damage kDamages[] = {
    {"IndexCutInsideRecord3",
     [](const std::string& b) { fs::resize_file(b + ".abd", 2 * kIndexRecordSize + 40); }, 3, ".abd: game 3"},
    {"OffsetPastTheGamesFile",
     [](const std::string& b) { Patch(b + ".abd", kIndexRecordSize + 68, Le32(1u << 30)); }, 2,
     ".abm: game 2"},
    {"LengthPastTheGamesFile",
     [](const std::string& b) { Patch(b + ".abd", kIndexRecordSize + 72, Le32(1u << 20)); }, 2,
     ".abm: game 2"},
    {"NegativeLength",
     [](const std::string& b) { Patch(b + ".abd", kIndexRecordSize + 72, Le32(0xFFFFFFF0)); }, 2, "game 2"},
    {"OffsetZero", [](const std::string& b) { Patch(b + ".abd", kIndexRecordSize + 68, Le32(0)); }, 2,
     "game 2"},
    {"HugeLastMove", [](const std::string& b) { Patch(b + ".abd", kIndexRecordSize + 60, Le32(0x7FFFFFFF)); },
     2, ".abd: game 2"},
    {"GamesFileCut", [](const std::string& b) { fs::resize_file(b + ".abm", fs::file_size(b + ".abm") - 3); },
     3, ".abm: game 3"},
    {"BodyByteFlipped",
     [](const std::string& b) {
       const std::string idx = ReadFile(b + ".abd");
       uint32_t off = 0;
       for (int k = 0; k < 4; ++k)
         off |= uint32_t{static_cast<uint8_t>(idx[kIndexRecordSize + 68 + k])} << (8 * k);
       Patch(b + ".abm", off + 3, "\x5A");
     },
     2, "checksum"},
    {"CrcChanged", [](const std::string& b) { Patch(b + ".abd", kIndexRecordSize + 84, Le32(12345)); }, 2,
     "checksum"},
};

class DamagedDatabase : public testing::TestWithParam<Damage> {};

TEST_P(DamagedDatabase, ReadGameFailsNamingFileAndGameAndTheOthersStillRead) {
  const Damage& d = GetParam();
  const auto dir = FreshDir("db-damage");
  const std::string base = Base(dir);
  std::vector<TGame> games = MakeDatabase(base, 3);
  d.apply(base);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  TGame g = MakeGame(4, true);
  EXPECT_FALSE(ReadGame(db, d.game, false, -1, g));
  EXPECT_NE(db.LastError.find(d.mentions), std::string::npos) << db.LastError;
  EXPECT_EQ(g.Header.LastMove, 0);  // cleared
  EXPECT_EQ(g.DBGameNo, 0);
  EXPECT_TRUE(g.Comments[0].CommentAft.empty());
  ASSERT_TRUE(ReadGame(db, 1, false, -1, g)) << db.LastError;
  ExpectSameGame(games[0], g, kDBVersion38);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedDatabase, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<Damage>& info) { return info.param.name; });

// Garbage in every byte of the index and games files: every read fails or
// succeeds, none crashes or reads past the end.
TEST(DamagedDatabase, GarbageNeverCrashes) {
  const auto dir = FreshDir("db-garbage");
  const std::string base = Base(dir);
  MakeDatabase(base, 3);
  uint32_t seed = 12345;
  auto rnd = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<char>(seed >> 16);
  };
  for (uint8_t version : {kDBVersion30, kDBVersion38}) {
    for (int round = 0; round < 40; ++round) {
      std::string idx(static_cast<size_t>(kIndexRecordSize * 4), '\0');
      for (char& c : idx) c = rnd();
      std::string main(600, '\0');
      for (char& c : main) c = rnd();
      main[0] = static_cast<char>(version);
      // Keep some offsets and lengths inside the file so the decoder sees garbage.
      for (int n = 0; n < 4; ++n) {
        idx[n * kIndexRecordSize + 57] = static_cast<char>(1 + n);
        SetLe32(idx, n * kIndexRecordSize + 60, static_cast<uint8_t>(rnd()) % 40);
        const uint32_t off = 1 + static_cast<uint8_t>(rnd()), len = static_cast<uint8_t>(rnd());
        SetLe32(idx, n * kIndexRecordSize + 68, off);
        SetLe32(idx, n * kIndexRecordSize + 72, len);
        // A matching checksum lets the garbage reach the decoder.
        SetLe32(idx, n * kIndexRecordSize + 84,
                BodyChecksum(reinterpret_cast<const uint8_t*>(main.data()) + off, len));
      }
      WriteFile(base + ".abd", idx);
      WriteFile(base + ".abm", main);
      WriteFile(base + ".abn", version == kDBVersion38 ? "\xEF\xBB\xBF" : "");
      TQuorlinDB db;
      ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
      TGame g;
      for (int n = 0; n <= 5; ++n) {
        if (!ReadGame(db, n, false, -1, g)) {
          EXPECT_FALSE(db.LastError.empty());
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Failed writes (disk full, simulated by a file size limit)

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

 private:
  rlimit old_{};
};

TEST(FailedWrites, BodyThatDoesNotFitIsReportedAndNothingChanges) {
  const auto dir = FreshDir("db-full-body");
  const std::string base = Base(dir);
  std::vector<TGame> games = MakeDatabase(base, 2);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));
  const std::string idx = ReadFile(base + ".abd"), main = ReadFile(base + ".abm");
  TGame g = MakeGame(5, true);
  {
    FileSizeLimit limit(static_cast<rlim_t>(main.size() + 10));
    EXPECT_FALSE(WriteGame(g, 0, db, false));
  }
  EXPECT_NE(db.LastError.find(".abm"), std::string::npos) << db.LastError;
  EXPECT_TRUE(g.Modified);
  EXPECT_EQ(ReadFile(base + ".abd"), idx);
  EXPECT_EQ(ReadFile(base + ".abm"), main);  // the partial body was cut away
  TGame r;
  for (int n = 1; n <= 2; ++n) {
    ASSERT_TRUE(ReadGame(db, n, false, -1, r)) << db.LastError;
    ExpectSameGame(games[n - 1], r, kDBVersion38);
  }
  // With room again the same game goes in.
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  ASSERT_TRUE(ReadGame(db, 3, false, -1, r)) << db.LastError;
  ExpectSameGame(g, r, kDBVersion38);
}

TEST(FailedWrites, IndexRecordThatDoesNotFitIsReportedAndLeavesNoHalfRecord) {
  const auto dir = FreshDir("db-full-index");
  const std::string base = Base(dir);
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db));
  TGame tiny;  // no moves: a few bytes of body against 88 of index
  ClearGame(tiny);
  tiny.Header.TypeOfGame = kRussian;
  tiny.Params = VariantTable[kRussian];
  tiny.StartBoard = StartPosition(tiny.Params, true);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteGame(tiny, 0, db, false)) << db.LastError;
  const std::string idx = ReadFile(base + ".abd");
  ASSERT_LT(SizeOf(base + ".abm") + 20, static_cast<int64_t>(idx.size()));
  {
    FileSizeLimit limit(static_cast<rlim_t>(idx.size() + 40));
    EXPECT_FALSE(WriteGame(tiny, 0, db, false));
  }
  EXPECT_NE(db.LastError.find(".abd: game 4"), std::string::npos) << db.LastError;
  EXPECT_EQ(ReadFile(base + ".abd"), idx);
  EXPECT_EQ(db.DBSize, 3);
  CloseDatabase(db);
  ASSERT_TRUE(OpenDatabase(base, db, true));
  EXPECT_EQ(db.DBSize, 3);
  TGame r;
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(ReadGame(db, n, false, -1, r)) << db.LastError;
}

TEST(FailedWrites, NamesFileThatCannotBeWrittenKeepsTheOldOne) {
  const auto dir = FreshDir("db-full-names");
  const std::string base = Base(dir);
  MakeDatabase(base, 1);
  const std::string names = ReadFile(base + ".abn");
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false));
  TGame g = MakeGame(2, true);
  g.WhiteName = std::string(4000, 'N');
  {
    FileSizeLimit limit(static_cast<rlim_t>(names.size() + 100));
    EXPECT_FALSE(WriteGame(g, 0, db, /*saveNames=*/true));
  }
  EXPECT_EQ(ReadFile(base + ".abn"), names);
  EXPECT_FALSE(fs::exists(base + ".abn.new"));
  EXPECT_EQ(db.DBSize, 1);
  EXPECT_TRUE(db.DBChanged);
  {
    FileSizeLimit limit(static_cast<rlim_t>(names.size() + 100));
    EXPECT_FALSE(CloseDatabase(db));  // the new names would be lost: it stays open
    EXPECT_TRUE(db.DBOpened);
    EXPECT_FALSE(OpenDatabase(base, db, true));
    EXPECT_TRUE(db.DBOpened);
    EXPECT_TRUE(db.DBChanged);
  }
  ASSERT_TRUE(CloseDatabase(db)) << db.LastError;  // room again: the names go out on close
  EXPECT_FALSE(db.DBOpened);
  EXPECT_NE(ReadFile(base + ".abn").find(std::string(4000, 'N')), std::string::npos);
}

// ---------------------------------------------------------------------------
// The quorlin db command

TEST(QuorlinDb, InfoListAndCheckReadWithoutWriting) {
  const auto dir = FreshDir("db-cmd");
  const std::string base = Base(dir);
  MakeDatabase(base, 3);
  {
    TQuorlinDB db;
    ASSERT_TRUE(OpenDatabase(base, db, false));
    ASSERT_TRUE(SetDeletedMark(db, 2, 2));
  }
  const std::string before = ReadFile(base + ".abd") + ReadFile(base + ".abm") + ReadFile(base + ".abn");
  std::string out;
  ASSERT_EQ(test::RunQuorlin("db info " + base + ".abd", out), 0) << out;
  EXPECT_NE(out.find("games:        3 (1 marked deleted)"), std::string::npos) << out;
  EXPECT_NE(out.find("version:      38"), std::string::npos) << out;
  ASSERT_EQ(test::RunQuorlin("db list " + base + ".abd 2 1", out), 0) << out;
  EXPECT_NE(out.find("     2  -vcD  Иванов Пётр - Ørsted 1  2-0  Кубок мира  São Paulo  2024-12-31  Russian"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("     3 "), std::string::npos) << out;
  ASSERT_EQ(test::RunQuorlin("db check " + base + ".abd", out), 0) << out;
  EXPECT_NE(out.find("3 games, 0 unreadable"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(base + ".abd") + ReadFile(base + ".abm") + ReadFile(base + ".abn"), before);

  Patch(base + ".abd", 2 * kIndexRecordSize + 84, Le32(1));
  EXPECT_EQ(test::RunQuorlin("db check " + base + ".abd", out), 1) << out;
  EXPECT_NE(out.find("game 3: checksum mismatch"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("db info " + (dir / "none.abd").string(), out), 2) << out;
  EXPECT_EQ(test::RunQuorlin("db frobnicate " + base + ".abd", out), 2) << out;
}

}  // namespace
}  // namespace quorlin
