#include "games/dbsearch.h"

#include <algorithm>
#include <vector>

#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

// The stored text of a list entry; an index outside the list gives "".
const std::string& Entry(const TNameList& list, int i) {
  static const std::string kEmpty;
  return i >= 0 && i < list.Count() ? list[i] : kEmpty;
}

bool InRange(int v, int lo, int hi) { return lo <= v && v <= hi; }

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

}  // namespace

bool TextFilterMatches(const std::string& filter, const std::string& text) {
  if (filter.empty()) return true;
  return FoldCase(text).find(filter) != std::string::npos;
}

bool TPositionSearch::BoardMatches(const TBoard& board) const {
  const int size = std::min(boardSize_, kMaxSquares);
  if (work_.Header.TypeOfGame == kTurkish) {
    bool all = true;
    for (int s = 1; s <= size && all; ++s) {
      const int r = (s - 1) / 8, c = (s - 1) % 8;
      const int mirrored = 8 * r + (7 - c) + 1;
      all = mirrored <= kMaxSquares && criteria_.brdsearch[s] == board.b[mirrored];
    }
    if (all) return true;
  }
  for (int s = 1; s <= size; ++s)
    if (criteria_.brdsearch[s] != board.b[s]) return false;
  return true;
}

void TPositionSearch::PositionSearch(int node, TBoard board, TDColor side) {
  // Nodes still to visit wait on a stack, the first alternative on top, so the
  // visiting order is depth first with the main continuation first, and a deep
  // tree costs memory, never the program's stack.
  struct TVisit {
    int node;
    TBoard board;
    TDColor side;
  };
  std::vector<TVisit> toVisit;
  toVisit.push_back({node, board, side});
  TChildList children;
  while (!toVisit.empty()) {
    TVisit v = std::move(toVisit.back());
    toVisit.pop_back();
    for (;;) {
      const bool sought = v.side == TDColor::white ? criteria_.whitemovechecked : criteria_.blackmovechecked;
      if (sought && BoardMatches(v.board)) {  // its continuation is not searched
        found = true;
        foundNode = v.node;
        break;
      }
      const int count = GetChildren(work_, v.node, children);
      if (count == 0) break;
      if (count == 1) {  // a line without alternatives is followed in place
        v.node = children[0];
        ApplyMove(work_.Moves[v.node], v.board, work_.Params);
        v.side = Other(v.side);
        continue;
      }
      for (int k = count - 1; k >= 0; --k) {
        TVisit child{children[k], v.board, Other(v.side)};
        ApplyMove(work_.Moves[children[k]], child.board, work_.Params);
        toVisit.push_back(std::move(child));
      }
      break;
    }
  }
}

void SearchDatabase(TQuorlinDB& db, TSearchInfo& c, bool positionSearch, TDColor sideToMove, int boardSize,
                    TDBList& list) {
  list.count = 0;
  if (static_cast<int>(list.items.size()) < db.DBSize + 2) list.items.resize(db.DBSize + 100);
  if (positionSearch) {
    c.whitemovechecked = sideToMove == TDColor::white;
    c.blackmovechecked = !c.whitemovechecked;
  }
  TGame work;  // reused for every game (read with keep = true)
  TGameHeader h;
  for (int n = 1; n <= db.DBSize; ++n) {
    if (!ReadIndexRecord(db, n, h)) continue;
    if (!TextFilterMatches(c.tourn, Entry(db.DBTourn, h.TournamentIndex))) continue;
    if (!TextFilterMatches(c.annot, Entry(db.DBNames, h.AnnotatorIndex))) continue;
    if (!TextFilterMatches(c.site, Entry(db.DBSites, h.SiteIndex))) continue;
    if (!InRange(h.Date.Year, c.yearstart, c.yearend)) continue;
    if (!InRange(h.GameLength, c.movestart, c.moveend)) continue;
    const std::string& white = Entry(db.DBNames, h.White.NameIndex);
    const std::string& black = Entry(db.DBNames, h.Black.NameIndex);
    const int result = h.Result < kResultCount ? h.Result : 0;
    bool players = c.rescheck[result] && TextFilterMatches(c.name[0], white) &&
                   InRange(h.White.Rating, c.name1elomin, c.name1elomax) &&
                   TextFilterMatches(c.name[1], black) &&
                   InRange(h.Black.Rating, c.name2elomin, c.name2elomax);
    if (!players && c.ignorecol) {
      static const int kSwapped[kResultCount] = {0, 3, 2, 1, 5, 4};
      players = c.rescheck[kSwapped[result]] && TextFilterMatches(c.name[1], white) &&
                InRange(h.White.Rating, c.name2elomin, c.name2elomax) &&
                TextFilterMatches(c.name[0], black) && InRange(h.Black.Rating, c.name1elomin, c.name1elomax);
    }
    if (!players) continue;
    int gotomove = 0;
    if (positionSearch) {
      if (!ReadGame(db, n, /*keep=*/true, -1, work)) continue;
      TPositionSearch walk(c, work, boardSize);
      TBoard start;
      start.b = work.StartBoard;
      walk.PositionSearch(0, start, work.Header.FirstMove);
      if (!walk.found) continue;
      gotomove = walk.foundNode;
    }
    ++list.count;
    list.items[list.count] = TDBListRec{n, false, gotomove};
  }
}

}  // namespace quorlin
