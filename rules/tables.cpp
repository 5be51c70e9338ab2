#include "rules/tables.h"

#include <mutex>

#include "common/bits.h"

namespace quorlin {

std::array<uint32_t, 32> Pow2_32;
std::array<uint64_t, 64> Pow2_64;
std::array<uint8_t, 256> HighBit8;
std::array<uint8_t, 65536> HighBit16;
std::array<uint8_t, 256> BitCount8;
std::array<uint8_t, 65536> BitCount16;
std::array<int32_t, 256> Reverse8;
std::array<uint16_t, 65536> Reverse16;
std::array<std::array<int64_t, 8>, 64> Binomial64;
std::array<std::array<int32_t, 65>, 8> Binomial32;

std::array<uint8_t, 33> SquareToBit32;
std::array<uint8_t, 41> SquareToBit40;
std::array<uint8_t, 51> SquareToBit50;
std::array<uint8_t, 64> BitToSquare32;
std::array<uint8_t, 64> BitToSquare40;
std::array<uint8_t, 64> BitToSquare50;

uint64_t BitBoardMask32 = 0;
uint64_t BitBoardMask40 = 0;
uint64_t BitBoardMask50 = 0;

namespace {

uint32_t Reverse32(uint32_t x) {
  uint32_t r = x & 1;
  for (int i = 0; i < 31; ++i) {
    x >>= 1;
    r = (r << 1) | (x & 1);
  }
  return r;
}

template <size_t N>
uint64_t FillLayout(std::array<uint8_t, N>& sq2bit, std::array<uint8_t, 64>& bit2sq, int w) {
  bit2sq.fill(0);
  sq2bit[0] = 0;
  uint64_t mask = 0;
  for (int s = 1; s < static_cast<int>(N); ++s) {
    const int bit = LayoutBit(s, w);
    sq2bit[s] = static_cast<uint8_t>(bit);
    bit2sq[bit] = static_cast<uint8_t>(s);
    mask |= Pow2_64[bit];
  }
  return mask;
}

void BuildAll() {
  inicntnum();
  Pow2_32[0] = 1;
  for (int i = 1; i < 32; ++i) Pow2_32[i] = Pow2_32[i - 1] * 2;
  for (int i = 0; i < 64; ++i) Pow2_64[i] = uint64_t{1} << i;
  BitBoardMask50 = FillLayout(SquareToBit50, BitToSquare50, 5);
  BitBoardMask40 = FillLayout(SquareToBit40, BitToSquare40, 5);
  BitBoardMask32 = FillLayout(SquareToBit32, BitToSquare32, 4);
  revinit();
  for (int i = 0; i < 256; ++i) {
    int h = 0;
    for (int b = 7; b >= 0; --b)
      if (i & (1 << b)) { h = b; break; }
    HighBit8[i] = static_cast<uint8_t>(h);
  }
  for (int i = 0; i < 65536; ++i) {
    int h = 0;
    for (int b = 15; b >= 0; --b)
      if (i & (1 << b)) { h = b; break; }
    HighBit16[i] = static_cast<uint8_t>(h);
  }
  for (int i = 0; i < 256; ++i) BitCount8[i] = static_cast<uint8_t>(PopCount(static_cast<uint64_t>(i)));
  for (int i = 0; i < 65536; ++i) BitCount16[i] = static_cast<uint8_t>(PopCount(static_cast<uint64_t>(i)));
  initC();
}

}  // namespace

void inicntnum() {
  for (int k = 0; k < 8; ++k)
    for (int n = 0; n <= 64; ++n) {
      int64_t v = 1;
      for (int i = 1; i <= k; ++i) v = v * (n - i + 1) / i;
      Binomial32[k][n] = static_cast<int32_t>(v);
    }
}

void revinit() {
  for (uint32_t i = 0; i < 256; ++i) Reverse8[i] = static_cast<int32_t>(Reverse32(i) >> 24);
  for (uint32_t i = 0; i < 65536; ++i) Reverse16[i] = static_cast<uint16_t>(Reverse32(i) >> 16);
}

void initC() {
  for (int k = 0; k < 8; ++k) {
    for (int n = 0; n < 64; ++n) Binomial64[n][k] = 0;
    Binomial64[k][k] = 1;
    for (int n = k + 1; n < 64; ++n) Binomial64[n][k] = Binomial64[n - 1][k] * n / (n - k);
  }
}

void InitTables() {
  static std::once_flag once;
  std::call_once(once, BuildAll);
}

}  // namespace quorlin
