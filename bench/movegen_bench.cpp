// Speed of the square-list move generator: perft from the start position.
#include <benchmark/benchmark.h>

#include "rules/movegen.h"
#include "rules/perft.h"
#include "rules/variants.h"

namespace {

using namespace quorlin;

void PerftFromStart(benchmark::State& state, int variant, bool dedupe) {
  InitRules();
  const TGameParams& p = VariantTable[variant];
  TBoard board;
  board.b = StartPosition(p, false);
  const int depth = static_cast<int>(state.range(0));
  uint64_t nodes = 0;
  for (auto _ : state) {
    const uint64_t n = Perft(board, 0, depth, p, dedupe);
    benchmark::DoNotOptimize(n);
    nodes += n;
  }
  state.SetItemsProcessed(static_cast<int64_t>(nodes));
}

void BM_PerftInternational(benchmark::State& state) { PerftFromStart(state, kInternational, true); }
void BM_PerftInternationalKeep(benchmark::State& state) { PerftFromStart(state, kInternational, false); }
void BM_PerftEnglish(benchmark::State& state) { PerftFromStart(state, kEnglish, true); }

BENCHMARK(BM_PerftInternational)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerftInternationalKeep)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerftEnglish)->Arg(7)->Arg(8)->Unit(benchmark::kMillisecond);

// One generation on a middle-game-like position with captures for both kinds of
// piece (International: a flying king and a man ring).
void BM_GenerateInternationalCaptures(benchmark::State& state) {
  InitRules();
  const TGameParams& p = VariantTable[kInternational];
  TBoard board;
  for (int s : {13, 5}) board.b[s] = kWhiteMan;
  board.b[1] = kWhiteKing;
  for (int s : {17, 27, 28, 18, 9, 33}) board.b[s] = kBlackMan;
  TMvs list;
  uint8_t count = 0;
  for (auto _ : state) {
    GenerateMoves(board, 0, list, count, p, true);
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GenerateInternationalCaptures);

}  // namespace

BENCHMARK_MAIN();
