#pragma once
// The variant record, the table of the fourteen built-in variants, square
// geometry and start positions.
#include <array>
#include <cstdint>
#include <string>

#include "rules/board.h"

namespace quorlin {

struct TGameParams {
  struct {
    bool WhiteStart = true;     // the first-moving side is called White
    bool BoardMirrored = false; // drawn mirrored left-right
    bool PlayOnWhite = false;   // played on the light squares (drawing only)
    uint8_t Notation = 0;       // notation kind 0..4
  } intface;
  struct {
    uint8_t BoardSize = 0;      // playing squares
    uint8_t BoardWidthReal = 0; // playing squares per row
  } compute;
  std::string Name;
  std::string FEN;  // custom start position; empty = generated
  uint8_t PDNGameType = 0;
  int16_t TypeOfGame = 0;  // slot in VariantTable; 0 = custom variant
  uint8_t BoardWidth = 0;
  uint8_t BoardHeight = 0;
  bool BoardCheckered = true;
  bool MenTakeBackWards = false;
  bool FlyingKing = false;
  bool CrowningOnCapture = false;
  bool TakeMax = false;
  bool TakeKingsMax = false;
  bool MenTakeKings = false;
  bool KingsTakeFirst = false;
  bool KingEqualPriority = false;
  bool KingGoesBack = false;
  bool TurkishCapture = false;
  bool MustCapture = false;
  bool ItalianCapture = false;
  bool FrisianCapture = false;
  uint8_t FlyingKingStop = 0;
  uint64_t BitBoardGood64 = 0;
  uint8_t BitBoardRevShift = 0;
};

constexpr int kVariantCount = 14;

enum VariantSlot : int {
  kCustom = 0,
  kRussian = 1,
  kEnglish = 2,
  kBrazilian = 3,
  kPool = 4,
  kItalian = 5,
  kInternational = 6,
  kCzech = 7,
  kSpanish = 8,
  kFrisian = 9,
  kSpantsiretti = 10,
  kCanadian = 11,
  kThai = 12,
  kTurkish = 13,
  kInternationalKiller = 14,
};

// Slots 0..14; slot 0 stays empty. Filled by InitRules and read concurrently
// afterwards; only the presentation fields of three slots change later.
extern std::array<TGameParams, kVariantCount + 1> VariantTable;

// Builds the lookup tables and the variant table, once; later calls do nothing.
void InitRules();

// Fills params.compute from BoardWidth, BoardHeight and BoardCheckered.
void ComputeBoardGeometry(TGameParams& params);

// Slot of a variant named by number ("6") or by name in any letter case
// ("international killer"); 0 when there is no such variant.
int FindVariant(const std::string& nameOrSlot);

// --- Square geometry (internal numbering, row 0 nearest White) -------------

inline int SquareRow(const TGameParams& p, int s) { return (s - 1) / p.compute.BoardWidthReal; }
inline int SquareSlot(const TGameParams& p, int s) { return (s - 1) % p.compute.BoardWidthReal; }
// Full-board column, 1-based from White's left.
int SquareColumn(const TGameParams& p, int s);
// Square at a row (0-based) and full-board column (1-based); 0 when that cell
// is off the board or not a playing square.
int SquareAt(const TGameParams& p, int row, int column);
inline bool OnBoard(const TGameParams& p, int s) { return s >= 1 && s <= p.compute.BoardSize; }
// True when square s is on the promotion row of the given side.
inline bool IsPromotionSquare(const TGameParams& p, int s, TDColor side) {
  return side == TDColor::white ? s > p.compute.BoardSize - p.compute.BoardWidthReal
                                : s <= p.compute.BoardWidthReal;
}

// Diagonal neighbour on a checkered board: towards higher rows (up) or lower
// rows, towards White's right or left. 0 when it does not exist.
int DiagonalNeighbour(const TGameParams& p, int s, bool up, bool right);

// Start cells of a variant. `standardLayout` picks the 12-men layout for Thai
// (the game database passes true). A custom variant with a FEN start position
// gets it through ParseFEN; without one the position is generated.
TBrd StartPosition(const TGameParams& params, bool standardLayout);

// Custom start position generated from the geometry (no FEN).
TBrd GeneratedStartPosition(const TGameParams& params);

}  // namespace quorlin
