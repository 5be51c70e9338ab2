#pragma once
// Files of a game database as the storage code uses them: records and bodies
// reached by byte position, files replaced whole through a file beside them,
// and a hook before every change so that tests can stop the process there.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quorlin {

// Called before every step that changes a database file: "write", "cut",
// "flush", "create", "rename", "delete". Tests end the process there to see
// what a crash at that moment leaves behind.
using TFileStepHook = std::function<void(const char* step)>;

// A file reached by byte position (index or games file). Closes itself.
class TDBFile {
 public:
  TDBFile() = default;
  ~TDBFile() { Close(); }
  TDBFile(const TDBFile&) = delete;
  TDBFile& operator=(const TDBFile&) = delete;
  TDBFile(TDBFile&& other) noexcept;
  TDBFile& operator=(TDBFile&& other) noexcept;

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Opens an existing file. A writable open takes an exclusive lock when
  // `lockWriters`, and fails when another writer holds it.
  bool Open(const std::string& path, bool writable, bool lockWriters, std::string& error);
  // Creates a file for reading and writing; `exclusive` refuses an existing one,
  // otherwise an existing file is truncated (after taking the lock, when asked).
  bool Create(const std::string& path, bool exclusive, bool lockWriters, std::string& error);
  void Close();

  bool Size(int64_t& size, std::string& error) const;
  // Reads exactly `n` bytes at `pos`; reaching the end of the file first is an error.
  bool ReadAt(int64_t pos, void* buf, size_t n, std::string& error) const;
  // Writes all `n` bytes at `pos`; a short write (disk full) is an error.
  bool WriteAt(int64_t pos, const void* buf, size_t n, std::string& error);
  bool Truncate(int64_t size, std::string& error);
  // Makes the written data durable.
  bool Sync(std::string& error);
  // Hook called before each change (may be null); it must outlive the file.
  void SetStepHook(const TFileStepHook* hook) { hook_ = hook; }

 private:
  int fd_ = -1;
  std::string path_;
  const TFileStepHook* hook_ = nullptr;

  void Step(const char* what) const {
    if (hook_ && *hook_) (*hook_)(what);
  }
};

// "path: what (system reason)".
std::string SysError(const std::string& path, const std::string& what, int err);

// Reads a whole file into `out`.
bool ReadWholeFile(const std::string& path, std::string& out, std::string& error);

// Makes a rename or creation in the folder of `path` durable.
bool SyncFolderOf(const std::string& path);

// Replaces a file whole: the new contents go to path + ".new", reach the disk,
// and only then take the old file's name, so a failure or a crash at any step
// leaves either the old or the new file complete. `hook` may be null.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                           const TFileStepHook* hook);

// True when `path` is a regular file.
bool FileExists(const std::string& path);

}  // namespace quorlin
