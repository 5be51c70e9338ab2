// quorlin match: two engine descriptions play each other. Every opening is
// played twice with the colours swapped; games end by the result rules of
// play mode (no legal move, repetition, move-count draws) or, as a safety
// net, at a ply cap that is scored as a draw. Prints each game as it ends and
// the score with an Elo estimate and its 95% margin; can write the games as PDN.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/enginegame.h"
#include "engine/gameresult.h"
#include "games/database.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "tools/command.h"
#include "tools/programdata.h"

namespace quorlin::cli {
namespace {

namespace fs = std::filesystem;

struct TMatchOptions {
  int variant = 0;
  std::string engineA, engineB;
  int games = 10;
  int msPerMove = 100;
  std::string openingsDb;
  int randomPlies = -1;  // -1: not given
  std::string pdnOut;
  uint64_t seed = 1;
  int maxPlies = 400;
  int threads = 1;
  int hashMb = 32;
  std::string edFolder;  // endgame databases: probed by the engines and deciding games
};

// One side of the match: an engine with its own published record and stop
// flag, so that the two engines never share state.
struct TPlayer {
  std::string label;
  fs::path file;
  TAnalysisInfo info;
  std::atomic<bool> stop{false};
  std::unique_ptr<TEngine> engine;
};

std::unique_ptr<TPlayer> MakePlayer(const std::string& given, const TMatchOptions& o) {
  auto player = std::make_unique<TPlayer>();
  player->file = ResolveEngineFile(given, o.variant);
  player->engine = std::make_unique<TEngine>(&player->info, &player->stop, o.hashMb);
  if (!player->engine->LoadFromFile(player->file, o.variant))
    throw std::runtime_error("engine description \"" + player->file.string() + "\" not found");
  player->engine->ThreadsCount = o.threads;
  if (!o.edFolder.empty()) player->engine->SetEDFolder(o.edFolder);
  player->engine->AnalysisMode = false;
  player->label = player->file.stem().string();
  return player;
}

// Points of the first engine from a result code, with it playing side 0 or 1.
double PointsFor(uint8_t result, bool playsWhite) {
  const double w = WhitePoints(result);
  return playsWhite ? w : 1.0 - w;
}

double EloOf(double score) { return -400.0 * std::log10(1.0 / score - 1.0); }

std::string Signed(double x) {
  char b[32];
  std::snprintf(b, sizeof b, "%+.1f", x + 0.0);  // no "-0.0"
  return b;
}

// Score, Elo difference and 95% margin from the per-game points of engine A.
void PrintScore(const std::vector<double>& points, const std::string& a, const std::string& b) {
  const double n = static_cast<double>(points.size());
  if (points.empty()) return;
  double sum = 0;
  int wins = 0, draws = 0, losses = 0;
  for (double x : points) {
    sum += x;
    wins += x == 1.0;
    draws += x == 0.5;
    losses += x == 0.0;
  }
  const double s = sum / n;
  double var = 0;
  for (double x : points) var += (x - s) * (x - s);
  var /= n;
  const double margin = 1.96 * std::sqrt(var / n);
  std::printf("score: %s %.1f - %.1f %s (%d games: +%d =%d -%d)\n", a.c_str(), sum, n - sum, b.c_str(),
              static_cast<int>(n), wins, draws, losses);
  std::printf("%s scored %.1f%% +/- %.1f%% (95%%)\n", a.c_str(), 100.0 * s, 100.0 * margin);
  if (s <= 0.0 || s >= 1.0) {
    std::printf("Elo difference: %s (no finite estimate when one side scored every point)\n",
                s <= 0.0 ? "-inf" : "+inf");
    return;
  }
  // The margin of the score mapped through the Elo curve; a bound at 0% or
  // 100% has no finite Elo value.
  const std::string lo = s - margin > 0.0 ? Signed(EloOf(s - margin)) : "-inf";
  const std::string hi = s + margin < 1.0 ? Signed(EloOf(s + margin)) : "+inf";
  if (s - margin > 0.0 && s + margin < 1.0)
    std::printf("Elo difference: %s +/- %.1f (95%%: %s to %s)\n", Signed(EloOf(s)).c_str(),
                (EloOf(s + margin) - EloOf(s - margin)) / 2.0, lo.c_str(), hi.c_str());
  else
    std::printf("Elo difference: %s (95%%: %s to %s)\n", Signed(EloOf(s)).c_str(), lo.c_str(), hi.c_str());
}

int Match(const Args& args) {
  TMatchOptions o;
  std::vector<std::string> positional;
  bool haveRandom = false;
  auto value = [&](size_t& i) -> const std::string& {
    if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
    return args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--games") {
      o.games = static_cast<int>(ParseCount(value(i), "--games", 100000));
      if (o.games < 1) throw UsageError{"bad --games: at least 1"};
    } else if (a == "--time-per-move") {
      o.msPerMove = static_cast<int>(ParseCount(value(i), "--time-per-move", 3600000));
      if (o.msPerMove < 10)
        throw UsageError{"bad --time-per-move: at least 10 ms (the engine counts centiseconds)"};
    } else if (a == "--openings") {
      o.openingsDb = value(i);
    } else if (a == "--random-plies") {
      o.randomPlies = static_cast<int>(ParseCount(value(i), "--random-plies", 200));
      haveRandom = true;
    } else if (a == "--pdn-out") {
      o.pdnOut = value(i);
    } else if (a == "--seed") {
      o.seed = static_cast<uint64_t>(ParseCount(value(i), "--seed", 9000000000000000000LL));
    } else if (a == "--max-plies") {
      o.maxPlies = static_cast<int>(ParseCount(value(i), "--max-plies", 100000));
      if (o.maxPlies < 1) throw UsageError{"bad --max-plies: at least 1"};
    } else if (a == "--threads") {
      o.threads = static_cast<int>(ParseCount(value(i), "--threads", 255));
    } else if (a == "--hash") {
      o.hashMb = static_cast<int>(ParseCount(value(i), "--hash", 4096));
      if (o.hashMb < 1) throw UsageError{"bad --hash: at least 1 MB"};
    } else if (a == "--ed") {
      o.edFolder = value(i);
    } else if (a.rfind("--", 0) == 0) {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 3) throw UsageError{"expected a variant and two engine descriptions"};
  if (!o.openingsDb.empty() && haveRandom) throw UsageError{"give --openings or --random-plies, not both"};
  o.variant = ParseVariantArg(positional[0]);
  o.engineA = positional[1];
  o.engineB = positional[2];
  if (o.openingsDb.empty() && !haveRandom) o.randomPlies = 4;

  std::unique_ptr<TPlayer> a = MakePlayer(o.engineA, o);
  std::unique_ptr<TPlayer> b = MakePlayer(o.engineB, o);
  if (a->label == b->label) {
    a->label += " (1)";
    b->label += " (2)";
  }
  const bool giveaway = a->engine->EvalFunc().Giveaway;
  if (b->engine->EvalFunc().Giveaway != giveaway)
    throw std::runtime_error("the two engines play for different goals (one is a giveaway engine)");

  const int openingCount = (o.games + 1) / 2;
  std::vector<TOpeningLine> openings;
  if (o.openingsDb.empty()) {
    openings = RandomOpeningLines(o.variant, openingCount, o.randomPlies, o.seed);
    std::printf("openings: %d, each %d random plies from the start position (seed %llu)\n", openingCount,
                o.randomPlies, static_cast<unsigned long long>(o.seed));
  } else {
    std::vector<std::string> warnings;
    int otherVariant = 0;
    openings = DatabaseOpeningLines(o.openingsDb, o.variant, &warnings, &otherVariant);
    for (const std::string& w : warnings) std::printf("warning: %s\n", w.c_str());
    const std::string& name = VariantTable[o.variant].Name;
    if (openings.empty())
      throw std::runtime_error("the openings database \"" + o.openingsDb + "\" has no usable " + name + " game" +
                               (otherVariant ? " (" + std::to_string(otherVariant) + " of other variants)" : ""));
    ShuffleOpenings(openings, o.seed);
    std::printf("openings: %zu %s games from %s%s\n", openings.size(), name.c_str(), o.openingsDb.c_str(),
                otherVariant ? (" (" + std::to_string(otherVariant) + " of other variants skipped)").c_str() : "");
  }

  std::shared_ptr<const TEndgameDb> adjudicator;
  if (!o.edFolder.empty()) {
    adjudicator = TEndgameDb::Shared(o.variant, giveaway, o.edFolder, TEdbCallbacks{});
    if (adjudicator)
      std::printf("endgame databases: %lld files from %s\n", static_cast<long long>(adjudicator->FilesLoaded()),
                  o.edFolder.c_str());
  }

  std::ofstream pdn;
  if (!o.pdnOut.empty()) {
    pdn.open(o.pdnOut, std::ios::binary | std::ios::trunc);
    if (!pdn) throw std::runtime_error("cannot write \"" + o.pdnOut + "\"");
  }

  std::printf("match: %s (%s) against %s (%s), %s, %d games, %d ms per move\n", a->label.c_str(),
              a->file.string().c_str(), b->label.c_str(), b->file.string().c_str(),
              VariantTable[o.variant].Name.c_str(), o.games, o.msPerMove);
  std::fflush(stdout);

  std::vector<double> points;
  int endCount[5] = {0, 0, 0, 0, 0};
  int whiteWins = 0, blackWins = 0, draws = 0;
  double scoreA = 0;
  TGame game;
  for (int g = 0; g < o.games; ++g) {
    const TOpeningLine& op = openings[(g / 2) % openings.size()];
    const bool aWhite = g % 2 == 0;
    TPlayer& white = aWhite ? *a : *b;
    TPlayer& black = aWhite ? *b : *a;
    TEngineGameOptions go;
    go.variant = o.variant;
    go.budgetCs = std::max(1, o.msPerMove / 10);
    go.maxPlies = o.maxPlies;
    go.giveaway = giveaway;
    go.round = g + 1;
    go.whiteName = white.label;
    go.blackName = black.label;
    go.tournament = "Engine match, " + std::to_string(o.msPerMove) + " ms per move";
    go.site = "quorlin match";
    go.adjudicator = adjudicator;
    const TEngineGameOutcome r = PlayEngineGame(game, op, *white.engine, *black.engine, go);
    const double pa = PointsFor(r.result, aWhite);
    points.push_back(pa);
    scoreA += pa;
    ++endCount[static_cast<int>(r.end)];
    if (r.result == kResultWhiteWin || r.result == kResultWhiteWinTime)
      ++whiteWins;
    else if (r.result == kResultBlackWin || r.result == kResultBlackWinTime)
      ++blackWins;
    else
      ++draws;
    std::printf("game %d/%d: %s - %s  %s  (%s, %s, %d plies, %.1f s)  score %s %.1f - %.1f %s\n", g + 1,
                o.games, white.label.c_str(), black.label.c_str(),
                r.end == TEngineGameEnd::PlyCap ? "1-1 (capped)" : ResultText(r.result), EngineGameEndText(r.end),
                op.label.c_str(), r.plies, r.seconds, a->label.c_str(), scoreA, (g + 1) - scoreA,
                b->label.c_str());
    std::fflush(stdout);
    if (pdn.is_open()) {
      pdn << GameToPdn(game);
      pdn.flush();
      if (!pdn) throw std::runtime_error("cannot write \"" + o.pdnOut + "\"");
    }
  }

  PrintScore(points, a->label, b->label);
  const bool whiteStart = VariantTable[o.variant].intface.WhiteStart;
  std::printf("%s won %d, %s won %d, draws %d\n", whiteStart ? "White" : "Black", whiteWins,
              whiteStart ? "Black" : "White", blackWins, draws);
  std::printf(
      "ended by: no legal move %d, repetition %d, move-count rule %d, endgame databases %d, ply cap %d (scored as "
      "draws)\n",
      endCount[0], endCount[1], endCount[2], endCount[3], endCount[4]);
  if (pdn.is_open()) std::printf("games written to %s\n", o.pdnOut.c_str());
  return 0;
}

Command match(
    "match",
    "match VARIANT A.eng B.eng [--games N] [--time-per-move MS] [--openings DB.abd | --random-plies K] "
    "[--pdn-out FILE.pdn] [--seed S] [--max-plies N] [--threads N] [--hash MB] [--ed FOLDER]",
    "plays two engines against each other, each opening twice with colours swapped; prints the score "
    "and the Elo difference",
    Match);

}  // namespace
}  // namespace quorlin::cli
