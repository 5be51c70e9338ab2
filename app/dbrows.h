#pragma once
// The texts of one row of the database window's game list, read from the
// game's index record and the database's names lists only (never the body),
// so that a list of any length costs one record read per visible row.
#include <string>

#include "games/database.h"
#include "games/gamerecord.h"

namespace quorlin {

// The list switches to two text lines per row below this panel width.
constexpr int kNarrowListWidth = 500;

// Player titles 1..9 as shown ("IG", "G", "IM", "M", "C", "1", "2", "3", "4");
// "" for 0 and codes outside the table.
const char* TitleText(int title);

struct TDBRowText {
  int game = 0;             // game number in the database
  std::string white;        // number + " " + the first player's name
  std::string whiteTitle;   // title and rating, drawn one point smaller
  std::string black;        // " — " + the second player's name
  std::string blackTitle;
  std::string event;   // tournament, site, round, annotator
  std::string date;    // 1985.03.07, 0007; the year only in narrow rows
  std::string result;  // "2-0", ...
  std::string length;  // moves on the main line, "255+" at the old limit
  std::string flags;   // start position, variations, comments: "PvC"
  bool deleted = false;

  std::string Players() const { return white + whiteTitle + black + blackTitle; }
};

// " IG, 2400", " IG", " 2400" or "".
std::string TitleRatingText(int title, int rating);
// Wide rows: "1985.03.07", or the year alone ("0007") when month and day are
// both 0; empty when the date is all zero. Narrow rows: the year, empty when 0.
std::string DateText(const TDateRecord& date, bool narrow);
// Start-position, variation and comment letters of the header's Flags.
std::string FlagsText(uint8_t flags);
// Tournament (game number masked), site, round and annotator of a header.
std::string EventText(const TGameHeader& header, const TQuorlinDB& db);
// All texts of a row from a header.
TDBRowText RowText(int game, const TGameHeader& header, const TQuorlinDB& db, bool narrow);

// Reads game `game`'s index record and fills `row`; false when the record
// cannot be read (row then names the game only).
bool ReadDBRow(TQuorlinDB& db, int game, bool narrow, TDBRowText& row);

// The line above the rows: "Example [12]", after a search "Example [2/50]";
// "n/a" without an open database.
std::string ListHeaderText(const TQuorlinDB& db, int count, bool searchResult);

}  // namespace quorlin
