#include "app/hubclient.h"

#include <vector>

#include "app/hubprotocol.h"
#include "app/matchgame.h"
#include "app/wiremove.h"

namespace quorlin {

namespace {

using Kind = TPlayerReply::Kind;
using std::chrono::milliseconds;

std::string Seconds(int64_t ms) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", ms / 1000.0);
  return b;
}

}  // namespace

THubPlayer::THubPlayer(THubPlayerOptions options) : options_(std::move(options)) {}

THubPlayer::~THubPlayer() { Close(); }

std::string THubPlayer::Name() const { return name_.empty() ? "hub:" + options_.command : name_; }

void THubPlayer::Log(const std::string& text) const {
  if (options_.log) options_.log(text);
}

bool THubPlayer::Send(const std::string& line) { return process_.WriteLine(line); }

void THubPlayer::Close() {
  if (!process_.Running()) return;
  Send("quit");
  process_.Stop(milliseconds(2000));
  open_ = false;
}

TChildProcess::TRead THubPlayer::WaitFor(const std::string& command, milliseconds timeout,
                                         std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    const TChildProcess::TRead r = process_.ReadLine(line, std::max(left, milliseconds(0)));
    if (r != TChildProcess::TRead::Line) return r;
    THubLine parsed;
    std::string error;
    if (!ParseHubLine(line, parsed, error)) {
      Log(Name() + " wrote an unreadable line: " + error);
      continue;
    }
    if (parsed.command == "error") {
      Log(Name() + " reports an error: " + parsed.Get("message").value_or(line));
      continue;
    }
    if (parsed.command == "id" && parsed.Get("name")) name_ = *parsed.Get("name");
    if (parsed.command == command) return r;
  }
}

bool THubPlayer::Open(std::string& error) {
  if (open_ && process_.Running()) return true;
  Close();
  if (!process_.Start(options_.command, options_.folder, error)) return false;
  std::string line;
  const milliseconds grace(options_.graceMs);
  if (!Send("hub") || WaitFor("wait", grace, line) != TChildProcess::TRead::Line) {
    error = "\"" + options_.command + "\" did not answer hub with wait";
    process_.Stop(milliseconds(0));
    return false;
  }
  const std::string variant = HubVariantName(options_.variant);
  if (!variant.empty()) Send(FormatHubLine(HubLine("set-param", {{"name", "variant"}, {"value", variant}})));
  if (!Send("init") || WaitFor("ready", milliseconds(options_.initMs), line) != TChildProcess::TRead::Line) {
    error = Name() + " did not answer init with ready";
    process_.Stop(milliseconds(0));
    return false;
  }
  open_ = true;
  return true;
}

TPlayerReply THubPlayer::StartGame(const TGame&, TDColor, const TGameClock&) {
  std::string error;
  if (!Open(error)) return TPlayerReply::Of(Kind::Failed, error);
  if (!Send("new-game")) {
    open_ = false;
    return TPlayerReply::Of(Kind::Failed, Name() + " does not read its input any more");
  }
  return TPlayerReply::Ok();
}

TPlayerReply THubPlayer::Think(const TGame& game, const TGameClock& clock, const TInterruptCheck&) {
  // The whole game line, so that the engine sees repetitions.
  std::string moves;
  for (int node : GameLineNodes(game)) {
    if (!moves.empty()) moves += ' ';
    moves += WireMoveText(ToWireMove(game.Moves[node], game.Params));
  }
  TBoard start;
  start.b = game.StartBoard;
  THubLine pos = HubLine("pos", {{"pos", HubPositionText(start, game.Header.FirstMove, game.Params)}});
  if (!moves.empty()) pos.args.push_back({"moves", moves, false});
  const TTimeControl& tc = clock.Control(game.SideToMove);
  THubLine level = HubLine("level");
  if (tc.perMoveMs > 0) {
    level.args.push_back({"move-time", Seconds(tc.perMoveMs), false});
  } else {
    if (tc.movesPerPeriod > 0)
      level.args.push_back(
          {"moves", std::to_string(tc.movesPerPeriod - clock.MovesMade(game.SideToMove) % tc.movesPerPeriod),
           false});
    level.args.push_back({"time", Seconds(std::max<int64_t>(0, clock.RemainingMs(game.SideToMove))), false});
  }
  if (!Send(FormatHubLine(pos)) || !Send(FormatHubLine(level)) || !Send("go think")) {
    open_ = false;
    return TPlayerReply::Of(Kind::Failed, Name() + " does not read its input any more");
  }
  const int64_t limitMs = clock.WaitLimitMs(game.SideToMove, options_.graceMs);
  std::string line;
  TChildProcess::TRead r = WaitFor("done", milliseconds(limitMs), line);
  if (r == TChildProcess::TRead::Timeout) {
    // It lost this game; it is started afresh for the next one.
    process_.Stop(milliseconds(0));
    open_ = false;
    return TPlayerReply::Of(Kind::TimeOut, Name() + " gave no move within " + SecondsText(limitMs) +
                                               " s (its time plus " + SecondsText(options_.graceMs) + " s)");
  }
  if (r == TChildProcess::TRead::Closed) {
    process_.Stop(milliseconds(0));
    open_ = false;
    return TPlayerReply::Of(Kind::Failed, Name() + " ended while thinking");
  }
  THubLine done;
  std::string error;
  ParseHubLine(line, done, error);
  const auto text = done.Get("move");
  if (!text || text->empty())
    return TPlayerReply::Of(Kind::Failed, Name() + " answered \"" + line + "\" without a move");
  TWireMove wire;
  if (!ParseWireMoveText(*text, wire, error))
    return TPlayerReply::Of(Kind::Failed, Name() + " sent a " + error);
  const TWireMatch found = MatchWireMove(wire, game.CurBoard, game.SideToMove, game.Params);
  if (found.kind != TWireMatchKind::Found)
    return TPlayerReply::Of(Kind::Failed, Name() + " sent an " + WireMatchProblem(found, wire, game.Params));
  TPlayerReply reply = TPlayerReply::Of(Kind::Move);
  reply.move = found.move;
  return reply;
}

}  // namespace quorlin
