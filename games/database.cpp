#include "games/database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "common/bytes.h"
#include "games/bodycodec.h"
#include "rules/variantdef.h"

namespace quorlin {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Checksum

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t BodyChecksum(const uint8_t* data, size_t size) {
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 255] ^ (crc >> 8);
  return crc;
}

// ---------------------------------------------------------------------------
// Opening, creating, closing

namespace {

std::string BaseName(const std::string& path) { return fs::path(path).replace_extension().string(); }

bool HasExtension(const std::string& path, const char* ext) {
  std::string e = fs::path(path).extension().string();
  return FoldCase(e) == ext;
}

void SetPaths(const std::string& path, TQuorlinDB& db) {
  const std::string base = BaseName(path);
  db.DBNameIdx = base + ".abd";
  db.DBNameNames = base + ".abn";
  db.DBNameMain = base + ".abm";
  db.DBIdx.SetStepHook(&db.StepHook);
  db.DBMain.SetStepHook(&db.StepHook);
}

void CloseFiles(TQuorlinDB& db) {
  db.DBIdx.Close();
  db.DBMain.Close();
  db.DBNames.Clear();
  db.DBTourn.Clear();
  db.DBSites.Clear();
  db.NamesOnDisk = db.TournOnDisk = db.SitesOnDisk = 0;
  db.BatchLimit = 0;
  db.BatchRecords.clear();
  db.Undo = TUndoRecord{};
  db.DBSize = 0;
  db.DBOpened = false;
}

// Size of a file, or -1 when it does not exist.
int64_t SizeOrMissing(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

std::string GameRef(const std::string& file, int n) { return file + ": game " + std::to_string(n) + ": "; }

}  // namespace

// ---------------------------------------------------------------------------
// The undo file: a replaced index record's old contents, kept beside the index
// until the new record is on the disk.

namespace {

constexpr uint8_t kUndoMagic[4] = {'Q', 'D', 'U', 'N'};
constexpr int kUndoVersionAt = 4;
constexpr int kUndoGameAt = 8;
constexpr int kUndoRecordAt = 12;
constexpr int kUndoCrcAt = kUndoRecordAt + kIndexRecordSize;
static_assert(kUndoCrcAt + 4 == kUndoFileSize);

std::string UndoPath(const TQuorlinDB& db) { return db.DBNameIdx + kUndoFileSuffix; }

int64_t RecordPos(int n) { return static_cast<int64_t>(n - 1) * kIndexRecordSize; }

// Removes the undo file; one that is not there is no failure.
bool RemoveUndoFile(const std::string& path, std::string& error) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  error = SysError(path, "cannot remove", errno);
  return false;
}

// Reads the undo file of an index holding `records` whole records of
// `recordSize` bytes. Returns 1 with `undo` filled when it passes every check,
// 0 when there is none, -1 (with `why`) when it is damaged.
int ReadUndoFile(const std::string& path, int64_t records, int recordSize, TUndoRecord& undo,
                 std::string& why) {
  const int64_t size = SizeOrMissing(path);
  if (size < 0) return 0;
  if (size != kUndoFileSize) {
    why = std::to_string(size) + " bytes, not " + std::to_string(kUndoFileSize);
    return -1;
  }
  std::string bytes;
  if (!ReadWholeFile(path, bytes, why)) return -1;
  if (bytes.size() != static_cast<size_t>(kUndoFileSize)) {
    why = "changed while read";
    return -1;
  }
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  if (std::memcmp(b, kUndoMagic, sizeof kUndoMagic) != 0 || b[kUndoVersionAt] != kUndoFileVersion) {
    why = "not an undo file of this program";
    return -1;
  }
  if (BodyChecksum(b, kUndoCrcAt) != GetLE32(b + kUndoCrcAt)) {
    why = "checksum mismatch (written only in part)";
    return -1;
  }
  const int64_t game = static_cast<int32_t>(GetLE32(b + kUndoGameAt));
  if (recordSize != kIndexRecordSize || game < 1 || game > records) {
    why = "game " + std::to_string(game) + " is not in the index (" + std::to_string(records) +
          " records of " + std::to_string(recordSize) + " bytes)";
    return -1;
  }
  undo.Game = static_cast<int>(game);
  std::memcpy(undo.Record, b + kUndoRecordAt, kIndexRecordSize);
  return 1;
}

// Keeps record n's old contents in the undo file, durable (when SyncWrites)
// before the record is touched. A failure removes what was written.
bool WriteUndoFile(TQuorlinDB& db, int n, const uint8_t* old) {
  uint8_t b[kUndoFileSize] = {};
  std::memcpy(b, kUndoMagic, sizeof kUndoMagic);
  b[kUndoVersionAt] = kUndoFileVersion;
  PutLE32(b + kUndoGameAt, static_cast<uint32_t>(n));
  std::memcpy(b + kUndoRecordAt, old, kIndexRecordSize);
  PutLE32(b + kUndoCrcAt, BodyChecksum(b, kUndoCrcAt));
  const std::string path = UndoPath(db);
  std::string err;
  TDBFile f;
  f.SetStepHook(&db.StepHook);
  // Made new rather than truncated: the file system flushes a truncated file
  // when it is closed, which costs a replacement milliseconds.
  bool ok = RemoveUndoFile(path, err) && f.Create(path, true, false, err) && f.WriteAt(0, b, sizeof b, err) &&
            (!db.SyncWrites || f.Sync(err));
  f.Close();
  if (ok && db.SyncWrites && !SyncFolderOf(path)) {
    err = SysError(fs::path(path).parent_path().string(), "cannot flush the folder", errno);
    ok = false;
  }
  if (ok) return true;
  std::string ignored;
  RemoveUndoFile(path, ignored);
  db.LastError = GameRef(db.DBNameIdx, n) + "the previous index record cannot be kept: " + err +
                 "; the game is not replaced";
  return false;
}

// Writes the record of db.Undo back at its game number, makes it durable and
// removes the undo file. False (LastError set, Undo kept) when it cannot be
// written; a file that cannot be removed holds what the index now holds and
// does no harm.
bool PutBackUndo(TQuorlinDB& db) {
  if (db.Undo.Game == 0) return true;
  const int n = db.Undo.Game;
  std::string err;
  if (!db.DBIdx.WriteAt(RecordPos(n), db.Undo.Record, kIndexRecordSize, err) ||
      (db.SyncWrites && !db.DBIdx.Sync(err))) {
    db.LastError = GameRef(db.DBNameIdx, n) + "the previous index record cannot be put back: " + err +
                   " (kept in " + UndoPath(db) + ")";
    return false;
  }
  RemoveUndoFile(UndoPath(db), err);
  db.Undo = TUndoRecord{};
  return true;
}

// Takes up the undo file when the database is opened (see OpenDatabase).
void TakeUpUndoFile(TQuorlinDB& db, int64_t records) {
  const std::string path = UndoPath(db);
  TUndoRecord undo;
  std::string why;
  const int found = ReadUndoFile(path, records, db.IdxRecordSize, undo, why);
  if (found < 0 && !db.ReadOnly) RemoveUndoFile(path, why);
  if (found <= 0) return;
  db.Undo = undo;
  if (!db.ReadOnly) PutBackUndo(db);
}

// Puts back a record an earlier failure left in the undo file, before the
// index changes again (the change could otherwise be undone by it, or move
// the record it belongs to).
bool SettleUndo(TQuorlinDB& db) { return db.ReadOnly || PutBackUndo(db); }

}  // namespace

