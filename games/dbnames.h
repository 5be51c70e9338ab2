#pragma once
// The three names lists of a game database (players, tournaments, sites) and
// the texts of its names file.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlin {

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

// How the text names file of an open database was encoded, so that rewriting it
// keeps the form other programs read.
enum class TNamesEncoding : uint8_t { utf8, windows1252 };

// A text as one entry (one line) of the names file: line breaks inside it would
// split the line and shift every later entry, so they become blanks.
std::string NamesFileEntry(const std::string& text);

}  // namespace quorlin
