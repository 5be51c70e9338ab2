#include "app/shippeddata.h"

#include <filesystem>
#include <map>
#include <system_error>

namespace quorlin {

namespace fs = std::filesystem;

namespace {

// Copies `from` to `to` through a temporary file beside `to`.
bool CopyWhole(const fs::path& from, const fs::path& to, std::string& error) {
  std::error_code ec;
  const fs::path part = to.string() + ".part";
  fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(part, to, ec);
  if (ec) {
    error = to.string() + ": not copied from " + from.string() + ": " + ec.message();
    fs::remove(part, ec);
    return false;
  }
  return true;
}

// The regular files of `folder`, grouped by name without extension.
std::map<std::string, std::vector<fs::path>> FileGroups(const fs::path& folder) {
  std::map<std::string, std::vector<fs::path>> groups;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) groups[it->path().stem().string()].push_back(it->path());
  }
  return groups;
}

}  // namespace

TShippedDataReport InstallShippedData(const std::string& programFolder, const std::string& dataFolder) {
  TShippedDataReport report;
  std::error_code ec;
  for (const char* name : kShippedFolders) {
    const fs::path from = fs::path(programFolder) / name;
    if (!fs::is_directory(from, ec)) continue;
    const fs::path to = fs::path(dataFolder) / name;
    for (const auto& [stem, files] : FileGroups(from)) {
      bool present = false;
      for (const fs::path& f : files) present = present || fs::exists(to / f.filename(), ec);
      if (present) continue;
      fs::create_directories(to, ec);
      if (ec) {
        report.Errors.push_back(to.string() + ": cannot be created: " + ec.message());
        break;
      }
      for (const fs::path& f : files) {
        std::string error;
        if (CopyWhole(f, to / f.filename(), error)) {
          report.Copied.push_back((to / f.filename()).string());
        } else {
          report.Errors.push_back(error);
        }
      }
    }
  }
  return report;
}

}  // namespace quorlin
