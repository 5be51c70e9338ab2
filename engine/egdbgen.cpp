#include "engine/egdbgen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <tuple>

#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {

namespace fs = std::filesystem;

namespace {

// Distances are kept in 16 bits while solving; MTW files hold one byte.
constexpr int kMaxPlies = 60000;
constexpr int kMaxMtwPlies = 255;

uint64_t GoodMaskOf(const TEdbGeometry& g) {
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

// Picks `k` squares of `free` (ascending bits) by their colex rank.
uint64_t UnrankKings(uint64_t free, int k, uint64_t rank) {
  int bits[64], n = 0;
  for (uint64_t f = free; f; f &= f - 1) bits[n++] = __builtin_ctzll(f);
  uint64_t kings = 0;
  int c = n - 1;
  for (int i = k; i >= 1; --i) {
    while (c >= 0 && static_cast<uint64_t>(Binomial64[c][i]) > rank) --c;
    if (c < 0) return kings;
    rank -= Binomial64[c][i];
    kings |= uint64_t{1} << bits[c];
    --c;
  }
  return kings;
}

std::vector<int> TempsOf(const TMaskTable& masks, int count) {
  std::vector<int> t;
  if (count == 0) return {0};
  for (int temps = 0; temps < 64; ++temps)
    if (masks.TotalMasks(count, temps) > 0) t.push_back(temps);
  return t;
}

}  // namespace

TMenLists MenConfigurations(const TEdbGeometry& g, int maxMen) {
  TMenLists lists(g.maxPerSide + 1, std::vector<std::vector<uint64_t>>(64));
  lists[0][0].push_back(0);
  for (int j = 1; j <= std::min(g.maxPerSide, maxMen); ++j)
    EnumerateMenSets(g.menSquares, j, [&](const int* sq) {
      int temps = 0;
      uint64_t mask = 0;
      for (int t = 0; t < j; ++t) {
        temps += sq[t] / g.rowLength + 1;
        mask |= uint64_t{1} << EdbSquareToBit(g, sq[t] + g.firstMenSquare);
      }
      lists[j][temps].push_back(mask);
    });
  return lists;
}

bool DecodePositionIndex(const TEdbClass& cls, uint64_t index, const TEdbGeometry& g,
                         const TMenLists& menLists, TBitBoard64& bb) {
  const int f1 = g.boardSize - cls.ownMen - cls.oppMen, f2 = f1 - cls.ownKings;
  const uint64_t cOpp = Binomial32[cls.oppKings][f2], cOwn = Binomial32[cls.ownKings][f1];
  const uint64_t oppRank = index % cOpp;
  index /= cOpp;
  const uint64_t ownRank = index % cOwn;
  index /= cOwn;
  const auto& listA = menLists[cls.ownMen][cls.tW];
  const auto& listB = menLists[cls.oppMen][cls.tB];
  const uint64_t bnum = index % listB.size(), anum = index / listB.size();
  if (anum >= listA.size()) return false;
  const uint64_t ownMen = listA[anum];
  const uint64_t oppMen = RotateBits64(listB[bnum], g.revShift);
  if (ownMen & oppMen) return false;
  const uint64_t free = GoodMaskOf(g) & ~(ownMen | oppMen);
  const uint64_t ownKings = UnrankKings(free, cls.ownKings, ownRank);
  const uint64_t oppKings = UnrankKings(free & ~ownKings, cls.oppKings, oppRank);
  bb.w = ownMen | ownKings;
  bb.b = oppMen | oppKings;
  bb.k = ownKings | oppKings;
  return true;
}

std::string EndgameValueText(uint8_t value, TEbType type) {
  if (value == 0) return "draw";
  if (type == ebMTW) return (value % 2 == 0 ? "win " : "loss ") + std::to_string(value);
  if (type == ebWDL) return value == 1 ? "loss" : "win";
  return value == 1 ? "loss" : "win";
}

TEgdbGenerator::TEgdbGenerator(TEgdbBuildOptions options) : opt_(std::move(options)) {}

const std::vector<uint16_t>* TEgdbGenerator::Values(int32_t classId) const {
  auto it = values_.find(classId);
  return it == values_.end() ? nullptr : &it->second;
}

bool TEgdbGenerator::WriteClass(const TEdbClass& cls, const std::vector<uint16_t>& values,
                                TEgdbClassReport& report) {
  std::vector<uint8_t> coded(values.size());
  for (size_t k = 0; k < values.size(); ++k) {
    const uint16_t v = values[k];
    if (opt_.type == ebMTW) {
      if (v > kMaxMtwPlies) {
        error_ = "class " + EndgameFileName(cls) + ": a distance of " + std::to_string(v) +
                 " plies does not fit the MTW coding (at most 255); build with --type WDL";
        return false;
      }
      coded[k] = static_cast<uint8_t>(v);
    } else {
      coded[k] = v == 0 ? 0 : (v % 2 ? 1 : 2);
    }
  }
  const std::vector<uint8_t> file = EncodeEndgameFile(opt_.type, coded.data(), coded.size());
  report.bytes = file.size();
  if (!opt_.writeFiles) return true;
  const fs::path path =
      EndgameFilePath(opt_.outFolder, EndgameVariantName(opt_.variant, false), cls, opt_.type);
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  const fs::path tmp = path.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    // The bytes reach the file only when it is closed; a failure there (disk
    // full) must not let the short file take the class's name.
    out.close();
    if (!out) {
      fs::remove(tmp, ec);
      error_ = "cannot write " + tmp.string();
      return false;
    }
  }
  fs::rename(tmp, path, ec);
  if (ec) {
    error_ = "cannot write " + path.string() + ": " + ec.message();
    return false;
  }
  return true;
}

