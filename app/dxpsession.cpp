#include "app/dxpsession.h"

#include <utility>

#include "app/matchgame.h"
#include "app/wiremove.h"

namespace quorlin {

namespace {

using Clock = std::chrono::steady_clock;
using Kind = TPlayerReply::Kind;

// Longest chat text sent: some programs read messages into 128-byte buffers.
constexpr size_t kChatMax = 120;
// How long the reader waits before it looks at its stop flag again.
constexpr auto kReadSlice = std::chrono::milliseconds(100);

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

std::string ResultWords(uint8_t result) {
  switch (result) {
    case kResultWhiteWin:
    case kResultWhiteWinTime:
      return "a win for White";
    case kResultBlackWin:
    case kResultBlackWinTime:
      return "a win for Black";
    case kResultDraw:
      return "a draw";
    default:
      return "no result";
  }
}

}  // namespace

uint8_t ResultOfDxpEnd(char reason, TDColor sender) {
  switch (reason) {
    case kDxpEndSenderLoses:
      return sender == TDColor::white ? kResultBlackWin : kResultWhiteWin;
    case kDxpEndSenderWins:
      return sender == TDColor::white ? kResultWhiteWin : kResultBlackWin;
    case kDxpEndDraw:
      return kResultDraw;
    default:
      return kResultNone;
  }
}

// --- Connection --------------------------------------------------------------

TDxpConnection::TDxpConnection(TTcpStream stream, TLogFn transcript)
    : stream_(std::move(stream)), peer_(stream_.PeerName()), transcript_(std::move(transcript)) {
  reader_ = std::thread([this] { ReadLoop(); });
}

TDxpConnection::~TDxpConnection() {
  stopping_ = true;
  stream_.Shutdown();
  reader_.join();
  stream_.Close();
}

void TDxpConnection::Transcript(const std::string& line) {
  if (!transcript_) return;
  std::lock_guard<std::mutex> g(transcriptLock_);
  transcript_(line);
}

bool TDxpConnection::Send(const TDxpMessage& message) {
  const std::string text = EncodeDxp(message);
  std::lock_guard<std::mutex> g(sendLock_);
  Transcript("> " + text);
  return stream_.SendAll(text + std::string(1, '\0'));
}

void TDxpConnection::Push(TDxpEvent event) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (event.kind == TDxpEvent::Kind::Closed) closed_ = true;
    events_.push_back(std::move(event));
  }
  cv_.notify_all();
}

void TDxpConnection::ReadLoop() {
  std::string pending, chunk;
  bool overlong = false;
  while (!stopping_.load()) {
    const TTcpStream::TRead r = stream_.Receive(chunk, 4096, kReadSlice);
    if (r == TTcpStream::TRead::Timeout) continue;
    if (r == TTcpStream::TRead::Closed) break;
    for (char c : chunk) {
      if (c != '\0') {
        if (pending.size() < kDxpMaxMessage)
          pending += c;
        else
          overlong = true;
        continue;
      }
      TDxpEvent e;
      e.text = pending;
      if (overlong) {
        e.kind = TDxpEvent::Kind::Malformed;
        e.error = "a message longer than " + std::to_string(kDxpMaxMessage) + " bytes";
      } else if (DecodeDxp(pending, e.message, e.error)) {
        e.kind = TDxpEvent::Kind::Message;
      } else {
        e.kind = TDxpEvent::Kind::Malformed;
      }
      Transcript("< " + pending + (e.kind == TDxpEvent::Kind::Malformed ? "   [" + e.error + "]" : ""));
      Push(std::move(e));
      pending.clear();
      overlong = false;
    }
  }
  if (!pending.empty())
    Transcript("< " + pending + "   [cut off: the connection closed before its end byte]");
  TDxpEvent closed;
  closed.kind = TDxpEvent::Kind::Closed;
  Push(std::move(closed));
}

