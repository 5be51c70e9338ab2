// quorlin match: two engines play each other: engine descriptions, or
// outside programs given as hub:COMMAND (a Hub engine we start) or
// dxp:HOST:PORT (a DXP program listening there). Every opening is played
// twice with the colours swapped; games end by the result rules of play mode
// (no legal move, repetition, move-count draws), by an outside program giving
// up, or, as a safety net, at a ply cap that is scored as a draw. A game an
// outside program spoils (an illegal move, a broken message, a result the
// rules do not confirm) has an unknown result and is left out of the score;
// one it lets run out of time is lost on time. Prints each game as it ends and
// the score with an Elo estimate and its 95% margin; can write the games as PDN.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/dxpsession.h"
#include "app/engineplayer.h"
#include "app/hubclient.h"
#include "app/hubprotocol.h"
#include "app/matchgame.h"
#include "engine/engine.h"
#include "engine/openinglines.h"
#include "games/database.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

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
  // Workers per engine: one per hardware thread (the engines take turns).
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int hashMb = 32;
  int dxpMinutes = 1;   // game time sent to DXP programs
  int dxpMoves = 0;     // moves in that time (0 = the whole game)
  int timeoutSec = 30;  // waited beyond an outside program's time
};


// One side of the match. Engines have their own published record and stop
// flag, so that the two never share state; an outside program comes with its
// connection.
struct TPlayer {
  std::string label;
  std::string where;  // file, command or address, for the heading
  bool outside = false;
  bool giveaway = false;
  TTimeControl control;
  std::unique_ptr<TDxpConnection> connection;  // DXP programs
  std::unique_ptr<TGamePlayer> player;
};

std::unique_ptr<TPlayer> MakePlayer(const std::string& given, const TMatchOptions& o) {
  auto player = std::make_unique<TPlayer>();
  const int64_t graceMs = int64_t{o.timeoutSec} * 1000;
  if (given.rfind("hub:", 0) == 0) {
    const std::string command = given.substr(4);
    if (command.empty()) throw UsageError{"hub: needs the command that starts the engine"};
    if (HubVariantName(o.variant).empty())
      throw std::runtime_error("Hub engines play International, International Killer and Frisian, not " +
                               VariantTable[o.variant].Name);
    THubPlayerOptions ho;
    ho.command = command;
    ho.variant = o.variant;
    ho.graceMs = graceMs;
    ho.log = PrintLine;
    auto hub = std::make_unique<THubPlayer>(ho);
    std::string error;
    if (!hub->Open(error)) throw std::runtime_error(error);
    player->label = hub->Name();
    player->where = given;
    player->outside = true;
    player->control.perMoveMs = o.msPerMove;
    player->player = std::move(hub);
    return player;
  }
  if (given.rfind("dxp:", 0) == 0) {
    if (o.variant != kInternational) throw std::runtime_error("DXP programs play International only");
    std::string host, error;
    int port = 0;
    if (!ParseHostPort(given.substr(4), host, port, error) || host.empty())
      throw UsageError{"bad " + given + ": expected dxp:HOST:PORT"};
    TTcpStream stream;
    if (!stream.Connect(host, port, std::chrono::milliseconds(graceMs), error))
      throw std::runtime_error(error);
    player->connection = std::make_unique<TDxpConnection>(std::move(stream));
    TDxpPlayerOptions po;
    po.ourName = "Quorlin match";
    po.minutes = o.dxpMinutes;
    po.moves = o.dxpMoves;
    po.graceMs = graceMs;
    po.log = PrintLine;
    player->player = std::make_unique<TDxpPlayer>(*player->connection, po);
    player->label = "DXP " + host + ":" + std::to_string(port);
    player->where = given;
    player->outside = true;
    player->control.periodMs = int64_t{o.dxpMinutes} * 60000;
    player->control.movesPerPeriod = o.dxpMoves;
    return player;
  }
  TEnginePlayerOptions eo;
  eo.file = ResolveEngineFile(given, o.variant);
  eo.variant = o.variant;
  eo.threads = o.threads;
  eo.hashMb = o.hashMb;
  auto engine = std::make_unique<TEnginePlayer>(eo);
  player->label = engine->Name();
  player->where = eo.file.string();
  player->giveaway = engine->Giveaway();
  player->control.perMoveMs = o.msPerMove;
  player->player = std::move(engine);
  return player;
}

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

