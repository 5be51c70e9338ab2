#pragma once
// UTF-8 and UTF-16 helpers shared by every reader and writer of stored texts.
#include <string>
#include <string_view>

namespace quorlin {

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

}  // namespace quorlin
