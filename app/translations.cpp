// Translations of the interface texts.
#include "app/translations.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <utility>

#include "app/folders.h"
#include "common/bytes.h"
#include "common/text.h"

namespace quorlin {

namespace {

// English defaults of the numbered interface texts; index 0 is unused.
const char* const kNumberedDefaults[kNumberedTextCount + 1] = {
    "",
    "Game",
    "New",
    "Game information",
    "Setup position",
    "Type",
    "Russian",
    "English",
    "Brazilian",
    "Pool",
    "Italian",
    "International",
    "Exit",
    "Save game (as new)",
    "Replace game",
    "Load previous game",
    "Load next game",
    "View",
    "Board",
    "Reversed",
    "Small",
    "Average",
    "Large",
    "Font",
    "Time",
    "Analysis/view mode",
    "Play mode",
    "minutes/game",
    "Set time",
    "Play",
    "Compute!",
    "Coach",
    "Game analysis",
    "Options",
    "Connect to electronic draughts board",
    "Connect to Internet game server",
    "Engine settings",
    "Database",
    "Go to database",
    "Quick search",
    "Help",
    "About",
    "Extended analysis",
    "minutes/game",
    "STOP!",
    "Done",
    "Analysis",
    "Tree",
    "New game",
    "Search",
    "Internet game",
    "Clear",
    "Start position",
    "sec/move",
    "Error: no free place",
    "Black win!",
    "White win!",
    "White",
    "Black",
    "New Game",
    "Depth",
    "sec",
    "Error",
    "Lost by time!",
    "Speed",
    "White moves",
    "Black moves",
    "Don't analyse",
    "Size",
    "Comment move",
    "Before move",
    "Delete line after move",
    "Promote line",
    "Rating",
    "Title",
    "Country",
    "Tournament",
    "Round",
    "Site",
    "Annotator",
    "Result",
    "Year",
    "Month",
    "Day",
    "Cancel",
    "To move:",
    "First move",
    "Database not opened.",
    "Port:",
    "Move comment",
    "Engine",
    "Book",
    "Use book moves",
    "Browse",
    "Memory usage (MB)",
    "Analysis for",
    "Analyse variations",
    "Insert variations",
    "Select move",
    "New move",
    "New variation",
    "Replace",
    "Open database",
    "Import",
    "CleanUp database",
    "Close database window",
    "New search",
    "Reset",
    "Level",
    "Load",
    "Save",
    "Delete",
    "Edit header",
    "Copy",
    "Export",
    "Tools",
    "Sort games list",
    "Game not saved. Save?",
    "Build tree",
    "Make tournaments list",
    "Names",
    "Date",
    "Res",
    "Players",
    "Ignore colors",
    "Moves",
    "Comments",
    "Variations",
    "Position",
    "White moves",
    "Black moves",
    "Start",
    "Reversed",
    "Spanish",
    "User Name",
    "found ",
    "Sound",
    "Tournament mode",
    "Not enough memory!",
    "Interface",
    "Notation",
    "Short (cd4; 4-8)",
    "Full (c3-d4; 04-08)",
    "Take-char",
    "Replace game No ",
    " with the current one?",
    "Clear all comments",
    "Czech",
    "Draw",
    "Highlight last move",
    "Offer draw",
    "Export diagram",
    "Select all",
    "Deselect all",
    "Check database",
    "Match games",
    "Headers",
    "Set",
    "Select colors",
    "Add diagram",
    "Men",
    "Kings",
    "Dark squares color",
    "Light squares color",
    "Default",
    "Deleted",
    "Title",
    "Insert static diagrams",
    "Include tournament names",
    "Always load Russian games as Pool",
    "Merge databases",
    "Game Panel colors",
    "Main line",
    "Second line",
    "Third line",
    "Comments",
    "Add variation",
    "by White Player",
    "by Black Player",
    "by Year and Tournament",
    "Tournaments",
    "Methods",
    "Exact match",
    "w/o captions",
    "Complete length",
    "Partial length",
    "Fast",
    "Create!",
    "Save",
    "Show only more than",
    "Don't show blanks",
    "\xd1\x81ount",  // begins with the Cyrillic letter es (U+0441), not a Latin "c"; kept byte for byte
    "Open Book/Tree",
    "games",
    "Show board coordinates",
    "Moves list",
    "Frisian",
    "Spantsiretti (8*10)",
    "Canadian",
    "Board quality",
    "Autoplay position",
    "Blind play",
    "Append",
    "Options for:",
    "Maximum moves",
    "Minimum draughts",
    "Clear existing statistics",
    "Add on click",
    "Import from text",
    "Import",
    "Not found Ballots database",
    "2-move",
    "Full",
    "New (ballot)",
    "After move",
    "Delete selected games (physically)",
    "Scroll to",
    "To game #",
    "Home",
    "End",
    "Page Up",
    "Page Down",
    "Load in new window",
    "Window",
    "New",
    "Close",
    "Load Endgame databases in memory",
    "Grandmaster",
    "Master",
    "Candidate",
    "Level A",
    "Level B",
    "Level C",
    "Use Italian Tags in PDN",
    "Book level",
    "Best",
    "Good",
    "Normal",
    "Export game",
    "Player",
    "Paste FEN From Clipboard",
    "for",
    "moves (0=all)",
    "Search for draws",
    "Thai",
    "Repair Database headers",
    "Remove comments",
    "Style",
    "Last line in-line",
    "Auto capture",
    "Show Pool board in Jamaican style",
    "Not enough memory. Please increase learn memory!",
    "Ask to save game changes",
    "Timeout messages",
    "Self-learning",
    "Use learning base",
    "Moves range",
    "Only initial position",
    "Combination:",
    "draughts>=",
    "Material",
    "W Men",
    "B Men",
    "W Kings",
    "B Kings",
    "Uncommented",
    "General",
    "Extra short (d4; 8)",
    "Show in extra short notation",
    "Do not show in extra short notation",
    "Notation composer mode",
    "Mark as Viewing start",
    "Show initial position",
    "The Game is not deleted. Delete?",
    "The Game is already deleted. Undelete?",
    "No game loaded from database.",
    "Remove variations",
    "Export Main Line to *.GIF",
    "Show Log",
    "Edit Engine",
    "Close database",
    "Transliterate names",
    "Edit tables",
    "Quick",
    "Full",
    "Quick settings",
    "Notation: Chess",
    "Board: White bottom",
    "Endgame database folder (ED)",
    "Engine threads count:",
    "Hash",
    "ED",
    "Learn",
    "Auto",
    "Initial position",
    "Save to database",
    "Up",
    "Down",
    "Length",
    "Number the games",
    "Starting with",
    "Select",
    "Clipboard (text)",
    "Clipboard (FEN)",
    "Clipboard (notation)",
    "Clipboard (BMP)",
    "Create new database?",
    "Cannot open the database.",
    "Backup database",
    "Start!",
    "Clear position",
    "Edit current position",
    "Maximum move:",
    "Minimum draughts:",
    "Turkish",
    "International Killer",
    "Ignore colors on moves generation",
    "Animate capture moves",
    "Current name:",
    "New name:",
    "Rename database",
    "Animated GIF",
    "Turkish one color board",
    "Extended (c3xd4xe5)",
    "Show comptete notation",
    "Hide complete notation",
    "Permanent",
    "beginning",
    "ending",
    "Total",
    "Mirror board (turkish)",
    "Reverse colors",
    "Delete moves before position",
    "Repeat search",
    "Analysis",
    "Delete moves before mark",
    "Delete moves after mark",
    "Reverse colors (White to move)",
    "Split Database",
    "Compact variations",
    "version",
    "Textures",
    "Colors",
    "light",
    "dark",
    "Pieces",
    "Custom",
    "Giveaway",
    "Threads",
    "preload",
    "Spanish on black squares",
    "Export diagram size",
    "Convert to version 3.8",
    "Export to",
    "Local folder",
    "Ponder mode",
};

struct TranslationState {
  std::shared_mutex lock;
  TLanguageTable table;
  std::string code = kNoTranslationCode;
  std::vector<std::string> current;  // current numbered texts, index 0 unused