// Main lines of the database's games of the match variant, in an order the
// seed picks (a short match need not always start with the first games).
std::vector<TOpeningLine> DatabaseOpenings(const TMatchOptions& o) {
  std::vector<std::string> warnings;
  int otherVariant = 0;
  std::vector<TOpeningLine> out = DatabaseOpeningLines(o.openingsDb, o.variant, &warnings, &otherVariant);
  for (const std::string& w : warnings) std::printf("warning: %s\n", w.c_str());
  const std::string& name = VariantTable[o.variant].Name;
  if (out.empty())
    throw std::runtime_error("the openings database \"" + o.openingsDb + "\" has no usable " + name + " game" +
                             (otherVariant ? " (" + std::to_string(otherVariant) + " of other variants)" : ""));
  ShuffleOpenings(out, o.seed);
  std::printf("openings: %zu %s games from %s%s\n", out.size(), name.c_str(), o.openingsDb.c_str(),
              otherVariant ? (" (" + std::to_string(otherVariant) + " of other variants skipped)").c_str() : "");
  return out;
}

// Plays one game and leaves it in `game`.
TMatchGameOutcome PlayGame(TGame& game, const TOpeningLine& op, TPlayer& white, TPlayer& black, int round,
                           const TMatchOptions& o, bool giveaway, bool last) {
  const TGameParams& p = VariantTable[o.variant];
  ClearGame(game);
  game.Params = p;
  game.Header.TypeOfGame = static_cast<uint8_t>(o.variant);
  game.Header.FirstMove = op.first;
  game.Header.Round = round;
  game.Header.Date = TodayDate();
  game.StartBoard = op.start.b;
  game.CurBoard = TBoard{};
  game.CurBoard.b = op.start.b;
  game.SideToMove = op.first;
  game.CurMovPos = 0;
  game.WhiteName = white.label;
  game.BlackName = black.label;
  game.Tournament = "Engine match, " + std::to_string(o.msPerMove) + " ms per move";
  game.Site = "quorlin match";

  for (const TMove& m : op.moves) {
    const int node = AddMove(game, m, game.CurMovPos);
    if (node == 0) throw std::runtime_error("game " + std::to_string(round) + ": no room for another move");
    game.CurMovPos = node;
    ApplyMove(game.Moves[node], game.CurBoard, p);
    game.SideToMove = Other(game.SideToMove);
  }
  game.Comments[0].CommentAft = "Opening: " + op.label;

  TMatchGameOptions mo;
  mo.maxPlies = o.maxPlies;
  mo.capIsDraw = true;
  mo.giveaway = giveaway;
  mo.timeControl[0] = white.control;
  mo.timeControl[1] = black.control;
  mo.lastGame = last;
  mo.log = [round](const std::string& text) { PrintLine("game " + std::to_string(round) + ": " + text); };
  TMatchGameOutcome out = PlayMatchGame(game, *white.player, *black.player, mo);
  // Outside programs tell their names once the game has begun.
  for (TPlayer* pl : {&white, &black})
    if (pl->outside) pl->label = pl->player->Name();
  game.WhiteName = white.label;
  game.BlackName = black.label;
  return out;
}

