#pragma once
// Help text laid out for an 80-column terminal.
#include <cstddef>
#include <string>
#include <vector>

namespace quorlin::cli {

constexpr size_t kHelpWidth = 80;

// Words of `text` filled into lines of at most `width` columns, the first line
// indented by `firstIndent` blanks and the rest by `nextIndent`. A bracketed
// group ("[--fen FEN]") stays on one line where it fits.
std::vector<std::string> WrapText(const std::string& text, size_t firstIndent, size_t nextIndent,
                                  size_t width = kHelpWidth);

// A usage line, "book build ... | book show ...", as lines of at most 80
// columns: each alternative starts a line with `lead`; continuation lines are
// indented past the command name.
std::vector<std::string> UsageLines(const std::string& name, const std::string& usage,
                                    const std::string& lead);

}  // namespace quorlin::cli
