#pragma once
// The game-information window's fields: filled from the shown game, checked,
// copied back into it, and the game saved into the open database, replacing
// the game it came from or appended as a new one.
#include <string>

#include "games/database.h"
#include "games/gamerecord.h"

namespace quorlin {

// Limits of the window's boxes.
constexpr int kMaxRating = 3000;
constexpr int kMaxRound = 2000000000;
constexpr int kMaxDay = 31;
constexpr int kMaxMonth = 12;
constexpr int kMaxYear = 2100;
// Longest player, tournament, site or annotator name, in characters: each
// name is one entry of the database's names file, and programs that read
// those files keep a name in at most this many characters.
constexpr int kMaxNameLength = 255;

inline constexpr const char* kDatabaseNotOpenedInfoText = "Database not Opened";

struct TGameInfoForm {
  std::string white, black;
  std::string whiteElo, blackElo;  // as typed; empty means none
  int whiteTitle = 0, blackTitle = 0;
  std::string tournament;
  std::string round, subround;  // as typed; empty means none
  std::string site;
  int day = 0, month = 0, year = 0;
  int result = 0;
  std::string annotator;
  // The game came from the open database: it may be replaced there.
  bool replaceShown = false;
  bool replace = false;
  std::string replaceText;  // "# 12"
};

// The fields of `game`; the replace row shows when the game is number
// DBGameNo of the open database `db`.
TGameInfoForm GameInfoFromGame(const TGame& game, const TQuorlinDB& db);

// False with a message naming the field when a rating, round or sub-round is
// not a whole number in its box's range, a date part or list choice lies
// outside its range, or a name is too long for the names file.
bool CheckGameInfo(const TGameInfoForm& form, std::string& error);

// Copies the fields into the game's header and texts (the form must have
// passed CheckGameInfo).
void ApplyGameInfo(const TGameInfoForm& form, TGame& game);

// The "Clear" button: empties the names and zeroes ratings, titles, result,
// date, round, sub-round and the game number, so that the game is saved as a
// new one.
void ClearGameInfo(TGame& game);

// The "OK" button: checks the form, copies it into `game` and writes the game
// into `db`, replacing game DBGameNo when the form says so and the game is
// from this database, appending it otherwise. Afterwards the game is not
// modified, DBGameNo names its place and DBName the database. False with the
// reason (nothing written, `game` untouched) when the form is bad, no database
// is open or writing fails.
bool SaveGameInfo(const TGameInfoForm& form, TGame& game, TQuorlinDB& db, std::string& error);

}  // namespace quorlin
