#include "engine/hashtable.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

namespace quorlin {

namespace {

// Slot where a linear probe for `pos` stops: the slot holding it or the first
// empty one. -1 when every slot holds another position (only possible when a
// table filled under the other policy is read this way).
int32_t ProbeSlot(const THash& t, const TBitBoard64& pos) {
  int32_t i = HashIndex(t, pos);
  for (int32_t steps = 0; steps < t.MaxSize; ++steps) {
    const THashRec64& e = t.Positions[i];
    if (e.pos.w == 0 || e.pos == pos) return i;
    if (++i == t.MaxSize) i = 0;
  }
  return -1;
}

}  // namespace

bool HashInit(THash& table, int64_t megabytes, bool force, bool replace, std::string* error,
              const std::function<void(const std::string&)>& publish) {
  std::lock_guard<std::mutex> guard(table.Lock);
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
    auto* p = static_cast<THashRec64*>(std::calloc(static_cast<size_t>(entries), sizeof(THashRec64)));
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

bool HashProbe(THash& table, const TBitBoard64& pos, THashRec64& entry) {
  std::lock_guard<std::mutex> guard(table.Lock);
  if (table.MaxSize <= 0) return false;
  if (table.Replace) {
    entry = table.Positions[HashIndex(table, pos)];
    return entry.pos.w != 0 && entry.pos == pos;
  }
  const int32_t slot = ProbeSlot(table, pos);
  if (slot < 0) return false;
  entry = table.Positions[slot];
  return entry.pos.w != 0;
}

void HashStore(THash& table, THashRec64 entry) {
  if (entry.pos.w == 0) return;
  entry.used = 0;
  std::lock_guard<std::mutex> guard(table.Lock);
  if (table.MaxSize <= 0) return;
  if (!table.Replace) {
    const int32_t i = ProbeSlot(table, entry.pos);
    if (i < 0) return;
    THashRec64& slot = table.Positions[i];
    if (slot.pos.w != 0) {  // the same position
      if (entry.depth >= slot.depth && slot.bestmove != entry.bestmove) entry.bestmove2 = slot.bestmove;
      if (entry.depth == slot.depth) {
        entry.minval = std::max(slot.minval, entry.minval);
        entry.maxval = std::min(slot.maxval, entry.maxval);
      }
      if (entry.depth >= slot.depth) slot = entry;
    } else if (static_cast<int64_t>(table.CurSize.load()) * 2 < table.MaxSize) {
      slot = entry;
      table.CurSize.fetch_add(1);
    }
    return;
  }
  THashRec64& slot = table.Positions[HashIndex(table, entry.pos)];
  if (slot.pos.w != 0) {
    const bool same = slot.pos == entry.pos;
    if (same && entry.depth >= slot.depth && slot.bestmove != entry.bestmove) entry.bestmove2 = slot.bestmove;
    if (slot.depth < entry.depth || (slot.depth == entry.depth && same)) slot = entry;
  } else {
    slot = entry;
    table.CurSize.fetch_add(1);
  }
}

void HashClear(THash& table, const std::atomic<bool>* stop) {
  std::lock_guard<std::mutex> guard(table.Lock);
  for (int32_t i = 0; i < table.MaxSize; ++i) {
    if (i % 1000 == 0 && stop && stop->load()) return;
    table.Positions[i] = THashRec64{};
  }
  table.CurSize = 0;
}

}  // namespace quorlin
