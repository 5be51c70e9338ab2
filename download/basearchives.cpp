#include "download/basearchives.h"

namespace quorlin {

std::string BaseArchiveUrl(const std::string& server, const std::string& name) {
  const size_t first = server.find_first_not_of(" \t");
  std::string base = first == std::string::npos ? std::string() : server.substr(first);
  while (!base.empty() && (base.back() == '/' || base.back() == ' ' || base.back() == '\t')) base.pop_back();
  return base + "/download/mobile/" + name + ".zip";
}

std::string BaseArchivePath(const std::string& tempFolder, const std::string& name) {
  std::string path = tempFolder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name + ".zip";
}

}  // namespace quorlin
