#include "engine/evaluation.h"

#include <charconv>
#include <cmath>

#include "engine/textfile.h"
#include "rules/tables.h"

namespace quorlin {

namespace {

constexpr TEvalBoardMasks kMasks32{0x0000041041041041, 0x0000000210842108, 0x0000008421084200,
                                   0x0000020820820800, 0x0000000082082082, 0x0000018630C618C3,
                                   0x00000618C318630C, 0x0000018E31C638C7, 0x00000718E31C638C};
constexpr TEvalBoardMasks kMasks40{
    0, 0, 0, 0, 0, 0x0000018E31C638C7, 0x00000E31C638C718, 0x0000038E71CE39C7, 0x00000E39C738E71C};
constexpr TEvalBoardMasks kMasks50{0x0041041041041041, 0x0000108421084210, 0x0004210842108400,
                                   0x0020820820820800, 0x0000082082082082, 0x000C718E31C638C7,
                                   0x00718E31C638C718, 0x001C738E71CE39C7, 0x0071CE39C738E71C};
constexpr TEvalBoardMasks kMasks64{
    0, 0, 0, 0, 0, 0x0F0F0F0F0F0F0F0F, 0xF0F0F0F0F0F0F0F0, 0x1F1F1F1F1F1F1F1F, 0xF8F8F8F8F8F8F8F8};
constexpr TEvalBoardMasks kNoMasks{};

// King-placement terms of one side (own = the side to move).
int64_t KingPlacement(const TEvalFuncStatic& f, int squares, uint64_t kings, bool own) {
  if (squares == 32 || squares == 50) {
    const TEvalBoardMasks& m = EvalBoardMasks(squares);
    int64_t t = 0;
    if (kings & m.kingsMain) t += f.KingsMain;
    if (kings & m.kingsDouble1) t += f.KingsDouble;
    if (kings & m.kingsDouble2) t += f.KingsDouble;
    if (kings & m.kingsTriple1) t += f.KingsTriple;
    if (kings & m.kingsTriple2) t += f.KingsTriple;
    return t;
  }
  if (squares == 64) {
    if (own)
      return int64_t{f.KingsMain} * PopCount(kings & kRow0) +
             int64_t{f.KingsDouble} * PopCount(kings & kRow7) +
             int64_t{f.KingsTurAH} * PopCount(kings & kFilesAH) +
             int64_t{f.KingsTriple} * PopCount(kings & kRow1);
    return int64_t{f.KingsMain} * PopCount(kings & kRow7) +
           int64_t{f.KingsTurAH} * PopCount(kings & kFilesAH) +
           int64_t{f.KingsDouble} * PopCount(kings & kRow0) +
           int64_t{f.KingsTriple} * PopCount(kings & kRow6);
  }
  return 0;
}

// A wide sum as the 32-bit integer it wraps to.
inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

inline int64_t ByteTableSum(const TEvalFunc32b& table, uint64_t set) {
  int64_t s = 0;
  for (int k = 0; k < 8; ++k) s += table[256 * k + ((set >> (8 * k)) & 0xFF)];
  return s;
}

const TGameParams& VariantParams(int variant) {
  return VariantTable[variant >= 0 && variant <= kVariantCount ? variant : 0];
}

uint64_t ReverseBytes(uint64_t x) {
  uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r |= static_cast<uint64_t>(Reverse8[(x >> (8 * i)) & 0xFF]) << (8 * i);
  return r;
}

}  // namespace

const TEvalBoardMasks& EvalBoardMasks(int squares) {
  switch (squares) {
    case 32:
      return kMasks32;
    case 40:
      return kMasks40;
    case 50:
      return kMasks50;
    case 64:
      return kMasks64;
    default:
      return kNoMasks;
  }
}

int32_t DefaultKingValue(const TGameParams& params) {
  return !params.BoardCheckered ? 450 : params.FlyingKing ? 300 : 200;
}

float SoftClamp(float x) {
  const float sign = (x > 0 || std::isnan(x)) ? 1.0f : -1.0f;
  float a = std::isnan(x) ? INFINITY : std::fabs(x);
  float sum = 0, divisor = 1;
  for (;;) {
    const float e = std::min(a, 5.0f);
    sum += e / divisor;
    divisor *= 2;
    a -= e;
    if (a <= 0 || divisor > e) break;
  }
  return sum == 0 ? 0.0f : sign * sum;
}

float count64bit40(const TBitBoard64& bd, uint8_t dep, const TEvalFuncStatic& f, const TEvalContext& ctx) {
  if (ctx.PstCnt) ctx.PstCnt->fetch_add(1, std::memory_order_relaxed);
  if (f.UseNN) {
    const float v = NetEvaluate(bd, f.Net);
    const float shift = dep / 100.0f;
    return v >= 0 ? v - shift : v + shift;
  }
  if (bd.w == 0) return NoMoveScore(dep, ctx.Giveaway);

  const TGameParams& gp = ctx.Params ? *ctx.Params : VariantParams(ctx.TypeOfGame);
  const uint64_t wm = bd.w & ~bd.k, wk = bd.w & bd.k, bm = bd.b & ~bd.k, bk = bd.b & bd.k;
  const uint64_t empty = gp.BitBoardGood64 & ~(bd.w | bd.b);
  const int squares = gp.compute.BoardSize;
  const int n = PopCount(bd.w | bd.b);

  const int nWK = PopCount(wk), nBK = PopCount(bk);
  int64_t kOwn = int64_t{nWK} * f.KingValue, kOpp = int64_t{nBK} * f.KingValue;
  if (gp.FlyingKing) {
    if (nWK > 0) kOwn += KingPlacement(f, squares, wk, true);
    if (nBK > 0) kOpp += KingPlacement(f, squares, bk, false);
  }

  int64_t aOwn = ByteTableSum(f.w, wm), aOpp = ByteTableSum(f.b, bm);
  const int64_t aEmpty = ByteTableSum(f.c, empty);

  const TEvalBoardMasks& masks = EvalBoardMasks(squares);
  auto flank = [&](int32_t weight, uint64_t x1, uint64_t x2) {
    if (weight == 0) return;
    int p = PopCount(wm & x1), q = PopCount(wm & x2);
    if (p != q) {
      const int d = std::abs(p - q);
      if (d >= 2)
        aOwn += int64_t{d} * weight;
      else if (p > q && squares != 64)
        aOwn += weight;
    }
    p = PopCount(bm & x1), q = PopCount(bm & x2);
    if (p != q) {
      const int d = std::abs(p - q);
      if (d >= 2)
        aOpp -= int64_t{d} * weight;
      else if (p < q && squares != 64)
        aOpp -= weight;
    }
  };
  flank(f.SideBalanceMain, masks.m1, masks.m2);
  flank(f.SideBalanceExt, masks.e1, masks.e2);

  if (ctx.TypeOfGame == kTurkish && n == 32) {
    const int r = PopCount(bd.w & kRow1);
    if (r == 4)
      aOwn += f.KingsTur2nd4;
    else if (r == 3 || r == 5)
      aOwn += f.KingsTur2nd35;
    const int r2 = PopCount(bd.b & kRow6);
    if (r2 == 4)
      aOpp -= f.KingsTur2nd4;
    else if (r2 == 3 || r2 == 5)
      aOpp -= f.KingsTur2nd35;
  }

  // Whether a pattern matches is unpredictable, so the sum avoids a branch.
  int64_t patterns = 0;
  const size_t realSize = std::min<size_t>(std::max(f.RealSize, 0), f.RealPatt.size());
  for (size_t i = 0; i < realSize; ++i) {
    const TPattern& p = f.RealPatt[i];
    const bool match = ((p.B.w & ~wm) | (p.B.b & ~bm) | (p.B.k & ~empty)) == 0;
    patterns += match ? p.value : 0;
  }

  // The sum is a 32-bit integer (wrapping like one) before it becomes a Single.
  const int32_t sum = Wrap32(aOwn + aOpp + kOwn - kOpp + aEmpty + patterns);
  float raw = static_cast<float>(sum) + static_cast<float>(f.SideToMove);

  if (dep % 2 == 0) {
    const int32_t bonus = Wrap32(int64_t{f.QuantityBonus} * n);
    switch (f.QuantityType) {
      case 1:
        raw += bonus;
        break;
      case 2:
        if (raw < 0) raw += bonus;
        break;
      case 3:
        raw += static_cast<float>(int64_t{dep} * bonus) * f.QuantityMul;
        break;
      default:
        break;
    }
  }

  float score = raw / static_cast<float>(f.ManValue);
  if (f.Squeeze) {
    const float factor = ((nWK + nBK) * (static_cast<float>(f.KingValue) / static_cast<float>(f.ManValue)) +
                          PopCount(wm) + PopCount(bm)) /
                         static_cast<float>(n);
    score = factor == 0 ? 0.0f : score / factor;
  }
  score = SoftClamp(score);
  if (f.Compress != 0) score = std::nearbyint(score / f.Compress) * f.Compress;
  return score;
}

float count(TDColor col, const TBoard& bd, uint8_t, bool giveaway, const TEvalFuncStatic& f,
            const TGameParams& gameParams, std::atomic<int64_t>* pstCnt) {
  if (pstCnt) pstCnt->fetch_add(1, std::memory_order_relaxed);
  int64_t white = 0, black = 0;
  const int size = std::min<int>(gameParams.compute.BoardSize, kMaxSquares);
  for (int s = 1; s <= size; ++s) {
    switch (bd.b[s]) {
      case kWhiteMan:
        white += int64_t{f.FieldsWS[s]} + f.ManValue;
        break;
      case kWhiteKing:
        white += int64_t{f.FieldsWK[s]} + f.KingValue;
        break;
      case kBlackMan:
        black += int64_t{f.FieldsBS[s]} + f.ManValue;
        break;
      case kBlackKing:
        black += int64_t{f.FieldsBK[s]} + f.KingValue;
        break;
      default:
        break;
    }
  }
  if (col == TDColor::white)
    white += f.SideToMove;
  else
    black += f.SideToMove;
  int32_t raw = Wrap32(col == TDColor::white ? white - black : black - white);
  if (giveaway) raw = static_cast<int32_t>(0u - static_cast<uint32_t>(raw));
  return SoftClamp(static_cast<float>(raw) / static_cast<float>(f.ManValue));
}

int16_t count64bit_eb(const TBitBoard64& bd, const TEvalFuncStatic& f, const TEvalContext& ctx) {
  const float v = count64bit40(bd, 0, f, ctx);
  if (!(v > f.EDMinDraw)) return -1;  // also when unordered
  if (v < f.EDMaxDraw) return 0;
  return 1;
}

void CompileEvf(TEvalFuncStatic& evf) {
  evf.WhiteFields.fill(0);
  evf.BlackFields.fill(0);
  evf.ClearFields.fill(0);
  evf.RealSize = 0;
  const size_t size = std::min<size_t>(std::max(evf.Size, 0), evf.Patt.size());
  for (size_t i = 0; i < size; ++i) {
    const TPattern& p = evf.Patt[i];
    if (PopCount(p.B.w) + PopCount(p.B.b) + PopCount(p.B.k) == 1) {
      if (p.B.w)
        evf.WhiteFields[__builtin_ctzll(p.B.w)] = p.value;
      else if (p.B.b)
        evf.BlackFields[__builtin_ctzll(p.B.b)] = p.value;
      else
        evf.ClearFields[__builtin_ctzll(p.B.k)] = p.value;
    } else if (p.value != 0) {
      if (static_cast<size_t>(evf.RealSize) >= evf.RealPatt.size()) evf.RealPatt.resize(evf.RealSize + 10);
      evf.RealPatt[evf.RealSize++] = p;
    }
  }
  // Summed wide and kept as 32-bit integers wrapping like one, as the whole
  // evaluation does: a weights file may hold any 32-bit value.
  for (int k = 0; k < 8; ++k)
    for (int v = 0; v < 256; ++v) {
      int64_t sw = 0, sb = 0, sc = 0;
      for (int j = 0; j < 8; ++j)
        if (v & (1 << j)) {
          sw += int64_t{evf.WhiteFields[8 * k + j]} + evf.ManValue;
          sb += int64_t{evf.BlackFields[8 * k + j]} - evf.ManValue;
          sc += evf.ClearFields[8 * k + j];
        }
      evf.w[256 * k + v] = Wrap32(sw);
      evf.b[256 * k + v] = Wrap32(sb);
      evf.c[256 * k + v] = Wrap32(sc);
    }
}

void AddPattern(TEvalFuncStatic& evf, const TPattern& p) {
  const size_t size = std::min<size_t>(std::max(evf.Size, 0), evf.Patt.size());
  for (size_t i = 0; i < size; ++i)
    if (evf.Patt[i].B == p.B) return;
  evf.Size = static_cast<int32_t>(size) + 1;
  if (static_cast<size_t>(evf.Size) >= evf.Patt.size()) evf.Patt.resize(evf.Size + 10);
  evf.Patt[evf.Size - 1] = p;
}

TBitBoard64 MirrorRows(const TBitBoard64& bb) {
  return {ReverseBytes(bb.w), ReverseBytes(bb.b), bb.k ? ReverseBytes(bb.k) : 0};
}

TBitBoard64 CanonicalMirror64(const TBitBoard64& bb) {
  const TBitBoard64 m = MirrorRows(bb);
  auto key = [](const TBitBoard64& x) {
    return std::array<int64_t, 3>{static_cast<int64_t>(x.w), static_cast<int64_t>(x.b),
                                  static_cast<int64_t>(x.k)};
  };
  return key(bb) > key(m) ? m : bb;
}

}  // namespace quorlin
