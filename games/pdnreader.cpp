#include "games/pdnreader.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "common/text.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin {
namespace pdn {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsSeparator(char c) { return c == '-' || c == 'x' || c == ':'; }

}  // namespace

std::string NextToken(std::string& text) {
  TrimInPlace(text);
  size_t blank = 0;
  while (blank < text.size() && !IsBlankOrControl(text[blank])) ++blank;
  std::string token;
  if (blank == text.size()) {
    token.swap(text);
    text.clear();
  } else if (text[0] == '(') {
    token.assign(1, '(');
    text.erase(0, 1);
  } else {
    token = text.substr(0, blank);
    text.erase(0, blank + 1);
  }
  return token;
}

bool IsMoveNumber(std::string& token) {
  bool all = true;
  for (char c : token) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.')) {
      all = false;
      break;
    }
  }
  if (all) return true;
  // "12.c3-d4" and "12...c3-d4" both leave "c3-d4": the dots after the
  // first one belong to the number.
  size_t dot = token.find('.');
  if (dot != std::string::npos) {
    while (dot < token.size() && token[dot] == '.') ++dot;
    token = token.substr(dot);
  }
  return false;
}

bool IsResultToken(const std::string& t) {
  static const char* const kResults[] = {"1:0",  "1-0",  "2:0",  "2-0",  "1/2:1/2", "1/2-1/2", "1:1",
                                         "1-1",  "0:1",  "0-1",  "0:2",  "0-2",     "1:0t",    "1-0t",
                                         "0:1t", "0-1t", "2:0t", "2-0t", "0:2t",    "0-2t",    "*"};
  for (const char* r : kResults)
    if (t == r) return true;
  return false;
}

std::string ShortenCapture(const std::string& token) {
  size_t first = std::string::npos, last = std::string::npos;
  for (size_t i = 0; i < token.size(); ++i) {
    if (!IsSeparator(token[i])) continue;
    if (first == std::string::npos) first = i;
    last = i;
  }
  if (first == std::string::npos) return token;
  return token.substr(0, first) + "-" + token.substr(last + 1);
}

std::string ReadComments(std::string& text) {
  std::string result;
  for (;;) {
    TrimInPlace(text);
    if (text.empty() || text[0] != '{') return result;
    int depth = 1;
    size_t i = 1;
    for (; i < text.size(); ++i) {
      if (text[i] == '{') ++depth;
      if (text[i] == '}' && --depth == 0) break;
    }
    result += Trim(text.substr(1, i - 1));
    text.erase(0, i < text.size() ? i + 1 : text.size());
  }
}

bool ApplyNAG(int n, uint16_t& comm) {
  int moveMark = -1, positionMark = -1;
  switch (n) {
    case 1:
      moveMark = 2;
      break;
    case 2:
      moveMark = 5;
      break;
    case 3:
      moveMark = 1;
      break;
    case 4:
      moveMark = 6;
      break;
    case 5:
      moveMark = 3;
      break;
    case 6:
      moveMark = 4;
      break;
    case 10:
      positionMark = 3;
      break;
    case 13:
      positionMark = 7;
      break;
    case 14:
      positionMark = 2;
      break;
    case 15:
      positionMark = 4;
      break;
    case 16:
      positionMark = 1;
      break;
    case 17:
      positionMark = 5;
      break;
    case 18:
      positionMark = 1;
      break;
    default:
      return false;
  }
  if (moveMark >= 0) comm = static_cast<uint16_t>((comm & ~0x0Fu) | moveMark);
  if (positionMark >= 0) comm = static_cast<uint16_t>((comm & ~0xF0u) | (positionMark << 4));
  return true;
}

