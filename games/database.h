#pragma once
// Game databases: the index file ".abd" (one fixed-size header record per game),
// the games file ".abm" (version byte, then the encoded game bodies) and the
// names file ".abn" (players, tournaments, sites).
//
// Every operation reports failure by its result and leaves a text naming the file
// (and the game number where there is one) in TQuorlinDB::LastError. A failed
// write leaves the games already stored readable.
//
// What a crash at any moment leaves behind opens, and every game whose index
// record reached the disk reads back with its names (after a power loss too:
// each step is flushed to the disk before the next relies on it, unless
// SyncWrites is switched off):
// - a game body reaches the disk before the index record that points to it, and
//   a replaced game's new body never overwrites the old one;
// - the names file (replaced whole, through a file beside it and a rename)
//   reaches the disk before any index record that refers to a new entry of it;
// - a new database writes its names file, then its index file, then its games
//   file, which takes its name only with the version byte in it: a games file
//   that exists has the others, and the three open.
// - before the index record of a stored game is overwritten, its old contents
//   reach the undo file beside the index (index path + ".undo": game number,
//   the old record, a checksum), which is removed once the new record is on
//   the disk. A record torn by a crash or a full disk is thus never read:
//   opening for writing puts the old record back (the game reads as it was
//   before), opening for reading reads the old record in its place. An undo
//   file that fails its checks is what a crash while writing it leaves (the
//   record was not touched yet) and is ignored.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "games/dbfile.h"
#include "games/dbnames.h"
#include "games/gamerecord.h"

namespace quorlin {

constexpr uint8_t kDBVersion20 = 20;
constexpr uint8_t kDBVersion30 = 30;
constexpr uint8_t kDBVersion38 = 38;

constexpr int kIndexRecordSize = 88;    // versions 30 and 38
constexpr int kIndexRecordSize20 = 52;  // version 20

constexpr uint8_t kDeletedFlag = 0x80;         // Flags bit 7: the game is marked deleted
constexpr uint8_t kStoredCustomVariant = 255;  // TypeOfGame of a custom variant as stored

// The undo file of an index: 4-byte magic "QDUN", version byte, three zero
// bytes, game number (little-endian 32 bits), the old 88-byte record, then the
// CRC-32 (BodyChecksum) of everything before it.
inline constexpr const char* kUndoFileSuffix = ".undo";
constexpr uint8_t kUndoFileVersion = 1;
constexpr int kUndoFileSize = 104;

// Texts the user sees for some failures (translated by the caller where it can).
inline constexpr const char* kWrongDatabaseTypeText = "Wrong database type:";
inline constexpr const char* kCannotOpenDatabaseText = "Cannot open the database.";
inline constexpr const char* kUnsupportedGameTypeText =
    "Unsupported GameType.\rPlease, download new version!";
inline constexpr const char* kBadListIndexText = "ERROR!!!";
// Text of a name, tournament or site that a crash kept from the names file.
inline constexpr const char* kLostNameText = "?";

// Games a bulk import holds back per batch (see BeginBatch).
constexpr int kImportBatchGames = 1000;

// Checksum of a version-38 game body: reflected CRC-32 (polynomial 0xEDB88320)
// started from 0, without final inversion.
uint32_t BodyChecksum(const uint8_t* data, size_t size);

// Index records, byte for byte and little-endian. Packing writes a custom
// variant (TypeOfGame 0) as 255 and zeroes the filler bytes; unpacking reads 255
// back as 0. A version-20 record is widened field by field (zero-extended), with
// Crc 0 and TypeOfGame as stored.
void PackIndexRecord(const TGameHeader& header, uint8_t* record88);
void UnpackIndexRecord(const uint8_t* record88, TGameHeader& header);
void UnpackIndexRecord20(const uint8_t* record52, TGameHeader& header);

// A replaced game's index record as it was before the replacement, while the
// undo file holds it: reads of game `Game` give `Record` instead of what the
// index file holds there (which may be torn).
struct TUndoRecord {
  int Game = 0;  // 0: none
  uint8_t Record[kIndexRecordSize] = {};
};

// One open game database. Several may exist at once. Not copyable: it owns files.
struct TQuorlinDB {
  bool DBOpened = false;
  std::string DBNameIdx;    // base + ".abd"
  std::string DBNameNames;  // base + ".abn"
  std::string DBNameMain;   // base + ".abm"; also the database's identity in TGame::DBName
  TDBFile DBIdx;            // index file: 52-byte records in version 20, else 88-byte records
  int IdxRecordSize = kIndexRecordSize;
  TNameList DBNames;       // player and annotator names
  TNameList DBTourn;       // tournaments
  TNameList DBSites;       // sites
  TDBFile DBMain;          // games file
  int DBCurPos = 0;        // current row of the database window's list (1-based)
  int DBSize = 0;          // index records, including games marked deleted
  uint8_t DBType = 0;      // version byte: 20, 30 or 38
  bool DBChanged = false;  // a names list gained an entry since the names file was written
  bool ReadOnly = false;

