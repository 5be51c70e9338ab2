#pragma once
// The interface's translations: the main window's language table (English text ->
// text in the user's language) and the numbered table of 355 interface texts that a
// language file can override.
//
// Thread safety: every routine here may be called from any thread. The language
// table, the chosen language and the numbered texts are guarded by one
// reader-writer lock; readers copy the text they get.
#include <optional>
#include <string>
#include <vector>

namespace quorlin {

// The language table as shipped in the program folder.
inline constexpr const char* kLanguageTableFile = "Language/Interface.lng";

// Language code meaning "no translation": the interface stays English.
inline constexpr const char* kNoTranslationCode = "EN";

constexpr int kNumberedTextCount = 355;

// What went wrong with a translation file, and where (Line 0 when not tied to a line).
struct TTranslationError {
  std::string File;
  int Line = 0;
  std::string What;

  // "file:line: what" (or "file: what").
  std::string Message() const;
};

struct TLanguageList {
  std::string Code;                // upper-case two-letter code such as "RU"
  std::vector<std::string> Lines;  // "English key=translation", UTF-8
};

struct TLanguageTable {
  std::vector<std::string> Keys;  // the English texts the table knows, UTF-8
  std::vector<TLanguageList> Languages;
};

struct TLanguageTableResult {
  TLanguageTable Table;
  std::optional<TTranslationError> Error;  // set when the file was missing, short or damaged
};

// Reads the stored form of the language table (32-bit little-endian counts,
// UTF-16LE texts with lines separated by CR LF): the key list, the number of
// languages, then per language its code and its list. A truncated or damaged file
// gives an error and an empty table; nothing is read past the end of the data.
TLanguageTableResult LoadLanguageTable(const std::string& path);
TLanguageTableResult ParseLanguageTable(const std::string& bytes, const std::string& fileName);

// The translation of `text` by `table` for language `code`: the code is matched
// without regard to case, then the line whose part before the first "=" equals
// `text` without regard to (ASCII) case; its part after "=" is returned. Without
// a list for the code or without such a line, `text` itself.
std::string Translate(const TLanguageTable& table, const std::string& code, const std::string& text);

// The same against the process-wide table and language.
std::string Translate(const std::string& text);

// Process-wide table and language, set at start-up.
void SetLanguageTable(TLanguageTable table);
void SetTranslationLanguage(const std::string& code);
std::string TranslationLanguage();

// Language code of a locale value: "ru_RU.UTF-8" -> "RU", "pt" -> "PT"; "C",
// "POSIX" and empty give kNoTranslationCode. Malay ("ms") is "MY" as in the table;
// Burmese ("my") has no list and gives kNoTranslationCode rather than Malay.
std::string LanguageCodeFromLocale(const std::string& value);

// The system's user-interface language: the first non-empty of LC_ALL,
// LC_MESSAGES and LANG, through LanguageCodeFromLocale.
std::string CurrentLanguageCode();

// Start-up: loads the table from programFolder + kLanguageTableFile and chooses
// the system's language. On error the table stays empty (everything English) and
// the error is returned for the log.
std::optional<TTranslationError> InitTranslations(const std::string& programFolder);
std::optional<TTranslationError> InitTranslations();  // from ProgramFolder

// Numbered interface texts, n = 1..355. Out-of-range numbers give "".
std::string NumberedText(int n);     // current text
std::string NumberedDefault(int n);  // English default
void ResetNumberedTexts();           // every current text back to its default

// Overrides current numbered texts from the language file
// programFolder + "Language/" + name + ".txt". Lines, trimmed, look like
//   [148] "Nulle"
// Lines not starting with "[", without a closing quote, with an empty text or with
// a number outside 1..355 are ignored. A number that is not an integer ends the
// reading: the lines before it stay applied and the error names file and line.
// A missing file changes nothing and is no error. The encoding comes from the
// byte-order mark (UTF-8, UTF-16LE, UTF-16BE), else UTF-8.
std::optional<TTranslationError> ReadLanguage(const std::string& name, const std::string& programFolder);
std::optional<TTranslationError> ReadLanguage(const std::string& name);  // from ProgramFolder
std::optional<TTranslationError> ReadLanguageFile(const std::string& path);

}  // namespace quorlin
