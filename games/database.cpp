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
#include "common/text.h"
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
// Text helpers: UTF-8, the Windows-1252 code page of old names files, case folding

namespace {

bool NextCodePoint(const std::string& s, size_t& i, char32_t& cp) { return DecodeUtf8(s, i, cp); }

bool IsValidUtf8(const std::string& s) {
  char32_t cp;
  for (size_t i = 0; i < s.size();)
    if (!NextCodePoint(s, i, cp)) return false;
  return true;
}

// Bytes 0x80..0x9F of Windows-1252; the rest of the code page equals Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Cp1252ToUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size() + s.size() / 4);
  for (char c : s) {
    const auto b = static_cast<uint8_t>(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  char32_t cp;
  for (size_t i = 0; i < s.size();) {
    if (!NextCodePoint(s, i, cp)) {
      out += '?';
      continue;
    }
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
      out += static_cast<char>(cp);
      continue;
    }
    char c = '?';
    for (int k = 0; k < 32; ++k)
      if (kCp1252High[k] == cp) c = static_cast<char>(0x80 + k);
    out += c;
  }
  return out;
}

char32_t LowerCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF)) return c | 1;
  if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c + 1 : c;
  return c;
}

// A names entry is one line of the names file: line breaks inside a text would
// split it and shift every later entry, so they become blanks.
std::string OneLine(const std::string& text) {
  std::string s = text;
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

}  // namespace

std::string FoldCase(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  char32_t cp;
  for (size_t i = 0; i < utf8.size();) {
    const size_t at = i;
    if (NextCodePoint(utf8, i, cp))
      AppendUtf8(out, LowerCase(cp));
    else
      out += utf8[at];
  }
  return out;
}

// ---------------------------------------------------------------------------
// Names lists

int TNameList::IndexOf(const std::string& text) const {
  auto it = firstByKey_.find(FoldCase(text));
  return it == firstByKey_.end() ? -1 : it->second;
}

int TNameList::Add(const std::string& text) {
  const int pos = Count();
  items_.push_back(text);
  firstByKey_.emplace(FoldCase(text), pos);  // keeps the first of equal texts
  return pos;
}

void TNameList::Clear() {
  items_.clear();
  firstByKey_.clear();
}

// ---------------------------------------------------------------------------
// Files

namespace {

std::string SysError(const std::string& path, const std::string& what, int err) {
  return path + ": " + what + " (" + std::strerror(err) + ")";
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = SysError(path, "cannot open", errno);
    return false;
  }
  out.clear();
  char buf[65536];
  for (;;) {
    const ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error = SysError(path, "cannot read", errno);
      ::close(fd);
      return false;
    }
    if (r == 0) break;
    out.append(buf, static_cast<size_t>(r));
  }
  ::close(fd);
  return true;
}

bool SyncFolderOf(const std::string& path) {
  const fs::path dir = fs::path(path).parent_path();
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// Replaces a file whole: the new contents go to a file beside it, reach the disk,
// and only then take the old file's name, so a failure at any step leaves either
// the old or the new file complete.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& error) {
  const std::string tmp = path + ".new";
  TDBFile f;
  if (!f.Create(tmp, false, false, error)) return false;
  if (!f.WriteAt(0, bytes.data(), bytes.size(), error) || !f.Sync(error)) {
    f.Close();
    ::unlink(tmp.c_str());
    return false;
  }
  f.Close();
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    error = SysError(path, "cannot replace with " + tmp, errno);
    ::unlink(tmp.c_str());
    return false;
  }
  SyncFolderOf(path);
  return true;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

