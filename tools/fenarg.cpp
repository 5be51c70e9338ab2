// The --fen argument of the commands: a FEN as users and files write it, read
// strictly, because a command that quietly works on some other position than the
// one asked for would mislead.
#include <string>
#include <vector>

#include "games/pdnfile.h"
#include "rules/fen.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

void ReadFenArg(const TGameParams& params, const std::string& text, TBoard& board, int& side) {
  auto bad = [&](const std::string& why) { throw UsageError{"bad FEN \"" + text + "\": " + why}; };
  const std::string trimmed = Trim(text);
  if (trimmed.size() < 2 || (trimmed[0] != 'W' && trimmed[0] != 'B') || trimmed[1] != ':')
    bad("expected \"W:\" or \"B:\" first, as in W:W21,22,K30:B1,2,3");
  // Ranges such as W31-50, as files write them, become plain lists first.
  std::string fen, error;
  if (!NormalizeFEN(params, trimmed, fen, error)) bad(error);
  int items = 0;
  for (const std::string& raw : Split(fen.substr(2), ':')) {
    std::string list = Trim(raw);
    if (!list.empty() && list.back() == '.') list.pop_back();
    if (list.empty()) continue;
    if (list[0] != 'W' && list[0] != 'B')
      bad("each piece list must begin with \"W\" or \"B\", found \"" + list + "\"");
    if (Trim(list.substr(1)).empty()) continue;
    for (const std::string& item : Split(list.substr(1), ',')) {
      const std::string square = Trim(item);
      if (square.empty() || square == "K") bad("empty square in list \"" + list + "\"");
      ++items;
    }
  }
  board = TBoard{};
  ParseFEN(params, fen, board.b, side);
  int placed = 0;
  for (int s = 1; s <= kMaxSquares; ++s)
    if (board.b[s] != kEmpty) ++placed;
  if (placed != items)
    bad(std::to_string(items) + " squares listed but " + std::to_string(placed) + " pieces placed on the " +
        params.Name + " board (unknown or repeated squares)");
}

}  // namespace quorlin::cli
