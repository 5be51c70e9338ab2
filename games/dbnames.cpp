#include "games/dbnames.h"

#include <algorithm>
#include <limits>

#include "games/database.h"
#include "common/text.h"

namespace quorlin {

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

}  // namespace

std::string NamesFileEntry(const std::string& text) {
  std::string s = text;
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

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

// Fills the three lists from the names file, in either of its forms.
bool ReadNamesFile(TQuorlinDB& db) {
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

// The lists as they now stand are what the names file holds.
void NoteNamesOnDisk(TQuorlinDB& db) {
  db.NamesOnDisk = db.DBNames.Count();
  db.TournOnDisk = db.DBTourn.Count();
  db.SitesOnDisk = db.DBSites.Count();
}

}  // namespace

bool LoadNames(TQuorlinDB& db) {
  if (!FileExists(db.DBNameNames)) {
    db.DBNames.Clear();
    db.DBTourn.Clear();
    db.DBSites.Clear();
    db.NamesEncoding = TNamesEncoding::utf8;
    NoteNamesOnDisk(db);
    return true;
  }
  if (!ReadNamesFile(db)) return false;
  NoteNamesOnDisk(db);
  return true;
}

bool SaveDBNames(TQuorlinDB& db) {
  if (!db.DBChanged) return true;
  std::string out;
  if (db.DBType == kDBVersion38) {
    out = "\xEF\xBB\xBF";
    auto put = [&](const TNameList& list, const char* kind) {
      for (int i = 0; i < list.Count(); ++i)
        out += std::string(kind) + "\t" + std::to_string(i) + "\t" + NamesFileEntry(list[i]) + "\r\n";
    };
    put(db.DBNames, "Name");
    put(db.DBTourn, "Tournament");
    put(db.DBSites, "Site");
  } else {
    auto put = [&](const TNameList& list, char prefix) {
      for (int i = 0; i < list.Count(); ++i) out += prefix + NamesFileEntry(list[i]) + "\r\n";
    };
    put(db.DBNames, '^');
    put(db.DBTourn, '*');
    put(db.DBSites, '@');
    if (db.NamesEncoding == TNamesEncoding::windows1252) out = Utf8ToCp1252(out);
  }
  std::string err;
  if (!ReplaceFileAtomically(db.DBNameNames, out, err, &db.StepHook)) {
    db.LastError = err;
    return false;
  }
  NoteNamesOnDisk(db);
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

std::string StoredTournamentAt(int i, const TQuorlinDB& db) {
  return i >= 0 && i < db.DBTourn.Count() ? db.DBTourn[i] : kBadListIndexText;
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

}  // namespace quorlin
