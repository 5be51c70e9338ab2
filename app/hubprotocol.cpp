#include "app/hubprotocol.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "app/wiremove.h"

namespace quorlin {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool NeedsQuotes(const std::string& v) {
  if (v.empty()) return true;
  for (char c : v)
    if (IsBlank(c) || c == '=' || c == '"' || c == '\\') return true;
  return false;
}

std::string Quote(const std::string& v) {
  std::string s = "\"";
  for (char c : v) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

// A whole non-negative real number ("1", "0.5", "12.25").
bool ParseSeconds(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v) || v < 0) return false;
  out = v;
  return true;
}

bool ParseWhole(const std::string& text, int64_t max, int64_t& out) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  const long long v = std::stoll(text);
  if (v > max) return false;
  out = v;
  return true;
}

}  // namespace

std::optional<std::string> THubLine::Get(const std::string& name) const {
  for (const THubArg& a : args)
    if (a.name == name) return a.value;
  return std::nullopt;
}

bool ParseHubLine(const std::string& line, THubLine& out, std::string& error) {
  THubLine result;
  size_t i = 0;
  const size_t n = line.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlank(line[i])) ++i;
  };
  // One word: up to a blank or '=', or a quoted text.
  auto word = [&](bool stopAtEquals, std::string& w) -> bool {
    w.clear();
    if (i < n && line[i] == '"') {
      const size_t open = i++;
      for (;;) {
        if (i >= n) {
          error =
              "unterminated quote starting at column " + std::to_string(open + 1) + " of \"" + line + "\"";
          return false;
        }
        const char c = line[i++];
        if (c == '"') break;
        if (c == '\\' && i < n && (line[i] == '"' || line[i] == '\\')) {
          w += line[i++];
          continue;
        }
        w += c;
      }
      return true;
    }
    while (i < n && !IsBlank(line[i]) && !(stopAtEquals && line[i] == '=')) w += line[i++];
    return true;
  };

  skipBlanks();
  if (i >= n) {
    out = result;
    return true;
  }
  if (!word(false, result.command)) return false;
  for (;;) {
    skipBlanks();
    if (i >= n) break;
    THubArg arg;
    if (line[i] == '=') {
      error = "argument without a name at column " + std::to_string(i + 1) + " of \"" + line + "\"";
      return false;
    }
    if (!word(true, arg.name)) return false;
    if (i < n && line[i] == '=') {
      ++i;
      if (!word(false, arg.value)) return false;
    } else {
      arg.flag = true;
    }
    result.args.push_back(std::move(arg));
  }
  out = std::move(result);
  return true;
}

std::string FormatHubLine(const THubLine& line) {
  // A command or name holding a blank, '=' or a quote was read from quotes
  // and goes back into them, or it would read as other words.
  auto word = [](const std::string& w) { return NeedsQuotes(w) ? Quote(w) : w; };
  std::string s = line.command.empty() && line.args.empty() ? "" : word(line.command);
  for (const THubArg& a : line.args) {
    s += " " + word(a.name);
    if (!a.flag) s += "=" + (NeedsQuotes(a.value) ? Quote(a.value) : a.value);
  }
  return s;
}

THubLine HubLine(const std::string& command, std::vector<std::pair<std::string, std::string>> args) {
  THubLine l;
  l.command = command;
  for (auto& [name, value] : args) l.args.push_back(THubArg{std::move(name), std::move(value), false});
  return l;
}

std::string HubPositionText(const TBoard& board, TDColor side, const TGameParams& params) {
  std::string s(1, side == TDColor::white ? 'W' : 'B');
  for (int n = 1; n <= params.compute.BoardSize; ++n) {
    switch (board.b[InternalSquare(params, n)]) {
      case kWhiteMan:
        s += 'w';
        break;
      case kBlackMan:
        s += 'b';
        break;
      case kWhiteKing:
        s += 'W';
        break;
      case kBlackKing:
        s += 'B';
        break;
      default:
        s += 'e';
    }
  }
  return s;
}

bool ParseHubPosition(const std::string& text, const TGameParams& params, TBoard& board, TDColor& side,
                      std::string& error) {
  const size_t squares = params.compute.BoardSize;
  if (text.size() != squares + 1) {
    error = "position \"" + text + "\" has " + std::to_string(text.size()) + " characters: expected " +
            std::to_string(squares + 1) + " (the side to move, then one per square)";
    return false;
  }
  if (text[0] != 'W' && text[0] != 'B') {
    error = "position: the side to move is '" + text.substr(0, 1) + "': expected 'W' or 'B'";
    return false;
  }
  TBoard b;
  for (size_t n = 1; n <= squares; ++n) {
    int8_t piece = kEmpty;
    switch (text[n]) {
      case 'e':
        break;
      case 'w':
        piece = kWhiteMan;
        break;
      case 'b':
        piece = kBlackMan;
        break;
      case 'W':
        piece = kWhiteKing;
        break;
      case 'B':
        piece = kBlackKing;
        break;
      default:
        error = "position: square " + std::to_string(n) + " holds '" + text.substr(n, 1) +
                "': expected one of e w b W B";
        return false;
    }
    b.b[InternalSquare(params, static_cast<int>(n))] = piece;
  }
  board = b;
  side = text[0] == 'W' ? TDColor::white : TDColor::black;
  return true;
}

bool ParseHubLevel(const THubLine& line, THubLevel& level, std::string& error) {
  THubLevel l;
  bool any = false;
  for (const THubArg& a : line.args) {
    int64_t whole = 0;
    if (a.name == "infinite") {
      l.infinite = true;
      any = true;
    } else if (a.name == "depth") {
      if (!ParseWhole(a.value, 200, whole) || whole < 1) {
        error = "level: depth=\"" + a.value + "\": expected a whole number 1..200";
        return false;
      }
      l.depth = static_cast<int>(whole);
      any = true;
    } else if (a.name == "nodes") {
      if (!ParseWhole(a.value, int64_t{1} << 40, whole) || whole < 1) {
        error = "level: nodes=\"" + a.value + "\": expected a whole number of at least 1";
        return false;
      }
      l.nodes = whole;
      any = true;
    } else if (a.name == "moves") {
      if (!ParseWhole(a.value, 10000, whole)) {
        error = "level: moves=\"" + a.value + "\": expected a whole number";
        return false;
      }
      l.moves = static_cast<int>(whole);
    } else if (a.name == "move-time" || a.name == "time" || a.name == "inc") {
      double s = 0;
      if (!ParseSeconds(a.value, s)) {
        error = "level: " + a.name + "=\"" + a.value + "\": expected seconds, such as 5 or 0.25";
        return false;
      }
      if (a.name == "move-time") l.moveTime = s;
      if (a.name == "time") l.time = s;
      if (a.name == "inc") l.increment = s;
      any = true;
    }
  }
  if (!any) {
    error = "level: expected depth=N, nodes=N, move-time=S, time=S or infinite";
    return false;
  }
  level = l;
  return true;
}

int HubVariantSlot(const std::string& name) {
  if (name == "normal") return kInternational;
  if (name == "killer") return kInternationalKiller;
  if (name == "frisian") return kFrisian;
  return 0;
}

std::string HubVariantName(int slot) {
  switch (slot) {
    case kInternational:
      return "normal";
    case kInternationalKiller:
      return "killer";
    case kFrisian:
      return "frisian";
    default:
      return "";
  }
}

}  // namespace quorlin