uint16_t ReadNAGs(std::string& text) {
  uint16_t code = 0;
  for (;;) {
    TrimInPlace(text);
    if (text.empty() || text[0] != '$') return code;
    size_t blank = 0;
    while (blank < text.size() && !IsBlankOrControl(text[blank])) ++blank;
    const std::string digits = text.substr(1, blank - 1);
    text.erase(0, blank);
    int n = 0;
    bool number = !digits.empty() && digits.size() < 9;
    for (char c : digits) number = number && std::isdigit(static_cast<unsigned char>(c));
    if (number) n = std::atoi(digits.c_str());
    ApplyNAG(n, code);
  }
}

int SquareByName(const std::string& name) {
  const std::string n = Lower(name);
  std::string s;
  for (int i = 1; i <= 32; ++i) {
    SquareToText(i, VariantTable[kRussian], kStyleExtended, s, false);
    if (s == n) return i;
  }
  return 0;
}

void ApplyOpeningPrefix(std::string& text, TGame& game, TBoard& board) {
  std::string t1 = NextToken(text);
  std::string t2 = NextToken(text);
  auto qualifies = [](const std::string& t) { return t == "-" || (t.size() == 5 && t[2] == '>'); };
  auto putBack = [&] {
    std::string rest = t1 + " " + t2 + " " + text;
    text.swap(rest);
  };
  if (!qualifies(t1) || !qualifies(t2)) {
    putBack();
    return;
  }
  // Every square named must exist before anything is moved, so that a prefix
  // with a typing error leaves the position as it was.
  int from1 = 0, to1 = 0, from2 = 0, to2 = 0;
  if (t1 != "-") {
    from1 = SquareByName(t1.substr(0, 2));
    to1 = SquareByName(t1.substr(3, 2));
    if (!from1 || !to1) return putBack();
  }
  if (t2 != "-") {
    from2 = SquareByName(t2.substr(0, 2));
    to2 = SquareByName(t2.substr(3, 2));
    if (!from2 || !to2) return putBack();
  }
  if (from1) {
    board.b[to1] = kWhiteMan;
    board.b[from1] = kEmpty;
  }
  if (from2) {
    board.b[to2] = kBlackMan;
    if (board.b[from2] < 0) board.b[from2] = kEmpty;
  }
  game.StartBoard = board.b;
}

int MatchMoveInList(const std::string& token, int typeOfGame, const TGameParams& gameParams, const TMvs& list,
                    int count) {
  const std::string t = Lower(Trim(token));
  if (t.empty() || count <= 0) return 0;
  static const std::string kX = "x", kColon = ":", kDash = "-", kNone;
  std::string s;
  int v = typeOfGame;
  for (;;) {
    const TGameParams& p = (v >= 1 && v <= kVariantCount) ? VariantTable[v] : gameParams;
    for (int style = 0; style <= 2; ++style) {
      for (int k = 1; k <= count; ++k) {
        MoveToText(list[k], p, style, s, false, kX);
        if (s == t) return k;
      }
    }
    for (int k = 1; k <= count; ++k) {
      MovePathText(list[k], p, 1, s, false, kX);
      if (s == t) return k;
    }
    for (int k = 1; k <= count; ++k) {
      const TMove& m = list[k];
      MoveCaptureListText(m, p, s, false);
      if (s == t) return k;
      for (const std::string* sep : {&kX, &kColon}) {
        for (int style = 0; style <= 2; ++style) {
          MovePathText(m, p, style, s, false, *sep);
          if (s == t) return k;
        }
      }
      for (const std::string* sep : {&kDash, &kColon, &kNone}) {
        for (int style = 0; style <= 2; ++style) {
          MoveToText(m, p, style, s, false, *sep);
          if (s == t) return k;
        }
      }
    }
    if (v != kPool) return 0;
    v = kRussian;
  }
}

int MatchMove(const std::string& token, const TGame& game, const TBoard& board, TDColor side, TMvs& list,
              uint8_t& count) {
  GenerateMoveList(board, static_cast<int>(side), list, count, game.Params, /*dedupe=*/false);
  return MatchMoveInList(token, game.Header.TypeOfGame, game.Params, list, count);
}

}  // namespace pdn

