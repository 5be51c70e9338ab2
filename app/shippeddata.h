// The books and the example database ship beside the program, but the program
// reads them from the user's data folder, where the user may change them. On
// the first start (and whenever one is missing) they are copied there.
#pragma once

#include <string>
#include <vector>

namespace quorlin {

// Folders of the program folder whose files are copied into the data folder.
inline constexpr const char* kShippedFolders[] = {"Books", "Bases"};

struct TShippedDataReport {
  std::vector<std::string> Copied;  // paths in the data folder, as copied
  std::vector<std::string> Errors;  // one line per file that could not be copied
};

// Copies into `dataFolder` the shipped files it lacks. Files are grouped by
// name without extension (a database or a book is several files): a group is
// copied only when none of its files is present, so the user's own files are
// never overwritten or mixed with shipped ones. Each file goes through a
// temporary name, so an interrupted copy leaves no half file under its name.
TShippedDataReport InstallShippedData(const std::string& programFolder, const std::string& dataFolder);

}  // namespace quorlin
