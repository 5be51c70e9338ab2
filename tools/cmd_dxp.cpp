// quorlin dxp: our International engine plays another program over the
// DamExchange protocol (DXP), as server or client, as initiator (it asks for
// --games games: standard or set-up start, colours alternating) or follower
// (it plays what the other side asks for, until the other side ends the
// session, or after --games games). Our engine spends the game clock of the
// request, or a fixed --move-time. Every game is written to PDN as it ends;
// each game's end is printed with the other side's view of it. The command
// fails (status 1) when the session could not be played to its end or the
// other side spoiled a game (a broken or illegal message, silence).
// Waiting never lasts longer than the other side's clock plus --timeout.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/dxpsession.h"
#include "app/engineplayer.h"
#include "app/matchgame.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The longest game this command plays before it stops it (result unknown);
// the result rules end real games long before.
constexpr int kDxpMaxPlies = 1000;

struct TDxpOptions {
  std::string engine;
  bool listen = true;
  std::string host;  // listen: address to bind ("" = every interface); connect: host to call
  int port = kDxpDefaultPort;
  bool initiator = false;
  int games = 0;  // 0: one game as initiator, no limit as follower
  int minutes = 5;
  int moves = 75;
  std::string fen;
  std::string pdnOut;
  int timeoutSec = 60;
  int moveTimeMs = 0;  // > 0: our engine's fixed time per move, whatever the game clock says
  int threads = 1;
  int hashMb = 64;
  std::string edFolder;
  std::string book;
  bool transcript = false;
};

const char* SideName(TDColor c) { return c == TDColor::white ? "White" : "Black"; }

// What a whole session counts.
struct TTally {
  int played = 0;
  int wins = 0, draws = 0, losses = 0, unknown = 0;
  int faults = 0;     // games the other side spoiled
  int notPlayed = 0;  // games that could not begin
};

class TDxpCommand {
 public:
  explicit TDxpCommand(const TDxpOptions& o) : o_(o) {}
  int Run();

 private:
  bool PlayOne(const TBoard& start, TDColor first, TDColor ourSide, const TTimeControl& tc, int round,
               bool last);
  void WritePdn(const TGame& game);

  const TDxpOptions& o_;
  std::unique_ptr<TEnginePlayer> engine_;
  std::unique_ptr<TDxpConnection> connection_;
  std::unique_ptr<TDxpPlayer> remote_;
  std::ofstream pdn_;
  TTally tally_;
};

void TDxpCommand::WritePdn(const TGame& game) {
  if (!pdn_.is_open()) return;
  pdn_ << GameToPdn(game);
  pdn_.flush();
  if (!pdn_) throw std::runtime_error("cannot write \"" + o_.pdnOut + "\"");
}

// Plays one agreed game; false when the session cannot go on.
bool TDxpCommand::PlayOne(const TBoard& start, TDColor first, TDColor ourSide, const TTimeControl& tc,
                          int round, bool last) {
  const TGameParams& p = VariantTable[kInternational];
  TGame game;
  ClearGame(game);
  game.Params = p;
  game.Header.TypeOfGame = kInternational;
  game.Header.FirstMove = first;
  game.Header.Round = round;
  game.Header.Date = TodayDate();
  game.StartBoard = start.b;
  game.CurBoard = start;
  game.SideToMove = first;
  TGamePlayer& white = ourSide == TDColor::white ? static_cast<TGamePlayer&>(*engine_) : *remote_;
  TGamePlayer& black = ourSide == TDColor::white ? static_cast<TGamePlayer&>(*remote_) : *engine_;
  game.Tournament = "DXP session";
  game.Site = connection_->PeerName();

  TMatchGameOptions mo;
  mo.maxPlies = kDxpMaxPlies;
  mo.capIsDraw = false;
  mo.timeControl[0] = mo.timeControl[1] = tc;
  if (o_.moveTimeMs > 0)
    mo.timeControl[ourSide == TDColor::white ? 0 : 1] = TTimeControl{o_.moveTimeMs, 0, 0};
  mo.lastGame = last;
  mo.log = PrintLine;
  PrintLine("game " + std::to_string(round) + ": " + engine_->Name() + " plays " + SideName(ourSide));
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, mo);
  if (!r.started) {
    PrintLine("game " + std::to_string(round) + " not played: " + r.reason);
    ++tally_.notPlayed;
    return false;
  }
  // The names are known only once the game has begun.
  game.WhiteName = white.Name();
  game.BlackName = black.Name();
  WritePdn(game);

  ++tally_.played;
  const bool weAreWhite = ourSide == TDColor::white;
  switch (r.result) {
    case kResultWhiteWin:
    case kResultWhiteWinTime:
      ++(weAreWhite ? tally_.wins : tally_.losses);
      break;
    case kResultBlackWin:
    case kResultBlackWinTime:
      ++(weAreWhite ? tally_.losses : tally_.wins);
      break;
    case kResultDraw:
      ++tally_.draws;
      break;
    default:
      ++tally_.unknown;
  }
  if (r.fault) ++tally_.faults;
  std::string answer;
  switch (remote_->LastEndAnswer()) {
    case 0:
      answer = "";
      break;
    case kDxpEndUnknown:
      answer = "; " + remote_->Name() + " answered without a result";
      break;
    default: {
      const uint8_t theirs = ResultOfDxpEnd(remote_->LastEndAnswer(),
                                            ourSide == TDColor::white ? TDColor::black : TDColor::white);
      answer = "; " + remote_->Name() + (theirs == r.result ? " agrees" : " sees it differently");
    }
  }
  PrintLine("game " + std::to_string(round) + " ended: " + game.WhiteName + " - " + game.BlackName + "  " +
            ResultText(r.result) + "  (" + r.reason + ", " + std::to_string(r.plies) + " plies, " +
            std::to_string(static_cast<int>(r.seconds + 0.5)) + " s" + answer + ")");
  return !r.sessionOver && !remote_->SessionOver();
}

