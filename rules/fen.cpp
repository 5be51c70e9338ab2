#include "rules/fen.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "common/text.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin {

namespace {

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

// The strict reader behind ReadFEN. Positions are indices into the text as
// given, so that every message can point at the column it is about.
class StrictFenReader {
 public:
  StrictFenReader(const TGameParams& p, const std::string& text) : p_(p), text_(text) {}

  bool Read(TBrd& cells, int& side, std::string& error) {
    const bool ok = ReadAll();
    if (!ok) {
      error = error_;
      return false;
    }
    cells = cells_;
    side = side_;
    return true;
  }

 private:
  static bool Blank(char c) { return static_cast<unsigned char>(c) <= ' '; }
  static bool Digits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
  }

  bool Fail(size_t at, const std::string& what) {
    error_ = "column " + std::to_string(at + 1) + ": " + what;
    return false;
  }

  // [b, e) without blanks at either end.
  void TrimRange(size_t& b, size_t& e) const {
    while (b < e && Blank(text_[b])) ++b;
    while (e > b && Blank(text_[e - 1])) --e;
  }

  std::string BoardName() const {
    return "the " + (p_.Name.empty() ? std::string("custom") : p_.Name) + " board";
  }

  // How squares of this board are written: the numbers the reader takes and
  // the names of the files and ranks.
  std::string SquareHelp() const {
    int last = 0;
    while (last < kMaxSquares && FENNumberToSquare(p_, last + 1) != 0) ++last;
    std::string files;
    std::string name;
    for (int s = 1; s <= p_.compute.BoardSize; ++s) {
      SquareToText(s, p_, kStyleExtended, name, true);
      if (!name.empty() && files.find(name[0]) == std::string::npos) files += name[0];
    }
    std::sort(files.begin(), files.end());
    std::string letters;
    for (char c : files) letters += letters.empty() ? std::string(1, c) : std::string(" ") + c;
    std::string help = "files " + letters + ", ranks 1.." + std::to_string(p_.BoardHeight);
    if (last > 0) help = "numbers 1.." + std::to_string(last) + ", or names with " + help;
    return help;
  }

  bool ReadAll() {
    const int size = p_.compute.BoardSize;
    if (size < 1 || size > kMaxSquares || p_.compute.BoardWidthReal < 1)
      return Fail(0, "the variant has no board to set up");
    size_t b = 0, e = text_.size();
    TrimRange(b, e);
    if (e - b < 2 || (text_[b] != 'W' && text_[b] != 'B') || text_[b + 1] != ':')
      return Fail(b, "expected the side to move, \"W:\" or \"B:\", first (as in W:W31,32:B19,20)");
    const bool whiteStart = p_.intface.WhiteStart;
    side_ = (text_[b] == 'B') == whiteStart ? 1 : 0;
    const size_t listsAt = b + 2;
    size_t rb = listsAt, re = e;
    TrimRange(rb, re);
    if (rb == re)
      return Fail(listsAt, std::string("no piece lists after \"") + text_[b] +
                               ":\"; expected lists such as W31,32 and B19,20 separated by \":\"");
    for (size_t at = listsAt;;) {
      size_t colon = text_.find(':', at);
      if (colon == std::string::npos || colon > e) colon = e;
      if (!ReadList(at, colon)) return false;
      if (colon >= e) break;
      at = colon + 1;
    }
    return CheckPosition();
  }

  bool ReadList(size_t b, size_t e) {
    const size_t start = b;
    TrimRange(b, e);
    if (b < e && text_[e - 1] == '.') {
      --e;
      TrimRange(b, e);
    }
    if (b == e) return Fail(start, "empty piece list; expected \"W\" or \"B\" followed by squares");
    const char letter = text_[b];
    if (letter != 'W' && letter != 'B')
      return Fail(b, "a piece list begins with \"W\" or \"B\", not \"" + text_.substr(b, e - b) + "\"");
    // Internal sign of the list's pieces: "W" names the second mover when the
    // variant calls its first mover Black.
    const int colour = (letter == 'W') == p_.intface.WhiteStart ? 1 : -1;
    size_t ib = b + 1, ie = e;
    TrimRange(ib, ie);
    if (ib == ie) return true;  // a side without pieces
    for (size_t at = b + 1;;) {
      size_t comma = text_.find(',', at);
      if (comma == std::string::npos || comma > e) comma = e;
      if (!ReadItem(at, comma, colour, letter)) return false;
      if (comma >= e) return true;
      at = comma + 1;
    }
  }