// The positions of one slice (a class and its colour-swapped twin) while they
// are solved: positions 0..n0-1 are c0's, n0..total-1 c1's.
struct TEgdbGenerator::TSlice {
  enum : uint8_t { kFinal = 1, kInvalid = 2, kHasDraw = 4, kHasLoss = 8 };
  TEdbClass part[2];
  bool twin = false;
  uint64_t n0 = 0, n1 = 0, total = 0;
  std::vector<uint16_t> val;                      // plies value once final
  std::vector<uint8_t> state;                     // the flags above
  std::vector<uint8_t> pending;                   // successors inside the slice not yet final
  std::vector<uint16_t> maxWin;                   // the longest win among the final successors
  std::vector<std::vector<uint32_t>> buckets{2};  // positions by the distance they wait for
  bool overflow = false;

  void Push(uint64_t p, int v) {
    if (v > kMaxPlies) {
      overflow = true;
      return;
    }
    if (static_cast<size_t>(v) >= buckets.size()) buckets.resize(v + 1);
    buckets[v].push_back(static_cast<uint32_t>(p));
  }
  const TEdbClass& ClassOf(uint64_t p) const { return part[p < n0 ? 0 : 1]; }
  const TEdbClass& OtherOf(uint64_t p) const { return part[p < n0 ? 1 : 0]; }
};

bool TEgdbGenerator::Decode(const TSlice& sl, uint64_t p, TBitBoard64& bb) const {
  return p < sl.n0 ? DecodePositionIndex(sl.part[0], p, g_, men_, bb)
                   : DecodePositionIndex(sl.part[1], p - sl.n0, g_, men_, bb);
}

