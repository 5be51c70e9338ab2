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
      return int64_t{f.KingsMain} * BitCount(kings & kRow0) +
             int64_t{f.KingsDouble} * BitCount(kings & kRow7) +
             int64_t{f.KingsTurAH} * BitCount(kings & kFilesAH) +
             int64_t{f.KingsTriple} * BitCount(kings & kRow1);
    return int64_t{f.KingsMain} * BitCount(kings & kRow7) +
           int64_t{f.KingsTurAH} * BitCount(kings & kFilesAH) +
           int64_t{f.KingsDouble} * BitCount(kings & kRow0) +
           int64_t{f.KingsTriple} * BitCount(kings & kRow6);
  }
  return 0;
}

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

std::string Hex16(uint64_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) s[i] = kDigits[v & 0xF];
  return s;
}

bool ParseHex64(const std::string& t, uint64_t& v) {
  if (t.empty() || t.size() > 16) return false;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 16);
  return ec == std::errc() && p == t.data() + t.size();
}

// Cuts the first token off `rest` at its first space.
std::string NextToken(std::string& rest) {
  const size_t space = rest.find(' ');
  std::string token = rest.substr(0, space);
  rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
  return token;
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
  if (bd.w == 0) return ctx.Giveaway ? 2001.0f - dep : dep - 2001.0f;

  const TGameParams& gp = ctx.Params ? *ctx.Params : VariantParams(ctx.TypeOfGame);
  const uint64_t wm = bd.w & ~bd.k, wk = bd.w & bd.k, bm = bd.b & ~bd.k, bk = bd.b & bd.k;
  const uint64_t empty = gp.BitBoardGood64 & ~(bd.w | bd.b);
  const int squares = gp.compute.BoardSize;
  const int n = BitCount(bd.w | bd.b);

  const int nWK = BitCount(wk), nBK = BitCount(bk);
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
    int p = BitCount(wm & x1), q = BitCount(wm & x2);
    if (p != q) {
      const int d = std::abs(p - q);
      if (d >= 2)
        aOwn += int64_t{d} * weight;
      else if (p > q && squares != 64)
        aOwn += weight;
    }
    p = BitCount(bm & x1), q = BitCount(bm & x2);
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
    const int r = BitCount(bd.w & kRow1);
    if (r == 4)
      aOwn += f.KingsTur2nd4;
    else if (r == 3 || r == 5)
      aOwn += f.KingsTur2nd35;
    const int r2 = BitCount(bd.b & kRow6);
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
  const auto sum = static_cast<int32_t>(static_cast<uint32_t>(aOwn + aOpp + kOwn - kOpp + aEmpty + patterns));
  float raw = static_cast<float>(sum) + static_cast<float>(f.SideToMove);

  if (dep % 2 == 0) {
    const int32_t bonus = f.QuantityBonus * n;
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
                          BitCount(wm) + BitCount(bm)) /
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
  int32_t raw =
      static_cast<int32_t>(static_cast<uint32_t>(col == TDColor::white ? white - black : black - white));
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
    if (BitCount(p.B.w) + BitCount(p.B.b) + BitCount(p.B.k) == 1) {
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
  for (int k = 0; k < 8; ++k)
    for (int v = 0; v < 256; ++v) {
      int32_t sw = 0, sb = 0, sc = 0;
      for (int j = 0; j < 8; ++j)
        if (v & (1 << j)) {
          sw += evf.WhiteFields[8 * k + j] + evf.ManValue;
          sb += evf.BlackFields[8 * k + j] - evf.ManValue;
          sc += evf.ClearFields[8 * k + j];
        }
      evf.w[256 * k + v] = sw;
      evf.b[256 * k + v] = sb;
      evf.c[256 * k + v] = sc;
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

bool LoadEvf(const std::filesystem::path& path, TEvalFuncStatic& evf, int variant) {
  // Read into a copy so that a bad file leaves the caller's weights intact.
  TEvalFuncStatic e = evf;
  const TGameParams& gp = VariantParams(variant);
  e.Size = 0;
  e.Turkish = false;
  e.Version = 211;
  e.UseNN = false;
  e.QuantityBonus = 0;
  e.QuantityType = 0;
  e.QuantityMul = 0;
  e.ManValue = 100;
  e.KingValue = !gp.BoardCheckered ? 450 : gp.FlyingKing ? 300 : 200;
  e.FieldsWS.fill(0);
  e.FieldsWK.fill(0);
  e.FieldsBS.fill(0);
  e.FieldsBK.fill(0);

  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    evf = std::move(e);
    return false;
  }
  if (path.extension() == ".mynn") {
    e.UseNN = true;
    LoadNet(path, e.Net);
    evf = std::move(e);
    return true;
  }

  const std::vector<std::string> lines = ReadTextLines(path);
  int lineNo = 0;
  std::string tag, value;
  auto fail = [&](const std::string& expected) {
    throw TFileError(path, lineNo, tag, "\"" + value + "\" is not " + expected);
  };
  auto integer = [&](int32_t& field) {
    if (!ParseInteger(value, field)) fail("a whole number");
  };
  auto boolean = [&](bool& field) {
    if (!ParseBoolean(value, field)) fail("True, False or a number");
  };
  auto single = [&](float& field) {
    if (!ParseSingle(value, field)) fail("a number with \".\" as decimal separator");
  };
  auto square = [&](TSquareWeights& table) {
    const size_t space = value.find(' ');
    const std::string indexText = value.substr(0, space);
    const std::string weightText =
        space == std::string::npos ? std::string() : TrimText(value.substr(space + 1));
    int32_t index, weight;
    if (!ParseInteger(indexText, index))
      throw TFileError(path, lineNo, tag, "square index \"" + indexText + "\" is not a whole number");
    if (index < 1 || index > kMaxSquares) return;
    if (!ParseInteger(weightText, weight))
      throw TFileError(path, lineNo, tag, "weight \"" + weightText + "\" is not a whole number");
    table[index] = weight;
  };
  auto mask = [&] {
    std::string rest = value;
    TPattern p;
    const char* names[3] = {"w", "b", "k"};
    uint64_t* parts[3] = {&p.B.w, &p.B.b, &p.B.k};
    for (int i = 0; i < 3; ++i) {
      const std::string t = NextToken(rest);
      if (!ParseHex64(t, *parts[i]))
        throw TFileError(path, lineNo, tag,
                         std::string("bitboard ") + names[i] + " \"" + t +
                             "\" is not a hexadecimal number of at most 16 digits");
    }
    const std::string t = NextToken(rest);
    if (!ParseInteger(t, p.value))
      throw TFileError(path, lineNo, tag, "pattern value \"" + t + "\" is not a whole number");
    AddPattern(e, p);
    if (e.Version == 40 && e.Turkish)
      AddPattern(e, TPattern{MirrorRows(e.Patt[e.Size - 1].B), e.Patt[e.Size - 1].value});
  };

  for (const std::string& line : lines) {
    ++lineNo;
    SplitCommentedTagLine(line, tag, value);
    switch (MatchTagPrefix(
        tag,
        {"ManValue",    "KingValue",    "SideBalanceMain", "SideBalanceExt", "QuantityBonus", "QuantityType",
         "QuantityMul", "Compress",     "Squeeze",         "KingsMain",      "KingsDouble",   "KingsTriple",
         "KingsTurAH",  "KingsTur2nd4", "KingsTur2nd35",   "EDMinDraw",      "EDMaxDraw",     "SideToMove",
         "Version",     "Turkish",      "FieldsWS",        "FieldsBS",       "FieldsWK",      "FieldsBK",
         "FieldsClr",   "Mask"})) {
      case 0:
        integer(e.ManValue);
        break;
      case 1:
        integer(e.KingValue);
        break;
      case 2:
        integer(e.SideBalanceMain);
        break;
      case 3:
        integer(e.SideBalanceExt);
        break;
      case 4:
        integer(e.QuantityBonus);
        break;
      case 5:
        integer(e.QuantityType);
        break;
      case 6:
        single(e.QuantityMul);
        break;
      case 7:
        single(e.Compress);
        break;
      case 8:
        boolean(e.Squeeze);
        break;
      case 9:
        integer(e.KingsMain);
        break;
      case 10:
        integer(e.KingsDouble);
        break;
      case 11:
        integer(e.KingsTriple);
        break;
      case 12:
        integer(e.KingsTurAH);
        break;
      case 13:
        integer(e.KingsTur2nd4);
        break;
      case 14:
        integer(e.KingsTur2nd35);
        break;
      case 15:
        single(e.EDMinDraw);
        break;
      case 16:
        single(e.EDMaxDraw);
        break;
      case 17:
        integer(e.SideToMove);
        break;
      case 18: {
        int32_t v;
        integer(v);
        e.Version = static_cast<uint8_t>(v);
        break;
      }
      case 19:
        boolean(e.Turkish);
        break;
      case 20:
        square(e.FieldsWS);
        break;
      case 21:
        square(e.FieldsBS);
        break;
      case 22:
        square(e.FieldsWK);
        break;
      case 23:
        square(e.FieldsBK);
        break;
      case 24:
        square(e.FieldsClr);
        break;
      case 25:
        mask();
        break;
      default:
        break;  // unknown tags are ignored
    }
  }
  CompileEvf(e);
  evf = std::move(e);
  return true;
}

std::filesystem::path SaveEvf(const std::filesystem::path& path, const TEvalFuncStatic& evf) {
  if (evf.UseNN) {
    std::filesystem::path netPath = path;
    netPath.replace_extension(".mynn");
    SaveNet(netPath, evf.Net);
    return netPath;
  }
  std::string out;
  auto integer = [&](const char* key, int64_t v) { out += TagLine(key, std::to_string(v)); };
  auto single = [&](const char* key, float v) { out += TagLine(key, FormatSingle(v)); };
  auto boolean = [&](const char* key, bool v) { out += TagLine(key, FormatBoolean(v)); };
  integer("Version", evf.Version);
  boolean("Turkish", evf.Turkish);
  integer("ManValue", evf.ManValue);
  integer("KingValue", evf.KingValue);
  integer("SideBalanceMain", evf.SideBalanceMain);
  integer("SideBalanceExt", evf.SideBalanceExt);
  integer("QuantityBonus", evf.QuantityBonus);
  integer("QuantityType", evf.QuantityType);
  single("QuantityMul", evf.QuantityMul);
  single("Compress", evf.Compress);
  boolean("Squeeze", evf.Squeeze);
  integer("KingsMain", evf.KingsMain);
  integer("KingsDouble", evf.KingsDouble);
  integer("KingsTriple", evf.KingsTriple);
  integer("KingsTurAH", evf.KingsTurAH);
  integer("KingsTur2nd4", evf.KingsTur2nd4);
  integer("KingsTur2nd35", evf.KingsTur2nd35);
  single("EDMinDraw", evf.EDMinDraw);
  single("EDMaxDraw", evf.EDMaxDraw);
  integer("SideToMove", evf.SideToMove);
  if (evf.Version == 211) {
    for (int i = 1; i <= kMaxSquares; ++i) {
      const std::string index = std::to_string(i) + " ";
      out += TagLine("FieldsWS", index + std::to_string(evf.FieldsWS[i]));
      out += TagLine("FieldsBS", index + std::to_string(evf.FieldsBS[i]));
      out += TagLine("FieldsWK", index + std::to_string(evf.FieldsWK[i]));
      out += TagLine("FieldsBK", index + std::to_string(evf.FieldsBK[i]));
      out += TagLine("FieldsClr", index + std::to_string(evf.FieldsClr[i]));
    }
  } else {
    const size_t size = std::min<size_t>(std::max(evf.Size, 0), evf.Patt.size());
    for (size_t i = 0; i < size; ++i) {
      const TPattern& p = evf.Patt[i];
      out += TagLine("Mask",
                     Hex16(p.B.w) + " " + Hex16(p.B.b) + " " + Hex16(p.B.k) + " " + std::to_string(p.value));
    }
  }
  WriteTextFile(path, out);
  return path;
}

}  // namespace quorlin
