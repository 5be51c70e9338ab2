#include "download/unpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace quorlin {

namespace fs = std::filesystem;

std::optional<std::string> SafeEntryPath(std::string_view entryName) {
  if (entryName.empty() || entryName.find('\0') != std::string_view::npos) return std::nullopt;
  std::string name(entryName);
  for (char& c : name)
    if (c == '\\') c = '/';
  if (name.front() == '/') return std::nullopt;
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
    return std::nullopt;

  std::string out;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t next = name.find('/', pos);
    if (next == std::string::npos) next = name.size();
    const std::string_view part(name.data() + pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

namespace {

// One archive entry that will be written.
struct TEntry {
  zip_int64_t Index = 0;
  std::string Name;  // as stored, for messages
  std::string Path;  // safe relative path
  bool IsDir = false;
};

// What the move phase changed in the destination, so it can be undone.
struct TChange {
  enum Kind { CreatedDir, MovedAside, Placed } What;
  fs::path Target;
  fs::path Backup;  // MovedAside: where the old file waits
};

std::string ErrnoText() { return std::strerror(errno); }

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

class TUnpackJob {
 public:
  TUnpackJob(const std::string& archive, const std::string& dest, const std::atomic<bool>* stop)
      : archive_(archive), dest_(fs::path(dest).lexically_normal()), stop_(stop) {
    if (!dest_.has_filename() && dest_.has_parent_path() && dest_ != dest_.root_path())
      dest_ = dest_.parent_path();
  }

  ~TUnpackJob() {
    if (zip_) zip_discard(zip_);
  }

  TUnpackResult Run() {
    const bool ok = OpenArchive() && ListEntries() && PrepareDestination() && MakeStaging() && ExtractAll() &&
                    NotStopped() && MoveIntoPlace();
    if (!ok) UndoFileChanges();
    RemoveStaging();
    if (!ok) RemoveCreatedFolders();
    result_.Ok = ok;
    return std::move(result_);
  }

 private:
  bool Fail(const std::string& what) {
    if (result_.Error.empty()) result_.Error = archive_ + ": " + what;
    return false;
  }

  bool NotStopped() { return !(stop_ && stop_->load()) || Fail("unpacking was stopped"); }

  bool OpenArchive() {
    int code = 0;
    zip_ = zip_open(archive_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (zip_) return true;
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    const std::string text = zip_error_strerror(&err);
    zip_error_fini(&err);
    return Fail("cannot be opened as a ZIP archive (" + text + ")");
  }

  // Every entry gets a safe path before anything is written; one unsafe entry
  // refuses the whole archive.
  bool ListEntries() {
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      const char* raw = zip_get_name(zip_, i, ZIP_FL_ENC_GUESS);
      if (!raw) return Fail("entry " + std::to_string(i) + " has no readable name");
      TEntry e;
      e.Index = i;
      e.Name = raw;
      const auto path = SafeEntryPath(e.Name);
      if (!path) return Fail("entry \"" + e.Name + "\" would be written outside " + dest_.string());
      e.Path = *path;
      e.IsDir = e.Name.back() == '/' || e.Name.back() == '\\';
      if (e.Path.empty() && !e.IsDir) return Fail("entry \"" + e.Name + "\" has no file name");
      if (!e.Path.empty() && e.Path.rfind(kUnpackStagingPrefix, 0) == 0)
        return Fail("entry \"" + e.Name + "\" uses a name reserved for unpacking");
      if (!e.Path.empty()) entries_.push_back(std::move(e));
    }
    return true;
  }

  bool PrepareDestination() {
    std::vector<fs::path> missing;
    for (fs::path p = dest_; !p.empty() && !fs::exists(p); p = p.parent_path()) {
      missing.push_back(p);
      if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST)
        return Fail("cannot create folder " + it->string() + ": " + ErrnoText());
      changes_.push_back({TChange::CreatedDir, *it, {}});
    }
    if (!fs::is_directory(dest_)) return Fail(dest_.string() + " is not a folder");
    return true;
  }

  bool MakeStaging() {
    std::string templ = (dest_ / (std::string(kUnpackStagingPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(templ.data()))
      return Fail("cannot create a staging folder in " + dest_.string() + ": " + ErrnoText());
    staging_ = templ;
    std::error_code ec;
    fs::create_directory(staging_ / "new", ec);
    if (!ec) fs::create_directory(staging_ / "old", ec);
    if (ec) return Fail("cannot create a staging folder in " + dest_.string() + ": " + ec.message());
    return true;
  }

  bool ExtractAll() {
    for (const TEntry& e : entries_) {
      if (!NotStopped()) return false;
      const fs::path out = staging_ / "new" / e.Path;
      std::error_code ec;
      fs::create_directories(e.IsDir ? out : out.parent_path(), ec);
      if (ec) return Fail("entry \"" + e.Name + "\": cannot create its folder: " + ec.message());
      if (!e.IsDir && !ExtractFile(e, out)) return false;
      if (e.IsDir)
        dirs_.insert(e.Path);
      else if (files_.insert(e.Path).second)
        order_.push_back(e.Path);
    }
    return true;
  }

  // Reads the entry to its end, so that libzip checks its size and CRC, and
  // writes it to `out`, synced to disk.
  bool ExtractFile(const TEntry& e, const fs::path& out) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_, e.Index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
      return Fail("entry \"" + e.Name + "\": " + zip_strerror(zip_));
    zip_file_t* zf = zip_fopen_index(zip_, e.Index, 0);
    if (!zf) return Fail("entry \"" + e.Name + "\": " + zip_strerror(zip_));
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      zip_fclose(zf);
      return Fail("entry \"" + e.Name + "\": cannot create " + out.string() + ": " + ErrnoText());
    }
    std::vector<char> buffer(1 << 16);
    zip_uint64_t total = 0;
    std::string error;
    for (;;) {
      const zip_int64_t n = zip_fread(zf, buffer.data(), buffer.size());
      if (n < 0) {
        error = zip_file_strerror(zf);
        break;
      }
      if (n == 0) break;
      total += static_cast<zip_uint64_t>(n);
      if (total > st.size) {
        error = "holds more than its stated " + std::to_string(st.size) + " bytes";
        break;
      }
      if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) {
        error = "cannot write " + out.string() + ": " + ErrnoText();
        break;
      }
    }
    if (error.empty() && total != st.size)
      error = "holds " + std::to_string(total) + " of its stated " + std::to_string(st.size) + " bytes";
    if (error.empty() && ::fsync(fd) != 0) error = "cannot write " + out.string() + ": " + ErrnoText();
    if (::close(fd) != 0 && error.empty()) error = "cannot write " + out.string() + ": " + ErrnoText();
    zip_fclose(zf);
    return error.empty() || Fail("entry \"" + e.Name + "\": " + error);
  }

  // Creates the folders a path needs below the destination, journalled.
  bool EnsureFolders(const fs::path& rel) {
    fs::path at = dest_;
    for (const fs::path& part : rel) {
      at /= part;
      struct stat st;
      if (::stat(at.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return Fail(at.string() + " is a file where the archive has a folder");
        continue;
      }
      if (::mkdir(at.c_str(), 0777) != 0)
        return Fail("cannot create folder " + at.string() + ": " + ErrnoText());
      changes_.push_back({TChange::CreatedDir, at, {}});
    }
    return true;
  }

  bool PlaceFile(const std::string& rel) {
    const fs::path target = dest_ / rel;
    if (!EnsureFolders(fs::path(rel).parent_path())) return false;
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return Fail(target.string() + " is a folder where the archive has a file");
      const fs::path backup = staging_ / "old" / rel;
      std::error_code ec;
      fs::create_directories(backup.parent_path(), ec);
      if (ec || ::rename(target.c_str(), backup.c_str()) != 0)
        return Fail("cannot replace " + target.string() + ": " + (ec ? ec.message() : ErrnoText()));
      changes_.push_back({TChange::MovedAside, target, backup});
    }
    const fs::path staged = staging_ / "new" / rel;
    if (::rename(staged.c_str(), target.c_str()) != 0)
      return Fail("cannot move " + rel + " into " + dest_.string() + ": " + ErrnoText());
    changes_.push_back({TChange::Placed, target, {}});
    return true;
  }

  bool MoveIntoPlace() {
    for (const std::string& dir : dirs_)
      if (!EnsureFolders(dir)) return false;
    for (const std::string& rel : order_) {
      if (!PlaceFile(rel)) return false;
      result_.Files.push_back(rel);
    }
    if (const int fd = ::open(dest_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
    return true;
  }

  // Undoes the move phase in reverse: new files out, old files back from the
  // staging folder.
  void UndoFileChanges() {
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
      if (it->What == TChange::Placed) ::unlink(it->Target.c_str());
      if (it->What == TChange::MovedAside) ::rename(it->Backup.c_str(), it->Target.c_str());
    }
    result_.Files.clear();
  }

  // Runs after the staging folder is gone, so the folders this job created
  // (the destination itself included) are empty again.
  void RemoveCreatedFolders() {
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it)
      if (it->What == TChange::CreatedDir) ::rmdir(it->Target.c_str());
    changes_.clear();
  }

  void RemoveStaging() {
    if (staging_.empty()) return;
    std::error_code ec;
    fs::remove_all(staging_, ec);
  }

  std::string archive_;
  fs::path dest_;
  const std::atomic<bool>* stop_;
  zip_t* zip_ = nullptr;
  std::vector<TEntry> entries_;
  fs::path staging_;
  std::set<std::string> dirs_;
  std::set<std::string> files_;
  std::vector<std::string> order_;  // files in archive order, each once
  std::vector<TChange> changes_;
  TUnpackResult result_;
};

}  // namespace

TUnpackResult UnpackArchive(const std::string& archivePath, const std::string& destFolder,
                            const std::atomic<bool>* stop) {
  return TUnpackJob(archivePath, destFolder, stop).Run();
}

}  // namespace quorlin
