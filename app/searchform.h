#pragma once
// The search window's fields turned into search criteria, checked first, and
// the position pass of a search, which reads game bodies and so runs as a
// background job with progress and cancel.
#include <array>
#include <atomic>
#include <functional>
#include <string>

#include "games/database.h"
#include "games/dbsearch.h"
#include "games/gamerecord.h"

namespace quorlin {

// Upper limits of the window's number boxes.
constexpr int kSearchMaxElo = 3000;
constexpr int kSearchMaxYear = 3000;
constexpr int kSearchMaxMoves = 999;

struct TSearchForm {
  std::string white, black;  // name filters, any letter case
  int whiteEloMin = 0, whiteEloMax = kSearchMaxElo;
  int blackEloMin = 0, blackEloMax = kSearchMaxElo;
  bool ignoreColours = true;
  int yearStart = 0, yearEnd = kSearchMaxYear;
  int moveStart = 0, moveEnd = kSearchMaxMoves;
  std::array<bool, kResultCount> results{true, true, true, true, true, true};  // by result code
  std::string tournament, annotator, site;
  bool position = false;  // also seek the main window's position
};

// Fills `criteria` from the form (text filters lower-cased). False, with a
// message naming the field, when a range runs backwards or a number lies
// outside its box's range; `criteria` is then unchanged.
bool BuildSearchInfo(const TSearchForm& form, TSearchInfo& criteria, std::string& error);

// The position pass over the games that passed the header tests: each game's
// tree is walked for `criteria.brdsearch` with `sideToMove` to move. Reads the
// database at `dbPath` through a read-only record of its own, so it may run on
// a worker thread while the window keeps the database open. `progress` gets
// (games done, games in all); `cancel` stops it early (the result then holds
// the games found so far). False with `error` when the database cannot be opened.
bool PositionPass(const std::string& dbPath, const TDBList& candidates, TSearchInfo criteria, TDColor sideToMove,
                  int boardSize, TDBList& found, std::string& error, const std::atomic<bool>* cancel = nullptr,
                  const std::function<void(int, int)>& progress = {});

}  // namespace quorlin
