#pragma once
// Our engine under an outside interface that speaks the Hub protocol: the
// interface's lines come in one at a time, the answers go out through a
// writer. A search runs on a thread of its own, so that `stop`, `ping` and
// `ponder-hit` are answered while it thinks; it publishes `info` lines as the
// engine deepens and ends with `done`.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/hubprotocol.h"
#include "engine/engine.h"
#include "games/gamerecord.h"
#include "rules/position.h"

namespace quorlin {

constexpr const char* kHubProgramName = "Quorlin";
constexpr const char* kHubProgramVersion = "0.1";
constexpr const char* kHubProgramAuthor = "QuorlinDraughts developers";

struct THubSessionOptions {
  // Engine description for each variant slot the session plays (International,
  // International Killer, Frisian); empty when there is none.
  std::function<std::filesystem::path(int variant)> engineFor;
  std::string edFolder;  // endgame databases; empty = none
  std::string book;      // opening book (.cbk) for International; empty = none
  int threads = 1;
  int hashMb = 64;
};

class THubSession {
 public:
  using TWriter = std::function<void(const std::string&)>;
  // `write` receives every output line (without its line end); it is called
  // from the search thread too, never by two threads at once.
  THubSession(THubSessionOptions options, TWriter write);
  ~THubSession();
  THubSession(const THubSession&) = delete;
  THubSession& operator=(const THubSession&) = delete;

  // Handles one line from the interface. False once `quit` has been handled.
  bool HandleLine(const std::string& line);
  // The interface's input is closed: stops a search and waits for its `done`.
  void Finish();
  bool Searching() const { return searching_.load(); }

 private:
  enum class TGoMode { Think, Ponder, Analyze };

  void Write(const THubLine& line);
  void Error(const std::string& message);
  void Announce();
  void SetParam(const THubLine& line);
  bool EnsureEngine();
  void SetPosition(const THubLine& line);
  void Go(const THubLine& line);
  void StopAndWait();
  void SearchThread(TGoMode mode, int64_t budgetMs, int64_t fastplay, TGame game);
  int64_t ThinkBudgetMs() const;
  std::string PvText(const TPV& pv) const;
  void PublishInfo(std::string& lastShown, bool force);

  THubSessionOptions options_;
  TWriter write_;
  std::mutex writeLock_;

  // Settings (set-param) and what was built from them.
  int variant_ = kInternational;
  int threads_;
  int hashMb_;
  std::string book_;
  std::string edFolder_;
  bool dirty_ = true;  // the engine must be built again before the next search
  TEvalFunc baseEvf_;
  std::unique_ptr<TEngine> engine_;
  TAnalysisInfo info_;
  std::atomic<bool> stop_{false};
  TRandom rng_;

  // Position and limits.
  TGame game_;
  bool havePosition_ = false;
  THubLevel level_;

  // The running search.
  std::thread search_;
  std::atomic<bool> searching_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> pondering_{false};
  std::atomic<int64_t> deadlineMs_{0};  // steady-clock ms at which to stop; 0 = none
  int64_t searchStartMs_ = 0;
};

}  // namespace quorlin
