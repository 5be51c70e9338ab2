#include "app/ballots.h"

#include "games/database.h"
#include "rules/variants.h"

namespace quorlin {

std::string BallotFileName(int variant, int ballotKind) {
  if (variant < kRussian || variant > kInternationalKiller) return {};
  if (ballotKind == 1) {
    if (variant == kItalian) return "italianA.abd";
    if (variant == kThai) return "2thai.abd";
    return "2move.abd";
  }
  if (ballotKind == 2) {
    switch (variant) {
      case kRussian:
      case kBrazilian:
      case kPool:
        return "fly.abd";
      case kEnglish:
      case kCzech:
      case kSpanish:
        return "3move.abd";
      case kItalian:
        return "italianB.abd";
      default:
        return {};
    }
  }
  return {};
}

bool BallotsApply(const TGameParams& params) { return params.compute.BoardSize == 32; }

bool LoadBallotGame(const std::string& path, const std::function<uint32_t(uint32_t)>& randomBelow,
                    TGame& game, std::string& error) {
  TQuorlinDB db;
  if (!OpenDatabase(path, db, true) || db.DBType == 0) {
    error =
        path + ": cannot open the ballot database" + (db.LastError.empty() ? "" : " (" + db.LastError + ")");
    return false;
  }
  const int games = IndexRecordCount(db);
  bool ok = false;
  if (games <= 0) {
    error = path + ": expected at least one game";
  } else {
    const int n = 1 + static_cast<int>(randomBelow(static_cast<uint32_t>(games)));
    ok = ReadGame(db, n, false, -1, game);
    if (ok) {
      LinkTree(game);
      game.DBGameNo = 0;
    } else {
      error = db.LastError;
    }
  }
  CloseDatabase(db);
  return ok;
}

}  // namespace quorlin
