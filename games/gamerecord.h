#pragma once
// One game in memory: header, resolved name texts, start position and the move
// tree (two parallel arrays indexed by node number; node 0 is the root), with
// the operations that edit and summarise the tree.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// Three texts per node, parallel to TGame::Moves. At the root: CommentBef is the
// opening designation of an 8x8 game, CommentAft the comment before the first
// move, CommentAdd the variant definition text of a custom-variant game.
struct TComment {
  std::string CommentBef;
  std::string CommentAft;
  std::string CommentAdd;

  bool operator==(const TComment&) const = default;
};

// A player as the header records it.
struct TPlayerRecord {
  int32_t NameIndex = 0;  // index in the database's names list
  uint8_t Title = 0;      // 0..9: none, "IG", "G", "IM", "M", "C", "1", "2", "3", "4"
  uint16_t Rating = 0;    // 0 = none
  uint8_t Country = 0;    // carried unchanged

  bool operator==(const TPlayerRecord&) const = default;
};

struct TDateRecord {
  uint8_t Day = 0;  // 0 = not given, likewise Month and Year
  uint8_t Month = 0;
  uint16_t Year = 0;

  bool operator==(const TDateRecord&) const = default;
};

// Header fields in their stored order. With natural alignment the struct has
// exactly the layout of the 88-byte little-endian index record (checked below);
// readers and writers may still convert field by field.
struct TGameHeader {
  TPlayerRecord White;
  TPlayerRecord Black;
  int32_t AnnotatorIndex = 0;
  int32_t TournamentIndex = 0;
  int32_t SiteIndex = 0;
  int32_t Round = 0;     // 0 = none
  int32_t Subround = 0;  // 0 = none
  TDateRecord Date;
  uint8_t Flags = 0;     // summary bits, kHeaderFlag* below
  int32_t ShowFrom = 0;  // node shown when the game is opened
  TDColor FirstMove = TDColor::white;
  uint8_t TypeOfGame = 0;  // VariantTable slot 1..14; 0 = custom variant
  uint8_t Result = 0;      // 0..5, ResultText
  uint8_t NumerationFrom = 0;
  int32_t LastMove = 0;     // highest node index in use
  uint16_t GameLength = 0;  // full moves on the main line, at most 999
  int32_t Offset = 0;       // body position in the games file
  int32_t Length = 0;       // body size in bytes
  int32_t Opening = 0;
  int32_t Medals = 0;  // bit 0: the game is a problem to solve
  uint32_t Crc = 0;    // body checksum; 0 in version-3.0 databases

  bool operator==(const TGameHeader&) const = default;
};

static_assert(sizeof(TGameHeader) == 88, "TGameHeader matches the 88-byte index record");
static_assert(offsetof(TGameHeader, Black) == 12);
static_assert(offsetof(TGameHeader, Date) == 44);
static_assert(offsetof(TGameHeader, Flags) == 48);
static_assert(offsetof(TGameHeader, ShowFrom) == 52);
static_assert(offsetof(TGameHeader, FirstMove) == 56);
static_assert(offsetof(TGameHeader, LastMove) == 60);
static_assert(offsetof(TGameHeader, GameLength) == 64);
static_assert(offsetof(TGameHeader, Offset) == 68);
static_assert(offsetof(TGameHeader, Crc) == 84);

// Header Flags bits.
constexpr uint8_t kHeaderFlagStartMask = 0x03;       // bits 0..1: start position kind
constexpr uint8_t kHeaderFlagStartFullSet = 0x01;    // "p": other position, full piece sets
constexpr uint8_t kHeaderFlagStartOther = 0x02;      // "P": any other start position
constexpr uint8_t kHeaderFlagFewVariations = 0x04;   // "v": 1 to 5 variation moves
constexpr uint8_t kHeaderFlagManyVariations = 0x08;  // "V": more than 5
constexpr uint8_t kHeaderFlagSomeComments = 0x10;    // "c": some annotation
constexpr uint8_t kHeaderFlagManyComments = 0x20;    // "C": much annotation
constexpr uint8_t kHeaderFlagDeleted = 0x80;         // marked deleted