void OverlayUndo(const TQuorlinDB& db, int64_t first, int64_t count, uint8_t* raw) {
  const int64_t at = int64_t{db.Undo.Game} - 1 - first;
  if (db.Undo.Game > 0 && at >= 0 && at < count)
    std::memcpy(raw + at * kIndexRecordSize, db.Undo.Record, kIndexRecordSize);
}

TQuorlinDB::~TQuorlinDB() {
  if (!CloseDatabase(*this)) CloseFiles(*this);
}

bool DatabaseFilesExist(const std::string& path) {
  const std::string base = BaseName(path);
  return FileExists(base + ".abd") && FileExists(base + ".abm") && FileExists(base + ".abn");
}

bool DatabaseExists(const std::string& path) {
  const std::string base = BaseName(path);
  return FileExists(base + ".abd") && FileExists(base + ".abm");
}

namespace {

// Closes the database open in `db` before another is opened in it; fails (and
// keeps it open) when its new names cannot be written.
bool CloseBeforeReuse(TQuorlinDB& db) {
  if (CloseDatabase(db)) return true;
  db.LastError = "the open database cannot be closed: " + db.LastError;
  return false;
}

// The highest position in each list that an index record refers to, among
// positions below the given limits (a larger one is damage, not a lost name);
// -1 where no record refers to the list.
struct TNameReach {
  int64_t names = -1, tourn = -1, sites = -1;
};

bool ScanNameReferences(TQuorlinDB& db, int64_t records, const TNameReach& limit, TNameReach& reach) {
  constexpr int64_t kChunk = 4096;
  std::vector<uint8_t> buf;
  std::string err;
  TGameHeader h;
  auto note = [](int64_t index, int64_t lim, int64_t& high) {
    if (index >= 0 && index < lim) high = std::max(high, index);
  };
  for (int64_t first = 0; first < records; first += kChunk) {
    const int64_t count = std::min(kChunk, records - first);
    buf.resize(static_cast<size_t>(count * db.IdxRecordSize));
    if (!db.DBIdx.ReadAt(first * db.IdxRecordSize, buf.data(), buf.size(), err)) {
      db.LastError = err;
      return false;
    }
    OverlayUndo(db, first, count, buf.data());
    for (int64_t i = 0; i < count; ++i) {
      const uint8_t* rec = buf.data() + i * db.IdxRecordSize;
      if (db.IdxRecordSize == kIndexRecordSize20)
        UnpackIndexRecord20(rec, h);
      else
        UnpackIndexRecord(rec, h);
      note(h.White.NameIndex, limit.names, reach.names);
      note(h.Black.NameIndex, limit.names, reach.names);
      note(h.AnnotatorIndex, limit.names, reach.names);
      note(h.TournamentIndex, limit.tourn, reach.tourn);
      note(h.SiteIndex, limit.sites, reach.sites);
    }
  }
  return true;
}

// Fills `list` with lost-name entries up to position `reach`; returns how many.
int FillUpLostEntries(TNameList& list, int64_t reach) {
  int added = 0;
  while (list.Count() <= reach) {
    list.Add(kLostNameText);
    ++added;
  }
  return added;
}

std::string CountText(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A crash can leave index records whose names never reached the names file
// (or no names file at all). Their entries are filled up with kLostNameText so
// that the games show "?" and new names go after them, never in their place.
bool RecoverLostNames(TQuorlinDB& db, bool namesFileMissing, int64_t records) {
  // At most three names, one tournament and one site per game can be new.
  const TNameReach limit{db.DBNames.Count() + 3 * records, db.DBTourn.Count() + records,
                         db.DBSites.Count() + records};
  TNameReach reach;
  if (!ScanNameReferences(db, records, limit, reach)) return false;
  const int names = FillUpLostEntries(db.DBNames, reach.names);
  const int tourn = FillUpLostEntries(db.DBTourn, reach.tourn);
  const int sites = FillUpLostEntries(db.DBSites, reach.sites);
  if (!namesFileMissing && names + tourn + sites == 0) return true;
  db.Warning = db.DBNameNames +
               (namesFileMissing ? ": the names file is missing" : ": the names file is short") + "; " +
               CountText(names, "name", "names") + ", " + CountText(tourn, "tournament", "tournaments") +
               " and " + CountText(sites, "site", "sites") +
               " that the games refer to were lost (a crash while games were saved) and show as \"" +
               kLostNameText + "\"";
  if (!db.ReadOnly && db.DBType != kDBVersion20) {
    db.DBChanged = true;  // the names file is written whole again
    db.Warning += "; the names file will be written again";
  }
  return true;
}

}  // namespace

bool OpenDatabase(const std::string& path, TQuorlinDB& db, bool readOnly) {
  if (!CloseBeforeReuse(db)) return false;
  db.LastError.clear();
  db.Warning.clear();
  if (HasExtension(path, ".pdn")) {
    db.DBNameMain = path;
    db.DBType = 0;
    db.LastError = path + ": a PDN file is not a database";
    return false;
  }
  SetPaths(path, db);
  CloseFiles(db);
  if (!DatabaseExists(path)) {
    db.LastError = BaseName(path) + ": the database files (.abd, .abm, .abn) do not all exist";
    return false;
  }
  db.ReadOnly = readOnly;
  std::string err;
  if (!db.DBMain.Open(db.DBNameMain, !readOnly, true, err)) {
    db.LastError = err;
    return false;
  }
  uint8_t version = 0;
  if (!db.DBMain.ReadAt(0, &version, 1, err)) {
    db.LastError = err;
    CloseFiles(db);
    return false;
  }
  db.DBType = version;
  if (version != kDBVersion20 && version != kDBVersion30 && version != kDBVersion38) {
    db.LastError = std::string(kWrongDatabaseTypeText) + std::to_string(version);
    CloseFiles(db);
    return false;
  }
  db.IdxRecordSize = version == kDBVersion20 ? kIndexRecordSize20 : kIndexRecordSize;
  int64_t idxSize = 0;
  if (!db.DBIdx.Open(db.DBNameIdx, !readOnly, false, err) || !db.DBIdx.Size(idxSize, err)) {
    db.LastError = err;
    CloseFiles(db);
    return false;
  }
  const int64_t records = idxSize / db.IdxRecordSize;
  if (records > std::numeric_limits<int32_t>::max()) {
    db.LastError = db.DBNameIdx + ": too many index records";
    CloseFiles(db);
    return false;
  }
  db.DBCurPos = 1;
  db.DBSize = static_cast<int>(records);
  // Before the names are looked at: the record a crash may have torn would
  // point them anywhere.
  TakeUpUndoFile(db, records);
  const bool namesFileMissing = !FileExists(db.DBNameNames);
  if (!LoadNames(db) || !RecoverLostNames(db, namesFileMissing, records)) {
    CloseFiles(db);
    return false;
  }
  db.DBOpened = true;
  if (db.Warning.empty()) db.DBChanged = false;
  return true;
}

bool CreateDatabase(const std::string& path, TQuorlinDB& db, uint8_t version, bool replaceExisting) {
  if (!CloseBeforeReuse(db)) return false;
  db.LastError.clear();
  db.Warning.clear();
  SetPaths(path, db);
  CloseFiles(db);
  if (version != kDBVersion30 && version != kDBVersion38) {
    db.LastError =
        db.DBNameMain + ": games are written only to version 30 or 38, not " + std::to_string(version);
    return false;
  }
  if (!replaceExisting) {
    for (const std::string* p : {&db.DBNameIdx, &db.DBNameMain, &db.DBNameNames}) {
      std::error_code ec;
      if (fs::exists(*p, ec) || ec) {
        db.LastError = *p + ": exists already; a new database does not replace it";
        return false;
      }
    }
  }
  // An undo file left by a database of this name would be put back into the
  // new one at its next open.
  if (!RemoveUndoFile(UndoPath(db), db.LastError)) return false;
  db.DBType = version;
  db.ReadOnly = false;
  db.IdxRecordSize = kIndexRecordSize;
  db.NamesEncoding = TNamesEncoding::utf8;
  // Each file is whole before the next is made, and the games file (whose
  // version byte makes the files a database) comes last: a crash at any moment
  // leaves either a database that opens or what OpenOrCreateDatabase recognises
  // as an interrupted creation. When replacing, the old index goes first, so
  // that no old record outlives the old names.
  std::string err;
  bool madeNames = false, madeIdx = false, madeMain = false;
  bool ok = true;
  if (replaceExisting) {
    // The lock on the old games file comes first: another writer keeps it all.
    ok = FileExists(db.DBNameMain) ? db.DBMain.Open(db.DBNameMain, true, true, err)
                                   : db.DBMain.Create(db.DBNameMain, false, true, err);
    if (ok) ok = db.DBIdx.Create(db.DBNameIdx, false, false, err) && db.DBIdx.Sync(err);
  }
  if (ok) {
    db.DBChanged = true;
    ok = madeNames = SaveDBNames(db);
    if (!ok) err = db.LastError;
  }
  if (ok && !replaceExisting) ok = madeIdx = db.DBIdx.Create(db.DBNameIdx, true, false, err);
  // A new games file takes its name only with the version byte in it, so that
  // a games file that exists always makes the three files a database that opens.
  if (ok && !replaceExisting) {
    ok = madeMain =
        ReplaceFileAtomically(db.DBNameMain, std::string(1, static_cast<char>(version)), err, &db.StepHook);
    if (ok) ok = db.DBMain.Open(db.DBNameMain, true, true, err);
  }
  if (ok && replaceExisting) ok = db.DBMain.Truncate(0, err) && db.DBMain.WriteAt(0, &version, 1, err);
  if (ok) ok = db.DBMain.Sync(err) && db.DBIdx.Sync(err);
  if (!ok) {
    db.LastError = err;
    CloseFiles(db);
    db.DBChanged = false;
    // Files this call made from nothing are removed again; nothing else is touched.
    if (!replaceExisting) {
      if (madeMain) ::unlink(db.DBNameMain.c_str());
      if (madeIdx) ::unlink(db.DBNameIdx.c_str());
      if (madeNames) ::unlink(db.DBNameNames.c_str());
    }
    return false;
  }
  SyncFolderOf(db.DBNameMain);
  db.DBCurPos = 1;
  db.DBSize = 0;
  db.DBOpened = true;
  db.DBChanged = false;
  return true;
}

namespace {

// What a creation interrupted by a crash leaves: no games file or one without
// its version byte, and no index record. Nothing of value is lost by creating
// the database afresh over it.
bool LeftByInterruptedCreation(const std::string& path) {
  const std::string base = BaseName(path);
  return SizeOrMissing(base + ".abm") <= 0 && SizeOrMissing(base + ".abd") <= 0;
}

bool AnyFileExists(const std::string& path) {
  const std::string base = BaseName(path);
  for (const char* ext : {".abd", ".abm", ".abn"})
    if (SizeOrMissing(base + ext) >= 0) return true;
  return false;
}

}  // namespace

bool OpenOrCreateDatabase(const std::string& path, TQuorlinDB& db) {
  if (OpenDatabase(path, db, false)) return true;
  if (HasExtension(path, ".pdn")) return false;
  if (LeftByInterruptedCreation(path)) return CreateDatabase(path, db, kDBVersion38, AnyFileExists(path));
  db.LastError = std::string(kCannotOpenDatabaseText) + " " + db.LastError;
  return false;
}

bool CloseDatabase(TQuorlinDB& db) {
  if (!db.DBOpened) return true;
  // Held index records and new names not on disk would be lost: the database
  // stays open so that the caller can report it and try again.
  if (!FlushBatch(db) || !SaveNamesIfNeeded(db)) return false;
  // A record that cannot be put back now stays in the undo file, which the
  // next open puts back: nothing is lost by closing.
  SettleUndo(db);
  CloseFiles(db);
  return true;
}

// ---------------------------------------------------------------------------
// Index records

namespace {

inline int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetLE32(p)); }

