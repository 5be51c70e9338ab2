#include "engine/endgamedb.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <tuple>

#include "common/bits.h"
#include "common/bytes.h"
#include "engine/scores.h"
#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Geometry

TEdbGeometry EdbGeometry(int boardSize) {
  switch (boardSize) {
    case 32:
      return {32, 28, 4, 7, 1, 21};
    case 40:
      return {40, 35, 5, 6, 1, 20};
    case 50:
      return {50, 45, 5, 5, 1, 9};
    case 64:
      return {64, 48, 8, 5, 9, 0};
    default:
      return {};
  }
}

TEdbGeometry EdbGeometryOfVariant(int variant) {
  if (variant < 1 || variant > kVariantCount || variant == kCanadian) return {};
  return EdbGeometry(VariantTable[variant].compute.BoardSize);
}

int EdbSquareToBit(const TEdbGeometry& g, int square) {
  switch (g.boardSize) {
    case 32:
      return SquareToBit32[square];
    case 40:
      return SquareToBit40[square];
    case 50:
      return SquareToBit50[square];
    default:
      return square - 1;
  }
}

int EdbBitToSquare(const TEdbGeometry& g, int bit) {
  switch (g.boardSize) {
    case 32:
      return BitToSquare32[bit];
    case 40:
      return BitToSquare40[bit];
    case 50:
      return BitToSquare50[bit];
    default:
      return bit + 1;
  }
}

static uint64_t GoodMask(const TEdbGeometry& g) {
  switch (g.boardSize) {
    case 32:
      return BitBoardMask32;
    case 40:
      return BitBoardMask40;
    case 50:
      return BitBoardMask50;
    default:
      return BitBoardMask64;
  }
}

int EbBlockSize(TEbType t) { return t == ebMTW ? kMtwBlock : t == ebWDL ? kWdlBlock : kWd6Block; }

// ---------------------------------------------------------------------------
// Men configurations

