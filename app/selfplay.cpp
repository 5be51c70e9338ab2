#include "app/selfplay.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "app/engineplayer.h"
#include "engine/gameresult.h"
#include "games/database.h"
#include "rules/movegen.h"
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

  // One engine per worker; it plays both sides of its games (as in a match
  // of an engine against itself).
  const int threads = std::max(1, std::min(o.threads, o.games));
  std::vector<std::unique_ptr<TEnginePlayer>> workers;
  for (int t = 0; t < threads; ++t) {
    TEnginePlayerOptions eo;
    eo.file = o.engine;
    eo.variant = o.variant;
    eo.threads = 1;
    eo.hashMb = o.hashMb;
    eo.edFolder = o.edFolder;
    eo.nodes = o.nodes;
    eo.seed = o.seed + static_cast<uint64_t>(t);
    workers.push_back(std::make_unique<TEnginePlayer>(eo));
  }
  const bool giveaway = workers[0]->Giveaway();
  const std::string name = workers[0]->Name();
  std::shared_ptr<const TEndgameDb> adjudicator;
  if (!o.edFolder.empty()) adjudicator = TEndgameDb::Shared(o.variant, giveaway, o.edFolder, TEdbCallbacks{});

  TQuorlinDB db;
  if (!OpenOrCreateDatabase(o.out, db)) throw std::runtime_error("cannot open \"" + o.out + "\": " + db.LastError);

  std::mutex lock;  // guards db, result, firstError and the onGame calls
  TSelfPlayResult result;
  std::string firstError;
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};

  auto work = [&](TEnginePlayer& player) {
    TGame game;
    for (;;) {
      const int g = next.fetch_add(1);
      if (g >= o.games || failed.load()) return;
      const TOpeningLine& op = openings[static_cast<size_t>(g)];
      ClearGame(game);
      game.Params = VariantTable[o.variant];
      game.Header.TypeOfGame = static_cast<uint8_t>(o.variant);
      game.Header.FirstMove = op.first;
      game.Header.Round = g + 1;
      game.Header.Date = TodayDate();
      game.StartBoard = op.start.b;
      game.CurBoard = op.start;
      game.SideToMove = op.first;
      game.WhiteName = game.BlackName = name;
      game.Tournament = "Self-play, " + (o.nodes > 0 ? std::to_string(o.nodes) + " positions"
                                                     : std::to_string(o.msPerMove) + " ms") + " per move";
      game.Site = "quorlin selfplay";
      int node = 0;
      for (const TMove& m : op.moves) {
        node = AddMove(game, m, node);
        ApplyMove(game.Moves[node], game.CurBoard, game.Params);
        game.SideToMove = game.SideToMove == TDColor::white ? TDColor::black : TDColor::white;
      }
      game.CurMovPos = node;
      game.Comments[0].CommentAft = "Opening: " + op.label;
      TMatchGameOptions mo;
      mo.maxPlies = o.maxPlies;
      mo.giveaway = giveaway;
      mo.timeControl[0].perMoveMs = mo.timeControl[1].perMoveMs = o.msPerMove;
      if (adjudicator)
        mo.adjudicate = [&](const TGame& gm) {
          return AdjudicateByDatabases(*adjudicator, gm.CurBoard, gm.SideToMove, o.variant);
        };
      TSelfPlayGame done;
      done.number = g + 1;
      done.opening = op.label;
      done.outcome = PlayMatchGame(game, player, player, mo);
      std::lock_guard<std::mutex> guard(lock);
      if (done.outcome.end == TGameEndKind::Unknown || done.outcome.fault) {
        if (firstError.empty()) firstError = "game " + std::to_string(g + 1) + ": " + done.outcome.reason;
        failed.store(true);
        return;
      }
      if (!WriteGame(game, 0, db, false)) {
        if (firstError.empty()) firstError = "cannot write game " + std::to_string(g + 1) + ": " + db.LastError;
        failed.store(true);
        return;
      }
      ++result.played;
      const uint8_t res = done.outcome.result;
      (res == kResultWhiteWin ? result.whiteWins : res == kResultBlackWin ? result.blackWins : result.draws)++;
      switch (done.outcome.end) {
        case TGameEndKind::Repetition:
          ++result.repetition;
          break;
        case TGameEndKind::MoveCount:
          ++result.moveCount;
          break;
        case TGameEndKind::Adjudicated:
          ++result.adjudicated;
          break;
        case TGameEndKind::PlyCap:
          ++result.capped;
          break;
        default:
          ++result.noMove;
      }
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
