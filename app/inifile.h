#pragma once
// An ini file held in memory: sections of "key=value" lines, read from and
// written to a text file in UTF-16 little-endian with a byte-order mark.
//
// Section and key names compare without regard to ASCII letter case. Text is
// UTF-8 in memory. Reading also accepts UTF-8 with or without a byte-order mark,
// UTF-16LE without one and UTF-16BE with one, since people edit these files by
// hand. Keys and sections the program never asks for stay in place, in their
// order, as do comment lines (";" or "#"); blank lines are not kept, and one
// blank line separates the sections when written.
//
// Damaged input never stops a load: what can be read is kept, lines that
// cannot be understood are dropped, and each problem is returned as a warning
// naming the file and the line.
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace quorlin {

struct TIniWarning {
  std::string File;
  int Line = 0;  // 1-based; 0 when the problem concerns the whole file
  std::string Message;
  // "file:line: message" (or "file: message" for line 0).
  std::string Text() const;
};

class TIniFile {
 public:
  TIniFile() = default;

  // Replaces the contents with the file's and remembers its name for
  // UpdateFile. A missing file is no problem: the contents are then empty and
  // no warning is returned. Files above 16 MB are not read.
  std::vector<TIniWarning> Load(const std::string& fileName);
  // The same from bytes already in memory; `fileName` only names the warnings.
  std::vector<TIniWarning> LoadFromBytes(const std::string& bytes, const std::string& fileName);

  // The file as written: UTF-16LE with byte-order mark, CR LF line ends.
  std::string SaveToBytes() const;
  // Writes the contents to the remembered file so that a crash at any moment
  // leaves either the old or the new file whole: the bytes go to a temporary
  // file in the same folder, which is synced and then renamed over the target.
  // On failure the target is untouched and `error` (when given) says why.
  bool UpdateFile(std::string* error = nullptr) const;

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName) { fileName_ = fileName; }
  void Clear() { sections_.clear(); }

  // A missing key gives the default; an empty value is a value ("").
  std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
  // Decimal, or hexadecimal after "$" or "0x"; anything else, or a number
  // outside the int range, gives the default.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // Any integer (0 = false), or true/false, yes/no, on/off in any case.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Replaces the value in place, or appends the key to its section (the
  // section is appended to the file when new). Line breaks in keys and values
  // become blanks, since they cannot be stored.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;  // key names in order
  void DeleteKey(std::string_view section, std::string_view key);
  void EraseSection(std::string_view section);

 private:
  struct Entry {
    std::string Key;    // empty for a comment line
    std::string Value;  // the value, or the whole comment line
  };
  struct Section {
    std::string Name;
    std::vector<Entry> Entries;
  };

  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);
  static const Entry* FindEntry(const Section& s, std::string_view key);
  const Entry* Find(std::string_view section, std::string_view key) const;

  std::string fileName_;
  std::vector<Section> sections_;
};

// UTF-8 to UTF-16 with surrogate pairs; every maximal invalid part of the
// UTF-8 becomes one U+FFFD. The way back is Utf16ToUtf8 (common/text.h).
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace quorlin