TDBFile::TDBFile(TDBFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

TDBFile& TDBFile::operator=(TDBFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

bool TDBFile::Open(const std::string& path, bool writable, bool lockWriters, std::string& error) {
  Close();
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    error = SysError(path, "cannot open", errno);
    return false;
  }
  if (writable && lockWriters && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = SysError(path, "is in use by another writer", errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool TDBFile::Create(const std::string& path, bool exclusive, bool lockWriters, std::string& error) {
  Close();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : 0), 0666);
  if (fd < 0) {
    error = SysError(path, exclusive ? "cannot create (or it exists already)" : "cannot create", errno);
    return false;
  }
  // Lock before truncating, so that a file another writer holds is left alone.
  if (lockWriters && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = SysError(path, "is in use by another writer", errno);
    ::close(fd);
    return false;
  }
  if (!exclusive && ::ftruncate(fd, 0) != 0) {
    error = SysError(path, "cannot truncate", errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

void TDBFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // also releases the lock
  fd_ = -1;
}

bool TDBFile::Size(int64_t& size, std::string& error) const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error = SysError(path_, "cannot get the size", fd_ < 0 ? EBADF : errno);
    return false;
  }
  size = st.st_size;
  return true;
}

bool TDBFile::ReadAt(int64_t pos, void* buf, size_t n, std::string& error) const {
  auto* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error = SysError(path_, "cannot read at byte " + std::to_string(pos + done), errno);
      return false;
    }
    if (r == 0) {
      error = path_ + ": unexpected end of file at byte " + std::to_string(pos + done) + " (wanted " +
              std::to_string(n) + " bytes at byte " + std::to_string(pos) + ")";
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

bool TDBFile::WriteAt(int64_t pos, const void* buf, size_t n, std::string& error) {
  const auto* p = static_cast<const char*>(buf);
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      error = SysError(path_, "cannot write at byte " + std::to_string(pos + done), r < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

bool TDBFile::Truncate(int64_t size, std::string& error) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    error = SysError(path_, "cannot cut at byte " + std::to_string(size), errno);
    return false;
  }
  return true;
}

bool TDBFile::Sync(std::string& error) {
  if (::fsync(fd_) != 0) {
    error = SysError(path_, "cannot flush to disk", errno);
    return false;
  }
  return true;
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
}

void CloseFiles(TQuorlinDB& db) {
  db.DBIdx.Close();
  db.DBMain.Close();
  db.DBNames.Clear();
  db.DBTourn.Clear();
  db.DBSites.Clear();
  db.DBSize = 0;
  db.DBOpened = false;
}

}  // namespace

TQuorlinDB::~TQuorlinDB() {
  if (!CloseDatabase(*this)) CloseFiles(*this);
}

bool DatabaseFilesExist(const std::string& path) {
  const std::string base = BaseName(path);
  return FileExists(base + ".abd") && FileExists(base + ".abm") && FileExists(base + ".abn");
}

namespace {

// Closes the database open in `db` before another is opened in it; fails (and
// keeps it open) when its new names cannot be written.
bool CloseBeforeReuse(TQuorlinDB& db) {
  if (CloseDatabase(db)) return true;
  db.LastError = "the open database cannot be closed: " + db.LastError;
  return false;
}

}  // namespace

bool OpenDatabase(const std::string& path, TQuorlinDB& db, bool readOnly) {
  if (!CloseBeforeReuse(db)) return false;
  db.LastError.clear();
  if (HasExtension(path, ".pdn")) {
    db.DBNameMain = path;
    db.DBType = 0;
    db.LastError = path + ": a PDN file is not a database";
    return false;
  }
  SetPaths(path, db);
  CloseFiles(db);
  if (!DatabaseFilesExist(path)) {
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
  if (!LoadNames(db)) {
    CloseFiles(db);
    return false;
  }
  db.DBOpened = true;
  db.DBChanged = false;
  return true;
}

bool CreateDatabase(const std::string& path, TQuorlinDB& db, uint8_t version, bool replaceExisting) {
  if (!CloseBeforeReuse(db)) return false;
  db.LastError.clear();
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
  db.DBType = version;
  db.ReadOnly = false;
  db.IdxRecordSize = kIndexRecordSize;
  db.NamesEncoding = TNamesEncoding::utf8;
  std::string err;
  const bool exclusive = !replaceExisting;
  bool createdMain = false;
  bool ok = db.DBMain.Create(db.DBNameMain, exclusive, true, err);
  if (ok) {
    createdMain = true;
    ok = db.DBIdx.Create(db.DBNameIdx, exclusive, false, err);
  }
  if (ok) ok = db.DBMain.WriteAt(0, &version, 1, err) && db.DBMain.Sync(err) && db.DBIdx.Sync(err);
  if (ok && replaceExisting) {
    // The old names belong to the replaced games.
    if (::unlink(db.DBNameNames.c_str()) != 0 && errno != ENOENT) {
      err = SysError(db.DBNameNames, "cannot delete", errno);
      ok = false;
    }
  }
  if (!ok) {
    db.LastError = err;
    const bool idxOpen = db.DBIdx.IsOpen();
    CloseFiles(db);
    // Files this call made from nothing are removed again; nothing else is touched.
    if (exclusive && createdMain) ::unlink(db.DBNameMain.c_str());
    if (exclusive && idxOpen) ::unlink(db.DBNameIdx.c_str());
    return false;
  }
  SyncFolderOf(db.DBNameMain);
  db.DBCurPos = 1;
  db.DBSize = 0;
  db.DBOpened = true;
  db.DBChanged = true;  // closing writes the (empty) names file
  return true;
}

bool OpenOrCreateDatabase(const std::string& path, TQuorlinDB& db) {
  if (OpenDatabase(path, db, false)) return true;
  if (DatabaseFilesExist(path)) {
    db.LastError = std::string(kCannotOpenDatabaseText) + " " + db.LastError;
    return false;
  }
  return CreateDatabase(path, db, kDBVersion38);
}

bool CloseDatabase(TQuorlinDB& db) {
  if (!db.DBOpened) return true;
  // New names not on disk would leave games pointing past the lists: the
  // database stays open so that the caller can report it and try again.
  if (!SaveNamesIfNeeded(db)) return false;
  CloseFiles(db);
  return true;
}

// ---------------------------------------------------------------------------
// Names file

namespace {

bool ParseDecimal(const std::string& text, long long& value) {
  size_t i = 0, end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  bool neg = false;
  if (i < end && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i == end) return false;
  long long v = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > std::numeric_limits<int32_t>::max()) return false;
  }
  value = neg ? -v : v;
  return true;
}

}  // namespace

bool LoadNames(TQuorlinDB& db) {
  db.DBNames.Clear();
  db.DBTourn.Clear();
  db.DBSites.Clear();
  db.NamesEncoding = TNamesEncoding::utf8;
  std::string text, err;
  if (!ReadWholeFile(db.DBNameNames, text, err)) {
    db.LastError = err;
    return false;
  }
  const bool bom = text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (bom) {
    text.erase(0, 3);
  } else if (!IsValidUtf8(text)) {
    // Written by a program using an 8-bit code page.
    text = Cp1252ToUtf8(text);
    db.NamesEncoding = TNamesEncoding::windows1252;
  }
  const std::vector<std::string> lines = SplitLines(text);
  if (db.DBType != kDBVersion38) {
    for (const std::string& line : lines) {
      if (line.empty()) continue;
      const std::string entry = line.substr(1);
      switch (line[0]) {
        case '^':
          db.DBNames.Add(entry);
          break;
        case '*':
          db.DBTourn.Add(entry);
          break;
        case '@':
          db.DBSites.Add(entry);
          break;
        default:
          break;
      }
    }
    return true;
  }
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    if (line.empty()) continue;
    const size_t tab1 = line.find('\t');
    const std::string kind = line.substr(0, tab1);
    TNameList* list = nullptr;
    if (kind.find("Name") != std::string::npos)
      list = &db.DBNames;
    else if (kind.find("Tournament") != std::string::npos)
      list = &db.DBTourn;
    else if (kind.find("Site") != std::string::npos)
      list = &db.DBSites;
    if (!list) continue;
    std::string position, entry;
    if (tab1 != std::string::npos) {
      const size_t tab2 = line.find('\t', tab1 + 1);
      position = line.substr(tab1 + 1, tab2 == std::string::npos ? std::string::npos : tab2 - tab1 - 1);
      if (tab2 != std::string::npos) entry = line.substr(tab2 + 1);
    }
    long long pos;
    if (!ParseDecimal(position, pos)) {
      db.LastError = db.DBNameNames + ": line " + std::to_string(n + 1) + ": position \"" + position +
                     "\" is not an integer";
      db.DBNames.Clear();
      db.DBTourn.Clear();
      db.DBSites.Clear();
      return false;
    }
    list->Add(entry);
  }
  return true;
}

