#include "engine/hashtable.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <random>

namespace quorlin {

namespace {

// The meta word: the small fields in the low 32 bits, a version that every
// finished write increments in bits 32..62, and the busy bit on top.
constexpr uint64_t kBusy = uint64_t{1} << 63;
constexpr uint64_t kVersionOne = uint64_t{1} << 32;
constexpr uint64_t kFieldsMask = 0xFFFFFFFFu;
constexpr uint64_t kVersionMask = ~kFieldsMask & ~kBusy;
// How often a probe or store looks again at a slot another thread is writing
// before it gives up on it (a write takes a few nanoseconds; a holder that
// the system has put to sleep is not waited for).
constexpr int kSpinLimit = 64;

using TWord = std::atomic_ref<uint64_t>;

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

uint64_t PackFields(const THashRec64& e) {
  return uint64_t{e.depth} | uint64_t{e.bestmove} << 8 | uint64_t{e.bestmove2} << 16 | uint64_t{e.used} << 24;
}

uint64_t PackBounds(float minval, float maxval) {
  return uint64_t{std::bit_cast<uint32_t>(minval)} | uint64_t{std::bit_cast<uint32_t>(maxval)} << 32;
}

THashRec64 Unpack(const uint64_t (&words)[5]) {
  THashRec64 e;
  e.pos = {words[0], words[1], words[2]};
  e.minval = std::bit_cast<float>(static_cast<uint32_t>(words[3]));
  e.maxval = std::bit_cast<float>(static_cast<uint32_t>(words[3] >> 32));
  e.depth = static_cast<uint8_t>(words[4]);
  e.bestmove = static_cast<uint8_t>(words[4] >> 8);
  e.bestmove2 = static_cast<uint8_t>(words[4] >> 16);
  e.used = static_cast<uint8_t>(words[4] >> 24);
  return e;
}

// A consistent copy of a slot and its meta word as it was before the copy.
// False when another thread kept writing it through every attempt.
bool ReadSlot(THashSlot& s, uint64_t (&words)[5]) {
  for (int attempt = 0; attempt < kSpinLimit; ++attempt) {
    const uint64_t before = TWord(s.meta).load(std::memory_order_acquire);
    if (before & kBusy) {
      Pause();
      continue;
    }
    words[0] = TWord(s.w).load(std::memory_order_relaxed);
    words[1] = TWord(s.b).load(std::memory_order_relaxed);
    words[2] = TWord(s.k).load(std::memory_order_relaxed);
    words[3] = TWord(s.bounds).load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (TWord(s.meta).load(std::memory_order_relaxed) == before) {
      words[4] = before;
      return true;
    }
  }
  return false;
}

// Takes the slot when its meta word is still `seen` (not busy).
bool TakeSlot(THashSlot& s, uint64_t seen) {
  return TWord(s.meta).compare_exchange_strong(seen, seen | kBusy, std::memory_order_acq_rel,
                                               std::memory_order_relaxed);
}

// Writes an entry into a slot this thread has taken and releases it.
void WriteAndRelease(THashSlot& s, uint64_t seen, const THashRec64& e) {
  TWord(s.w).store(e.pos.w, std::memory_order_relaxed);
  TWord(s.b).store(e.pos.b, std::memory_order_relaxed);
  TWord(s.k).store(e.pos.k, std::memory_order_relaxed);
  TWord(s.bounds).store(PackBounds(e.minval, e.maxval), std::memory_order_relaxed);
  const uint64_t version = ((seen & kVersionMask) + kVersionOne) & kVersionMask;
  TWord(s.meta).store(version | PackFields(e), std::memory_order_release);
}

// Releases a taken slot unchanged.
void Release(THashSlot& s, uint64_t seen) { TWord(s.meta).store(seen, std::memory_order_release); }

// The result of walking the probe sequence of a position.
struct TFound {
  int32_t slot = -1;  // where the walk stopped; -1: gave up or every slot holds another position
  uint64_t words[5] = {};
  bool empty() const { return words[0] == 0; }
};

// Linear probing: from the position's index, the first slot that holds the
// position or is empty.
TFound Walk(const THash& t, const TBitBoard64& pos) {
  TFound f;
  int32_t i = HashIndex(t, pos);
  for (int32_t steps = 0; steps < t.MaxSize; ++steps) {
    if (!ReadSlot(t.Positions[i], f.words)) return f;
    if (f.words[0] == 0 || (f.words[0] == pos.w && f.words[1] == pos.b && f.words[2] == pos.k)) {
      f.slot = i;
      return f;
    }
    if (++i == t.MaxSize) i = 0;
  }
  return f;
}

// Keeps the older best move as the second one when a search at least as deep
// brings another.
void KeepOldBestMove(const THashRec64& old, THashRec64& entry) {
  if (entry.depth >= old.depth && old.bestmove != entry.bestmove) entry.bestmove2 = old.bestmove;
}

// Linear probing without replacement: a position keeps its slot; a new one
// takes an empty slot only while at most half the slots are in use.
void StoreProbing(THash& t, THashRec64 entry) {
  for (int attempt = 0; attempt < kSpinLimit; ++attempt) {
    const TFound f = Walk(t, entry.pos);
    if (f.slot < 0) return;
    THashSlot& s = t.Positions[f.slot];
    if (f.empty()) {
      if (static_cast<int64_t>(t.CurSize.load(std::memory_order_relaxed)) * 2 >= t.MaxSize) return;
      if (!TakeSlot(s, f.words[4])) continue;  // someone else wrote it first: look again
      WriteAndRelease(s, f.words[4], entry);
      t.CurSize.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    if (!TakeSlot(s, f.words[4])) continue;
    // The slot is ours and unchanged since it was read.
    const THashRec64 old = Unpack(f.words);
    KeepOldBestMove(old, entry);
    if (entry.depth == old.depth) {
      entry.minval = std::max(old.minval, entry.minval);
      entry.maxval = std::min(old.maxval, entry.maxval);
    }
    if (entry.depth >= old.depth)
      WriteAndRelease(s, f.words[4], entry);
    else
      Release(s, f.words[4]);
    return;
  }
}

// One slot per index, replaced by depth.
void StoreReplacing(THash& t, THashRec64 entry) {
  THashSlot& s = t.Positions[HashIndex(t, entry.pos)];
  for (int attempt = 0; attempt < kSpinLimit; ++attempt) {
    uint64_t words[5];
    if (!ReadSlot(s, words)) return;
    if (!TakeSlot(s, words[4])) continue;
    const THashRec64 old = Unpack(words);
    if (old.pos.w == 0) {
      WriteAndRelease(s, words[4], entry);
      t.CurSize.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    const bool same = old.pos == entry.pos;
    if (same) KeepOldBestMove(old, entry);
    if (old.depth < entry.depth || (old.depth == entry.depth && same))
      WriteAndRelease(s, words[4], entry);
    else
      Release(s, words[4]);
    return;
  }
}

}  // namespace

bool HashInit(THash& table, int64_t megabytes, bool force, bool replace, std::string* error,
              const std::function<void(const std::string&)>& publish) {
  if (table.MaxSize > 0 && !force) return true;
  if (publish) publish("Init Memory");
  table.Replace = replace;
  table.Positions.reset();
  table.MaxSize = 0;
  table.CurSize = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (megabytes < 0) return fail("transposition table size must not be negative");
  // The entry count is a 32-bit number: at most 81919 MB.
  const int64_t entries = megabytes > INT64_MAX / (1024 * 1024) ? INT64_MAX : megabytes * 1024 * 1024 / 40;
  if (entries > INT32_MAX)
    return fail("transposition table of " + std::to_string(megabytes) + " MB is too large (at most " +
                std::to_string(int64_t{INT32_MAX} * 40 / (1024 * 1024)) + " MB)");
  if (entries > 0) {
    auto* p = static_cast<THashSlot*>(std::calloc(static_cast<size_t>(entries), sizeof(THashSlot)));
    if (!p)
      return fail("not enough memory for a transposition table of " + std::to_string(megabytes) + " MB");
    table.Positions.reset(p);
    table.MaxSize = static_cast<int32_t>(entries);
  }
  GenerateHashKeys(table);
  return true;
}

void GenerateHashKeys(THash& table) {
  std::mt19937 gen(std::random_device{}());
  std::uniform_int_distribution<int32_t> dist(0, 2147483646);
  for (auto& byValue : table.Keys)
    for (auto& byPosition : byValue)
      for (int32_t& key : byPosition) key = dist(gen);
}

int32_t HashIndex(const THash& table, const TBitBoard64& pos) {
  if (table.MaxSize <= 0) return 0;
  const uint64_t parts[3] = {pos.w, pos.b, pos.k};
  int32_t x = 0;
  for (int c = 0; c < 3; ++c)
    for (int byte = 0; byte < 8; ++byte) x ^= table.Keys[(parts[c] >> (8 * byte)) & 0xFF][7 - byte][c];
  // Keys are non-negative, so x is; unsigned arithmetic keeps any key set by
  // hand inside the table too.
  return static_cast<int32_t>(static_cast<uint32_t>(x) % static_cast<uint32_t>(table.MaxSize));
}

bool HashProbe(const THash& table, const TBitBoard64& pos, THashRec64& entry) {
  if (table.MaxSize <= 0) return false;
  if (table.Replace) {
    uint64_t words[5];
    if (!ReadSlot(table.Positions[HashIndex(table, pos)], words)) return false;
    entry = Unpack(words);
    return entry.pos.w != 0 && entry.pos == pos;
  }
  const TFound f = Walk(table, pos);
  if (f.slot < 0) return false;
  entry = Unpack(f.words);
  return !f.empty();
}

void HashStore(THash& table, THashRec64 entry) {
  if (entry.pos.w == 0 || table.MaxSize <= 0) return;
  entry.used = 0;
  if (table.Replace)
    StoreReplacing(table, entry);
  else
    StoreProbing(table, entry);
}

THashRec64 HashSlot(const THash& table, int32_t i) {
  uint64_t words[5] = {};
  if (i >= 0 && i < table.MaxSize) ReadSlot(table.Positions[i], words);
  return Unpack(words);
}

void HashClear(THash& table, const std::atomic<bool>* stop) {
  constexpr int32_t kChunk = 1000;
  for (int32_t i = 0; i < table.MaxSize; i += kChunk) {
    if (stop && stop->load()) return;
    const int32_t n = std::min(kChunk, table.MaxSize - i);
    std::memset(static_cast<void*>(&table.Positions[i]), 0, sizeof(THashSlot) * static_cast<size_t>(n));
  }
  table.CurSize = 0;
}

}  // namespace quorlin
