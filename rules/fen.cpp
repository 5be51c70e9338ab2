#include "rules/fen.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "rules/notation.h"

namespace quorlin {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    if (at == std::string::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, at - start));
    start = at + 1;
  }
}

// Digits only; numbers too long to matter count as out of range (-1).
long long DecimalNumber(const std::string& item) {
  if (item.empty() || item.size() > 18) return item.size() > 18 ? -1 : -2;
  long long v = 0;
  for (char c : item) {
    if (c < '0' || c > '9') return -2;
    v = v * 10 + (c - '0');
  }
  return v;
}

// The squares of one list (its leading letter already removed) in one colour.
void ParseFENSquares(const TGameParams& p, const std::string& list, int colour, TBrd& cells) {
  for (const std::string& raw : Split(list, ',')) {
    std::string item = Trim(raw);
    const bool king = !item.empty() && item[0] == 'K';
    if (king) item.erase(0, 1);
    const long long v = DecimalNumber(item);
    int s;
    if (v >= 0)
      s = FENNumberToSquare(p, v);
    else if (v == -1)
      s = 0;
    else
      s = FindAlphaSquare(p, item);
    // Only squares of this board: a cell beyond it would hold a piece that no
    // other routine sees.
    if (s >= 1 && s <= p.compute.BoardSize) cells[s] = static_cast<int8_t>(king ? 2 * colour : colour);
  }
}

// True when every square's number in the variant's own notation reads back as
// that square through FENNumberToSquare.
bool NumbersReadBack(const TGameParams& p) {
  if (p.TypeOfGame < 1 || p.intface.Notation == 0 || p.compute.BoardSize == 0) return false;
  for (int s = 1; s <= p.compute.BoardSize; ++s)
    if (FENNumberToSquare(p, NotationNumber(p, s, p.intface.Notation)) != s) return false;
  return true;
}

}  // namespace

int FENNumberToSquare(const TGameParams& p, long long v) {
  if (v < 1 || v > kMaxSquares) return 0;
  static constexpr int kAdjust4[4] = {3, 1, -1, -3};
  static constexpr int kAdjust5[5] = {4, 2, 0, -2, -4};
  static constexpr int kAdjust6[6] = {5, 3, 1, -1, -3, -5};
  const int n = static_cast<int>(v);
  int s;
  switch (p.TypeOfGame) {
    case kInternational:
    case kFrisian:
    case kInternationalKiller:
      s = 51 - n;
      if (s >= 1) s += kAdjust5[(s - 1) % 5];
      break;
    case kCanadian:
      s = 73 - n;
      if (s >= 1) s += kAdjust6[(s - 1) % 6];
      break;
    case kEnglish:
    case kPool:
      s = n + kAdjust4[(n - 1) % 4];
      break;
    case kItalian:
      s = 33 - n;
      break;
    default:
      s = 33 - n;
      if (s >= 1) s += kAdjust4[(s - 1) % 4];
      break;
  }
  return s >= 1 && s <= p.compute.BoardSize ? s : 0;
}

void ParseFEN(const TGameParams& p, const std::string& fenText, TBrd& cells, int& sideToMove) {
  cells.fill(0);
  const std::string fen = Trim(fenText);
  const bool whiteStart = p.intface.WhiteStart;
  const std::string head = fen.substr(0, 2);
  sideToMove = ((head == "B:" && whiteStart) || (head == "W:" && !whiteStart)) ? 1 : 0;
  if (fen.size() <= 2) return;
  for (const std::string& raw : Split(fen.substr(2), ':')) {
    std::string list = Trim(raw);
    if (!list.empty() && list.back() == '.') list.pop_back();
    if (list.empty()) continue;
    int colour;
    if (list[0] == 'W')
      colour = 1;
    else if (list[0] == 'B')
      colour = -1;
    else
      continue;
    // In English and Pool "W" names the side that moves second, internal Black.
    if (!whiteStart) colour = -colour;
    ParseFENSquares(p, list.substr(1), colour, cells);
  }
}

std::string WriteFEN(const TGameParams& p, const TBrd& cells, int sideToMove) {
  const bool whiteStart = p.intface.WhiteStart;
  const bool numbers = NumbersReadBack(p);
  // Pieces of the side written "W" carry this sign internally.
  const int wSign = whiteStart ? 1 : -1;
  std::vector<std::pair<int, std::string>> lists[2];  // [0] "W", [1] "B"; (sort key, text)
  std::string name;
  for (int s = 1; s <= p.compute.BoardSize && s <= kMaxSquares; ++s) {
    const int c = cells[s];
    if (c != 1 && c != 2 && c != -1 && c != -2) continue;
    const int list = (c > 0) == (wSign > 0) ? 0 : 1;
    int key = s;
    if (numbers) {
      key = NotationNumber(p, s, p.intface.Notation);
      name = std::to_string(key);
    } else {
      SquareToText(s, p, kStyleExtended, name, true);
    }
    lists[list].emplace_back(key, (c == 2 || c == -2 ? "K" : "") + name);
  }
  std::string out = (sideToMove == 0) == whiteStart ? "W" : "B";
  const char* letters[2] = {":W", ":B"};
  for (int l = 0; l < 2; ++l) {
    std::sort(lists[l].begin(), lists[l].end());
    out += letters[l];
    for (size_t i = 0; i < lists[l].size(); ++i) {
      if (i) out += ',';
      out += lists[l][i].second;
    }
  }
  return out;
}

}  // namespace quorlin
