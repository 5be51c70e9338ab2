#include "rules/variantdef.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>

#include "common/text.h"

namespace quorlin {

namespace {

enum class Kind { kText, kInt, kBool };

// One key of the definition: how its value is written and read. Integers are
// read into `min..max`; width and height are clamped into it instead of failing,
// since the geometry is normalised anyway.
struct KeyRule {
  const char* key;
  Kind kind;
  long long min;
  long long max;
  bool clamp;
  std::string (*get)(const TGameParams&);
  void (*set)(TGameParams&, const std::string& text, long long number);
};

std::string BoolText(bool v) { return v ? "True" : "False"; }

#define TEXT_KEY(k, field)                                                     \
  KeyRule {                                                                    \
    k, Kind::kText, 0, 0, false, [](const TGameParams& p) { return p.field; }, \
        [](TGameParams& p, const std::string& t, long long) { p.field = t; }   \
  }
#define INT_KEY(k, field, lo, hi, clampIt)                                                         \
  KeyRule {                                                                                        \
    k, Kind::kInt, lo, hi, clampIt, [](const TGameParams& p) { return std::to_string(p.field); },  \
        [](TGameParams& p, const std::string&, long long v) { p.field = static_cast<uint8_t>(v); } \
  }
#define BOOL_KEY(k, field)                                                               \
  KeyRule {                                                                              \
    k, Kind::kBool, 0, 0, false, [](const TGameParams& p) { return BoolText(p.field); }, \
        [](TGameParams& p, const std::string&, long long v) { p.field = v != 0; }        \
  }

// In the order the lines are written and the fields assigned.
const KeyRule kKeys[kVariantDefinitionKeys] = {
    TEXT_KEY("Name", Name),
    TEXT_KEY("FEN", FEN),
    INT_KEY("PDNGameType", PDNGameType, 0, 255, false),
    INT_KEY("BoardWidth", BoardWidth, 4, 16, true),
    INT_KEY("BoardHeight", BoardHeight, 4, 16, true),
    BOOL_KEY("BoardCheckered", BoardCheckered),
    BOOL_KEY("CrowningOnCapture", CrowningOnCapture),
    BOOL_KEY("FlyingKing", FlyingKing),
    BOOL_KEY("TakeMax", TakeMax),
    BOOL_KEY("TakeKingsMax", TakeKingsMax),
    BOOL_KEY("MenTakeBackWards", MenTakeBackWards),
    BOOL_KEY("MenTakeKings", MenTakeKings),
    BOOL_KEY("KingsTakeFirst", KingsTakeFirst),
    BOOL_KEY("KingEqualPriority", KingEqualPriority),
    BOOL_KEY("KingGoesBack", KingGoesBack),
    BOOL_KEY("TurkishCapture", TurkishCapture),
    BOOL_KEY("ItalianCapture", ItalianCapture),
    BOOL_KEY("FrisianCapture", FrisianCapture),
    INT_KEY("FlyingKingStop", FlyingKingStop, 0, 2, false),
    BOOL_KEY("MustCapture", MustCapture),
    BOOL_KEY("Interface.BoardMirrored", intface.BoardMirrored),
    BOOL_KEY("Interface.PlayOnWhite", intface.PlayOnWhite),
    BOOL_KEY("Interface.WhiteStart", intface.WhiteStart),
    INT_KEY("Interface.Notation", intface.Notation, 0, 4, false),
};

#undef TEXT_KEY
#undef INT_KEY
#undef BOOL_KEY

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameKey(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return i == a.size() && !b[i];
}

// Decimal integer with optional sign; false when the text is not one or does
// not fit in 32 bits.
bool ParseInteger(const std::string& raw, long long& value) {
  const std::string s = Trim(raw);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<long long>(std::numeric_limits<int32_t>::max()) + 1) return false;
  }
  value = negative ? -v : v;
  return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

bool ParseBoolean(const std::string& raw, long long& value) {
  const std::string s = Trim(raw);
  if (SameKey(s, "true")) {
    value = 1;
    return true;
  }
  if (SameKey(s, "false")) {
    value = 0;
    return true;
  }
  return ParseInteger(s, value);
}

// Value of the first line whose name matches `key`; empty when there is none.
bool FindValue(const std::vector<std::string>& lines, const char* key, std::string& value) {
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || !SameKey(Trim(line.substr(0, eq)), key)) continue;
    value = line.substr(eq + 1);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    return true;
  }
  value.clear();
  return false;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