  bool ReadItem(size_t b, size_t e, int colour, char letter) {
    const size_t start = b;
    TrimRange(b, e);
    if (b == e) return Fail(start, "a square is missing in the " + std::string(1, letter) + " list");
    const bool king = text_[b] == 'K';
    const size_t sb = king ? b + 1 : b;
    const std::string item = text_.substr(sb, e - sb);
    if (item.empty()) return Fail(b, "\"K\" without a square");
    const size_t dash = item.find('-');
    if (dash != std::string::npos && Digits(item.substr(0, dash)) && Digits(item.substr(dash + 1))) {
      const long long from = NumberOf(item.substr(0, dash)), to = NumberOf(item.substr(dash + 1));
      if (from > to) return Fail(sb, "the range " + item + " runs backwards");
      for (long long v = from; v <= to; ++v)
        if (!PlaceNumber(v, std::to_string(v), king, colour, letter, sb)) return false;
      return true;
    }
    if (Digits(item)) return PlaceNumber(NumberOf(item), item, king, colour, letter, sb);
    const int s = FindAlphaSquare(p_, item);
    if (s == 0) {
      std::string what = "\"" + item + "\" is not a square of " + BoardName() + " (" + SquareHelp() + ")";
      if (item[0] == 'k' && Digits(item.substr(1))) what += "; a king is written with a capital K";
      return Fail(sb, what);
    }
    return Place(s, king, colour, letter, sb, item);
  }

  // Numbers too long to be squares read as 0, which names no square.
  static long long NumberOf(const std::string& digits) { return digits.size() > 6 ? 0 : std::stoll(digits); }

  bool PlaceNumber(long long v, const std::string& written, bool king, int colour, char letter, size_t at) {
    const int s = FENNumberToSquare(p_, v);
    if (s == 0)
      return Fail(at, "square " + written + " is not on " + BoardName() + " (" + SquareHelp() + ")");
    return Place(s, king, colour, letter, at, written);
  }

  bool Place(int s, bool king, int colour, char letter, size_t at, const std::string& written) {
    if (cells_[s] != kEmpty) {
      const std::string first = " (first at column " + std::to_string(where_[s] + 1) + ")";
      if (letter_[s] == letter) return Fail(at, "square " + written + " is listed twice" + first);
      return Fail(at, "square " + written + " is listed for both White and Black" + first);
    }
    cells_[s] = static_cast<int8_t>(king ? 2 * colour : colour);
    where_[s] = at;
    letter_[s] = letter;
    written_[s] = written;
    return true;
  }

  // Pieces of each internal colour in the variant's start positions (the
  // standard layout too, which the game database uses for Thai).
  int StartCount(int colour) const {
    int most = 0;
    for (const bool standard : {false, true}) {
      const TBrd start = StartPosition(p_, standard);
      int n = 0;
      for (int s = 1; s <= p_.compute.BoardSize; ++s)
        if (start[s] * colour > 0) ++n;
      most = std::max(most, n);
    }
    return most;
  }

  bool CheckPosition() {
    const int size = p_.compute.BoardSize, w = p_.compute.BoardWidthReal;
    int count[2] = {0, 0};
    for (int s = 1; s <= size; ++s) {
      const int c = cells_[s];
      if (c == kEmpty) continue;
      ++count[c > 0 ? 0 : 1];
      const bool crowningRow = c == kWhiteMan ? s > size - w : c == kBlackMan && s <= w;
      if (crowningRow)
        return Fail(where_[s], std::string("a ") + (letter_[s] == 'W' ? "White" : "Black") +
                                   " man cannot stand on " + written_[s] + ": its side crowns there");
    }
    if (count[0] + count[1] == 0) return Fail(0, "the position has no pieces");
    for (int i = 0; i < 2; ++i) {
      const int colour = i == 0 ? 1 : -1;
      const int most = StartCount(colour);
      if (most > 0 && count[i] > most) {
        const bool shownWhite = (colour > 0) == p_.intface.WhiteStart;
        return Fail(0, std::string(shownWhite ? "White" : "Black") + " has " + std::to_string(count[i]) +
                           " pieces; a game of " + (p_.Name.empty() ? std::string("this variant") : p_.Name) +
                           " starts with " + std::to_string(most));
      }
    }
    return true;
  }

  const TGameParams& p_;
  const std::string& text_;
  std::string error_;
  TBrd cells_{};
  int side_ = 0;
  // Per square: column of the item that placed it, its list letter and the
  // square as written.
  std::array<size_t, kMaxSquares + 1> where_{};
  std::array<char, kMaxSquares + 1> letter_{};
  std::array<std::string, kMaxSquares + 1> written_{};
};

}  // namespace

bool ReadFEN(const TGameParams& params, const std::string& fen, TBrd& cells, int& sideToMove,
             std::string& error) {
  return StrictFenReader(params, fen).Read(cells, sideToMove, error);
}

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