  TranslationState() : current(kNumberedDefaults, kNumberedDefaults + kNumberedTextCount + 1) {}
};

// Built on first use so that other units' start-up code may already read texts.
TranslationState& State() {
  static TranslationState state;
  return state;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// UTF-16 code units (2 bytes each, given byte order) to UTF-8. An unpaired
// surrogate or an odd last byte gives U+FFFD, or fails when `strict`.
bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, bool strict, std::string& out) {
  out.clear();
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    const uint16_t u = GetLE16(bytes.data() + 2 * i);
    units[i] = static_cast<char16_t>(bigEndian ? (u >> 8 | u << 8) : u);
  }
  for (size_t i = 0; i < units.size();) {
    char32_t cp;
    if (!DecodeUtf16(units, i, cp)) {
      if (strict) return false;
      cp = kReplacementChar;
    }
    AppendUtf8(out, cp);
  }
  if (bytes.size() % 2 != 0) {
    if (strict) return false;
    AppendUtf8(out, kReplacementChar);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream ss;
  ss << f.rdbuf();
  if (f.bad()) return false;
  bytes = std::move(ss).str();
  return true;
}

// Reads the stored form front to back; every read checks what is left first.
class TableReader {
 public:
  TableReader(const std::string& bytes, const std::string& file) : bytes_(bytes), file_(file) {}

