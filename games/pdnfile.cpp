#include "games/pdnfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/text.h"
#include "games/pdnreader.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// ---------------------------------------------------------------------------
// Tokens of a PDN file.

enum class TokKind { end, tag, comment, open, close, nag, strength, word, error };

struct Token {
  TokKind kind = TokKind::end;
  std::string text;   // tag name, comment, word, strength marks, error reason
  std::string value;  // tag value
  int number = 0;     // NAG number
  int line = 0;
};

class Lexer {
 public:
  explicit Lexer(const std::string& s) : s_(s) {}

  int Line() const { return line_; }

  const Token& Peek() {
    if (!peeked_) {
      peek_ = Read();
      peeked_ = true;
    }
    return peek_;
  }

  Token Next() {
    if (peeked_) {
      peeked_ = false;
      return std::move(peek_);
    }
    return Read();
  }

 private:
  const std::string& s_;
  size_t pos_ = 0;
  int line_ = 1;
  Token peek_;
  bool peeked_ = false;

  bool AtLineStart(size_t p) const { return p == 0 || s_[p - 1] == '\n' || s_[p - 1] == '\r'; }

  void Advance() {
    if (s_[pos_] == '\n') ++line_;
    ++pos_;
  }

  void SkipToLineEnd() {
    while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
  }

  void SkipSpace() {
    for (;;) {
      while (pos_ < s_.size() && IsSpace(s_[pos_])) Advance();
      // "%" at the start of a line escapes the whole line; a UTF-8 byte-order
      // mark at the start of the file is no token.
      if (pos_ < s_.size() && s_[pos_] == '%' && AtLineStart(pos_)) {
        SkipToLineEnd();
        continue;
      }
      if (pos_ == 0 && s_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos_ = 3;
        continue;
      }
      return;
    }
  }

  Token Make(TokKind k, std::string text = {}) {
    Token t;
    t.kind = k;
    t.text = std::move(text);
    t.line = line_;
    return t;
  }

  Token ReadTag() {
    Token t = Make(TokKind::tag);
    Advance();  // '['
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) Advance();
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
      t.text += s_[pos_++];
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) Advance();
    if (t.text.empty() || pos_ >= s_.size() || s_[pos_] != '"') {
      SkipToLineEnd();
      Token e = Make(TokKind::error, "tag pair is not of the form [Name \"value\"]");
      e.number = 1;
      e.line = t.line;
      e.value = t.text;
      return e;
    }
    Advance();  // opening quote
    bool closed = false;
    while (pos_ < s_.size() && s_[pos_] != '\n') {
      const char c = s_[pos_];
      if (c == '\\' && pos_ + 1 < s_.size() && (s_[pos_ + 1] == '"' || s_[pos_ + 1] == '\\')) {
        t.value += s_[pos_ + 1];
        pos_ += 2;
        continue;
      }
      if (c == '"') {
        closed = true;
        ++pos_;
        break;
      }
      if (c != '\r') t.value += c;
      ++pos_;
    }
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) Advance();
    if (!closed || pos_ >= s_.size() || s_[pos_] != ']') {
      SkipToLineEnd();
      Token e = Make(TokKind::error,
                     closed ? "tag pair without its closing ]" : "tag value without its closing quote");
      e.number = 1;
      e.line = t.line;
      e.value = t.text;
      return e;
    }
    ++pos_;
    return t;
  }

  Token ReadComment() {
    Token t = Make(TokKind::comment);
    const size_t close = s_.find('}', pos_ + 1);
    if (close == std::string::npos) {
      // Go on at the next tag line, so that the games after a broken comment
      // are still read.
      Token e = Make(TokKind::error, "comment without its closing brace");
      e.value = "{";
      size_t p = pos_ + 1;
      for (;;) {
        p = s_.find('\n', p);
        if (p == std::string::npos) {
          p = s_.size();
          break;
        }
        ++p;
        if (p < s_.size() && s_[p] == '[') break;
      }
      while (pos_ < p) Advance();
      return e;
    }
    // Line ends inside a comment are layout: each becomes one blank.
    std::string text;
    for (size_t i = pos_ + 1; i < close; ++i) {
      const char c = s_[i];
      if (c == '\r') {
        if (i + 1 < close && s_[i + 1] == '\n') continue;
        text += ' ';
      } else if (c == '\n') {
        text += ' ';
      } else {
        text += c;
      }
    }
    while (pos_ <= close) Advance();
    t.text = Trim(text);
    return t;
  }

  Token Read() {
    SkipSpace();
    if (pos_ >= s_.size()) return Make(TokKind::end);
    const char c = s_[pos_];
    if (c == '[') return ReadTag();
    if (c == '{') return ReadComment();
    if (c == '}') {
      Token e = Make(TokKind::error, "closing brace without an opening one");
      e.value = "}";
      Advance();
      return e;
    }
    if (c == '(') {
      // "(!?)" is a move-strength mark, not a variation.
      size_t p = pos_ + 1;
      while (p < s_.size() && (s_[p] == '!' || s_[p] == '?')) ++p;
      if (p > pos_ + 1 && p < s_.size() && s_[p] == ')') {
        Token t = Make(TokKind::strength, s_.substr(pos_ + 1, p - pos_ - 1));
        pos_ = p + 1;
        return t;
      }
      Advance();
      return Make(TokKind::open, "(");
    }
    if (c == ')') {
      Advance();
      return Make(TokKind::close, ")");
    }
    if (c == '$') {
      Token t = Make(TokKind::nag);
      Advance();
      std::string digits;
      while (pos_ < s_.size() && IsDigit(s_[pos_])) digits += s_[pos_++];
      t.text = "$" + digits;
      t.number = digits.empty() || digits.size() > 6 ? -1 : std::stoi(digits);
      return t;
    }
    if (c == '!' || c == '?') {
      Token t = Make(TokKind::strength);
      while (pos_ < s_.size() && (s_[pos_] == '!' || s_[pos_] == '?')) t.text += s_[pos_++];
      return t;
    }
    Token t = Make(TokKind::word);
    for (;;) {
      while (pos_ < s_.size()) {
        const char d = s_[pos_];
        if (IsSpace(d) || d == '{' || d == '}' || d == '(' || d == ')' || d == '[' || d == '$' || d == '!' ||
            d == '?')
          break;
        t.text += d;
        ++pos_;
      }
      // A move broken after its separator ("1- 7") goes on after blanks on the
      // same line.
      const char last = t.text.back();
      if ((last == '-' || last == 'x' || last == ':') && t.text.size() > 1 && IsDigit(t.text[0])) {
        size_t p = pos_;
        while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t')) ++p;
        if (p > pos_ && p < s_.size() && IsDigit(s_[p])) {
          pos_ = p;
          continue;
        }
      }
      return t;
    }
  }
};

