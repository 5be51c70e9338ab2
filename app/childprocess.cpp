#include "app/childprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>

namespace quorlin {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// write() on a pipe whose reader is gone raises SIGPIPE. The signal is held
// back in this thread while writing, and a pending one is taken away after,
// so the process keeps its own signal handling.
bool WriteAllNoSigpipe(int fd, const std::string& bytes) {
  sigset_t pipeSet, old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (!ok && errno == EPIPE) {
    const timespec zero{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &zero) > 0) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

}  // namespace

TChildProcess::~TChildProcess() { Stop(std::chrono::milliseconds(2000)); }

bool TChildProcess::Start(const std::string& command, const std::string& folder, std::string& error) {
  Stop(std::chrono::milliseconds(0));
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    ::close(toChild[0]);
    ::close(toChild[1]);
    return false;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("fork: ") + std::strerror(errno);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
    return false;
  }
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec. Its own process group,
    // so that ending it also ends what its shell started.
    setpgid(0, 0);
    dup2(toChild[0], STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    signal(SIGPIPE, SIG_DFL);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  pid_ = pid;
  in_ = toChild[1];
  out_ = fromChild[0];
  buffer_.clear();
  eof_ = false;
  return true;
}

bool TChildProcess::WriteLine(const std::string& line) {
  if (in_ < 0) return false;
  return WriteAllNoSigpipe(in_, line + "\n");
}

TChildProcess::TRead TChildProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return TRead::Line;
    }
    if (eof_ || out_ < 0) {
      if (!buffer_.empty()) {
        line = buffer_;
        buffer_.clear();
        return TRead::Line;
      }
      return TRead::Closed;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return TRead::Timeout;
    pollfd p{out_, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) return TRead::Timeout;
    char chunk[4096];
    const ssize_t n = ::read(out_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      eof_ = true;
      continue;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

int TChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) {
    CloseFd(in_);
    CloseFd(out_);
    return -1;
  }
  CloseFd(in_);
  int status = 0;
  pid_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (done == 0) {
    // Still running, so its group id is still its own.
    kill(-pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status = -1;
  } else if (done < 0) {
    status = -1;
  } else {
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  CloseFd(out_);
  pid_ = -1;
  return status;
}

}  // namespace quorlin
