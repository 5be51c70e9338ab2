#include "app/searchform.h"

namespace quorlin {

namespace {

bool CheckRange(const char* field, int from, int to, int max, std::string& error) {
  for (const int v : {from, to}) {
    if (v < 0 || v > max) {
      error = std::string(field) + ": " + std::to_string(v) + " lies outside 0.." + std::to_string(max) + ".";
      return false;
    }
  }
  if (from > to) {
    error = std::string(field) + ": the range runs backwards (from " + std::to_string(from) + " to " +
            std::to_string(to) + ").";
    return false;
  }
  return true;
}

}  // namespace

bool BuildSearchInfo(const TSearchForm& f, TSearchInfo& c, std::string& error) {
  if (!CheckRange("White elo", f.whiteEloMin, f.whiteEloMax, kSearchMaxElo, error) ||
      !CheckRange("Black elo", f.blackEloMin, f.blackEloMax, kSearchMaxElo, error) ||
      !CheckRange("Year", f.yearStart, f.yearEnd, kSearchMaxYear, error) ||
      !CheckRange("Moves", f.moveStart, f.moveEnd, kSearchMaxMoves, error))
    return false;
  c.name[0] = FoldCase(f.white);
  c.name[1] = FoldCase(f.black);
  c.name1elomin = f.whiteEloMin;
  c.name1elomax = f.whiteEloMax;
  c.name2elomin = f.blackEloMin;
  c.name2elomax = f.blackEloMax;
  c.annot = FoldCase(f.annotator);
  c.tourn = FoldCase(f.tournament);
  c.site = FoldCase(f.site);
  c.movestart = f.moveStart;
  c.moveend = f.moveEnd;
  c.yearstart = f.yearStart;
  c.yearend = f.yearEnd;
  c.rescheck = f.results;
  c.ignorecol = f.ignoreColours;
  return true;
}

bool PositionPass(const std::string& dbPath, const TDBList& candidates, TSearchInfo criteria, TDColor sideToMove,
                  int boardSize, TDBList& found, std::string& error, const std::atomic<bool>* cancel,
                  const std::function<void(int, int)>& progress) {
  found.items.assign(candidates.items.size() + 2, TDBListRec{});
  found.count = 0;
  TQuorlinDB db;
  if (!OpenDatabase(dbPath, db, /*readOnly=*/true)) {
    error = db.LastError.empty() ? "Cannot open " + dbPath : db.LastError;
    return false;
  }
  criteria.whitemovechecked = sideToMove == TDColor::white;
  criteria.blackmovechecked = !criteria.whitemovechecked;
  TGame work;  // one record for every game, as the header search does
  for (int i = 1; i <= candidates.count; ++i) {
    if (cancel && cancel->load()) break;
    if (progress) progress(i - 1, candidates.count);
    const int n = candidates.items[i].num;
    if (!ReadGame(db, n, /*keep=*/true, -1, work)) continue;
    TPositionSearch walk(criteria, work, boardSize);
    TBoard start;
    start.b = work.StartBoard;
    walk.PositionSearch(0, start, work.Header.FirstMove);
    if (!walk.found) continue;
    found.items[++found.count] = TDBListRec{n, false, walk.foundNode};
  }
  if (progress) progress(candidates.count, candidates.count);
  CloseDatabase(db);
  return true;
}

}  // namespace quorlin
