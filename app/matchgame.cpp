#include "app/matchgame.h"

#include <chrono>
#include <ctime>
#include <vector>

#include "engine/gameresult.h"
#include "rules/movegen.h"
#include "rules/notation.h"

namespace quorlin {

namespace {

using Clock = std::chrono::steady_clock;
using Kind = TPlayerReply::Kind;

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// The generated legal move equal to `m` (same start, destination and captured
// pieces), or nullptr.
const TMove* FindLegal(const TMove& m, const TMvs& list, int count) {
  for (int i = 1; i <= count; ++i)
    if (list[i].From() == m.From() && list[i].To() == m.To() && SameCapture(list[i], m)) return &list[i];
  return nullptr;
}

// Result when `loser` loses (or wins, for a giveaway game), with or without
// the time mark.
uint8_t LossFor(TDColor loser, bool giveaway, bool onTime) {
  const bool whiteLoses = (loser == TDColor::white) != giveaway;
  if (onTime) return whiteLoses ? kResultBlackWinTime : kResultWhiteWinTime;
  return whiteLoses ? kResultBlackWin : kResultWhiteWin;
}

// The state of one game while it is played.
class TGameRun {
 public:
  TGameRun(TGame& game, TGamePlayer& white, TGamePlayer& black, const TMatchGameOptions& o)
      : game_(game), white_(white), black_(black), o_(o), clock_(o.timeControl[0], o.timeControl[1]) {}

  TMatchGameOutcome Play();

 private:
  TGamePlayer& PlayerOf(TDColor side) { return side == TDColor::white ? white_ : black_; }
  TDColor SideOf(const TGamePlayer& p) const { return &p == &white_ ? TDColor::white : TDColor::black; }
  void Log(const std::string& text) const {
    if (o_.log) o_.log(text);
  }
  void End(TGameEndKind kind, uint8_t result, const std::string& reason) {
    ended_ = true;
    out_.end = kind;
    out_.result = result;
    out_.reason = reason;
  }
  // Acts on what a player said out of turn or instead of a move. Returns
  // false when the game is over.
  bool Handle(const TPlayerReply& r, TGamePlayer& who);
  void Claim(const TPlayerReply& r, TGamePlayer& who);
  bool PlayMove(const TMove& m, TGamePlayer& mover, int64_t usedMs);
  void Finish();

