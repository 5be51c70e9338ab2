#include "app/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "common/bytes.h"
#include "common/text.h"

namespace quorlin {

namespace {

constexpr char32_t kBad = 0xFFFFFFFF;  // marks an undecodable unit before line splitting
constexpr size_t kMaxFileSize = 16u << 20;
constexpr size_t kMaxWarnings = 20;

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. Each
// maximal invalid part gives one kBad.
std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < n) {
    const unsigned char b = byte(i);
    if (b < 0x80) {
      out += b;
      ++i;
      continue;
    }
    int len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out += kBad;
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k < static_cast<size_t>(len); ++k) {
      if (i + k >= n) break;
      const unsigned char c = byte(i + k);
      if (c < lo || c > hi) break;
      lo = 0x80, hi = 0xBF;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (k == static_cast<size_t>(len)) {
      out += cp;
    } else {
      out += kBad;
    }
    i += k;
  }
  return out;
}

std::u32string DecodeUtf16(std::u16string_view units) {
  std::u32string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size();) {
    char32_t cp;
    out += quorlin::DecodeUtf16(units, i, cp) ? cp : kBad;
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Settings values keep their other control characters; only blanks go.
std::string_view TrimBlanks(std::string_view s) { return TrimView(s, " \t"); }

std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

// Values with blanks at either end, or with quotes at both ends, are written
// in quotes so that reading (which trims and removes one pair of quotes) gives
// them back unchanged.
std::string QuoteIfNeeded(const std::string& v) {
  if (v.empty()) return v;
  const bool edgeBlank = IsBlank(v.front()) || IsBlank(v.back());
  const bool quoted = v.size() >= 2 && v.front() == '"' && v.back() == '"';
  return edgeBlank || quoted ? '"' + v + '"' : v;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

bool ParseInt(std::string_view s, int& out) {
  s = TrimBlanks(s);
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  long long v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return false;
    }
    v = v * base + d;
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (neg) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

// Collects warnings, keeping the first few and counting the rest, so that a
// file of pure garbage does not flood the log.
class WarningList {
 public:
  explicit WarningList(std::string file) : file_(std::move(file)) {}
  void Add(int line, std::string message) {
    if (list_.size() < kMaxWarnings) {
      list_.push_back({file_, line, std::move(message)});
    } else {
      ++dropped_;
    }
  }
  std::vector<TIniWarning> Take() {
    if (dropped_ > 0) list_.push_back({file_, 0, std::to_string(dropped_) + " more problems not listed"});
    return std::move(list_);
  }

 private:
  std::string file_;
  std::vector<TIniWarning> list_;
  size_t dropped_ = 0;
};

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char32_t cp : DecodeUtf8(text)) AppendUtf16(out, cp == kBad ? kReplacementChar : cp);
  return out;
}

std::string TIniWarning::Text() const {
  if (Line > 0) return File + ":" + std::to_string(Line) + ": " + Message;
  return File + ": " + Message;
}

std::vector<TIniWarning> TIniFile::Load(const std::string& fileName) {
  fileName_ = fileName;
  sections_.clear();
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return {};
  const auto size = std::filesystem::file_size(fileName, ec);
  if (ec) return {{fileName, 0, "cannot read the file: " + ec.message()}};
  if (size > kMaxFileSize) return {{fileName, 0, "the file is too large to be a settings file; not read"}};
  std::ifstream f(fileName, std::ios::binary);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!f || !f.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    return {{fileName, 0, std::string("cannot read the file: ") + std::strerror(errno)}};
  }
  auto warnings = LoadFromBytes(bytes, fileName);
  fileName_ = fileName;
  return warnings;
}

