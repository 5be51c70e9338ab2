#pragma once
// A DXP session with another draughts program: the connection (a reader
// thread that splits the byte stream at NUL bytes and decodes the messages
// into a queue) and the other program as a player of our game loop. Whatever
// the other side sends — malformed or unexpected messages, illegal or
// ambiguous moves, a game end at any moment, take-back requests, silence, a
// closed connection — becomes a clear message and, where it matters, the end
// of the game; nothing waits longer than the time the other side has on its
// clock plus a grace period.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/dxpmessage.h"
#include "app/gameplayer.h"
#include "app/netsocket.h"

namespace quorlin {

struct TDxpEvent {
  enum class Kind { Message, Malformed, Closed };
  Kind kind = Kind::Closed;
  TDxpMessage message;
  std::string text;   // the message as received (without the NUL)
  std::string error;  // Malformed: what was wrong
};

class TDxpConnection {
 public:
  // Takes over a connected stream and starts reading. `transcript` (may be
  // empty) gets every message sent ("> ...") and received ("< ..."); it is
  // called from the reader thread too.
  TDxpConnection(TTcpStream stream, TLogFn transcript = {});
  ~TDxpConnection();
  TDxpConnection(const TDxpConnection&) = delete;
  TDxpConnection& operator=(const TDxpConnection&) = delete;

  // False when the connection is gone.
  bool Send(const TDxpMessage& message);
  // The next event, waiting until `deadline`; false on timeout. After the
  // connection closed, every call returns a Closed event at once.
  bool Next(TDxpEvent& event, std::chrono::steady_clock::time_point deadline);
  bool Closed() const;
  const std::string& PeerName() const { return peer_; }

 private:
  void ReadLoop();
  void Push(TDxpEvent event);
  void Transcript(const std::string& line);

  TTcpStream stream_;
  std::string peer_;
  TLogFn transcript_;
  std::mutex transcriptLock_;
  std::mutex sendLock_;
  mutable std::mutex lock_;
  std::condition_variable cv_;
  std::deque<TDxpEvent> events_;
  bool closed_ = false;  // the reader saw the end of the stream (guarded by lock_)
  std::atomic<bool> stopping_{false};
  std::thread reader_;
};

struct TDxpPlayerOptions {
  std::string ourName = "Quorlin";  // sent in our requests and acceptances
  int minutes = 0;                  // our requests: time for the game
  int moves = 0;                    // our requests: moves in that time (0 = all)
  int64_t graceMs = 30000;          // waited beyond the other side's clock and for answers
  TLogFn log;                       // clear messages: chat, refusals, disagreements
};

// The other program as a player. As initiator, StartGame sends the game
// request; as follower, the request was answered before with AcceptRequest.
class TDxpPlayer : public TGamePlayer {
 public:
  TDxpPlayer(TDxpConnection& connection, TDxpPlayerOptions options);

  std::string Name() const override;
  TPlayerReply StartGame(const TGame& game, TDColor side, const TGameClock& clock) override;
  TPlayerReply Think(const TGame& game, const TGameClock& clock, const TInterruptCheck& interrupted) override;
  TPlayerReply OpponentMoved(const TGame& game, const TMove& move, int64_t usedMs) override;
  bool HasNews() override;
  TPlayerReply TakeNews(const TGame& game) override;
  void GameOver(const TGame& game, const TGameEnd& end) override;

  // --- Follower ---------------------------------------------------------------
  enum class TWait { Request, SessionOver, TimeOut };
  // Waits for the other program's next game request. Chat is logged, stray
  // messages are answered or ignored. SessionOver when it ends the session or
  // the connection closes (`why` says which).
  TWait WaitGameRequest(TDxpGameRequest& request, std::chrono::steady_clock::time_point deadline,
                        std::string& why);
  // Answers a request: accepted (the next StartGame plays it) or refused with
  // `code`; `why` is logged and sent as chat when refusing.
  void AcceptRequest(const TDxpGameRequest& request);
  void RefuseRequest(char code, const std::string& why);

  // The session is over: a game end with stop code 1 went either way, or the
  // connection closed.
  bool SessionOver() const { return sessionOver_ || connection_.Closed(); }
  // Ends the session between games (a game end with stop code 1).
  void EndSession();
  // What the other program answered to our last game end: its reason code,
  // or 0 when it did not answer.
  char LastEndAnswer() const { return lastEndAnswer_; }

 private:
  void Log(const std::string& text) const;
  // The next event: the one HasNews set aside, else the connection's next one
  // until `deadline`. False on timeout.
  bool NextEvent(TDxpEvent& event, std::chrono::steady_clock::time_point deadline);
  void Chat(const std::string& text);
  // Turns a received event into a reply; Nothing for chat and stray messages.
  TPlayerReply Translate(const TDxpEvent& event, const TGame& game, bool ourTurnToWait);
  TPlayerReply TakeBack(const TDxpBackRequest& b, const TGame& game);
  char OurReason(uint8_t result) const;

  TDxpConnection& connection_;
  TDxpPlayerOptions options_;
  std::string remoteName_;
  TDColor side_ = TDColor::white;  // the other program's colour
  bool accepted_ = false;          // follower: the request is answered
  TDxpGameRequest acceptedRequest_;
  int startPlies_ = 0;  // plies in the game line when the DXP game began
  TDColor startSide_ = TDColor::white;
  std::optional<TDxpEvent> news_;           // an event seen by HasNews, not yet taken
  std::optional<TDxpGameEnd> receivedEnd_;  // the other side ended this game
  bool sessionOver_ = false;
  char lastEndAnswer_ = 0;
};

// Result code (header) of a game end reason sent by the program playing `sender`.
uint8_t ResultOfDxpEnd(char reason, TDColor sender);

}  // namespace quorlin