bool TDxpConnection::Next(TDxpEvent& event, Clock::time_point deadline) {
  std::unique_lock<std::mutex> g(lock_);
  if (!cv_.wait_until(g, deadline, [this] { return !events_.empty(); })) return false;
  event = events_.front();
  // The closing event stays, so that every later call sees it too.
  if (event.kind != TDxpEvent::Kind::Closed) events_.pop_front();
  return true;
}

bool TDxpConnection::Closed() const {
  std::lock_guard<std::mutex> g(lock_);
  return closed_ && events_.size() == 1;
}

// --- The other program as a player ----------------------------------------------

TDxpPlayer::TDxpPlayer(TDxpConnection& connection, TDxpPlayerOptions options)
    : connection_(connection), options_(std::move(options)) {}

std::string TDxpPlayer::Name() const {
  return remoteName_.empty() ? "DXP " + connection_.PeerName() : remoteName_;
}

void TDxpPlayer::Log(const std::string& text) const {
  if (options_.log) options_.log(text);
}

bool TDxpPlayer::NextEvent(TDxpEvent& event, Clock::time_point deadline) {
  if (news_) {
    event = std::move(*news_);
    news_.reset();
    return true;
  }
  return connection_.Next(event, deadline);
}

void TDxpPlayer::Chat(const std::string& text) { connection_.Send(TDxpChat{text.substr(0, kChatMax)}); }

char TDxpPlayer::OurReason(uint8_t result) const {
  // We send for the side opposite the other program.
  const TDColor us = Other(side_);
  switch (result) {
    case kResultDraw:
      return kDxpEndDraw;
    case kResultWhiteWin:
    case kResultWhiteWinTime:
      return us == TDColor::white ? kDxpEndSenderWins : kDxpEndSenderLoses;
    case kResultBlackWin:
    case kResultBlackWinTime:
      return us == TDColor::black ? kDxpEndSenderWins : kDxpEndSenderLoses;
    default:
      return kDxpEndUnknown;
  }
}

TPlayerReply TDxpPlayer::StartGame(const TGame& game, TDColor side, const TGameClock&) {
  side_ = side;
  receivedEnd_.reset();
  news_.reset();
  startPlies_ = LinePlies(game);
  startSide_ = game.SideToMove;
  lastEndAnswer_ = 0;
  if (accepted_) {
    accepted_ = false;
    return TPlayerReply::Ok();
  }
  if (SessionOver()) return TPlayerReply::Of(Kind::Failed, "the DXP session with " + Name() + " is over");
  TDxpGameRequest r;
  r.initiatorName = options_.ourName;
  r.followerColour = side == TDColor::white ? 'W' : 'Z';
  r.minutes = options_.minutes;
  r.moves = options_.moves;
  SetDxpRequestPosition(r, game.CurBoard, game.SideToMove);
  if (!connection_.Send(r)) {
    TPlayerReply f = TPlayerReply::Of(Kind::Failed, "the connection to " + Name() + " is gone");
    f.endsSession = true;
    return f;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.graceMs);
  for (;;) {
    TDxpEvent e;
    if (!connection_.Next(e, deadline)) {
      TPlayerReply f = TPlayerReply::Of(Kind::Failed, Name() + " did not answer the game request within " +
                                                          SecondsText(options_.graceMs) + " s");
      f.endsSession = true;
      return f;
    }
    if (e.kind == TDxpEvent::Kind::Message) {
      if (const auto* a = std::get_if<TDxpGameAccept>(&e.message)) {
        if (!a->followerName.empty()) remoteName_ = a->followerName;
        if (a->code == kDxpAccepted) return TPlayerReply::Ok();
        TPlayerReply f = TPlayerReply::Of(
            Kind::Failed, Name() + " refused the game (code " + std::string(1, a->code) +
                              (a->code == kDxpRefusedVersion ? ": protocol version not supported)" : ")"));
        f.endsSession = true;
        return f;
      }
      if (const auto* c = std::get_if<TDxpChat>(&e.message)) {
        Log(Name() + " says: " + c->text);
        continue;
      }
      if (const auto* end = std::get_if<TDxpGameEnd>(&e.message)) {
        if (end->stop == kDxpStopSession) {
          sessionOver_ = true;
          TPlayerReply f = TPlayerReply::Of(Kind::Failed, Name() + " ended the session instead of answering");
          f.endsSession = true;
          return f;
        }
        continue;  // a late answer to an earlier game end
      }
      Log("ignored " + DescribeDxp(e.message) + " from " + Name() + " while waiting for its answer");
      continue;
    }
    TPlayerReply f =
        e.kind == TDxpEvent::Kind::Closed
            ? TPlayerReply::Of(Kind::Failed, Name() + " closed the connection")
            : TPlayerReply::Of(Kind::Failed, "malformed message from " + Name() + ": " + e.error);
    f.endsSession = e.kind == TDxpEvent::Kind::Closed;
    return f;
  }
}

