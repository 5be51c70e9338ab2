// Databases as a crash leaves them (names file missing or short, half an index
// record, a creation cut short, a replaced index record torn), batches of held index records, and the stored
// tournament text.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "games/database.h"
#include "games/dbcheck.h"
#include "games/gamerecord.h"
#include "io_faults.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::ReadFile;
using test::WriteFile;

// A Russian game with one move whose five texts are all new: "White 3", ...
TGame NamedGame(int i) {
  TGame g;
  ClearGame(g);
  g.Header.TypeOfGame = kRussian;
  g.Params = VariantTable[kRussian];
  g.StartBoard = StartPosition(g.Params, true);
  TMove m;
  m.mv[0] = 9;
  m.mv[1] = 13;
  AddMove(g, m, 0);
  const std::string n = std::to_string(i);
  g.WhiteName = "White " + n;
  g.BlackName = "Black " + n;
  g.AnnotatorName = "Notes " + n;
  g.Tournament = "Cup " + n;
  g.Site = "Town " + n;
  return g;
}

std::string Base(const fs::path& dir) { return (dir / "games").string(); }

// Creates a database of `count` named games; `namesAfterFirst` receives the
// names file as it stood after the first game.
void MakeNamedDatabase(const std::string& base, int count, std::string* namesAfterFirst = nullptr) {
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db)) << db.LastError;
  for (int i = 1; i <= count; ++i) {
    TGame g = NamedGame(i);
    ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
    if (i == 1 && namesAfterFirst) *namesAfterFirst = ReadFile(base + ".abn");
  }
  ASSERT_TRUE(CloseDatabase(db)) << db.LastError;
}

// The database opens for reading without a warning, holds `games` games and
// checks clean.
void ExpectClean(const std::string& base, int games) {
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  EXPECT_EQ(db.Warning, "");
  EXPECT_EQ(db.DBSize, games);
  TDBCheckReport check;
  CheckDatabase(db, check);
  EXPECT_TRUE(check.Clean()) << check.problems[0];
}

std::string AllFiles(const std::string& base) {
  return ReadFile(base + ".abd") + ReadFile(base + ".abm") + ReadFile(base + ".abn");
}

// ---------------------------------------------------------------------------
// Names a crash kept from the names file

struct LostNames {
  const char* name;
  bool fileMissing;   // else the names file holds only the first game's entries
  const char* words;  // in the warning
};

class CrashLeftNames : public testing::TestWithParam<LostNames> {};

TEST_P(CrashLeftNames, GamesOpenWithQuestionMarksAndNewNamesGoAfterThem) {
  const LostNames& c = GetParam();
  const auto dir = FreshDir("db-lostnames");
  const std::string base = Base(dir);
  std::string namesAfterFirst;
  MakeNamedDatabase(base, 3, &namesAfterFirst);
  if (c.fileMissing)
    fs::remove(base + ".abn");
  else
    WriteFile(base + ".abn", namesAfterFirst);
  const int firstLost = c.fileMissing ? 1 : 2;
  const std::string before = ReadFile(base + ".abd") + ReadFile(base + ".abm");

  // Read only: a warning naming the file, "?" for what was lost, and the check
  // reports every game that lost names.
  {
    TQuorlinDB db;
    ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
    EXPECT_NE(db.Warning.find(base + ".abn: " + c.words), std::string::npos) << db.Warning;
    TGame g;
    for (int n = 1; n <= 3; ++n) {
      ASSERT_TRUE(ReadGame(db, n, false, -1, g)) << db.LastError;
      const bool lost = n >= firstLost;
      EXPECT_EQ(g.WhiteName, lost ? "?" : "White 1") << n;
      EXPECT_EQ(g.Tournament, lost ? "?" : "Cup 1") << n;
      EXPECT_EQ(g.Site, lost ? "?" : "Town 1") << n;
    }
    TDBCheckReport check;
    CheckDatabase(db, check);
    EXPECT_EQ(check.unreadable, 0);
    EXPECT_EQ(check.lostNames, 4 - firstLost);
    ASSERT_FALSE(check.problems.empty());
    EXPECT_NE(check.problems.back().find("game 3: White 6 is not among the"), std::string::npos)
        << check.problems.back();
    EXPECT_FALSE(db.DBChanged);
  }
  EXPECT_EQ(ReadFile(base + ".abd") + ReadFile(base + ".abm"), before);
  EXPECT_EQ(fs::exists(base + ".abn"), !c.fileMissing);

  // For writing: the names file is written whole again, lost entries as "?",
  // and a new game's names go after them.
  {
    TQuorlinDB db;
    ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
    EXPECT_NE(db.Warning.find("written again"), std::string::npos) << db.Warning;
    TGame g = NamedGame(4);
    ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
    EXPECT_EQ(g.Header.White.NameIndex, 9);
    EXPECT_EQ(g.Header.TournamentIndex, 3);
  }
  ExpectClean(base, 4);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  TGame g;
  ASSERT_TRUE(ReadGame(db, 3, false, -1, g));
  EXPECT_EQ(g.BlackName, "?");
  ASSERT_TRUE(ReadGame(db, 4, false, -1, g));
  EXPECT_EQ(g.BlackName, "Black 4");
  EXPECT_EQ(g.Site, "Town 4");
}

