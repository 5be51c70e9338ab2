#include "app/netsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorlin {

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// poll() on one descriptor, retried after signals, for at most `timeout`.
int WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (r >= 0 || errno != EINTR) return r;
  }
}

std::string AddressText(const sockaddr* sa) {
  char host[NI_MAXHOST] = "", port[NI_MAXSERV] = "";
  const socklen_t len = sa->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (getnameinfo(sa, len, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return "?";
  return std::string(host) + ":" + port;
}

}  // namespace

TSocketFd::~TSocketFd() { Close(); }

TSocketFd& TSocketFd::operator=(TSocketFd&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.Release();
  }
  return *this;
}

int TSocketFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void TSocketFd::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TTcpListener::Listen(const std::string& host, int port, std::string& error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (host.empty() || host == "0.0.0.0") {
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    error = "cannot listen on \"" + host + "\": expected a numeric IPv4 address such as 127.0.0.1";
    return false;
  }
  TSocketFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    error = SystemError("socket");
    return false;
  }
  const int one = 1;
  setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    error = SystemError("cannot listen on port " + std::to_string(port));
    return false;
  }
  if (::listen(fd.Get(), 4) != 0) {
    error = SystemError("listen");
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  fd_ = std::move(fd);
  return true;
}

bool TTcpListener::Accept(TTcpStream& stream, std::chrono::milliseconds timeout, std::string& error) {
  if (!fd_.Valid()) {
    error = "not listening";
    return false;
  }
  const int r = WaitFor(fd_.Get(), POLLIN, timeout);
  if (r == 0) {
    error = "no connection on port " + std::to_string(port_) + " within " +
            std::to_string(timeout.count() / 1000) + " s";
    return false;
  }
  if (r < 0) {
    error = SystemError("poll");
    return false;
  }
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  TSocketFd fd(::accept4(fd_.Get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC));
  if (!fd.Valid()) {
    error = SystemError("accept");
    return false;
  }
  const int one = 1;
  setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  stream.fd_ = std::move(fd);
  stream.peer_ = AddressText(reinterpret_cast<sockaddr*>(&peer));
  return true;
}

bool TTcpStream::Connect(const std::string& host, int port, std::chrono::milliseconds timeout,
                         std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) {
    error = "cannot find host \"" + host + "\": " + gai_strerror(rc);
    return false;
  }
  error = "cannot connect to " + host + ":" + service;
  for (addrinfo* ai = found; ai; ai = ai->ai_next) {
    TSocketFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
    if (!fd.Valid()) continue;
    int r = ::connect(fd.Get(), ai->ai_addr, ai->ai_addrlen);
    if (r != 0 && errno == EINPROGRESS) {
      if (WaitFor(fd.Get(), POLLOUT, timeout) <= 0) {
        error = "cannot connect to " + host + ":" + service + ": no answer within " +
                std::to_string(timeout.count() / 1000) + " s";
        continue;
      }
      int soerr = 0;
      socklen_t len = sizeof soerr;
      getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &soerr, &len);
      errno = soerr;
      r = soerr == 0 ? 0 : -1;
    }
    if (r != 0) {
      error = SystemError("cannot connect to " + host + ":" + service);
      continue;
    }
    const int flags = fcntl(fd.Get(), F_GETFL);
    fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    const int one = 1;
    setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    peer_ = AddressText(ai->ai_addr);
    fd_ = std::move(fd);
    freeaddrinfo(found);
    error.clear();
    return true;
  }
  freeaddrinfo(found);
  return false;
}

bool TTcpStream::SendAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (!fd_.Valid()) return false;
    const ssize_t n = ::send(fd_.Get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

TTcpStream::TRead TTcpStream::Receive(std::string& out, size_t max, std::chrono::milliseconds timeout) {
  out.clear();
  if (!fd_.Valid()) return TRead::Closed;
  const int r = WaitFor(fd_.Get(), POLLIN, timeout);
  if (r == 0) return TRead::Timeout;
  if (r < 0) return TRead::Closed;
  out.resize(max);
  for (;;) {
    const ssize_t n = ::recv(fd_.Get(), out.data(), max, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out.clear();
      return TRead::Closed;
    }
    out.resize(static_cast<size_t>(n));
    return TRead::Data;
  }
}

void TTcpStream::Shutdown() {
  if (fd_.Valid()) ::shutdown(fd_.Get(), SHUT_RDWR);
}

bool ParseHostPort(const std::string& text, std::string& host, int& port, std::string& error,
                   bool allowZero) {
  const size_t colon = text.rfind(':');
  host = colon == std::string::npos ? "" : text.substr(0, colon);
  const std::string p = colon == std::string::npos ? text : text.substr(colon + 1);
  bool digits = !p.empty() && p.size() <= 5;
  for (char c : p) digits = digits && c >= '0' && c <= '9';
  const int least = allowZero ? 0 : 1;
  if (!digits || std::stoi(p) < least || std::stoi(p) > 65535) {
    error = "\"" + text + "\": expected HOST:PORT with a port number " + std::to_string(least) + "..65535";
    return false;
  }
  port = std::stoi(p);
  return true;
}

}  // namespace quorlin
