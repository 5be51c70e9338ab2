#pragma once
// Weights files (.evf): one tag per line, read into and written from the
// weights of one stage. A stage evaluated by a network keeps it in a ".mynn"
// file instead (network.h).
#include <filesystem>
#include <string>
#include <vector>

#include "engine/evaluation.h"

namespace quorlin {

// Reads a weights file (or a network when the extension is ".mynn"). `variant`
// picks the default KingValue. Returns false when the file does not exist (the
// defaults are then set and nothing else changes). A value that is not a valid
// number throws TFileError naming file, line and tag, and leaves `evf` as it was.
bool LoadEvf(const std::filesystem::path& path, TEvalFuncStatic& evf, int variant);

// Writes the weights (CR LF lines), or only the network to `path` with the
// extension ".mynn" when UseNN is set. Returns the path written. Throws
// TFileError when the file cannot be written.
std::filesystem::path SaveEvf(const std::filesystem::path& path, const TEvalFuncStatic& evf);

// Every keyword of the format (tests check that none begins with another, so
// that the order of the tags never matters).
std::vector<std::string> EvfFileKeywords();

}  // namespace quorlin