  // Outside a batch, each write is flushed to the disk before the next step
  // relies on it (body before index record). Switched off, the order of the
  // writes still protects against a crash of the process, not of the machine.
  bool SyncWrites = true;
  TNamesEncoding NamesEncoding = TNamesEncoding::utf8;
  // What went wrong in the last failed operation: file, game number, reason.
  std::string LastError;
  // Set by opening a database that a crash left incomplete (names file missing,
  // or shorter than its index records need); names the file. Empty otherwise.
  std::string Warning;
  // Entries of each list that the names file on disk holds; an index record
  // referring beyond them lost its names. Entries past these counts in the
  // lists are new (not yet written) or stand in for lost ones (kLostNameText).
  int NamesOnDisk = 0;
  int TournOnDisk = 0;
  int SitesOnDisk = 0;
  // Batch mode (BeginBatch): the most games whose index records are held back,
  // 0 outside a batch, and the held records (88 bytes each, in game order).
  int BatchLimit = 0;
  std::vector<uint8_t> BatchRecords;
  // Set while an undo file is left (read-only, or its record could not be put
  // back yet); written back before the index changes again, and when closing.
  TUndoRecord Undo;
  // See TFileStepHook; set before opening or creating.
  TFileStepHook StepHook;
  // Body buffer shared by every read and write of this database; never shrunk.
  std::vector<uint8_t> Body;

