#include "download/downloadthread.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace quorlin {

void TPartState::Reset() {
  First = 0;
  Length = 0;
  Received = 0;
  Speed = 0;
  Status = TPartStatus::Waiting;
  CancelRequested = false;
  SetError({});
}

void TPartState::SetError(const std::string& text) {
  std::lock_guard<std::mutex> guard(errorLock_);
  error_ = text;
}

std::string TPartState::Error() const {
  std::lock_guard<std::mutex> guard(errorLock_);
  return error_;
}

int64_t BytesPerSecond(int64_t bytes, int64_t elapsedMs) {
  if (elapsedMs <= 0 || bytes <= 0) return 0;
  return bytes * 1000 / elapsedMs;
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kReceiveBlock = 256 * 1024;

class TPartTransfer {
 public:
  TPartTransfer(const TPartRequest& request, TPartState& state, const std::atomic<bool>& stopAll)
      : request_(request), state_(state), stopAll_(stopAll) {
    first_ = state.First;
    length_ = state.Length;
  }

  ~TPartTransfer() {
    if (curl_) curl_easy_cleanup(curl_);
    if (fd_ >= 0) ::close(fd_);
  }

  void Run() {
    state_.Status = TPartStatus::Running;
    const bool ok = OpenFile() && MakeHandle() && Transfer();
    if (!ok && Cancelled() && failure_.empty()) {
      state_.Status = TPartStatus::Cancelled;
      state_.SetError("cancelled after " + Progress());
    } else if (!ok) {
      state_.SetError(failure_);
      state_.Status = TPartStatus::Failed;
    } else {
      state_.Status = TPartStatus::Done;
    }
  }

 private:
  bool Fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
    return false;
  }

  bool Cancelled() const { return state_.CancelRequested.load() || stopAll_.load(); }

  std::string Progress() const {
    return std::to_string(received_) + " of " +
           (length_ >= 0 ? std::to_string(length_) : std::string("an unknown number of")) + " bytes";
  }

  bool OpenFile() {
    fd_ = ::open(request_.FilePath.c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ >= 0 || Fail("cannot open " + request_.FilePath + ": " + std::strerror(errno));
  }

  bool MakeHandle() {
    EnsureCurlReady();
    curl_ = curl_easy_init();
    if (!curl_) return Fail("cannot start an HTTP request");
    ApplyCommonOptions(curl_, request_.Limits);
    curl_easy_setopt(curl_, CURLOPT_URL, request_.Url.c_str());
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, curlError_);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &TResponseHeaders::Collect);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &headers_);
    // Larger blocks than libcurl's 16 KB default: fewer write calls per part.
    curl_easy_setopt(curl_, CURLOPT_BUFFERSIZE, kReceiveBlock);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &TPartTransfer::OnData);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, &TPartTransfer::OnProgress);
    curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, this);
    if (request_.Ranged) {
      range_ = std::to_string(first_) + "-" + std::to_string(first_ + length_ - 1);
      curl_easy_setopt(curl_, CURLOPT_RANGE, range_.c_str());
    }
    return true;
  }

  // The answer is checked once, before its first byte is written, so that a
  // wrong answer never lands in the file.
  bool Verify() {
    if (verified_) return true;
    verified_ = true;
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    const std::string why = request_.Ranged ? CheckRangeAnswer(status, headers_.Get("Content-Range"), first_,
                                                               first_ + length_ - 1, request_.FileSize)
                                            : CheckWholeAnswer(status);
    return why.empty() || Fail(why);
  }

  bool Write(const char* data, size_t size) {
    if (Cancelled() || !Verify()) return false;
    if (length_ >= 0 && received_ + static_cast<int64_t>(size) > length_)
      return Fail("the server sent more than the " + std::to_string(length_) + " bytes asked for");
    off_t at = static_cast<off_t>(first_ + received_);
    while (size > 0) {
      const ssize_t n = ::pwrite(fd_, data, size, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail("cannot write " + request_.FilePath + ": " + std::strerror(errno));
      data += n;
      size -= static_cast<size_t>(n);
      at += n;
      received_ += n;
    }
    Publish();
    return true;
  }

  void Publish() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    state_.Received = received_;
    state_.Speed = BytesPerSecond(received_, ms);
  }

  static size_t OnData(char* data, size_t size, size_t count, void* self) {
    auto* part = static_cast<TPartTransfer*>(self);
    return part->Write(data, size * count) ? size * count : 0;
  }

  // Called by libcurl at least once a second, also while nothing arrives: the
  // place where a cancel reaches a stalled part.
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* part = static_cast<TPartTransfer*>(self);
    part->Publish();
    return part->Cancelled() ? 1 : 0;
  }

  bool Transfer() {
    start_ = Clock::now();
    const CURLcode rc = curl_easy_perform(curl_);
    Publish();
    if (!failure_.empty()) return false;
    if (rc == CURLE_OK) {
      if (!Verify()) return false;
      if (length_ >= 0 && received_ != length_) return Fail("the part ended short: " + Progress());
      return true;
    }
    if (Cancelled()) return false;
    switch (rc) {
      case CURLE_PARTIAL_FILE:
      case CURLE_RECV_ERROR:
      case CURLE_GOT_NOTHING:
        return Fail("the connection closed after " + Progress());
      case CURLE_OPERATION_TIMEDOUT:
        return Fail("timed out after " + Progress());
      default:
        return Fail(std::string(curlError_[0] ? curlError_ : curl_easy_strerror(rc)) + " after " +
                    Progress());
    }
  }

  const TPartRequest& request_;
  TPartState& state_;
  const std::atomic<bool>& stopAll_;
  int64_t first_ = 0;
  int64_t length_ = 0;
  int64_t received_ = 0;
  int fd_ = -1;
  CURL* curl_ = nullptr;
  char curlError_[CURL_ERROR_SIZE] = {};
  std::string range_;
  TResponseHeaders headers_;
  bool verified_ = false;
  std::string failure_;
  Clock::time_point start_ = Clock::now();
};

}  // namespace

TDownloadThread::TDownloadThread(const TPartRequest& request, TPartState& state,
                                 const std::atomic<bool>& stopAll)
    : request_(request), state_(state), stopAll_(stopAll) {}

TDownloadThread::~TDownloadThread() { Join(); }

void TDownloadThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread(&TDownloadThread::Execute, this);
}

void TDownloadThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TDownloadThread::Execute() { TPartTransfer(request_, state_, stopAll_).Run(); }

}  // namespace quorlin
