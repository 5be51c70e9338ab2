// Endgame database probes per second: a Russian database of up to four pieces
// is generated once (MTW and WDL), loaded, and probed with random positions of
// its classes, as the search probes them (side to move without a capture).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/egdbgen.h"
#include "engine/endgamedb.h"
#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

struct TFixture {
  std::string folder;
  std::vector<TBitBoard64> positions;
  TEbType type;
};

// Generates the databases of `type` (once per type) and a probe list.
TFixture& Fixture(TEbType type) {
  static TFixture fixtures[2];
  TFixture& f = fixtures[type == ebMTW ? 0 : 1];
  if (!f.positions.empty()) return f;
  f.type = type;
  f.folder = (std::filesystem::temp_directory_path() /
              ("quorlin_egdb_bench_" + std::to_string(getpid()) + (type == ebMTW ? "_mtw" : "_wdl")))
                 .string();
  TEgdbBuildOptions opt;
  opt.variant = kRussian;
  opt.maxPieces = 4;
  opt.type = type;
  opt.outFolder = f.folder;
  TEgdbGenerator gen(opt);
  const TEgdbBuildResult r = gen.Run();
  if (!r.ok) return f;
  TRandom rng(12345);
  while (f.positions.size() < 100000) {
    const TEgdbClassReport& c = r.classes[rng.Below(static_cast<uint32_t>(r.classes.size()))];
    const uint64_t n = gen.Masks().ClassPositionCount(c.cls);
    TBitBoard64 bb;
    if (n == 0 || !DecodePositionIndex(c.cls, rng.Next() % n, gen.Geometry(), gen.MenLists(), bb)) continue;
    if (CapturingPieces64(bb, kRussian) != 0) continue;
    f.positions.push_back(bb);
  }
  return f;
}

std::shared_ptr<const TEndgameDb> Load(TFixture& f) {
  return TEndgameDb::Load(kRussian, false, f.folder, {});
}

void BM_ProbeRandom(benchmark::State& state, TEbType type) {
  TFixture& f = Fixture(type);
  if (f.positions.empty()) {
    state.SkipWithError("generation failed");
    return;
  }
  const std::shared_ptr<const TEndgameDb> db = Load(f);
  size_t i = 0;
  int64_t found = 0;
  for (auto _ : state) {
    float ev;
    found += db->GetEBevalPlay(f.positions[i], false, {}, ev);
    if (++i == f.positions.size()) i = 0;
  }
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_ProbeRandom, MTW, ebMTW);
BENCHMARK_CAPTURE(BM_ProbeRandom, WDL, ebWDL);

// Neighbouring positions (same block): what a search mostly sees near a leaf.
void BM_ProbeSameBlock(benchmark::State& state) {
  TFixture& f = Fixture(ebMTW);
  if (f.positions.empty()) {
    state.SkipWithError("generation failed");
    return;
  }
  const std::shared_ptr<const TEndgameDb> db = Load(f);
  const TBitBoard64 bb = f.positions[0];
  for (auto _ : state) {
    float ev;
    benchmark::DoNotOptimize(db->GetEBevalPlay(bb, false, {}, ev));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProbeSameBlock);

}  // namespace
}  // namespace quorlin

int main(int argc, char** argv) {
  quorlin::InitRules();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* suffix : {"_mtw", "_wdl"}) {
    std::error_code ec;
    std::filesystem::remove_all(
        std::filesystem::temp_directory_path() / ("quorlin_egdb_bench_" + std::to_string(getpid()) + suffix),
        ec);
  }
  return 0;
}
