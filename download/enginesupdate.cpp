#include "download/enginesupdate.h"

#include <cstdio>
#include <filesystem>

#include "download/unpack.h"

namespace quorlin {

TEnginesUpdate InstallEnginesUpdate(const std::string& programFolder) {
  namespace fs = std::filesystem;
  TEnginesUpdate update;
  const fs::path archive = fs::path(programFolder) / kEnginesUpdateName;
  std::error_code ec;
  if (!fs::is_regular_file(archive, ec)) return update;

  TUnpackResult r = UnpackArchive(archive.string(), programFolder);
  if (r.Ok) {
    update.Result = TEnginesUpdate::Installed;
    update.Files = std::move(r.Files);
    update.Message =
        std::string(kEnginesUpdateName) + " installed: " + std::to_string(update.Files.size()) + " files";
    if (!fs::remove(archive, ec)) update.Message += "; the archive could not be deleted: " + ec.message();
    return update;
  }
  update.Result = TEnginesUpdate::Failed;
  update.Message = std::string(kEnginesUpdateName) + " not installed: " + r.Error;
  const fs::path bad = fs::path(programFolder) / kEnginesUpdateBadName;
  fs::rename(archive, bad, ec);
  update.Message += ec ? "; it could not be renamed: " + ec.message() : "; kept as " + bad.string();
  return update;
}

}  // namespace quorlin