// ---------------------------------------------------------------------------
// Tag values.

// Result code of a result spelling, in the PDN convention (first value for the
// player named by the "White" tag); -1 when the text is no result.
int ResultOfText(const std::string& t) {
  static const struct {
    const char* text;
    int code;
  } kTable[] = {{"1-0", 1},  {"2-0", 1},  {"1:0", 1},  {"2:0", 1},     {"0-1", 3},     {"0-2", 3},
                {"0:1", 3},  {"0:2", 3},  {"1-1", 2},  {"1/2-1/2", 2}, {"1/2:1/2", 2}, {"1:1", 2},
                {"*", 0},    {"1-0t", 4}, {"2-0t", 4}, {"1:0t", 4},    {"2:0t", 4},    {"0-1t", 5},
                {"0-2t", 5}, {"0:1t", 5}, {"0:2t", 5}};
  for (const auto& r : kTable)
    if (t == r.text) return r.code;
  return -1;
}

// Swaps the winner of a result code (PDN "White" is the second mover in
// variants whose first mover is called Black).
int SwapResult(int code) {
  static const int kSwap[] = {0, 3, 2, 1, 5, 4};
  return code >= 0 && code <= 5 ? kSwap[code] : code;
}

bool ParseInt(const std::string& s, int& v) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  v = std::stoi(s);
  return true;
}

// "2009.04.08", "1841-??-??", "????.11.25", "25.11.2000", "2004.10.27 - 2004.11.01".
void ParseDate(const std::string& value, TDateRecord& d) {
  d = {};
  std::vector<std::string> parts;
  std::string cur;
  size_t i = 0;
  for (; i < value.size() && parts.size() < 3; ++i) {
    const char c = value[i];
    if (c == '.' || c == '-' || c == '/') {
      parts.push_back(cur);
      cur.clear();
    } else if (c == ' ') {
      if (!cur.empty()) break;
    } else {
      cur += c;
    }
  }
  if (parts.size() < 3) parts.push_back(cur);
  int a = 0, b = 0, c = 0;
  const bool ha = parts.size() > 0 && ParseInt(parts[0], a);
  const bool hb = parts.size() > 1 && ParseInt(parts[1], b);
  const bool hc = parts.size() > 2 && ParseInt(parts[2], c);
  // A year of four digits, or "????" when only the month and day are known
  // (how a date without its year is written back).
  auto yearField = [&](size_t k, bool parsed) {
    return parts.size() > k && parts[k].size() == 4 && (parsed || parts[k] == "????");
  };
  if (yearField(0, ha)) {
    d.Year = static_cast<uint16_t>(ha ? a : 0);
    if (hb && b >= 1 && b <= 12) d.Month = static_cast<uint8_t>(b);
    if (hc && c >= 1 && c <= 31) d.Day = static_cast<uint8_t>(c);
  } else if (yearField(2, hc)) {
    d.Year = static_cast<uint16_t>(hc ? c : 0);
    if (hb && b >= 1 && b <= 12) d.Month = static_cast<uint8_t>(b);
    if (ha && a >= 1 && a <= 31) d.Day = static_cast<uint8_t>(a);
  }
}

// "3" -> 3; "3.1" -> 3 and sub-round 1; text that is no number gives 0.
void ParseRound(const std::string& value, int32_t& round, int32_t& subround) {
  round = subround = 0;
  const size_t dot = value.find('.');
  int r = 0, s = 0;
  if (ParseInt(value.substr(0, dot), r)) round = r;
  if (dot != std::string::npos && ParseInt(value.substr(dot + 1), s)) subround = s;
}

uint16_t ParseRating(const std::string& value) {
  int v = 0;
  return ParseInt(value, v) && v <= 65535 ? static_cast<uint16_t>(v) : 0;
}

// Strength marks ("!", "?!", ...) as a move mark; an unusual run of marks takes
// the mark of its first two (or first) characters.
int MoveMarkOfStrength(const std::string& s) {
  static const struct {
    const char* text;
    int mark;
  } kTable[] = {{"!!", 1}, {"!", 2}, {"!?", 3}, {"?!", 4}, {"?", 5}, {"??", 6}};
  for (const std::string& t : {s, s.substr(0, 2), s.substr(0, 1)})
    for (const auto& r : kTable)
      if (t == r.text) return r.mark;
  return 0;
}

// ---------------------------------------------------------------------------
// Reading games.

enum class LineEnd { closed, ended, stopped };

class GameReader {
 public:
  GameReader(Lexer& lex, int defaultVariant, TPdnReadReport& report)
      : lex_(lex), defaultVariant_(defaultVariant), report_(report) {}

