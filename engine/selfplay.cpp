#include "engine/selfplay.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "games/database.h"
#include "rules/variants.h"

namespace quorlin {

std::vector<TOpeningLine> SelfPlayOpenings(const TSelfPlayOptions& o, int count,
                                           std::vector<std::string>* warnings) {
  std::vector<TOpeningLine> openings;
  if (!o.openings.empty()) {
    openings = DatabaseOpeningLines(o.openings, o.variant, warnings, nullptr, true);
    if (openings.empty())
      throw std::runtime_error("the openings database \"" + o.openings + "\" has no game that replays in " +
                               VariantTable[o.variant].Name);
    // Every game gets its own copy of a ballot, varied by its random plies.
    std::vector<TOpeningLine> dealt;
    dealt.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) dealt.push_back(openings[static_cast<size_t>(i) % openings.size()]);
    ShuffleOpenings(dealt, o.seed);
    ExtendOpenings(dealt, o.variant, o.randomPlies < 0 ? 2 : o.randomPlies, o.seed + 1);
    return dealt;
  }
  return RandomOpeningLines(o.variant, count, o.randomPlies < 0 ? 6 : o.randomPlies, o.seed);
}

TSelfPlayResult RunSelfPlay(const TSelfPlayOptions& o, const std::function<void(const TSelfPlayGame&)>& onGame) {
  if (o.games < 1) throw std::runtime_error("no games to play");
  const auto started = std::chrono::steady_clock::now();
  const std::vector<TOpeningLine> openings = SelfPlayOpenings(o, o.games);

  // One engine per worker (it plays both sides: the table is shared by the two
  // sides of its game, as in a match of an engine against itself).
  struct TWorker {
    TAnalysisInfo info;
    std::atomic<bool> stop{false};
    std::unique_ptr<TEngine> engine;
  };
  const int threads = std::max(1, std::min(o.threads, o.games));
  std::vector<std::unique_ptr<TWorker>> workers;
  bool giveaway = false;
  std::string name;
  for (int t = 0; t < threads; ++t) {
    auto w = std::make_unique<TWorker>();
    w->engine = std::make_unique<TEngine>(&w->info, &w->stop, o.hashMb);
    if (!w->engine->LoadFromFile(o.engine, o.variant))
      throw std::runtime_error("engine description \"" + o.engine + "\" not found");
    w->engine->ThreadsCount = 1;
    w->engine->AnalysisMode = false;
    if (!o.edFolder.empty()) w->engine->SetEDFolder(o.edFolder);
    giveaway = w->engine->EvalFunc().Giveaway;
    name = w->engine->Name();
    workers.push_back(std::move(w));
  }
  std::shared_ptr<const TEndgameDb> adjudicator;
  if (!o.edFolder.empty()) adjudicator = TEndgameDb::Shared(o.variant, giveaway, o.edFolder, TEdbCallbacks{});

  TQuorlinDB db;
  if (!OpenOrCreateDatabase(o.out, db)) throw std::runtime_error("cannot open \"" + o.out + "\": " + db.LastError);

  std::mutex lock;  // guards db, result, firstError and the onGame calls
  TSelfPlayResult result;
  std::string firstError;
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};

  auto work = [&](TWorker& w) {
    TGame game;
    for (;;) {
      const int g = next.fetch_add(1);
      if (g >= o.games || failed.load()) return;
      TEngineGameOptions go;
      go.variant = o.variant;
      go.budgetCs = o.nodes > 0 ? 100000 : std::max(1, o.msPerMove / 10);
      go.nodes = o.nodes;
      go.maxPlies = o.maxPlies;
      go.giveaway = giveaway;
      go.round = g + 1;
      go.whiteName = name;
      go.blackName = name;
      go.tournament = "Self-play, " + (o.nodes > 0 ? std::to_string(o.nodes) + " positions"
                                                   : std::to_string(o.msPerMove) + " ms") + " per move";
      go.site = "quorlin selfplay";
      go.adjudicator = adjudicator;
      TSelfPlayGame done;
      done.number = g + 1;
      done.opening = openings[static_cast<size_t>(g)].label;
      try {
        done.outcome = PlayEngineGame(game, openings[static_cast<size_t>(g)], *w.engine, *w.engine, go);
      } catch (const std::exception& e) {
        std::lock_guard<std::mutex> guard(lock);
        if (firstError.empty()) firstError = e.what();
        failed.store(true);
        return;
      }
      std::lock_guard<std::mutex> guard(lock);
      if (!WriteGame(game, 0, db, false)) {
        if (firstError.empty()) firstError = "cannot write game " + std::to_string(g + 1) + ": " + db.LastError;
        failed.store(true);
        return;
      }
      ++result.played;
      const double wp = WhitePoints(done.outcome.result);
      (wp == 1.0 ? result.whiteWins : wp == 0.0 ? result.blackWins : result.draws)++;
      ++result.endCount[static_cast<int>(done.outcome.end)];
      if (onGame) onGame(done);
    }
  };
  std::vector<std::thread> pool;
  for (auto& w : workers) pool.emplace_back(work, std::ref(*w));
  for (auto& t : pool) t.join();
  const bool closed = CloseDatabase(db);
  if (!firstError.empty()) throw std::runtime_error(firstError);
  if (!closed) throw std::runtime_error("cannot close \"" + o.out + "\": " + db.LastError);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

}  // namespace quorlin
