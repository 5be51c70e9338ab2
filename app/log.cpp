#include "app/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "app/folders.h"

namespace quorlin {

namespace {

std::mutex logLock;
int logFd = -1;                       // guarded by logLock
std::atomic<bool> logEnabled{false};  // lets WriteLog skip the lock when off

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // a full disk must not stop the program; the line is lost
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::string LogFilePath() { return DataFolder + "Quorlin Draughts.log"; }

std::string FormatLogLine(const std::string& text, std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[80];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string line;
  line.reserve(text.size() + 32);
  line += '[';
  line += stamp;
  line += "] ";
  for (char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += "\r\n";
  return line;
}

bool OpenLog() {
  std::lock_guard<std::mutex> guard(logLock);
  if (logFd >= 0) ::close(logFd);
  logFd = ::open(LogFilePath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  logEnabled = logFd >= 0;
  return logEnabled;
}

void CloseLog() {
  std::lock_guard<std::mutex> guard(logLock);
  logEnabled = false;
  if (logFd >= 0) ::close(logFd);
  logFd = -1;
}

bool LogEnabled() { return logEnabled; }

void WriteLog(const std::string& text, bool blankLine) {
  if (!logEnabled) return;
  std::string line = FormatLogLine(text, std::time(nullptr));
  if (blankLine) line += "\r\n";
  std::lock_guard<std::mutex> guard(logLock);
  if (logFd >= 0) WriteAll(logFd, line);
}

}  // namespace quorlin