  // Reads the next game into `game`; false at the end of the text.
  bool ReadGame(TGame& game, int number) {
    game_ = &game;
    number_ = number;
    stopped_ = false;
    terminator_ = -1;
    resultTag_ = -1;
    anyMoveText_ = false;
    tags_.clear();
    bool any = false;
    firstLine_ = 0;
    // Tag section.
    for (;;) {
      const Token& t = lex_.Peek();
      if (t.kind == TokKind::tag) {
        Token tag = lex_.Next();
        if (!firstLine_) firstLine_ = tag.line;
        tags_.emplace_back(tag.text, tag.value);
        any = true;
        continue;
      }
      if (t.kind == TokKind::error && t.number == 1) {
        // A broken tag line: remember it, read the game on.
        Token e = lex_.Next();
        if (!firstLine_) firstLine_ = e.line;
        pendingStops_.push_back({number, e.line, "[" + e.value, e.text});
        any = true;
        continue;
      }
      break;
    }
    if (lex_.Peek().kind == TokKind::end && !any) return false;
    if (!firstLine_) firstLine_ = lex_.Peek().line;
    SetUpGame();
    for (auto& s : pendingStops_) Stop(s.line, s.token, s.reason);
    pendingStops_.clear();
    if (stopped_) {
      SkipRest(0);
    } else {
      TBoard board;
      board.b = game.StartBoard;
      ReadLine(0, board, game.Header.FirstMove);
    }
    if (resultTag_ < 0 || (resultTag_ == 0 && terminator_ > 0)) {
      game.Header.Result = static_cast<uint8_t>(terminator_ > 0 ? terminator_ : 0);
    } else {
      game.Header.Result = static_cast<uint8_t>(resultTag_);
    }
    if (!game.Params.intface.WhiteStart)
      game.Header.Result = static_cast<uint8_t>(SwapResult(game.Header.Result));
    return true;
  }

  bool Stopped() const { return stopped_; }
  bool HasTags() const { return !tags_.empty(); }
  int FirstLine() const { return firstLine_; }

 private:
  Lexer& lex_;
  int defaultVariant_;
  TPdnReadReport& report_;
  TGame* game_ = nullptr;
  int number_ = 0;
  bool stopped_ = false;
  int terminator_ = -1;
  int resultTag_ = -1;
  int firstLine_ = 0;
  std::vector<std::pair<std::string, std::string>> tags_;
  std::vector<TPdnStop> pendingStops_;
  bool anyMoveText_ = false;  // a token of move text was read in this game
  TMvs list_;
  uint8_t count_ = 0;

  const std::string* Tag(const char* name) const {
    for (const auto& [n, v] : tags_)
      if (n == name) return &v;
    return nullptr;
  }

  void Stop(int line, const std::string& token, const std::string& reason) {
    if (stopped_) return;
    stopped_ = true;
    report_.stops.push_back({number_, line, token, reason});
    std::string& c = game_->Comments[0].CommentAft;
    if (!c.empty()) c += ' ';
    // Braces would end the comment that carries this note when it is written as PDN.
    std::string shown = token;
    std::replace(shown.begin(), shown.end(), '{', '(');
    std::replace(shown.begin(), shown.end(), '}', ')');
    c += "Reading stopped at line " + std::to_string(line) + ", \"" + shown + "\": " + reason + ".";
  }

  void SetUpGame() {
    TGame& g = *game_;
    ClearGame(g);
    int variant = defaultVariant_;
    if (const std::string* gt = Tag("GameType")) {
      const int v = VariantOfGameType(*gt);
      if (v == 0) {
        variant = 0;
      } else {
        variant = v;
        // GameType 20 is both International and International Killer: the
        // variant asked for wins when it shares the number.
        if (defaultVariant_ >= 1 && defaultVariant_ <= kVariantCount &&
            VariantTable[defaultVariant_].PDNGameType == VariantTable[v].PDNGameType)
          variant = defaultVariant_;
        if (const std::string* name = Tag("Variant")) {
          const int named = FindVariant(*name);
          if (named > 0 && VariantTable[named].PDNGameType == VariantTable[v].PDNGameType) variant = named;
        }
      }
    } else if (const std::string* name = Tag("Variant")) {
      if (const int named = FindVariant(*name); named > 0) variant = named;
    }
    if (variant < 1 || variant > kVariantCount) {
      g.Params = VariantTable[defaultVariant_ >= 1 && defaultVariant_ <= kVariantCount ? defaultVariant_
                                                                                       : kInternational];
      g.Header.TypeOfGame = static_cast<uint8_t>(g.Params.TypeOfGame);
      g.StartBoard = StartPosition(g.Params, true);
      Stop(firstLine_, "[GameType \"" + *Tag("GameType") + "\"]",
           "the GameType names no variant this program plays");
      return;
    }
    g.Params = VariantTable[variant];
    g.Header.TypeOfGame = static_cast<uint8_t>(variant);
    g.StartBoard = StartPosition(g.Params, true);
    g.Header.FirstMove = TDColor::white;

    const bool swap = !g.Params.intface.WhiteStart;
    auto text = [&](const char* name) -> std::string {
      const std::string* v = Tag(name);
      return v ? *v : std::string();
    };
    g.Tournament = text("Event");
    g.Site = text("Site");
    g.AnnotatorName = text("Annotator");
    g.WhiteName = text(swap ? "Black" : "White");
    g.BlackName = text(swap ? "White" : "Black");
    auto rating = [&](bool pdnWhite) -> uint16_t {
      const char* const names[2][3] = {{"WhiteElo", "WhiteRating", "WhiteRat"},
                                       {"BlackElo", "BlackRating", "BlackRat"}};
      for (const char* n : names[pdnWhite ? 0 : 1])
        if (const std::string* v = Tag(n)) return ParseRating(*v);
      return 0;
    };
    g.Header.White.Rating = rating(!swap);
    g.Header.Black.Rating = rating(swap);
    if (const std::string* d = Tag("Date")) ParseDate(*d, g.Header.Date);
    if (const std::string* r = Tag("Round")) ParseRound(*r, g.Header.Round, g.Header.Subround);
    if (const std::string* r = Tag("Result")) resultTag_ = ResultOfText(Trim(*r));

    if (const std::string* fen = Tag("FEN")) {
      std::string normal, error;
      if (!NormalizeFEN(g.Params, *fen, normal, error)) {
        Stop(firstLine_, "[FEN \"" + *fen + "\"]", error);
        return;
      }
      TBrd cells{};
      int side = 0;
      ParseFEN(g.Params, normal, cells, side);
      g.StartBoard = cells;
      g.Header.FirstMove = side ? TDColor::black : TDColor::white;
    }
  }

  // Skips the rest of a game after a stop: up to its result at the outer level
  // or the next tag pair.
  void SkipRest(int depth) {
    for (;;) {
      const Token& t = lex_.Peek();
      if (t.kind == TokKind::end || t.kind == TokKind::tag) return;
      Token tok = lex_.Next();
      if (tok.kind == TokKind::open) ++depth;
      if (tok.kind == TokKind::close && depth > 0) --depth;
      if (tok.kind == TokKind::word && depth == 0 && pdn::IsResultToken(tok.text)) {
        terminator_ = ResultOfText(tok.text);
        return;
      }
    }
  }

