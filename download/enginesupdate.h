#pragma once
// The engine update: an archive "Engines.zip" put beside the program is
// unpacked into the program folder at the next start and then deleted.
#include <string>
#include <vector>

namespace quorlin {

inline constexpr const char* kEnginesUpdateName = "Engines.zip";
// What a damaged update is renamed to, so that it is not tried at every start
// and stays there to be looked at.
inline constexpr const char* kEnginesUpdateBadName = "Engines.zip.bad";

struct TEnginesUpdate {
  enum Status { None, Installed, Failed } Result = None;
  std::vector<std::string> Files;  // installed, relative to the program folder
  std::string Message;             // a line for the log; empty when there was no update
};

// Installs `programFolder`/Engines.zip when it exists, through the same checked
// unpack as downloaded bases: all of its files or none. Installed: the
// archive is deleted. Failed: the program folder is as it was and the archive
// is renamed to Engines.zip.bad (replacing an older one). Never throws;
// start-up goes on in every case and logs Message once the log is open.
TEnginesUpdate InstallEnginesUpdate(const std::string& programFolder);

}  // namespace quorlin
