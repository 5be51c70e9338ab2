#pragma once
// The engine update: an archive "Engines.zip" placed in the program folder is
// unpacked over the program folder at the next start and then deleted, so
// that new engine descriptions and evaluation files take effect.
#include <string>

namespace quorlin {

inline constexpr const char* kEngineUpdateFile = "Engines.zip";

// Extracts every entry of the archive into `folder` (entry paths kept,
// existing files replaced) and deletes the archive. An entry whose path would
// leave the folder (absolute, or with a ".." part) is refused. Returns false,
// with `error` naming the archive, the entry and what went wrong, when the
// archive cannot be read or a file cannot be written; the archive then stays
// so that the next start tries again. Files already extracted stay.
bool InstallEngineUpdate(const std::string& archive, const std::string& folder, std::string& error);

}  // namespace quorlin
