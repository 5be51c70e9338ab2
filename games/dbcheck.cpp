#include "games/dbcheck.h"

#include "games/gamerecord.h"

namespace quorlin {
namespace {

// Describes each of the header's list references that lies outside what the
// names file holds; returns how many there are.
int OutOfRangeReferences(const TQuorlinDB& db, const TGameHeader& h, std::string& text) {
  struct Reference {
    const char* what;
    int32_t index;
    int onDisk;
    const char* list;
  };
  const Reference refs[] = {{"White", h.White.NameIndex, db.NamesOnDisk, "names"},
                            {"Black", h.Black.NameIndex, db.NamesOnDisk, "names"},
                            {"annotator", h.AnnotatorIndex, db.NamesOnDisk, "names"},
                            {"tournament", h.TournamentIndex, db.TournOnDisk, "tournaments"},
                            {"site", h.SiteIndex, db.SitesOnDisk, "sites"}};
  int count = 0;
  for (const Reference& r : refs) {
    if (r.index >= 0 && r.index < r.onDisk) continue;
    text += std::string(count ? "; " : "") + r.what + " " + std::to_string(r.index) + " is not among the " +
            std::to_string(r.onDisk) + " " + r.list;
    ++count;
  }
  return count;
}

}  // namespace

void CheckDatabase(TQuorlinDB& db, TDBCheckReport& report) {
  report = {};
  TGame game;
  for (int n = 1; n <= db.DBSize; ++n) {
    ++report.games;
    if (!ReadGame(db, n, false, -1, game)) {
      ++report.unreadable;
      report.problems.push_back(db.LastError);
      continue;
    }
    std::string text;
    if (OutOfRangeReferences(db, game.Header, text) == 0) continue;
    ++report.lostNames;
    report.problems.push_back(db.DBNameIdx + ": game " + std::to_string(n) + ": " + text + " of " +
                              db.DBNameNames);
  }
}

}  // namespace quorlin
