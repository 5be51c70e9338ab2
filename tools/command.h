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

// Thrown for a wrong argument: main prints the message and the command's usage
// and exits with status 2.
struct UsageError {
  std::string message;
};

// Parses a whole non-negative decimal number, or throws UsageError naming `what`.
long long ParseCount(const std::string& text, const std::string& what, long long max);

// Slot of a variant given by number or name, or throws UsageError.
int ParseVariantArg(const std::string& text);

// Reads a FEN argument for the variant with the strict reader (ReadFEN):
// ranges such as W31-50 are accepted; anything malformed or impossible throws
// UsageError naming what is wrong and where.
void ReadFenArg(const TGameParams& params, const std::string& text, TBoard& board, int& side);

}  // namespace quorlin::cli