std::vector<TIniWarning> TIniFile::LoadFromBytes(const std::string& bytes, const std::string& fileName) {
  sections_.clear();
  WarningList warnings(fileName);
  auto ub = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };

  // Encoding: byte-order mark first, else UTF-16LE when most high bytes of the
  // first characters are zero (plain text in UTF-8 has no zero bytes).
  enum class Enc { Utf8, Utf16LE, Utf16BE } enc = Enc::Utf8;
  size_t start = 0;
  if (bytes.size() >= 3 && ub(0) == 0xEF && ub(1) == 0xBB && ub(2) == 0xBF) {
    start = 3;
  } else if (bytes.size() >= 2 && ub(0) == 0xFF && ub(1) == 0xFE) {
    enc = Enc::Utf16LE, start = 2;
  } else if (bytes.size() >= 2 && ub(0) == 0xFE && ub(1) == 0xFF) {
    enc = Enc::Utf16BE, start = 2;
  } else {
    size_t pairs = 0, zeroHigh = 0;
    for (size_t i = 0; i + 1 < bytes.size() && pairs < 512; i += 2, ++pairs) {
      if (ub(i + 1) == 0 && ub(i) != 0) ++zeroHigh;
    }
    if (pairs > 0 && zeroHigh * 2 > pairs) enc = Enc::Utf16LE;
  }

  std::u32string text;
  if (enc == Enc::Utf8) {
    text = DecodeUtf8(std::string_view(bytes).substr(start));
  } else {
    const size_t count = (bytes.size() - start) / 2;
    std::u16string units(count, u'\0');
    for (size_t i = 0; i < count; ++i) {
      const uint16_t u = GetLE16(bytes.data() + start + 2 * i);
      units[i] = enc == Enc::Utf16LE ? char16_t(u) : char16_t(u >> 8 | u << 8);
    }
    text = DecodeUtf16(units);
  }
  const bool oddLength = enc != Enc::Utf8 && (bytes.size() - start) % 2 != 0;

  Section* current = nullptr;
  int lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != U'\n' && text[end] != U'\r') ++end;
    ++lineNo;
    std::string line;
    bool badText = false, control = false;
    for (size_t k = pos; k < end; ++k) {
      char32_t cp = text[k];
      if (cp == kBad) {
        badText = true;
        cp = kReplacementChar;
      } else if ((cp < 0x20 && cp != U'\t') || cp == 0x7F) {
        control = true;
      } else if (cp == 0xFEFF) {
        continue;  // a stray byte-order mark carries no text
      }
      AppendUtf8(line, cp);
    }
    pos = end;
    if (pos < text.size() && text[pos] == U'\r') ++pos;
    if (pos < text.size() && text[pos] == U'\n' && (pos == 0 || text[pos - 1] == U'\r' || end == pos)) ++pos;

    const std::string_view l = TrimBlanks(line);
    if (l.empty() && !badText && !control) continue;
    if (control) {
      warnings.Add(lineNo, "line with control characters skipped");
      continue;
    }
    if (badText) {
      warnings.Add(lineNo, enc == Enc::Utf8 ? "invalid UTF-8 text replaced by U+FFFD"
                                            : "invalid UTF-16 text replaced by U+FFFD");
    }
    if (l[0] == ';' || l[0] == '#') {
      if (!current) {
        sections_.push_back({"", {}});
        current = &sections_.back();
      }
      current->Entries.push_back({"", std::string(l)});
      continue;
    }
    if (l[0] == '[') {
      std::string_view name = l.substr(1);
      const auto close = name.rfind(']');
      if (close == std::string_view::npos) {
        warnings.Add(lineNo, "section header without \"]\"");
      } else {
        name = name.substr(0, close);
      }
      name = TrimBlanks(name);
      current = FindSection(name);
      if (!current) {
        sections_.push_back({std::string(name), {}});
        current = &sections_.back();
      }
      continue;
    }
    const auto eq = l.find('=');
    const std::string_view key =
        eq == std::string_view::npos ? std::string_view() : TrimBlanks(l.substr(0, eq));
    if (key.empty()) {
      warnings.Add(lineNo, eq == std::string_view::npos
                               ? "line is neither a section, a key nor a comment; skipped"
                               : "key name missing before \"=\"; line skipped");
      continue;
    }
    if (!current) {
      sections_.push_back({"", {}});
      current = &sections_.back();
    }
    if (FindEntry(*current, key)) {
      // The later line is never read; kept, it would be written back and warned
      // about again at every start.
      warnings.Add(lineNo, "key \"" + std::string(key) + "\" repeated; the first value is used");
      continue;
    }
    current->Entries.push_back({std::string(key), std::string(Unquote(TrimBlanks(l.substr(eq + 1))))});
  }
  if (oddLength) {
    // The stray byte sits on the line after the last line break.
    const bool endsWithBreak = !text.empty() && (text.back() == U'\n' || text.back() == U'\r');
    warnings.Add(lineNo + (endsWithBreak || text.empty() ? 1 : 0),
                 "odd number of bytes in UTF-16 text; last byte ignored");
  }
  return warnings.Take();
}

