#pragma once
// Text helpers shared by the engine's own files (.eng, .evf, .mynn): reading
// lines, numbers with "." as decimal separator whatever the locale, tag lines,
// and writing a file so that a failure never leaves a truncated one behind.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorlin {

// A file that cannot be read or written, or that holds a value its line does
// not allow. `line` is 1-based; 0 stands for the file as a whole. `tag` is the
// tag or item of the line (may be empty).
class TFileError : public std::runtime_error {
 public:
  TFileError(std::filesystem::path file, int line, std::string tag, std::string message);

  const std::filesystem::path& file() const { return file_; }
  int line() const { return line_; }
  const std::string& tag() const { return tag_; }
  const std::string& message() const { return message_; }

 private:
  std::filesystem::path file_;
  int line_;
  std::string tag_;
  std::string message_;
};

// All lines of a text file without their line ends (LF or CR LF) and without
// a leading UTF-8 byte order mark. Throws TFileError when the file cannot be
// read.
std::vector<std::string> ReadTextLines(const std::filesystem::path& path);

// Writes `bytes` to a temporary file beside `path` and renames it over `path`,
// so a failed write keeps the old file. Throws TFileError.
void WriteTextFile(const std::filesystem::path& path, const std::string& bytes);

// Whole-text number readers; false when the text is not such a number.
// Integer: optional sign, decimal digits or "$" and up to 8 hexadecimal digits
// (hexadecimal wraps into the 32-bit range), otherwise within the 32-bit range.
bool ParseInteger(const std::string& text, int32_t& value);
// "True" or "False" in any letter case, or an integer (0 = false).
bool ParseBoolean(const std::string& text, bool& value);
// Decimal number with "." as separator (optional sign and exponent); finite only.
bool ParseSingle(const std::string& text, float& value);

// Shortest text that reads back to the same Single ("0.5", "0", "1.25").
std::string FormatSingle(float value);
inline const char* FormatBoolean(bool value) { return value ? "True" : "False"; }
// One tag line: [key "value"] followed by CR LF.
std::string TagLine(const std::string& key, const std::string& value);

// Removes a comment (from the first ";" on) and splits the rest of a tag line
// into tag and value.
void SplitCommentedTagLine(const std::string& line, std::string& tag, std::string& value);

// Index of the first keyword the tag begins with (case-sensitive), or -1.
int MatchTagPrefix(const std::string& tag, std::initializer_list<const char*> keywords);

}  // namespace quorlin
