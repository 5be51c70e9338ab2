#include "app/headersearch.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quorlin {

namespace {

constexpr int kRecordsPerBlock = 4096;

// For each entry of `names`: does `filter` accept it. An empty filter
// accepts everything, including indexes outside the list.
class TNameMatches {
 public:
  TNameMatches(const std::string& filter, const TNameList& names) : all_(filter.empty()) {
    if (all_) return;
    match_.resize(names.Count());
    for (int i = 0; i < names.Count(); ++i) match_[i] = TextFilterMatches(filter, names[i]) ? 1 : 0;
  }
  bool operator()(int index) const {
    return all_ || (index >= 0 && index < static_cast<int>(match_.size()) && match_[index]);
  }

 private:
  bool all_;
  std::vector<uint8_t> match_;
};

bool InRange(int v, int lo, int hi) { return lo <= v && v <= hi; }

}  // namespace

bool HeaderPass(TQuorlinDB& db, const TSearchInfo& c, TDBList& list) {
  list.count = 0;
  if (static_cast<int>(list.items.size()) < db.DBSize + 2) list.items.resize(db.DBSize + 100);
  if (!db.DBOpened) return true;
  const TNameMatches white(c.name[0], db.DBNames), black(c.name[1], db.DBNames);
  const TNameMatches annot(c.annot, db.DBNames), tourn(c.tourn, db.DBTourn), site(c.site, db.DBSites);
  static const int kSwapped[kResultCount] = {0, 3, 2, 1, 5, 4};

  const int size = db.IdxRecordSize;
  std::vector<uint8_t> block(static_cast<size_t>(kRecordsPerBlock) * size);
  TGameHeader h;
  for (int first = 1; first <= db.DBSize; first += kRecordsPerBlock) {
    const int n = std::min(kRecordsPerBlock, db.DBSize - first + 1);
    std::string err;
    if (!db.DBIdx.ReadAt(static_cast<int64_t>(first - 1) * size, block.data(), static_cast<size_t>(n) * size,
                         err)) {
      db.LastError =
          db.DBNameIdx + ": index records from game " + std::to_string(first) + " cannot be read: " + err;
      return false;
    }
    // A replaced game whose old record waits in the undo file reads as that record.
    if (size == kIndexRecordSize) OverlayUndo(db, first - 1, n, block.data());
    for (int k = 0; k < n; ++k) {
      const uint8_t* raw = block.data() + static_cast<size_t>(k) * size;
      if (size == kIndexRecordSize20)
        UnpackIndexRecord20(raw, h);
      else
        UnpackIndexRecord(raw, h);
      if (!tourn(h.TournamentIndex) || !annot(h.AnnotatorIndex) || !site(h.SiteIndex)) continue;
      if (!InRange(h.Date.Year, c.yearstart, c.yearend) || !InRange(h.GameLength, c.movestart, c.moveend))
        continue;
      const int result = h.Result < kResultCount ? h.Result : 0;
      bool players = c.rescheck[result] && white(h.White.NameIndex) &&
                     InRange(h.White.Rating, c.name1elomin, c.name1elomax) && black(h.Black.NameIndex) &&
                     InRange(h.Black.Rating, c.name2elomin, c.name2elomax);
      if (!players && c.ignorecol) {
        // Both filters look in the same names list: each is tried on the other player.
        players = c.rescheck[kSwapped[result]] && black(h.White.NameIndex) && white(h.Black.NameIndex) &&
                  InRange(h.White.Rating, c.name2elomin, c.name2elomax) &&
                  InRange(h.Black.Rating, c.name1elomin, c.name1elomax);
      }
      if (!players) continue;
      ++list.count;
      list.items[list.count] = TDBListRec{first + k, false, 0};
    }
  }
  return true;
}

}  // namespace quorlin
