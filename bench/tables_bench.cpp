// Bit counting by 16-bit tables versus the compiler builtin.
#include <benchmark/benchmark.h>

#include "rules/tables.h"

static void BM_PopCountTables(benchmark::State& state) {
  quorlin::InitTables();
  uint64_t x = 0x123456789abcdefULL, sum = 0;
  for (auto _ : state) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    sum += quorlin::BitCount16[x & 0xffff] + quorlin::BitCount16[(x >> 16) & 0xffff] +
           quorlin::BitCount16[(x >> 32) & 0xffff] + quorlin::BitCount16[x >> 48];
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_PopCountTables);

static void BM_PopCountBuiltin(benchmark::State& state) {
  uint64_t x = 0x123456789abcdefULL, sum = 0;
  for (auto _ : state) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    sum += __builtin_popcountll(x);
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_PopCountBuiltin);

BENCHMARK_MAIN();
