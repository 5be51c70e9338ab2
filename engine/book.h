#pragma once
// Opening books: a file of 36-byte position records sorted by key (".cbk") and
// a text file of comments beside it (".cbn"). A TOpeningBook opens one book
// (Ini) and lists the legal moves of a position with what the book knows about
// the position after each of them (Lookup).
//
// Each book object has its own file and lock: the play thread and the analysis
// display may look up in one book at the same time, and two engines keep two
// books of different variants open side by side.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "rules/board.h"
#include "rules/variants.h"

namespace quorlin {

constexpr int kBookRecordSize = 36;
constexpr int kBookKeySize = 24;
constexpr int16_t kBookNoValue = -32000;
constexpr uint8_t kBookNoAnnotation = 4;

using TBookKey = std::array<uint8_t, kBookKeySize>;

// Annotation texts by index 0..8 (4 = none).
const char* BookAnnotationText(int index);

struct TOpenMove {
  std::string move;  // move text and annotation (and value mark)
  std::string stat;  // "+bl-wh=dr" when the position after the move has games
  float eval = 0;    // negated stored value of the position after the move
  uint16_t wh = 0;   // games won by the side then to move (the mover's opponent)
  uint16_t bl = 0;   // games won by the mover
  uint16_t dr = 0;   // draws
  uint8_t num = 0;   // index in the legal move list
  uint8_t sign = kBookNoAnnotation;
  uint8_t freq = 0;  // percent of the games of all book moves
  uint8_t qual = 0;  // the mover's score in percent; 50 without games
  uint8_t col = 0;   // 0 not in the book, 1 weak, 2 playable, 3 good
  uint8_t eb = 0;    // 1 after a lookup
};

struct TOpenMoves {
  uint8_t Op_moves = 0;
  std::array<TOpenMove, 256> openmoves{};  // used from index 1
  std::string openposcomm;
  bool update = false;
};

// One record of a book file.
struct TBookRecord {
  TBookKey key{};
  uint16_t stmWins = 0;  // games won by the side to move
  uint16_t draws = 0;
  uint16_t otherWins = 0;  // games won by the other side
  int16_t value = kBookNoValue;
  uint8_t annotation = kBookNoAnnotation;
  uint8_t spare = 0;
  uint16_t comment = 0;  // line of the comment file
};
void PackBookRecord(const TBookRecord& r, uint8_t* out36);
TBookRecord UnpackBookRecord(const uint8_t* in36);

// Key of a position with `sideToMove` (0 White, 1 Black) to move: colours
// swapped when Black is to move, the smaller mirror image on boards that are
// not checkered, then cells 1..72 three to a byte in base 5.
TBookKey PackBoard(const TBoard& board, int sideToMove, const TGameParams& params);

// Notation used for the move texts.
struct TBookTextStyle {
  int style = 2;  // kStyleShort
  bool forceAlpha = false;
  std::string separator = "x";  // captures; quiet moves take "-" where the notation has one
};

class TOpeningBook {
 public:
  TOpeningBook() = default;
  ~TOpeningBook();
  TOpeningBook(const TOpeningBook&) = delete;
  TOpeningBook& operator=(const TOpeningBook&) = delete;

  // Closes the open book and opens `path` (with the ".cbn" comments beside
  // it). Returns whether a book is open afterwards.
  bool Ini(const std::string& path);
  void Close();
  bool IsOpen() const;
  // Finds a key in the open book.
  bool Find(const TBookKey& key, TBookRecord& record) const;
  // Fills `moves` for `board` with `sideToMove` to move.
  void Lookup(const TGameParams& params, TOpenMoves& moves, const TBoard& board, int sideToMove,
              const TBookTextStyle& text = {}) const;

 private:
  bool FindLocked(const TBookKey& key, TBookRecord& record) const;
  bool ReadRecordAt(int64_t n, TBookRecord& r) const;
  void CloseLocked();

  mutable std::mutex lock_;
  int fd_ = -1;
  int64_t records_ = 0;
  std::vector<std::string> comments_{std::string()};
};

// Rounds num/den to the nearest integer, halves to even (den > 0).
int RoundHalfEven(int64_t num, int64_t den);

}  // namespace quorlin
