#pragma once
// Game databases: the index file ".abd" (one fixed-size header record per game),
// the games file ".abm" (version byte, then the encoded game bodies) and the
// names file ".abn" (players, tournaments, sites).
//
// Every operation reports failure by its result and leaves a text naming the file
// (and the game number where there is one) in TQuorlinDB::LastError. A failed
// write leaves the games already stored readable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "games/gamerecord.h"

namespace quorlin {

constexpr uint8_t kDBVersion20 = 20;
constexpr uint8_t kDBVersion30 = 30;
constexpr uint8_t kDBVersion38 = 38;

constexpr int kIndexRecordSize = 88;    // versions 30 and 38
constexpr int kIndexRecordSize20 = 52;  // version 20

constexpr uint8_t kDeletedFlag = 0x80;         // Flags bit 7: the game is marked deleted
constexpr uint8_t kStoredCustomVariant = 255;  // TypeOfGame of a custom variant as stored

// Texts the user sees for some failures (translated by the caller where it can).
inline constexpr const char* kWrongDatabaseTypeText = "Wrong database type:";
inline constexpr const char* kCannotOpenDatabaseText = "Cannot open the database.";
inline constexpr const char* kUnsupportedGameTypeText =
    "Unsupported GameType.\rPlease, download new version!";
inline constexpr const char* kBadListIndexText = "ERROR!!!";

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

// Case-insensitive key of a text: the names lists treat texts that differ only
// in letter case as the same entry (Latin, Greek and Cyrillic letters).
std::string FoldCase(const std::string& utf8);

// Player, tournament or site names in stored order, looked up by hashing with
// letter case ignored.
class TNameList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int i) const { return items_[i]; }
  const std::vector<std::string>& Items() const { return items_; }
  // Position of the first entry equal to `text` apart from letter case, or -1.
  int IndexOf(const std::string& text) const;
  // Appends an entry (duplicates allowed, as read from a file) and returns its position.
  int Add(const std::string& text);
  void Clear();

 private:
  std::vector<std::string> items_;
  std::unordered_map<std::string, int> firstByKey_;
};

// A file reached by byte position (index or games file). Closes itself.
class TDBFile {
 public:
  TDBFile() = default;
  ~TDBFile() { Close(); }
  TDBFile(const TDBFile&) = delete;
  TDBFile& operator=(const TDBFile&) = delete;
  TDBFile(TDBFile&& other) noexcept;
  TDBFile& operator=(TDBFile&& other) noexcept;

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Opens an existing file. A writable open takes an exclusive lock when
  // `lockWriters`, and fails when another writer holds it.
  bool Open(const std::string& path, bool writable, bool lockWriters, std::string& error);
  // Creates a file for reading and writing; `exclusive` refuses an existing one,
  // otherwise an existing file is truncated (after taking the lock, when asked).
  bool Create(const std::string& path, bool exclusive, bool lockWriters, std::string& error);
  void Close();

  bool Size(int64_t& size, std::string& error) const;
  // Reads exactly `n` bytes at `pos`; reaching the end of the file first is an error.
  bool ReadAt(int64_t pos, void* buf, size_t n, std::string& error) const;
  // Writes all `n` bytes at `pos`; a short write (disk full) is an error.
  bool WriteAt(int64_t pos, const void* buf, size_t n, std::string& error);
  bool Truncate(int64_t size, std::string& error);
  // Makes the written data durable.
  bool Sync(std::string& error);

 private:
  int fd_ = -1;
  std::string path_;
};

// How the text names file of an open database was encoded, so that rewriting it
// keeps the form other programs read.
enum class TNamesEncoding : uint8_t { utf8, windows1252 };

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

  // Each write is flushed to the disk before the next step relies on it (body
  // before index record). A bulk import may switch this off and close at the end.
  bool SyncWrites = true;
  TNamesEncoding NamesEncoding = TNamesEncoding::utf8;
  // What went wrong in the last failed operation: file, game number, reason.
  std::string LastError;
  // Body buffer shared by every read and write of this database; never shrunk.
  std::vector<uint8_t> Body;

  TQuorlinDB() = default;
  ~TQuorlinDB();
  TQuorlinDB(const TQuorlinDB&) = delete;
  TQuorlinDB& operator=(const TQuorlinDB&) = delete;
};

