#include "games/dbfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quorlin {

namespace fs = std::filesystem;

std::string SysError(const std::string& path, const std::string& what, int err) {
  return path + ": " + what + " (" + std::strerror(err) + ")";
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = SysError(path, "cannot open", errno);
    return false;
  }
  out.clear();
  char buf[65536];
  for (;;) {
    const ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error = SysError(path, "cannot read", errno);
      ::close(fd);
      return false;
    }
    if (r == 0) break;
    out.append(buf, static_cast<size_t>(r));
  }
  ::close(fd);
  return true;
}

bool SyncFolderOf(const std::string& path) {
  const fs::path dir = fs::path(path).parent_path();
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                           const TFileStepHook* hook) {
  const std::string tmp = path + ".new";
  TDBFile f;
  f.SetStepHook(hook);
  if (!f.Create(tmp, false, false, error)) return false;
  if (!f.WriteAt(0, bytes.data(), bytes.size(), error) || !f.Sync(error)) {
    f.Close();
    ::unlink(tmp.c_str());
    return false;
  }
  f.Close();
  if (hook && *hook) (*hook)("rename");
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    error = SysError(path, "cannot replace with " + tmp, errno);
    ::unlink(tmp.c_str());
    return false;
  }
  SyncFolderOf(path);
  return true;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

TDBFile::TDBFile(TDBFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), hook_(other.hook_) {
  other.fd_ = -1;
}

TDBFile& TDBFile::operator=(TDBFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    hook_ = other.hook_;
    other.fd_ = -1;
  }
  return *this;
}

bool TDBFile::Open(const std::string& path, bool writable, bool lockWriters, std::string& error) {
  Close();
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    error = SysError(path, "cannot open", errno);
    return false;
  }
  if (writable && lockWriters && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = SysError(path, "is in use by another writer", errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool TDBFile::Create(const std::string& path, bool exclusive, bool lockWriters, std::string& error) {
  Close();
  Step("create");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : 0), 0666);
  if (fd < 0) {
    error = SysError(path, exclusive ? "cannot create (or it exists already)" : "cannot create", errno);
    return false;
  }
  // Lock before truncating, so that a file another writer holds is left alone.
  if (lockWriters && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = SysError(path, "is in use by another writer", errno);
    ::close(fd);
    return false;
  }
  if (!exclusive && ::ftruncate(fd, 0) != 0) {
    error = SysError(path, "cannot truncate", errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

void TDBFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // also releases the lock
  fd_ = -1;
}

bool TDBFile::Size(int64_t& size, std::string& error) const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error = SysError(path_, "cannot get the size", fd_ < 0 ? EBADF : errno);
    return false;
  }
  size = st.st_size;
  return true;
}

bool TDBFile::ReadAt(int64_t pos, void* buf, size_t n, std::string& error) const {
  auto* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error = SysError(path_, "cannot read at byte " + std::to_string(pos + done), errno);
      return false;
    }
    if (r == 0) {
      error = path_ + ": unexpected end of file at byte " + std::to_string(pos + done) + " (wanted " +
              std::to_string(n) + " bytes at byte " + std::to_string(pos) + ")";
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

bool TDBFile::WriteAt(int64_t pos, const void* buf, size_t n, std::string& error) {
  Step("write");
  const auto* p = static_cast<const char*>(buf);
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      error = SysError(path_, "cannot write at byte " + std::to_string(pos + done), r < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

bool TDBFile::Truncate(int64_t size, std::string& error) {
  Step("cut");
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    error = SysError(path_, "cannot cut at byte " + std::to_string(size), errno);
    return false;
  }
  return true;
}

bool TDBFile::Sync(std::string& error) {
  Step("flush");
  if (::fsync(fd_) != 0) {
    error = SysError(path_, "cannot flush to disk", errno);
    return false;
  }
  return true;
}

}  // namespace quorlin