bool SaveDBNames(TQuorlinDB& db) {
  if (!db.DBChanged) return true;
  std::string out;
  if (db.DBType == kDBVersion38) {
    out = "\xEF\xBB\xBF";
    auto put = [&](const TNameList& list, const char* kind) {
      for (int i = 0; i < list.Count(); ++i)
        out += std::string(kind) + "\t" + std::to_string(i) + "\t" + OneLine(list[i]) + "\r\n";
    };
    put(db.DBNames, "Name");
    put(db.DBTourn, "Tournament");
    put(db.DBSites, "Site");
  } else {
    auto put = [&](const TNameList& list, char prefix) {
      for (int i = 0; i < list.Count(); ++i) out += prefix + OneLine(list[i]) + "\r\n";
    };
    put(db.DBNames, '^');
    put(db.DBTourn, '*');
    put(db.DBSites, '@');
    if (db.NamesEncoding == TNamesEncoding::windows1252) out = Utf8ToCp1252(out);
  }
  std::string err;
  if (!ReplaceFileAtomically(db.DBNameNames, out, err)) {
    db.LastError = err;
    return false;
  }
  db.DBChanged = false;
  return true;
}

bool SaveNamesIfNeeded(TQuorlinDB& db) {
  if (db.DBType == kDBVersion30 || (db.DBType == kDBVersion38 && !db.ReadOnly)) return SaveDBNames(db);
  return true;
}

