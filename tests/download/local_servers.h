#pragma once
// Servers the download tests run on 127.0.0.1: a real nginx with a
// configuration of its own in a temporary folder, and a small proxy that
// misbehaves on purpose (cuts or stalls a connection after some bytes, or drops
// the Range header). Both listen on free ports they find themselves, and both
// stop what they started when they go out of scope.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace quorlin::test {

// A port on 127.0.0.1 that was free a moment ago.
inline int FreeLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (s >= 0) ::close(s);
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  ::close(s);
  return ntohs(a.sin_port);
}

inline int ConnectLoopback(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
  if (s >= 0) ::close(s);
  return -1;
}

inline std::string FindNginx() {
  for (const char* p : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    if (::access(p, X_OK) == 0) return p;
  return {};
}

// nginx serving the folder `www` at three places:
//   /files/     with byte ranges
//   /noranges/  with byte ranges switched off (max_ranges 0)
//   /slow/      with ranges, every connection held to `slowRate` bytes a second
class TNginx {
 public:
  explicit TNginx(const std::filesystem::path& www, int slowRate = 100 * 1024) {
    const std::string nginx = FindNginx();
    if (nginx.empty())
      throw std::runtime_error("nginx is not installed (scripts/install-deps.sh installs it)");
    dir_ = FreshDir("nginx");
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) TryStart(nginx, www, slowRate);
    if (pid_ < 0) throw std::runtime_error("nginx did not start; its log:\n" + ReadFile(dir_ / "error.log"));
  }

  ~TNginx() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

  TNginx(const TNginx&) = delete;
  TNginx& operator=(const TNginx&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  void TryStart(const std::string& nginx, const std::filesystem::path& www, int slowRate) {
    port_ = FreeLoopbackPort();
    const std::string d = dir_.string();
    const std::string w = std::filesystem::absolute(www).string() + "/";
    WriteFile(dir_ / "nginx.conf",
              "daemon off;\n"
              "master_process off;\n"
              "pid " +
                  d +
                  "/nginx.pid;\n"
                  "error_log " +
                  d +
                  "/error.log;\n"
                  "events { worker_connections 256; }\n"
                  "http {\n"
                  "  access_log off;\n"
                  "  types { application/zip zip; }\n"
                  "  default_type application/octet-stream;\n"
                  "  client_body_temp_path " +
                  d +
                  "/body;\n"
                  "  proxy_temp_path " +
                  d +
                  "/proxy;\n"
                  "  fastcgi_temp_path " +
                  d +
                  "/fastcgi;\n"
                  "  uwsgi_temp_path " +
                  d +
                  "/uwsgi;\n"
                  "  scgi_temp_path " +
                  d +
                  "/scgi;\n"
                  "  sendfile on;\n"
                  "  server {\n"
                  "    listen 127.0.0.1:" +
                  std::to_string(port_) +
                  ";\n"
                  "    location /files/ { alias " +
                  w +
                  "; }\n"
                  "    location /noranges/ { alias " +
                  w +
                  "; max_ranges 0; }\n"
                  "    location /slow/ { alias " +
                  w + "; limit_rate " + std::to_string(slowRate) +
                  "; }\n"
                  "  }\n"
                  "}\n");
    const std::string conf = (dir_ / "nginx.conf").string();
    const std::string errLog = (dir_ / "error.log").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(nginx.c_str(), nginx.c_str(), "-p", d.c_str(), "-c", conf.c_str(), "-e", errLog.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid < 0) return;
    // Ready once it accepts a connection; gone when the port was taken meanwhile.
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
      if (const int s = ConnectLoopback(port_); s >= 0) {
        ::close(s);
        pid_ = pid;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }

  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A proxy in front of a server on 127.0.0.1 that spoils the connections whose
// request contains `onlyIf` (every connection when empty).
class TBadProxy {
 public:
  enum class Mode {
    Cut,        // close the connection after `afterBytes` bytes of the answer
    Stall,      // send `afterBytes` bytes of the answer, then nothing more
    DropRange,  // remove the Range header from the request
  };

  TBadProxy(int upstreamPort, Mode mode, long afterBytes = 0, std::string onlyIf = "Range:")
      : upstream_(upstreamPort), mode_(mode), after_(afterBytes), onlyIf_(std::move(onlyIf)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 16) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("the test proxy cannot listen on 127.0.0.1");
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~TBadProxy() {
    stop_ = true;
    acceptor_.join();
    ::close(listen_);
    std::lock_guard<std::mutex> guard(lock_);
    for (std::thread& t : connections_) t.join();
  }

  TBadProxy(const TBadProxy&) = delete;
  TBadProxy& operator=(const TBadProxy&) = delete;

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int Spoiled() const { return spoiled_.load(); }

 private:
  void AcceptLoop() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::lock_guard<std::mutex> guard(lock_);
      connections_.emplace_back([this, client] { Relay(client); });
    }
  }

  static bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  static void DropRangeHeader(std::string& request) {
    for (size_t at = request.find("\r\n"); at != std::string::npos; at = request.find("\r\n", at + 2)) {
      const size_t line = at + 2;
      if (request.compare(line, 6, "Range:") == 0 || request.compare(line, 6, "range:") == 0) {
        const size_t end = request.find("\r\n", line);
        request.erase(line, end == std::string::npos ? std::string::npos : end + 2 - line);
        return;
      }
    }
  }

  void Relay(int client) {
    const int server = ConnectLoopback(upstream_);
    bool decided = false, spoil = false, stalled = false;
    long sent = 0;
    std::vector<char> buf(64 * 1024);
    while (!stop_ && server >= 0) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, stalled ? short(0) : short(POLLIN), 0}};
      if (::poll(p, 2, 20) <= 0) continue;
      if (p[0].revents) {
        const ssize_t n = ::recv(client, buf.data(), buf.size(), 0);
        if (n <= 0) break;
        std::string request(buf.data(), static_cast<size_t>(n));
        if (!decided) {
          decided = true;
          spoil = onlyIf_.empty() || request.find(onlyIf_) != std::string::npos;
          if (spoil) ++spoiled_;
          if (spoil && mode_ == Mode::DropRange) DropRangeHeader(request);
        }
        if (!SendAll(server, request.data(), request.size())) break;
      }
      if (p[1].revents) {
        ssize_t n = ::recv(server, buf.data(), buf.size(), 0);
        if (n <= 0) break;
        const bool limited = spoil && mode_ != Mode::DropRange;
        if (limited && sent + n >= after_) n = after_ - sent;
        if (n > 0 && !SendAll(client, buf.data(), static_cast<size_t>(n))) break;
        sent += n;
        if (limited && sent >= after_) {
          if (mode_ == Mode::Cut) break;
          stalled = true;
        }
      }
    }
    if (server >= 0) ::close(server);
    ::close(client);
  }

  int upstream_;
  Mode mode_;
  long after_;
  std::string onlyIf_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> spoiled_{0};
  std::thread acceptor_;
  std::mutex lock_;
  std::vector<std::thread> connections_;
};

}  // namespace quorlin::test