  // A failed read keeps its reason for TakeError().
  bool Count(const char* what, uint32_t& value) {
    if (bytes_.size() - pos_ < 4)
      return Fail("truncated: " + std::string(what) + " expected at offset " + std::to_string(pos_));
    value = GetLE32(bytes_.data() + pos_);
    pos_ += 4;
    return true;
  }

  bool Text(const std::string& what, std::string& text) {
    uint32_t chars;
    if (!Count(("the number of characters of " + what).c_str(), chars)) return false;
    const uint64_t need = uint64_t{chars} * 2;
    if (need > bytes_.size() - pos_)
      return Fail("truncated: " + what + " needs " + std::to_string(need) + " bytes at offset " +
                  std::to_string(pos_) + ", only " + std::to_string(bytes_.size() - pos_) + " remain");
    if (!Utf16ToUtf8(std::string_view(bytes_).substr(pos_, need), false, true, text))
      return Fail("damaged: " + what + " at offset " + std::to_string(pos_) + " is not valid UTF-16");
    pos_ += need;
    return true;
  }

  size_t Remaining() const { return bytes_.size() - pos_; }

  bool Fail(std::string what) {
    error_ = TTranslationError{file_, 0, std::move(what)};
    return false;
  }

  TTranslationError TakeError() { return std::move(error_); }

 private:
  const std::string& bytes_;
  const std::string& file_;
  size_t pos_ = 0;
  TTranslationError error_;
};

bool ParseTable(const std::string& bytes, const std::string& file, TLanguageTable& table,
                TTranslationError& error) {
  TableReader r(bytes, file);
  auto fail = [&] {
    error = r.TakeError();
    return false;
  };
  std::string text;
  if (!r.Text("the key list", text)) return fail();
  table.Keys = SplitLines(text);
  uint32_t count;
  if (!r.Count("the number of languages", count)) return fail();
  // Each language takes at least its two counts: a larger number cannot be right.
  if (uint64_t{count} * 8 > r.Remaining()) {
    r.Fail("truncated or damaged: " + std::to_string(count) + " languages need at least " +
           std::to_string(uint64_t{count} * 8) + " bytes, only " + std::to_string(r.Remaining()) + " remain");
    return fail();
  }
  for (uint32_t i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    TLanguageList lang;
    if (!r.Text("the code of language " + n, lang.Code)) return fail();
    if (lang.Code.empty()) {
      r.Fail("damaged: language " + n + " has an empty code");
      return fail();
    }
    if (!r.Text("the list of language " + n + " (" + lang.Code + ")", text)) return fail();
    lang.Lines = SplitLines(text);
    table.Languages.push_back(std::move(lang));
  }
  if (r.Remaining() != 0) {
    r.Fail("damaged: " + std::to_string(r.Remaining()) + " unexpected bytes after the last language");
    return fail();
  }
  return true;
}

// Whole decimal integer with optional blanks around it and an optional sign. A
// number too large for the table counts as out of range, not as malformed.
bool ParseEntryNumber(std::string_view s, long long& value) {
  s = TrimView(s);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    if (v < 1000000) v = v * 10 + (c - '0');
  }
  value = negative ? -v : v;
  return true;
}

std::string DecodeTextFile(const std::string& bytes) {
  std::string_view b(bytes);
  std::string text;
  if (b.substr(0, 3) == "\xEF\xBB\xBF") return SanitizeUtf8(b.substr(3));
  if (b.substr(0, 2) == "\xFF\xFE") {
    Utf16ToUtf8(b.substr(2), false, false, text);
    return text;
  }
  if (b.substr(0, 2) == "\xFE\xFF") {
    Utf16ToUtf8(b.substr(2), true, false, text);
    return text;
  }
  return SanitizeUtf8(b);
}

}  // namespace

std::string TTranslationError::Message() const {
  std::string text = File;
  if (Line > 0) {
    text += ':';
    text += std::to_string(Line);
  }
  text += ": ";
  text += What;
  return text;
}

TLanguageTableResult ParseLanguageTable(const std::string& bytes, const std::string& fileName) {
  TLanguageTableResult result;
  TTranslationError error;
  if (!ParseTable(bytes, fileName, result.Table, error)) {
    result.Table = {};
    result.Error = std::move(error);
  }
  return result;
}

