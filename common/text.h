#pragma once
// Text helpers every reader of files and user input needs: trimming,
// splitting, and the UTF-8 / UTF-16 conversions of stored texts.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorlin {

// --- Trimming and splitting -------------------------------------------------

// Blank and every control character below it: what readers drop at the ends of
// words, lines and values.
constexpr bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The text without blanks and control characters at either end.
std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);
void TrimInPlace(std::string& s);

// The text without the given characters at either end (or at the right end).
std::string_view TrimView(std::string_view s, std::string_view chars);
std::string_view TrimRightView(std::string_view s, std::string_view chars);

// The parts between separators; n separators give n + 1 parts, empty ones kept.
std::vector<std::string> Split(std::string_view s, char sep);

// Lines ended by CR LF, a lone CR or a lone LF; a final line break ends the
// last line rather than starting an empty one.
std::vector<std::string> SplitLines(std::string_view text);

// --- UTF-8 and UTF-16 ---------------------------------------------------------

constexpr char32_t kReplacementChar = 0xFFFD;

// Appends code point cp as UTF-8; a surrogate or a value above U+10FFFF is
// written as U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// Appends code point cp as one or two UTF-16 units; invalid values give U+FFFD.
void AppendUtf16(std::u16string& out, char32_t cp);

// Decodes the code point at s[i] and advances i past it. A byte that does not
// start a well-formed sequence (overlong forms, surrogates and values above
// U+10FFFF included) returns false and advances i by one byte, so that the
// caller chooses its own fallback.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp);

// Decodes the code point at units[i] (a surrogate pair or one unit) and
// advances i past it. An unpaired surrogate returns false and advances i by one.
bool DecodeUtf16(std::u16string_view units, size_t& i, char32_t& cp);

// Well-formed UTF-8: every byte that does not start a well-formed sequence
// becomes U+FFFD.
std::string SanitizeUtf8(std::string_view s);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace quorlin
