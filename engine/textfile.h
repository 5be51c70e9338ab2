#pragma once
// Text helpers shared by the engine's own files (.eng, .evf, .mynn): reading
// lines, numbers with "." as decimal separator whatever the locale, tag lines,
// and writing a file so that a failure never leaves a truncated one behind.
#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>
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

// --- Tag tables ------------------------------------------------------------------
// A text format lists its tags once, in the order it writes them, each with
// the field of a record it stands for; reading and writing both follow the
// table. A tag line is read by the first keyword its tag begins with
// (case-sensitive); no keyword of a table begins with another one, so the
// order of the table never decides which field a line sets.

template <class R>
struct TTagField {
  const char* keyword;
  std::variant<int32_t R::*, uint8_t R::*, bool R::*, float R::*, std::string R::*> field;
};

// The entry whose keyword the tag begins with, or nullptr.
template <class R, size_t N>
const TTagField<R>* FindTag(const std::array<TTagField<R>, N>& table, const std::string& tag) {
  if (tag.empty()) return nullptr;
  for (const TTagField<R>& t : table)
    if (tag.rfind(t.keyword, 0) == 0) return &t;
  return nullptr;
}

// Sets the field of `t` in `r` from a value text; false with `expected` naming
// what the value should have been when it is not one.
template <class R>
bool ReadTagField(const TTagField<R>& t, const std::string& value, R& r, std::string& expected) {
  return std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(r.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          r.*member = value;
          return true;
        } else if constexpr (std::is_same_v<T, bool>) {
          expected = "True, False or a number";
          return ParseBoolean(value, r.*member);
        } else if constexpr (std::is_same_v<T, float>) {
          expected = "a number with \".\" as decimal separator";
          return ParseSingle(value, r.*member);
        } else {
          // Whole numbers; a one-byte field keeps the low byte.
          expected = "a whole number";
          int32_t v;
          if (!ParseInteger(value, v)) return false;
          r.*member = static_cast<T>(v);
          return true;
        }
      },
      t.field);
}

// The tag line of the field of `t` in `r`: integers in decimal, Booleans as
// True or False, Singles in their shortest form.
template <class R>
std::string TagFieldLine(const TTagField<R>& t, const R& r) {
  return std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(r.*member)>;
        if constexpr (std::is_same_v<T, std::string>)
          return TagLine(t.keyword, r.*member);
        else if constexpr (std::is_same_v<T, bool>)
          return TagLine(t.keyword, FormatBoolean(r.*member));
        else if constexpr (std::is_same_v<T, float>)
          return TagLine(t.keyword, FormatSingle(r.*member));
        else
          return TagLine(t.keyword, std::to_string(static_cast<int64_t>(r.*member)));
      },
      t.field);
}

}  // namespace quorlin