namespace {

constexpr uint64_t kNoMenMarker = ~uint64_t{0};  // slot 0; never a real men mask

inline uint64_t Mix64(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

}  // namespace

void EnumerateMenSets(int menSquares, int count, const std::function<void(const int* squares)>& fn) {
  if (count <= 0 || count > menSquares) return;
  int s[16];
  for (int t = 0; t < count; ++t) s[t] = menSquares - 1 - t;
  for (;;) {
    fn(s);
    // Last position t (0-based) that can still decrease: its minimum is count-1-t.
    int t = count - 1;
    while (t >= 0 && s[t] == count - 1 - t) --t;
    if (t < 0) return;
    --s[t];
    for (int u = t + 1; u < count; ++u) s[u] = s[u - 1] - 1;
  }
}

TMaskTable::TMaskTable(const TEdbGeometry& g) : g_(g), slots_(kMaskTableSize) {
  if (!g.valid()) return;
  slots_[0] = EDBMaskRec{kNoMenMarker, 0, 0, 0, 1};
  totals_[0][0] = 1;
  uint64_t squareBit[64];
  for (int s = 0; s < g.menSquares; ++s)
    squareBit[s] = uint64_t{1} << EdbSquareToBit(g, s + g.firstMenSquare);
  auto tempsOf = [&](const int* sq, int j) {
    int temps = 0;
    for (int t = 0; t < j; ++t) temps += sq[t] / g.rowLength + 1;
    return temps;
  };
  // Records wait in a short queue between the prefetch of their slot and
  // their insertion, so that the cache misses of the random slots overlap.
  constexpr int kQueue = 16;
  EDBMaskRec queue[kQueue];
  size_t queued = 0;
  auto insert = [&](const EDBMaskRec& r) {
    size_t slot = Mix64(r.Mask) % kMaskTableSize;
    while (slot == 0 || slots_[slot].Mask != 0) slot = slot + 1 == kMaskTableSize ? 0 : slot + 1;
    slots_[slot] = r;
  };
  for (int j = 1; j <= g.maxPerSide; ++j) {
    // First the number of sets per temps, then each set's number among them.
    EnumerateMenSets(g.menSquares, j, [&](const int* sq) { ++totals_[j][tempsOf(sq, j)]; });
    int32_t next[kMaxTemps] = {};
    EnumerateMenSets(g.menSquares, j, [&](const int* sq) {
      const int temps = tempsOf(sq, j);
      uint64_t mask = 0;
      for (int t = 0; t < j; ++t) mask |= squareBit[sq[t]];
      __builtin_prefetch(&slots_[Mix64(mask) % kMaskTableSize], 1);
      EDBMaskRec& r = queue[queued++ % kQueue];
      if (queued > kQueue) insert(r);
      r = EDBMaskRec{mask, static_cast<uint8_t>(j), static_cast<uint8_t>(temps), next[temps]++,
                     totals_[j][temps]};
    });
  }
  for (size_t k = queued > kQueue ? queued - kQueue : 0; k < queued; ++k) insert(queue[k % kQueue]);
}

std::shared_ptr<const TMaskTable> TMaskTable::ForGeometry(const TEdbGeometry& g) {
  if (!g.valid()) return nullptr;
  // One table per board size while anyone holds it (80 MB each, built in
  // about half a second); the last one built is kept even when nobody holds
  // it, so that loading a variant again does not build it again. Building
  // happens under the lock, so two engines never build the same one twice.
  static std::mutex lock;
  static std::weak_ptr<const TMaskTable> tables[4];
  static std::shared_ptr<const TMaskTable> lastBuilt;
  const int slot = g.boardSize == 32 ? 0 : g.boardSize == 40 ? 1 : g.boardSize == 50 ? 2 : 3;
  std::lock_guard<std::mutex> guard(lock);
  std::shared_ptr<const TMaskTable> table = tables[slot].lock();
  if (!table) {
    lastBuilt.reset();  // its memory first
    table = std::make_shared<const TMaskTable>(g);
    tables[slot] = table;
    lastBuilt = table;
  }
  return table;
}

std::shared_ptr<const TMaskTable> TMaskTable::ForVariant(int variant) {
  return ForGeometry(EdbGeometryOfVariant(variant));
}

const EDBMaskRec* TMaskTable::Find(uint64_t mask) const {
  if (!g_.valid()) return nullptr;
  if (mask == 0) return &slots_[0];
  size_t slot = Mix64(mask) % kMaskTableSize;
  for (int n = 0; n < kMaskTableSize; ++n) {
    const EDBMaskRec& r = slots_[slot];
    if (r.Mask == mask && slot != 0) return &r;
    if (r.Mask == 0) return nullptr;
    slot = slot + 1 == kMaskTableSize ? 0 : slot + 1;
  }
  return nullptr;
}

int32_t TMaskTable::TotalMasks(int count, int temps) const {
  if (count < 0 || count > 7 || temps < 0 || temps >= kMaxTemps) return 0;
  return totals_[count][temps];
}

// ---------------------------------------------------------------------------
// Classes and position numbers

TEdbClass SplitClassId(int32_t id) {
  TEdbClass c;
  c.ownMen = id / 10000000;
  c.oppMen = id / 1000000 % 10;
  c.ownKings = id / 100000 % 10;
  c.oppKings = id / 10000 % 10;
  c.tW = id / 100 % 100;
  c.tB = id % 100;
  return c;
}

int32_t TMaskTable::ClassId(const TBitBoard64& bb) const {
  const uint64_t ownMen = bb.w & ~bb.k, oppMen = bb.b & ~bb.k;
  const int wm = PopCount(ownMen), bm = PopCount(oppMen);
  const int wk = PopCount(bb.w & bb.k), bk = PopCount(bb.b & bb.k);
  if (wm + wk > g_.maxPerSide || bm + bk > g_.maxPerSide) return 0;
  const EDBMaskRec* a = Find(ownMen);
  const EDBMaskRec* b = Find(RotateBits64(oppMen, g_.revShift));
  if (!a || !b) return 0;
  return MakeClassId(wm, bm, wk, bk, a->temps, b->temps);
}

uint64_t TMaskTable::ClassPositionCount(const TEdbClass& cls) const {
  const int f1 = g_.boardSize - cls.ownMen - cls.oppMen, f2 = f1 - cls.ownKings;
  if (f2 < cls.oppKings || cls.ownKings > 7 || cls.oppKings > 7) return 0;
  return uint64_t(TotalMasks(cls.ownMen, cls.tW)) * uint64_t(TotalMasks(cls.oppMen, cls.tB)) *
         uint64_t(Binomial32[cls.ownKings][f1]) * uint64_t(Binomial32[cls.oppKings][f2]);
}

bool TMaskTable::PositionIndex(const TBitBoard64& bb, TEdbClass& cls, uint64_t& index) const {
  if (bb.w == 0 || bb.b == 0 || !g_.valid()) return false;
  const uint64_t ownMen = bb.w & ~bb.k, oppMen = bb.b & ~bb.k;
  const uint64_t ownKings = bb.w & bb.k, oppKings = bb.b & bb.k;
  cls.ownMen = PopCount(ownMen);
  cls.oppMen = PopCount(oppMen);
  cls.ownKings = PopCount(ownKings);
  cls.oppKings = PopCount(oppKings);
  if (cls.ownMen + cls.ownKings > g_.maxPerSide || cls.oppMen + cls.oppKings > g_.maxPerSide) return false;
  const EDBMaskRec* a = Find(ownMen);
  const EDBMaskRec* b = Find(RotateBits64(oppMen, g_.revShift));
  if (!a || !b) return false;
  cls.tW = a->temps;
  cls.tB = b->temps;
  const int f1 = g_.boardSize - cls.ownMen - cls.oppMen, f2 = f1 - cls.ownKings;
  const uint64_t good = GoodMask(g_), men = ownMen | oppMen;
  // Colex ranks of the kings over the squares the men (and, for the opponent's
  // kings, the own kings) leave free.
  uint64_t rankOwn = 0, rankOpp = 0;
  int n = 0;
  for (uint64_t k = ownKings; k; k &= k - 1) {
    const uint64_t below = (k & -k) - 1;
    rankOwn += Binomial64[PopCount(good & ~men & below)][++n];
  }
  n = 0;
  for (uint64_t k = oppKings; k; k &= k - 1) {
    const uint64_t below = (k & -k) - 1;
    rankOpp += Binomial64[PopCount(good & ~men & ~ownKings & below)][++n];
  }
  index = ((uint64_t(a->num) * uint64_t(b->totalmasks) + uint64_t(b->num)) *
               uint64_t(Binomial32[cls.ownKings][f1]) +
           rankOwn) *
              uint64_t(Binomial32[cls.oppKings][f2]) +
          rankOpp;
  return true;
}

// ---------------------------------------------------------------------------
// Names

std::string EndgameFileName(const TEdbClass& cls) {
  const int total = cls.pieces();
  std::string name(1, total < 10 ? char('0' + total) : char('A' + total - 10));
  name += '-';
  name += char('0' + cls.ownKings);
  name += char('0' + cls.oppKings);
  name += char('0' + cls.ownMen);
  name += char('0' + cls.oppMen);
  name += '-' + std::to_string(cls.tW) + '-' + std::to_string(cls.tB);
  return name;
}

const char* EbTypeFolder(TEbType t) { return t == ebMTW ? "MTW" : t == ebWDL ? "WDL" : "WD6"; }

std::string EndgameEntryName(const TEdbClass& cls, TEbType type) {
  return std::string(EbTypeFolder(type)) + "/" + EndgameFileName(cls);
}

std::string EndgameVariantName(int variant, bool giveaway) {
  if (variant < 0 || variant > kVariantCount) return {};
  return VariantTable[variant].Name + (giveaway ? "GA" : "");
}

std::string EndgameFilePath(const std::string& edFolder, const std::string& variantName, const TEdbClass& cls,
                            TEbType type) {
  std::string folder = edFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + variantName + "/" + EndgameEntryName(cls, type);
}

bool ParseEndgameFileName(const std::string& name, TEdbClass& cls) {
  // total "-" four digits "-" tW "-" tB
  size_t d1 = name.find('-');
  if (d1 == std::string::npos || d1 == 0) return false;
  int total = 0;
  const std::string first = name.substr(0, d1);
  if (first == "A") {
    total = 10;
  } else {
    if (first.size() > 2) return false;
    for (char ch : first) {
      if (ch < '0' || ch > '9') return false;
      total = total * 10 + (ch - '0');
    }
  }
  if (name.size() < d1 + 6 || name[d1 + 5] != '-') return false;
  int digit[4];
  for (int k = 0; k < 4; ++k) {
    const char ch = name[d1 + 1 + k];
    if (ch < '0' || ch > '9') return false;
    digit[k] = ch - '0';
  }
  const std::string rest = name.substr(d1 + 6);
  const size_t d3 = rest.find('-');
  if (d3 == std::string::npos || d3 == 0 || d3 + 1 >= rest.size() || d3 > 2 || rest.size() - d3 - 1 > 2)
    return false;
  for (size_t k = 0; k < rest.size(); ++k)
    if (k != d3 && (rest[k] < '0' || rest[k] > '9')) return false;
  cls.ownKings = digit[0];
  cls.oppKings = digit[1];
  cls.ownMen = digit[2];
  cls.oppMen = digit[3];
  cls.tW = std::stoi(rest.substr(0, d3));
  cls.tB = std::stoi(rest.substr(d3 + 1));
  return total == cls.pieces() && total > 0;
}

// ---------------------------------------------------------------------------
// Value codings

namespace {

// One inflate state per thread, reset for every block, so that a probe
// allocates nothing after the thread's first one.
struct TInflater {
  z_stream zs{};
  bool ready = false;
  TInflater() { ready = inflateInit(&zs) == Z_OK; }
  ~TInflater() {
    if (ready) inflateEnd(&zs);
  }
};

}  // namespace

namespace {

// Value p of an MTW block. `owner` names the set the block belongs to (0 =
// none): the last block this thread inflated is kept, and probes of
// neighbouring positions (and sequential scans) mostly hit it again. Set ids
// are never reused, so a block of a set that is gone can never be taken for
// one of a later set at the same address.
bool DecodeMtwBlockOf(uint64_t owner, const uint8_t* data, size_t size, int p, uint8_t& value) {
  thread_local TInflater inf;
  thread_local struct {
    uint64_t owner = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t produced = 0;
    uint8_t out[kMtwBlock];
  } cache;
  if (!inf.ready || p < 0 || p >= kMtwBlock || size == 0) return false;
  if (owner == 0 || cache.owner != owner || cache.data != data || cache.size != size) {
    cache.owner = 0;
    if (inflateReset(&inf.zs) != Z_OK) return false;
    inf.zs.next_in = const_cast<Bytef*>(data);
    inf.zs.avail_in = static_cast<uInt>(size);
    inf.zs.next_out = cache.out;
    inf.zs.avail_out = kMtwBlock;
    const int rc = inflate(&inf.zs, Z_FINISH);
    if (rc != Z_STREAM_END) return false;
    cache.produced = kMtwBlock - inf.zs.avail_out;
    cache.owner = owner;
    cache.data = data;
    cache.size = size;
  }
  if (cache.produced <= static_cast<size_t>(p)) return false;
  value = cache.out[p];
  return true;
}

}  // namespace

bool DecodeMtwBlock(const uint8_t* data, size_t size, int p, uint8_t& value) {
  return DecodeMtwBlockOf(0, data, size, p, value);
}

namespace {

// Reads fixed-width symbols from a block, least significant first.
template <int Bits>
struct TSymbolReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;  // symbol index
  bool Next(int& sym) {
    constexpr int perByte = 8 / Bits;
    const size_t byte = pos / perByte;
    if (byte >= size) return false;
    sym = (data[byte] >> ((pos % perByte) * Bits)) & ((1 << Bits) - 1);
    ++pos;
    return true;
  }
};

}  // namespace

