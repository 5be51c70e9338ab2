#include "app/backgroundjob.h"

namespace quorlin {

TBackgroundJob::~TBackgroundJob() {
  Cancel();
  Join();
}

bool TBackgroundJob::Start(std::function<void(TBackgroundJob&)> work) {
  if (thread_.joinable()) return false;
  cancel_ = false;
  finished_ = false;
  done_ = 0;
  total_ = 0;
  thread_ = std::thread([this, work = std::move(work)] {
    work(*this);
    finished_.store(true, std::memory_order_release);
  });
  return true;
}

void TBackgroundJob::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace quorlin