// Offset of the Flags byte in a record of the given size.
int FlagsOffset(int recordSize) { return recordSize == kIndexRecordSize20 ? 28 : 48; }

}  // namespace

void PackIndexRecord(const TGameHeader& h, uint8_t* r) {
  std::memset(r, 0, kIndexRecordSize);
  PutLE32(r + 0, static_cast<uint32_t>(h.White.NameIndex));
  r[4] = h.White.Title;
  PutLE16(r + 6, h.White.Rating);
  r[8] = h.White.Country;
  PutLE32(r + 12, static_cast<uint32_t>(h.Black.NameIndex));
  r[16] = h.Black.Title;
  PutLE16(r + 18, h.Black.Rating);
  r[20] = h.Black.Country;
  PutLE32(r + 24, static_cast<uint32_t>(h.AnnotatorIndex));
  PutLE32(r + 28, static_cast<uint32_t>(h.TournamentIndex));
  PutLE32(r + 32, static_cast<uint32_t>(h.SiteIndex));
  PutLE32(r + 36, static_cast<uint32_t>(h.Round));
  PutLE32(r + 40, static_cast<uint32_t>(h.Subround));
  r[44] = h.Date.Day;
  r[45] = h.Date.Month;
  PutLE16(r + 46, h.Date.Year);
  r[48] = h.Flags;
  PutLE32(r + 52, static_cast<uint32_t>(h.ShowFrom));
  r[56] = h.FirstMove == TDColor::black ? 1 : 0;
  r[57] = h.TypeOfGame == 0 ? kStoredCustomVariant : h.TypeOfGame;
  r[58] = h.Result;
  r[59] = h.NumerationFrom;
  PutLE32(r + 60, static_cast<uint32_t>(h.LastMove));
  PutLE16(r + 64, h.GameLength);
  PutLE32(r + 68, static_cast<uint32_t>(h.Offset));
  PutLE32(r + 72, static_cast<uint32_t>(h.Length));
  PutLE32(r + 76, static_cast<uint32_t>(h.Opening));
  PutLE32(r + 80, static_cast<uint32_t>(h.Medals));
  PutLE32(r + 84, h.Crc);
}

