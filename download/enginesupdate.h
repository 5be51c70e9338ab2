#pragma once
// The engine update: an archive "Engines.zip" put beside the program is
// unpacked into the program folder at the next start and then deleted.
#include <string>
#include <vector>

namespace quorlin {

inline constexpr const char* kEnginesUpdateName = "Engines.zip";

struct TEnginesUpdate {
  enum Status { None, Installed, Failed } Result = None;
  std::vector<std::string> Files;  // installed, relative to the program folder
  std::string Message;             // a line for the log; empty when there was no update
};

// Installs `programFolder`/Engines.zip when it exists, through the same checked
// unpack as downloaded bases: all of its files or none, no entry outside the
// program folder. Installed: the archive is deleted. Failed: the program
// folder is as it was and the archive stays, so that the next start tries
// again. Start-up goes on in every case and logs Message once the log is open.
TEnginesUpdate InstallEnginesUpdate(const std::string& programFolder);

}  // namespace quorlin