// Result codes.
constexpr uint8_t kResultNone = 0;
constexpr uint8_t kResultWhiteWin = 1;
constexpr uint8_t kResultDraw = 2;
constexpr uint8_t kResultBlackWin = 3;
constexpr uint8_t kResultWhiteWinTime = 4;
constexpr uint8_t kResultBlackWinTime = 5;
constexpr int kResultCount = 6;

// "*", "2-0", "1-1", "0-2", "2-0t", "0-2t"; "*" for a code outside 0..5.
const char* ResultText(int result);

// TMove::comm holds a move mark (bits 0..3) and a position mark (bits 4..7).
// The symbols the move list appends for them: "", "!!", "!", "!?", "?!", "?",
// "??" and "", "+-", "+=", "=", "=+", "-+", " x", "~"; "" for other codes.
const char* MoveMarkSymbol(int mark);
const char* PositionMarkSymbol(int mark);

// Tree forms (TGame::Version).
constexpr uint8_t kTreeParentOnly = 30;
constexpr uint8_t kTreeLinked = 38;

// AddMove refuses to grow the arrays beyond this many nodes.
constexpr int kMaxGameNodes = 64000;
// Numbered interface text shown when AddMove finds no room: "Error: no free place".
constexpr int kMsgNoFreePlace = 54;
constexpr const char* kNoFreePlaceText = "Error: no free place";

// GetChildren reports at most this many children.
constexpr int kMaxChildren = 255;
using TChildList = std::array<int32_t, kMaxChildren>;

struct TGame {
  TGameHeader Header;
  int32_t DBGameNo = 0;  // 1-based number in its database; 0 = not stored
  std::string DBName;    // games file (".abm") of its database; empty = none
  bool Modified = false;
  std::string WhiteName;
  std::string BlackName;
  std::string AnnotatorName;
  std::string Tournament;
  std::string Site;
  TBrd StartBoard{};
  std::vector<TMove> Moves = std::vector<TMove>(1);  // index 0 = root
  std::vector<TComment> Comments = std::vector<TComment>(1);
  TDColor SideToMove = TDColor::white;
  int32_t CurMovPos = 0;
  TBoard CurBoard;
  bool Closed = false;
  bool Selected = false;
  uint8_t Version = kTreeLinked;  // 30 parent-only form, 38 linked form
  TGameParams Params;
  bool IsRated = false;
  TDColor RatedPlayer = TDColor::white;
  // No free slot lies below this node index (kept by FreeNode, AddMove,
  // ClearGame and DecodeBody) so that AddMove on a large tree does not rescan
  // the whole array. Code that frees nodes some other way resets it to 1.
  int32_t FreeSlotHint = 1;
};

// Makes the record an empty game in the linked form with one root node; the
// array length, Params, GameLength, Offset, Length and the name indexes stay.
void ClearGame(TGame& game);

// Children of `node` in order (first = main continuation) in list[0..count-1];
// returns count, at most 255 (a 256th and later child replaces the last entry).
// An out-of-range node has no children.
int GetChildren(const TGame& game, int node, TChildList& list);

// Half-moves on the main line (first children from the root).
int MainLineLength(const TGame& game);

// Attaches `move` (its lt, mv, flags and comm) as the last child of `parent`, or
// returns the existing child equal to it (SameCapture) without changing
// anything. Returns the node, or 0 when there is no room (the caller shows
// text kMsgNoFreePlace) or `parent` is not a node in use.
int AddMove(TGame& game, const TMove& move, int parent);

// Turns one node into a free slot without touching its relatives.
void FreeNode(TGame& game, int node);

// Removes the node and everything below it and unlinks it from its parent.
// Nothing happens for the root or an index outside the tree.
void DeleteSubtree(TGame& game, int node);

// Converts a parent-only tree into the linked form (nothing when already linked).
void LinkTree(TGame& game);

// Writes the ballot text ("a3>b4 ----") of an 8x8 32-square start position into
// the root's CommentBef; writes nothing for other games.
void OpeningDesignation(TGame& game);

// Recomputes GameLength and Flags bits 0..5 and marks the main line, for a save
// into a database of the given version (30 or 38).
void UpdateHeaderSummary(TGame& game, int version);

// Position after the move of `node` (the start position for node 0), replaying
// the line from the root with ApplyMove. False, with `board` holding the start
// position, when the node is not in the tree or its line does not reach the root.
bool ReplayGameLine(const TGame& game, int node, TBoard& board);

}  // namespace quorlin
