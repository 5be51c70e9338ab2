#pragma once
// Searching a game database by header criteria (players with rating ranges,
// result, tournament, annotator, site, year, game length) and, when asked, by a
// position that must occur somewhere in a game's tree with the same side to move.
#include <array>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/board.h"

namespace quorlin {

// The criteria. Text filters are lower-cased (FoldCase); an empty one accepts
// every text, otherwise it must occur in the lower-cased stored text.
struct TSearchInfo {
  std::array<std::string, 2> name;  // [0] first player ("White"), [1] second
  int name1elomin = 0, name1elomax = 65535;
  int name2elomin = 0, name2elomax = 65535;
  std::string tourn, site, annot;
  int yearstart = 0, yearend = 65535;
  int movestart = 0, moveend = 65535;
  std::array<bool, kResultCount> rescheck{true, true, true, true, true, true};
  bool ignorecol = false;
  bool whitemovechecked = false;  // set by SearchDatabase from the sought side to move
  bool blackmovechecked = false;
  TBrd brdsearch{};  // the position sought
};

// One entry of the database window's list.
struct TDBListRec {
  int num = 0;  // game number in the database
  bool selected = false;
  int gotomove = -1;  // node to show on loading; -1 none, 0 or a node after a search
};

// The list, entries 1..count (entry 0 unused). Enlarged to DBSize + 100
// whenever it holds fewer than DBSize + 2 entries.
struct TDBList {
  std::vector<TDBListRec> items;
  int count = 0;
};

// Rebuilds `list` from the games of `db` that match. With `positionSearch` the
// position `criteria.brdsearch` is sought with `sideToMove` to move, comparing
// squares 1..`boardSize` (the board size of the sought position's variant).
// Games whose body cannot be read do not match a position search.
void SearchDatabase(TQuorlinDB& db, TSearchInfo& criteria, bool positionSearch, TDColor sideToMove,
                    int boardSize, TDBList& list);

// The walk over one game's tree and the comparison it uses.
class TPositionSearch {
 public:
  TPositionSearch(const TSearchInfo& criteria, const TGame& work, int boardSize)
      : criteria_(criteria), work_(work), boardSize_(boardSize) {}

  // Visits every node below `node` (board and side as they stand there), depth
  // first, main continuation first; the last match visited is kept.
  void PositionSearch(int node, TBoard board, TDColor side);
  bool BoardMatches(const TBoard& board) const;

  bool found = false;
  int foundNode = 0;

 private:
  const TSearchInfo& criteria_;
  const TGame& work_;
  int boardSize_;
};

// Text filter test: true when `filter` is empty or occurs in the case-folded text.
bool TextFilterMatches(const std::string& filter, const std::string& text);

}  // namespace quorlin
