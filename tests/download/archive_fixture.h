#pragma once
// Helpers of the download tests: ZIP archives made on the spot (any entry
// name, also the ones the program must refuse), and a picture of a folder to
// compare before and after.
#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace quorlin::test {

struct TZipEntry {
  std::string Name;  // a name ending in "/" is a folder
  std::string Bytes;
};

// Writes a ZIP archive with the entries in this order; `store` keeps the
// bytes uncompressed, so that a test can find and spoil them in the file.
inline void MakeZip(const std::filesystem::path& path, const std::vector<TZipEntry>& entries,
                    bool store = false) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) throw std::runtime_error("cannot create " + path.string());
  for (const TZipEntry& e : entries) {
    if (!e.Name.empty() && e.Name.back() == '/') {
      zip_dir_add(z, e.Name.c_str(), ZIP_FL_ENC_UTF_8);
      continue;
    }
    zip_source_t* src = zip_source_buffer(z, e.Bytes.data(), e.Bytes.size(), 0);
    const zip_int64_t index = zip_file_add(z, e.Name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(src);
      zip_discard(z);
      throw std::runtime_error("cannot add " + e.Name + " to " + path.string());
    }
    if (store) zip_set_file_compression(z, index, ZIP_CM_STORE, 0);
  }
  if (zip_close(z) != 0) throw std::runtime_error("cannot write " + path.string());
}

// Bytes that do not compress, the same for the same seed.
inline std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// An archive of bases the way a download brings them: folders and files of
// several sizes, about `approxSize` bytes in all.
inline std::vector<TZipEntry> BaseArchiveEntries(size_t approxSize) {
  return {
      {"Bases/", ""},
      {"Bases/Russian.abd", RandomBytes(approxSize / 2, 1)},
      {"Bases/Russian.abm", RandomBytes(approxSize / 4, 2)},
      {"Bases/Russian.abn", "Players\r\nTournaments\r\n"},
      {"Books/Russian.cbk", RandomBytes(approxSize / 4, 3)},
  };
}

// Every file and folder below `root` with the files' bytes ("/" after folders).
using TFolderPicture = std::map<std::string, std::string>;

inline TFolderPicture PictureOf(const std::filesystem::path& root) {
  TFolderPicture picture;
  if (!std::filesystem::exists(root)) return picture;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string rel = std::filesystem::relative(e.path(), root).generic_string();
    if (e.is_directory())
      picture[rel + "/"] = "";
    else
      picture[rel] = ReadFile(e.path());
  }
  return picture;
}

// Names directly inside a folder.
inline std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quorlin::test
