#include "download/httpclient.h"

#include <curl/curl.h>

#include <cctype>
#include <charconv>
#include <memory>
#include <mutex>

#include "common/text.h"

namespace quorlin {

namespace {

constexpr const char* kUserAgent = "QuorlinDraughts";

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool ReadNumber(std::string_view& s, int64_t& value) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end == s.data()) return false;
  s.remove_prefix(static_cast<size_t>(end - s.data()));
  return true;
}

struct TCurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

void EnsureCurlReady() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void ApplyCommonOptions(CURL* curl, const TTransferLimits& limits) {
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.StallSeconds);
}

void TResponseHeaders::Feed(std::string_view line) {
  line = TrimView(line);
  if (line.rfind("HTTP/", 0) == 0) {
    headers_.clear();
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  headers_.emplace_back(std::string(TrimView(line.substr(0, colon))),
                        std::string(TrimView(line.substr(colon + 1))));
}

std::optional<std::string> TResponseHeaders::Get(std::string_view name) const {
  for (const auto& [key, value] : headers_)
    if (SameText(key, name)) return value;
  return std::nullopt;
}

size_t TResponseHeaders::Collect(char* data, size_t size, size_t count, void* userdata) {
  static_cast<TResponseHeaders*>(userdata)->Feed(std::string_view(data, size * count));
  return size * count;
}

namespace {
int StopRequested(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}
}  // namespace

bool HeadRequest(const std::string& url, const TTransferLimits& limits, TRemoteFile& file, std::string& error,
                 const std::atomic<bool>* stop) {
  EnsureCurlReady();
  std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
  if (!curl) {
    error = "cannot start an HTTP request";
    return false;
  }
  TResponseHeaders headers;
  char curlError[CURL_ERROR_SIZE] = {};
  ApplyCommonOptions(curl.get(), limits);
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, curlError);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, &TResponseHeaders::Collect);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &headers);
  // A timeout for the whole request as well: a HEAD answer has no body.
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, limits.StallSeconds + limits.ConnectTimeoutMs / 1000);

  if (stop) {
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, &StopRequested);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, stop);
  }

  const CURLcode rc = curl_easy_perform(curl.get());
  if (rc == CURLE_ABORTED_BY_CALLBACK) {
    error = url + ": stopped";
    return false;
  }
  if (rc != CURLE_OK) {
    error = url + ": " + (curlError[0] ? curlError : curl_easy_strerror(rc));
    return false;
  }
  file = TRemoteFile{};
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &file.Status);
  curl_off_t length = -1;
  curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  file.ContentLength = length;
  if (const auto ranges = headers.Get("Accept-Ranges"))
    file.AcceptsRanges = ranges->find("bytes") != std::string::npos;
  if (file.Status < 200 || file.Status > 299) {
    error = url + ": the server answered " + std::to_string(file.Status);
    return false;
  }
  return true;
}

std::optional<TContentRange> ParseContentRange(std::string_view value) {
  value = TrimView(value);
  constexpr std::string_view kUnit = "bytes";
  if (value.size() <= kUnit.size() || !SameText(value.substr(0, kUnit.size()), kUnit)) return std::nullopt;
  value = TrimView(value.substr(kUnit.size()));
  TContentRange r;
  if (!ReadNumber(value, r.First) || value.empty() || value.front() != '-') return std::nullopt;
  value.remove_prefix(1);
  if (!ReadNumber(value, r.Last) || value.empty() || value.front() != '/') return std::nullopt;
  value.remove_prefix(1);
  if (value == "*") {
    r.Total = -1;
  } else if (!ReadNumber(value, r.Total) || !value.empty()) {
    return std::nullopt;
  }
  if (r.First < 0 || r.Last < r.First || (r.Total >= 0 && r.Last >= r.Total)) return std::nullopt;
  return r;
}

std::string CheckRangeAnswer(long status, const std::optional<std::string>& contentRange, int64_t first,
                             int64_t last, int64_t total) {
  const std::string asked =
      "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total);
  if (status != 206)
    return "the server answered " + std::to_string(status) + " where 206 with " + asked + " was expected";
  if (!contentRange) return "the server's answer has no Content-Range where " + asked + " was expected";
  const auto r = ParseContentRange(*contentRange);
  if (!r || r->First != first || r->Last != last || r->Total != total)
    return "the server sent Content-Range \"" + *contentRange + "\" where " + asked + " was expected";
  return {};
}

std::string CheckWholeAnswer(long status) {
  if (status == 200) return {};
  return "the server answered " + std::to_string(status) + " where 200 was expected";
}

}  // namespace quorlin
