#pragma once
// Lookup tables built once at start-up and read-only afterwards (many engine
// threads read them without locks).
#include <array>
#include <cstdint>

namespace quorlin {

extern std::array<uint32_t, 32> Pow2_32;
extern std::array<uint64_t, 64> Pow2_64;
extern std::array<uint8_t, 256> HighBit8;
extern std::array<uint8_t, 65536> HighBit16;
extern std::array<uint8_t, 256> BitCount8;
extern std::array<uint8_t, 65536> BitCount16;
extern std::array<int32_t, 256> Reverse8;
extern std::array<uint16_t, 65536> Reverse16;
extern std::array<std::array<int64_t, 8>, 64> Binomial64;  // [n][k]
extern std::array<std::array<int32_t, 65>, 8> Binomial32;  // [k][n]

// Square (1-based) to bit and bit to square (0 = no square) for the three
// checkered geometries that have a 64-bit form.
extern std::array<uint8_t, 33> SquareToBit32;
extern std::array<uint8_t, 41> SquareToBit40;
extern std::array<uint8_t, 51> SquareToBit50;
extern std::array<uint8_t, 64> BitToSquare32;
extern std::array<uint8_t, 64> BitToSquare40;
extern std::array<uint8_t, 64> BitToSquare50;

// Playing-square masks of the 64-bit layouts.
extern uint64_t BitBoardMask32;
extern uint64_t BitBoardMask40;
extern uint64_t BitBoardMask50;
constexpr uint64_t BitBoardMask64 = ~uint64_t{0};

// Exported builders (also run by InitTables).
void inicntnum();  // Binomial32
void revinit();    // Reverse8, Reverse16
void initC();      // Binomial64

// Builds every table above in start-up order; safe to call more than once.
void InitTables();

// Bit of the layout for square s of a checkered board with w squares per row
// (w <= 5): 5r + k + (r + 1) div 2.
constexpr int LayoutBit(int s, int w) {
  const int r = (s - 1) / w, k = (s - 1) % w;
  return 5 * r + k + (r + 1) / 2;
}

// Playing-square mask of a checkered layout with `squares` squares, w per row.
constexpr uint64_t LayoutMask(int squares, int w) {
  uint64_t m = 0;
  for (int s = 1; s <= squares; ++s) m |= uint64_t{1} << LayoutBit(s, w);
  return m;
}

// The same masks as constants, for code that wants them as immediates.
constexpr uint64_t kBitBoardMask32 = LayoutMask(32, 4);
constexpr uint64_t kBitBoardMask40 = LayoutMask(40, 5);
constexpr uint64_t kBitBoardMask50 = LayoutMask(50, 5);
static_assert(kBitBoardMask32 == 0x79EF3DE7BCFULL);
static_assert(kBitBoardMask40 == 0xFBFF7FEFFDFULL);
static_assert(kBitBoardMask50 == 0x7DFFBFF7FEFFDFULL);

}  // namespace quorlin