void UnpackIndexRecord(const uint8_t* r, TGameHeader& h) {
  h.White.NameIndex = GetI32(r + 0);
  h.White.Title = r[4];
  h.White.Rating = GetLE16(r + 6);
  h.White.Country = r[8];
  h.Black.NameIndex = GetI32(r + 12);
  h.Black.Title = r[16];
  h.Black.Rating = GetLE16(r + 18);
  h.Black.Country = r[20];
  h.AnnotatorIndex = GetI32(r + 24);
  h.TournamentIndex = GetI32(r + 28);
  h.SiteIndex = GetI32(r + 32);
  h.Round = GetI32(r + 36);
  h.Subround = GetI32(r + 40);
  h.Date.Day = r[44];
  h.Date.Month = r[45];
  h.Date.Year = GetLE16(r + 46);
  h.Flags = r[48];
  h.ShowFrom = GetI32(r + 52);
  h.FirstMove = r[56] ? TDColor::black : TDColor::white;
  h.TypeOfGame = r[57] == kStoredCustomVariant ? 0 : r[57];
  h.Result = r[58];
  h.NumerationFrom = r[59];
  h.LastMove = GetI32(r + 60);
  h.GameLength = GetLE16(r + 64);
  h.Offset = GetI32(r + 68);
  h.Length = GetI32(r + 72);
  h.Opening = GetI32(r + 76);
  h.Medals = GetI32(r + 80);
  h.Crc = GetLE32(r + 84);
}

