#pragma once
// The HTTP side of a download, over libcurl: the HEAD request that gives an
// archive's size and whether the server serves byte ranges, the settings every
// transfer shares, and the checks that a ranged answer is the range asked for.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

typedef void CURL;

namespace quorlin {

// How long a transfer may wait before it counts as timed out.
struct TTransferLimits {
  long ConnectTimeoutMs = 15000;  // to open the connection
  long StallSeconds = 30;         // with no byte received at all
};

// What a HEAD request tells about a file on the server.
struct TRemoteFile {
  long Status = 0;
  int64_t ContentLength = -1;  // -1 when the server does not say
  bool AcceptsRanges = false;  // "Accept-Ranges: bytes"
};

// Sends a HEAD request for `url`. False with `error` set when the request
// failed, was stopped through `stop`, or the server answered with anything
// but a 2xx status.
bool HeadRequest(const std::string& url, const TTransferLimits& limits, TRemoteFile& file, std::string& error,
                 const std::atomic<bool>* stop = nullptr);

// libcurl's process-wide set-up, done once before the first handle is made.
void EnsureCurlReady();

// Options every transfer of the program uses: HTTP and HTTPS only, redirects
// followed, no signals (transfers run on worker threads), the limits.
void ApplyCommonOptions(CURL* curl, const TTransferLimits& limits);

// The headers of the last response of a transfer; a new status line (after a
// redirect) starts over.
class TResponseHeaders {
 public:
  void Feed(std::string_view line);
  // Value of the first header of that name (any letter case), trimmed.
  std::optional<std::string> Get(std::string_view name) const;

  // A libcurl header callback; `userdata` is a TResponseHeaders.
  static size_t Collect(char* data, size_t size, size_t count, void* userdata);

 private:
  std::vector<std::pair<std::string, std::string>> headers_;
};

// A "Content-Range: bytes first-last/total" value.
struct TContentRange {
  int64_t First = 0;
  int64_t Last = 0;
  int64_t Total = -1;  // -1 for "*"
};

std::optional<TContentRange> ParseContentRange(std::string_view value);

// Why the answer to a request for bytes `first`..`last` (included) of a file of
// `total` bytes cannot be used, or empty when it is exactly that range: status
// 206 and a Content-Range naming the same range and total.
std::string CheckRangeAnswer(long status, const std::optional<std::string>& contentRange, int64_t first,
                             int64_t last, int64_t total);

// The same for a request of the whole file without a range: status 200.
std::string CheckWholeAnswer(long status);

}  // namespace quorlin
