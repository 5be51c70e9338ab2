#pragma once
// One part of a download: a thread doing a GET of one byte range with its own
// libcurl handle and its own handle on the shared, pre-sized archive file,
// writing every received block at the part's offset. Progress, speed and the
// outcome are published in a TPartState that any thread may read while the
// part runs.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "download/httpclient.h"

namespace quorlin {

enum class TPartStatus : int { Waiting, Running, Done, Failed, Cancelled };

// A part as the other threads see it. The range is set before the part's
// thread starts; the counters change while it runs.
class TPartState {
 public:
  std::atomic<int64_t> First{0};   // offset of the part's first byte in the file
  std::atomic<int64_t> Length{0};  // bytes the part must receive; -1 when unknown
  std::atomic<int64_t> Received{0};
  std::atomic<int64_t> Speed{0};  // bytes per second since the request went out
  std::atomic<TPartStatus> Status{TPartStatus::Waiting};
  std::atomic<bool> CancelRequested{false};

  void Reset();  // back to a waiting part with no range
  void SetError(const std::string& text);
  std::string Error() const;

 private:
  mutable std::mutex errorLock_;
  std::string error_;
};

// Bytes per second for `bytes` in `elapsedMs`; 0 when no time has passed.
int64_t BytesPerSecond(int64_t bytes, int64_t elapsedMs);

struct TPartRequest {
  std::string Url;
  std::string FilePath;   // the archive file, already created (and sized when the size is known)
  bool Ranged = true;     // false: the whole file without a Range header
  int64_t FileSize = -1;  // the archive's size as the HEAD request gave it
  TTransferLimits Limits;
};

// The thread of one part. Start() runs the part described by `state` (First,
// Length) to its end: Done when every byte of the range arrived in a verified
// answer, Cancelled when `state.CancelRequested` or `stopAll` was set, Failed
// (with the reason in state.Error()) otherwise. The request, the state and the
// stop flag must outlive the thread, which the destructor joins.
class TDownloadThread {
 public:
  TDownloadThread(const TPartRequest& request, TPartState& state, const std::atomic<bool>& stopAll);
  ~TDownloadThread();
  TDownloadThread(const TDownloadThread&) = delete;
  TDownloadThread& operator=(const TDownloadThread&) = delete;

  void Start();
  void Join();

 private:
  void Execute();

  const TPartRequest& request_;
  TPartState& state_;
  const std::atomic<bool>& stopAll_;
  std::thread thread_;
};

}  // namespace quorlin