int TDxpCommand::Run() {
  const TGameParams& p = VariantTable[kInternational];
  TEnginePlayerOptions eo;
  eo.file = ResolveEngineFile(o_.engine, kInternational);
  eo.variant = kInternational;
  eo.threads = o_.threads;
  eo.hashMb = o_.hashMb;
  eo.edFolder = o_.edFolder;
  eo.label = "Quorlin " + eo.file.stem().string();
  eo.book = o_.book;
  engine_ = std::make_unique<TEnginePlayer>(eo);
  if (!o_.book.empty() && !engine_->Engine().UseBook())
    PrintLine("note: " + eo.file.string() + " does not use a book (UseBook is off); the book is not used");

  TBoard start;
  start.b = StartPosition(p, false);
  TDColor first = TDColor::white;
  if (!o_.fen.empty()) {
    int side = 0;
    ReadFenArg(p, o_.fen, start, side);
    first = side == 0 ? TDColor::white : TDColor::black;
  }
  if (!o_.pdnOut.empty()) {
    pdn_.open(o_.pdnOut, std::ios::binary | std::ios::trunc);
    if (!pdn_) throw std::runtime_error("cannot write \"" + o_.pdnOut + "\"");
  }

  const std::chrono::milliseconds timeout(int64_t{o_.timeoutSec} * 1000);
  TTcpStream stream;
  std::string error;
  if (o_.listen) {
    TTcpListener listener;
    if (!listener.Listen(o_.host, o_.port, error)) throw std::runtime_error(error);
    PrintLine("listening on " + (o_.host.empty() ? std::string("every interface") : o_.host) + ", port " +
              std::to_string(listener.Port()));
    if (!listener.Accept(stream, timeout, error)) throw std::runtime_error(error);
  } else if (!stream.Connect(o_.host, o_.port, timeout, error)) {
    throw std::runtime_error(error);
  }
  PrintLine("connected to " + stream.PeerName());
  TLogFn transcript;
  if (o_.transcript) transcript = PrintLine;
  connection_ = std::make_unique<TDxpConnection>(std::move(stream), transcript);
  TDxpPlayerOptions po;
  po.ourName = engine_->Name();
  po.minutes = o_.minutes;
  po.moves = o_.moves;
  po.graceMs = int64_t{o_.timeoutSec} * 1000;
  po.log = PrintLine;
  remote_ = std::make_unique<TDxpPlayer>(*connection_, po);

  bool complete = true;
  if (o_.initiator) {
    const TTimeControl tc{0, int64_t{o_.minutes} * 60000, o_.moves};
    for (int g = 0; g < o_.games; ++g) {
      const TDColor ours = g % 2 == 0 ? TDColor::white : TDColor::black;
      if (!PlayOne(start, first, ours, tc, g + 1, g + 1 == o_.games)) {
        if (g + 1 < o_.games) {
          PrintLine("the session ended after " + std::to_string(g + 1) + " of " + std::to_string(o_.games) +
                    " games");
          complete = false;
        }
        break;
      }
    }
  } else {
    for (int round = 1;; ++round) {
      TDxpGameRequest request;
      std::string why;
      const TDxpPlayer::TWait w = remote_->WaitGameRequest(request, Clock::now() + timeout, why);
      if (w == TDxpPlayer::TWait::SessionOver) {
        PrintLine("session over: " + why);
        break;
      }
      if (w == TDxpPlayer::TWait::TimeOut) {
        PrintLine(why + " within " + std::to_string(o_.timeoutSec) + " s: ending the session");
        remote_->EndSession();
        complete = round > 1;
        break;
      }
      TBoard board;
      TDColor side;
      if (request.version != kDxpVersion) {
        remote_->RefuseRequest(kDxpRefusedVersion, "protocol version " + std::to_string(request.version) +
                                                       " is not supported (only " +
                                                       std::to_string(kDxpVersion) + ")");
        --round;
        continue;
      }
      if (!DxpRequestPosition(request, board, side, error)) {
        remote_->RefuseRequest(kDxpRefused, error);
        --round;
        continue;
      }
      remote_->AcceptRequest(request);
      const TDColor ours = request.followerColour == 'Z' ? TDColor::black : TDColor::white;
      const TTimeControl tc{0, int64_t{request.minutes} * 60000, request.moves};
      const bool last = o_.games > 0 && round >= o_.games;
      if (!PlayOne(board, side, ours, tc, round, last) || last) break;
    }
  }
  connection_.reset();

  PrintLine("games " + std::to_string(tally_.played) + ": " + engine_->Name() + " won " +
            std::to_string(tally_.wins) + ", drew " + std::to_string(tally_.draws) + ", lost " +
            std::to_string(tally_.losses) + ", unknown " + std::to_string(tally_.unknown));
  if (!o_.pdnOut.empty()) PrintLine("games written to " + o_.pdnOut);
  if (tally_.faults > 0)
    PrintLine(std::to_string(tally_.faults) + " game(s) ended by an error of the other side");
  return complete && tally_.faults == 0 && tally_.notPlayed == 0 ? 0 : 1;
}