std::string NameAt(int i, const TQuorlinDB& db) {
  return i >= 0 && i < db.DBNames.Count() ? db.DBNames[i] : kBadListIndexText;
}

std::string SiteAt(int i, const TQuorlinDB& db) {
  return i >= 0 && i < db.DBSites.Count() ? db.DBSites[i] : kBadListIndexText;
}

std::string TournamentAt(int i, const TQuorlinDB& db) {
  return i >= 0 && i < db.DBTourn.Count() ? MaskTournamentGameNumber(db.DBTourn[i]) : kBadListIndexText;
}

std::string MaskTournamentGameNumber(const std::string& text) {
  const size_t p = text.find(", game ");
  if (p == std::string::npos) return text;
  const size_t semi = text.find(';');
  if (semi != std::string::npos && semi < p) return text;
  const size_t from = p + 7;
  const size_t to = semi == std::string::npos ? text.size() : semi;
  std::string out = text.substr(0, from);
  // One "x" per character, whatever its UTF-8 length.
  const std::string middle = text.substr(from, to > from ? to - from : 0);
  char32_t cp;
  for (size_t i = 0; i < middle.size();) {
    NextCodePoint(middle, i, cp);
    out += 'x';
  }
  out += text.substr(std::max(to, from));
  return out;
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
  return static_cast<int>(std::min<int64_t>(size / db.IdxRecordSize, std::numeric_limits<int32_t>::max()));
}