TPlayerReply TDxpPlayer::TakeBack(const TDxpBackRequest& b, const TGame& game) {
  const int absolute = (b.moveNumber - 1) * 2 + (b.sideToMove == 'Z' ? 1 : 0);
  const int relative = absolute - (startSide_ == TDColor::black ? 1 : 0);
  const int keep = startPlies_ + relative;
  if (relative < 0 || keep > LinePlies(game)) {
    connection_.Send(TDxpBackAccept{kDxpRefused});
    Log(Name() + " asked to take back to move " + std::to_string(b.moveNumber) + " (" +
        (b.sideToMove == 'Z' ? "Black" : "White") + " to move), which this game does not have: refused");
    return TPlayerReply::Of(Kind::Nothing);
  }
  connection_.Send(TDxpBackAccept{kDxpAccepted});
  TPlayerReply r = TPlayerReply::Of(Kind::TakeBack);
  r.keepPlies = keep;
  return r;
}

TPlayerReply TDxpPlayer::Translate(const TDxpEvent& e, const TGame& game, bool waitingForItsMove) {
  if (e.kind == TDxpEvent::Kind::Closed) {
    TPlayerReply f = TPlayerReply::Of(Kind::Failed, Name() + " closed the connection");
    f.endsSession = true;
    return f;
  }
  if (e.kind == TDxpEvent::Kind::Malformed) {
    Chat("malformed message: " + e.error);
    return TPlayerReply::Of(Kind::Failed, "malformed message from " + Name() + ": " + e.error);
  }
  const TDxpMessage& m = e.message;
  if (const auto* move = std::get_if<TDxpMove>(&m)) {
    if (!waitingForItsMove) {
      Chat("move received while it was not your turn");
      return TPlayerReply::Of(Kind::Failed, Name() + " sent a move when it was not its turn");
    }
    const TWireMove wire{move->from, move->to, move->captured};
    const TWireMatch found = MatchWireMove(wire, game.CurBoard, game.SideToMove, game.Params);
    if (found.kind != TWireMatchKind::Found) {
      const std::string problem = WireMatchProblem(found, wire, game.Params);
      Chat(problem);
      return TPlayerReply::Of(Kind::Failed, Name() + " sent an " + problem);
    }
    TPlayerReply r = TPlayerReply::Of(Kind::Move);
    r.move = found.move;
    r.usedMs = int64_t{move->seconds} * 1000;
    return r;
  }
  if (const auto* end = std::get_if<TDxpGameEnd>(&m)) {
    receivedEnd_ = *end;
    TPlayerReply r = TPlayerReply::Of(Kind::EndClaim);
    r.claimedResult = ResultOfDxpEnd(end->reason, side_);
    r.resigns = end->reason == kDxpEndSenderLoses;
    r.endsSession = end->stop == kDxpStopSession;
    if (r.endsSession) sessionOver_ = true;
    r.message = "its game end says " + ResultWords(r.claimedResult);
    return r;
  }
  if (const auto* b = std::get_if<TDxpBackRequest>(&m)) return TakeBack(*b, game);
  if (const auto* c = std::get_if<TDxpChat>(&m)) {
    Log(Name() + " says: " + c->text);
    return TPlayerReply::Of(Kind::Nothing);
  }
  if (std::get_if<TDxpGameRequest>(&m)) {
    connection_.Send(TDxpGameAccept{options_.ourName, kDxpRefused});
    Log(Name() + " asked for a new game during a game: refused");
    return TPlayerReply::Of(Kind::Nothing);
  }
  Log("ignored " + DescribeDxp(m) + " from " + Name());
  return TPlayerReply::Of(Kind::Nothing);
}