TLanguageTableResult LoadLanguageTable(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    TLanguageTableResult result;
    result.Error = TTranslationError{path, 0, "cannot read the language table"};
    return result;
  }
  return ParseLanguageTable(bytes, path);
}

std::string Translate(const TLanguageTable& table, const std::string& code, const std::string& text) {
  for (const TLanguageList& lang : table.Languages) {
    if (!EqualNoCase(lang.Code, code)) continue;
    for (const std::string& line : lang.Lines) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos && EqualNoCase(std::string_view(line).substr(0, eq), text))
        return line.substr(eq + 1);
    }
    break;
  }
  return text;
}

std::string Translate(const std::string& text) {
  TranslationState& s = State();
  std::shared_lock lock(s.lock);
  return Translate(s.table, s.code, text);
}

void SetLanguageTable(TLanguageTable table) {
  TranslationState& s = State();
  std::unique_lock lock(s.lock);
  s.table = std::move(table);
}

void SetTranslationLanguage(const std::string& code) {
  TranslationState& s = State();
  std::unique_lock lock(s.lock);
  s.code = code;
}

std::string TranslationLanguage() {
  TranslationState& s = State();
  std::shared_lock lock(s.lock);
  return s.code;
}

std::string LanguageCodeFromLocale(const std::string& value) {
  const std::string lang = value.substr(0, value.find_first_of("_.@"));
  if (lang.empty() || lang == "C" || lang == "POSIX") return kNoTranslationCode;
  std::string code;
  for (char c : lang) {
    const char l = LowerAscii(c);
    if (l < 'a' || l > 'z') return kNoTranslationCode;
    code += l;
  }
  // The table names Malay by "MY", which is Burmese's own language code.
  if (code == "ms") return "MY";
  if (code == "my") return kNoTranslationCode;
  for (char& c : code) c = static_cast<char>(c - 'a' + 'A');
  return code;
}

std::string CurrentLanguageCode() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return LanguageCodeFromLocale(v);
  }
  return kNoTranslationCode;
}

std::optional<TTranslationError> InitTranslations(const std::string& programFolder) {
  TLanguageTableResult result = LoadLanguageTable(programFolder + kLanguageTableFile);
  SetLanguageTable(std::move(result.Table));
  SetTranslationLanguage(CurrentLanguageCode());
  return result.Error;
}

std::optional<TTranslationError> InitTranslations() { return InitTranslations(ProgramFolder); }

std::string NumberedText(int n) {
  if (n < 1 || n > kNumberedTextCount) return {};
  TranslationState& s = State();
  std::shared_lock lock(s.lock);
  return s.current[n];
}

std::string NumberedDefault(int n) {
  if (n < 1 || n > kNumberedTextCount) return {};
  return kNumberedDefaults[n];
}

void ResetNumberedTexts() {
  TranslationState& s = State();
  std::unique_lock lock(s.lock);
  s.current.assign(kNumberedDefaults, kNumberedDefaults + kNumberedTextCount + 1);
}

std::optional<TTranslationError> ReadLanguageFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return std::nullopt;
  std::string bytes;
  if (std::filesystem::is_directory(path, ec) || !ReadWholeFile(path, bytes))
    return TTranslationError{path, 0, "cannot read the language file"};
  const std::vector<std::string> lines = SplitLines(DecodeTextFile(bytes));
  TranslationState& s = State();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = TrimView(lines[i]);
    if (line.empty() || line[0] != '[') continue;
    const int lineNo = static_cast<int>(i) + 1;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
      return TTranslationError{path, lineNo, "expected \"]\" after the entry number"};
    const std::string_view numberText = line.substr(1, close - 1);
    long long number;
    if (!ParseEntryNumber(numberText, number))
      return TTranslationError{path, lineNo,
                               "entry number \"" + std::string(numberText) + "\" is not an integer"};
    const size_t open = line.find('"');
    if (open == std::string_view::npos) continue;
    const size_t end = line.find('"', open + 1);
    if (end == std::string_view::npos || end == open + 1) continue;
    if (number < 1 || number > kNumberedTextCount) continue;
    std::unique_lock lock(s.lock);
    s.current[number] = std::string(line.substr(open + 1, end - open - 1));
  }
  return std::nullopt;
}

std::optional<TTranslationError> ReadLanguage(const std::string& name, const std::string& programFolder) {
  return ReadLanguageFile(programFolder + "Language/" + name + ".txt");
}

std::optional<TTranslationError> ReadLanguage(const std::string& name) {
  return ReadLanguage(name, ProgramFolder);
}

}  // namespace quorlin