bool DecodeWdlBlock(const uint8_t* data, size_t size, int p, uint8_t& value) {
  TSymbolReader<2> rd{data, size};
  int64_t k = 0;
  int sym;
  while (rd.Next(sym)) {
    int64_t len = 1;
    if (sym == 3) {
      int form, a;
      if (!rd.Next(form)) return false;
      const int digits = form == 0 ? 1 : form == 1 ? 2 : form == 2 ? 3 : 6;
      static constexpr int base[4] = {5, 9, 25, 89};
      int64_t n = 0;
      for (int d = 0; d < digits; ++d) {
        if (!rd.Next(a)) return false;
        n = n * 4 + a;
      }
      len = n + base[form];
      if (!rd.Next(sym) || sym == 3) return false;
    }
    k += len;
    if (k > p) {
      value = static_cast<uint8_t>(sym);
      return true;
    }
  }
  return false;
}

bool DecodeWd6Block(const uint8_t* data, size_t size, int p, uint8_t& value) {
  TSymbolReader<4> rd{data, size};
  int64_t k = 0;
  int sym;
  while (rd.Next(sym)) {
    int64_t len = 1;
    if (sym >= 6) {
      int a;
      if (sym <= 11) {
        len = sym - 3;
      } else if (sym <= 14) {
        const int digits = sym - 11;
        static constexpr int base[3] = {9, 25, 281};
        int64_t n = 0;
        for (int d = 0; d < digits; ++d) {
          if (!rd.Next(a)) return false;
          n = n * 16 + a;
        }
        len = n + base[sym - 12];
      } else {
        return false;
      }
      if (!rd.Next(sym) || sym > 5) return false;
    }
    k += len;
    if (k > p) {
      value = static_cast<uint8_t>(sym);
      return true;
    }
  }
  return false;
}

