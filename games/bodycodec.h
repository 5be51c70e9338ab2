#pragma once
// The game body: start position, root texts and move tree of a game as the one
// byte string the games file stores, in the formats of database versions 20
// (read only), 30 and 38. Numbers in a body are big-endian.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "games/gamerecord.h"

namespace quorlin {

// Body format versions (the database's version byte).
constexpr int kBodyVersion20 = 20;
constexpr int kBodyVersion30 = 30;
constexpr int kBodyVersion38 = 38;

// Longest text a body can hold (2-byte length field), counted in stored
// characters: bytes in versions 20/30, UTF-16 code units in version 38.
constexpr size_t kMaxBodyText = 65535;

// Encodes `game` in format 30 or 38 into `body` (cleared first; its capacity is
// kept, so one buffer can serve every save). Returns false with `error` set and
// `body` empty when the game cannot be stored: a text longer than 65535
// characters, a damaged tree (links outside the node arrays, cycles), a capture
// of more than 25 pieces, or another version. Nothing is written in that case.
//
// Texts are kept as UTF-8 in memory. Version 38 stores UTF-16 code units;
// version 30 stores one byte per character (Latin-1), and a character outside
// Latin-1 is stored as "?".
bool EncodeBody(const TGame& game, int version, std::vector<uint8_t>& body, std::string& error);

// Decodes a body of format 20, 30 or 38 into `game`, whose header (TypeOfGame,
// LastMove) is already set: fills StartBoard, the root's comments, Moves and
// Comments. Never reads past `length` bytes and never writes past a node.
// A truncated or inconsistent body (invalid packed board, links outside the
// nodes, a node that is its own ancestor, impossible counts) returns false
// with `game` cleared (ClearGame) and `error` naming the fault and its byte
// position. The caller sets game.Version (30 for formats 20 and 30, 38 for 38).
bool DecodeBody(const uint8_t* bytes, size_t length, TGame& game, int version, std::string& error);

// Checks that the tree of `game` can be walked safely: every link within
// 0..LastMove, LastMove inside the arrays, no node its own ancestor, and in the
// linked form no node reached by two links and no link cycle. Returns false with
// `error` describing the first fault.
bool CheckGameTree(const TGame& game, std::string& error);

// Text conversions used by the body formats (exposed for tests and other
// readers): UTF-8 -> UTF-16 code units and UTF-8 <-> Latin-1 (the way back
// from UTF-16 is Utf16ToUtf8, common/text.h). Bytes that are not valid UTF-8
// are taken as Latin-1 characters; a character outside Latin-1 is written as '?'.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf8ToLatin1(const std::string& text);
std::string Latin1ToUtf8(const std::string& text);

}  // namespace quorlin