int Dxp(const Args& words) {
  const TArgs args(words,
                   {"--listen", "--connect", "--games", "--time", "--moves", "--fen", "--pdn-out",
                    "--timeout", "--move-time", "--threads", "--hash", "--ed", "--book"},
                   {"--initiator", "--transcript"});
  args.ExpectPositionals(1, 1, "one engine description");
  if (args.Has("--listen") && args.Has("--connect")) throw UsageError{"give --listen or --connect, not both"};
  TDxpOptions o;
  std::string error;
  if (args.Has("--listen")) {
    if (!ParseHostPort(args.Text("--listen"), o.host, o.port, error, true))
      throw UsageError{"bad --listen " + error};
    o.listen = true;
  } else if (args.Has("--connect")) {
    if (!ParseHostPort(args.Text("--connect"), o.host, o.port, error))
      throw UsageError{"bad --connect " + error};
    if (o.host.empty()) throw UsageError{"bad --connect: expected HOST:PORT"};
    o.listen = false;
  }
  o.initiator = args.Has("--initiator");
  o.games = static_cast<int>(args.Count("--games", o.games, 1, 100000));
  o.minutes = static_cast<int>(args.Count("--time", o.minutes, 0, 999));
  o.moves = static_cast<int>(args.Count("--moves", o.moves, 0, 999));
  o.fen = args.Text("--fen");
  o.pdnOut = args.Text("--pdn-out");
  o.timeoutSec = static_cast<int>(args.Count("--timeout", o.timeoutSec, 1, 86400));
  o.moveTimeMs = static_cast<int>(args.Count("--move-time", o.moveTimeMs, 10, 3600000));
  o.threads = static_cast<int>(args.Count("--threads", o.threads, 0, 255));
  o.hashMb = static_cast<int>(args.Count("--hash", o.hashMb, 1, 4096));
  o.edFolder = args.Text("--ed");
  o.book = args.Text("--book");
  o.transcript = args.Has("--transcript");
  const bool haveGameOptions = args.Has("--time") || args.Has("--moves") || args.Has("--fen");
  if (haveGameOptions && !o.initiator)
    throw UsageError{"--time, --moves and --fen are for the initiator (add --initiator)"};
  if (o.initiator && o.games == 0) o.games = 1;
  if (!o.fen.empty()) {
    TBoard b;
    int side = 0;
    ReadFenArg(VariantTable[kInternational], o.fen, b, side);
  }
  o.engine = args.Positionals()[0];
  return TDxpCommand(o).Run();
}

Command dxp(
    "dxp",
    "dxp ENGINE.eng [--listen [HOST:]PORT | --connect HOST:PORT] [--initiator [--time MIN] [--moves N] "
    "[--fen FEN]] [--games N] [--pdn-out FILE] [--move-time MS] [--timeout SEC] [--threads N] [--hash MB] "
    "[--ed FOLDER] "
    "[--book BOOK.cbk] [--transcript]",
    "plays International games against another program over DXP, as server or client, initiator or "
    "follower",
    Dxp);

}  // namespace
}  // namespace quorlin::cli
