#pragma once
// Little-endian integers in byte buffers, as the stored file formats lay them
// out whatever the processor's own order. Works on buffers of char, unsigned
// char or uint8_t; the caller checks the bounds.
#include <cstdint>

namespace quorlin {

template <class Byte>
constexpr uint16_t GetLE16(const Byte* p) noexcept {
  static_assert(sizeof(Byte) == 1);
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}

template <class Byte>
constexpr uint32_t GetLE32(const Byte* p) noexcept {
  static_assert(sizeof(Byte) == 1);
  return uint32_t{static_cast<uint8_t>(p[0])} | uint32_t{static_cast<uint8_t>(p[1])} << 8 |
         uint32_t{static_cast<uint8_t>(p[2])} << 16 | uint32_t{static_cast<uint8_t>(p[3])} << 24;
}

template <class Byte>
constexpr uint64_t GetLE64(const Byte* p) noexcept {
  return uint64_t{GetLE32(p)} | uint64_t{GetLE32(p + 4)} << 32;
}

template <class Byte>
constexpr void PutLE16(Byte* p, uint16_t v) noexcept {
  static_assert(sizeof(Byte) == 1);
  p[0] = static_cast<Byte>(v & 0xFF);
  p[1] = static_cast<Byte>(v >> 8);
}

template <class Byte>
constexpr void PutLE32(Byte* p, uint32_t v) noexcept {
  static_assert(sizeof(Byte) == 1);
  for (int k = 0; k < 4; ++k) p[k] = static_cast<Byte>((v >> (8 * k)) & 0xFF);
}

template <class Byte>
constexpr void PutLE64(Byte* p, uint64_t v) noexcept {
  PutLE32(p, static_cast<uint32_t>(v));
  PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace quorlin