  // A capture written with only some of its landing squares, or with its
  // start and destination alone after other separators: the shortened form
  // must name a legal move, and every square written must be on its path in
  // the order written (so a wrong intermediate square is an error, not a guess).
  int MatchPartialPath(const std::string& w) {
    const TGame& g = *game_;
    const int k = pdn::MatchMoveInList(pdn::ShortenCapture(w), g.Header.TypeOfGame, g.Params, list_, count_);
    if (k == 0) return 0;
    auto split = [](const std::string& s) {
      std::vector<std::string> parts(1);
      for (char c : Lower(s)) {
        if (c == '-' || c == 'x' || c == ':') {
          parts.emplace_back();
        } else {
          parts.back() += c;
        }
      }
      return parts;
    };
    const std::vector<std::string> written = split(w);
    if (written.size() <= 2) return k;
    const TGameParams& p = g.Header.TypeOfGame >= 1 && g.Header.TypeOfGame <= kVariantCount
                               ? VariantTable[g.Header.TypeOfGame]
                               : g.Params;
    std::string path;
    for (int i = 1; i <= count_; ++i) {
      if (list_[i].From() != list_[k].From() || list_[i].To() != list_[k].To()) continue;
      for (int style = 0; style <= 2; ++style) {
        MovePathText(list_[i], p, style, path, false, "x");
        const std::vector<std::string> squares = split(path);
        size_t j = 0;
        for (const std::string& sq : squares)
          if (j < written.size() && sq == written[j]) ++j;
        if (j == written.size() && squares.front() == written.front() && squares.back() == written.back())
          return i;
      }
    }
    return 0;
  }

  // Strips a move number glued to the move ("12.32-28", "5...c3-d4"); true when
  // the word is a move number alone.
  static bool StripMoveNumber(std::string& w) {
    if (w.size() >= 2 && w.find_first_not_of('.') == std::string::npos) return true;  // "..." after a number
    size_t i = 0;
    while (i < w.size() && IsDigit(w[i])) ++i;
    if (i == 0 || i >= w.size() || w[i] != '.') return false;
    while (i < w.size() && w[i] == '.') ++i;
    if (i == w.size()) return true;
    w = w.substr(i);
    return false;
  }

  // One line of move text being read, the main line or a variation.
  struct TLineState {
    int node = 0;  // the move read last (the line's start before any)
    TBoard board;
    TDColor side = TDColor::white;
    // State before the last move read in this line; before any move, the
    // line's own start (a variation branches off there).
    int prevNode = 0;
    TBoard prevBoard;
    TDColor prevSide = TDColor::white;
    int last = -1;  // node of the last move read in this line
    bool afterMove = false;
    // A move number waiting for its move ("1." before a result is a fault).
    std::string pendingNumber;
    int pendingLine = 0;
    std::string before;  // comments waiting for the next move

    TLineState(int n, const TBoard& b, TDColor s)
        : node(n), board(b), side(s), prevNode(n), prevBoard(b), prevSide(s) {}
  };

  // What a token did to the line being read.
  enum class Step { more, open, closed, ended, stopped };

  // Reads the move text of a game from `node` on. Variations are lines of their
  // own kept on a stack, not nested calls: the depth of the parentheses in a
  // file costs memory, never the program's stack.
  LineEnd ReadLine(int node, const TBoard& board, TDColor side) {
    std::vector<TLineState> lines;
    lines.emplace_back(node, board, side);
    for (;;) {
      const int depth = static_cast<int>(lines.size()) - 1;
      switch (ReadToken(lines.back(), depth)) {
        case Step::more:
          break;
        case Step::open: {
          const TLineState& outer = lines.back();
          TLineState variation(outer.prevNode, outer.prevBoard, outer.prevSide);
          lines.push_back(std::move(variation));
          break;
        }
        case Step::closed:
          lines.pop_back();
          lines.back().afterMove = false;
          break;
        case Step::ended:
          return LineEnd::ended;
        case Step::stopped:
          // Every enclosing line skips to where it can go on (the game's end).
          for (int d = depth - 1; d >= 0; --d) SkipRest(d);
          return LineEnd::stopped;
      }
    }
  }

  // Reads one token into the line at nesting `depth`.
  Step ReadToken(TLineState& line, int depth) {
    const Token& peek = lex_.Peek();
    if (peek.kind == TokKind::end || peek.kind == TokKind::tag) return EndOfMoveText(line, depth, peek);
    Token t = lex_.Next();
    anyMoveText_ = true;
    switch (t.kind) {
      case TokKind::comment:
        TakeComment(line, depth, t.text);
        return Step::more;
      case TokKind::nag:
        if (line.last >= 0) pdn::ApplyNAG(t.number, game_->Moves[line.last].comm);
        return Step::more;
      case TokKind::strength:
        TakeStrengthMark(line, t.text);
        return Step::more;
      case TokKind::open:
        FlushBefore(line, depth);
        return Step::open;
      case TokKind::close:
        return CloseVariation(line, depth, t);
      case TokKind::error:
        Stop(t.line, t.value, t.text);
        SkipRest(depth);
        return Step::stopped;
      case TokKind::word:
        return TakeWord(line, depth, t);
      default:
        return Step::more;
    }
  }

  // Comments met before a move that never came go after the line's last move
  // (or to the root comment at the main line's start).
  void FlushBefore(TLineState& line, int depth) {
    if (line.before.empty()) return;
    std::string* c = nullptr;
    if (line.last >= 0) {
      c = &game_->Comments[line.last].CommentAft;
    } else if (depth == 0) {
      c = &game_->Comments[0].CommentAft;
    }
    if (c) *c += c->empty() ? line.before : " " + line.before;
    line.before.clear();
  }

  bool NumberWithoutMove(const TLineState& line) {
    if (line.pendingNumber.empty()) return false;
    Stop(line.pendingLine, line.pendingNumber, "a move number with no move after it");
    return true;
  }

