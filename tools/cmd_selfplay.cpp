// quorlin selfplay: an engine plays itself from varied openings (ballots where
// the variant has them, random plies otherwise), one game per thread; the
// games go into a game database for the tuner.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ballots.h"
#include "app/engineplayer.h"
#include "app/selfplay.h"
#include "games/gamerecord.h"
#include "rules/variants.h"
#include "tools/args.h"
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

int SelfPlay(const Args& words) {
  const TArgs args(words,
                   {"--games", "--out", "--time-per-move", "--nodes", "--random-plies", "--threads", "--seed",
                    "--max-plies", "--hash", "--openings", "--ed"},
                   {"--no-ballots"});
  args.ExpectPositionals(2, 2, "a variant and an engine description");
  if (!args.Has("--out")) throw UsageError{"missing --out GAMES.abd"};
  TSelfPlayOptions o;
  o.games = static_cast<int>(args.Count("--games", o.games, 1, 10000000));
  o.out = args.Text("--out");
  o.msPerMove = static_cast<int>(args.Count("--time-per-move", o.msPerMove, 0, 3600000));
  o.nodes = static_cast<int>(args.Count("--nodes", o.nodes, 0, 2000000000));
  o.randomPlies = static_cast<int>(args.Count("--random-plies", o.randomPlies, 0, 200));
  o.threads = static_cast<int>(args.Count("--threads", o.threads, 1, 64));
  o.seed = static_cast<uint64_t>(args.Count("--seed", static_cast<long long>(o.seed), 0, 9000000000000000000LL));
  o.maxPlies = static_cast<int>(args.Count("--max-plies", o.maxPlies, 1, 100000));
  o.hashMb = static_cast<int>(args.Count("--hash", o.hashMb, 0, 4096));
  o.openings = args.Text("--openings");
  o.edFolder = args.Text("--ed", o.edFolder);
  const bool noBallots = args.Has("--no-ballots");
  if (o.nodes == 0 && o.msPerMove < 10)
    throw UsageError{"bad --time-per-move: at least 10 ms (the engine counts centiseconds)"};
  const std::vector<std::string>& positional = args.Positionals();
  o.variant = ParseVariantArg(positional[0]);
  o.engine = ResolveEngineFile(positional[1], o.variant).string();
  // Checked before the heading, so that a wrong path fails with nothing on standard output.
  if (!std::filesystem::is_regular_file(o.engine))
    throw std::runtime_error("engine description \"" + o.engine + "\" not found");
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
