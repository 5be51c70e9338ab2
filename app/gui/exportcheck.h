#pragma once
// Calls every routine the program exports, looked up by name in its own
// dynamic symbol table, and prints one line per routine ("NAME ok" or
// "NAME FAILED: why"). Returns whether all of them worked.
#include <ostream>

namespace quorlin::gui {

bool CheckExports(std::ostream& out);

}  // namespace quorlin::gui
