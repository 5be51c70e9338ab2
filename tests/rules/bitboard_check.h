#pragma once
// Shared by the 64-bit generator tests: positions from short texts, and the
// comparison of the 64-bit generator with the square-list one.
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "rules/bitmovegen.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin::bbcheck {

// Position from pieces by internal square number: "w10 W18 b14 B23" (lower
// case man, upper case king; w/W White, b/B Black). Throws on a bad item.
inline TBoard Pos(const std::string& text) {
  TBoard board;
  std::istringstream in(text);
  std::string item;
  while (in >> item) {
    const int s = std::stoi(item.substr(1));
    int8_t code;
    switch (item[0]) {
      case 'w':
        code = kWhiteMan;
        break;
      case 'W':
        code = kWhiteKing;
        break;
      case 'b':
        code = kBlackMan;
        break;
      case 'B':
        code = kBlackKing;
        break;
      default:
        throw std::invalid_argument("bad piece " + item);
    }
    board.b.at(s) = code;
  }
  return board;
}

inline bool Less(const TBitBoard64& a, const TBitBoard64& b) {
  return std::tie(a.w, a.b, a.k) < std::tie(b.w, b.b, b.k);
}

inline void SortUnique(std::vector<TBitBoard64>& v) {
  std::sort(v.begin(), v.end(), Less);
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// Positions after each move of `side`, by the 64-bit generator, in White's
// orientation. `raw` gets the list length before removing duplicates.
inline std::vector<TBitBoard64> BitboardChildren(const TBoard& board, int side, int variant,
                                                 int* raw = nullptr) {
  TBitBoard64 p;
  BoardToBit64(board, p, variant);
  if (side) FlipBitBoard(p, variant);
  auto list = std::make_unique<TPositionList64>();
  uint8_t n = 0;
  GenerateMoves64(p, *list, n, variant);
  if (raw) *raw = n;
  std::vector<TBitBoard64> out;
  for (int i = 0; i < n; ++i) {
    TBitBoard64 c = (*list)[i];
    if (side) FlipBitBoard(c, variant);
    out.push_back(c);
  }
  SortUnique(out);
  return out;
}

// The same by GenerateMoves (dedupe on) and ApplyMove.
inline std::vector<TBitBoard64> SquareListChildren(const TBoard& board, int side, int variant,
                                                   int* raw = nullptr) {
  const TGameParams& params = VariantTable[variant];
  auto list = std::make_unique<TMvs>();
  uint8_t n = 0;
  GenerateMoves(board, side, *list, n, params, true);
  if (raw) *raw = n;
  std::vector<TBitBoard64> out;
  for (int i = 1; i <= n; ++i) {
    TBoard next = board;
    ApplyMove((*list)[i], next, params);
    TBitBoard64 c;
    BoardToBit64(next, c, variant);
    out.push_back(c);
  }
  SortUnique(out);
  return out;
}

// Empty when both generators give the same set of positions for `side` (or
// when a list was full, where the two may drop different moves and the
// comparison says nothing; `full` is then set); else a description.
inline std::string CompareGenerators(const TBoard& board, int side, int variant, bool* full = nullptr) {
  int rawBit = 0, rawSquare = 0;
  const auto bit = BitboardChildren(board, side, variant, &rawBit);
  const auto square = SquareListChildren(board, side, variant, &rawSquare);
  const bool isFull = rawBit >= kMaxPositions64 || rawSquare >= kMaxMoves;
  if (full) *full = isFull;
  if (isFull || bit == square) return "";
  const TGameParams& params = VariantTable[variant];
  std::ostringstream out;
  out << params.Name << " " << WriteFEN(params, board.b, side) << ": 64-bit lists " << bit.size()
      << ", square list " << square.size() << ".";
  auto show = [&](const TBitBoard64& p) {
    TBrd cells;
    Bit64toBoard(p, cells, variant);
    return WriteFEN(params, cells, 1 - side);
  };
  for (const auto& p : bit)
    if (!std::binary_search(square.begin(), square.end(), p, Less)) out << "\n  only 64-bit: " << show(p);
  for (const auto& p : square)
    if (!std::binary_search(bit.begin(), bit.end(), p, Less)) out << "\n  only square list: " << show(p);
  return out.str();
}

// Piece counts for the i-th random position, cycling through three kinds:
// crowded with men, mixed, and few men with many kings (where the flying-king
// and majority rules matter most). Each side gets at least one piece.
inline void RandomComposition(TRandom& rng, const TGameParams& p, int i, uint8_t& wm, uint8_t& bm,
                              uint8_t& wk, uint8_t& bk) {
  const int size = p.compute.BoardSize;
  const uint32_t maxMen = static_cast<uint32_t>(size * 3 / 8);
  switch (i % 3) {
    case 0:
      wm = static_cast<uint8_t>(maxMen / 2 + rng.Below(maxMen / 2 + 1));
      bm = static_cast<uint8_t>(maxMen / 2 + rng.Below(maxMen / 2 + 1));
      wk = static_cast<uint8_t>(rng.Below(2));
      bk = static_cast<uint8_t>(rng.Below(2));
      break;
    case 1:
      wm = static_cast<uint8_t>(rng.Below(maxMen + 1));
      bm = static_cast<uint8_t>(rng.Below(maxMen + 1));
      wk = static_cast<uint8_t>(rng.Below(4));
      bk = static_cast<uint8_t>(rng.Below(4));
      break;
    default:
      wm = static_cast<uint8_t>(rng.Below(4));
      bm = static_cast<uint8_t>(rng.Below(static_cast<uint32_t>(size / 4)));
      wk = static_cast<uint8_t>(1 + rng.Below(5));
      bk = static_cast<uint8_t>(1 + rng.Below(5));
      break;
  }
  if (wm + wk == 0) wk = 1;
  if (bm + bk == 0) bk = 1;
}

// Variants with a 64-bit generator.
inline std::vector<int> BitboardVariants() {
  std::vector<int> v;
  for (int slot = 1; slot <= kVariantCount; ++slot)
    if (HasBitboardGenerator(slot)) v.push_back(slot);
  return v;
}

}  // namespace quorlin::bbcheck