  TQuorlinDB() = default;
  ~TQuorlinDB();
  TQuorlinDB(const TQuorlinDB&) = delete;
  TQuorlinDB& operator=(const TQuorlinDB&) = delete;
};

// Opens the database whose files share the base name of `path`. A ".pdn" path
// opens nothing but is remembered in DBNameMain (DBType 0). Opened for
// reading, never writes.
//
// The index and games files must exist. A database that a crash left without
// its names file, or with one shorter than its index records need, opens with
// `Warning` set: the lists are filled up with kLostNameText entries as far as
// the records refer (at most three names, one tournament and one site per
// game beyond the file), so that new names never take the place of lost ones.
// Opened for writing, the names file is written whole again when the database
// is closed or a game is written.
//
// An undo file left beside the index (see the top of this file) that passes its
// checks (magic, version, checksum, a game number within the index) is taken
// up: opened for writing, its record is put back at its game number, flushed,
// and the file removed (when that fails, the open goes on with the record kept
// in `Undo` and the file left for the next try); opened for reading, the record
// is kept in `Undo` and nothing is written. One that fails them is removed
// when opened for writing and ignored otherwise.
bool OpenDatabase(const std::string& path, TQuorlinDB& db, bool readOnly);
// Creates an empty database (version 38 or 30): the names file (with only its
// byte-order mark in version 38), an empty index file and the games file with
// its version byte (written beside it and renamed), in that order. Refuses when a file of that base name
// exists, unless `replaceExisting` (the user confirmed overwriting). An undo
// file of that base name belongs to no database that opens and is removed first.
bool CreateDatabase(const std::string& path, TQuorlinDB& db, uint8_t version = kDBVersion38,
                    bool replaceExisting = false);
// Opens the database, or creates a version-38 one when none of its files exist
// or only what an interrupted creation leaves (no games file or one without
// its version byte, and no index record).
bool OpenOrCreateDatabase(const std::string& path, TQuorlinDB& db);
// Writes the held batch and the names file when needed and closes everything.
// When they cannot be written the database stays open and the result is false. Opening or
// creating another database in the same record closes this one first, and
// fails likewise.
bool CloseDatabase(TQuorlinDB& db);
// True when all three files of the base name of `path` exist.
bool DatabaseFilesExist(const std::string& path);
// True when the index and games files of the base name of `path` exist (what
// OpenDatabase needs; the names file may have been lost).
bool DatabaseExists(const std::string& path);

// Fills the three lists from the names file (empty lists when it is missing).
bool LoadNames(TQuorlinDB& db);
// Rewrites the names file (replacing it whole) when DBChanged.
bool SaveDBNames(TQuorlinDB& db);
// SaveDBNames for version 30, and for version 38 unless read-only.
bool SaveNamesIfNeeded(TQuorlinDB& db);

// List entries, or "ERROR!!!" for an index outside the list. TournamentAt masks
// the game number after ", game " for lists shown to the user; a game read from
// the database keeps the stored text (StoredTournamentAt).
std::string NameAt(int i, const TQuorlinDB& db);
std::string TournamentAt(int i, const TQuorlinDB& db);
std::string StoredTournamentAt(int i, const TQuorlinDB& db);
std::string SiteAt(int i, const TQuorlinDB& db);
std::string MaskTournamentGameNumber(const std::string& text);

// Number of games: the whole records in the index file and those a batch holds
// back; -1 when the file cannot be read (LastError set).
int IndexRecordCount(TQuorlinDB& db);
// Reads index record n (1-based) into `header` (the record kept in `Undo` when
// it is game n's); false when it does not exist or cannot be read.
bool ReadIndexRecord(TQuorlinDB& db, int n, TGameHeader& header);
// For callers that read index records in blocks straight from the file: puts
// the record kept in `Undo` over its place in `raw`, which holds `count`
// records of 88 bytes from game `first` + 1 on (`first` counted from 0).
void OverlayUndo(const TQuorlinDB& db, int64_t first, int64_t count, uint8_t* raw);

// Reads game n into `game`. False, with the game cleared and LastError naming the
// file and game number, when the record or body cannot be read, lies outside the
// games file, fails its checksum or does not decode, or when the game's variant
// is unknown to this program (TypeOfGame above 14). `keep` (scans reading many
// games into one work record) skips clearing and the opening designation;
// `showFrom` >= 0 replaces the stored ShowFrom.
bool ReadGame(TQuorlinDB& db, int n, bool keep, int showFrom, TGame& game);

// Writes `game` as game n, or appends it when n = 0, and adds its names to the
// lists. A name new to the lists is written to the names file before the index
// record that uses it; `saveNames` also writes names an earlier call left
// unwritten. The body goes to the end of the games file (also when a game is
// replaced, so that its old body stays whole until the new record points
// elsewhere) before the index record, so an interruption loses at most this
// game. A replaced game's old record goes to the undo file first, before
// anything else is written: when that fails, nothing is changed; when the new
// record cannot be written and the old one cannot be put back either, the game
// reads as its old version from `Undo` and the undo file restores it at the
// next open. In a batch the index record of an appended game is held back (see
// BeginBatch). Refused (nothing written) for a version-20, read-only or closed
// database, a game number that does not exist, and a game whose variant is
// above 14. On success Modified goes False and DBSize counts the games; the
// caller sets the game's DBGameNo and DBName (DBSize after an append, else n).
bool WriteGame(TGame& game, int n, TQuorlinDB& db, bool saveNames);

// Batches for bulk imports. While a batch is open, WriteGame appends each body
// at once but holds its index record back; FlushBatch makes the bodies durable,
// writes the names file when a list changed, and only then writes the held
// records. A batch flushes itself before a game beyond `games` held records,
// and before any other operation that reads or changes the index; CloseDatabase
// flushes it. A crash loses at most the held games (their bodies stay as
// unreachable bytes) and never leaves a record without its names.
bool BeginBatch(TQuorlinDB& db, int games = kImportBatchGames);
bool FlushBatch(TQuorlinDB& db);
// Flushes and leaves batch mode.
bool EndBatch(TQuorlinDB& db);

// Game n's deleted mark (Flags bit 7): mode 1 clears it, 2 sets it, 3 toggles it.
bool SetDeletedMark(TQuorlinDB& db, int n, int mode);

// Removes the index records marked deleted from an open version-38 database,
// keeping the others (byte for byte) in order, and cuts off a half record that
// a crash left at the end. The new index is written beside the old one and
// takes its name only when complete. Game bodies stay where they
// are; the numbers of the remaining games change.
bool CompactIndex(TQuorlinDB& db);

// Closes the open database and deletes its three files (and an undo file left
// beside the index); false when no database is open (nothing is deleted) or a
// file cannot be deleted.
bool DeleteDatabaseFiles(TQuorlinDB& db);

}  // namespace quorlin
