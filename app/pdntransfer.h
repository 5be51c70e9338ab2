#pragma once
// PDN files into and out of a game database, as background work with progress
// and cancel: an import appends the file's games (a cancelled import keeps the
// games read so far); an export writes the chosen games to a new file, which
// appears only when the export is complete.
#include <string>
#include <vector>

#include "app/backgroundjob.h"

namespace quorlin {

struct TPdnTransferResult {
  bool ok = false;         // the work ended without an error (also when cancelled)
  bool cancelled = false;  // stopped by the user before the end
  int games = 0;           // games stored (import) or written (export)
  int cutShort = 0;        // import: games whose moves could not all be read
  int skipped = 0;         // export: games that could not be read from the database
  std::string firstProblem;  // where the first game was cut short or skipped
  std::string error;
};

// Appends the games of `pdnPath` to the database at `dbPath`, which no other
// record may hold open while this runs. Games without a GameType tag are read
// as `defaultVariant`. `job` (may be null) receives progress in lines of the
// file and is asked for cancel between games.
TPdnTransferResult ImportPdn(const std::string& pdnPath, const std::string& dbPath, int defaultVariant,
                             TBackgroundJob* job);

// Writes games `games` (numbers in the database at `dbPath`, read through a
// read-only record of its own) to `pdnPath`, replacing it. The text goes to a
// file beside it first; a cancelled or failed export leaves `pdnPath` as it was.
// `job` receives progress in games.
TPdnTransferResult ExportPdn(const std::string& dbPath, const std::vector<int>& games, const std::string& pdnPath,
                             TBackgroundJob* job);

// What the window says afterwards.
std::string ImportMessage(const TPdnTransferResult& result, const std::string& pdnPath);
std::string ExportMessage(const TPdnTransferResult& result, const std::string& pdnPath);

// True for a file name ending in ".pdn" (any letter case).
bool IsPdnFileName(const std::string& path);

}  // namespace quorlin