namespace {

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

bool IsCloser(const std::string& t) { return t == ")" || t == "*)" || t == "1-0*)" || t == "1-0)"; }

struct TMoveTextReader {
  std::string& text;
  TGame& game;
  bool& stopFlag;
  TMvs list;
  uint8_t count = 0;

  // One line being read (the main line or a variation): the node reached, its
  // position, and the state before the last move read in the line; before any
  // move, the line's own start (where a variation then branches off).
  struct TLine {
    int node;
    TBoard board;
    TDColor side;
    int prevNode;
    TBoard prevBoard;
    TDColor prevSide;
  };

  // Puts the token and the unread rest where the user sees it and stops every
  // line; the enclosing lines still take parentheses and comments off the text
  // up to their next move token.
  void Stop(int node, const std::string& token) {
    game.Comments[node].CommentAft += "* " + token + " " + text;
    stopFlag = true;
  }

  // The next token that is not a move number, or "" at the end of the text.
  std::string NextMoveToken() {
    for (;;) {
      if (TrimView(text).empty()) return {};
      std::string token = pdn::NextToken(text);
      if (!pdn::IsMoveNumber(token)) return token;
    }
  }

  // Position in `list` of the move the token names (also in its shortened
  // capture form); 0 when none, -1 for a result token (skipped).
  int FindMove(const std::string& token, const TLine& line) {
    const int k = pdn::MatchMove(token, game, line.board, line.side, list, count);
    if (k != 0) return k;
    if (pdn::IsResultToken(token)) return -1;
    return pdn::MatchMove(pdn::ShortenCapture(token), game, line.board, line.side, list, count);
  }

  // Adds and plays the move, with the comments before it and the comments and
  // annotations after it; false when the tree has no room.
  bool PlayMove(const TMove& move, TLine& line, std::string before) {
    const int c = AddMove(game, move, line.node);
    if (c == 0) return false;
    line.prevNode = line.node;
    line.prevBoard = line.board;
    line.prevSide = line.side;
    ApplyMove(move, line.board, game.Params);
    line.side = Other(line.side);
    TComment& comment = game.Comments[c];
    comment.CommentBef = std::move(before);
    comment.CommentAft = pdn::ReadComments(text);
    comment.CommentAdd.clear();
    game.Moves[c].comm = pdn::ReadNAGs(text);
    line.node = c;
    return true;
  }

  // Reads the lines from `node` on. A variation is a line of its own on a
  // stack, not a nested call: deep parentheses cost memory, never the stack.
  void ReadLines(int node, const TBoard& board, TDColor side) {
    std::vector<TLine> lines{TLine{node, board, side, node, board, side}};
    while (!lines.empty()) {
      TLine& line = lines.back();
      std::string before = pdn::ReadComments(text);
      const std::string token = NextMoveToken();
      if (token.empty() || IsCloser(token)) {  // the line ends
        lines.pop_back();
        continue;
      }
      if (token == "(") {  // an alternative to the line's last move
        TLine variation{line.prevNode, line.prevBoard, line.prevSide,
                        line.prevNode, line.prevBoard, line.prevSide};
        lines.push_back(std::move(variation));
        continue;
      }
      if (stopFlag) {
        lines.pop_back();
        continue;
      }
      const int k = FindMove(token, line);
      if (k < 0) continue;
      if (k == 0 || !PlayMove(list[k], line, std::move(before))) {
        Stop(line.node, token);
        lines.pop_back();
      }
    }
  }
};

}  // namespace

void ReadMoveText(std::string& text, TGame& game, bool& stopFlag) {
  TBoard board;
  board.b = game.StartBoard;
  const TDColor side = game.Header.FirstMove;
  pdn::ApplyOpeningPrefix(text, game, board);
  TMoveTextReader reader{text, game, stopFlag, {}, 0};
  reader.ReadLines(0, board, side);
}

}  // namespace quorlin