  TGame& game_;
  TGamePlayer& white_;
  TGamePlayer& black_;
  const TMatchGameOptions& o_;
  TGameClock clock_;
  TMatchGameOutcome out_;
  bool ended_ = false;
  bool started_[2] = {false, false};
};

bool TGameRun::Handle(const TPlayerReply& r, TGamePlayer& who) {
  switch (r.kind) {
    case Kind::EndClaim:
      Claim(r, who);
      return false;
    case Kind::TakeBack: {
      const int before = LinePlies(game_);
      if (!TakeBackTo(game_, r.keepPlies)) {
        End(TGameEndKind::Unknown, kResultNone,
            who.Name() + " asked to take back moves the game does not have");
        return false;
      }
      out_.plies = std::max(0, out_.plies - (before - r.keepPlies));
      Log(who.Name() + " took back " + std::to_string(before - r.keepPlies) + " plies");
      return true;
    }
    case Kind::Failed:
      out_.fault = true;
      out_.sessionOver = out_.sessionOver || r.endsSession;
      End(TGameEndKind::Unknown, kResultNone, r.message.empty() ? who.Name() + " failed" : r.message);
      return false;
    case Kind::TimeOut:
      out_.fault = true;
      out_.sessionOver = out_.sessionOver || r.endsSession;
      End(TGameEndKind::Time, LossFor(SideOf(who), false, true),
          r.message.empty() ? who.Name() + " did not answer in time" : r.message);
      return false;
    default:
      return true;
  }
}

// A player ends the game. Giving up is taken at its word; any other result
// stands only when the rules here say the same, which they do not while the
// game goes on (a finished game never reaches a player), so it is unknown.
void TGameRun::Claim(const TPlayerReply& r, TGamePlayer& who) {
  out_.sessionOver = out_.sessionOver || r.endsSession;
  const std::string detail = r.message.empty() ? "" : " (" + r.message + ")";
  if (r.resigns) {
    End(TGameEndKind::Claim, LossFor(SideOf(who), false, false), who.Name() + " gave up" + detail);
    return;
  }
  const char* claimed = r.claimedResult == kResultDraw   ? "a draw"
                        : r.claimedResult == kResultNone ? "no result"
                                                         : "a win";
  End(TGameEndKind::Unknown, kResultNone,
      who.Name() + " ended the game with " + claimed + detail + "; the rules here do not confirm it");
}

bool TGameRun::PlayMove(const TMove& m, TGamePlayer& mover, int64_t usedMs) {
  const TGameParams& p = game_.Params;
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(game_.CurBoard, static_cast<int>(game_.SideToMove), list, n, p, true);
  const TMove* legal = FindLegal(m, list, n);
  if (!legal) {
    out_.fault = true;
    End(TGameEndKind::Unknown, kResultNone,
        mover.Name() + " played an illegal move " + MoveText(m, p, kStyleFull, "x"));
    return false;
  }
  TGamePlayer& other = PlayerOf(Other(game_.SideToMove));
  const TPlayerReply told = other.OpponentMoved(game_, *legal, usedMs);
  if (told.kind != Kind::Ok && told.kind != Kind::Nothing) return Handle(told, other) && !ended_;
  const int node = AddMove(game_, *legal, game_.CurMovPos);
  if (node == 0) {
    End(TGameEndKind::Unknown, kResultNone, "no room for another move in the game record");
    return false;
  }
  game_.CurMovPos = node;
  ApplyMove(game_.Moves[node], game_.CurBoard, p);
  clock_.Charge(game_.SideToMove, usedMs);
  out_.thinkMs[static_cast<int>(game_.SideToMove)] += usedMs;
  ++out_.moves[static_cast<int>(game_.SideToMove)];
  game_.SideToMove = Other(game_.SideToMove);
  ++out_.plies;
  return true;
}

void TGameRun::Finish() {
  game_.Header.Result = out_.result;
  std::string& comment = game_.Comments[game_.CurMovPos].CommentAft;
  std::string text;
  switch (out_.end) {
    case TGameEndKind::Repetition:
    case TGameEndKind::MoveCount:
      text = std::string("Draw by ") + GameEndText(out_.end);
      break;
    case TGameEndKind::Adjudicated:
      text = std::string("Decided by the ") + GameEndText(out_.end);
      break;
    case TGameEndKind::NoMove:
      break;
    default:
      text = out_.reason;
  }
  if (!text.empty()) comment = comment.empty() ? text : comment + " " + text;
  TGameEnd end;
  end.result = out_.result;
  end.reason = out_.reason;
  end.byPlayerClaim = out_.end == TGameEndKind::Claim;
  end.lastGame = o_.lastGame || out_.sessionOver;
  for (TDColor side : {TDColor::white, TDColor::black})
    if (started_[static_cast<int>(side)]) PlayerOf(side).GameOver(game_, end);
}

TMatchGameOutcome TGameRun::Play() {
  const auto started = Clock::now();
  for (TDColor side : {TDColor::white, TDColor::black}) {
    TPlayerReply r = PlayerOf(side).StartGame(game_, side, clock_);
    if (r.kind != Kind::Ok) {
      out_.fault = true;
      out_.sessionOver = r.endsSession;
      End(TGameEndKind::Unknown, kResultNone,
          r.message.empty() ? PlayerOf(side).Name() + " could not start the game" : r.message);
      break;
    }
    started_[static_cast<int>(side)] = true;
  }
  out_.started = started_[0] && started_[1];
  while (!ended_) {
    const TResultCheck check = CheckResult(game_, o_.giveaway, true);
    if (check.result != kResultNone) {
      const TGameEndKind kind = check.rule == TResultRule::Repetition  ? TGameEndKind::Repetition
                                : check.rule == TResultRule::MoveCount ? TGameEndKind::MoveCount
                                                                       : TGameEndKind::NoMove;
      End(kind, check.result, GameEndText(kind));
      break;
    }
    if (o_.adjudicate) {
      const uint8_t decided = o_.adjudicate(game_);
      if (decided != kResultNone) {
        End(TGameEndKind::Adjudicated, decided, GameEndText(TGameEndKind::Adjudicated));
        break;
      }
    }
    if (o_.maxPlies > 0 && out_.plies >= o_.maxPlies) {
      End(TGameEndKind::PlyCap, kResultNone,
          "Stopped after " + std::to_string(o_.maxPlies) + " engine plies" +
              (o_.capIsDraw ? "; scored as a draw" : "; result unknown"));
      break;
    }
    TGamePlayer& mover = PlayerOf(game_.SideToMove);
    TGamePlayer& other = PlayerOf(Other(game_.SideToMove));
    if (other.HasNews()) {
      if (!Handle(other.TakeNews(game_), other)) break;
      continue;
    }
    const auto thinkStart = Clock::now();
    TPlayerReply r = mover.Think(game_, clock_, [&other] { return other.HasNews(); });
    const int64_t used = MsSince(thinkStart);
    switch (r.kind) {
      case Kind::Move:
        PlayMove(r.move, mover, used);
        break;
      case Kind::Interrupted:
        Handle(other.TakeNews(game_), other);
        break;
      case Kind::Ok:
      case Kind::Nothing:
        break;
      default:
        Handle(r, mover);
    }
  }
  Finish();
  out_.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return out_;
}

}  // namespace

const char* GameEndText(TGameEndKind kind) {
  switch (kind) {
    case TGameEndKind::NoMove:
      return "no legal move";
    case TGameEndKind::Repetition:
      return "repetition";
    case TGameEndKind::MoveCount:
      return "move-count rule";
    case TGameEndKind::PlyCap:
      return "ply cap";
    case TGameEndKind::Claim:
      return "given up";
    case TGameEndKind::Unknown:
      return "unknown";
    case TGameEndKind::Time:
      return "lost on time";
    case TGameEndKind::Adjudicated:
      return "endgame databases";
  }
  return "";
}

TDateRecord TodayDate() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  TDateRecord d;
  d.Year = static_cast<uint16_t>(tm.tm_year + 1900);
  d.Month = static_cast<uint8_t>(tm.tm_mon + 1);
  d.Day = static_cast<uint8_t>(tm.tm_mday);
  return d;
}

bool TakeBackTo(TGame& game, int keepPlies) {
  const std::vector<int> line = GameLineNodes(game);
  const int plies = static_cast<int>(line.size());
  if (keepPlies < 0 || keepPlies > plies) return false;
  if (keepPlies == plies) return true;
  const int keep = keepPlies == 0 ? 0 : line[keepPlies - 1];
  DeleteSubtree(game, line[keepPlies]);
  game.CurMovPos = keep;
  TBoard board;
  ReplayGameLine(game, keep, board);
  game.CurBoard = board;
  game.SideToMove = keepPlies % 2 == 0 ? game.Header.FirstMove : Other(game.Header.FirstMove);
  return true;
}

TMatchGameOutcome PlayMatchGame(TGame& game, TGamePlayer& white, TGamePlayer& black,
                                const TMatchGameOptions& options) {
  return TGameRun(game, white, black, options).Play();
}

}  // namespace quorlin
