// Speed of the 64-bit move generator: perft from the start positions of
// International and Russian (full and bulk counting), generation on random
// middle-game positions, and the square-list perft for comparison.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "rules/bitmovegen.h"
#include "rules/bitperft.h"
#include "rules/perft.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace {

using namespace quorlin;

TBoard Start(int variant) {
  TBoard b;
  b.b = StartPosition(VariantTable[variant], false);
  return b;
}

// Args: variant, depth, bulk.
void BM_PerftBitboard(benchmark::State& state) {
  InitRules();
  const int variant = static_cast<int>(state.range(0));
  const int depth = static_cast<int>(state.range(1));
  const bool bulk = state.range(2) != 0;
  const TBoard start = Start(variant);
  uint64_t nodes = 0;
  for (auto _ : state) {
    const uint64_t n = PerftBitboard(start, 0, depth, variant, bulk);
    benchmark::DoNotOptimize(n);
    nodes += n;
  }
  state.counters["nodes/s"] = benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
  state.SetLabel(VariantTable[variant].Name + (bulk ? " bulk" : " full"));
}
BENCHMARK(BM_PerftBitboard)
    ->Args({kInternational, 8, 1})
    ->Args({kInternational, 7, 0})
    ->Args({kInternational, 9, 0})
    ->Args({kRussian, 10, 1})
    ->Args({kRussian, 9, 0})
    ->Args({kItalian, 10, 1})
    ->Args({kTurkish, 7, 1})
    ->Unit(benchmark::kMillisecond);
// The figure quoted for the generator: International perft 10 with bulk
// counting, 259 million leaves (about a second).
BENCHMARK(BM_PerftBitboard)->Args({kInternational, 10, 1})->Iterations(3)->Unit(benchmark::kMillisecond);

// The square-list generator on the same trees (smaller depths).
void BM_PerftSquareList(benchmark::State& state) {
  InitRules();
  const int variant = static_cast<int>(state.range(0));
  const int depth = static_cast<int>(state.range(1));
  const TBoard start = Start(variant);
  uint64_t nodes = 0;
  for (auto _ : state) {
    const uint64_t n = Perft(start, 0, depth, VariantTable[variant], true);
    benchmark::DoNotOptimize(n);
    nodes += n;
  }
  state.counters["nodes/s"] = benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
  state.SetLabel(VariantTable[variant].Name);
}
BENCHMARK(BM_PerftSquareList)->Args({kInternational, 6})->Args({kRussian, 8})->Unit(benchmark::kMillisecond);

// One call of GenerateMoves64 on random positions with men and kings.
void BM_GenerateMoves64Random(benchmark::State& state) {
  InitRules();
  const int variant = static_cast<int>(state.range(0));
  const TGameParams& p = VariantTable[variant];
  TRandom rng(11);
  std::vector<TBitBoard64> positions;
  const int men = p.compute.BoardSize / 4;
  while (positions.size() < 4096) {
    TBoard b;
    if (!GeneratePosition(men, men, 1, 1, b.b, false, false, false, p, rng)) continue;
    TBitBoard64 bits;
    BoardToBit64(b, bits, variant);
    positions.push_back(bits);
  }
  const TGenerateMoves64Fn generate = BitboardGenerator(variant);
  auto list = std::make_unique<TPositionList64>();
  size_t i = 0;
  uint64_t listed = 0;
  for (auto _ : state) {
    listed += generate(positions[i], list->data());
    benchmark::ClobberMemory();
    i = (i + 1) & 4095;
  }
  state.counters["positions/s"] =
      benchmark::Counter(static_cast<double>(listed), benchmark::Counter::kIsRate);
  state.SetLabel(p.Name);
}
BENCHMARK(BM_GenerateMoves64Random)->Arg(kInternational)->Arg(kRussian)->Arg(kTurkish)->Arg(kItalian);

}  // namespace

BENCHMARK_MAIN();