void UnpackIndexRecord20(const uint8_t* r, TGameHeader& h) {
  h.White.NameIndex = GetLE16(r + 0);
  h.White.Title = r[2];
  h.White.Rating = GetLE16(r + 4);
  h.White.Country = r[6];
  h.Black.NameIndex = GetLE16(r + 8);
  h.Black.Title = r[10];
  h.Black.Rating = GetLE16(r + 12);
  h.Black.Country = r[14];
  h.AnnotatorIndex = GetLE16(r + 16);
  h.TournamentIndex = GetLE16(r + 18);
  h.SiteIndex = GetLE16(r + 20);
  h.Round = r[22];
  h.Subround = r[23];
  h.Date.Day = r[24];
  h.Date.Month = r[25];
  h.Date.Year = GetLE16(r + 26);
  h.Flags = r[28];
  h.ShowFrom = GetLE16(r + 30);
  h.FirstMove = r[32] ? TDColor::black : TDColor::white;
  h.TypeOfGame = r[33];
  h.Result = r[34];
  h.NumerationFrom = r[35];
  h.LastMove = GetLE16(r + 36);
  h.GameLength = r[38];
  h.Offset = GetI32(r + 40);
  h.Length = GetI32(r + 44);
  h.Opening = GetLE16(r + 48);
  h.Medals = r[50];
  h.Crc = 0;
}

namespace {

int HeldRecords(const TQuorlinDB& db) { return static_cast<int>(db.BatchRecords.size() / kIndexRecordSize); }

}  // namespace

int IndexRecordCount(TQuorlinDB& db) {
  int64_t size = 0;
  std::string err;
  if (!db.DBOpened) {
    db.LastError = "no database is open";
    return -1;
  }
  if (!db.DBIdx.Size(size, err)) {
    db.LastError = err;
    return -1;
  }
  return static_cast<int>(
      std::min<int64_t>(size / db.IdxRecordSize + HeldRecords(db), std::numeric_limits<int32_t>::max()));
}

namespace {

// Reads the raw bytes of record n (held records are written first).
bool ReadRawRecord(TQuorlinDB& db, int n, uint8_t* raw) {
  if (!db.DBOpened) {
    db.LastError = "no database is open";
    return false;
  }
  if (n < 1) {
    db.LastError = GameRef(db.DBNameIdx, n) + "no such game";
    return false;
  }
  if (!FlushBatch(db)) return false;
  std::string err;
  if (!db.DBIdx.ReadAt(static_cast<int64_t>(n - 1) * db.IdxRecordSize, raw, db.IdxRecordSize, err)) {
    db.LastError = GameRef(db.DBNameIdx, n) + "index record cannot be read: " + err;
    return false;
  }
  OverlayUndo(db, n - 1, 1, raw);
  return true;
}

}  // namespace

bool ReadIndexRecord(TQuorlinDB& db, int n, TGameHeader& header) {
  uint8_t raw[kIndexRecordSize];
  if (!ReadRawRecord(db, n, raw)) return false;
  if (db.IdxRecordSize == kIndexRecordSize20)
    UnpackIndexRecord20(raw, header);
  else
    UnpackIndexRecord(raw, header);
  return true;
}

// ---------------------------------------------------------------------------
// Reading games

namespace {

bool Fail(TQuorlinDB& db, TGame& game, const std::string& error) {
  db.LastError = error;
  ClearGame(game);
  return false;
}

}  // namespace

bool ReadGame(TQuorlinDB& db, int n, bool keep, int showFrom, TGame& game) {
  if (!db.DBOpened) return Fail(db, game, "no database is open");
  const bool v20 = db.DBType == kDBVersion20;
  if (!keep || v20) ClearGame(game);
  game.DBGameNo = n;
  game.DBName = db.DBNameMain;

  if (!ReadIndexRecord(db, n, game.Header)) return Fail(db, game, db.LastError);
  TGameHeader& h = game.Header;
  if (!v20 && showFrom >= 0) h.ShowFrom = showFrom;
  // The variant picks the body's template start position: an unknown one is
  // refused before the body is looked at.
  if (h.TypeOfGame > kVariantCount)
    return Fail(db, game, GameRef(db.DBNameIdx, n) + kUnsupportedGameTypeText);
  if (h.LastMove < 0 || h.LastMove > kMaxGameNodes)
    return Fail(
        db, game,
        GameRef(db.DBNameIdx, n) + "damaged index record (last node " + std::to_string(h.LastMove) + ")");

  game.WhiteName = NameAt(h.White.NameIndex, db);
  game.BlackName = NameAt(h.Black.NameIndex, db);
  // The game keeps the tournament as stored: the masked form is for lists only,
  // and saving or exporting the game must not lose the game number.
  game.Tournament = StoredTournamentAt(h.TournamentIndex, db);
  game.Site = SiteAt(h.SiteIndex, db);
  game.AnnotatorName = NameAt(h.AnnotatorIndex, db);

  std::string err;
  int64_t mainSize = 0;
  if (!db.DBMain.Size(mainSize, err)) return Fail(db, game, GameRef(db.DBNameMain, n) + err);
  if (h.Offset < 1 || h.Length < 0 || int64_t{h.Offset} + h.Length > mainSize)
    return Fail(db, game,
                GameRef(db.DBNameMain, n) + "the body (" + std::to_string(h.Length) + " bytes at byte " +
                    std::to_string(h.Offset) + ") lies outside the games file (" + std::to_string(mainSize) +
                    " bytes); index file " + db.DBNameIdx + " record " + std::to_string(n));
  if (db.Body.size() < static_cast<size_t>(h.Length)) db.Body.resize(static_cast<size_t>(h.Length) + 1000);
  if (!db.DBMain.ReadAt(h.Offset, db.Body.data(), static_cast<size_t>(h.Length), err))
    return Fail(db, game, GameRef(db.DBNameMain, n) + "body cannot be read: " + err);

  if (db.DBType == kDBVersion38) {
    const uint32_t crc = BodyChecksum(db.Body.data(), static_cast<size_t>(h.Length));
    if (crc != h.Crc) return Fail(db, game, GameRef(db.DBNameMain, n) + "checksum mismatch (body damaged)");
  }
  if (h.TypeOfGame != 0) game.Params = VariantTable[h.TypeOfGame];
  if (!DecodeBody(db.Body.data(), static_cast<size_t>(h.Length), game, db.DBType, err))
    return Fail(db, game, GameRef(db.DBNameMain, n) + "body damaged: " + err);
  game.Version = v20 ? kTreeParentOnly : db.DBType;
  // A start node that is not in the tree (damaged record) shows the start.
  if (h.ShowFrom < 0 || h.ShowFrom > h.LastMove || h.ShowFrom >= static_cast<int>(game.Moves.size()) ||
      game.Moves[h.ShowFrom].free)
    h.ShowFrom = 0;
  if (!keep || v20) OpeningDesignation(game);
  if (h.TypeOfGame == 0 && !ParseVariantDefinition(game.Comments[0].CommentAdd, game.Params, err))
    return Fail(db, game, GameRef(db.DBNameMain, n) + "custom variant definition unreadable: " + err);
  return true;
}

