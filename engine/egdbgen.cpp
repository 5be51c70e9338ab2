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

TMenLists MenConfigurations(const TEdbGeometry& g) {
  TMenLists lists(g.maxPerSide + 1, std::vector<std::vector<uint64_t>>(64));
  lists[0][0].push_back(0);
  for (int j = 1; j <= g.maxPerSide; ++j)
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

bool TEgdbGenerator::SolveSlice(const TEdbClass& c0, const TEdbClass& c1, TEgdbBuildResult& result) {
  const auto started = std::chrono::steady_clock::now();
  const bool twin = c0.id() != c1.id();
  const uint64_t n0 = masks_->ClassPositionCount(c0), n1 = twin ? masks_->ClassPositionCount(c1) : 0;
  const uint64_t total = n0 + n1;
  if (total >= std::numeric_limits<uint32_t>::max()) {
    error_ = "class " + EndgameFileName(c0) + " is too large";
    return false;
  }
  const TEdbClass part[2] = {c0, c1};
  const TGenerateMoves64Fn gen = BitboardGenerator(opt_.variant);
  const int rev = g_.revShift;

  enum : uint8_t { kFinal = 1, kInvalid = 2, kHasDraw = 4, kHasLoss = 8 };
  std::vector<uint16_t> val(total, 0);
  std::vector<uint8_t> state(total, 0), pending(total, 0);
  std::vector<uint16_t> maxWin(total, 0);
  std::vector<std::vector<uint32_t>> buckets(2);
  bool overflow = false;
  auto push = [&](uint64_t p, int v) {
    if (v > kMaxPlies) {
      overflow = true;
      return;
    }
    if (static_cast<size_t>(v) >= buckets.size()) buckets.resize(v + 1);
    buckets[v].push_back(static_cast<uint32_t>(p));
  };
  auto decode = [&](uint64_t p, TBitBoard64& bb) {
    return p < n0 ? DecodePositionIndex(c0, p, g_, men_, bb) : DecodePositionIndex(c1, p - n0, g_, men_, bb);
  };

  // Forward pass: successors outside the slice are known; count those inside.
  TBitBoard64 list[kMaxPositions64];
  for (uint64_t p = 0; p < total; ++p) {
    TBitBoard64 bb;
    if (!decode(p, bb)) {
      state[p] = kFinal | kInvalid;
      continue;
    }
    const int n = gen(bb, list);
    if (n == 0) {
      push(p, 1);
      continue;
    }
    int minLoss = std::numeric_limits<int>::max(), mw = 0, pend = 0;
    bool draw = false;
    for (int m = 0; m < n; ++m) {
      const TBitBoard64 f = FlippedBitBoard(list[m], rev);
      int s;
      if (f.w == 0) {
        s = 1;
      } else {
        TEdbClass cls;
        uint64_t idx;
        if (!masks_->PositionIndex(f, cls, idx)) {
          error_ =
              "a successor of a position of class " + EndgameFileName(part[p < n0 ? 0 : 1]) + " has no class";
          return false;
        }
        const int32_t id = cls.id();
        if (id == c0.id() || id == c1.id()) {
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
    pending[p] = static_cast<uint8_t>(std::min(pend, 255));
    if (pend > 255) {
      error_ = "too many reversible moves in one position";
      return false;
    }
    maxWin[p] = static_cast<uint16_t>(mw);
    if (draw) state[p] |= kHasDraw;
    if (minLoss != std::numeric_limits<int>::max()) {
      state[p] |= kHasLoss;
      push(p, minLoss + 1);
    } else if (pend == 0) {
      if (draw)
        state[p] |= kFinal;
      else
        push(p, mw + 1);
    }
  }

  // Backward pass in order of distance: a position finished as a loss makes its
  // predecessors wins one ply longer; one finished as a win removes itself from
  // its predecessors' open successors, and a predecessor left with only wins is
  // a loss one ply longer than the longest of them.
  TBitBoard64 plist[kMaxPositions64];
  for (size_t v = 1; v < buckets.size() && !overflow; ++v) {
    for (size_t q = 0; q < buckets[v].size(); ++q) {
      const uint32_t p = buckets[v][q];
      if (state[p] & kFinal) continue;
      state[p] |= kFinal;
      val[p] = static_cast<uint16_t>(v);
      TBitBoard64 bb;
      decode(p, bb);
      // The side that just moved is X; play its reversible moves backwards on a
      // board where the other side's pieces are X's men, so that nothing can be
      // captured and every blocking square stays blocked.
      const TBitBoard64 x = FlippedBitBoard(bb, rev);
      TBitBoard64 c{x.w | x.b, 0, x.k & x.w};
      const int n = gen(c, plist);
      const TEdbClass& other = part[p < n0 ? 1 : 0];
      for (int m = 0; m < n; ++m) {
        const uint64_t from = c.w & ~plist[m].w, dest = plist[m].w & ~c.w;
        if (PopCount64(from) != 1 || PopCount64(dest) != 1 || !(from & x.w)) continue;
        const bool wasKing = (x.k & from) != 0;
        if (wasKing != ((plist[m].k & dest) != 0)) continue;
        const TBitBoard64 r{(x.w & ~from) | dest, x.b, (x.k & ~from) | (wasKing ? dest : 0)};
        if (CapturingPieces64(r, opt_.variant) != 0) continue;
        TEdbClass rc;
        uint64_t ri;
        if (!masks_->PositionIndex(r, rc, ri) || rc.id() != other.id()) continue;
        const uint64_t rp = (twin && &other == &part[1]) ? n0 + ri : ri;
        if (state[rp] & kFinal) continue;
        if (v % 2) {
          push(rp, static_cast<int>(v) + 1);
        } else {
          maxWin[rp] = std::max<uint16_t>(maxWin[rp], static_cast<uint16_t>(v));
          if (pending[rp] == 0) {
            error_ = "predecessor count mismatch in class " + EndgameFileName(other);
            return false;
          }
          if (--pending[rp] == 0 && !(state[rp] & (kHasDraw | kHasLoss))) push(rp, maxWin[rp] + 1);
        }
      }
    }
    std::vector<uint32_t>().swap(buckets[v]);
  }
  if (overflow) {
    error_ = "class " + EndgameFileName(c0) + ": distances beyond " + std::to_string(kMaxPlies) + " plies";
    return false;
  }

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  for (int k = 0; k < (twin ? 2 : 1); ++k) {
    const uint64_t from = k == 0 ? 0 : n0, count = k == 0 ? n0 : n1;
    std::vector<uint16_t> values(val.begin() + from, val.begin() + from + count);
    TEgdbClassReport report;
    report.cls = part[k];
    for (uint64_t x = 0; x < count; ++x) {
      if (state[from + x] & kInvalid) continue;
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
    report.seconds = total ? seconds * count / total : 0;
    if (!WriteClass(part[k], values, report)) return false;
    result.bytes += report.bytes;
    if (opt_.progress) {
      char line[256];
      std::snprintf(
          line, sizeof line, "%-14s %10llu positions  +%llu -%llu =%llu  longest %d  %.2fs  %llu bytes",
          EndgameFileName(part[k]).c_str(), (unsigned long long)report.positions,
          (unsigned long long)report.wins, (unsigned long long)report.losses,
          (unsigned long long)report.draws, report.longest, report.seconds, (unsigned long long)report.bytes);
      opt_.progress(line);
    }
    result.classes.push_back(report);
    values_[part[k].id()] = std::move(values);
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
  men_ = MenConfigurations(g_);
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
