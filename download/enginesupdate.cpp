#include "download/enginesupdate.h"

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
  if (!r.Ok) {
    update.Result = TEnginesUpdate::Failed;
    update.Message = "Engine update not installed: " + r.Error;
    return update;
  }
  update.Result = TEnginesUpdate::Installed;
  update.Files = std::move(r.Files);
  update.Message = "Engine update installed from " + archive.string() + ": " +
                   std::to_string(update.Files.size()) + " files";
  if (!fs::remove(archive, ec)) update.Message += "; the archive could not be deleted: " + ec.message();
  return update;
}

}  // namespace quorlin