// ---------------------------------------------------------------------------
// Writing games

namespace {

// Refuses what must not be written; returns the number of games, or -1.
int CheckWritable(const TGame& game, int n, TQuorlinDB& db) {
  if (!db.DBOpened) {
    db.LastError = "no database is open";
    return -1;
  }
  if (db.DBType != kDBVersion30 && db.DBType != kDBVersion38) {
    db.LastError =
        db.DBNameMain + ": games are not written to a version-" + std::to_string(db.DBType) + " database";
    return -1;
  }
  if (db.ReadOnly) {
    db.LastError = db.DBNameMain + ": the database is open for reading only";
    return -1;
  }
  if (game.Header.TypeOfGame > kVariantCount) {
    db.LastError = GameRef(db.DBNameMain, n) + "variant " + std::to_string(game.Header.TypeOfGame) +
                   " is unknown; the game is not written";
    return -1;
  }
  // A replaced game is written outside the batch: the held records go first.
  if (n != 0 && !FlushBatch(db)) return -1;
  const int records = IndexRecordCount(db);
  if (records < 0) return -1;
  if (n < 0 || n > records) {
    db.LastError =
        GameRef(db.DBNameIdx, n) + "no such game to replace (" + std::to_string(records) + " games)";
    return -1;
  }
  return records;
}

// Links the tree for a version-38 body, shows a start node that is not in the
// tree as the start, and puts a custom variant's definition into the root.
bool PrepareGame(TGame& game, int n, TQuorlinDB& db) {
  if (game.Version == kTreeParentOnly && db.DBType == kDBVersion38) LinkTree(game);
  TGameHeader& h = game.Header;
  const int nodes = static_cast<int>(game.Moves.size());
  if (h.ShowFrom != 0 && (h.ShowFrom < 0 || h.ShowFrom >= nodes || game.Moves[h.ShowFrom].free))
    h.ShowFrom = 0;
  if (h.TypeOfGame == 0) {
    std::string text, error;
    if (!FormatVariantDefinition(game.Params, "", text, error)) {
      db.LastError = GameRef(db.DBNameMain, n) + error;
      return false;
    }
    game.Comments[0].CommentAdd = text;
  }
  return true;
}

// The header summary, the body (into db.Body) and its checksum.
bool EncodeGame(TGame& game, int n, TQuorlinDB& db) {
  // The summary marks the main line, which a version-30 body needs to restore the
  // order of the children, so it comes before the encoding.
  UpdateHeaderSummary(game, db.DBType);
  std::string err;
  if (!EncodeBody(game, db.DBType, db.Body, err)) {
    db.LastError = GameRef(db.DBNameMain, n) + "cannot be stored: " + err;
    return false;
  }
  game.Header.Crc = db.DBType == kDBVersion38 ? BodyChecksum(db.Body.data(), db.Body.size()) : 0;
  return true;
}

// Points the header at the game's five texts in the lists, adding the texts
// that are new (DBChanged).
void IndexNames(TGame& game, TQuorlinDB& db) {
  auto index = [&](TNameList& list, const std::string& text) {
    const std::string entry = NamesFileEntry(text);
    int i = list.IndexOf(entry);
    if (i < 0) {
      i = list.Add(entry);
      db.DBChanged = true;
    }
    return i;
  };
  TGameHeader& h = game.Header;
  h.White.NameIndex = index(db.DBNames, game.WhiteName);
  h.Black.NameIndex = index(db.DBNames, game.BlackName);
  h.AnnotatorIndex = index(db.DBNames, game.AnnotatorName);
  h.TournamentIndex = index(db.DBTourn, game.Tournament);
  h.SiteIndex = index(db.DBSites, game.Site);
}

// Appends the body at the end of the games file and sets Offset and Length; a
// partial body is cut away again.
bool AppendBody(TGame& game, int n, TQuorlinDB& db, bool sync) {
  std::string err;
  int64_t offset = 0;
  if (!db.DBMain.Size(offset, err)) {
    db.LastError = err;
    return false;
  }
  const size_t size = db.Body.size();
  if (offset + static_cast<int64_t>(size) > std::numeric_limits<int32_t>::max()) {
    db.LastError = db.DBNameMain + ": the games file is full (2 GB)";
    return false;
  }
  if (!db.DBMain.WriteAt(offset, db.Body.data(), size, err) || (sync && !db.DBMain.Sync(err))) {
    db.LastError = GameRef(db.DBNameMain, n) + "not written: " + err;
    std::string ignored;
    db.DBMain.Truncate(offset, ignored);
    return false;
  }
  game.Header.Offset = static_cast<int32_t>(offset);
  game.Header.Length = static_cast<int32_t>(size);
  return true;
}

// Keeps game n's record as it stands in the undo file before a replacement
// changes anything (a record an earlier failure left there goes back first).
bool KeepOldRecord(TQuorlinDB& db, int n, uint8_t* old) {
  if (!SettleUndo(db)) return false;
  std::string err;
  if (!db.DBIdx.ReadAt(RecordPos(n), old, kIndexRecordSize, err)) {
    db.LastError = GameRef(db.DBNameIdx, n) + "index record not read: " + err;
    return false;
  }
  return WriteUndoFile(db, n, old);
}

// A replacement that failed before its record was touched: the undo file
// holds what the index holds and goes.
void DropOldRecord(TQuorlinDB& db) {
  std::string ignored;
  RemoveUndoFile(UndoPath(db), ignored);
}

// Game n reads as `old`, which its undo file holds, until that is put back.
void HoldOldRecord(TQuorlinDB& db, int n, const uint8_t* old) {
  db.Undo.Game = n;
  std::memcpy(db.Undo.Record, old, kIndexRecordSize);
}

// Writes index record n, or holds it back in the batch. A failed append leaves
// no half record at the end. A replacement (`old` is the record it replaces,
// kept in the undo file) that fails puts the old record back; when that fails
// too (a full disk), the undo file stays and the game reads as `old`, so a
// torn record is never read.
bool WriteRecord(const TGameHeader& h, int n, const uint8_t* old, bool batched, TQuorlinDB& db) {
  uint8_t raw[kIndexRecordSize];
  PackIndexRecord(h, raw);
  if (batched) {
    db.BatchRecords.insert(db.BatchRecords.end(), raw, raw + kIndexRecordSize);
    return true;
  }
  std::string err;
  const int64_t recordPos = RecordPos(n);
  if (!db.DBIdx.WriteAt(recordPos, raw, kIndexRecordSize, err) || (db.SyncWrites && !db.DBIdx.Sync(err))) {
    db.LastError = GameRef(db.DBNameIdx, n) + "index record not written: " + err;
    if (!old) {
      std::string ignored;
      db.DBIdx.Truncate(recordPos, ignored);
      return false;
    }
    HoldOldRecord(db, n, old);
    const std::string error = db.LastError;
    db.LastError = PutBackUndo(db) ? error
                                   : error + "; the game keeps its previous version (" + UndoPath(db) +
                                         " puts it back when the database is opened again)";
    return false;
  }
  if (!old) return true;
  // Once the new record is on the disk the old one must go, for good (an undo
  // file that a power loss brings back would undo the replacement): a file
  // that stays keeps the game at its old version.
  const std::string undo = UndoPath(db);
  if (!RemoveUndoFile(undo, err)) {
    HoldOldRecord(db, n, old);
    db.LastError = GameRef(db.DBNameIdx, n) + err + "; the game keeps its previous version";
    return false;
  }
  if (db.SyncWrites) SyncFolderOf(undo);
  return true;
}

}  // namespace

