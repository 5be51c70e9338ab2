#pragma once
// Unpacking a ZIP archive into a folder so that the folder ends up either with
// every file of the archive or exactly as it was.
//
// Every entry is first checked (no absolute paths, no "..", no drive letters),
// then extracted into a hidden staging folder inside the destination, each
// entry's size and CRC checked by libzip. Only when the whole archive has been
// extracted are the files moved into place one by one; a file they replace is
// moved aside first, so that a failure in that phase can put everything back.
// The staging folder is removed on every path.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlin {

// Name prefix of the staging folder made inside the destination.
inline constexpr const char* kUnpackStagingPrefix = ".unpack-";

struct TUnpackResult {
  bool Ok = false;
  std::string Error;               // why nothing was installed, naming the archive and the entry
  std::vector<std::string> Files;  // relative paths of the files installed, in archive order
};

// The relative path ("a/b/c", "/" separated) an archive entry may be written
// to, or nullopt when the entry would land outside the destination: an
// absolute path, a drive letter, a ".." component, an empty name or a NUL.
// Backslashes count as separators (archives made on Windows use them);
// "." and empty components are dropped. An entry naming the destination
// itself ("./") gives an empty path.
std::optional<std::string> SafeEntryPath(std::string_view entryName);

// Unpacks `archivePath` into `destFolder` (created when missing). Any entry
// with an unsafe path refuses the whole archive. When `stop` becomes true the
// unpack is abandoned before files are moved into place. On failure the
// destination holds what it held before (a destination folder this call
// created is removed again).
TUnpackResult UnpackArchive(const std::string& archivePath, const std::string& destFolder,
                            const std::atomic<bool>* stop = nullptr);

}  // namespace quorlin