  // The end of the text or the next game's tags.
  Step EndOfMoveText(TLineState& line, int depth, const Token& peek) {
    FlushBefore(line, depth);
    if (NumberWithoutMove(line)) return Step::stopped;
    if (depth > 0) {
      Stop(peek.line, peek.kind == TokKind::end ? "end of file" : "[" + peek.text, "variation not closed");
      return Step::stopped;
    }
    // Games are separated by their results; only the last game of a file may
    // end without one.
    if (peek.kind == TokKind::tag && anyMoveText_) {
      Stop(peek.line, "[" + peek.text, "the game ends without a result before the next tag pair");
      return Step::stopped;
    }
    return Step::ended;
  }

  // A comment right after a move belongs to it; otherwise it waits for the
  // next move (at the main line's start it is the root comment).
  void TakeComment(TLineState& line, int depth, const std::string& text) {
    // An empty comment carries nothing; joined on, it would leave a blank
    // that the comment, written and read again, no longer has.
    if (text.empty()) return;
    std::string* c = nullptr;
    if (line.afterMove) {
      c = &game_->Comments[line.last].CommentAft;
    } else if (line.last < 0 && depth == 0) {
      c = &game_->Comments[0].CommentAft;
    } else {
      line.before += line.before.empty() ? text : " " + text;
      return;
    }
    *c += c->empty() ? text : " " + text;
  }

  void TakeStrengthMark(const TLineState& line, const std::string& text) {
    if (line.last < 0) return;
    const int mark = MoveMarkOfStrength(text);
    uint16_t& comm = game_->Moves[line.last].comm;
    if (mark) comm = static_cast<uint16_t>((comm & ~0x0Fu) | mark);
  }

  Step CloseVariation(TLineState& line, int depth, const Token& t) {
    if (NumberWithoutMove(line)) {
      SkipRest(depth - 1 < 0 ? 0 : depth - 1);
      return Step::stopped;
    }
    if (depth == 0) {
      Stop(t.line, ")", "a variation closed that was never opened");
      SkipRest(0);
      return Step::stopped;
    }
    FlushBefore(line, depth);
    return Step::closed;
  }

  // A move number, a result or a move.
  Step TakeWord(TLineState& line, int depth, const Token& t) {
    std::string w = t.text;
    if (w == ".") {
      Stop(t.line, w, "a stray \".\" where a move was expected");
      SkipRest(depth);
      return Step::stopped;
    }
    if (StripMoveNumber(w)) {
      if (w.find_first_not_of('.') != std::string::npos) {
        line.pendingNumber = w;
        line.pendingLine = t.line;
      } else {
        line.pendingNumber.clear();  // "1. ..." stands for the move of the other side
      }
      return Step::more;
    }
    if (pdn::IsResultToken(w) && NumberWithoutMove(line)) {
      if (depth > 0) SkipRest(depth);
      return Step::stopped;
    }
    line.pendingNumber.clear();
    if (pdn::IsResultToken(w)) {
      if (depth > 0) return Step::more;  // a result inside a variation ends nothing
      FlushBefore(line, depth);
      terminator_ = ResultOfText(w);
      return Step::ended;
    }
    return TakeMove(line, depth, t, w);
  }

  // Finds the move the word names, adds it to the tree and plays it.
  Step TakeMove(TLineState& line, int depth, const Token& t, const std::string& w) {
    TGame& g = *game_;
    int k = pdn::MatchMove(w, g, line.board, line.side, list_, count_);
    if (k == 0) k = MatchPartialPath(w);
    if (k == 0) {
      const bool resultLike = w.find_first_not_of("0123456789-/") == std::string::npos && IsDigit(w[0]);
      Stop(t.line, t.text,
           count_ == 0  ? "the side to move has no legal move"
           : resultLike ? "not a legal move in this position, nor a result PDN knows"
                        : "not a legal move in this position");
      SkipRest(depth);
      return Step::stopped;
    }
    const TMove move = list_[k];
    const int c = AddMove(g, move, line.node);
    if (c == 0) {
      Stop(t.line, t.text, "no room left in the game's move tree");
      SkipRest(depth);
      return Step::stopped;
    }
    line.prevNode = line.node;
    line.prevBoard = line.board;
    line.prevSide = line.side;
    ApplyMove(move, line.board, g.Params);
    line.side = Other(line.side);
    g.Comments[c].CommentBef = std::move(line.before);
    line.before.clear();
    line.node = line.last = c;
    line.afterMove = true;
    return Step::more;
  }
};

}  // namespace

int VariantOfGameType(const std::string& value) {
  const std::string v = Trim(value.substr(0, value.find(',')));
  int n = 0;
  if (!ParseInt(v, n)) return 0;
  for (int slot = 1; slot <= kVariantCount; ++slot)
    if (VariantTable[slot].PDNGameType == n) return slot;
  return 0;
}

