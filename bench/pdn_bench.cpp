// Speed of PDN import (games per second), of saving one game with new names
// into a large database, of opening it, and of database search on the Open
// Checkers Archive (22,621 English games). The file is taken from
// QUORLIN_CORPUS_DIR/pdn, or from the shared corpus beside the source tree.
// Also the speed of replacing a game of a small database, which needs no file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "games/database.h"
#include "games/dbsearch.h"
#include "games/pdnfile.h"
#include "rules/variants.h"

namespace {

using namespace quorlin;
namespace fs = std::filesystem;

fs::path ArchivePath() {
  if (const char* d = std::getenv("QUORLIN_CORPUS_DIR")) return fs::path(d) / "pdn" / "english_oca2.pdn";
  return fs::path(__FILE__).parent_path() / ".." / ".." / "shared" / "corpus" / "pdn" / "english_oca2.pdn";
}

const std::string& ArchiveText() {
  static const std::string text = [] {
    std::ifstream in(ArchivePath(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }();
  return text;
}

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("quorlin-pdn-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// Database of the whole archive, imported once for the search benchmarks.
const std::string& ArchiveDatabase() {
  static const std::string db = [] {
    const std::string path = (WorkDir() / "oca2.abd").string();
    TPdnReadReport report;
    std::string error;
    ImportPdnFile(ArchivePath().string(), path, kEnglish, report, error);
    return path;
  }();
  return db;
}

void BM_ReadPdnText(benchmark::State& state) {
  InitRules();
  const std::string& text = ArchiveText();
  if (text.empty()) return state.SkipWithError("english_oca2.pdn not found");
  int games = 0;
  for (auto _ : state) {
    TPdnReadReport report;
    ReadPdnText(
        text, kEnglish, [](TGame&, int, std::string&) { return true; }, report);
    games += report.gamesWhole + report.gamesStopped;
  }
  state.SetItemsProcessed(games);
  state.counters["games/s"] = benchmark::Counter(games, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadPdnText)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportPdnFile(benchmark::State& state) {
  InitRules();
  if (ArchiveText().empty()) return state.SkipWithError("english_oca2.pdn not found");
  int games = 0, round = 0;
  for (auto _ : state) {
    const std::string db = (WorkDir() / ("import" + std::to_string(round++) + ".abd")).string();
    TPdnReadReport report;
    std::string error;
    if (!ImportPdnFile(ArchivePath().string(), db, kEnglish, report, error))
      state.SkipWithError(error.c_str());
    games += report.gamesStored;
  }
  state.counters["games/s"] = benchmark::Counter(games, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImportPdnFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// One game saved with new player, tournament and site names into the archive's
// database, as the game-information window saves: the names file (all the
// archive's names) is written whole before the game's index record.
void BM_SaveGameWithNewNames(benchmark::State& state) {
  InitRules();
  if (ArchiveText().empty()) return state.SkipWithError("english_oca2.pdn not found");
  // A copy, so that the searches below see the archive alone.
  const fs::path archive = ArchiveDatabase();
  const fs::path copy = WorkDir() / "save.abd";
  for (const char* ext : {".abd", ".abm", ".abn"}) {
    std::error_code ec;
    fs::copy_file(fs::path(archive).replace_extension(ext), fs::path(copy).replace_extension(ext),
                  fs::copy_options::overwrite_existing, ec);
  }
  TQuorlinDB db;
  if (!OpenDatabase(copy.string(), db, false)) return state.SkipWithError("database not imported");
  TGame game;
  if (!ReadGame(db, 1, false, -1, game)) return state.SkipWithError(db.LastError.c_str());
  int saved = 0;
  for (auto _ : state) {
    const std::string n = std::to_string(saved++);
    game.WhiteName = "New white " + n;
    game.BlackName = "New black " + n;
    game.Tournament = "New event " + n;
    if (!WriteGame(game, 0, db, true)) return state.SkipWithError(db.LastError.c_str());
  }
  state.counters["names"] = db.DBNames.Count();
}
BENCHMARK(BM_SaveGameWithNewNames)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// Replacing game 1 of a small database again and again, with the writes
// flushed to the disk (sync:1) or not (sync:0).
void BM_ReplaceGame(benchmark::State& state) {
  InitRules();
  const char* const games =
      "[White \"Ann\"]\n[Black \"Bob\"]\n[Result \"*\"]\n\n1. c3-d4 f6-e5 2. d4xf6 g7xe5 3. b2-c3 h6-g5 *\n\n"
      "[White \"Cid\"]\n[Black \"Dan\"]\n[Result \"*\"]\n\n1. e3-f4 b6-a5 2. g3-h4 *\n\n";
  const std::string path = (WorkDir() / ("replace" + std::to_string(state.range(0)) + ".abd")).string();
  TQuorlinDB db;
  if (!CreateDatabase(path, db, kDBVersion38, true)) return state.SkipWithError(db.LastError.c_str());
  TPdnReadReport report;
  std::string error;
  if (!ImportPdnText(games, db, kRussian, report, error) || !EndBatch(db))
    return state.SkipWithError(error.empty() ? db.LastError.c_str() : error.c_str());
  db.SyncWrites = state.range(0) != 0;
  TGame game;
  if (!ReadGame(db, 1, false, -1, game)) return state.SkipWithError(db.LastError.c_str());
  for (auto _ : state) {
    if (!WriteGame(game, 1, db, true)) return state.SkipWithError(db.LastError.c_str());
  }
}
BENCHMARK(BM_ReplaceGame)->ArgName("sync")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Opening the archive's database: the names file is read and every index
// record is looked at for names a crash may have cost.
void BM_OpenDatabase(benchmark::State& state) {
  InitRules();
  if (ArchiveText().empty()) return state.SkipWithError("english_oca2.pdn not found");
  const std::string path = ArchiveDatabase();
  for (auto _ : state) {
    TQuorlinDB db;
    if (!OpenDatabase(path, db, true)) return state.SkipWithError(db.LastError.c_str());
    benchmark::DoNotOptimize(db.DBSize);
  }
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

// Position after 1. 11-15 23-19 2. 8-11 22-17, the first mover to play.
TSearchInfo SoughtPosition() {
  TSearchInfo info;
  TPdnReadReport report;
  TBoard board;
  ReadPdnText(
      "[GameType \"21\"] 1. 11-15 23-19 2. 8-11 22-17 *", kEnglish,
      [&](TGame& g, int, std::string&) {
        int node = 0;
        while (g.Moves[node].next) node = g.Moves[node].next;
        ReplayGameLine(g, node, board);
        return true;
      },
      report);
  info.brdsearch = board.b;
  return info;
}

void BM_PositionSearch(benchmark::State& state) {
  InitRules();
  if (ArchiveText().empty()) return state.SkipWithError("english_oca2.pdn not found");
  TQuorlinDB db;
  if (!OpenDatabase(ArchiveDatabase(), db, true)) return state.SkipWithError("database not imported");
  TSearchInfo info = SoughtPosition();
  TDBList list;
  for (auto _ : state) {
    SearchDatabase(db, info, true, TDColor::white, VariantTable[kEnglish].compute.BoardSize, list);
    benchmark::DoNotOptimize(list.count);
  }
  state.counters["games"] = db.DBSize;
  state.counters["found"] = list.count;
}
BENCHMARK(BM_PositionSearch)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_HeaderSearch(benchmark::State& state) {
  InitRules();
  if (ArchiveText().empty()) return state.SkipWithError("english_oca2.pdn not found");
  TQuorlinDB db;
  if (!OpenDatabase(ArchiveDatabase(), db, true)) return state.SkipWithError("database not imported");
  TSearchInfo info;
  info.name[0] = "wyllie";
  info.ignorecol = true;
  TDBList list;
  for (auto _ : state) {
    SearchDatabase(db, info, false, TDColor::white, 32, list);
    benchmark::DoNotOptimize(list.count);
  }
  state.counters["found"] = list.count;
}
BENCHMARK(BM_HeaderSearch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(WorkDir(), ec);
  return 0;
}
