#include "rules/notation.h"

#include <cstdint>

#include "common/text.h"
#include "rules/movegen.h"

namespace quorlin {

std::atomic<bool> ForcePhilippinesNotation{false};

namespace {

// File letters by full-board column 1..16; "j" and "l" are not used.
constexpr char kFileLetters[] = "abcdefghikmnoprs";
constexpr int kMaxFiles = 16;

// Brazilian squares 1..32 under their Philippine names: each half of the board
// is numbered 1..16 from its own side.
constexpr const char* kPhilippineNames[32] = {
    "9",  "10", "11", "12", "5", "6", "7", "8", "4", "1", "2", "3", "16", "15", "14", "13",
    "13", "14", "15", "16", "3", "2", "1", "4", "8", "7", "6", "5", "12", "11", "10", "9",
};

bool PhilippineActive(const TGameParams& p, bool forceAlpha) {
  return !forceAlpha && p.TypeOfGame == kBrazilian &&
         ForcePhilippinesNotation.load(std::memory_order_relaxed);
}

bool OnBoardSquare(const TGameParams& p, int s) { return s >= 1 && s <= p.compute.BoardSize; }

std::string Name(int square, const TGameParams& p, int style, bool forceAlpha) {
  std::string t;
  SquareToText(square, p, style, t, forceAlpha);
  return t;
}

}  // namespace

int NotationNumber(const TGameParams& p, int s, int kind) {
  const int w = p.compute.BoardWidthReal;
  if (w <= 0 || !OnBoardSquare(p, s)) return 0;
  const int h = p.BoardHeight;
  const int q = (s - 1) / w, r = (s - 1) % w;
  int n;
  switch (kind) {
    case 1:
      n = (h - 1 - q) * w + r + 1;
      break;
    case 2:
      n = q * w + (w - r);
      break;
    case 3:
      n = (h - 1 - q) * w + (w - r);
      break;
    default:
      n = s;
      break;
  }
  return static_cast<uint8_t>(n);
}

void SquareToText(int square, const TGameParams& p, int style, std::string& text, bool forceAlpha) {
  const int w = p.compute.BoardWidthReal;
  if (w <= 0 || !OnBoardSquare(p, square)) {
    text = "ERR";
    return;
  }
  const int kind = forceAlpha ? 0 : p.intface.Notation;
  if (PhilippineActive(p, forceAlpha) && square <= 32) {
    text = kPhilippineNames[square - 1];
    if (style == kStyleExtended || style == kStyleFull) text += square <= 16 ? "p" : "i";
    return;
  }
  if (kind == 0) {
    const int q = (square - 1) / w, r = (square - 1) % w;
    const int file = p.BoardCheckered ? (q % 2 == 0 ? 2 * r + 1 : 2 * r + 2) : r + 1;
    if (file > kMaxFiles) {
      text = "ERR";
      return;
    }
    text = kFileLetters[file - 1];
    text += std::to_string(q + 1);
    return;
  }
  const int n = NotationNumber(p, square, kind);
  text = (style == kStyleExtended || style == kStyleFull) && n < 10 ? "0" : "";
  text += std::to_string(n);
}

int FindAlphaSquare(const TGameParams& p, const std::string& name) {
  if (name.empty()) return 0;
  std::string t;
  for (int s = 1; s <= p.compute.BoardSize; ++s) {
    SquareToText(s, p, kStyleExtended, t, true);
    if (t == name) return s;
  }
  return 0;
}

void MoveToText(const TMove& m, const TGameParams& p, int style, std::string& text, bool forceAlpha,
                const std::string& separator) {
  if (!IsMoveValid(m, p)) {
    text = "ERR";
    return;
  }
  if (style == kStyleExtended && m.lt > 0) {
    MovePathText(m, p, style, text, forceAlpha, separator);
    return;
  }
  if (style == kStyleExtraShort && (m.flags & (kFlagOnlyMove | kFlagNoExtraShort))) {
    text.clear();
    return;
  }
  if (m.flags & kFlagAmbiguousShort) style = kStyleFull;
  const bool philippine = PhilippineActive(p, forceAlpha);
  const bool alphaKind = p.intface.Notation == 0;
  const bool longStyle = style == kStyleExtended || style == kStyleFull;
  std::string sep = separator;
  // A quiet move is joined by "-", except the short alphanumeric forms ("cd4").
  if (m.lt == 0 && !sep.empty()) sep = (longStyle || !alphaKind || philippine) ? "-" : "";
  const int from = m.From(), to = m.To();
  const bool onlyTo = (m.flags & kFlagOnlyToSquare) != 0;
  if (alphaKind) {
    if (style == kStyleExtraShort && onlyTo)
      text = Name(to, p, kStyleExtended, forceAlpha);
    else if (longStyle)
      text = Name(from, p, kStyleExtended, forceAlpha) + sep + Name(to, p, kStyleExtended, forceAlpha);
    else if (philippine)
      text = Name(from, p, style, forceAlpha) + sep + Name(to, p, style, forceAlpha);
    else
      text = Name(from, p, kStyleExtended, forceAlpha).substr(0, 1) + sep +
             Name(to, p, kStyleExtended, forceAlpha);
  } else {
    if (style == kStyleExtraShort && onlyTo)
      text = Name(to, p, kStyleShort, forceAlpha);
    else
      text = Name(from, p, style, forceAlpha) + sep + Name(to, p, style, forceAlpha);
  }
}

void MovePathText(const TMove& m, const TGameParams& p, int style, std::string& text, bool forceAlpha,
                  const std::string& separator) {
  if (!IsMoveValid(m, p)) {
    text = "ERR";
    return;
  }
  if (m.lt == 0) {
    MoveToText(m, p, style, text, forceAlpha, separator);
    return;
  }
  std::string t = Name(m.mv[0], p, style, forceAlpha);
  for (int i = 1; i <= m.lt; ++i) t += separator + Name(m.mv[2 * i], p, style, forceAlpha);
  text = std::move(t);
}

void MoveCaptureListText(const TMove& m, const TGameParams& p, std::string& text, bool forceAlpha) {
  if (!IsMoveValid(m, p)) {
    text = "ERR";
    return;
  }
  if (m.lt == 0) {
    MoveToText(m, p, kStyleExtended, text, forceAlpha, "x");
    return;
  }
  std::string t = Name(m.From(), p, kStyleFull, forceAlpha) + "x" + Name(m.To(), p, kStyleFull, forceAlpha);
  for (int i = 1; i <= m.lt; ++i) t += "x" + Name(m.mv[2 * i - 1], p, kStyleFull, forceAlpha);
  text = std::move(t);
}

void MoveNumberText(int ply, int offset, bool sideFlag, std::string& text, bool showDots) {
  const int n = ply + offset + (sideFlag ? 1 : 0);
  const std::string number = std::to_string((n + 1) / 2);
  if (n % 2 != 0)
    text = number + ".";
  else
    text = showDots ? number + "..." : std::string();
}

void SplitTagLine(const std::string& line, std::string& name, std::string& value) {
  const std::string s = Trim(line);
  std::string n, v;
  const size_t quote = s.find('"');
  if (quote == std::string::npos) {
    const size_t space = s.find(' ');
    if (space != std::string::npos) {
      n = space > 1 ? s.substr(1, space - 1) : std::string();
      // The value runs to the end without the closing bracket.
      const size_t start = space + 1;
      if (s.size() > start + 1) v = s.substr(start, s.size() - start - 1);
    }
  } else {
    n = quote > 1 ? s.substr(1, quote - 1) : std::string();
    const size_t last = s.rfind('"');
    if (last > quote) v = s.substr(quote + 1, last - quote - 1);
  }
  name = Trim(n);
  value = Trim(v);
}

std::string SquareText(int square, const TGameParams& params, int style, bool forceAlpha) {
  return Name(square, params, style, forceAlpha);
}

std::string MoveText(const TMove& move, const TGameParams& params, int style, const std::string& separator,
                     bool forceAlpha) {
  std::string t;
  MoveToText(move, params, style, t, forceAlpha, separator);
  return t;
}

}  // namespace quorlin
