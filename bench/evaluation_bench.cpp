// Evaluations per second: count64bit40 with pattern weights of realistic size,
// and with a network of the 190-input (50-square) shape.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/evaluation.h"
#include "engine/network.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace {

using namespace quorlin;

// Middle-game-like positions on the 10 × 10 board: men spread over the board,
// a few kings, the side to move always with pieces.
std::vector<TBitBoard64> Positions(int count) {
  std::mt19937_64 gen(42);
  std::vector<TBitBoard64> out;
  while (static_cast<int>(out.size()) < count) {
    TBitBoard64 b;
    const int own = 6 + static_cast<int>(gen() % 15), opp = 6 + static_cast<int>(gen() % 15);
    auto place = [&](uint64_t& side, int n) {
      while (n > 0) {
        const int sq = 1 + static_cast<int>(gen() % 50);
        const uint64_t m = uint64_t{1} << SquareToBit50[sq];
        if ((b.w | b.b) & m) continue;
        side |= m;
        if (gen() % 12 == 0) b.k |= m;
        --n;
      }
    };
    place(b.w, own);
    place(b.b, opp);
    out.push_back(b);
  }
  return out;
}

// Single-square weights for every square plus `multi` patterns of 2..4 squares
// drawn from nearby squares, as a trained pattern file holds them.
TEvalFuncStatic PatternWeights(int multi) {
  std::mt19937_64 gen(7);
  TEvalFuncStatic f;
  f.Version = 40;
  f.ManValue = 100;
  f.KingValue = 300;
  f.SideBalanceMain = 3;
  f.SideBalanceExt = 2;
  f.KingsMain = 5;
  f.KingsDouble = 4;
  f.KingsTriple = 3;
  f.SideToMove = 2;
  f.QuantityType = 1;
  f.QuantityBonus = 1;
  f.Compress = 0.01f;
  for (int sq = 1; sq <= 50; ++sq) {
    const uint64_t m = uint64_t{1} << SquareToBit50[sq];
    AddPattern(f, {{m, 0, 0}, static_cast<int32_t>(gen() % 21) - 10});
    AddPattern(f, {{0, m, 0}, static_cast<int32_t>(gen() % 21) - 10});
    AddPattern(f, {{0, 0, m}, static_cast<int32_t>(gen() % 5) - 2});
  }
  while (f.RealSize < multi) {
    const int centre = 1 + static_cast<int>(gen() % 50);
    TPattern p;
    const int squares = 2 + static_cast<int>(gen() % 3);
    for (int i = 0; i < squares; ++i) {
      const int sq = std::clamp(centre + static_cast<int>(gen() % 13) - 6, 1, 50);
      const uint64_t m = uint64_t{1} << SquareToBit50[sq];
      if ((p.B.w | p.B.b | p.B.k) & m) continue;
      (gen() % 3 == 0 ? p.B.w : gen() % 2 ? p.B.b : p.B.k) |= m;
    }
    p.value = 1 + static_cast<int32_t>(gen() % 30);
    AddPattern(f, p);
    CompileEvf(f);
  }
  return f;
}

void BM_Count64bit40Patterns(benchmark::State& state) {
  InitRules();
  const TEvalFuncStatic f = PatternWeights(static_cast<int>(state.range(0)));
  const std::vector<TBitBoard64> positions = Positions(4096);
  const TEvalContext ctx{kInternational, false, nullptr};
  size_t i = 0;
  float sum = 0;
  for (auto _ : state) {
    sum += count64bit40(positions[i], static_cast<uint8_t>(i & 7), f, ctx);
    i = (i + 1) & 4095;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
  state.counters["patterns"] = f.RealSize;
}
BENCHMARK(BM_Count64bit40Patterns)->Arg(0)->Arg(100)->Arg(300)->Arg(600);

MyTNNet Network(int hidden1, int hidden2) {
  std::mt19937 gen(3);
  std::normal_distribution<float> d(0, 0.1f);
  const std::vector<int> sizes = {190, hidden1, hidden2, 1};
  MyTNNet n;
  n.InputSize = 190;
  n.OutPutSize = 1;
  n.NetType = 1;
  n.IsBias = true;
  n.NetInput.assign(190, 0);
  n.NetOutput.assign(1, 0);
  for (size_t l = 0; l < sizes.size(); ++l) {
    MyTNNLayer layer(sizes[l]);
    if (l > 0)
      for (MyTNeuron& neuron : layer) {
        neuron.weights.resize(sizes[l - 1]);
        for (float& w : neuron.weights) w = d(gen);
        neuron.inertia.assign(sizes[l - 1], 0);
      }
    n.Neurons.push_back(std::move(layer));
  }
  NetCompile(n);
  return n;
}

void BM_Count64bit40Network190(benchmark::State& state) {
  InitRules();
  TEvalFuncStatic f;
  f.UseNN = true;
  f.Net = Network(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const std::vector<TBitBoard64> positions = Positions(4096);
  const TEvalContext ctx{kInternational, false, nullptr};
  size_t i = 0;
  float sum = 0;
  for (auto _ : state) {
    sum += count64bit40(positions[i], 10, f, ctx);
    i = (i + 1) & 4095;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Count64bit40Network190)->Args({32, 8})->Args({64, 16})->Args({128, 32});

}  // namespace

BENCHMARK_MAIN();