bool WriteGame(TGame& game, int n, TQuorlinDB& db, bool saveNames) {
  const int records = CheckWritable(game, n, db);
  if (records < 0) return false;
  if (!PrepareGame(game, n, db) || !EncodeGame(game, n, db)) return false;
  const bool append = n == 0;
  const bool batched = append && db.BatchLimit > 0;
  if (batched && HeldRecords(db) >= db.BatchLimit && !FlushBatch(db)) return false;
  uint8_t old[kIndexRecordSize];
  if (!append && !KeepOldRecord(db, n, old)) return false;
  // Names are looked up once the game is known to be storable. New ones reach
  // the names file before the index record that uses them: now, or in a batch
  // when the batch is flushed.
  IndexNames(game, db);
  if (append) n = records + 1;
  if ((db.DBChanged && (!batched || saveNames) && !SaveDBNames(db)) ||
      !AppendBody(game, n, db, db.SyncWrites && !batched)) {
    if (!append) DropOldRecord(db);
    return false;
  }
  if (!WriteRecord(game.Header, n, append ? nullptr : old, batched, db)) return false;
  game.Modified = false;
  db.DBSize = append ? n : records;
  return true;
}

// ---------------------------------------------------------------------------
// Batches

bool BeginBatch(TQuorlinDB& db, int games) {
  if (!db.DBOpened || db.ReadOnly) {
    db.LastError =
        db.DBOpened ? db.DBNameMain + ": the database is open for reading only" : "no database is open";
    return false;
  }
  db.BatchLimit = std::max(games, 1);
  return true;
}

bool FlushBatch(TQuorlinDB& db) {
  if (db.BatchRecords.empty()) return true;
  std::string err;
  int64_t size = 0;
  if (!db.DBIdx.Size(size, err)) {
    db.LastError = err;
    return false;
  }
  // The held records go after the last whole record (over a half one a crash left).
  const int64_t at = size / kIndexRecordSize * kIndexRecordSize;
  // Bodies and names first: every record written then points at what is on disk.
  if (!db.DBMain.Sync(err)) {
    db.LastError = db.DBNameMain + ": games not written: " + err;
    return false;
  }
  if (db.DBChanged && !SaveDBNames(db)) return false;
  if (!db.DBIdx.WriteAt(at, db.BatchRecords.data(), db.BatchRecords.size(), err)) {
    db.LastError =
        db.DBNameIdx + ": " + std::to_string(HeldRecords(db)) + " index records not written: " + err;
    std::string ignored;
    db.DBIdx.Truncate(at, ignored);
    return false;
  }
  db.BatchRecords.clear();
  return true;
}

bool EndBatch(TQuorlinDB& db) {
  if (!FlushBatch(db)) return false;
  db.BatchLimit = 0;
  std::string err;
  if (db.DBOpened && !db.ReadOnly && (!db.DBMain.Sync(err) || !db.DBIdx.Sync(err))) {
    db.LastError = "cannot flush the database: " + err;
    return false;
  }
  return true;
}

