#include "download/basearchives.h"

#include "common/text.h"

namespace quorlin {

std::string BaseArchiveUrl(const std::string& server, const std::string& name) {
  std::string base(TrimRightView(TrimView(server, " \t"), "/ \t"));
  return base + "/download/mobile/" + name + ".zip";
}

std::string BaseArchivePath(const std::string& tempFolder, const std::string& name) {
  std::string path = tempFolder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name + ".zip";
}

}  // namespace quorlin