namespace {

template <int Bits>
struct TSymbolWriter {
  std::vector<uint8_t> out;
  size_t pos = 0;
  void Put(int sym) {
    constexpr int perByte = 8 / Bits;
    if (pos % perByte == 0) out.push_back(0);
    out.back() |= static_cast<uint8_t>(sym << ((pos % perByte) * Bits));
    ++pos;
  }
  void Digits(int64_t n, int count, int base) {
    for (int d = count - 1; d >= 0; --d) {
      int64_t div = 1;
      for (int e = 0; e < d; ++e) div *= base;
      Put(static_cast<int>(n / div % base));
    }
  }
};

std::vector<uint8_t> EncodeWdlBlock(const uint8_t* v, size_t n) {
  TSymbolWriter<2> w;
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && v[j] == v[i]) ++j;
    int64_t len = static_cast<int64_t>(j - i);
    while (len > 0) {
      if (len < 5) {
        for (; len > 0; --len) w.Put(v[i]);
        break;
      }
      const int64_t chunk = std::min<int64_t>(len, 89 + 4095);
      w.Put(3);
      if (chunk <= 8)
        w.Put(0), w.Digits(chunk - 5, 1, 4);
      else if (chunk <= 24)
        w.Put(1), w.Digits(chunk - 9, 2, 4);
      else if (chunk <= 88)
        w.Put(2), w.Digits(chunk - 25, 3, 4);
      else
        w.Put(3), w.Digits(chunk - 89, 6, 4);
      w.Put(v[i]);
      len -= chunk;
    }
    i = j;
  }
  return std::move(w.out);
}

