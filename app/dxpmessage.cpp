#include "app/dxpmessage.h"

#include <algorithm>
#include <cctype>

#include "app/wiremove.h"
#include "common/text.h"

namespace quorlin {

namespace {

const TGameParams& Board10() { return VariantTable[kInternational]; }

std::string Printable(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
  return out;
}

std::string Number(long long n, int width) {
  long long max = 1;
  for (int i = 0; i < width; ++i) max *= 10;
  n = std::clamp(n, 0LL, max - 1);
  std::string s = std::to_string(n);
  return std::string(width - s.size(), '0') + s;
}

std::string Name(const std::string& name) {
  std::string s = Printable(name).substr(0, kDxpNameWidth);
  return s + std::string(kDxpNameWidth - s.size(), ' ');
}

std::string Colour(char c) { return std::string(1, c == 'Z' ? 'Z' : 'W'); }

std::string TrimRight(const std::string& s) { return std::string(TrimRightView(s, " ")); }

// Reads the fixed-width fields of one message, left to right; the first
// failure is kept with the field's name.
class TFieldReader {
 public:
  TFieldReader(const std::string& text, const char* what) : text_(text), what_(what) {}

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  size_t Left() const { return pos_ < text_.size() ? text_.size() - pos_ : 0; }

  std::string Take(size_t width, const char* field) {
    if (!Ok()) return {};
    if (Left() < width) {
      Fail(std::string(field) + " is missing: the message ends after " + std::to_string(text_.size()) +
           " characters");
      return {};
    }
    std::string s = text_.substr(pos_, width);
    pos_ += width;
    return s;
  }

  int Digits(size_t width, const char* field, int min, int max) {
    const std::string s = Take(width, field);
    if (!Ok()) return 0;
    if (!std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); })) {
      Fail(std::string(field) + " \"" + s + "\": expected " + std::to_string(width) + " digits");
      return 0;
    }
    const int v = std::stoi(s);
    if (v < min || v > max) {
      Fail(std::string(field) + " " + s + ": expected " + std::to_string(min) + ".." + std::to_string(max));
      return 0;
    }
    return v;
  }

  char OneOf(const char* field, const std::string& allowed) {
    const std::string s = Take(1, field);
    if (!Ok()) return 0;
    if (allowed.find(s[0]) == std::string::npos) {
      std::string list;
      for (char c : allowed) list += std::string(list.empty() ? "" : " or ") + "'" + c + "'";
      Fail(std::string(field) + " '" + Printable(s) + "': expected " + list);
      return 0;
    }
    return s[0];
  }

  void End() {
    if (Ok() && Left() > 0)
      Fail(std::to_string(Left()) + " characters more than the message holds (\"" +
           Printable(text_.substr(pos_, 20)) + "\")");
  }

  void Fail(const std::string& why) {
    if (error_.empty()) error_ = std::string(what_) + ": " + why;
  }

 private:
  const std::string& text_;
  const char* what_;
  size_t pos_ = 1;  // after the type character
  std::string error_;
};

// The end of a decoder: nothing may follow the last field; the message is
// set only when every field was read.
template <class T>
bool Finish(TFieldReader& in, const T& value, TDxpMessage& message, std::string& error) {
  in.End();
  if (!in.Ok()) {
    error = in.Error();
    return false;
  }
  message = value;
  return true;
}

}  // namespace

char DxpType(const TDxpMessage& message) {
  static constexpr char kTypes[] = {'R', 'A', 'M', 'E', 'C', 'B', 'K'};
  return kTypes[message.index()];
}

