#include "app/engineupdate.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace quorlin {

namespace fs = std::filesystem;

namespace {

struct TZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The entry's path below the target folder, or empty when it would leave it.
fs::path SafeEntryPath(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path p(name);
  if (name.empty() || p.is_absolute() || p.has_root_name()) return {};
  for (const fs::path& part : p)
    if (part == "..") return {};
  return p.lexically_normal();
}

// Streams one entry into `target` through a temporary file beside it, which
// replaces the target only when complete.
bool ExtractEntry(zip_t* za, zip_int64_t index, const fs::path& target, std::string& why) {
  std::unique_ptr<zip_file_t, TZipFileCloser> zf(zip_fopen_index(za, static_cast<zip_uint64_t>(index), 0));
  if (!zf) {
    why = zip_strerror(za);
    return false;
  }
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  const fs::path temp = target.string() + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      why = "cannot write " + temp.string();
      return false;
    }
    std::vector<char> buf(1 << 16);
    for (;;) {
      const zip_int64_t n = zip_fread(zf.get(), buf.data(), buf.size());
      if (n < 0) {
        why = zip_file_strerror(zf.get());
        out.close();
        fs::remove(temp, ec);
        return false;
      }
      if (n == 0) break;
      out.write(buf.data(), n);
    }
    out.close();
    if (!out) {
      why = "cannot write " + temp.string();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    why = "cannot replace " + target.string() + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace

bool InstallEngineUpdate(const std::string& archive, const std::string& folder, std::string& error) {
  int zerr = 0;
  std::unique_ptr<zip_t, TZipCloser> za(zip_open(archive.c_str(), ZIP_RDONLY, &zerr));
  if (!za) {
    zip_error_t e;
    zip_error_init_with_code(&e, zerr);
    error = archive + ": not a readable ZIP archive (" + zip_error_strerror(&e) + ")";
    zip_error_fini(&e);
    return false;
  }
  const fs::path root(folder);
  const zip_int64_t count = zip_get_num_entries(za.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(za.get(), static_cast<zip_uint64_t>(i), 0);
    const std::string name = raw ? raw : "";
    const fs::path rel = SafeEntryPath(name);
    if (rel.empty()) {
      error = archive + ": entry \"" + name + "\": expected a path inside the program folder";
      return false;
    }
    const fs::path target = root / rel;
    std::error_code ec;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) {
      fs::create_directories(target, ec);
      continue;
    }
    std::string why;
    if (!ExtractEntry(za.get(), i, target, why)) {
      error = archive + ": entry \"" + name + "\": " + why;
      return false;
    }
  }
  za.reset();
  std::error_code ec;
  if (!fs::remove(archive, ec) || ec) {
    error = archive + ": extracted, but cannot be deleted" + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  return true;
}

}  // namespace quorlin