bool TEgdbGenerator::SolveSlice(const TEdbClass& c0, const TEdbClass& c1, TEgdbBuildResult& result) {
  const auto started = std::chrono::steady_clock::now();
  TSlice sl;
  sl.part[0] = c0;
  sl.part[1] = c1;
  sl.twin = c0.id() != c1.id();
  sl.n0 = masks_->ClassPositionCount(c0);
  sl.n1 = sl.twin ? masks_->ClassPositionCount(c1) : 0;
  sl.total = sl.n0 + sl.n1;
  if (sl.total >= std::numeric_limits<uint32_t>::max()) {
    error_ = "class " + EndgameFileName(c0) + " is too large";
    return false;
  }
  sl.val.assign(sl.total, 0);
  sl.state.assign(sl.total, 0);
  sl.pending.assign(sl.total, 0);
  sl.maxWin.assign(sl.total, 0);
  if (!ForwardPass(sl) || !BackwardPass(sl)) return false;
  if (sl.overflow) {
    error_ = "class " + EndgameFileName(c0) + ": distances beyond " + std::to_string(kMaxPlies) + " plies";
    return false;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return ReportSlice(sl, seconds, result);
}

// Every position's successors outside the slice are known (fewer pieces or
// men, or men further on): their values settle wins and draws at once and
// give the longest win; the successors inside the slice are counted.
bool TEgdbGenerator::ForwardPass(TSlice& sl) {
  const TGenerateMoves64Fn gen = BitboardGenerator(opt_.variant);
  TBitBoard64 list[kMaxPositions64];
  for (uint64_t p = 0; p < sl.total; ++p) {
    TBitBoard64 bb;
    if (!Decode(sl, p, bb)) {
      sl.state[p] = TSlice::kFinal | TSlice::kInvalid;
      continue;
    }
    const int n = gen(bb, list);
    if (n == 0) {
      sl.Push(p, 1);
      continue;
    }
    int minLoss = std::numeric_limits<int>::max(), mw = 0, pend = 0;
    bool draw = false;
    for (int m = 0; m < n; ++m) {
      const TBitBoard64 f = FlippedBitBoard(list[m], g_.revShift);
      int s;
      if (f.w == 0) {
        s = 1;
      } else {
        TEdbClass cls;
        uint64_t idx;
        if (!masks_->PositionIndex(f, cls, idx)) {
          error_ = "a successor of a position of class " + EndgameFileName(sl.ClassOf(p)) + " has no class";
          return false;
        }
        const int32_t id = cls.id();
        if (id == sl.part[0].id() || id == sl.part[1].id()) {
          ++pend;
          continue;
        }
        auto it = values_.find(id);
        if (it == values_.end() || idx >= it->second.size()) {
          error_ = "class " + EndgameFileName(cls) + " is needed before it is solved";
          return false;
        }
        s = it->second[idx];
      }
      if (s == 0)
        draw = true;
      else if (s % 2)
        minLoss = std::min(minLoss, s);
      else
        mw = std::max(mw, s);
    }
    if (pend > 255) {
      error_ = "too many reversible moves in one position";
      return false;
    }
    sl.pending[p] = static_cast<uint8_t>(pend);
    sl.maxWin[p] = static_cast<uint16_t>(mw);
    if (draw) sl.state[p] |= TSlice::kHasDraw;
    if (minLoss != std::numeric_limits<int>::max()) {
      sl.state[p] |= TSlice::kHasLoss;
      sl.Push(p, minLoss + 1);
    } else if (pend == 0) {
      if (draw)
        sl.state[p] |= TSlice::kFinal;
      else
        sl.Push(p, mw + 1);
    }
  }
  return true;
}

// In order of distance: a position finished as a loss makes its predecessors
// wins one ply longer; one finished as a win removes itself from its
// predecessors' open successors, and a predecessor left with only wins is a
// loss one ply longer than the longest of them.
bool TEgdbGenerator::BackwardPass(TSlice& sl) {
  const TGenerateMoves64Fn gen = BitboardGenerator(opt_.variant);
  TBitBoard64 plist[kMaxPositions64];
  for (size_t v = 1; v < sl.buckets.size() && !sl.overflow; ++v) {
    for (size_t q = 0; q < sl.buckets[v].size(); ++q) {
      const uint32_t p = sl.buckets[v][q];
      if (sl.state[p] & TSlice::kFinal) continue;
      sl.state[p] |= TSlice::kFinal;
      sl.val[p] = static_cast<uint16_t>(v);
      TBitBoard64 bb;
      Decode(sl, p, bb);
      // The side that just moved is X; play its reversible moves backwards on
      // a board where the other side's pieces are X's men, so that nothing
      // can be captured and every blocking square stays blocked.
      const TBitBoard64 x = FlippedBitBoard(bb, g_.revShift);
      TBitBoard64 c{x.w | x.b, 0, x.k & x.w};
      const int n = gen(c, plist);
      const TEdbClass& other = sl.OtherOf(p);
      for (int m = 0; m < n; ++m) {
        const uint64_t from = c.w & ~plist[m].w, dest = plist[m].w & ~c.w;
        if (PopCount(from) != 1 || PopCount(dest) != 1 || !(from & x.w)) continue;
        const bool wasKing = (x.k & from) != 0;
        if (wasKing != ((plist[m].k & dest) != 0)) continue;
        const TBitBoard64 r{(x.w & ~from) | dest, x.b, (x.k & ~from) | (wasKing ? dest : 0)};
        if (CapturingPieces64(r, opt_.variant) != 0) continue;
        TEdbClass rc;
        uint64_t ri;
        if (!masks_->PositionIndex(r, rc, ri) || rc.id() != other.id()) continue;
        const uint64_t rp = (sl.twin && &other == &sl.part[1]) ? sl.n0 + ri : ri;
        if (sl.state[rp] & TSlice::kFinal) continue;
        if (v % 2) {
          sl.Push(rp, static_cast<int>(v) + 1);
        } else {
          sl.maxWin[rp] = std::max<uint16_t>(sl.maxWin[rp], static_cast<uint16_t>(v));
          if (sl.pending[rp] == 0) {
            error_ = "predecessor count mismatch in class " + EndgameFileName(other);
            return false;
          }
          if (--sl.pending[rp] == 0 && !(sl.state[rp] & (TSlice::kHasDraw | TSlice::kHasLoss)))
            sl.Push(rp, sl.maxWin[rp] + 1);
        }
      }
    }
    std::vector<uint32_t>().swap(sl.buckets[v]);
  }
  return true;
}

// Counts, writes and keeps each class of the slice.
bool TEgdbGenerator::ReportSlice(const TSlice& sl, double seconds, TEgdbBuildResult& result) {
  for (int k = 0; k < (sl.twin ? 2 : 1); ++k) {
    const uint64_t from = k == 0 ? 0 : sl.n0, count = k == 0 ? sl.n0 : sl.n1;
    std::vector<uint16_t> values(sl.val.begin() + from, sl.val.begin() + from + count);
    TEgdbClassReport report;
    report.cls = sl.part[k];
    for (uint64_t x = 0; x < count; ++x) {
      if (sl.state[from + x] & TSlice::kInvalid) continue;
      ++report.positions;
      const uint16_t v = values[x];
      if (v == 0)
        ++report.draws;
      else if (v % 2)
        ++report.losses;
      else
        ++report.wins;
      report.longest = std::max<int>(report.longest, v);
    }
    report.seconds = sl.total ? seconds * count / sl.total : 0;
    if (!WriteClass(sl.part[k], values, report)) return false;
    result.bytes += report.bytes;
    if (opt_.progress) {
      char line[256];
      std::snprintf(
          line, sizeof line, "%-14s %10llu positions  +%llu -%llu =%llu  longest %d  %.2fs  %llu bytes",
          EndgameFileName(sl.part[k]).c_str(), (unsigned long long)report.positions,
          (unsigned long long)report.wins, (unsigned long long)report.losses,
          (unsigned long long)report.draws, report.longest, report.seconds, (unsigned long long)report.bytes);
      opt_.progress(line);
    }
    result.classes.push_back(report);
    values_[sl.part[k].id()] = std::move(values);
  }
  return true;
}

TEgdbBuildResult TEgdbGenerator::Run() {
  const auto started = std::chrono::steady_clock::now();
  TEgdbBuildResult result;
  g_ = EdbGeometryOfVariant(opt_.variant);
  if (!g_.valid() || !HasBitboardGenerator(opt_.variant)) {
    result.error =
        "no endgame databases for this variant (it needs a 32-, 40-, 50- or 64-square board "
        "with a 64-bit move generator)";
    return result;
  }
  if (opt_.type != ebMTW && opt_.type != ebWDL) {
    result.error = "the generator writes MTW or WDL files";
    return result;
  }
  if (opt_.maxPieces < 2 || opt_.maxPieces > 2 * g_.maxPerSide || opt_.maxPieces > 12) {
    result.error = "pieces must be 2.." + std::to_string(std::min(12, 2 * g_.maxPerSide));
    return result;
  }
  if (opt_.writeFiles && opt_.outFolder.empty()) {
    result.error = "no output folder";
    return result;
  }
  masks_ = TMaskTable::ForGeometry(g_);
  // A side has at most maxPieces - 1 men (the other side has a piece).
  men_ = MenConfigurations(g_, opt_.maxPieces - 1);
  values_.clear();

  for (int n = 2; n <= opt_.maxPieces; ++n) {
    for (int menTotal = 0; menTotal <= n; ++menTotal) {
      for (int a = 1; a <= std::min(n - 1, g_.maxPerSide); ++a) {
        const int b = n - a;
        if (b > g_.maxPerSide) continue;
        for (int wm = 0; wm <= a; ++wm) {
          const int bm = menTotal - wm;
          if (bm < 0 || bm > b) continue;
          const int wk = a - wm, bk = b - bm;
          // Each material is solved together with its colour-swapped twin.
          if (std::make_tuple(wm, wk) < std::make_tuple(bm, bk)) continue;
          const bool symmetric = wm == bm && wk == bk;
          std::vector<std::pair<int, int>> temps;
          for (int tw : TempsOf(*masks_, wm))
            for (int tb : TempsOf(*masks_, bm))
              if (!symmetric || tw >= tb) temps.emplace_back(tw, tb);
          std::stable_sort(temps.begin(), temps.end(), [](const auto& x, const auto& y) {
            return x.first + x.second > y.first + y.second;
          });
          for (const auto& [tw, tb] : temps) {
            const TEdbClass c0{wm, bm, wk, bk, tw, tb};
            const TEdbClass c1{bm, wm, bk, wk, tb, tw};
            if (!SolveSlice(c0, c1, result)) {
              result.error = error_;
              return result;
            }
          }
        }
      }
    }
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.ok = true;
  return result;
}

TEgdbBuildResult BuildEndgameDatabases(const TEgdbBuildOptions& options) {
  TEgdbGenerator gen(options);
  return gen.Run();
}

}  // namespace quorlin
