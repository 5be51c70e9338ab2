#pragma once
// Command registry of the quorlin program: each command lives in its own file
// and registers itself with a static Command object.
#include <functional>
#include <string>
#include <vector>

namespace quorlin::cli {

using Args = std::vector<std::string>;

struct Command {
  Command(std::string name, std::string usage, std::string summary,
          std::function<int(const Args&)> run);
};

// Thrown for a wrong argument: main prints the message and the command's usage
// and exits with status 2.
struct UsageError {
  std::string message;
};

// Parses a whole non-negative decimal number, or throws UsageError naming `what`.
long long ParseCount(const std::string& text, const std::string& what, long long max);

// Slot of a variant given by number or name, or throws UsageError.
int ParseVariantArg(const std::string& text);

}  // namespace quorlin::cli