bool SetDeletedMark(TQuorlinDB& db, int n, int mode) {
  if (mode < 1 || mode > 3) {
    db.LastError = "deleted mark: mode " + std::to_string(mode) + " is not 1, 2 or 3";
    return false;
  }
  if (db.DBOpened && db.ReadOnly) {
    db.LastError = db.DBNameIdx + ": the database is open for reading only";
    return false;
  }
  // A record an earlier failure left in the undo file goes back first, or it
  // would undo the mark when put back later.
  if (db.DBOpened && !SettleUndo(db)) return false;
  uint8_t raw[kIndexRecordSize];
  if (!ReadRawRecord(db, n, raw)) return false;
  const int at = FlagsOffset(db.IdxRecordSize);
  uint8_t flags = raw[at];
  if (mode == 1) flags &= static_cast<uint8_t>(~kDeletedFlag);
  if (mode == 2) flags |= kDeletedFlag;
  if (mode == 3) flags ^= kDeletedFlag;
  if (flags == raw[at]) return true;
  // One byte: the write cannot tear the record, and needs no undo file.
  std::string err;
  if (!db.DBIdx.WriteAt(static_cast<int64_t>(n - 1) * db.IdxRecordSize + at, &flags, 1, err) ||
      (db.SyncWrites && !db.DBIdx.Sync(err))) {
    db.LastError = GameRef(db.DBNameIdx, n) + "deleted mark not written: " + err;
    return false;
  }
  return true;
}

bool CompactIndex(TQuorlinDB& db) {
  if (!db.DBOpened || db.DBType != kDBVersion38) {
    db.LastError = "compacting needs an open version-38 database";
    return false;
  }
  if (db.ReadOnly) {
    db.LastError = db.DBNameIdx + ": the database is open for reading only";
    return false;
  }
  // The records move: one left in the undo file goes back before, while its
  // game number still names it.
  if (!FlushBatch(db) || !SettleUndo(db)) return false;
  std::string err;
  int64_t size = 0;
  if (!db.DBIdx.Size(size, err)) {
    db.LastError = err;
    return false;
  }
  // Every record of the file is walked, even beyond a DBSize the caller has not
  // updated, so that no game is dropped. Bytes after the last whole record
  // (what a crash during an append leaves) are no game and are not copied.
  const int64_t records = size / kIndexRecordSize;
  const bool halfRecord = size % kIndexRecordSize != 0;
  const std::string tmp = db.DBNameIdx + ".new";
  TDBFile out;
  out.SetStepHook(&db.StepHook);
  if (!out.Create(tmp, false, false, err)) {
    db.LastError = err;
    return false;
  }
  auto abandon = [&](const std::string& error) {
    db.LastError = error;
    out.Close();
    ::unlink(tmp.c_str());
    return false;
  };
  constexpr int64_t kChunk = 4096;
  std::vector<uint8_t> buf;
  int64_t kept = 0;
  for (int64_t first = 0; first < records; first += kChunk) {
    const int64_t count = std::min(kChunk, records - first);
    buf.resize(static_cast<size_t>(count * kIndexRecordSize));
    if (!db.DBIdx.ReadAt(first * kIndexRecordSize, buf.data(), buf.size(), err)) return abandon(err);
    size_t w = 0;
    for (int64_t i = 0; i < count; ++i) {
      const uint8_t* rec = buf.data() + i * kIndexRecordSize;
      if (rec[FlagsOffset(kIndexRecordSize)] & kDeletedFlag) continue;
      if (w != static_cast<size_t>(i * kIndexRecordSize)) std::memmove(buf.data() + w, rec, kIndexRecordSize);
      w += kIndexRecordSize;
    }
    if (!out.WriteAt(kept * kIndexRecordSize, buf.data(), w, err)) return abandon(err);
    kept += static_cast<int64_t>(w / kIndexRecordSize);
  }
  if (kept == records && !halfRecord) {  // nothing marked deleted: the index stays as it is
    out.Close();
    ::unlink(tmp.c_str());
    db.DBSize = static_cast<int>(records);
    return true;
  }
  struct stat st {};
  if (::stat(db.DBNameIdx.c_str(), &st) == 0) ::chmod(tmp.c_str(), st.st_mode & 07777);
  if (!out.Sync(err)) return abandon(err);
  out.Close();
  if (db.StepHook) db.StepHook("rename");
  if (::rename(tmp.c_str(), db.DBNameIdx.c_str()) != 0) {
    const int e = errno;
    ::unlink(tmp.c_str());
    db.LastError = SysError(db.DBNameIdx, "cannot replace with the compacted index", e);
    return false;
  }
  SyncFolderOf(db.DBNameIdx);
  if (!db.DBIdx.Open(db.DBNameIdx, true, false, err)) {
    db.LastError = err + " (after compacting; the database is closed)";
    SaveNamesIfNeeded(db);
    CloseFiles(db);
    return false;
  }
  db.DBSize = static_cast<int>(kept);
  if (db.DBCurPos > db.DBSize) db.DBCurPos = db.DBSize;
  return true;
}

// ---------------------------------------------------------------------------
// Deleting

bool DeleteDatabaseFiles(TQuorlinDB& db) {
  // Only the files of a database that opened: paths left by a failed open may
  // name files that are not a database of this program.
  if (!db.DBOpened) {
    db.LastError = "no database is open";
    return false;
  }
  CloseFiles(db);  // the names go with the files
  db.DBChanged = false;
  db.LastError.clear();
  bool ok = true;
  std::string undo = db.DBNameIdx.empty() ? "" : UndoPath(db);
  for (const std::string* p : {&db.DBNameMain, &db.DBNameIdx, &db.DBNameNames, &undo}) {
    if (p->empty()) continue;
    // The undo file goes only with the index whose record it restores.
    if (p == &undo && FileExists(db.DBNameIdx)) continue;
    if (::unlink(p->c_str()) != 0 && errno != ENOENT) {
      db.LastError = SysError(*p, "cannot delete", errno);
      ok = false;
    }
  }
  return ok;
}

}  // namespace quorlin
