#pragma once
// The application's background thread for engine work. Jobs run one at a
// time in the order they were queued, so at most one engine turn or analysis
// runs at once and an engine is never loaded while it thinks. A new turn
// replaces the turns still waiting (the position they were meant for is gone);
// other jobs (loading engine descriptions) always run.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorlin {

class TAnalysisThread {
 public:
  struct TJob {
    std::function<void()> Run;
    std::function<void()> Dropped;  // runs instead of Run when the job is dropped
    bool Turn = false;              // an engine turn or analysis run
  };

  TAnalysisThread();
  // Stop() and join.
  ~TAnalysisThread();
  TAnalysisThread(const TAnalysisThread&) = delete;
  TAnalysisThread& operator=(const TAnalysisThread&) = delete;

  // Queues a job; a turn first drops the turns still waiting. Ignored (the
  // job is dropped) after Stop().
  void Queue(TJob job);
  // Drops the turns still waiting.
  void DropTurns();
  // True while no job waits or runs.
  bool Idle() const;
  // Blocks until Idle(), calling `poll` every few milliseconds meanwhile.
  void WaitIdle(const std::function<void()>& poll = {});
  // Drops every waiting job, lets the running one finish and ends the thread.
  // `poll` runs every few milliseconds while it waits (to repeat a stop request).
  void Stop(const std::function<void()>& poll = {});

 private:
  void Execute();
  void DropTurnsLocked(std::deque<TJob>& dropped);

  mutable std::mutex lock_;
  std::condition_variable wake_;  // a job was queued or the thread must end
  std::condition_variable idle_;  // a job finished
  std::deque<TJob> jobs_;
  bool running_ = false;  // a job runs
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quorlin
