#include "io_faults.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace quorlin::test {
namespace {

struct TState {
  std::mutex lock;  // guards folder while armed
  std::string folder;
  std::atomic<bool> armed{false};
  std::atomic<int> fault{0};
  std::atomic<int> at{0};
  std::atomic<int> count{0};
  std::atomic<bool> full{false};  // the disk filled up
};

TState& State() {
  static TState s;
  return s;
}

template <typename F>
F Real(const char* name) {
  void* p = dlsym(RTLD_NEXT, name);
  if (!p) {
    std::fprintf(stderr, "io_faults: no %s in the C library\n", name);
    std::abort();
  }
  return reinterpret_cast<F>(p);
}

bool Inside(const char* path) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  if (!path || s.folder.empty()) return false;
  char full[4096];
  if (path[0] != '/') {
    if (!getcwd(full, sizeof full)) return false;
    std::strncat(full, "/", sizeof full - std::strlen(full) - 1);
    std::strncat(full, path, sizeof full - std::strlen(full) - 1);
    path = full;
  }
  return std::strncmp(path, s.folder.c_str(), s.folder.size()) == 0;
}

bool FdInside(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return false;
  target[n] = '\0';
  return Inside(target);
}

enum class TKind { write, sync, truncate, rename };

// What to do with a change: 0 go ahead, -1 fail with errno set, or for a
// write the number of bytes to write before failing (the disk filling up).
struct TVerdict {
  bool proceed = true;
  bool halfWrite = false;
  int err = 0;
};

template <typename Inside>
TVerdict Decide(TKind kind, Inside inside) {
  TState& s = State();
  TVerdict v;
  if (!s.armed.load() || !inside()) return v;
  const int n = s.count.fetch_add(1) + 1;
  const auto fault = static_cast<TFault>(s.fault.load());
  if (fault == TFault::diskFull && s.full.load()) {
    if (kind == TKind::write || kind == TKind::sync || kind == TKind::truncate) {
      v.proceed = false;
      v.err = ENOSPC;
    }
    return v;
  }
  if (n != s.at.load()) return v;
  switch (fault) {
    case TFault::none:
      break;
    case TFault::failure:
      v.proceed = false;
      v.err = EIO;
      break;
    case TFault::diskFull:
      s.full.store(true);
      if (kind == TKind::write) {
        v.halfWrite = true;
      } else if (kind != TKind::rename) {
        v.proceed = false;
        v.err = ENOSPC;
      }
      break;
    case TFault::kill:
      raise(SIGKILL);
      break;
  }
  return v;
}

}  // namespace

const char* FaultName(TFault fault) {
  switch (fault) {
    case TFault::none:
      return "none";
    case TFault::failure:
      return "failure returned";
    case TFault::diskFull:
      return "disk full";
    case TFault::kill:
      return "process killed";
  }
  return "?";
}

void ArmFaults(const std::string& folder, TFault fault, int at) {
  TState& s = State();
  {
    std::lock_guard<std::mutex> g(s.lock);
    s.folder = folder;
  }
  s.fault.store(static_cast<int>(fault));
  s.at.store(at);
  s.count.store(0);
  s.full.store(false);
  s.armed.store(true);
}

int DisarmFaults() {
  TState& s = State();
  s.armed.store(false);
  return s.count.load();
}

bool RunKilledAtChange(const std::string& folder, int at, const std::function<void()>& work) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    ArmFaults(folder, TFault::kill, at);
    work();
    DisarmFaults();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "io_faults: child ended with status %d\n", status);
    std::abort();
  }
  return false;
}

int CountChanges(const std::string& folder, const std::function<void()>& work) {
  ArmFaults(folder, TFault::none, 0);
  work();
  return DisarmFaults();
}

}  // namespace quorlin::test

// The C library calls the program changes files with. Each one asks Decide
// and then runs the real call (found with dlsym), or fails as told.
using quorlin::test::Decide;
using quorlin::test::FdInside;
using quorlin::test::Inside;
using quorlin::test::Real;
using quorlin::test::TKind;

namespace {

template <typename Call>
ssize_t GuardedWrite(int fd, size_t n, Call call) {
  const auto v = Decide(TKind::write, [fd] { return FdInside(fd); });
  if (v.halfWrite) return n / 2 == 0 ? (errno = ENOSPC, -1) : call(n / 2);
  if (!v.proceed) {
    errno = v.err;
    return -1;
  }
  return call(n);
}

// A flush or truncation of an open file: fails as told or runs the real call.
template <typename Call>
int GuardedChange(TKind kind, int fd, Call call) {
  const auto v = Decide(kind, [fd] { return FdInside(fd); });
  if (!v.proceed) {
    errno = v.err;
    return -1;
  }
  return call();
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t n) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
  return GuardedWrite(fd, n, [&](size_t k) { return real(fd, buf, k); });
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t pos) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  return GuardedWrite(fd, n, [&](size_t k) { return real(fd, buf, k, pos); });
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t pos) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
  return GuardedWrite(fd, n, [&](size_t k) { return real(fd, buf, k, pos); });
}

ssize_t writev(int fd, const struct iovec* iov, int cnt) {
  static const auto real = Real<ssize_t (*)(int, const struct iovec*, int)>("writev");
  size_t total = 0;
  for (int i = 0; i < cnt; ++i) total += iov[i].iov_len;
  return GuardedWrite(fd, total, [&](size_t k) -> ssize_t {
    if (k == total) return real(fd, iov, cnt);
    // Half of the data: the first buffers whole, then part of one.
    ssize_t done = 0;
    for (int i = 0; i < cnt && k > 0; ++i) {
      const size_t part = iov[i].iov_len < k ? iov[i].iov_len : k;
      const ssize_t r =
          quorlin::test::Real<ssize_t (*)(int, const void*, size_t)>("write")(fd, iov[i].iov_base, part);
      if (r < 0) return done ? done : r;
      done += r;
      k -= part;
    }
    return done;
  });
}

int fsync(int fd) {
  static const auto real = Real<int (*)(int)>("fsync");
  return GuardedChange(TKind::sync, fd, [&] { return real(fd); });
}

int fdatasync(int fd) {
  static const auto real = Real<int (*)(int)>("fdatasync");
  return GuardedChange(TKind::sync, fd, [&] { return real(fd); });
}

int ftruncate(int fd, off_t size) {
  static const auto real = Real<int (*)(int, off_t)>("ftruncate");
  return GuardedChange(TKind::truncate, fd, [&] { return real(fd, size); });
}

int ftruncate64(int fd, off64_t size) {
  static const auto real = Real<int (*)(int, off64_t)>("ftruncate64");
  return GuardedChange(TKind::truncate, fd, [&] { return real(fd, size); });
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  const auto v = Decide(TKind::rename, [from, to] { return Inside(from) || Inside(to); });
  if (!v.proceed) {
    errno = v.err;
    return -1;
  }
  return real(from, to);
}

}  // extern "C"
