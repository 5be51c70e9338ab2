#pragma once
// Our engine as a player of a game between programs: an engine description
// loaded into a TEngine with its own published record and stop flag, asked for
// a move with the clock's budget. The search runs on a thread of its own so
// that the other side's news (a program ending the game) can cut it short.
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/gameplayer.h"
#include "engine/engine.h"
#include "rules/position.h"

namespace quorlin {

// One call of the engine (LetOpponentMove40) on a thread of its own, so that
// the caller can watch the clock and the other side meanwhile. `game` must
// outlive the call.
class TEngineCall {
 public:
  TEngineCall(TEngine& engine, const TGame& game, int64_t timeCs, bool computeAlways, int fastplay);
  ~TEngineCall();
  TEngineCall(const TEngineCall&) = delete;
  TEngineCall& operator=(const TEngineCall&) = delete;

  bool Done() const { return done_.load(); }
  // Waits for the end of the call. True with the chosen move; false with
  // `error` empty when the engine chose none, or saying why the call failed.
  bool Finish(TMove& best, std::string& error);

 private:
  std::atomic<bool> done_{false};
  bool chosen_ = false;  // written by the call's thread before done_, read after the join
  TMove best_;
  std::string error_;
  std::thread thread_;
};

struct TEnginePlayerOptions {
  std::filesystem::path file;  // engine description
  int variant = 0;             // VariantTable slot it plays
  int threads = 1;             // worker threads (0 = one per root move)
  int hashMb = 32;
  std::string edFolder;  // endgame databases; empty = none
  std::string book;      // opening book (.cbk) played from when the engine allows it; empty = none
  std::string label;     // name shown; empty = the file's stem
  uint64_t seed = 1;     // random choice among book moves
  int nodes = 0;         // position budget per move instead of the clock (0 = the clock)
};

class TEnginePlayer : public TGamePlayer {
 public:
  // Loads the description; throws std::runtime_error naming the file when it
  // is missing or unreadable.
  explicit TEnginePlayer(const TEnginePlayerOptions& options);
  ~TEnginePlayer() override;

  std::string Name() const override { return label_; }
  void SetName(const std::string& name) { label_ = name; }
  TPlayerReply StartGame(const TGame& game, TDColor side, const TGameClock& clock) override;
  TPlayerReply Think(const TGame& game, const TGameClock& clock, const TInterruptCheck& interrupted) override;
  TPlayerReply OpponentMoved(const TGame&, const TMove&, int64_t) override { return TPlayerReply::Ok(); }
  void GameOver(const TGame&, const TGameEnd&) override {}

  TEngine& Engine() { return *engine_; }
  const std::filesystem::path& File() const { return options_.file; }
  bool Giveaway() const { return engine_->EvalFunc().Giveaway; }

 private:
  TEnginePlayerOptions options_;
  std::string label_;
  TAnalysisInfo info_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<TEngine> engine_;
  TRandom rng_;
};

// Folder of the running executable (the program folder), empty when unknown.
std::filesystem::path ExecutableFolder();

// An engine description named on the command line: the path as given
// (relative to the working folder); a relative path that does not exist there
// is also looked for in the variant's folder of the shipped engines. Throws
// std::runtime_error naming both places when neither has it.
std::filesystem::path ResolveEngineFile(const std::string& given, int variant);

// A move of the opening book for the game's position, chosen as play mode
// chooses (the good moves first, at random among them), when the book may be
// used there: it is open, at least 12 pieces stand on the board and the game
// is at most at move 15. False when there is none.
bool ChooseBookMove(const TOpeningBook& book, const TGame& game, TRandom& rng, TMove& move);

}  // namespace quorlin