// Points of the first engine from a result code, with it playing side 0 or 1.
double PointsFor(uint8_t result, bool playsWhite) {
  switch (result) {
    case kResultWhiteWin:
    case kResultWhiteWinTime:
      return playsWhite ? 1.0 : 0.0;
    case kResultBlackWin:
    case kResultBlackWinTime:
      return playsWhite ? 0.0 : 1.0;
    default:
      return 0.5;  // draw, or stopped at the ply cap (unknown results are not counted)
  }
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

int Match(const Args& words) {
  const TArgs args(words, {"--games", "--time-per-move", "--openings", "--random-plies", "--pdn-out", "--seed",
                           "--max-plies", "--threads", "--hash", "--dxp-time", "--dxp-moves", "--timeout"});
  args.ExpectPositionals(3, 3, "a variant and two engine descriptions");
  const bool haveRandom = args.Has("--random-plies");
  if (args.Has("--openings") && haveRandom) throw UsageError{"give --openings or --random-plies, not both"};
  TMatchOptions o;
  o.games = static_cast<int>(args.Count("--games", o.games, 1, 100000));
  o.msPerMove = static_cast<int>(args.Count("--time-per-move", o.msPerMove, 0, 3600000));
  if (o.msPerMove < 10) throw UsageError{"bad --time-per-move: at least 10 ms (the engine counts centiseconds)"};
  o.openingsDb = args.Text("--openings");
  o.randomPlies = static_cast<int>(args.Count("--random-plies", o.randomPlies, 0, 200));
  o.pdnOut = args.Text("--pdn-out");
  o.seed = static_cast<uint64_t>(args.Count("--seed", static_cast<long long>(o.seed), 0, 9000000000000000000LL));
  o.maxPlies = static_cast<int>(args.Count("--max-plies", o.maxPlies, 1, 100000));
  o.threads = static_cast<int>(args.Count("--threads", o.threads, 0, 255));
  o.hashMb = static_cast<int>(args.Count("--hash", o.hashMb, 1, 4096));
  o.dxpMinutes = static_cast<int>(args.Count("--dxp-time", o.dxpMinutes, 0, 999));
  o.dxpMoves = static_cast<int>(args.Count("--dxp-moves", o.dxpMoves, 0, 999));
  o.timeoutSec = static_cast<int>(args.Count("--timeout", o.timeoutSec, 1, 86400));
  const std::vector<std::string>& positional = args.Positionals();
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
  // Outside programs play for the ordinary goal.
  const bool giveaway = a->giveaway || b->giveaway;
  if (a->giveaway != b->giveaway)
    throw std::runtime_error("the two engines play for different goals (one is a giveaway engine)");

  const int openingCount = (o.games + 1) / 2;
  std::vector<TOpeningLine> openings = o.openingsDb.empty()
                                           ? RandomOpeningLines(o.variant, openingCount, o.randomPlies, o.seed)
                                           : DatabaseOpenings(o);
  if (o.openingsDb.empty())
    std::printf("openings: %d, each %d random plies from the start position (seed %llu)\n", openingCount,
                o.randomPlies, static_cast<unsigned long long>(o.seed));

  std::ofstream pdn;
  if (!o.pdnOut.empty()) {
    pdn.open(o.pdnOut, std::ios::binary | std::ios::trunc);
    if (!pdn) throw std::runtime_error("cannot write \"" + o.pdnOut + "\"");
  }

  std::printf("match: %s (%s) against %s (%s), %s, %d games, %d ms per move\n", a->label.c_str(),
              a->where.c_str(), b->label.c_str(), b->where.c_str(), VariantTable[o.variant].Name.c_str(),
              o.games, o.msPerMove);
  if (a->connection || b->connection)
    std::printf("DXP programs: %d min for %s\n", o.dxpMinutes,
                o.dxpMoves > 0 ? (std::to_string(o.dxpMoves) + " moves").c_str() : "the game");
  std::fflush(stdout);

  std::vector<double> points;
  int endCount[7] = {0, 0, 0, 0, 0, 0, 0};
  int whiteWins = 0, blackWins = 0, draws = 0, faults = 0;
  int64_t thinkMs[2] = {0, 0};  // A's and B's
  int moves[2] = {0, 0};
  double scoreA = 0;
  bool stopped = false;
  TGame game;
  for (int g = 0; g < o.games; ++g) {
    const TOpeningLine& op = openings[(g / 2) % openings.size()];
    const bool aWhite = g % 2 == 0;
    TPlayer& white = aWhite ? *a : *b;
    TPlayer& black = aWhite ? *b : *a;
    const TMatchGameOutcome r = PlayGame(game, op, white, black, g + 1, o, giveaway, g + 1 == o.games);
    const bool unknown = r.end == TGameEndKind::Unknown;
    if (!unknown) {
      const double pa = PointsFor(r.result, aWhite);
      points.push_back(pa);
      scoreA += pa;
    }
    faults += r.fault;
    thinkMs[aWhite ? 0 : 1] += r.thinkMs[0];
    thinkMs[aWhite ? 1 : 0] += r.thinkMs[1];
    moves[aWhite ? 0 : 1] += r.moves[0];
    moves[aWhite ? 1 : 0] += r.moves[1];
    ++endCount[static_cast<int>(r.end)];
    if (r.result == kResultWhiteWin || r.result == kResultWhiteWinTime)
      ++whiteWins;
    else if (r.result == kResultBlackWin || r.result == kResultBlackWinTime)
      ++blackWins;
    else if (!unknown)
      ++draws;
    const std::string how = unknown ? "unknown: " + r.reason
                            : r.end == TGameEndKind::Claim || r.end == TGameEndKind::Time
                                ? std::string(GameEndText(r.end)) + ": " + r.reason
                                : std::string(GameEndText(r.end));
    std::printf("game %d/%d: %s - %s  %s  (%s, %s, %d plies, %.1f s)  score %s %.1f - %.1f %s\n", g + 1,
                o.games, white.label.c_str(), black.label.c_str(),
                r.end == TGameEndKind::PlyCap ? "1-1 (capped)" : ResultText(r.result), how.c_str(),
                op.label.c_str(), r.plies, r.seconds, a->label.c_str(), scoreA,
                static_cast<double>(points.size()) - scoreA, b->label.c_str());
    std::fflush(stdout);
    if (pdn.is_open()) {
      pdn << GameToPdn(game);
      pdn.flush();
      if (!pdn) throw std::runtime_error("cannot write \"" + o.pdnOut + "\"");
    }
    if (r.sessionOver && g + 1 < o.games) {
      std::printf("match stopped after %d of %d games: %s\n", g + 1, o.games, r.reason.c_str());
      stopped = true;
      break;
    }
  }

  PrintScore(points, a->label, b->label);
  const bool whiteStart = VariantTable[o.variant].intface.WhiteStart;
  std::printf("%s won %d, %s won %d, draws %d\n", whiteStart ? "White" : "Black", whiteWins,
              whiteStart ? "Black" : "White", blackWins, draws);
  std::printf("ended by: no legal move %d, repetition %d, move-count rule %d, ply cap %d (scored as draws)\n",
              endCount[0], endCount[1], endCount[2], endCount[3]);
  if (endCount[4] + endCount[5] + endCount[6] > 0)
    std::printf("also: given up %d, lost on time %d, unknown %d (not scored)\n", endCount[4], endCount[6],
                endCount[5]);
  if (a->outside || b->outside)
    std::printf("time per move: %s %.3f s, %s %.3f s (average, as measured here)\n", a->label.c_str(),
                moves[0] ? thinkMs[0] / 1000.0 / moves[0] : 0.0, b->label.c_str(),
                moves[1] ? thinkMs[1] / 1000.0 / moves[1] : 0.0);
  if (pdn.is_open()) std::printf("games written to %s\n", o.pdnOut.c_str());
  return stopped || faults > 0 ? 1 : 0;
}

Command match(
    "match",
    "match VARIANT A B [--games N] [--time-per-move MS] [--openings DB.abd | --random-plies K] "
    "[--pdn-out FILE.pdn] [--seed S] [--max-plies N] [--threads N] [--hash MB] [--dxp-time MIN] "
    "[--dxp-moves N] [--timeout SEC]",
    "plays two engines against each other (A and B: ENGINE.eng, hub:COMMAND or dxp:HOST:PORT), each "
    "opening twice with colours swapped; prints the score and the Elo difference",
    Match);

}  // namespace
}  // namespace quorlin::cli
