#include "rules/position.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <random>
#include <thread>

#include "rules/movegen.h"
#include "rules/tables.h"

namespace quorlin {

int HighBit64Table(uint64_t x) {
  if (x >> 48) return 48 + HighBit16[x >> 48];
  if (x >> 32) return 32 + HighBit16[(x >> 32) & 0xFFFF];
  if (x >> 16) return 16 + HighBit16[(x >> 16) & 0xFFFF];
  return HighBit16[x & 0xFFFF];
}

int PopCount64Table(uint64_t x) {
  return BitCount16[x & 0xFFFF] + BitCount16[(x >> 16) & 0xFFFF] + BitCount16[(x >> 32) & 0xFFFF] +
         BitCount16[x >> 48];
}

uint64_t Reverse64Table(uint64_t x) {
  return (uint64_t{Reverse16[x & 0xFFFF]} << 48) | (uint64_t{Reverse16[(x >> 16) & 0xFFFF]} << 32) |
         (uint64_t{Reverse16[(x >> 32) & 0xFFFF]} << 16) | uint64_t{Reverse16[x >> 48]};
}

bool HasBitboardForm(int variant) {
  if (variant < 1 || variant > kVariantCount) return false;
  switch (VariantTable[variant].compute.BoardSize) {
    case 32:
    case 40:
    case 50:
    case 64:
      return true;
    default:
      return false;
  }
}

void FlipBits64(uint64_t& x, int variant) {
  assert(HasBitboardForm(variant));
  x = RotateBits64(x, VariantTable[variant].BitBoardRevShift);
}

void FlipBitBoard(TBitBoard64& bb, int variant) {
  assert(HasBitboardForm(variant));
  bb = FlippedBitBoard(bb, VariantTable[variant].BitBoardRevShift);
}

namespace {

// Square-to-bit table of a size, or nullptr for the 64-square board (bit s-1)
// and for sizes without a layout (`ok` false).
const uint8_t* SquareToBit(int size, bool& ok) {
  ok = true;
  switch (size) {
    case 32:
      return SquareToBit32.data();
    case 40:
      return SquareToBit40.data();
    case 50:
      return SquareToBit50.data();
    case 64:
      return nullptr;
    default:
      ok = false;
      return nullptr;
  }
}

}  // namespace

void BoardToBit64(const TBoard& board, TBitBoard64& bb, int variant) {
  bb = TBitBoard64{};
  if (!HasBitboardForm(variant)) return;
  const int size = VariantTable[variant].compute.BoardSize;
  bool ok;
  const uint8_t* table = SquareToBit(size, ok);
  for (int s = 1; s <= size; ++s) {
    const int8_t c = board.b[s];
    if (c == kEmpty) continue;
    const uint64_t bit = uint64_t{1} << (table ? table[s] : s - 1);
    if (c > 0)
      bb.w |= bit;
    else
      bb.b |= bit;
    if (c == kWhiteKing || c == kBlackKing) bb.k |= bit;
  }
  assert(((bb.w | bb.b) & ~VariantTable[variant].BitBoardGood64) == 0);
}

void Bit64toBoard(const TBitBoard64& bb, TBrd& cells, int variant) {
  cells.fill(0);
  if (!HasBitboardForm(variant)) return;
  const TGameParams& p = VariantTable[variant];
  assert(((bb.w | bb.b | bb.k) & ~p.BitBoardGood64) == 0);
  assert((bb.w & bb.b) == 0 && (bb.k & ~(bb.w | bb.b)) == 0);
  const uint8_t* bitToSquare = nullptr;
  switch (p.compute.BoardSize) {
    case 32:
      bitToSquare = BitToSquare32.data();
      break;
    case 40:
      bitToSquare = BitToSquare40.data();
      break;
    case 50:
      bitToSquare = BitToSquare50.data();
      break;
    default:
      break;
  }
  for (uint64_t pieces = (bb.w | bb.b) & p.BitBoardGood64; pieces; pieces &= pieces - 1) {
    const int bit = __builtin_ctzll(pieces);
    const int s = bitToSquare ? bitToSquare[bit] : bit + 1;
    if (s == 0) continue;
    const uint64_t m = uint64_t{1} << bit;
    const bool king = bb.k & m;
    cells[s] = (bb.w & m) ? (king ? kWhiteKing : kWhiteMan) : (king ? kBlackKing : kBlackMan);
  }
}

void removedoublemoves0(uint8_t& count, TMvs& list, const TBoard& board, const TGameParams& params) {
  for (int i = 1; i < count; ++i) {
    TBoard first = board;
    ApplyMove(list[i], first, params);
    for (int j = i + 1; j <= count;) {
      TBoard other = board;
      ApplyMove(list[j], other, params);
      if (other.b == first.b) {
        list[j] = list[count];
        --count;
      } else {
        ++j;
      }
    }
  }
}

// --- TRandom -----------------------------------------------------------------

namespace {
uint64_t SplitMix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
inline uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
}  // namespace

void TRandom::Seed(uint64_t seed) {
  for (uint64_t& s : s_) s = SplitMix64(seed);
}

uint64_t TRandom::Next() {
  const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
  const uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = Rotl(s_[3], 45);
  return result;
}

uint32_t TRandom::Below(uint32_t n) {
  if (n == 0) return 0;
  // Multiply-shift with rejection of the few values that would bias the result.
  uint64_t m = (Next() >> 32) * n;
  uint32_t low = static_cast<uint32_t>(m);
  if (low < n) {
    const uint32_t threshold = static_cast<uint32_t>(-n) % n;
    while (low < threshold) {
      m = (Next() >> 32) * n;
      low = static_cast<uint32_t>(m);
    }
  }
  return static_cast<uint32_t>(m >> 32);
}

TRandom& ThreadRandom() {
  thread_local TRandom rng([] {
    std::random_device rd;
    return (uint64_t{rd()} << 32) ^ rd() ^ std::hash<std::thread::id>{}(std::this_thread::get_id());
  }());
  return rng;
}

// --- GeneratePosition ----------------------------------------------------------

namespace {

// Puts `n` pieces of `code` on free squares lo..hi, each uniformly among the
// squares still free there (the same law as drawing until a free square comes).
void Scatter(TBrd& cells, int n, int8_t code, int lo, int hi, TRandom& rng) {
  for (int i = 0; i < n; ++i) {
    int free = 0;
    for (int s = lo; s <= hi; ++s) free += cells[s] == kEmpty;
    int pick = static_cast<int>(rng.Below(static_cast<uint32_t>(free)));
    for (int s = lo; s <= hi; ++s) {
      if (cells[s] != kEmpty) continue;
      if (pick-- == 0) {
        cells[s] = code;
        break;
      }
    }
  }
}

bool Fail(TBrd& cells, std::string* error, const std::string& why) {
  cells.fill(0);
  if (error) *error = why;
  return false;
}

}  // namespace

bool GeneratePosition(uint8_t whiteMen, uint8_t blackMen, uint8_t whiteKings, uint8_t blackKings, TBrd& cells,
                      bool ownHalf, bool whiteNoCapture, bool blackNoCapture, const TGameParams& params,
                      TRandom& rng, std::string* error) {
  const int size = params.compute.BoardSize;
  const int w = params.compute.BoardWidthReal;
  const bool checkered = params.BoardCheckered;
  if (size < 1 || size > kMaxSquares || w < 1 || size < 2 * w)
    return Fail(cells, error, "the board of " + params.Name + " has no room for a position");

  // Squares the men may stand on.
  const int whiteLo = checkered ? 1 : w + 1;
  const int whiteHi =
      whiteLo - 1 + (ownHalf ? size / 2 - (checkered ? 0 : w) : size - (checkered ? w : 2 * w));
  const int blackLo = ownHalf ? size / 2 + 1 : w + 1;
  const int blackHi = checkered ? size : size - w;
  const int whiteRoom = whiteHi >= whiteLo ? whiteHi - whiteLo + 1 : 0;
  const int blackRoom = blackHi >= blackLo ? blackHi - blackLo + 1 : 0;
  int menRoom = 0;
  for (int s = 1; s <= size; ++s) menRoom += (s >= whiteLo && s <= whiteHi) || (s >= blackLo && s <= blackHi);

  auto text = [](int n, const char* what) { return std::to_string(n) + " " + what; };
  if (whiteMen > whiteRoom)
    return Fail(cells, error,
                text(whiteMen, "white men") + " do not fit on the " + std::to_string(whiteRoom) +
                    " squares white men may stand on");
  if (blackMen > blackRoom)
    return Fail(cells, error,
                text(blackMen, "black men") + " do not fit on the " + std::to_string(blackRoom) +
                    " squares black men may stand on");
  if (whiteMen + blackMen > menRoom)
    return Fail(cells, error,
                text(whiteMen + blackMen, "men") + " do not fit on the " + std::to_string(menRoom) +
                    " squares men may stand on");
  const int total = whiteMen + blackMen + whiteKings + blackKings;
  if (total > size)
    return Fail(cells, error,
                text(total, "pieces") + " do not fit on the " + std::to_string(size) + " squares");
  if (whiteMen + whiteKings == 0 || blackMen + blackKings == 0)
    return Fail(cells, error, "each side needs at least one piece to be able to move");

  TBoard board;
  auto list = std::make_unique<TMvs>();
  for (int attempt = 0; attempt < kGeneratePositionAttempts; ++attempt) {
    board = TBoard{};
    TBrd& c = board.b;
    Scatter(c, whiteMen, kWhiteMan, whiteLo, whiteHi, rng);
    Scatter(c, blackMen, kBlackMan, blackLo, blackHi, rng);
    Scatter(c, whiteKings, kWhiteKing, 1, size, rng);
    Scatter(c, blackKings, kBlackKing, 1, size, rng);
    uint8_t n = 0;
    GenerateMoves(board, 0, *list, n, params, true);
    if (n == 0 || (whiteNoCapture && (*list)[1].lt > 0)) continue;
    GenerateMoves(board, 1, *list, n, params, true);
    if (n == 0 || (blackNoCapture && (*list)[1].lt > 0)) continue;
    cells = c;
    if (error) error->clear();
    return true;
  }
  return Fail(cells, error,
              "no " + params.Name + " position with these pieces where both sides can move" +
                  (whiteNoCapture || blackNoCapture ? " without capturing" : "") + " was found in " +
                  std::to_string(kGeneratePositionAttempts) + " tries");
}

bool GeneratePosition(uint8_t whiteMen, uint8_t blackMen, uint8_t whiteKings, uint8_t blackKings, TBrd& cells,
                      bool ownHalf, bool whiteNoCapture, bool blackNoCapture, const TGameParams& params,
                      std::string* error) {
  return GeneratePosition(whiteMen, blackMen, whiteKings, blackKings, cells, ownHalf, whiteNoCapture,
                          blackNoCapture, params, ThreadRandom(), error);
}

// --- Symmetries ------------------------------------------------------------------

void SwapColours(TBrd& cells, const TGameParams& params) {
  const int size = params.compute.BoardSize;
  for (int i = 1; i <= size / 2; ++i) {
    const int j = size + 1 - i;
    const int8_t a = cells[i];
    cells[i] = static_cast<int8_t>(-cells[j]);
    cells[j] = static_cast<int8_t>(-a);
  }
  if (size % 2 == 1) cells[size / 2 + 1] = static_cast<int8_t>(-cells[size / 2 + 1]);
}

bool MirrorBoard(const TBrd& cells, const TGameParams& params, TBrd& mirrored) {
  mirrored = cells;
  if (params.BoardCheckered) return false;
  const int width = params.BoardWidth;
  for (int r = 0; r < params.BoardHeight; ++r)
    for (int c = 0; c < width / 2; ++c) {
      const int a = width * r + c + 1, b = width * (r + 1) - c;
      if (b > kMaxSquares) continue;
      std::swap(mirrored[a], mirrored[b]);
    }
  return true;
}

bool CanonicalMirror(const TBoard& board, const TGameParams& params, TBoard& result) {
  TBrd mirrored;
  if (!MirrorBoard(board.b, params, mirrored)) {
    result = board;
    return true;
  }
  const int size = params.compute.BoardSize;
  bool keep = true;
  for (int s = 1; s <= size; ++s)
    if (board.b[s] != mirrored[s]) {
      keep = board.b[s] < mirrored[s];
      break;
    }
  result = board;
  if (!keep) result.b = mirrored;
  return keep;
}

// --- Game lines ----------------------------------------------------------------------

TBoard PositionOfLine(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params) {
  TBoard board = start;
  for (const TMove* m : line)
    if (m) ApplyMove(*m, board, params);
  return board;
}

TBoard PositionOfLine(const TBoard& start, std::span<const TMove> line, const TGameParams& params) {
  TBoard board = start;
  for (const TMove& m : line) ApplyMove(m, board, params);
  return board;
}

}  // namespace quorlin