std::string EncodeDxp(const TDxpMessage& message) {
  std::string s(1, DxpType(message));
  if (const auto* r = std::get_if<TDxpGameRequest>(&message)) {
    s += Number(r->version, 2) + Name(r->initiatorName) + Colour(r->followerColour) + Number(r->minutes, 3) +
         Number(r->moves, 3);
    if (!r->setup) {
      s += "A";
    } else {
      std::string squares = r->squares.substr(0, 50);
      squares += std::string(50 - squares.size(), 'e');
      for (char& c : squares)
        if (std::string("ewzWZ").find(c) == std::string::npos) c = 'e';
      s += 'B';
      s += Colour(r->sideToMove);
      s += squares;
    }
  } else if (const auto* a = std::get_if<TDxpGameAccept>(&message)) {
    s += Name(a->followerName) +
         std::string(1, std::isdigit(static_cast<unsigned char>(a->code)) ? a->code : '2');
  } else if (const auto* m = std::get_if<TDxpMove>(&message)) {
    const size_t n = std::min<size_t>(m->captured.size(), 99);
    s += Number(m->seconds, 4) + Number(m->from, 2) + Number(m->to, 2) + Number(static_cast<long long>(n), 2);
    for (size_t i = 0; i < n; ++i) s += Number(m->captured[i], 2);
  } else if (const auto* e = std::get_if<TDxpGameEnd>(&message)) {
    s += std::string(1, e->reason >= '0' && e->reason <= '3' ? e->reason : '0');
    s += std::string(1, e->stop == kDxpStopSession ? kDxpStopSession : kDxpStopNextGame);
  } else if (const auto* c = std::get_if<TDxpChat>(&message)) {
    s += Printable(c->text);
  } else if (const auto* b = std::get_if<TDxpBackRequest>(&message)) {
    s += Number(b->moveNumber, 3) + Colour(b->sideToMove);
  } else if (const auto* k = std::get_if<TDxpBackAccept>(&message)) {
    s += std::string(1, std::isdigit(static_cast<unsigned char>(k->code)) ? k->code : '2');
  }
  return s;
}

bool DecodeDxp(const std::string& text, TDxpMessage& message, std::string& error) {
  if (text.empty()) {
    error = "empty message: expected a type character (R, A, M, E, C, B or K)";
    return false;
  }
  switch (text[0]) {
    case 'R': {
      TFieldReader in(text, "game request");
      TDxpGameRequest r;
      r.version = in.Digits(2, "version", 0, 99);
      r.initiatorName = TrimRight(Printable(in.Take(kDxpNameWidth, "initiator name")));
      r.followerColour = in.OneOf("follower colour", "WZ");
      r.minutes = in.Digits(3, "thinking time", 0, 999);
      r.moves = in.Digits(3, "number of moves", 0, 999);
      const char start = in.OneOf("start position", "AB");
      if (start == 'B') {
        r.setup = true;
        r.sideToMove = in.OneOf("side to move", "WZ");
        r.squares = in.Take(50, "position");
        if (in.Ok()) {
          const size_t bad = r.squares.find_first_not_of("ewzWZ");
          if (bad != std::string::npos)
            in.Fail("square " + std::to_string(bad + 1) + " holds '" + Printable(r.squares.substr(bad, 1)) +
                    "': expected one of e w z W Z");
        }
      }
      return Finish(in, r, message, error);
    }
    case 'A': {
      TFieldReader in(text, "game accept");
      TDxpGameAccept a;
      a.followerName = TrimRight(Printable(in.Take(kDxpNameWidth, "follower name")));
      a.code = in.OneOf("acceptance code", "0123456789");
      return Finish(in, a, message, error);
    }
    case 'M': {
      TFieldReader in(text, "move");
      TDxpMove m;
      m.seconds = in.Digits(4, "time", 0, 9999);
      m.from = in.Digits(2, "from square", 1, 50);
      m.to = in.Digits(2, "to square", 1, 50);
      const int n = in.Digits(2, "number of captured pieces", 0, kDxpMaxCaptures);
      for (int i = 0; i < n && in.Ok(); ++i) m.captured.push_back(in.Digits(2, "captured square", 1, 50));
      in.End();
      std::vector<int> sorted = m.captured;
      std::sort(sorted.begin(), sorted.end());
      const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
      if (twice != sorted.end()) in.Fail("captured square " + std::to_string(*twice) + " is listed twice");
      return Finish(in, m, message, error);
    }
    case 'E': {
      TFieldReader in(text, "game end");
      TDxpGameEnd e;
      e.reason = in.OneOf("reason", "0123");
      e.stop = in.OneOf("stop code", "01");
      return Finish(in, e, message, error);
    }
    case 'C':
      message = TDxpChat{Printable(text.substr(1))};
      return true;
    case 'B': {
      TFieldReader in(text, "take-back request");
      TDxpBackRequest b;
      b.moveNumber = in.Digits(3, "move number", 1, 999);
      b.sideToMove = in.OneOf("side to move", "WZ");
      return Finish(in, b, message, error);
    }
    case 'K': {
      TFieldReader in(text, "take-back answer");
      TDxpBackAccept k;
      k.code = in.OneOf("acceptance code", "0123456789");
      return Finish(in, k, message, error);
    }
    default:
      error = "unknown message type '" + Printable(text.substr(0, 1)) + "': expected R, A, M, E, C, B or K";
      return false;
  }
}

