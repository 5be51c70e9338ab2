#pragma once
// Hub protocol lines: `command name=value name="a value" flag ...`, the
// position text of `pos`, and the search limits of `level`. Used by both
// sides: our engine under an outside interface, and an outside engine driven
// by our match tool.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin {

struct THubArg {
  std::string name;
  std::string value;
  bool flag = false;  // a bare word without "=value"
  bool operator==(const THubArg&) const = default;
};

struct THubLine {
  std::string command;
  std::vector<THubArg> args;

  // The value of the first argument `name`, if present (a flag has an empty value).
  std::optional<std::string> Get(const std::string& name) const;
  bool Has(const std::string& name) const { return Get(name).has_value(); }
  bool operator==(const THubLine&) const = default;
};

// Splits a line. Blanks separate words; a value may be put in double quotes
// (then it may hold blanks and '='; a backslash escapes a quote or a
// backslash). Blank lines give an empty command. False with `error` for an
// unterminated quote or an argument without a name ("=5").
bool ParseHubLine(const std::string& line, THubLine& out, std::string& error);

// The line as text; values that are empty or hold blanks, '=' or quotes are
// quoted.
std::string FormatHubLine(const THubLine& line);

// Builds a line from a command and name/value pairs.
THubLine HubLine(const std::string& command, std::vector<std::pair<std::string, std::string>> args = {});

// Position text: the side to move ('W' or 'B') and one character per square
// 1..BoardSize in standard numbering: 'w'/'b' men, 'W'/'B' kings, 'e' empty.
std::string HubPositionText(const TBoard& board, TDColor side, const TGameParams& params);
bool ParseHubPosition(const std::string& text, const TGameParams& params, TBoard& board, TDColor& side,
                      std::string& error);

// Search limits of a `level` line. Only the fields given are set.
struct THubLevel {
  int depth = 0;          // depth=N
  int64_t nodes = 0;      // nodes=N
  double moveTime = 0;    // move-time=SECONDS
  int moves = 0;          // moves=N (with time)
  double time = -1;       // time=SECONDS, remaining for the game; -1 = not given
  double increment = 0;   // inc=SECONDS
  bool infinite = false;  // infinite
  bool operator==(const THubLevel&) const = default;
};

// Reads the arguments of a `level` line (the forms may be combined). False
// with `error` for a value that is not a number or is negative, or a line
// with no known limit.
bool ParseHubLevel(const THubLine& line, THubLevel& level, std::string& error);

// Hub variant names and our slots: "normal" International, "killer"
// International Killer, "frisian" Frisian. 0 for names this program does not
// play; empty for other slots.
int HubVariantSlot(const std::string& name);
std::string HubVariantName(int slot);

}  // namespace quorlin