INSTANTIATE_TEST_SUITE_P(Cases, CrashLeftNames,
                         testing::Values(LostNames{"NamesFileMissing", true, "the names file is missing"},
                                         LostNames{"NamesFileShort", false, "the names file is short"}),
                         [](const testing::TestParamInfo<LostNames>& info) { return info.param.name; });

// A reference far beyond anything a crash can lose is damage: it is not filled
// up with millions of "?" entries, and it still reads as the error text.
TEST(CrashLeftNames, DamagedReferenceIsNotFilledUp) {
  const auto dir = FreshDir("db-badref");
  const std::string base = Base(dir);
  MakeNamedDatabase(base, 2);
  std::string idx = ReadFile(base + ".abd");
  idx[0] = '\x00';
  idx[1] = '\x00';
  idx[2] = '\x00';
  idx[3] = '\x10';  // White of game 1: name 2^28
  WriteFile(base + ".abd", idx);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  EXPECT_EQ(db.Warning, "");
  EXPECT_EQ(db.DBNames.Count(), 6);
  TGame g;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, g));
  EXPECT_EQ(g.WhiteName, "ERROR!!!");
  TDBCheckReport check;
  CheckDatabase(db, check);
  EXPECT_EQ(check.lostNames, 1);
}

// ---------------------------------------------------------------------------
// Other leftovers of a crash

struct Leftover {
  const char* name;
  std::vector<const char*> emptyFiles;  // of a creation cut short
};

class InterruptedCreation : public testing::TestWithParam<Leftover> {};

