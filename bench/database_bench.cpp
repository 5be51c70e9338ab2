// Speed of replacing a stored game: game 1 of a small database is written
// again and again, with the writes flushed to the disk (argument 1) or not (0).
// The database lives in a folder of its own under the temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "games/database.h"
#include "games/pdnfile.h"
#include "rules/variants.h"

namespace {

using namespace quorlin;
namespace fs = std::filesystem;

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("quorlin-db-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

const char* const kGames =
    "[Event \"Club\"]\n[White \"Ann\"]\n[Black \"Bob\"]\n[Result \"*\"]\n\n"
    "1. c3-d4 f6-e5 2. d4xf6 g7xe5 3. b2-c3 h6-g5 *\n\n"
    "[Event \"Club\"]\n[White \"Cid\"]\n[Black \"Dan\"]\n[Result \"*\"]\n\n"
    "1. e3-f4 b6-a5 2. g3-h4 *\n\n"
    "[Event \"Club\"]\n[White \"Eve\"]\n[Black \"Ann\"]\n[Result \"*\"]\n\n"
    "1. c3-b4 f6-g5 *\n\n";

void BM_ReplaceGame(benchmark::State& state) {
  InitRules();
  const std::string path = (WorkDir() / ("replace" + std::to_string(state.range(0)) + ".abd")).string();
  TQuorlinDB db;
  if (!CreateDatabase(path, db, kDBVersion38, true)) return state.SkipWithError(db.LastError.c_str());
  TPdnReadReport report;
  std::string error;
  if (!ImportPdnText(kGames, db, kRussian, report, error) || !EndBatch(db))
    return state.SkipWithError(error.empty() ? db.LastError.c_str() : error.c_str());
  db.SyncWrites = state.range(0) != 0;
  TGame game;
  if (!ReadGame(db, 1, false, -1, game)) return state.SkipWithError(db.LastError.c_str());
  for (auto _ : state) {
    if (!WriteGame(game, 1, db, true)) return state.SkipWithError(db.LastError.c_str());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplaceGame)->ArgName("sync")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(WorkDir(), ec);
  return 0;
}
