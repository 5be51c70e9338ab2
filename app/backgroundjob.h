#pragma once
// One piece of long work (a PDN import or export, a position search) on a
// thread of its own, so that the window stays responsive: the work publishes
// its progress through atomics and obeys a cancel flag; the window polls
// Finished() from its timer and then calls Join(), after which everything the
// work wrote is visible to it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace quorlin {

class TBackgroundJob {
 public:
  TBackgroundJob() = default;
  // Cancels a running job and waits for it.
  ~TBackgroundJob();
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;

  // Starts `work` on a new thread; false (nothing started) while a job is
  // running or not yet joined.
  bool Start(std::function<void(TBackgroundJob&)> work);
  // Started and not joined yet.
  bool Active() const { return thread_.joinable(); }
  // The work has returned; Join() will not wait.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Waits for the work to return (at once when Finished()).
  void Join();

  // Asks the work to stop at its next check.
  void Cancel() { cancel_.store(true); }
  bool Cancelled() const { return cancel_.load(); }
  const std::atomic<bool>* CancelFlag() const { return &cancel_; }

  // Progress as the work reports it: `done` of `total` units (total 0: unknown).
  void SetProgress(int64_t done, int64_t total) {
    total_.store(total, std::memory_order_relaxed);
    done_.store(done, std::memory_order_relaxed);
  }
  int64_t Done() const { return done_.load(std::memory_order_relaxed); }
  int64_t Total() const { return total_.load(std::memory_order_relaxed); }

 private:
  std::thread thread_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int64_t> done_{0};
  std::atomic<int64_t> total_{0};
};

}  // namespace quorlin