std::vector<uint8_t> EncodeWd6Block(const uint8_t* v, size_t n) {
  TSymbolWriter<4> w;
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && v[j] == v[i]) ++j;
    int64_t len = static_cast<int64_t>(j - i);
    while (len > 0) {
      if (len < 3) {
        for (; len > 0; --len) w.Put(v[i]);
        break;
      }
      const int64_t chunk = std::min<int64_t>(len, 281 + 4095);
      if (chunk <= 8)
        w.Put(static_cast<int>(chunk + 3));
      else if (chunk <= 24)
        w.Put(12), w.Digits(chunk - 9, 1, 16);
      else if (chunk <= 280)
        w.Put(13), w.Digits(chunk - 25, 2, 16);
      else
        w.Put(14), w.Digits(chunk - 281, 3, 16);
      w.Put(v[i]);
      len -= chunk;
    }
    i = j;
  }
  return std::move(w.out);
}

}  // namespace

std::vector<uint8_t> EncodeEndgameFile(TEbType type, const uint8_t* values, uint64_t count) {
  const uint64_t blockSize = EbBlockSize(type);
  const uint64_t blocks = (count + blockSize - 1) / blockSize;
  std::vector<int32_t> offsets;
  std::vector<uint8_t> data;
  std::vector<uint8_t> padded(blockSize);
  for (uint64_t b = 0; b < blocks; ++b) {
    const uint64_t from = b * blockSize, n = std::min(blockSize, count - from);
    offsets.push_back(static_cast<int32_t>(data.size()));
    std::vector<uint8_t> block;
    if (type == ebMTW) {
      // Every block inflates to a whole block; the tail of the last one is 0.
      std::fill(padded.begin(), padded.end(), 0);
      std::memcpy(padded.data(), values + from, n);
      uLongf len = compressBound(blockSize);
      block.resize(len);
      compress2(block.data(), &len, padded.data(), blockSize, 9);
      block.resize(len);
    } else if (type == ebWDL) {
      block = EncodeWdlBlock(values + from, n);
    } else {
      block = EncodeWd6Block(values + from, n);
    }
    data.insert(data.end(), block.begin(), block.end());
  }
  const int64_t n1 = static_cast<int64_t>(offsets.size()) * 4, n2 = static_cast<int64_t>(data.size());
  std::vector<uint8_t> file(16 + n1 + n2);
  PutLE64(file.data(), static_cast<uint64_t>(n1));
  PutLE64(file.data() + 8, static_cast<uint64_t>(n2));
  for (size_t k = 0; k < offsets.size(); ++k)
    PutLE32(file.data() + 16 + 4 * k, static_cast<uint32_t>(offsets[k]));
  if (n2) std::memcpy(file.data() + 16 + n1, data.data(), n2);
  return file;
}

// ---------------------------------------------------------------------------
// Loading