std::string TIniFile::SaveToBytes() const {
  std::string text;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    // A blank line between sections; an empty nameless first section (a bare
    // "[" header) writes nothing, so nothing stands before the next one.
    if (!text.empty()) text += "\r\n";
    if (i > 0 || !s.Name.empty()) text += "[" + s.Name + "]\r\n";
    for (const Entry& e : s.Entries) {
      if (e.Key.empty()) {
        text += e.Value;
      } else {
        text += e.Key + "=" + QuoteIfNeeded(e.Value);
      }
      text += "\r\n";
    }
  }
  std::string bytes = "\xFF\xFE";
  for (char16_t u : Utf8ToUtf16(text)) {
    char le[2];
    PutLE16(le, u);
    bytes.append(le, 2);
  }
  return bytes;
}

bool TIniFile::UpdateFile(std::string* error) const {
  namespace fs = std::filesystem;
  auto fail = [&](const std::string& what) {
    if (error) *error = what + " (" + fileName_ + ")";
    return false;
  };
  if (fileName_.empty()) return fail("no file name");

  // Write through a symbolic link to its target instead of replacing the link.
  std::error_code ec;
  fs::path target = fileName_;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string tempName = ".";
  tempName += target.filename().string();
  tempName += ".tmp-XXXXXX";
  std::string temp = (dir / tempName).string();
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(std::string("cannot create a temporary file: ") + std::strerror(errno));

  auto abandon = [&](const std::string& what) {
    const std::string reason = what + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(reason);
  };
  struct stat st {};
  const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  if (::fchmod(fd, mode) != 0) return abandon("cannot set file permissions");

  const std::string bytes = SaveToBytes();
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("cannot write");
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) return abandon("cannot sync");
  if (::close(fd) != 0) {
    const std::string reason = std::string("cannot close: ") + std::strerror(errno);
    ::unlink(temp.c_str());
    return fail(reason);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const std::string reason = std::string("cannot replace the file: ") + std::strerror(errno);
    ::unlink(temp.c_str());
    return fail(reason);
  }
  // Make the rename itself durable.
  if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
  for (const Section& s : sections_) {
    if (EqualsNoCase(s.Name, name)) return &s;
  }
  return nullptr;
}

TIniFile::Section* TIniFile::FindSection(std::string_view name) {
  return const_cast<Section*>(static_cast<const TIniFile*>(this)->FindSection(name));
}

const TIniFile::Entry* TIniFile::FindEntry(const Section& s, std::string_view key) {
  for (const Entry& e : s.Entries) {
    if (!e.Key.empty() && EqualsNoCase(e.Key, key)) return &e;
  }
  return nullptr;
}

const TIniFile::Entry* TIniFile::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  return s ? FindEntry(*s, key) : nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& def) const {
  const Entry* e = Find(section, key);
  return e ? e->Value : def;
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const Entry* e = Find(section, key);
  int v;
  return e && ParseInt(e->Value, v) ? v : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const Entry* e = Find(section, key);
  if (!e) return def;
  int v;
  if (ParseInt(e->Value, v)) return v != 0;
  const std::string_view t = TrimBlanks(e->Value);
  for (const char* yes : {"true", "yes", "on"}) {
    if (EqualsNoCase(t, yes)) return true;
  }
  for (const char* no : {"false", "no", "off"}) {
    if (EqualsNoCase(t, no)) return false;
  }
  return def;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string sectionName(TrimBlanks(OneLine(section)));
  const std::string keyName(TrimBlanks(OneLine(key)));
  Section* s = FindSection(sectionName);
  if (!s) {
    sections_.push_back({sectionName, {}});
    s = &sections_.back();
  }
  for (Entry& e : s->Entries) {
    if (!e.Key.empty() && EqualsNoCase(e.Key, keyName)) {
      e.Value = OneLine(value);
      return;
    }
  }
  s->Entries.push_back({keyName, OneLine(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.Name);
  return names;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section)) {
    for (const Entry& e : s->Entries) {
      if (!e.Key.empty()) keys.push_back(e.Key);
    }
  }
  return keys;
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (!s) return;
  for (auto it = s->Entries.begin(); it != s->Entries.end(); ++it) {
    if (!it->Key.empty() && EqualsNoCase(it->Key, key)) {
      s->Entries.erase(it);
      return;
    }
  }
}

void TIniFile::EraseSection(std::string_view section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (EqualsNoCase(it->Name, section)) {
      sections_.erase(it);
      return;
    }
  }
}

}  // namespace quorlin
