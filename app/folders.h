#pragma once
// The program's folders: where it runs from, where it keeps the user's data,
// where downloads go and where the endgame databases are.
#include <optional>
#include <string>

namespace quorlin {

// All four are absolute and end with "/". Set by InitFolders on the main thread
// before any other thread starts; read-only afterwards.
extern std::string ProgramFolder;  // folder of the running executable
extern std::string DataFolder;     // "Quorlin Draughts" in the user's Documents folder
extern std::string TempFolder;     // the system temporary folder, symbolic links resolved
extern std::string EDFolder;       // "ED" beside the program when it exists, else "ED" in DataFolder

// Sets the four folders and creates DataFolder (and the Documents folder above
// it) when missing. `programPath` is the executable's path; when absent it is
// taken from /proc/self/exe. Returns whether DataFolder exists afterwards;
// a failure is not reported otherwise, the program then runs without log and
// settings file.
bool InitFolders(const std::optional<std::string>& programPath = std::nullopt);

// The user's home folder: $HOME, else the password database entry.
std::string HomeFolder();

// The Documents folder without a trailing "/": XDG_DOCUMENTS_DIR from the
// user-dirs configuration when it names one, else $HOME/Documents.
std::string DocumentsFolder();

// XDG_DOCUMENTS_DIR from the text of a user-dirs.dirs file: the value of the
// last valid assignment, quotes and backslash escapes removed and a leading
// "$HOME" replaced by `home`. Values that are neither "$HOME..." nor absolute
// are ignored, as the XDG rules require. Empty when there is none.
std::optional<std::string> ParseUserDirsDocuments(const std::string& fileText, const std::string& home);

}  // namespace quorlin
