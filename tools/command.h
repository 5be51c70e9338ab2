#pragma once
// Command registry of the quorlin program: each command lives in its own file
// and registers itself with a static Command object.
#include <functional>
#include <string>
#include <vector>

#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin::cli {

using Args = std::vector<std::string>;

struct Command {
  Command(std::string name, std::string usage, std::string summary,
          std::function<int(const Args&)> run);
};

// Thrown for a wrong argument: main prints "quorlin CMD: message" and the
// command's usage on standard error and exits with status 2. Failures while
// the command runs (a missing file, unreadable data) are std::exception:
// "quorlin CMD: error: ..." and status 1.
struct UsageError {
  std::string message;
};

// Thrown by the argument parser for --help: main prints the command's usage
// on standard output and exits with status 0.
struct HelpRequest {};

// Prints "quorlin CMD: text" on standard error, for a failure the command
// reports itself before it goes on or returns a non-zero status.
void PrintError(const std::string& command, const std::string& text);

// Parses a whole non-negative decimal number, or throws UsageError naming `what`.
long long ParseCount(const std::string& text, const std::string& what, long long max);

// Slot of a variant given by number or name, or throws UsageError.
int ParseVariantArg(const std::string& text);

// Reads a FEN argument for the variant with the strict reader (ReadFEN):
// ranges such as W31-50 are accepted; anything malformed or impossible throws
// UsageError naming what is wrong and where.
void ReadFenArg(const TGameParams& params, const std::string& text, TBoard& board, int& side);

}  // namespace quorlin::cli
