#pragma once
// An outside engine that speaks the Hub protocol, run as a child process and
// played against in our game loop. The program is started (and greeted with
// `hub`, its variant and `init`) when its first game begins, and again for a
// later game after it failed; each move is asked for with the whole game
// line (`pos` with `moves`), the time as `level`, and `go think`.
#include <string>

#include "app/childprocess.h"
#include "app/gameplayer.h"

namespace quorlin {

struct THubPlayerOptions {
  std::string command;      // shell command that starts the engine
  std::string folder;       // its working folder; empty = ours
  int variant = 0;          // VariantTable slot of the games (International, Killer or Frisian)
  int64_t graceMs = 30000;  // waited beyond its time for a move, and for its greeting
  int64_t initMs = 120000;  // waited for `ready` after `init` (it may load databases)
  TLogFn log;               // its error lines and what went wrong
};

class THubPlayer : public TGamePlayer {
 public:
  explicit THubPlayer(THubPlayerOptions options);
  ~THubPlayer() override;

  std::string Name() const override;
  TPlayerReply StartGame(const TGame& game, TDColor side, const TGameClock& clock) override;
  TPlayerReply Think(const TGame& game, const TGameClock& clock, const TInterruptCheck& interrupted) override;
  TPlayerReply OpponentMoved(const TGame&, const TMove&, int64_t) override { return TPlayerReply::Ok(); }
  void GameOver(const TGame&, const TGameEnd&) override {}

  // Starts the program and greets it; false with `error`.
  bool Open(std::string& error);

 private:
  void Log(const std::string& text) const;
  bool Send(const std::string& line);
  // Reads lines until one starts with `command` or the deadline passes.
  TChildProcess::TRead WaitFor(const std::string& command, std::chrono::milliseconds timeout,
                               std::string& line);
  void Close();

  THubPlayerOptions options_;
  TChildProcess process_;
  std::string name_;
  bool open_ = false;
};

}  // namespace quorlin
