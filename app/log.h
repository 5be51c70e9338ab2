#pragma once
// The program's log "Quorlin Draughts.log" in DataFolder: one line per call,
// "[yyyy-mm-dd hh:mm:ss] text" in local time, CR LF line ends.
#include <ctime>
#include <string>

namespace quorlin {

// Opens DataFolder + "Quorlin Draughts.log" for appending, creating it when
// missing. When that fails logging stays off for the run, without a message.
// Opening again closes the previous file first. Returns whether logging is on.
bool OpenLog();

// Appends one line and, when `blankLine` is set, an empty line after it. The
// line goes to the file in one write call, so it is on disk (in the
// system's cache) when the call returns; calls from several threads are
// serialised and never interleave. Line breaks inside `text` become blanks so
// that one call always gives one line. Does nothing while logging is off.
void WriteLog(const std::string& text, bool blankLine = false);

// Closes the log; later WriteLog calls do nothing until OpenLog.
void CloseLog();

bool LogEnabled();

// Path of the log file in DataFolder.
std::string LogFilePath();

// The line WriteLog writes for `text` at `when`, including CR LF.
std::string FormatLogLine(const std::string& text, std::time_t when);

}  // namespace quorlin
