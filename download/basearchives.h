#pragma once
// The base archives the download window offers and where each is fetched from
// and kept.
#include <array>
#include <string>

namespace quorlin {

// In the order the window lists them; the first is selected.
inline constexpr std::array<const char*, 13> kBaseArchiveNames = {
    "_Graphics",           "MTC",           "Brazilian_bases", "Czech_bases",   "English_bases",
    "International_bases", "Italian_bases", "Pool_bases",      "Russian_bases", "Spanish_bases",
    "Spantsiretti_bases",  "Thai_bases",    "Turkish_bases"};

// server + "/download/mobile/" + name + ".zip"; trailing "/" of the server
// address and blanks around it are dropped.
std::string BaseArchiveUrl(const std::string& server, const std::string& name);

// Where the archive is kept: tempFolder (with or without a trailing "/") +
// name + ".zip".
std::string BaseArchivePath(const std::string& tempFolder, const std::string& name);

}  // namespace quorlin