bool DxpRequestPosition(const TDxpGameRequest& request, TBoard& board, TDColor& side, std::string& error) {
  const TGameParams& p = Board10();
  TBoard b;
  if (!request.setup) {
    b.b = StartPosition(p, false);
    board = b;
    side = TDColor::white;
    return true;
  }
  if (request.squares.size() != 50) {
    error =
        "game request: the position has " + std::to_string(request.squares.size()) + " squares: expected 50";
    return false;
  }
  for (int n = 1; n <= 50; ++n) {
    const char c = request.squares[n - 1];
    const int sq = InternalSquare(p, n);
    int8_t piece = kEmpty;
    switch (c) {
      case 'e':
        break;
      case 'w':
        piece = kWhiteMan;
        break;
      case 'z':
        piece = kBlackMan;
        break;
      case 'W':
        piece = kWhiteKing;
        break;
      case 'Z':
        piece = kBlackKing;
        break;
      default:
        error = "game request: square " + std::to_string(n) + " holds '" + Printable(std::string(1, c)) +
                "': expected one of e w z W Z";
        return false;
    }
    if ((piece == kWhiteMan && n <= 5) || (piece == kBlackMan && n >= 46)) {
      error = "game request: a " + std::string(piece == kWhiteMan ? "white" : "black") + " man on square " +
              std::to_string(n) + ", its promotion row";
      return false;
    }
    b.b[sq] = piece;
  }
  board = b;
  side = request.sideToMove == 'Z' ? TDColor::black : TDColor::white;
  return true;
}

void SetDxpRequestPosition(TDxpGameRequest& request, const TBoard& board, TDColor side) {
  const TGameParams& p = Board10();
  request.setup = !IsStandardStart(board, side, p);
  request.sideToMove = side == TDColor::black ? 'Z' : 'W';
  request.squares.clear();
  if (!request.setup) return;
  for (int n = 1; n <= 50; ++n) {
    switch (board.b[InternalSquare(p, n)]) {
      case kWhiteMan:
        request.squares += 'w';
        break;
      case kBlackMan:
        request.squares += 'z';
        break;
      case kWhiteKing:
        request.squares += 'W';
        break;
      case kBlackKing:
        request.squares += 'Z';
        break;
      default:
        request.squares += 'e';
    }
  }
}

bool IsStandardStart(const TBoard& board, TDColor side, const TGameParams& params) {
  return side == TDColor::white && board.b == StartPosition(params, false);
}

std::string DescribeDxp(const TDxpMessage& message) {
  static const char* const kNames[] = {"game request",      "game accept",     "move", "game end", "chat",
                                       "take-back request", "take-back answer"};
  return std::string(kNames[message.index()]) + " \"" + EncodeDxp(message) + "\"";
}

}  // namespace quorlin