namespace {

std::string GameRef(const std::string& file, int n) { return file + ": game " + std::to_string(n) + ": "; }

// Reads the raw bytes of record n.
bool ReadRawRecord(TQuorlinDB& db, int n, uint8_t* raw) {
  if (!db.DBOpened) {
    db.LastError = "no database is open";
    return false;
  }
  if (n < 1) {
    db.LastError = GameRef(db.DBNameIdx, n) + "no such game";
    return false;
  }
  std::string err;
  if (!db.DBIdx.ReadAt(static_cast<int64_t>(n - 1) * db.IdxRecordSize, raw, db.IdxRecordSize, err)) {
    db.LastError = GameRef(db.DBNameIdx, n) + "index record cannot be read: " + err;
    return false;
  }
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
// Reading and writing games

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
  game.Tournament = TournamentAt(h.TournamentIndex, db);
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

bool WriteGame(TGame& game, int n, TQuorlinDB& db, bool saveNames) {
  if (!db.DBOpened) {
    db.LastError = "no database is open";
    return false;
  }
  if (db.DBType != kDBVersion30 && db.DBType != kDBVersion38) {
    db.LastError =
        db.DBNameMain + ": games are not written to a version-" + std::to_string(db.DBType) + " database";
    return false;
  }
  if (db.ReadOnly) {
    db.LastError = db.DBNameMain + ": the database is open for reading only";
    return false;
  }
  if (game.Header.TypeOfGame > kVariantCount) {
    db.LastError = GameRef(db.DBNameMain, n) + "variant " + std::to_string(game.Header.TypeOfGame) +
                   " is unknown; the game is not written";
    return false;
  }
  const int records = IndexRecordCount(db);
  if (records < 0) return false;
  if (n < 0 || n > records) {
    db.LastError =
        GameRef(db.DBNameIdx, n) + "no such game to replace (" + std::to_string(records) + " games)";
    return false;
  }

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

  // The summary marks the main line, which a version-30 body needs to restore the
  // order of the children, so it comes before the encoding.
  UpdateHeaderSummary(game, db.DBType);
  std::string err;
  if (!EncodeBody(game, db.DBType, db.Body, err)) {
    db.LastError = GameRef(db.DBNameMain, n) + "cannot be stored: " + err;
    return false;
  }
  const size_t size = db.Body.size();
  h.Crc = db.DBType == kDBVersion38 ? BodyChecksum(db.Body.data(), size) : 0;

  // Names are looked up once the game is known to be storable.
  auto index = [&](TNameList& list, const std::string& text) {
    const std::string entry = OneLine(text);
    int i = list.IndexOf(entry);
    if (i < 0) {
      i = list.Add(entry);
      db.DBChanged = true;
    }
    return i;
  };
  h.White.NameIndex = index(db.DBNames, game.WhiteName);
  h.Black.NameIndex = index(db.DBNames, game.BlackName);
  h.AnnotatorIndex = index(db.DBNames, game.AnnotatorName);
  h.TournamentIndex = index(db.DBTourn, game.Tournament);
  h.SiteIndex = index(db.DBSites, game.Site);
  if (saveNames && db.DBChanged && !SaveDBNames(db)) return false;

  int64_t mainSize = 0;
  if (!db.DBMain.Size(mainSize, err)) {
    db.LastError = err;
    return false;
  }
  const bool append = n == 0;
  int64_t offset = mainSize;
  if (!append) {
    TGameHeader old;
    if (!ReadIndexRecord(db, n, old)) return false;
    // Overwrite in place only a slot that fits and lies wholly inside the games
    // file after the version byte; anything else goes to the end.
    if (old.Length >= 0 && static_cast<size_t>(old.Length) >= size && old.Offset >= 1 &&
        int64_t{old.Offset} + old.Length <= mainSize)
      offset = old.Offset;
  } else {
    n = records + 1;
  }
  if (offset + static_cast<int64_t>(size) > std::numeric_limits<int32_t>::max()) {
    db.LastError = db.DBNameMain + ": the games file is full (2 GB)";
    return false;
  }
  h.Offset = static_cast<int32_t>(offset);
  h.Length = static_cast<int32_t>(size);
  uint8_t raw[kIndexRecordSize];
  PackIndexRecord(h, raw);

  // Body first, then the record that points to it.
  if (!db.DBMain.WriteAt(offset, db.Body.data(), size, err) || (db.SyncWrites && !db.DBMain.Sync(err))) {
    db.LastError = GameRef(db.DBNameMain, n) + "not written: " + err;
    std::string ignored;
    if (offset == mainSize) db.DBMain.Truncate(mainSize, ignored);  // drop a partial append
    return false;
  }
  const int64_t recordPos = static_cast<int64_t>(n - 1) * kIndexRecordSize;
  if (!db.DBIdx.WriteAt(recordPos, raw, kIndexRecordSize, err) || (db.SyncWrites && !db.DBIdx.Sync(err))) {
    db.LastError = GameRef(db.DBNameIdx, n) + "index record not written: " + err;
    std::string ignored;
    if (append) db.DBIdx.Truncate(recordPos, ignored);  // no half record at the end
    return false;
  }
  game.Modified = false;
  db.DBSize = append ? n : records;
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
  uint8_t raw[kIndexRecordSize];
  if (!ReadRawRecord(db, n, raw)) return false;
  const int at = FlagsOffset(db.IdxRecordSize);
  uint8_t flags = raw[at];
  if (mode == 1) flags &= static_cast<uint8_t>(~kDeletedFlag);
  if (mode == 2) flags |= kDeletedFlag;
  if (mode == 3) flags ^= kDeletedFlag;
  if (flags == raw[at]) return true;
  // One byte: the write cannot tear the record.
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
  std::string err;
  int64_t size = 0;
  if (!db.DBIdx.Size(size, err)) {
    db.LastError = err;
    return false;
  }
  if (size % kIndexRecordSize != 0) {
    db.LastError = db.DBNameIdx + ": damaged index (" + std::to_string(size % kIndexRecordSize) +
                   " bytes after the last whole record); not compacted";
    return false;
  }
  // Every record of the file is walked, even beyond a DBSize the caller has not
  // updated, so that no game is dropped.
  const int64_t records = size / kIndexRecordSize;
  const std::string tmp = db.DBNameIdx + ".new";
  TDBFile out;
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
  if (kept == records) {  // nothing marked deleted: the index stays as it is
    out.Close();
    ::unlink(tmp.c_str());
    db.DBSize = static_cast<int>(records);
    return true;
  }
  struct stat st {};
  if (::stat(db.DBNameIdx.c_str(), &st) == 0) ::chmod(tmp.c_str(), st.st_mode & 07777);
  if (!out.Sync(err)) return abandon(err);
  out.Close();
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
  for (const std::string* p : {&db.DBNameMain, &db.DBNameIdx, &db.DBNameNames}) {
    if (p->empty()) continue;
    if (::unlink(p->c_str()) != 0 && errno != ENOENT) {
      db.LastError = SysError(*p, "cannot delete", errno);
      ok = false;
    }
  }
  return ok;
}

}  // namespace quorlin
