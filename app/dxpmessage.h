#pragma once
// DamExchange (DXP) messages: the text of each of the seven message types and
// back. On the wire every message is followed by one NUL byte; the texts here
// are without it. Numbers are zero-padded decimal fields of fixed width, names
// blank-padded to 32 characters; squares are the standard numbers 1..50 and
// the colours 'W' (white) and 'Z' (black).
#include <string>
#include <variant>
#include <vector>

#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin {

// The protocol version every known program sends ("01").
constexpr int kDxpVersion = 1;
constexpr int kDxpNameWidth = 32;
constexpr int kDxpDefaultPort = 27531;
// Longest message this program reads: a game request with a position is 94
// characters, a move with 20 captures 91; chat is free text.
constexpr size_t kDxpMaxMessage = 1024;
// Most captured squares a move message holds (two digits of count, but no
// 10x10 capture takes more than 20 pieces).
constexpr int kDxpMaxCaptures = 20;

// Acceptance codes of A and K.
constexpr char kDxpAccepted = '0';
constexpr char kDxpRefusedVersion = '1';
constexpr char kDxpRefused = '2';

// Reasons of E, from the sender's point of view.
constexpr char kDxpEndUnknown = '0';
constexpr char kDxpEndSenderLoses = '1';
constexpr char kDxpEndDraw = '2';
constexpr char kDxpEndSenderWins = '3';
// Stop codes of E.
constexpr char kDxpStopNextGame = '0';
constexpr char kDxpStopSession = '1';

struct TDxpGameRequest {  // 'R'
  int version = kDxpVersion;
  std::string initiatorName;
  char followerColour = 'W';  // 'W' or 'Z'
  int minutes = 0;            // thinking time for the game
  int moves = 0;              // moves in that time; 0 = no limit
  bool setup = false;         // false: the standard start position
  char sideToMove = 'W';      // with a set-up position
  std::string squares;        // with a set-up position: 50 of "ewzWZ"
  bool operator==(const TDxpGameRequest&) const = default;
};

struct TDxpGameAccept {  // 'A'
  std::string followerName;
  char code = kDxpAccepted;
  bool operator==(const TDxpGameAccept&) const = default;
};

struct TDxpMove {   // 'M'
  int seconds = 0;  // time the sender used for this move
  int from = 0;
  int to = 0;
  std::vector<int> captured;
  bool operator==(const TDxpMove&) const = default;
};

struct TDxpGameEnd {  // 'E'
  char reason = kDxpEndUnknown;
  char stop = kDxpStopNextGame;
  bool operator==(const TDxpGameEnd&) const = default;
};

struct TDxpChat {  // 'C'
  std::string text;
  bool operator==(const TDxpChat&) const = default;
};

struct TDxpBackRequest {  // 'B'
  int moveNumber = 1;
  char sideToMove = 'W';
  bool operator==(const TDxpBackRequest&) const = default;
};

struct TDxpBackAccept {  // 'K'
  char code = kDxpAccepted;
  bool operator==(const TDxpBackAccept&) const = default;
};

using TDxpMessage = std::variant<TDxpGameRequest, TDxpGameAccept, TDxpMove, TDxpGameEnd, TDxpChat,
                                 TDxpBackRequest, TDxpBackAccept>;

// The type character of a message ('R', 'A', 'M', 'E', 'C', 'B', 'K').
char DxpType(const TDxpMessage& message);

// The message as text, without the closing NUL. Fields that do not fit their
// width are clamped (names cut to 32 characters, numbers to their largest
// value); characters outside printable ASCII become '?', so that the text
// never holds a NUL.
std::string EncodeDxp(const TDxpMessage& message);

// Reads one message. False with `error` naming the message type, the field and
// what was expected; the message is then unchanged.
bool DecodeDxp(const std::string& text, TDxpMessage& message, std::string& error);

// The position of a game request as a board of the International rules, and
// back. False with `error` when a square holds another character or a man
// stands on its promotion row.
bool DxpRequestPosition(const TDxpGameRequest& request, TBoard& board, TDColor& side, std::string& error);
void SetDxpRequestPosition(TDxpGameRequest& request, const TBoard& board, TDColor side);

// True when the board is the standard start position of the variant.
bool IsStandardStart(const TBoard& board, TDColor side, const TGameParams& params);

// A readable form for logs: the text with the type spelled out.
std::string DescribeDxp(const TDxpMessage& message);

}  // namespace quorlin
