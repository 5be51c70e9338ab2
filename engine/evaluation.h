#pragma once
// Static evaluation: the weights of one game stage (their .evf text file is
// read and written by evalfile.h), the tables derived from them, the bitboard
// evaluation count64bit40, the array-board evaluation count, and the
// win/draw/loss classification.
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bits.h"
#include "engine/network.h"
#include "engine/scores.h"
#include "rules/board.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {

// In B.w squares that must hold men of the side to move, in B.b men of the
// opponent, in B.k empty playing squares. Kings never satisfy a pattern.
struct TPattern {
  TBitBoard64 B;
  int32_t value = 0;
};

using TEvalFuncFields = std::array<int32_t, 64>;  // by bit number
using TEvalFunc32b = std::array<int32_t, 2048>;   // eight byte tables of 256 entries
using TSquareWeights = std::array<int32_t, 129>;  // by square number 1..128 (0 unused)

struct TEvalFuncStatic {
  std::string Name;
  uint8_t Version = 0;   // kArrayBoardVersion: per-square weights; kBitboardVersion: patterns
  bool Turkish = false;  // with patterns: every pattern read is also added mirrored
  bool UseNN = false;    // evaluated by Net
  MyTNNet Net;
  TSquareWeights FieldsWS{}, FieldsWK{}, FieldsBS{}, FieldsBK{}, FieldsClr{};
  // Derived by CompileEvf.
  TEvalFuncFields WhiteFields{}, BlackFields{}, ClearFields{};
  TEvalFunc32b w{}, b{}, c{};
  std::vector<TPattern> Patt;      // Size entries in use; the vector's length is the capacity
  std::vector<TPattern> RealPatt;  // derived: multi-square patterns with a value; RealSize in use
  bool Squeeze = false;
  int32_t Size = 0;
  int32_t RealSize = 0;
  int32_t ManValue = 0;
  int32_t KingValue = 0;
  int32_t QuantityType = 0;
  int32_t QuantityBonus = 0;
  int32_t SideBalanceMain = 0;
  int32_t SideBalanceExt = 0;
  int32_t KingsMain = 0;
  int32_t KingsDouble = 0;
  int32_t KingsTriple = 0;
  int32_t KingsTurAH = 0;
  int32_t KingsTur2nd4 = 0;
  int32_t KingsTur2nd35 = 0;
  int32_t SideToMove = 0;
  float QuantityMul = 0;
  float EDMinDraw = 0;
  float EDMaxDraw = 0;
  float Compress = 0;
};

// What count64bit40 needs from the engine that calls it.
struct TEvalContext {
  int TypeOfGame = 0;                      // the variant (slot of VariantTable)
  bool Giveaway = false;                   // the engine plays to lose its pieces
  std::atomic<int64_t>* PstCnt = nullptr;  // positions evaluated; may be null
  // The variant record to read (the engine's copy for its search, which no
  // settings change reaches); null reads VariantTable[TypeOfGame].
  const TGameParams* Params = nullptr;
};

// King-placement and flank masks of one board size (all zero for a size
// without such terms), in the bit layout of the variant.
struct TEvalBoardMasks {
  uint64_t kingsMain = 0, kingsDouble1 = 0, kingsDouble2 = 0, kingsTriple1 = 0, kingsTriple2 = 0;
  uint64_t m1 = 0, m2 = 0, e1 = 0, e2 = 0;
};
const TEvalBoardMasks& EvalBoardMasks(int squares);
// Rows and edge files of the 64-square board for its king terms.
constexpr uint64_t kRow0 = 0x00000000000000FF, kRow1 = 0x000000000000FF00;
constexpr uint64_t kRow6 = 0x00FF000000000000, kRow7 = 0xFF00000000000000;
constexpr uint64_t kFilesAH = 0x8181818181818181;

// Compresses a score into ±kMaxEvaluation: the first 5 men at full weight,
// the next 5 at half, the next 5 at a quarter, the rest dropped.
float SoftClamp(float x);

// Weights a weights file starts from: a man is worth 100; a king 450 on boards
// that are not checkered, 300 where kings fly, 200 elsewhere.
constexpr int32_t kDefaultManValue = 100;
int32_t DefaultKingValue(const TGameParams& params);

// Bitboard evaluation of `bd`, whose side to move is `w`, at ply `dep`.
float count64bit40(const TBitBoard64& bd, uint8_t dep, const TEvalFuncStatic& evalFunc,
                   const TEvalContext& ctx);

// Array-board evaluation for side `col` with per-square weights.
float count(TDColor col, const TBoard& bd, uint8_t dep, bool giveaway, const TEvalFuncStatic& f,
            const TGameParams& gameParams, std::atomic<int64_t>* pstCnt = nullptr);

// -1, 0 or +1 by the thresholds EDMinDraw and EDMaxDraw.
int16_t count64bit_eb(const TBitBoard64& bd, const TEvalFuncStatic& evalFunc, const TEvalContext& ctx);

// Builds WhiteFields, BlackFields, ClearFields, RealPatt and the byte tables.
void CompileEvf(TEvalFuncStatic& evf);

// Adds a pattern unless one with the same three bitboards is there already.
void AddPattern(TEvalFuncStatic& evf, const TPattern& p);

// Reverses the bits of every byte (on the 64-square board: left-right mirror).
TBitBoard64 MirrorRows(const TBitBoard64& bb);
// The smaller of a board and its mirror (w, then b, then k as signed numbers).
TBitBoard64 CanonicalMirror64(const TBitBoard64& bb);

}  // namespace quorlin
