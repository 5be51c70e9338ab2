#pragma once
// Population count of 64-bit masks.
#include <bit>
#include <cstdint>

namespace quorlin {

// Counts by shifts and adds: a handful of instructions on any processor.
[[gnu::always_inline]] constexpr int PopCountSwar(uint64_t x) noexcept {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
}

// Counts with the popcnt instruction. Only for code inlined into a function
// compiled for that instruction ([[gnu::target("popcnt")]]); elsewhere the
// compiler turns it into a call of a slower library routine.
[[gnu::always_inline]] inline int PopCountHw(uint64_t x) noexcept { return __builtin_popcountll(x); }

// Number of set bits. Where the whole build targets the popcnt instruction
// std::popcount is that one instruction; otherwise it would be a library call,
// slower than the shifts and adds.
[[gnu::always_inline]] constexpr int PopCount(uint64_t x) noexcept {
#if defined(__POPCNT__)
  return std::popcount(x);
#else
  return PopCountSwar(x);
#endif
}

}  // namespace quorlin
