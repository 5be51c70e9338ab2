#pragma once
// Data laid out beside the quorlin executable (EnginesTest, Ballots): where
// the commands find shipped engines and ballots.
#include <filesystem>
#include <string>

namespace quorlin::cli {

// Folder of the running executable (empty when unknown).
std::string ExecutableFolder();

// An engine description as given (relative to the working folder); a relative
// path that does not exist there is also looked for in the variant's folder of
// the shipped engines. Throws std::runtime_error naming both places.
std::filesystem::path ResolveEngineFile(const std::string& given, int variant);

// The shipped "2-moves" ballot database of a variant when it exists beside the
// executable and the variant's board has 32 squares; empty otherwise.
std::string ShippedBallots(int variant);

}  // namespace quorlin::cli
