#include "app/wiremove.h"

#include <algorithm>
#include <cctype>

#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"

namespace quorlin {

namespace {

// The standard numbering of the 10x10 programs is notation kind 1.
constexpr int kWireNotation = 1;

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Captured squares of a generated move in capture order.
std::vector<int> CapturedSquares(const TMove& m) {
  std::vector<int> out;
  for (int i = 1; i <= m.lt; ++i) out.push_back(m.mv[2 * i - 1]);
  return out;
}

}  // namespace

int WireSquare(const TGameParams& params, int square) {
  return NotationNumber(params, square, kWireNotation);
}

int InternalSquare(const TGameParams& params, int number) {
  if (number < 1 || number > params.compute.BoardSize) return 0;
  return FENNumberToSquare(params, number);
}

TWireMove ToWireMove(const TMove& move, const TGameParams& params) {
  TWireMove w;
  w.from = WireSquare(params, move.From());
  w.to = WireSquare(params, move.To());
  for (int sq : CapturedSquares(move)) w.captured.push_back(WireSquare(params, sq));
  return w;
}

std::string WireMoveText(const TWireMove& move) {
  if (move.captured.empty()) return std::to_string(move.from) + "-" + std::to_string(move.to);
  std::string s = std::to_string(move.from) + "x" + std::to_string(move.to);
  for (int c : move.captured) {
    s += 'x';
    s += std::to_string(c);
  }
  return s;
}

bool ParseWireMoveText(const std::string& text, TWireMove& move, std::string& error) {
  move = TWireMove{};
  std::vector<std::string> parts;
  std::string cur;
  for (char c : text) {
    if (c == '-' || c == 'x' || c == 'X' || c == ':') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  if (parts.size() < 2) {
    error = "move \"" + text + "\": expected squares joined by '-' or 'x', such as 32-28 or 28x19x23";
    return false;
  }
  std::vector<int> numbers;
  for (const std::string& p : parts) {
    if (!AllDigits(p) || p.size() > 3) {
      error = "move \"" + text + "\": \"" + p + "\" is not a square number";
      return false;
    }
    numbers.push_back(std::stoi(p));
  }
  // Two squares name a quiet move or a capture whose captured squares are not
  // given (a position never has both kinds: capturing is compulsory); more
  // squares name a capture.
  move.from = numbers[0];
  move.to = numbers[1];
  move.captured.assign(numbers.begin() + 2, numbers.end());
  return true;
}

TWireMatch MatchWireMove(const TWireMove& wire, const TBoard& board, TDColor side,
                         const TGameParams& params) {
  TWireMatch result;
  const int from = InternalSquare(params, wire.from);
  const int to = InternalSquare(params, wire.to);
  std::vector<int> given;
  for (int c : wire.captured) {
    const int sq = InternalSquare(params, c);
    if (sq == 0 || std::find(given.begin(), given.end(), sq) != given.end()) return result;
    given.push_back(sq);
  }
  if (from == 0 || to == 0) return result;
  std::sort(given.begin(), given.end());

  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, static_cast<int>(side), list, count, params, true);
  std::vector<TMove> partial;
  for (int i = 1; i <= count; ++i) {
    const TMove& m = list[i];
    if (m.From() != from || m.To() != to) continue;
    std::vector<int> caps = CapturedSquares(m);
    std::sort(caps.begin(), caps.end());
    if (caps == given) {
      result.kind = TWireMatchKind::Found;
      result.move = m;
      return result;
    }
    if (!caps.empty() && given.size() < caps.size() &&
        std::includes(caps.begin(), caps.end(), given.begin(), given.end()))
      partial.push_back(m);
  }
  if (partial.size() == 1) {
    result.kind = TWireMatchKind::Found;
    result.move = partial[0];
  } else if (partial.size() > 1) {
    result.kind = TWireMatchKind::Ambiguous;
    result.candidates = partial;
  }
  return result;
}

std::string WireMatchProblem(const TWireMatch& match, const TWireMove& wire, const TGameParams& params) {
  switch (match.kind) {
    case TWireMatchKind::Found:
      return "";
    case TWireMatchKind::NotLegal:
      return "illegal move " + WireMoveText(wire);
    case TWireMatchKind::Ambiguous: {
      // Only captures can be ambiguous: written as one even without its captured squares.
      std::string given = WireMoveText(wire);
      if (wire.captured.empty()) given = std::to_string(wire.from) + "x" + std::to_string(wire.to);
      std::string s = "ambiguous move " + given + ": it fits";
      for (size_t i = 0; i < match.candidates.size(); ++i)
        s += (i == 0                             ? " "
              : i + 1 == match.candidates.size() ? " and "
                                                 : ", ") +
             WireMoveText(ToWireMove(match.candidates[i], params));
      return s;
    }
  }
  return "";
}

}  // namespace quorlin
