#pragma once
// The transposition table shared by the engine's worker threads: bounds,
// remaining depth and best moves of positions met by the bitboard search.
//
// Workers probe and store without a common lock. A slot is five 64-bit words
// (the position, both bounds, and a word with depth, best moves, a version and
// a busy bit), touched only through atomic operations. A store takes the slot
// by setting its busy bit, writes, and releases it with a new version; a probe
// copies the words and keeps the copy only when the version word was the same
// and not busy before and after, so no thread ever sees a half-written entry.
// A slot another thread holds for longer than a short spin is treated as a
// miss (a probe finds nothing, a store is dropped): the table is a hint, and a
// lost store costs a little search, never a wrong value.
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "rules/board.h"

namespace quorlin {

struct THashRec64 {
  TBitBoard64 pos;        // side to move in w; the entry is empty when pos.w = 0
  float minval = 0;       // lower bound of the value
  float maxval = 0;       // upper bound of the value
  uint8_t depth = 0;      // remaining depth of the search that stored it
  uint8_t bestmove = 0;   // 1-based index in the generator's move list, 0 = none
  uint8_t bestmove2 = 0;  // previous best move replaced by a deeper or equal search
  uint8_t used = 0;       // stored as 0
};

// One slot of the table as it lies in memory (40 bytes, like THashRec64).
struct THashSlot {
  uint64_t w, b, k;  // the position
  uint64_t bounds;   // minval in the low half, maxval in the high half (float bits)
  uint64_t meta;     // depth, bestmove, bestmove2, used; version; busy bit
};
static_assert(sizeof(THashSlot) == 40, "the table is sized at 40 bytes per entry");

struct THash {
  // calloc'ed so that a fresh table is empty without touching its pages.
  struct FreeDeleter {
    void operator()(THashSlot* p) const { std::free(p); }
  };
  std::unique_ptr<THashSlot[], FreeDeleter> Positions;
  int32_t MaxSize = 0;              // number of entries
  std::atomic<int32_t> CurSize{0};  // occupied entries (read by the display)
  bool Replace = false;             // true: one slot per index, replaced by depth
  std::array<std::array<std::array<int32_t, 3>, 8>, 256> Keys{};  // [byte value][7 - byte][component]
};

// Allocates the table for `megabytes` MB (40 bytes per entry), empties it and
// draws new keys, unless it already has entries and `force` is false.
// `publish`, when given, receives the information line "Init Memory". Returns
// false with `error` filled when the size is refused or memory cannot be had;
// the table is then empty (MaxSize 0), and probes find nothing and stores do
// nothing. Not while other threads use the table.
bool HashInit(THash& table, int64_t megabytes, bool force, bool replace, std::string* error = nullptr,
              const std::function<void(const std::string&)>& publish = {});

// Fills Keys with random integers in 0..2147483646.
void GenerateHashKeys(THash& table);

// Slot of a position: the exclusive-or of one key per byte of w, b and k,
// modulo MaxSize (0 for an unallocated table).
int32_t HashIndex(const THash& table, const TBitBoard64& pos);

// Looks the position up; `entry` receives a copy of the slot the search
// stopped at. True when the position is there.
bool HashProbe(const THash& table, const TBitBoard64& pos, THashRec64& entry);

// Stores an entry by the table's policy. An entry whose pos.w is 0 would read
// as an empty slot and is not stored.
void HashStore(THash& table, THashRec64 entry);

// A copy of slot i (0 <= i < MaxSize), for the display and for tests.
THashRec64 HashSlot(const THash& table, int32_t i);

// Empties every slot; every 1000 slots it looks at `stop` and returns at once
// when it is set, leaving CurSize unchanged. Clearing to the end sets CurSize 0.
// Not while other threads use the table.
void HashClear(THash& table, const std::atomic<bool>* stop);

}  // namespace quorlin
