#pragma once
// The two board forms every part of the program shares: the square list and the
// 64-bit board.
#include <array>
#include <cstdint>

namespace quorlin {

enum class TDColor : uint8_t { white = 0, black = 1 };

// Piece codes held in a cell.
constexpr int8_t kEmpty = 0;
constexpr int8_t kWhiteMan = 1;
constexpr int8_t kWhiteKing = 2;
constexpr int8_t kBlackMan = -1;
constexpr int8_t kBlackKing = -2;

// Most playing squares any geometry may have.
constexpr int kMaxSquares = 128;

// Cells 1..128 by internal square number; index 0 is unused and stays 0, as do
// cells above the variant's board size.
using TBrd = std::array<int8_t, kMaxSquares + 1>;

struct TBoard {
  TBrd b{};
  // Frisian three-move king rule, per side: square of the king that made the
  // side's last quiet move(s) (0 after a man move or a capture), and how many
  // quiet moves in a row it has made.
  std::array<uint8_t, 2> nmpiece{};
  std::array<uint8_t, 2> nmcount{};

  bool operator==(const TBoard&) const = default;
};

// w: all white pieces, b: all black pieces, k: kings of both colours.
struct TBitBoard64 {
  uint64_t w = 0;
  uint64_t b = 0;
  uint64_t k = 0;

  bool operator==(const TBitBoard64&) const = default;
};

}  // namespace quorlin
