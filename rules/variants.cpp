#include "rules/variants.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "rules/fen.h"
#include "rules/tables.h"

namespace quorlin {

std::array<TGameParams, kVariantCount + 1> VariantTable;

namespace {

struct Identity {
  const char* name;
  uint8_t pdn;
  uint8_t width, height;
  bool checkered;
  uint8_t notation;
  bool whiteStart, mirrored, playOnWhite;
};

// Slot 1..14: name, PDN GameType, geometry, notation kind, presentation.
constexpr Identity kIdentity[kVariantCount] = {
    {"Russian", 25, 8, 8, true, 0, true, false, false},
    {"English", 21, 8, 8, true, 2, false, false, false},
    {"Brazilian", 26, 8, 8, true, 0, true, false, false},
    {"Pool", 23, 8, 8, true, 2, false, false, false},
    {"Italian", 22, 8, 8, true, 3, true, true, false},
    {"International", 20, 10, 10, true, 1, true, false, false},
    {"Czech", 29, 8, 8, true, 0, true, false, false},
    {"Spanish", 24, 8, 8, true, 4, true, true, true},
    {"Frisian", 40, 10, 10, true, 1, true, false, false},
    {"Spantsiretti", 41, 10, 8, true, 0, true, false, false},
    {"Canadian", 27, 12, 12, true, 1, true, false, false},
    {"Thai", 31, 8, 8, true, 1, true, false, false},
    {"Turkish", 30, 8, 8, false, 0, true, false, false},
    {"International Killer", 20, 10, 10, true, 1, true, false, false},
};

// Rule flags per slot, in the record's field order: MenTakeBackWards,
// FlyingKing, CrowningOnCapture, TakeMax, TakeKingsMax, MenTakeKings,
// KingsTakeFirst, KingEqualPriority, KingGoesBack, TurkishCapture, MustCapture,
// ItalianCapture, FrisianCapture, FlyingKingStop.
constexpr uint8_t kRules[kVariantCount][14] = {
    {1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // Russian
    {0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // English
    {1, 1, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // Brazilian
    {1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // Pool
    {0, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0},  // Italian
    {1, 1, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // International
    {0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0},  // Czech
    {0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // Spanish
    {1, 1, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 1, 0},  // Frisian
    {1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // Spantsiretti
    {1, 1, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0},  // Canadian
    {0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1},  // Thai
    {0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0},  // Turkish
    {1, 1, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 0, 2},  // International Killer
};

void FillVariantTable() {
  VariantTable.fill(TGameParams{});
  // Slot 0 stays all zero.
  VariantTable[0].intface.WhiteStart = false;
  VariantTable[0].BoardCheckered = false;
  for (int slot = 1; slot <= kVariantCount; ++slot) {
    const Identity& id = kIdentity[slot - 1];
    const uint8_t* r = kRules[slot - 1];
    TGameParams& p = VariantTable[slot];
    p.intface.WhiteStart = id.whiteStart;
    p.intface.BoardMirrored = id.mirrored;
    p.intface.PlayOnWhite = id.playOnWhite;
    p.intface.Notation = id.notation;
    p.Name = id.name;
    p.FEN.clear();
    p.PDNGameType = id.pdn;
    p.TypeOfGame = static_cast<int16_t>(slot);
    p.BoardWidth = id.width;
    p.BoardHeight = id.height;
    p.BoardCheckered = id.checkered;
    p.MenTakeBackWards = r[0];
    p.FlyingKing = r[1];
    p.CrowningOnCapture = r[2];
    p.TakeMax = r[3];
    p.TakeKingsMax = r[4];
    p.MenTakeKings = r[5];
    p.KingsTakeFirst = r[6];
    p.KingEqualPriority = r[7];
    p.KingGoesBack = r[8];
    p.TurkishCapture = r[9];
    p.MustCapture = r[10];
    p.ItalianCapture = r[11];
    p.FrisianCapture = r[12];
    p.FlyingKingStop = r[13];
    switch (slot) {
      case kInternational:
      case kFrisian:
      case kInternationalKiller:
        p.BitBoardGood64 = BitBoardMask50;
        p.BitBoardRevShift = 9;
        break;
      case kSpantsiretti:
        p.BitBoardGood64 = BitBoardMask40;
        p.BitBoardRevShift = 20;
        break;
      case kTurkish:
        p.BitBoardGood64 = BitBoardMask64;
        p.BitBoardRevShift = 0;
        break;
      case kCanadian:
        // No 64-bit form; the slot carries the 32-square values, unused.
        p.BitBoardGood64 = BitBoardMask32;
        p.BitBoardRevShift = 28;
        break;
      default:
        p.BitBoardGood64 = BitBoardMask32;
        p.BitBoardRevShift = 21;
        break;
    }
  }
  for (int slot = 1; slot <= kVariantCount; ++slot) ComputeBoardGeometry(VariantTable[slot]);
}

void BuildRules() {
  InitTables();
  FillVariantTable();
}

}  // namespace

void InitRules() {
  static std::once_flag once;
  std::call_once(once, BuildRules);
}

void ComputeBoardGeometry(TGameParams& p) {
  if (p.BoardCheckered) {
    p.compute.BoardSize = static_cast<uint8_t>(p.BoardWidth * p.BoardHeight / 2);
    p.compute.BoardWidthReal = static_cast<uint8_t>(p.BoardWidth / 2);
  } else {
    p.compute.BoardSize = static_cast<uint8_t>(p.BoardWidth * p.BoardHeight);
    p.compute.BoardWidthReal = p.BoardWidth;
  }
}

int FindVariant(const std::string& text) {
  if (text.empty()) return 0;
  if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    if (text.size() > 3) return 0;
    const int n = std::stoi(text);
    return n >= 1 && n <= kVariantCount ? n : 0;
  }
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string want = lower(text);
  for (int slot = 1; slot <= kVariantCount; ++slot)
    if (lower(VariantTable[slot].Name) == want) return slot;
  return 0;
}

int SquareColumn(const TGameParams& p, int s) {
  const int r = SquareRow(p, s), k = SquareSlot(p, s);
  if (!p.BoardCheckered) return k + 1;
  return r % 2 == 0 ? 2 * k + 1 : 2 * k + 2;
}

int SquareAt(const TGameParams& p, int row, int column) {
  const int w = p.compute.BoardWidthReal;
  if (row < 0 || row >= p.BoardHeight || column < 1 || column > p.BoardWidth) return 0;
  if (!p.BoardCheckered) return row * w + column;
  const bool dark = (row % 2 == 0) ? (column % 2 == 1) : (column % 2 == 0);
  if (!dark) return 0;
  return row * w + (column - 1) / 2 + 1;
}

int DiagonalNeighbour(const TGameParams& p, int s, bool up, bool right) {
  const int w = p.compute.BoardWidthReal;
  const int r = SquareRow(p, s), k = SquareSlot(p, s);
  const bool odd = r % 2 == 1;
  // Off the left edge: slot 0 of an even row going left; off the right edge:
  // the last slot of an odd row going right.
  if (!right && !odd && k == 0) return 0;
  if (right && odd && k == w - 1) return 0;
  int n;
  if (up)
    n = right ? s + w + (odd ? 1 : 0) : s + w - 1 + (odd ? 1 : 0);
  else
    n = right ? s - w + 1 - (odd ? 0 : 1) : s - w - (odd ? 0 : 1);
  return OnBoard(p, n) ? n : 0;
}

TBrd GeneratedStartPosition(const TGameParams& p) {
  TBrd cells{};
  const int w = p.compute.BoardWidthReal;
  int rows = p.BoardHeight / 2 - 1;
  if (!p.BoardCheckered) rows -= 1;
  if (rows <= 0 || w <= 0) return cells;
  const int first = p.BoardCheckered ? 1 : w + 1;
  const int last = rows * w + first - 1;
  for (int s = first; s <= last && s <= p.compute.BoardSize; ++s) {
    cells[s] = kWhiteMan;
    const int mirror = p.compute.BoardSize + 1 - s;
    if (mirror >= 1 && mirror <= kMaxSquares) cells[mirror] = kBlackMan;
  }
  return cells;
}

TBrd StartPosition(const TGameParams& p, bool standardLayout) {
  TBrd cells{};
  if (p.TypeOfGame < 1) {
    if (p.FEN.empty()) return GeneratedStartPosition(p);
    int side = 0;
    ParseFEN(p, p.FEN, cells, side);
    return cells;
  }
  int whiteLast, blackFirst;
  const int n = p.compute.BoardSize;
  switch (n) {
    case 32:
      if (p.TypeOfGame == kThai && !standardLayout) {
        whiteLast = 8;
        blackFirst = 25;
      } else {
        whiteLast = 12;
        blackFirst = 21;
      }
      break;
    case 40: whiteLast = 15; blackFirst = 26; break;
    case 50: whiteLast = 20; blackFirst = 31; break;
    case 64: {
      for (int s = 9; s <= 24; ++s) cells[s] = kWhiteMan;
      for (int s = 41; s <= 56; ++s) cells[s] = kBlackMan;
      return cells;
    }
    case 72: whiteLast = 30; blackFirst = 43; break;
    default: return GeneratedStartPosition(p);
  }
  for (int s = 1; s <= whiteLast; ++s) cells[s] = kWhiteMan;
  for (int s = blackFirst; s <= n; ++s) cells[s] = kBlackMan;
  return cells;
}

}  // namespace quorlin