TPlayerReply TDxpPlayer::Think(const TGame& game, const TGameClock& clock, const TInterruptCheck&) {
  const int64_t limitMs = clock.WaitLimitMs(side_, options_.graceMs);
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    TDxpEvent e;
    if (!NextEvent(e, deadline)) {
      Chat("no move within " + SecondsText(limitMs) + " s: you lose on time");
      return TPlayerReply::Of(Kind::TimeOut, Name() + " sent no move within " + SecondsText(limitMs) +
                                                 " s (its clock plus " + SecondsText(options_.graceMs) +
                                                 " s)");
    }
    TPlayerReply r = Translate(e, game, true);
    if (r.kind != Kind::Nothing) return r;
  }
}

bool TDxpPlayer::HasNews() {
  if (news_) return true;
  for (;;) {
    TDxpEvent e;
    if (!connection_.Next(e, Clock::now())) return false;
    if (e.kind == TDxpEvent::Kind::Message) {
      if (const auto* c = std::get_if<TDxpChat>(&e.message)) {
        Log(Name() + " says: " + c->text);
        continue;
      }
    }
    news_ = std::move(e);
    return true;
  }
}

TPlayerReply TDxpPlayer::TakeNews(const TGame& game) {
  TDxpEvent e;
  if (!HasNews() || !NextEvent(e, Clock::now())) return TPlayerReply::Of(Kind::Nothing);
  return Translate(e, game, false);
}

TPlayerReply TDxpPlayer::OpponentMoved(const TGame& game, const TMove& move, int64_t usedMs) {
  // A game end or request that came while our side thought wins over our move.
  if (HasNews()) {
    TPlayerReply r = TakeNews(game);
    if (r.kind != Kind::Nothing) return r;
  }
  const TWireMove w = ToWireMove(move, game.Params);
  const TDxpMove m{static_cast<int>((usedMs + 500) / 1000), w.from, w.to, w.captured};
  if (!connection_.Send(m)) {
    TPlayerReply f = TPlayerReply::Of(Kind::Failed, "the connection to " + Name() + " is gone");
    f.endsSession = true;
    return f;
  }
  return TPlayerReply::Ok();
}