bool NormalizeFEN(const TGameParams& params, const std::string& fen, std::string& out, std::string& error) {
  std::string f;
  for (char c : fen)
    if (!IsSpace(c)) f += c;
  while (!f.empty() && f.back() == '.') f.pop_back();
  if (f.size() < 2 || f[1] != ':') {
    error = "the FEN does not start with the side to move (\"W:\" or \"B:\")";
    return false;
  }
  char sideChar = static_cast<char>(std::toupper(static_cast<unsigned char>(f[0])));
  if (sideChar != 'W' && sideChar != 'B') sideChar = 'W';  // unknown side ("?"): the first mover's colour
  out = std::string(1, sideChar);
  std::string rest = f.substr(2);
  size_t start = 0;
  while (start <= rest.size()) {
    size_t colon = rest.find(':', start);
    if (colon == std::string::npos) colon = rest.size();
    std::string list = rest.substr(start, colon - start);
    start = colon + 1;
    while (!list.empty() && list.back() == '.') list.pop_back();
    if (list.empty()) continue;
    const char colour = static_cast<char>(std::toupper(static_cast<unsigned char>(list[0])));
    if (colour != 'W' && colour != 'B') {
      error = "FEN list \"" + list + "\" is led by neither W nor B";
      return false;
    }
    std::string items;
    size_t p = 1;
    while (p <= list.size()) {
      size_t comma = list.find(',', p);
      if (comma == std::string::npos) comma = list.size();
      std::string item = list.substr(p, comma - p);
      p = comma + 1;
      if (item.empty()) continue;
      // "K" marks a king. Files written by hand sometimes use "k" too, but on
      // the boards with a tenth file "k2" is also a square name: there the
      // square wins, as the FEN writer means it.
      std::string king;
      const bool squareOfTenthFile = item[0] == 'k' && FindAlphaSquare(params, item) >= 1;
      if (item[0] == 'K' || (item[0] == 'k' && !squareOfTenthFile)) {
        king = "K";
        item = item.substr(1);
      }
      // A range ("1-12") is checked square by square as it is written out, so
      // a range running off the board ends at its first square outside it
      // instead of being spelled out to its far end first.
      auto takeSquare = [&](const std::string& sq) {
        int v = 0;
        const int s = ParseInt(sq, v) ? FENNumberToSquare(params, v) : FindAlphaSquare(params, Lower(sq));
        if (s < 1 || s > params.compute.BoardSize) {
          error = "FEN square \"" + sq + "\" is not on the board";
          return false;
        }
        if (!items.empty()) items += ',';
        items += king + sq;
        return true;
      };
      const size_t dash = item.find('-');
      int a = 0, b = 0;
      if (dash != std::string::npos && ParseInt(item.substr(0, dash), a) &&
          ParseInt(item.substr(dash + 1), b) && a <= b) {
        for (int64_t v = a; v <= b; ++v)
          if (!takeSquare(std::to_string(v))) return false;
      } else if (!takeSquare(item)) {
        return false;
      }
    }
    out += ':';
    out += colour;
    out += items;
  }
  return true;
}

void ReadPdnText(const std::string& text, int defaultVariant, const TPdnGameSink& sink,
                 TPdnReadReport& report, const TPdnProgress& progress, const TPdnKeepGoing& keepGoing) {
  Lexer lex(text);
  GameReader reader(lex, defaultVariant, report);
  TGame game;
  for (int number = 1;; ++number) {
    if (!reader.ReadGame(game, number)) break;
    if (reader.Stopped())
      ++report.gamesStopped;
    else
      ++report.gamesWhole;
    std::string error;
    if (reader.Stopped() && !reader.HasTags() && game.Header.LastMove == 0) {
      // Nothing of a game was read (text between games that is no game): it is
      // reported, not stored as an empty game.
      report.stops.back().reason += " (no game stored)";
    } else if (sink(game, number, error)) {
      ++report.gamesStored;
    } else {
      report.stops.push_back({number, reader.FirstLine(), "", "the game could not be stored: " + error});
    }
    if (progress && number % kPdnProgressEvery == 0) progress(number, lex.Line());
    if (keepGoing && !keepGoing(number, lex.Line())) break;
  }
}

bool ImportPdnText(const std::string& text, TQuorlinDB& db, int defaultVariant, TPdnReadReport& report,
                   std::string& error, const TPdnProgress& progress, int batchGames,
                   const TPdnKeepGoing& keepGoing) {
  report.gamesBefore = db.DBSize;
  report.databaseWarning = db.Warning;
  if (!BeginBatch(db, batchGames)) {
    error = db.LastError;
    return false;
  }
  ReadPdnText(
      text, defaultVariant,
      [&](TGame& game, int, std::string& err) {
        if (WriteGame(game, 0, db, false)) return true;
        err = db.LastError;
        return false;
      },
      report, progress, keepGoing);
  if (!EndBatch(db)) {
    error = db.LastError;
    return false;
  }
  return true;
}

