// quorlin selfplay: an engine plays itself from varied openings (ballots where
// the variant has them, random plies otherwise), one game per thread; the
// games go into a game database for the tuner.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "app/ballots.h"
#include "app/engineplayer.h"
#include "app/selfplay.h"
#include "games/gamerecord.h"
#include "rules/variants.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

// The shipped "2-moves" ballots of a variant beside the executable, when its
// board has 32 squares and they are there; empty otherwise.
std::string ShippedBallots(int variant) {
  if (!BallotsApply(VariantTable[variant])) return {};
  const std::string file = BallotFileName(variant, 1);
  if (file.empty()) return {};
  const std::filesystem::path path = ExecutableFolder() / kBallotFolder / file;
  return std::filesystem::exists(path) ? path.string() : std::string();
}

int SelfPlay(const Args& args) {
  TSelfPlayOptions o;
  std::vector<std::string> positional;
  bool noBallots = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--games")
      o.games = static_cast<int>(ParseCount(value(), "--games", 10000000));
    else if (a == "--out")
      o.out = value();
    else if (a == "--time-per-move")
      o.msPerMove = static_cast<int>(ParseCount(value(), "--time-per-move", 3600000));
    else if (a == "--nodes")
      o.nodes = static_cast<int>(ParseCount(value(), "--nodes", 2000000000));
    else if (a == "--random-plies")
      o.randomPlies = static_cast<int>(ParseCount(value(), "--random-plies", 200));
    else if (a == "--threads")
      o.threads = static_cast<int>(ParseCount(value(), "--threads", 64));
    else if (a == "--seed")
      o.seed = static_cast<uint64_t>(ParseCount(value(), "--seed", 9000000000000000000LL));
    else if (a == "--max-plies")
      o.maxPlies = static_cast<int>(ParseCount(value(), "--max-plies", 100000));
    else if (a == "--hash")
      o.hashMb = static_cast<int>(ParseCount(value(), "--hash", 4096));
    else if (a == "--openings")
      o.openings = value();
    else if (a == "--no-ballots")
      noBallots = true;
    else if (a == "--ed")
      o.edFolder = value();
    else if (a.rfind("--", 0) == 0)
      throw UsageError{"unknown option \"" + a + "\""};
    else
      positional.push_back(a);
  }
  if (positional.size() != 2) throw UsageError{"expected a variant and an engine description"};
  if (o.out.empty()) throw UsageError{"missing --out GAMES.abd"};
  if (o.games < 1) throw UsageError{"bad --games: at least 1"};
  if (o.threads < 1) throw UsageError{"bad --threads: at least 1"};
  if (o.maxPlies < 1) throw UsageError{"bad --max-plies: at least 1"};
  if (o.nodes == 0 && o.msPerMove < 10)
    throw UsageError{"bad --time-per-move: at least 10 ms (the engine counts centiseconds)"};
  o.variant = ParseVariantArg(positional[0]);
  o.engine = ResolveEngineFile(positional[1], o.variant).string();
  if (o.openings.empty() && !noBallots) o.openings = ShippedBallots(o.variant);

  std::printf("selfplay: %s, %s, %d games on %d threads, %s per move, openings: %s\n", o.engine.c_str(),
              VariantTable[o.variant].Name.c_str(), o.games, o.threads,
              o.nodes > 0 ? (std::to_string(o.nodes) + " positions").c_str()
                          : (std::to_string(o.msPerMove) + " ms").c_str(),
              o.openings.empty() ? "random plies" : o.openings.c_str());
  std::fflush(stdout);
  const TSelfPlayResult r = RunSelfPlay(o, [&](const TSelfPlayGame& g) {
    static int done = 0;
    ++done;
    std::printf("game %d (%d/%d): %s, %s, %d plies, %.1f s\n", g.number, done, o.games,
                g.outcome.end == TGameEndKind::PlyCap ? "capped" : ResultText(g.outcome.result),
                GameEndText(g.outcome.end), g.outcome.plies, g.outcome.seconds);
    std::fflush(stdout);
  });
  std::printf("played %d games in %.1f s: first mover won %d, second won %d, draws %d\n", r.played, r.seconds,
              r.whiteWins, r.blackWins, r.draws);
  std::printf("ended by: no legal move %d, repetition %d, move-count rule %d, endgame databases %d, ply cap %d\n",
              r.noMove, r.repetition, r.moveCount, r.adjudicated, r.capped);
  std::printf("games written to %s\n", o.out.c_str());
  return 0;
}

Command selfplay("selfplay",
                 "selfplay VARIANT ENGINE.eng --games N --out GAMES.abd [--time-per-move MS | --nodes N] "
                 "[--random-plies K] [--threads T] [--openings DB.abd | --no-ballots] [--seed S] [--max-plies N] "
                 "[--hash MB] [--ed FOLDER]",
                 "the engine plays itself from ballots or random openings, one game per thread; the games go "
                 "into a game database",
                 SelfPlay);

}  // namespace
}  // namespace quorlin::cli