namespace {

// Checks the layout of a file image and moves it into the record. The offsets
// must rise within the data and the blocks must cover every position of the
// class, so that no probe can read outside a block.
bool AcceptImage(const std::vector<uint8_t>& img, const TEdbClass& cls, const TMaskTable& masks, TEbType type,
                 EDBFileRec& rec, std::string& why) {
  if (img.size() < 16) return why = "shorter than its header", false;
  const int64_t n1 = static_cast<int64_t>(GetLE64(img.data())),
                n2 = static_cast<int64_t>(GetLE64(img.data() + 8));
  if (n1 < 0 || n2 < 0 || n1 % 4 != 0 || static_cast<uint64_t>(n1) > img.size() ||
      static_cast<uint64_t>(n2) > img.size() || static_cast<uint64_t>(16 + n1 + n2) != img.size())
    return why = "section sizes do not match the file size", false;
  const int64_t blocks = n1 / 4;
  const uint64_t needed = (masks.ClassPositionCount(cls) + EbBlockSize(type) - 1) / EbBlockSize(type);
  if (static_cast<uint64_t>(blocks) < needed) return why = "fewer blocks than the class has positions", false;
  std::vector<int32_t> offs(blocks);
  int64_t prev = 0;
  for (int64_t b = 0; b < blocks; ++b) {
    const int32_t o = static_cast<int32_t>(GetLE32(img.data() + 16 + 4 * b));
    if (o < prev || o > n2) return why = "block offsets out of order", false;
    offs[b] = prev = o;
  }
  rec.i = std::move(offs);
  rec.c.assign(img.begin() + 16 + n1, img.end());
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  f.seekg(0, std::ios::end);
  const std::streamoff size = f.tellg();
  if (size < 0) return false;
  f.seekg(0);
  out.resize(static_cast<size_t>(size));
  return size == 0 || static_cast<bool>(f.read(reinterpret_cast<char*>(out.data()), size));
}

// The entry's data, grown as it decompresses: the size an archive declares
// is only a claim, and a damaged or hostile one must not make the load
// reserve gigabytes it never fills. Fails when the data ends early.
bool ReadZipEntry(zip_t* za, zip_int64_t index, std::vector<uint8_t>& out) {
  constexpr zip_uint64_t kChunk = zip_uint64_t{1} << 20;
  zip_stat_t st;
  if (zip_stat_index(za, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return false;
  zip_file_t* zf = zip_fopen_index(za, index, 0);
  if (!zf) return false;
  out.clear();
  zip_uint64_t got = 0;
  bool ok = true;
  while (got < st.size) {
    const zip_uint64_t want = std::min(kChunk, st.size - got);
    out.resize(got + want);
    const zip_int64_t n = zip_fread(zf, out.data() + got, want);
    if (n <= 0) {
      ok = false;
      break;
    }
    got += static_cast<zip_uint64_t>(n);
  }
  out.resize(got);
  zip_fclose(zf);
  return ok;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// ---------------------------------------------------------------------------
// A loaded set

namespace {

// Ids of sets; 0 is never used.
std::atomic<uint64_t> gNextSetId{1};

// The candidates of a load: archive entries, or files of the type folders
// named "MTW/..." like archive entries.
struct TCandidate {
  std::string entry;
  zip_int64_t index = -1;
};

std::vector<TCandidate> ArchiveCandidates(zip_t* za) {
  std::vector<TCandidate> candidates;
  const zip_int64_t n = zip_get_num_entries(za, 0);
  for (zip_int64_t k = 0; k < n; ++k) {
    const char* en = zip_get_name(za, k, 0);
    if (!en) continue;
    const std::string s = en;
    if (!s.empty() && s.back() != '/') candidates.push_back({s, k});
  }
  return candidates;
}

// The MTW files, then the WD6 files, or the WDL files when there is no WD6 file.
std::vector<TCandidate> FolderCandidates(const fs::path& variantFolder) {
  std::vector<TCandidate> candidates;
  for (const std::string& f : FilesIn(variantFolder / "MTW")) candidates.push_back({"MTW/" + f});
  std::vector<std::string> wd6 = FilesIn(variantFolder / "WD6");
  if (!wd6.empty())
    for (const std::string& f : wd6) candidates.push_back({"WD6/" + f});
  else
    for (const std::string& f : FilesIn(variantFolder / "WDL")) candidates.push_back({"WDL/" + f});
  return candidates;
}

// Coding of a candidate from its type folder; false for anything else.
bool TypeOfEntry(const std::string& entry, TEbType& type) {
  const std::string prefix = entry.substr(0, 3);
  if (prefix == "MTW")
    type = ebMTW;
  else if (prefix == "WDL")
    type = ebWDL;
  else if (prefix == "WD6")
    type = ebWD6;
  else
    return false;
  return true;
}

}  // namespace

TEndgameDb::~TEndgameDb() = default;

EDBFileRec* TEndgameDb::FindSlot(int32_t id) const {
  if (fileSlots_ == 0 || id == 0) return nullptr;
  size_t s = Mix64(static_cast<uint32_t>(id)) % fileSlots_;
  for (size_t n = 0; n < fileSlots_; ++n) {
    EDBFileRec& r = files_[s];
    if (r.fMask == id) return &r;
    if (r.fMask == 0) return nullptr;
    if (++s == fileSlots_) s = 0;
  }
  return nullptr;
}

EDBFileRec* TEndgameDb::ClaimSlot(int32_t id) {
  if (fileSlots_ == 0) return nullptr;
  size_t s = Mix64(static_cast<uint32_t>(id)) % fileSlots_;
  for (size_t n = 0; n < fileSlots_; ++n) {
    EDBFileRec& r = files_[s];
    if (r.fMask == id) return &r;
    if (r.fMask == 0) {
      r.fMask = id;
      return &r;
    }
    if (++s == fileSlots_) s = 0;
  }
  return nullptr;
}

std::shared_ptr<const TEndgameDb> TEndgameDb::Load(int variant, bool giveaway, const std::string& edFolder,
                                                   const TEdbCallbacks& callbacks, int64_t memoryLimit) {
  const auto started = std::chrono::steady_clock::now();
  std::shared_ptr<TEndgameDb> db(new TEndgameDb());
  db->variant_ = variant;
  db->giveaway_ = giveaway;
  db->g_ = EdbGeometryOfVariant(variant);
  db->id_ = gNextSetId.fetch_add(1);
  TEdbLoadResult& result = db->result_;
  auto publish = [&](const std::string& text) {
    result.lastInfo = text;
    if (callbacks.info) callbacks.info(text);
  };
  auto log = [&](const std::string& text, bool blank) {
    if (callbacks.log) callbacks.log(text, blank);
  };
  if (!db->g_.valid()) {
    publish("=0ms");
    return db;
  }
  const TEdbGeometry& g = db->g_;

  const std::string name = EndgameVariantName(variant, giveaway);
  const fs::path folder = edFolder;
  int zerr = 0;
  zip_t* za = zip_open((folder / (name + ".zip")).string().c_str(), ZIP_RDONLY, &zerr);
  const std::vector<TCandidate> candidates = za ? ArchiveCandidates(za) : FolderCandidates(folder / name);
  // The men-configuration table (80 MB, half a second to build) only when
  // there are files to index with it: a folder without databases costs nothing.
  if (!candidates.empty()) db->masks_ = TMaskTable::ForGeometry(g);
  result.fromArchive = za != nullptr;
  result.candidates = static_cast<int64_t>(candidates.size());
  // Room for every candidate with the table at most half full.
  db->fileSlots_ = std::clamp<size_t>(2 * candidates.size(), 16, kFileTableSize);
  db->files_ = std::make_unique<EDBFileRec[]>(db->fileSlots_);

  std::string progress;
  std::vector<uint8_t> image;
  int64_t done = 0;
  for (const TCandidate& cand : candidates) {
    ++done;
    TEbType type;
    const size_t slash = cand.entry.rfind('/');
    TEdbClass cls;
    if (TypeOfEntry(cand.entry, type) &&
        ParseEndgameFileName(cand.entry.substr(slash == std::string::npos ? 0 : slash + 1), cls) &&
        cls.ownMen + cls.ownKings <= g.maxPerSide && cls.oppMen + cls.oppKings <= g.maxPerSide) {
      EDBFileRec* rec = db->ClaimSlot(cls.id());
      // Only one file per class stays in memory: the first one read.
      if (rec && !rec->opened && !rec->notexists[type] && result.bytesLoaded <= memoryLimit) {
        bool read = false;
        if (za && cand.index >= 0) read = ReadZipEntry(za, cand.index, image);
        if (!read) read = ReadWholeFile((folder / name / cand.entry).string(), image);
        std::string why;
        if (!read) {
          rec->notexists[type] = true;
        } else if (!AcceptImage(image, cls, *db->masks_, type, *rec, why)) {
          rec->notexists[type] = true;
          log("EB Err: " + name + "/" + cand.entry + " (" + why + ")", true);
        } else {
          rec->fName = cand.entry;
          rec->ebtype = type;
          rec->size = static_cast<int64_t>(image.size()) - 16;
          rec->time = 0;
          rec->opened = true;
          ++result.filesLoaded;
          result.bytesLoaded += rec->size;
        }
      }
    }
    if (done % 100 == 0) {
      progress = "Init Endgames: " + std::to_string(done * 100 / result.candidates) + "%  " +
                 std::to_string(result.filesLoaded) + ", " + std::to_string(result.bytesLoaded / 1048576) +
                 "MB";
      publish(progress);
    }
  }
  if (za) zip_close(za);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
          .count();
  publish(progress + "=" + std::to_string(ms) + "ms");
  return db;
}

std::shared_ptr<const TEndgameDb> TEndgameDb::Shared(int variant, bool giveaway, const std::string& edFolder,
                                                     const TEdbCallbacks& callbacks, int64_t memoryLimit) {
  // Sets by what they were loaded from. Each key has its own lock, so that
  // two engines of one variant wait for a single load while other variants
  // load at the same time.
  struct TEntry {
    std::mutex loading;
    std::weak_ptr<const TEndgameDb> set;
  };
  static std::mutex lock;
  static std::map<std::tuple<int, bool, std::string, int64_t>, std::shared_ptr<TEntry>> sets;
  std::shared_ptr<TEntry> entry;
  {
    std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<TEntry>& e = sets[{variant, giveaway, edFolder, memoryLimit}];
    if (!e) e = std::make_shared<TEntry>();
    entry = e;
  }
  std::lock_guard<std::mutex> guard(entry->loading);
  std::shared_ptr<const TEndgameDb> db = entry->set.lock();
  if (db) {
    // Tell the caller what it now probes, as a load would.
    if (callbacks.info) callbacks.info(db->result_.lastInfo);
    return db;
  }
  db = Load(variant, giveaway, edFolder, callbacks, memoryLimit);
  entry->set = db;
  return db;
}

const EDBFileRec* TEndgameDb::FindFileRec(int32_t classId) const { return FindSlot(classId); }

TEDPos TEndgameDb::EDPosOfBoard(const TBoard& board) const {
  TEDPos ed;
  if (!masks_) return ed;
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant_);
  ed.p1 = masks_->ClassId(bb);
  ed.p2 = masks_->ClassId(FlippedBitBoard(bb, g_.revShift));
  return ed;
}

// ---------------------------------------------------------------------------
// Probing

bool TEndgameDb::LookupValue(const TBitBoard64& brd, bool capturesMatter, TEdbClass& cls, uint8_t& value,
                             TEbType& type, TEdbProbeStats* stats) const {
  uint64_t x;
  if (!masks_ || !masks_->PositionIndex(brd, cls, x)) return false;
  EDBFileRec* rec = FindSlot(cls.id());
  if (!rec || !rec->opened.load(std::memory_order_acquire)) return false;
  type = rec->ebtype;
  if (capturesMatter && type != ebMTW && CapturingPieces64(FlippedBitBoard(brd, g_.revShift), variant_) != 0)
    return false;
  const uint64_t bs = EbBlockSize(type);
  const uint64_t b = x / bs;
  const int p = static_cast<int>(x % bs);
  bool ok = b < rec->i.size();
  if (ok) {
    const size_t from = rec->i[b], to = b + 1 < rec->i.size() ? rec->i[b + 1] : rec->c.size();
    const uint8_t* data = rec->c.data() + from;
    const size_t size = to - from;
    ok = type == ebMTW   ? DecodeMtwBlockOf(id_, data, size, p, value)
         : type == ebWDL ? DecodeWdlBlock(data, size, p, value)
                         : DecodeWd6Block(data, size, p, value);
    if (ok && type == ebWDL && value > 2) ok = false;
  }
  if (!ok) {
    // The file is taken out of use; only the first thread to notice reports it.
    if (rec->opened.exchange(false)) {
      rec->notexists[type] = true;
      if (stats && stats->log) stats->log("EB Err:" + rec->fName, true);
    }
    return false;
  }
  int64_t t = rec->time.load(std::memory_order_relaxed);
  if (t < 255) rec->time.store(t + 1, std::memory_order_relaxed);
  return true;
}

bool TEndgameDb::GetEBevalPlay(const TBitBoard64& brd, bool ga, const TEDPos& ED, float& ev,
                               TEdbProbeStats* stats) const {
  if (brd.w == 0) {
    ev = ga ? kFullWindow : -kFullWindow;
    return true;
  }
  TEdbClass cls;
  uint8_t o = 0;
  TEbType type;
  if (!LookupValue(brd, true, cls, o, type, stats)) return false;
  if (type == ebMTW) {
    ev = DistanceScore(o);
  } else if (o == 0) {
    ev = 0.0f;
  } else {
    const int32_t id = cls.id();
    if ((ED.p1 != 0 && ED.p1 == id) || (ED.p2 != 0 && ED.p2 == id)) return false;
    ev = o == 1 ? -kDatabaseWin : kDatabaseWin;
  }
  if (stats) {
    stats->fGetEdb.fetch_add(1, std::memory_order_relaxed);
    const int pieces = cls.pieces();
    int cur = stats->MaxEB.load(std::memory_order_relaxed);
    while (pieces > cur && !stats->MaxEB.compare_exchange_weak(cur, pieces, std::memory_order_relaxed)) {
    }
  }
  return true;
}

bool TEndgameDb::ProbeRaw(const TBitBoard64& brd, uint8_t& value, TEbType& type,
                          TEdbProbeStats* stats) const {
  TEdbClass cls;
  return LookupValue(brd, false, cls, value, type, stats);
}

}  // namespace quorlin