// Opens the database whose files share the base name of `path`. A ".pdn" path
// opens nothing but is remembered in DBNameMain (DBType 0). Never writes.
bool OpenDatabase(const std::string& path, TQuorlinDB& db, bool readOnly);
// Creates an empty database (version 38 or 30). Refuses when a file of that
// base name exists, unless `replaceExisting` (the user confirmed overwriting).
bool CreateDatabase(const std::string& path, TQuorlinDB& db, uint8_t version = kDBVersion38,
                    bool replaceExisting = false);
// Opens the database, or creates a version-38 one when none of its files exist.
bool OpenOrCreateDatabase(const std::string& path, TQuorlinDB& db);
// Writes the names file when needed and closes everything. When the names cannot
// be written the database stays open and the result is false. Opening or
// creating another database in the same record closes this one first, and
// fails likewise.
bool CloseDatabase(TQuorlinDB& db);
// True when all three files of the base name of `path` exist.
bool DatabaseFilesExist(const std::string& path);

// Fills the three lists from the names file.
bool LoadNames(TQuorlinDB& db);
// Rewrites the names file (replacing it whole) when DBChanged.
bool SaveDBNames(TQuorlinDB& db);
// SaveDBNames for version 30, and for version 38 unless read-only.
bool SaveNamesIfNeeded(TQuorlinDB& db);

// List entries, or "ERROR!!!" for an index outside the list. TournamentAt masks
// the game number after ", game ".
std::string NameAt(int i, const TQuorlinDB& db);
std::string TournamentAt(int i, const TQuorlinDB& db);
std::string SiteAt(int i, const TQuorlinDB& db);
std::string MaskTournamentGameNumber(const std::string& text);

// Number of whole records in the index file now, or -1 (LastError set).
int IndexRecordCount(TQuorlinDB& db);
// Reads index record n (1-based) into `header`; false when it does not exist or
// cannot be read.
bool ReadIndexRecord(TQuorlinDB& db, int n, TGameHeader& header);

// Reads game n into `game`. False, with the game cleared and LastError naming the
// file and game number, when the record or body cannot be read, lies outside the
// games file, fails its checksum or does not decode, or when the game's variant
// is unknown to this program (TypeOfGame above 14). `keep` (scans reading many
// games into one work record) skips clearing and the opening designation;
// `showFrom` >= 0 replaces the stored ShowFrom.
bool ReadGame(TQuorlinDB& db, int n, bool keep, int showFrom, TGame& game);

// Writes `game` as game n, or appends it when n = 0; adds its names to the lists
// (and writes the names file when `saveNames` and a list changed). The body is
// written before the index record, so an interruption loses at most this game;
// a replaced body is overwritten in place only when the new one fits in the old
// slot. Refused (nothing written) for a version-20, read-only or closed database,
// a game number that does not exist, and a game whose variant is above 14.
// On success Modified goes False and DBSize follows the index file; the caller
// sets the game's DBGameNo and DBName (DBSize after an append, else n).
bool WriteGame(TGame& game, int n, TQuorlinDB& db, bool saveNames);

// Game n's deleted mark (Flags bit 7): mode 1 clears it, 2 sets it, 3 toggles it.
bool SetDeletedMark(TQuorlinDB& db, int n, int mode);

// Removes the index records marked deleted from an open version-38 database,
// keeping the others (byte for byte) in order. The new index is written beside
// the old one and takes its name only when complete. Game bodies stay where they
// are; the numbers of the remaining games change.
bool CompactIndex(TQuorlinDB& db);

// Closes the open database and deletes its three files; false when no database
// is open (nothing is deleted) or a file cannot be deleted.
bool DeleteDatabaseFiles(TQuorlinDB& db);

}  // namespace quorlin
