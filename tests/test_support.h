#pragma once
// Helpers shared by the test programs.
#include <filesystem>
#include <string>

namespace quorlin::test {

// The private temporary folder that HOME, XDG_* and TMPDIR point into for this run.
const std::filesystem::path& SandboxDir();

// A fresh, empty folder inside the sandbox, unique per call.
std::filesystem::path FreshDir(const std::string& hint);

// Folder of the built program (executables plus shipped data).
std::filesystem::path ProgramDir();

// Folder with real files written by other programs, or empty when absent.
std::filesystem::path CorpusDir();

// Runs the quorlin command with the given arguments; returns its exit status and
// fills `out` with what it printed (stdout and stderr together).
int RunQuorlin(const std::string& args, std::string& out);

void WriteFile(const std::filesystem::path& p, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& p);

}  // namespace quorlin::test
