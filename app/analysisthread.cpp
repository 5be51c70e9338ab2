#include "app/analysisthread.h"

#include <chrono>

namespace quorlin {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

void RunDropped(std::deque<TAnalysisThread::TJob>& dropped) {
  for (TAnalysisThread::TJob& j : dropped)
    if (j.Dropped) j.Dropped();
}

}  // namespace

TAnalysisThread::TAnalysisThread() : thread_([this] { Execute(); }) {}

TAnalysisThread::~TAnalysisThread() { Stop(); }

void TAnalysisThread::DropTurnsLocked(std::deque<TJob>& dropped) {
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    if (it->Turn) {
      dropped.push_back(std::move(*it));
      it = jobs_.erase(it);
    } else {
      ++it;
    }
  }
}

void TAnalysisThread::Queue(TJob job) {
  std::deque<TJob> dropped;
  {
    std::lock_guard<std::mutex> g(lock_);
    if (stopping_) {
      dropped.push_back(std::move(job));
    } else {
      if (job.Turn) DropTurnsLocked(dropped);
      jobs_.push_back(std::move(job));
    }
  }
  wake_.notify_one();
  RunDropped(dropped);
}

void TAnalysisThread::DropTurns() {
  std::deque<TJob> dropped;
  {
    std::lock_guard<std::mutex> g(lock_);
    DropTurnsLocked(dropped);
  }
  RunDropped(dropped);
}

bool TAnalysisThread::Idle() const {
  std::lock_guard<std::mutex> g(lock_);
  return jobs_.empty() && !running_;
}

void TAnalysisThread::WaitIdle(const std::function<void()>& poll) {
  std::unique_lock<std::mutex> g(lock_);
  while (!jobs_.empty() || running_) {
    idle_.wait_for(g, kPollInterval);
    if (poll) {
      g.unlock();
      poll();
      g.lock();
    }
  }
}

void TAnalysisThread::Stop(const std::function<void()>& poll) {
  std::deque<TJob> dropped;
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
    dropped.swap(jobs_);
  }
  wake_.notify_one();
  RunDropped(dropped);
  WaitIdle(poll);
  if (thread_.joinable()) thread_.join();
}

void TAnalysisThread::Execute() {
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    wake_.wait(g, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping and nothing left
    TJob job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    g.unlock();
    try {
      job.Run();  // jobs report their own errors; this only keeps the thread alive
    } catch (...) {
    }
    g.lock();
    running_ = false;
    idle_.notify_all();
  }
}

}  // namespace quorlin