bool ImportPdnFile(const std::string& pdnPath, const std::string& dbPath, int defaultVariant,
                   TPdnReadReport& report, std::string& error, const TPdnProgress& progress,
                   const TPdnKeepGoing& keepGoing) {
  std::ifstream in(pdnPath, std::ios::binary);
  if (!in) {
    error = "cannot read \"" + pdnPath + "\"";
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  TQuorlinDB db;
  if (!OpenOrCreateDatabase(dbPath, db) || !db.DBOpened) {
    error = "cannot open the database \"" + dbPath + "\": " + db.LastError;
    return false;
  }
  const bool imported =
      ImportPdnText(text, db, defaultVariant, report, error, progress, kImportBatchGames, keepGoing);
  if (!CloseDatabase(db)) {
    error = "cannot close the database \"" + dbPath + "\": " + db.LastError;
    return false;
  }
  return imported;
}

// ---------------------------------------------------------------------------
// Writing games.

namespace {

const TGameParams& TextParams(const TGame& game) {
  const int v = game.Header.TypeOfGame;
  return v >= 1 && v <= kVariantCount ? VariantTable[v] : game.Params;
}

bool SameMoveExactly(const TMove& a, const TMove& b) { return a.lt == b.lt && a.mv == b.mv; }

std::string EscapeTag(const std::string& v) {
  std::string out;
  for (char c : v) {
    if (c == '"' || c == '\\') out += '\\';
    out += (c == '\n' || c == '\r') ? ' ' : c;
  }
  return out;
}

std::string CommentText(const std::string& c) {
  std::string out = c;
  std::replace(out.begin(), out.end(), '}', ')');  // a brace would end the comment early
  return out;
}

// NAG of a move mark and of a position mark (0 = none).
int NagOfMoveMark(int m) {
  static const int k[] = {0, 3, 1, 5, 6, 2, 4};
  return m >= 0 && m <= 6 ? k[m] : 0;
}
int NagOfPositionMark(int m) {
  static const int k[] = {0, 16, 14, 10, 15, 17, 0, 13};
  return m >= 0 && m <= 7 ? k[m] : 0;
}

class PdnWriter {
 public:
  PdnWriter(const TGame& g, TMarkForm marks) : g_(g), marks_(marks) {}

  const std::string& Text() const { return out_; }

  void MoveText() {
    if (!g_.Comments.empty() && !g_.Comments[0].CommentAft.empty())
      Emit("{" + CommentText(g_.Comments[0].CommentAft) + "}");
    TBoard board;
    board.b = g_.StartBoard;
    const int h0 = (g_.Header.FirstMove == TDColor::black ? 1 : 0) + g_.Header.NumerationFrom;
    WriteLines(board, h0);
  }

  // Words joined by single blanks; Wrap breaks the lines afterwards.
  void Emit(const std::string& word) {
    if (!out_.empty()) out_ += ' ';
    out_ += word;
  }

  // Lines of at most 79 characters where possible: a blank becomes a line end
  // (readers take a line end inside a comment back as one blank). Never before
  // "%", which would escape the line.
  static std::string Wrap(std::string s) {
    size_t lineStart = 0, lastBlank = std::string::npos;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == ' ' && (i + 1 >= s.size() || s[i + 1] != '%')) lastBlank = i;
      if (i - lineStart >= 79 && lastBlank != std::string::npos && lastBlank > lineStart) {
        s[lastBlank] = '\n';
        lineStart = lastBlank + 1;
        lastBlank = std::string::npos;
      }
    }
    return s;
  }

 private:
  const TGame& g_;
  const TMarkForm marks_;
  std::string out_;

  // Writes the move of `node` (played from board/side) with its texts.
  void WriteMove(int node, const TBoard& board, TDColor side, int h, bool needNumber) {
    const TMove& m = g_.Moves[node];
    const TComment& c = g_.Comments[node];
    if (!c.CommentBef.empty()) {
      Emit("{" + CommentText(c.CommentBef) + "}");
      needNumber = true;
    }
    const int number = h / 2 + 1;
    if (h % 2 == 0)
      Emit(std::to_string(number) + ".");
    else if (needNumber)
      Emit(std::to_string(number) + "...");
    const int moveMark = m.comm & 0x0F, positionMark = (m.comm >> 4) & 0x0F;
    if (marks_ == TMarkForm::symbols) {
      Emit(PdnMoveText(g_, m, board, side) + MoveMarkSymbol(moveMark));
      if (positionMark) Emit(Trim(PositionMarkSymbol(positionMark)));
    } else {
      Emit(PdnMoveText(g_, m, board, side));
      if (const int n = NagOfMoveMark(moveMark)) Emit("$" + std::to_string(n));
      if (const int n = NagOfPositionMark(positionMark)) Emit("$" + std::to_string(n));
    }
    if (!c.CommentAft.empty()) Emit("{" + CommentText(c.CommentAft) + "}");
  }

  // A line being written: its last move written (the line's start before any),
  // the position after it, the half-move number of the next move, and how far
  // the alternatives to the next main move have been written.
  struct TLine {
    int node;
    TBoard board;
    TDColor side;
    int h;
    int alternative;  // 0: the main move is not written yet; k: next alternative k
  };

  // Writes the main line from the root and, beside each move, its alternatives
  // in parentheses, each of them in the same way. The lines inside each other
  // are kept on a stack: a deep tree costs memory, never the program's stack.
  void WriteLines(const TBoard& start, int h0) {
    std::vector<TLine> lines{TLine{0, start, g_.Header.FirstMove, h0, 0}};
    bool needNumber = true;
    TChildList children;
    while (!lines.empty()) {
      TLine& line = lines.back();
      const int count = GetChildren(g_, line.node, children);
      if (line.alternative == 0) {
        if (count == 0) {  // the line ends
          lines.pop_back();
          if (!lines.empty()) {
            Emit(")");
            needNumber = true;
          }
          continue;
        }
        WriteMove(children[0], line.board, line.side, line.h, needNumber);
        needNumber = !g_.Comments[children[0]].CommentAft.empty();
        line.alternative = 1;
      }
      if (line.alternative < count) {
        const int child = children[line.alternative++];
        Emit("(");
        WriteMove(child, line.board, line.side, line.h, true);
        TBoard after = line.board;
        ApplyMove(g_.Moves[child], after, g_.Params);
        needNumber = !g_.Comments[child].CommentAft.empty();
        TLine variation{child, after, Other(line.side), line.h + 1, 0};
        lines.push_back(std::move(variation));
        continue;
      }
      ApplyMove(g_.Moves[children[0]], line.board, g_.Params);
      line.side = Other(line.side);
      ++line.h;
      line.node = children[0];
      line.alternative = 0;
    }
  }
};

const char* ResultTagText(const TGame& g, int code) {
  const bool big = g.Params.compute.BoardSize >= 50;
  switch (code) {
    case 1:
      return big ? "2-0" : "1-0";
    case 2:
      return big ? "1-1" : "1/2-1/2";
    case 3:
      return big ? "0-2" : "0-1";
    case 4:
      return big ? "2-0t" : "1-0t";
    case 5:
      return big ? "0-2t" : "0-1t";
    default:
      return "*";
  }
}

}  // namespace

std::string PdnMoveText(const TGame& game, const TMove& move, const TBoard& board, TDColor side) {
  const TGameParams& p = TextParams(game);
  const bool alpha = p.intface.Notation == 0;
  const int shortStyle = alpha ? kStyleFull : kStyleShort;
  TMvs list;
  uint8_t count = 0;
  GenerateMoveList(board, static_cast<int>(side), list, count, game.Params, false);
  std::string candidates[4];
  MoveToText(move, p, shortStyle, candidates[0], false, "x");
  MovePathText(move, p, shortStyle, candidates[1], false, "x");
  MovePathText(move, p, kStyleExtended, candidates[2], false, "x");
  MoveCaptureListText(move, p, candidates[3], false);
  for (const std::string& c : candidates) {
    const int k = pdn::MatchMoveInList(c, game.Header.TypeOfGame, game.Params, list, count);
    if (k > 0 && SameMoveExactly(list[k], move)) return c;
  }
  return candidates[1];
}

