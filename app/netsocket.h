#pragma once
// A small TCP helper over POSIX sockets: a listening socket, a connected
// stream, and waiting with a time limit. Writes never raise SIGPIPE; a peer
// that went away shows as a failed write or a closed read.
#include <chrono>
#include <cstddef>
#include <string>

namespace quorlin {

// An owned socket descriptor, closed on destruction.
class TSocketFd {
 public:
  TSocketFd() = default;
  explicit TSocketFd(int fd) : fd_(fd) {}
  ~TSocketFd();
  TSocketFd(TSocketFd&& o) noexcept : fd_(o.Release()) {}
  TSocketFd& operator=(TSocketFd&& o) noexcept;
  TSocketFd(const TSocketFd&) = delete;
  TSocketFd& operator=(const TSocketFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release();
  void Close();

 private:
  int fd_ = -1;
};

class TTcpStream;

class TTcpListener {
 public:
  // Listens on `host` (a numeric address; "" or "0.0.0.0" for every
  // interface) and `port` (0 picks a free one). False with `error`.
  bool Listen(const std::string& host, int port, std::string& error);
  // The port actually bound.
  int Port() const { return port_; }
  // Waits up to `timeout` for a connection. False with `error` on timeout or
  // failure.
  bool Accept(TTcpStream& stream, std::chrono::milliseconds timeout, std::string& error);
  void Close() { fd_.Close(); }

 private:
  TSocketFd fd_;
  int port_ = 0;
};

class TTcpStream {
 public:
  // Connects to `host` (a name or a numeric address) and `port`, giving up
  // after `timeout`. False with `error`.
  bool Connect(const std::string& host, int port, std::chrono::milliseconds timeout, std::string& error);
  // Sends all bytes; false when the connection is gone.
  bool SendAll(const std::string& bytes);
  enum class TRead { Data, Timeout, Closed };
  // Waits up to `timeout` and reads what has arrived (at most `max` bytes).
  TRead Receive(std::string& out, size_t max, std::chrono::milliseconds timeout);
  // Shuts both directions so that a reader blocked on this socket wakes up.
  void Shutdown();
  void Close() { fd_.Close(); }
  bool Valid() const { return fd_.Valid(); }
  // "127.0.0.1:40123" of the other end, for messages.
  const std::string& PeerName() const { return peer_; }

 private:
  friend class TTcpListener;
  TSocketFd fd_;
  std::string peer_;
};

// Splits "HOST:PORT" (or ":PORT"/"PORT" for an empty host). False with
// `error` when the port is not a number 1..65535 (0 too with `allowZero`:
// a listener then picks a free port).
bool ParseHostPort(const std::string& text, std::string& host, int& port, std::string& error,
                   bool allowZero = false);

}  // namespace quorlin
