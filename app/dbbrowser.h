#pragma once
// The open game database as the database window and the main window's
// database commands see it: the list of games shown (every game, or the games
// a search found), the current row, the ticked rows, stepping through the list
// with wrap-around, and opening, creating, cleaning up and deleting databases.
//
// Everything here runs on the user-interface thread; the database record is
// the application's (TApplication::Database()).
#include <string>
#include <vector>

#include "games/database.h"
#include "games/dbsearch.h"
#include "games/gamerecord.h"

namespace quorlin {

// Texts the user sees.
inline constexpr const char* kOldDatabaseFormatText = "Old database format";
inline constexpr const char* kDatabaseNotOpenedText = "Database not opened!";
inline constexpr const char* kDeleteDatabaseQuestion = "Delete the database?";

// DataFolder + "Bases/", created when missing.
std::string BasesFolder();

// Every "*.abd" file below `folder` (subfolders included) as its path relative
// to the folder, sorted.
std::vector<std::string> ListDatabaseFiles(const std::string& folder);

// A database name typed by the user must make a file name on any system the
// files may travel to: not empty, no path separators or characters that
// Windows refuses (< > : " | ? *), no control characters, not "." or "..".
// False with a message saying which character is wrong.
bool CheckDatabaseName(const std::string& name, std::string& error);

class TDatabaseBrowser {
 public:
  explicit TDatabaseBrowser(TQuorlinDB& db) : db_(db) {}
  TDatabaseBrowser(const TDatabaseBrowser&) = delete;
  TDatabaseBrowser& operator=(const TDatabaseBrowser&) = delete;

  TQuorlinDB& Db() { return db_; }
  const TQuorlinDB& Db() const { return db_; }
  bool IsOpen() const { return db_.DBOpened; }

  // --- The list ---------------------------------------------------------------------
  int Count() const { return IsOpen() ? list_.count : 0; }
  // The list holds the games of a search rather than every game.
  bool SearchResult() const { return searchResult_; }
  // Entry `index` (1..Count()).
  const TDBListRec& Entry(int index) const { return list_.items[index]; }
  const TDBList& List() const { return list_; }
  // Every game of the database, none ticked; the current row stays where it
  // is when it still lies in the list, else goes to 1.
  void ShowAll();
  // `scroll` and `pos` as the settings keep them (DBShowFrom, DBCurPos): the
  // plain list with the current row at `pos` when it lies in the list.
  void ShowAllAt(int scroll, int pos);
  // The games a search found; the current row goes to 1 and the scroll to the top.
  void ShowFound(TDBList found);

  int CurPos() const { return db_.DBCurPos; }
  // Ignored outside 1..Count().
  void SetCurPos(int pos);
  // First list index shown, minus 1 (the window's scroll position).
  int Scroll() const { return scroll_; }
  void SetScroll(int scroll) { scroll_ = scroll < 0 ? 0 : scroll; }

  void ToggleSelected(int index);
  int SelectedCount() const;

  // The delete button: with ticked rows, undeletes them all when the first
  // ticked game (in list order) is marked deleted and deletes them all
  // otherwise; without ticks, toggles the current game's mark. False (with
  // the reason) when a mark could not be written.
  bool DeleteOrUndelete(std::string& error);

  // The list position `delta` rows from the current one, wrapping around at
  // both ends; 0 when the list is empty.
  int Step(int delta) const;

  // Reads the game of the current row into `game`: its stored start node, or
  // the node a position search found. False (with the reason, `game`
  // untouched) when there is no such row or the game cannot be read.
  bool ReadCurrentGame(TGame& game, std::string& error);

  // --- Databases ----------------------------------------------------------------------
  // Opens a database for reading and writing; only version 3.8 databases are
  // shown ("Old database format" otherwise, and the database is closed again).
  // The setting `Database` follows the database opened.
  bool Open(const std::string& path, std::string& error);
  // Creates the version 3.8 database `name` in `folder` and shows its (empty)
  // list. Refused when the name is not a valid file name or a database of that
  // name exists; the open database then stays open.
  bool Create(const std::string& folder, const std::string& name, std::string& error);
  // Removes the games marked deleted from the index of a version 3.8 database.
  bool CleanUp(std::string& error);
  // Closes the open database and deletes its files.
  bool Delete(std::string& error);
  // Closes the open database (the list goes empty). False when its names file
  // could not be written.
  bool Close(std::string& error);

  // "Example [12]", "Example [2/50]" or "n/a".
  std::string HeaderText() const;

 private:
  TQuorlinDB& db_;
  TDBList list_;
  bool searchResult_ = false;
  int scroll_ = 0;
};

}  // namespace quorlin