TEST_P(InterruptedCreation, DoesNotOpenButIsCreatedAfresh) {
  const auto dir = FreshDir("db-halfmade");
  const std::string base = Base(dir);
  for (const char* ext : GetParam().emptyFiles)
    WriteFile(base + ext, ext == std::string(".abn") ? "\xEF\xBB\xBF" : "");
  TQuorlinDB db;
  EXPECT_FALSE(OpenDatabase(base, db, false));
  EXPECT_FALSE(CreateDatabase(base, db));  // never replaces without being asked
  ASSERT_TRUE(OpenOrCreateDatabase(base, db)) << db.LastError;
  EXPECT_EQ(db.DBSize, 0);
  TGame g = NamedGame(1);
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  ASSERT_TRUE(CloseDatabase(db));
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  EXPECT_EQ(db.DBSize, 1);
  EXPECT_EQ(db.Warning, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, InterruptedCreation,
                         testing::Values(Leftover{"NamesFileOnly", {".abn"}},
                                         Leftover{"NamesAndIndex", {".abn", ".abd"}},
                                         Leftover{"GamesFileWithoutVersionByte", {".abn", ".abd", ".abm"}}),
                         [](const testing::TestParamInfo<Leftover>& info) { return info.param.name; });

// A database whose games file has lost its version byte but whose index holds
// games is not taken for a creation cut short: nothing is replaced.
TEST(InterruptedCreation, IndexWithGamesIsNeverReplaced) {
  const auto dir = FreshDir("db-nobyte");
  const std::string base = Base(dir);
  MakeNamedDatabase(base, 1);
  WriteFile(base + ".abm", "");
  const std::string before = AllFiles(base);
  TQuorlinDB db;
  EXPECT_FALSE(OpenOrCreateDatabase(base, db));
  EXPECT_NE(db.LastError.find("Cannot open the database."), std::string::npos) << db.LastError;
  EXPECT_EQ(AllFiles(base), before);
}

TEST(HalfIndexRecord, IsNoGameAndTheNextGameTakesItsPlace) {
  const auto dir = FreshDir("db-halfrecord");
  const std::string base = Base(dir);
  MakeNamedDatabase(base, 2);
  const std::string idx = ReadFile(base + ".abd");
  WriteFile(base + ".abd", idx + idx.substr(0, 40));
  ExpectClean(base, 2);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
  TGame g = NamedGame(3);
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  EXPECT_EQ(db.DBSize, 3);
  EXPECT_EQ(fs::file_size(base + ".abd"), 3u * kIndexRecordSize);
  // Compacting cuts a half record off as well.
  WriteFile(base + ".abd", ReadFile(base + ".abd") + "xyz");
  ASSERT_TRUE(CompactIndex(db)) << db.LastError;
  EXPECT_EQ(fs::file_size(base + ".abd"), 3u * kIndexRecordSize);
  TGame r;
  ASSERT_TRUE(ReadGame(db, 3, false, -1, r)) << db.LastError;
  EXPECT_EQ(r.WhiteName, "White 3");
}

// ---------------------------------------------------------------------------
// A replacement cut short: the undo file beside the index

std::string UndoPathOf(const std::string& base) { return base + ".abd.undo"; }

// The undo file as the database writes it: magic, version, game number, the
// old record, and the CRC-32 of all that.
std::string UndoFileBytes(int game, const std::string& record) {
  std::string b(kUndoFileSize, '\0');
  auto* p = reinterpret_cast<uint8_t*>(b.data());
  b.replace(0, 4, "QDUN");
  p[4] = kUndoFileVersion;
  PutLE32(p + 8, static_cast<uint32_t>(game));
  b.replace(12, kIndexRecordSize, record);
  PutLE32(p + 100, BodyChecksum(p, 100));
  return b;
}

enum class TUndoLeft { valid, tooShort, badChecksum, gameOutOfRange };

struct UndoCase {
  const char* name;
  TUndoLeft undo;
  bool readOnly;
};

void PrintTo(const UndoCase& c, std::ostream* os) { *os << c.name; }

class UndoFileOnOpen : public testing::TestWithParam<UndoCase> {};

TEST_P(UndoFileOnOpen, TornRecordIsNeverReadAndADamagedUndoFileIsIgnored) {
  const UndoCase& c = GetParam();
  const auto dir = FreshDir("db-undo");
  const std::string base = Base(dir);
  MakeNamedDatabase(base, 3);
  const std::string before = ReadFile(base + ".abd");
  {
    TQuorlinDB db;
    ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
    TGame g = NamedGame(9);
    ASSERT_TRUE(WriteGame(g, 2, db, true)) << db.LastError;
    EXPECT_FALSE(fs::exists(UndoPathOf(base))) << "kept after the record was written";
    ASSERT_TRUE(CloseDatabase(db)) << db.LastError;
  }
  const std::string replaced = ReadFile(base + ".abd");
  ASSERT_NE(replaced, before);
  // A valid undo file: the crash came while game 2's record was written (half
  // new, half old). One that fails its checks was cut short itself, before
  // the record was touched.
  std::string index = before;
  std::string undo = UndoFileBytes(2, before.substr(kIndexRecordSize, kIndexRecordSize));
  switch (c.undo) {
    case TUndoLeft::valid:
      index = before.substr(0, kIndexRecordSize) + replaced.substr(kIndexRecordSize, kIndexRecordSize / 2) +
              before.substr(kIndexRecordSize + kIndexRecordSize / 2);
      break;
    case TUndoLeft::tooShort:
      undo.resize(kUndoFileSize - 30);
      break;
    case TUndoLeft::badChecksum:
      undo[12 + 70] ^= 1;
      break;
    case TUndoLeft::gameOutOfRange:
      undo = UndoFileBytes(4, before.substr(kIndexRecordSize, kIndexRecordSize));
      break;
  }
  WriteFile(base + ".abd", index);
  WriteFile(UndoPathOf(base), undo);
  const std::string files = AllFiles(base);

  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, c.readOnly)) << db.LastError;
  EXPECT_EQ(db.Warning, "");
  EXPECT_EQ(db.DBSize, 3);
  for (int n = 1; n <= 3; ++n) {
    TGame r;
    ASSERT_TRUE(ReadGame(db, n, false, -1, r)) << "game " << n << ": " << db.LastError;
    EXPECT_EQ(r.WhiteName, "White " + std::to_string(n));
    EXPECT_EQ(r.Site, "Town " + std::to_string(n));
  }
  ASSERT_TRUE(CloseDatabase(db)) << db.LastError;
  if (c.readOnly) {
    EXPECT_EQ(AllFiles(base), files);
    EXPECT_EQ(ReadFile(UndoPathOf(base)), undo);
  } else {
    EXPECT_EQ(ReadFile(base + ".abd"), before);
    EXPECT_FALSE(fs::exists(UndoPathOf(base)));
    ExpectClean(base, 3);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, UndoFileOnOpen,
                         testing::Values(UndoCase{"valid_put_back", TUndoLeft::valid, false},
                                         UndoCase{"valid_read_only", TUndoLeft::valid, true},
                                         UndoCase{"too_short", TUndoLeft::tooShort, false},
                                         UndoCase{"bad_checksum", TUndoLeft::badChecksum, false},
                                         UndoCase{"game_out_of_range", TUndoLeft::gameOutOfRange, false},
                                         UndoCase{"damaged_read_only", TUndoLeft::badChecksum, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// When the old record cannot be kept the replacement is refused before any
// file changes.
TEST(UndoFile, ThatCannotBeWrittenRefusesTheReplacementAndChangesNothing) {
  const auto dir = FreshDir("db-undo-blocked");
  const std::string base = Base(dir);
  MakeNamedDatabase(base, 3);
  fs::create_directory(UndoPathOf(base));  // in the way of the file
  const std::string files = AllFiles(base);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
  TGame g = NamedGame(9);
  EXPECT_FALSE(WriteGame(g, 2, db, true));
  EXPECT_NE(db.LastError.find(UndoPathOf(base)), std::string::npos) << db.LastError;
  EXPECT_NE(db.LastError.find("game 2"), std::string::npos) << db.LastError;
  EXPECT_EQ(AllFiles(base), files);
  TGame r;
  ASSERT_TRUE(ReadGame(db, 2, false, -1, r)) << db.LastError;
  EXPECT_EQ(r.WhiteName, "White 2");
}

// A full disk tears the replacement's record and keeps the old one from going
// back: the game reads as before in the same session, and its record is put
// back before the index changes again.
TEST(UndoFile, RecordTornByAFullDiskReadsAsBeforeUntilPutBack) {
  const std::string pristine = Base(FreshDir("db-undo-full"));
  MakeNamedDatabase(pristine, 3);
  const std::string before = ReadFile(pristine + ".abd");
  bool torn = false;
  for (int at = 1; at < 40 && !torn; ++at) {
    const auto dir = fs::absolute(FreshDir("db-undo-full"));
    const std::string base = Base(dir);
    for (const char* ext : {".abd", ".abm", ".abn"}) fs::copy_file(pristine + ext, base + ext);
    TQuorlinDB db;
    ASSERT_TRUE(OpenDatabase(base, db, false)) << db.LastError;
    TGame g = NamedGame(9);
    test::ArmFaults(dir.string(), test::TFault::diskFull, at);
    const bool written = WriteGame(g, 2, db, true);
    test::DisarmFaults();
    if (written) break;  // past the last change
    if (db.Undo.Game == 0) continue;
    torn = true;
    SCOPED_TRACE("disk full at change " + std::to_string(at));
    EXPECT_EQ(db.Undo.Game, 2);
    EXPECT_NE(db.LastError.find("previous version"), std::string::npos) << db.LastError;
    EXPECT_NE(ReadFile(base + ".abd"), before);
    EXPECT_TRUE(fs::exists(UndoPathOf(base)));
    TGame r;
    ASSERT_TRUE(ReadGame(db, 2, false, -1, r)) << db.LastError;
    EXPECT_EQ(r.WhiteName, "White 2");
    ASSERT_TRUE(SetDeletedMark(db, 3, 2)) << db.LastError;
    EXPECT_EQ(db.Undo.Game, 0);
    EXPECT_FALSE(fs::exists(UndoPathOf(base)));
    EXPECT_EQ(ReadFile(base + ".abd").substr(0, 2 * kIndexRecordSize),
              before.substr(0, 2 * kIndexRecordSize));
  }
  EXPECT_TRUE(torn) << "no change of the replacement tore its record";
}

// ---------------------------------------------------------------------------
// Batches

TEST(Batch, RecordsAreHeldUntilTheirNamesAndBodiesAreOnDisk) {
  const auto dir = FreshDir("db-batch");
  const std::string base = Base(dir);
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db)) << db.LastError;
  ASSERT_TRUE(BeginBatch(db, 2));
  const std::string emptyNames = ReadFile(base + ".abn");
  for (int i = 1; i <= 2; ++i) {
    TGame g = NamedGame(i);
    ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
    EXPECT_EQ(db.DBSize, i);
  }
  EXPECT_EQ(IndexRecordCount(db), 2);
  EXPECT_EQ(fs::file_size(base + ".abd"), 0u);  // held
  EXPECT_EQ(ReadFile(base + ".abn"), emptyNames);
  EXPECT_GT(fs::file_size(base + ".abm"), 1u);  // bodies go out at once

  TGame third = NamedGame(3);
  ASSERT_TRUE(WriteGame(third, 0, db, false)) << db.LastError;  // the full batch goes out first
  EXPECT_EQ(fs::file_size(base + ".abd"), 2u * kIndexRecordSize);
  const std::string names = ReadFile(base + ".abn");
  EXPECT_NE(names.find("White 2"), std::string::npos);
  EXPECT_EQ(names.find("White 3"), std::string::npos);

  TGame r;  // reading a held game writes the batch out
  ASSERT_TRUE(ReadGame(db, 3, false, -1, r)) << db.LastError;
  EXPECT_EQ(r.WhiteName, "White 3");
  EXPECT_EQ(fs::file_size(base + ".abd"), 3u * kIndexRecordSize);
  EXPECT_NE(ReadFile(base + ".abn").find("White 3"), std::string::npos);

  TGame fourth = NamedGame(4);
  ASSERT_TRUE(WriteGame(fourth, 0, db, false)) << db.LastError;
  ASSERT_TRUE(EndBatch(db)) << db.LastError;
  EXPECT_EQ(db.BatchLimit, 0);
  EXPECT_EQ(fs::file_size(base + ".abd"), 4u * kIndexRecordSize);
  TGame fifth = NamedGame(5);  // outside the batch: written at once
  ASSERT_TRUE(WriteGame(fifth, 0, db, false)) << db.LastError;
  EXPECT_EQ(fs::file_size(base + ".abd"), 5u * kIndexRecordSize);
  EXPECT_NE(ReadFile(base + ".abn").find("White 5"), std::string::npos);
  EXPECT_FALSE(db.DBChanged);
}

TEST(Batch, ClosingWritesTheHeldRecords) {
  const auto dir = FreshDir("db-batch-close");
  const std::string base = Base(dir);
  {
    TQuorlinDB db;
    ASSERT_TRUE(CreateDatabase(base, db)) << db.LastError;
    ASSERT_TRUE(BeginBatch(db, 100));
    for (int i = 1; i <= 3; ++i) {
      TGame g = NamedGame(i);
      ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
    }
  }
  ExpectClean(base, 3);
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(base, db, true)) << db.LastError;
  EXPECT_FALSE(BeginBatch(db, 10));  // read only
}

// ---------------------------------------------------------------------------
// Tournament text

// The masked form ("game xx") is for lists; the game keeps what is stored, so
// that saving it again or exporting it keeps the game number.
TEST(TournamentText, GameKeepsTheStoredTextAndListsShowItMasked) {
  const auto dir = FreshDir("db-tournament");
  const std::string base = Base(dir);
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase(base, db)) << db.LastError;
  TGame g = NamedGame(1);
  g.Tournament = "London 1958, game 19";
  ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  TGame r;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, r)) << db.LastError;
  EXPECT_EQ(r.Tournament, "London 1958, game 19");
  EXPECT_EQ(TournamentAt(r.Header.TournamentIndex, db), "London 1958, game xx");
  ASSERT_TRUE(WriteGame(r, 1, db, false)) << db.LastError;
  ASSERT_TRUE(ReadGame(db, 1, false, -1, r)) << db.LastError;
  EXPECT_EQ(r.Tournament, "London 1958, game 19");
  EXPECT_EQ(db.DBTourn.Count(), 1);
}

}  // namespace
}  // namespace quorlin