void NormaliseBoardGeometry(TGameParams& p) {
  p.BoardWidth = std::clamp<uint8_t>(p.BoardWidth, 4, 16);
  p.BoardHeight = std::clamp<uint8_t>(p.BoardHeight, 4, 16);
  if (p.BoardCheckered && p.BoardWidth % 2 == 1) --p.BoardWidth;
  const int limit = p.BoardCheckered ? 2 * kMaxSquares : kMaxSquares;
  while (p.BoardWidth * p.BoardHeight > limit) --p.BoardHeight;
  ComputeBoardGeometry(p);
}

void WriteVariantDefinition(const TGameParams& params, std::vector<std::string>& lines) {
  lines.clear();
  for (const KeyRule& rule : kKeys) lines.push_back(std::string(rule.key) + "=" + rule.get(params));
}

bool FormatVariantDefinition(const TGameParams& params, const std::string& fileName, std::string& text,
                             std::string& error) {
  text.clear();
  for (const auto& [key, value] : {std::pair{"Name", &params.Name}, std::pair{"FEN", &params.FEN}}) {
    if (value->find_first_of("#\r\n") != std::string::npos) {
      error = std::string("Variant definition: the value of ") + key + " " + Quote(*value) +
              " contains \"#\" or a line break, which the stored definition cannot hold";
      return false;
    }
  }
  std::vector<std::string> lines;
  WriteVariantDefinition(params, lines);
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) joined += (i ? "#" : "") + lines[i];

  if (!fileName.empty()) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    out.close();
    if (!out) {
      error = "Variant definition: cannot write the file " + Quote(fileName);
      return false;
    }
  }
  text = std::move(joined);
  return true;
}

bool ReadVariantDefinition(TGameParams& params, const std::vector<std::string>& lines, std::string& error) {
  TGameParams read = params;
  for (const KeyRule& rule : kKeys) {
    std::string value;
    const bool present = FindValue(lines, rule.key, value);
    if (rule.kind == Kind::kText) {
      rule.set(read, value, 0);
      continue;
    }
    long long number = 0;
    const bool ok = rule.kind == Kind::kInt ? ParseInteger(value, number) : ParseBoolean(value, number);
    if (!ok) {
      error = std::string("Variant definition: key ") + rule.key + ": " +
              (!present              ? std::string("missing")
               : Trim(value).empty() ? std::string("empty value")
                                     : Quote(value) + (rule.kind == Kind::kInt ? " is not an integer"
                                                                               : " is not True or False"));
      return false;
    }
    if (rule.kind == Kind::kInt) {
      if (rule.clamp) {
        number = std::clamp(number, rule.min, rule.max);
      } else if (number < rule.min || number > rule.max) {
        error = std::string("Variant definition: key ") + rule.key + ": " + Quote(value) + " is outside " +
                std::to_string(rule.min) + ".." + std::to_string(rule.max);
        return false;
      }
    }
    rule.set(read, value, number);
  }
  read.TypeOfGame = 0;
  read.BitBoardGood64 = 0;
  read.BitBoardRevShift = 0;
  NormaliseBoardGeometry(read);
  params = std::move(read);
  return true;
}

bool ParseVariantDefinition(const std::string& text, TGameParams& params, std::string& error) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t hash = text.find('#', start);
    lines.push_back(text.substr(start, hash == std::string::npos ? std::string::npos : hash - start));
    if (hash == std::string::npos) break;
    start = hash + 1;
  }
  return ReadVariantDefinition(params, lines, error);
}

bool LoadVariantDefinitionFile(const std::string& fileName, TGameParams& params, std::string& error) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    error = "Variant definition: cannot read the file " + Quote(fileName);
    return false;
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (lines.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    lines.push_back(line);
  }
  if (!ReadVariantDefinition(params, lines, error)) {
    error += " (file " + Quote(fileName) + ")";
    return false;
  }
  return true;
}

}  // namespace quorlin