void TDxpPlayer::GameOver(const TGame&, const TGameEnd& end) {
  if (connection_.Closed()) return;
  const char ours = OurReason(end.result);
  if (receivedEnd_) {
    // Our answer to its game end: how we see the result.
    const char stop =
        receivedEnd_->stop == kDxpStopSession || end.lastGame ? kDxpStopSession : kDxpStopNextGame;
    connection_.Send(TDxpGameEnd{ours, stop});
    if (stop == kDxpStopSession) sessionOver_ = true;
    receivedEnd_.reset();
    return;
  }
  const char stop = end.lastGame ? kDxpStopSession : kDxpStopNextGame;
  connection_.Send(TDxpGameEnd{ours, stop});
  if (stop == kDxpStopSession) sessionOver_ = true;
  // Its answer; moves and requests that crossed ours are dropped.
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.graceMs);
  for (;;) {
    TDxpEvent e;
    if (!NextEvent(e, deadline)) {
      Log(Name() + " did not answer the game end within " + SecondsText(options_.graceMs) + " s");
      return;
    }
    if (e.kind == TDxpEvent::Kind::Closed) return;
    if (e.kind == TDxpEvent::Kind::Malformed) {
      Log("malformed message from " + Name() + " after the game end: " + e.error);
      continue;
    }
    if (const auto* c = std::get_if<TDxpChat>(&e.message)) {
      Log(Name() + " says: " + c->text);
      continue;
    }
    if (const auto* b = std::get_if<TDxpBackRequest>(&e.message)) {
      (void)b;
      connection_.Send(TDxpBackAccept{kDxpRefused});
      continue;
    }
    if (const auto* answer = std::get_if<TDxpGameEnd>(&e.message)) {
      lastEndAnswer_ = answer->reason;
      if (answer->stop == kDxpStopSession) sessionOver_ = true;
      const uint8_t theirs = ResultOfDxpEnd(answer->reason, side_);
      if (answer->reason != kDxpEndUnknown && theirs != end.result)
        Log(Name() + " sees the game as " + ResultWords(theirs) + ", here it is " + ResultWords(end.result));
      return;
    }
    if (std::get_if<TDxpGameRequest>(&e.message)) {
      // The initiator did not wait for our answer: keep its request for the
      // follower's loop.
      news_ = e;
      return;
    }
  }
}

TDxpPlayer::TWait TDxpPlayer::WaitGameRequest(TDxpGameRequest& request, Clock::time_point deadline,
                                              std::string& why) {
  for (;;) {
    TDxpEvent e;
    if (!NextEvent(e, deadline)) {
      why = "no game request from " + Name();
      return TWait::TimeOut;
    }
    if (e.kind == TDxpEvent::Kind::Closed) {
      why = Name() + " closed the connection";
      return TWait::SessionOver;
    }
    if (e.kind == TDxpEvent::Kind::Malformed) {
      Log("malformed message from " + Name() + ": " + e.error);
      if (e.text.rfind('R', 0) == 0) RefuseRequest(kDxpRefused, "malformed game request: " + e.error);
      continue;
    }
    const TDxpMessage& m = e.message;
    if (const auto* r = std::get_if<TDxpGameRequest>(&m)) {
      request = *r;
      if (!r->initiatorName.empty()) remoteName_ = r->initiatorName;
      return TWait::Request;
    }
    if (const auto* end = std::get_if<TDxpGameEnd>(&m)) {
      if (end->stop == kDxpStopSession) {
        sessionOver_ = true;
        why = Name() + " ended the session";
        return TWait::SessionOver;
      }
      continue;
    }
    if (const auto* c = std::get_if<TDxpChat>(&m)) {
      Log(Name() + " says: " + c->text);
      continue;
    }
    if (std::get_if<TDxpBackRequest>(&m)) {
      connection_.Send(TDxpBackAccept{kDxpRefused});
      continue;
    }
    Log("ignored " + DescribeDxp(m) + " from " + Name() + " between games");
  }
}

void TDxpPlayer::AcceptRequest(const TDxpGameRequest& request) {
  acceptedRequest_ = request;
  if (!request.initiatorName.empty()) remoteName_ = request.initiatorName;
  accepted_ = true;
  connection_.Send(TDxpGameAccept{options_.ourName, kDxpAccepted});
}

void TDxpPlayer::RefuseRequest(char code, const std::string& why) {
  accepted_ = false;
  Log("refused the game request of " + Name() + ": " + why);
  Chat("game refused: " + why);
  connection_.Send(TDxpGameAccept{options_.ourName, code});
}

void TDxpPlayer::EndSession() {
  if (sessionOver_ || connection_.Closed()) return;
  connection_.Send(TDxpGameEnd{kDxpEndUnknown, kDxpStopSession});
  sessionOver_ = true;
}

}  // namespace quorlin