std::string GameToPdn(const TGame& g) {
  std::string out;
  const bool swap = !g.Params.intface.WhiteStart;
  auto tag = [&](const char* name, const std::string& value) {
    out += "[";
    out += name;
    out += " \"" + EscapeTag(value) + "\"]\n";
  };
  tag("Event", g.Tournament);
  tag("Site", g.Site);
  char date[64];
  auto part = [](int v, int width) {
    if (v == 0) return std::string(width, '?');
    char b[8];
    std::snprintf(b, sizeof b, "%0*d", width, v);
    return std::string(b);
  };
  std::snprintf(date, sizeof date, "%s.%s.%s", part(g.Header.Date.Year, 4).c_str(),
                part(g.Header.Date.Month, 2).c_str(), part(g.Header.Date.Day, 2).c_str());
  tag("Date", date);
  std::string round = g.Header.Round ? std::to_string(g.Header.Round) : "-";
  if (g.Header.Subround) round += "." + std::to_string(g.Header.Subround);
  tag("Round", round);
  tag("White", swap ? g.BlackName : g.WhiteName);
  tag("Black", swap ? g.WhiteName : g.BlackName);
  const int pdnResult = swap ? SwapResult(g.Header.Result) : g.Header.Result;
  tag("Result", ResultTagText(g, pdnResult));
  const int v = g.Header.TypeOfGame;
  tag("GameType", std::to_string(g.Params.PDNGameType));
  if (v >= 1 && v <= kVariantCount && VariantOfGameType(std::to_string(g.Params.PDNGameType)) != v)
    tag("Variant", VariantTable[v].Name);
  if (!g.AnnotatorName.empty()) tag("Annotator", g.AnnotatorName);
  const uint16_t pdnWhiteElo = swap ? g.Header.Black.Rating : g.Header.White.Rating;
  const uint16_t pdnBlackElo = swap ? g.Header.White.Rating : g.Header.Black.Rating;
  if (pdnWhiteElo) tag("WhiteElo", std::to_string(pdnWhiteElo));
  if (pdnBlackElo) tag("BlackElo", std::to_string(pdnBlackElo));
  if (g.StartBoard != StartPosition(g.Params, true) || g.Header.FirstMove != TDColor::white) {
    tag("SetUp", "1");
    tag("FEN", WriteFEN(g.Params, g.StartBoard, static_cast<int>(g.Header.FirstMove)));
  }
  out += "\n";
  PdnWriter writer(g, TMarkForm::nags);
  writer.MoveText();
  writer.Emit(ResultTagText(g, pdnResult));
  out += PdnWriter::Wrap(writer.Text());
  out += "\n\n";
  return out;
}

std::string GameMoveText(const TGame& g, TMarkForm marks) {
  PdnWriter writer(g, marks);
  writer.MoveText();
  return PdnWriter::Wrap(writer.Text());
}

namespace {

// Compares the trees below the roots, alternatives in order, depth first as
// the moves are written. Lines still to compare wait on a stack (a deep tree
// costs memory, never the program's stack).
std::string TreeDifference(const TGame& a, const TGame& b) {
  struct TPending {
    int na, nb, depth;
  };
  std::vector<TPending> pending{{0, 0, 0}};
  TChildList ca, cb;
  while (!pending.empty()) {
    const TPending p = pending.back();
    pending.pop_back();
    const int ka = GetChildren(a, p.na, ca), kb = GetChildren(b, p.nb, cb);
    if (ka != kb)
      return "node " + std::to_string(p.na) + ": " + std::to_string(ka) + " against " + std::to_string(kb) +
             " continuations";
    if (ka == 0) continue;
    for (int i = 0; i < ka; ++i) {
      const TMove& ma = a.Moves[ca[i]];
      const TMove& mb = b.Moves[cb[i]];
      const TComment& ta = a.Comments[ca[i]];
      const TComment& tb = b.Comments[cb[i]];
      const std::string where =
          "node " + std::to_string(ca[i]) + " (ply " + std::to_string(p.depth + 1) + ")";
      if (ma.lt != mb.lt || ma.mv != mb.mv) return where + ": different move";
      if (ma.comm != mb.comm)
        return where + ": annotation " + std::to_string(ma.comm) + " against " + std::to_string(mb.comm);
      if (ta.CommentBef != tb.CommentBef)
        return where + ": comment before \"" + ta.CommentBef + "\" against \"" + tb.CommentBef + "\"";
      if (ta.CommentAft != tb.CommentAft)
        return where + ": comment after \"" + ta.CommentAft + "\" against \"" + tb.CommentAft + "\"";
    }
    // The main continuation after the alternatives, which come in their order.
    pending.push_back({ca[0], cb[0], p.depth + 1});
    for (int i = ka - 1; i >= 1; --i) pending.push_back({ca[i], cb[i], p.depth + 1});
  }
  return {};
}

}  // namespace

std::string GameDifference(const TGame& a, const TGame& b) {
  auto text = [](const char* what, const std::string& x, const std::string& y) {
    return x == y ? std::string() : std::string(what) + " \"" + x + "\" against \"" + y + "\"";
  };
  auto number = [](const char* what, long x, long y) {
    return x == y ? std::string()
                  : std::string(what) + " " + std::to_string(x) + " against " + std::to_string(y);
  };
  const TGameHeader& ha = a.Header;
  const TGameHeader& hb = b.Header;
  for (const std::string& d :
       {text("White", a.WhiteName, b.WhiteName), text("Black", a.BlackName, b.BlackName),
        text("Event", a.Tournament, b.Tournament), text("Site", a.Site, b.Site),
        text("Annotator", a.AnnotatorName, b.AnnotatorName), number("year", ha.Date.Year, hb.Date.Year),
        number("month", ha.Date.Month, hb.Date.Month), number("day", ha.Date.Day, hb.Date.Day),
        number("round", ha.Round, hb.Round), number("subround", ha.Subround, hb.Subround),
        number("result", ha.Result, hb.Result), number("variant", ha.TypeOfGame, hb.TypeOfGame),
        number("first move", static_cast<int>(ha.FirstMove), static_cast<int>(hb.FirstMove)),
        number("White rating", ha.White.Rating, hb.White.Rating),
        number("Black rating", ha.Black.Rating, hb.Black.Rating),
        std::string(a.StartBoard == b.StartBoard ? "" : "start position differs"),
        text("root comment", a.Comments[0].CommentAft, b.Comments[0].CommentAft)}) {
    if (!d.empty()) return d;
  }
  return TreeDifference(a, b);
}

}  // namespace quorlin
