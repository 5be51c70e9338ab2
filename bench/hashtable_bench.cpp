// Transposition-table operations per second from one and from two threads on
// the engine's 128 MB table: a probe and a store per position, over positions
// spread through the whole table, as the search mixes them. With workers that
// share no lock, two threads should do about twice the operations of one.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/hashtable.h"

namespace {

using namespace quorlin;

constexpr int64_t kTableMegabytes = 128;

THash& SharedTable() {
  static const std::unique_ptr<THash> table = [] {
    auto t = std::make_unique<THash>();
    HashInit(*t, kTableMegabytes, true, false);
    return t;
  }();
  return *table;
}

// Positions of one thread: different threads use different positions, as
// workers on different root moves mostly do.
std::vector<TBitBoard64> Positions(int thread, int count) {
  std::mt19937_64 gen(1000 + thread);
  std::vector<TBitBoard64> out(count);
  for (TBitBoard64& p : out) p = TBitBoard64{gen() | 1, gen(), gen() & gen()};
  return out;
}

void BM_ProbeAndStore(benchmark::State& state) {
  THash& table = SharedTable();
  if (state.thread_index() == 0) HashClear(table, nullptr);
  const std::vector<TBitBoard64> positions = Positions(state.thread_index(), 1 << 16);
  size_t i = 0;
  int64_t found = 0;
  for (auto _ : state) {
    const TBitBoard64& pos = positions[i];
    THashRec64 e;
    found += HashProbe(table, pos, e);
    e.pos = pos;
    e.minval = -1;
    e.maxval = 1;
    e.depth = static_cast<uint8_t>(i & 15);
    e.bestmove = 1;
    HashStore(table, e);
    if (++i == positions.size()) i = 0;
  }
  state.counters["found"] =
      benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProbeAndStore)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
